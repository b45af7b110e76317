// String functions and the conversions to text and back: toString,
// toUpper, toLower, trim, ltrim, rtrim, split, substring, left, right,
// replace; toInteger, toFloat, toBoolean.
//
// Positions and lengths count characters, not bytes, as Neo4j does (its
// strings are UTF-16; for characters outside the basic plane the two
// differ, which we accept).
#include <charconv>
#include <cmath>

#include "graph/temporal.h"
#include "graph/value.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

using Kind = CypherValue::Kind;
using Args = std::span<const CypherValue>;

const std::string* text_arg(const CypherValue& v) {
  if (v.is_null()) return nullptr;
  if (v.kind() != Kind::kString) type_mismatch("String", v);
  return &v.as_string();
}

std::int64_t int_arg(const CypherValue& v) {
  if (v.kind() != Kind::kInteger) type_mismatch("Integer", v);
  return v.as_int();
}

std::string substring_chars(const std::string& s, std::int64_t start, std::int64_t length) {
  std::size_t from = 0;
  std::int64_t seen = 0;
  while (from < s.size() && seen < start) {
    ++from;
    while (from < s.size() && (static_cast<unsigned char>(s[from]) & 0xC0) == 0x80) ++from;
    ++seen;
  }
  std::size_t to = from;
  seen = 0;
  while (to < s.size() && seen < length) {
    ++to;
    while (to < s.size() && (static_cast<unsigned char>(s[to]) & 0xC0) == 0x80) ++to;
    ++seen;
  }
  return s.substr(from, to - from);
}

[[noreturn]] void negative(const char* what) {
  throw CypherError("ArgumentError", "NumberOutOfRange", ErrorPhase::kRuntime,
                    std::string(what) + " must be a non-negative integer");
}

CypherValue to_string(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  switch (a[0].kind()) {
    case Kind::kList:
    case Kind::kMap:
    case Kind::kNode:
    case Kind::kRelationship:
    case Kind::kPath:
      invalid_argument("toString", "String, Integer, Float, Boolean, Temporal or Duration", a[0]);
    default: return to_text(a[0]);
  }
}

CypherValue to_upper(Args a, ExecContext&) {
  const std::string* s = text_arg(a[0]);
  if (s == nullptr) return {};
  std::string out = *s;
  for (char& ch : out) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  }
  return out;
}

CypherValue to_lower(Args a, ExecContext&) {
  const std::string* s = text_arg(a[0]);
  if (s == nullptr) return {};
  std::string out = *s;
  for (char& ch : out) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
  }
  return out;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

CypherValue trim_with(Args a, bool left, bool right) {
  const std::string* s = text_arg(a[0]);
  if (s == nullptr) return {};
  std::size_t from = 0, to = s->size();
  while (left && from < to && blank((*s)[from])) ++from;
  while (right && to > from && blank((*s)[to - 1])) --to;
  return s->substr(from, to - from);
}

CypherValue trim(Args a, ExecContext&) { return trim_with(a, true, true); }
CypherValue ltrim(Args a, ExecContext&) { return trim_with(a, true, false); }
CypherValue rtrim(Args a, ExecContext&) { return trim_with(a, false, true); }

CypherValue split(Args a, ExecContext&) {
  const std::string* s = text_arg(a[0]);
  const std::string* sep = text_arg(a[1]);
  if (s == nullptr || sep == nullptr) return {};
  CypherList out;
  if (sep->empty()) {
    for (std::size_t i = 0; i < s->size();) {
      std::size_t j = i + 1;
      while (j < s->size() && (static_cast<unsigned char>((*s)[j]) & 0xC0) == 0x80) ++j;
      out.emplace_back(s->substr(i, j - i));
      i = j;
    }
    return out;
  }
  std::size_t from = 0;
  for (std::size_t at; (at = s->find(*sep, from)) != std::string::npos; from = at + sep->size()) {
    out.emplace_back(s->substr(from, at - from));
  }
  out.emplace_back(s->substr(from));
  return out;
}

CypherValue substring(Args a, ExecContext&) {
  const std::string* s = text_arg(a[0]);
  if (s == nullptr) return {};
  const std::int64_t start = int_arg(a[1]);
  if (start < 0) negative("start");
  std::int64_t length = INT64_MAX;
  if (a.size() > 2) {
    length = int_arg(a[2]);
    if (length < 0) negative("length");
  }
  return substring_chars(*s, start, length);
}

CypherValue left(Args a, ExecContext&) {
  const std::string* s = text_arg(a[0]);
  if (s == nullptr) return {};
  if (a[1].is_null()) throw CypherError("ArgumentError", "NumberOutOfRange", ErrorPhase::kRuntime, "length must be given");
  const std::int64_t n = int_arg(a[1]);
  if (n < 0) negative("length");
  return substring_chars(*s, 0, n);
}

CypherValue right(Args a, ExecContext&) {
  const std::string* s = text_arg(a[0]);
  if (s == nullptr) return {};
  if (a[1].is_null()) throw CypherError("ArgumentError", "NumberOutOfRange", ErrorPhase::kRuntime, "length must be given");
  const std::int64_t n = int_arg(a[1]);
  if (n < 0) negative("length");
  std::int64_t chars = 0;
  for (const unsigned char c : *s) chars += (c & 0xC0) != 0x80;
  return substring_chars(*s, std::max<std::int64_t>(0, chars - n), n);
}

