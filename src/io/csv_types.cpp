// Column types and value texts of the bulk-import CSV layout.
//
//   value type        column type      text
//   INTEGER           long             -9223372036854775808
//   FLOAT             double           2.5, 1.0, 1e+300 (finite only)
//   BOOLEAN           boolean          true, false
//   STRING            string           the text itself (the writer quotes it)
//   DATE              date             2024-02-29
//   LOCAL TIME        localtime        12:30:00.5
//   TIME              time             12:30:00+01:00
//   LOCAL DATETIME    localdatetime    2024-02-29T12:30:00
//   DATETIME          datetime         2024-02-29T12:30:00+01:00[Europe/Paris]
//   DURATION          duration         P1Y2M3DT4H5M6.5S
//   POINT             point            {crs:'wgs-84',longitude:12.5,latitude:56.25}
//   LIST OF T         T[]              elements joined by ";"
//
// Whatever this table cannot carry exactly (byte arrays, NaN and the
// infinities, lists whose joined text is ambiguous) is left to the
// properties:json column, which holds typed JSON.
#include "io/csv_types.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace orvane {
namespace {

CsvScalar scalar_of(const Value& value) {
  struct Visitor {
    CsvScalar operator()(std::monostate) const { return CsvScalar::kJson; }
    CsvScalar operator()(bool) const { return CsvScalar::kBoolean; }
    CsvScalar operator()(std::int64_t) const { return CsvScalar::kLong; }
    CsvScalar operator()(double v) const { return std::isfinite(v) ? CsvScalar::kDouble : CsvScalar::kJson; }
    CsvScalar operator()(const std::string&) const { return CsvScalar::kString; }
    CsvScalar operator()(const Bytes&) const { return CsvScalar::kJson; }
    CsvScalar operator()(const Date&) const { return CsvScalar::kDate; }
    CsvScalar operator()(const LocalTime&) const { return CsvScalar::kLocalTime; }
    CsvScalar operator()(const Time&) const { return CsvScalar::kTime; }
    CsvScalar operator()(const LocalDateTime&) const { return CsvScalar::kLocalDateTime; }
    CsvScalar operator()(const DateTime&) const { return CsvScalar::kDateTime; }
    CsvScalar operator()(const Duration&) const { return CsvScalar::kDuration; }
    CsvScalar operator()(const Point& p) const {
      const bool finite = std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
      return finite ? CsvScalar::kPoint : CsvScalar::kJson;
    }
    CsvScalar operator()(const ValueList&) const { return CsvScalar::kJson; }  // lists do not nest
  };
  return std::visit(Visitor{}, value.storage());
}

// A string list reads back from its joined text only when splitting at ";"
// gives the same elements and the text does not look like a JSON array.
bool joinable_strings(const ValueList& list) {
  if (list.size() == 1 && list.front().as<std::string>().empty()) return false;  // reads as []
  if (list.front().as<std::string>().starts_with('[')) return false;
  for (const Value& v : list) {
    if (v.as<std::string>().find(';') != std::string::npos) return false;
  }
  return true;
}

void append_double(std::string& out, double value) { out += shortest_double(value); }

[[noreturn]] void invalid_point(std::string_view text) {
  throw std::runtime_error("invalid point: " + std::string(text));
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

CsvColumnType csv_column_type(const Value& value) {
  if (!value.is<ValueList>()) return {scalar_of(value), false};
  const ValueList& list = value.as<ValueList>();
  if (list.empty()) return {CsvScalar::kNone, true};
  const CsvScalar first = scalar_of(list.front());
  for (const Value& v : list) {
    if (scalar_of(v) != first) return {CsvScalar::kJson, false};
  }
  if (first == CsvScalar::kString && !joinable_strings(list)) return {CsvScalar::kJson, false};
  return first == CsvScalar::kJson ? CsvColumnType{CsvScalar::kJson, false} : CsvColumnType{first, true};
}

CsvColumnType merge_column_types(CsvColumnType a, CsvColumnType b) {
  const CsvColumnType unseen{};
  const CsvColumnType json{CsvScalar::kJson, false};
  if (a == unseen) return b;
  if (b == unseen) return a;
  if (a.scalar == CsvScalar::kJson || b.scalar == CsvScalar::kJson || a.array != b.array) return json;
  if (a.array && a.scalar == CsvScalar::kNone) return b;
  if (a.array && b.scalar == CsvScalar::kNone) return a;
  return a == b ? a : json;
}

std::string csv_type_name(CsvColumnType type) {
  static constexpr const char* kNames[] = {"string",        "long",     "double",   "boolean", "string",
                                           "date",          "localtime", "time",    "localdatetime",
                                           "datetime",      "duration", "point",    "json"};
  std::string name = kNames[static_cast<std::size_t>(type.scalar)];
  if (type.array) name += "[]";
  return name;
}

void append_csv_text(std::string& out, const Value& value) {
  struct Visitor {
    std::string& out;
    void operator()(std::monostate) const {}
    void operator()(bool v) const { out += v ? "true" : "false"; }
    void operator()(std::int64_t v) const {
      char digits[24];
      const auto r = std::to_chars(digits, digits + sizeof digits, v);
      out.append(digits, r.ptr);
    }
    void operator()(double v) const { append_double(out, v); }
    void operator()(const std::string& v) const { out += v; }
    void operator()(const Bytes&) const {}  // never typed: left to properties:json
    void operator()(const Date& v) const { out += format_date(v); }
    void operator()(const LocalTime& v) const { out += format_local_time(v); }
    void operator()(const Time& v) const { out += format_time(v); }
    void operator()(const LocalDateTime& v) const { out += format_local_date_time(v); }
    void operator()(const DateTime& v) const { out += format_date_time(v); }
    void operator()(const Duration& v) const { out += format_duration(v); }
    void operator()(const Point& v) const { out += format_point_map(v); }
    void operator()(const ValueList& list) const {
      for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) out += ';';
        std::visit(*this, list[i].storage());
      }
    }
  };
  std::visit(Visitor{out}, value.storage());
}