CypherValue replace(Args a, ExecContext&) {
  const std::string* s = text_arg(a[0]);
  const std::string* from = text_arg(a[1]);
  const std::string* to = text_arg(a[2]);
  if (s == nullptr || from == nullptr || to == nullptr) return {};
  if (from->empty()) return *s;
  std::string out;
  std::size_t at = 0;
  for (std::size_t hit; (hit = s->find(*from, at)) != std::string::npos; at = hit + from->size()) {
    out.append(*s, at, hit - at);
    out += *to;
  }
  out.append(*s, at);
  return out;
}

CypherValue to_integer(Args a, ExecContext&) {
  const CypherValue& v = a[0];
  switch (v.kind()) {
    case Kind::kNull: return {};
    case Kind::kInteger: return v;
    case Kind::kBool: return std::int64_t{v.as_bool() ? 1 : 0};
    case Kind::kFloat: {
      const double f = v.as_float();
      if (std::isnan(f) || f >= 9223372036854775808.0 || f < -9223372036854775808.0) return {};
      return static_cast<std::int64_t>(f);
    }
    case Kind::kString: {
      const std::string& s = v.as_string();
      std::int64_t i = 0;
      const auto r = std::from_chars(s.data(), s.data() + s.size(), i);
      if (r.ec == std::errc() && r.ptr == s.data() + s.size()) return i;
      double f = 0;
      const auto rf = std::from_chars(s.data(), s.data() + s.size(), f);
      if (rf.ec == std::errc() && rf.ptr == s.data() + s.size() && std::isfinite(f) && f < 9223372036854775808.0 &&
          f >= -9223372036854775808.0) {
        return static_cast<std::int64_t>(f);
      }
      return {};
    }
    default: invalid_argument("toInteger", "String, Boolean, Integer or Float", v);
  }
}

CypherValue to_float(Args a, ExecContext&) {
  const CypherValue& v = a[0];
  switch (v.kind()) {
    case Kind::kNull: return {};
    case Kind::kFloat: return v;
    case Kind::kInteger: return static_cast<double>(v.as_int());
    case Kind::kString: {
      const std::string& s = v.as_string();
      double f = 0;
      const auto r = std::from_chars(s.data(), s.data() + s.size(), f);
      if (r.ec == std::errc() && r.ptr == s.data() + s.size()) return f;
      return {};
    }
    default: invalid_argument("toFloat", "String, Integer or Float", v);
  }
}

CypherValue to_boolean(Args a, ExecContext&) {
  const CypherValue& v = a[0];
  switch (v.kind()) {
    case Kind::kNull: return {};
    case Kind::kBool: return v;
    case Kind::kInteger: return v.as_int() != 0;
    case Kind::kString: {
      std::string s = v.as_string();
      for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      while (!s.empty() && blank(s.back())) s.pop_back();
      while (!s.empty() && blank(s.front())) s.erase(s.begin());
      if (s == "true") return true;
      if (s == "false") return false;
      return {};
    }
    default: invalid_argument("toBoolean", "String, Boolean or Integer", v);
  }
}

const ScalarFunction kFunctions[] = {
    {"toString", 1, 1, to_string},   {"toUpper", 1, 1, to_upper},     {"toLower", 1, 1, to_lower},
    {"trim", 1, 1, trim},            {"ltrim", 1, 1, ltrim},          {"rtrim", 1, 1, rtrim},
    {"split", 2, 2, split},          {"substring", 2, 3, substring},  {"left", 2, 2, left},
    {"right", 2, 2, right},          {"replace", 3, 3, replace},      {"toInteger", 1, 1, to_integer},
    {"toFloat", 1, 1, to_float},     {"toBoolean", 1, 1, to_boolean},
};

}  // namespace

std::span<const ScalarFunction> string_functions() { return kFunctions; }

std::string to_text(const CypherValue& value) {
  switch (value.kind()) {
    case Kind::kNull: return "null";
    case Kind::kBool: return value.as_bool() ? "true" : "false";
    case Kind::kInteger: return std::to_string(value.as_int());
    case Kind::kFloat: {
      const double f = value.as_float();
      if (std::isnan(f)) return "NaN";
      if (std::isinf(f)) return f > 0 ? "Infinity" : "-Infinity";
      return shortest_double(f);
    }
    case Kind::kString: return value.as_string();
    case Kind::kDate: return format_date(value.get<Date>());
    case Kind::kLocalTime: return format_local_time(value.get<LocalTime>());
    case Kind::kTime: return format_time(value.get<Time>());
    case Kind::kLocalDateTime: return format_local_date_time(value.get<LocalDateTime>());
    case Kind::kDateTime: return format_date_time(value.get<DateTime>());
    case Kind::kDuration: return format_duration(value.get<Duration>());
    case Kind::kPoint: return format_point(value.get<Point>());
    default: return type_name(value);
  }
}

}  // namespace orvane