std::string format_point_map(const Point& point) {
  const bool geographic = point.srid == 4326 || point.srid == 4979;
  std::string out = "{crs:'";
  out += geographic ? "wgs-84" : "cartesian";
  if (point.has_z()) out += "-3d";
  out += geographic ? "',longitude:" : "',x:";
  append_double(out, point.x);
  out += geographic ? ",latitude:" : ",y:";
  append_double(out, point.y);
  if (point.has_z()) {
    out += geographic ? ",height:" : ",z:";
    append_double(out, point.z);
  }
  out += '}';
  return out;
}

Point parse_point_map(std::string_view text) {
  std::size_t at = 0;
  auto skip_blanks = [&] {
    while (at < text.size() && blank(text[at])) ++at;
  };
  skip_blanks();
  if (at == text.size() || text[at] != '{') invalid_point(text);
  ++at;
  double coordinate[3] = {0, 0, 0};
  bool seen[3] = {false, false, false};
  bool named_geographic = false, named_cartesian = false;
  std::int32_t srid = 0;
  for (;;) {
    skip_blanks();
    const std::size_t key_start = at;
    while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) != 0 || text[at] == '_')) ++at;
    const std::string key = lower(text.substr(key_start, at - key_start));
    skip_blanks();
    if (key.empty() || at == text.size() || text[at] != ':') invalid_point(text);
    ++at;
    skip_blanks();
    std::string member;
    if (at < text.size() && (text[at] == '\'' || text[at] == '"')) {
      const std::size_t close = text.find(text[at], at + 1);
      if (close == std::string_view::npos) invalid_point(text);
      member = text.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      const std::size_t start = at;
      while (at < text.size() && text[at] != ',' && text[at] != '}') ++at;
      std::size_t end = at;
      while (end > start && blank(text[end - 1])) --end;
      member = text.substr(start, end - start);
    }
    if (key == "crs" || key == "srid") {
      if (srid != 0) invalid_point(text);
      const std::string crs = lower(member);
      srid = crs == "cartesian" || crs == "7203" ? 7203
             : crs == "cartesian-3d" || crs == "9157" ? 9157
             : crs == "wgs-84" || crs == "4326" ? 4326
             : crs == "wgs-84-3d" || crs == "4979" ? 4979
                                                    : 0;
      if (srid == 0) invalid_point(text);
    } else {
      const int axis = key == "x" || key == "longitude" ? 0 : key == "y" || key == "latitude" ? 1
                       : key == "z" || key == "height" ? 2 : -1;
      if (axis < 0 || seen[axis] || member.empty()) invalid_point(text);
      (key.size() == 1 ? named_cartesian : named_geographic) = true;
      char* end = nullptr;
      coordinate[axis] = std::strtod(member.c_str(), &end);
      if (end != member.c_str() + member.size() || !std::isfinite(coordinate[axis])) invalid_point(text);
      seen[axis] = true;
    }
    skip_blanks();
    if (at == text.size()) invalid_point(text);
    const char separator = text[at++];
    if (separator == '}') break;
    if (separator != ',') invalid_point(text);
  }
  skip_blanks();
  if (at != text.size() || !seen[0] || !seen[1] || (named_geographic && named_cartesian)) invalid_point(text);
  if (srid == 0) srid = named_geographic ? (seen[2] ? 4979 : 4326) : (seen[2] ? 9157 : 7203);
  Point point;
  point.srid = srid;
  if (point.has_z() != seen[2]) invalid_point(text);
  point.x = coordinate[0];
  point.y = coordinate[1];
  point.z = coordinate[2];
  return point;
}

}  // namespace orvane
