// CypherValue: conversions to and from property values, and the three
// relations between values (the top of cypher_value.h defines them).
//
// Integers and floats meet in every relation: 1 = 1.0, they group
// together, and they sort by value. An integer beyond 2^53 is compared with
// a float exactly, not through a rounding conversion, so that
// 9007199254740993 is not equal to 9007199254740992.0.
#include "graph/cypher_value.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace orvane {
namespace {

using Kind = CypherValue::Kind;

// Exact three-way comparison of an integer and a non-NaN double.
std::partial_ordering compare_int_float(std::int64_t i, double f) {
  if (f >= 9223372036854775808.0) return std::partial_ordering::less;
  if (f < -9223372036854775808.0) return std::partial_ordering::greater;
  const double whole = std::floor(f);
  const auto w = static_cast<std::int64_t>(whole);
  if (i != w) return i < w ? std::partial_ordering::less : std::partial_ordering::greater;
  return whole == f ? std::partial_ordering::equivalent : std::partial_ordering::less;
}

// Numbers compared by value; unordered when either is NaN.
std::partial_ordering compare_numbers(const CypherValue& a, const CypherValue& b) {
  if (a.kind() == Kind::kInteger && b.kind() == Kind::kInteger) return a.as_int() <=> b.as_int();
  if (a.kind() == Kind::kFloat && b.kind() == Kind::kFloat) return a.as_float() <=> b.as_float();
  if (a.kind() == Kind::kInteger) {
    if (std::isnan(b.as_float())) return std::partial_ordering::unordered;
    return compare_int_float(a.as_int(), b.as_float());
  }
  if (std::isnan(a.as_float())) return std::partial_ordering::unordered;
  const std::partial_ordering r = compare_int_float(b.as_int(), a.as_float());
  return r == std::partial_ordering::less ? std::partial_ordering::greater
         : r == std::partial_ordering::greater ? std::partial_ordering::less
                                               : r;
}

// The instant of a time with offset, in nanoseconds of a UTC day (may leave
// the day's range; only used to compare).
std::int64_t time_instant(const Time& t) { return t.nanos - std::int64_t{t.offset_seconds} * kNanosPerSecond; }

std::strong_ordering compare_date_time(const DateTime& a, const DateTime& b) {
  if (const auto c = a.seconds <=> b.seconds; c != 0) return c;
  return a.nanos <=> b.nanos;
}

std::strong_ordering compare_local_date_time(const LocalDateTime& a, const LocalDateTime& b) {
  if (const auto c = a.seconds <=> b.seconds; c != 0) return c;
  return a.nanos <=> b.nanos;
}

// Rank of a kind in ORDER BY's order across kinds.
int order_rank(Kind kind) {
  switch (kind) {
    case Kind::kMap: return 0;
    case Kind::kNode: return 1;
    case Kind::kRelationship: return 2;
    case Kind::kList: return 3;
    case Kind::kPath: return 4;
    case Kind::kPoint: return 5;
    case Kind::kDateTime: return 6;
    case Kind::kLocalDateTime: return 7;
    case Kind::kDate: return 8;
    case Kind::kTime: return 9;
    case Kind::kLocalTime: return 10;
    case Kind::kDuration: return 11;
    case Kind::kBytes: return 12;
    case Kind::kString: return 13;
    case Kind::kBool: return 14;
    case Kind::kInteger:
    case Kind::kFloat: return 15;
    case Kind::kNull: return 16;
  }
  return 16;
}

int sign(std::partial_ordering o) { return o < 0 ? -1 : o > 0 ? 1 : 0; }
int sign(std::strong_ordering o) { return o < 0 ? -1 : o > 0 ? 1 : 0; }

// Map entries sorted by key, to compare maps whatever order they were built in.
std::vector<const std::pair<std::string, CypherValue>*> sorted_entries(const CypherMap& map) {
  std::vector<const std::pair<std::string, CypherValue>*> out;
  out.reserve(map.size());
  for (const auto& entry : map) out.push_back(&entry);
  std::sort(out.begin(), out.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
  return out;
}

std::optional<bool> compare_equal(const CypherValue& a, const CypherValue& b, bool nulls_equal);

// The members of two lists or maps, paired: false as soon as one pair is
// unequal, null when one is null and none unequal, else true.
std::optional<bool> all_equal(const std::vector<std::pair<const CypherValue*, const CypherValue*>>& pairs,
                              bool nulls_equal) {
  bool unknown = false;
  for (const auto& [x, y] : pairs) {
    const std::optional<bool> e = compare_equal(*x, *y, nulls_equal);
    if (!e) {
      unknown = true;
    } else if (!*e) {
      return false;
    }
  }
  if (unknown) return std::nullopt;
  return true;
}

// Equality and equivalence share one walk; `nulls_equal` selects
// equivalence. Returns nullopt only for equality.
std::optional<bool> compare_equal(const CypherValue& a, const CypherValue& b, bool nulls_equal) {
  if (a.is_null() || b.is_null()) {
    if (nulls_equal) return a.is_null() && b.is_null();
    return std::nullopt;
  }
  if (a.is_number() && b.is_number()) {
    if (nulls_equal && a.kind() == Kind::kFloat && b.kind() == Kind::kFloat && std::isnan(a.as_float()) &&
        std::isnan(b.as_float())) {
      return true;
    }
    return compare_numbers(a, b) == std::partial_ordering::equivalent;
  }
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::kList: {
      const CypherList& x = a.as_list();
      const CypherList& y = b.as_list();
      if (x.size() != y.size()) return false;
      std::vector<std::pair<const CypherValue*, const CypherValue*>> pairs;
      for (std::size_t i = 0; i < x.size(); ++i) pairs.emplace_back(&x[i], &y[i]);
      return all_equal(pairs, nulls_equal);
    }
    case Kind::kMap: {
      const CypherMap& x = a.as_map();
      if (x.size() != b.as_map().size()) return false;
      std::vector<std::pair<const CypherValue*, const CypherValue*>> pairs;
      for (const auto& [key, value] : x) {
        const CypherValue* other = b.find(key);
        if (other == nullptr) return false;
        pairs.emplace_back(&value, other);
      }
      return all_equal(pairs, nulls_equal);
    }
    case Kind::kPath:
      return a.as_path() == b.as_path();
    default:
      return a.storage() == b.storage();
  }
}

void mix(std::size_t& seed, std::size_t h) { seed ^= h + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2); }

}  // namespace

const CypherValue* CypherValue::find(std::string_view key) const {
  for (const auto& [k, v] : as_map()) {
    if (k == key) return &v;
  }
  return nullptr;
}

const char* type_name(const CypherValue& value) {
  switch (value.kind()) {
    case Kind::kNull: return "NULL";
    case Kind::kBool: return "BOOLEAN";
    case Kind::kInteger: return "INTEGER";
    case Kind::kFloat: return "FLOAT";
    case Kind::kString: return "STRING";
    case Kind::kBytes: return "BYTE ARRAY";
    case Kind::kDate: return "DATE";
    case Kind::kLocalTime: return "LOCAL TIME";
    case Kind::kTime: return "ZONED TIME";
    case Kind::kLocalDateTime: return "LOCAL DATETIME";
    case Kind::kDateTime: return "ZONED DATETIME";
    case Kind::kDuration: return "DURATION";
    case Kind::kPoint: return "POINT";
    case Kind::kList: return "LIST<ANY>";
    case Kind::kMap: return "MAP";
    case Kind::kNode: return "NODE";
    case Kind::kRelationship: return "RELATIONSHIP";
    case Kind::kPath: return "PATH";
  }
  return "ANY";
}

CypherValue from_property(const Value& value) {
  return std::visit(
      [](const auto& v) -> CypherValue {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return CypherValue();
        } else if constexpr (std::is_same_v<T, ValueList>) {
          CypherList list;
          list.reserve(v.size());
          for (const Value& element : v) list.push_back(from_property(element));
          return CypherValue(std::move(list));
        } else {
          return CypherValue(v);
        }
      },
      value.storage());
}

std::optional<Value> to_property(const CypherValue& value) {
  switch (value.kind()) {
    case Kind::kMap:
    case Kind::kNode:
    case Kind::kRelationship:
    case Kind::kPath:
      return std::nullopt;
    case Kind::kList: {
      const CypherList& list = value.as_list();
      ValueList out;
      out.reserve(list.size());
      bool floats = false, ints = false;
      for (const CypherValue& element : list) {
        if (element.is_null() || element.kind() == Kind::kList) return std::nullopt;
        ints = ints || element.kind() == Kind::kInteger;
        floats = floats || element.kind() == Kind::kFloat;
        if (!out.empty() && !element.is_number() && element.kind() != list.front().kind()) return std::nullopt;
        if (element.is_number() && !list.front().is_number()) return std::nullopt;
        std::optional<Value> v = to_property(element);
        if (!v) return std::nullopt;
        out.push_back(std::move(*v));
      }
      if (ints && floats) {
        for (Value& v : out) {
          if (v.is<std::int64_t>()) v = Value(static_cast<double>(v.as<std::int64_t>()));
        }
      }
      return Value(std::move(out));
    }
    default:
      return std::visit(
          [](const auto& v) -> Value {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_constructible_v<Value::Storage, const T&> && !std::is_same_v<T, ValueList>) {
              return Value(v);
            } else {
              return Value();
            }
          },
          value.storage());
  }
}

std::optional<bool> cypher_equals(const CypherValue& a, const CypherValue& b) { return compare_equal(a, b, false); }

bool equivalent(const CypherValue& a, const CypherValue& b) { return compare_equal(a, b, true).value_or(false); }

std::size_t equivalence_hash(const CypherValue& value) {
  std::size_t seed = static_cast<std::size_t>(value.kind() == Kind::kFloat ? Kind::kInteger : value.kind());
  switch (value.kind()) {
    case Kind::kNull: return seed;
    case Kind::kInteger:
      mix(seed, std::hash<std::int64_t>{}(value.as_int()));
      return seed;
    case Kind::kFloat: {
      const double f = value.as_float();
      // A whole float hashes as the integer it equals.
      if (std::isnan(f)) {
        mix(seed, 0x7ff8);
      } else if (f == std::floor(f) && f >= -9223372036854775808.0 && f < 9223372036854775808.0) {
        mix(seed, std::hash<std::int64_t>{}(static_cast<std::int64_t>(f)));
      } else {
        mix(seed, std::hash<double>{}(f));
      }
      return seed;
    }
    case Kind::kList:
      for (const CypherValue& v : value.as_list()) mix(seed, equivalence_hash(v));
      return seed;
    case Kind::kMap: {
      // Order-independent: maps with the same entries in another order are equivalent.
      std::size_t sum = 0;
      for (const auto& [k, v] : value.as_map()) {
        std::size_t entry = std::hash<std::string>{}(k);
        mix(entry, equivalence_hash(v));
        sum += entry;
      }
      mix(seed, sum);
      return seed;
    }
    case Kind::kString: mix(seed, std::hash<std::string>{}(value.as_string())); return seed;
    case Kind::kBool: mix(seed, value.as_bool() ? 1 : 2); return seed;
    case Kind::kNode: mix(seed, value.as_node().identity); return seed;
    case Kind::kRelationship: mix(seed, value.as_relationship().identity); return seed;
    case Kind::kPath:
      for (const std::uint32_t n : value.as_path().nodes) mix(seed, n);
      for (const std::uint32_t r : value.as_path().rels) mix(seed, r);
      return seed;
    case Kind::kBytes: mix(seed, std::hash<std::string>{}(value.get<Bytes>().data)); return seed;
    case Kind::kDate: mix(seed, std::hash<std::int64_t>{}(value.get<Date>().days)); return seed;
    case Kind::kLocalTime: mix(seed, std::hash<std::int64_t>{}(value.get<LocalTime>().nanos)); return seed;
    case Kind::kTime:
      mix(seed, std::hash<std::int64_t>{}(value.get<Time>().nanos));
      mix(seed, value.get<Time>().offset_seconds);
      return seed;
    case Kind::kLocalDateTime:
      mix(seed, std::hash<std::int64_t>{}(value.get<LocalDateTime>().seconds));
      mix(seed, value.get<LocalDateTime>().nanos);
      return seed;
    case Kind::kDateTime:
      mix(seed, std::hash<std::int64_t>{}(value.get<DateTime>().seconds));
      mix(seed, value.get<DateTime>().nanos);
      return seed;
    case Kind::kDuration: {
      const Duration& d = value.get<Duration>();
      for (const std::int64_t part : {d.months, d.days, d.seconds, std::int64_t{d.nanos}}) {
        mix(seed, std::hash<std::int64_t>{}(part));
      }
      return seed;
    }
    case Kind::kPoint: {
      const Point& p = value.get<Point>();
      mix(seed, p.srid);
      for (const double c : {p.x, p.y, p.z}) mix(seed, std::hash<double>{}(c));
      return seed;
    }
  }
  return seed;
}

int order_compare(const CypherValue& a, const CypherValue& b) {
  const int ra = order_rank(a.kind()), rb = order_rank(b.kind());
  if (ra != rb) return ra < rb ? -1 : 1;
  switch (a.kind()) {
    case Kind::kNull: return 0;
    case Kind::kInteger:
    case Kind::kFloat: {
      // NaN sorts above every number, equal to itself.
      const bool na = a.kind() == Kind::kFloat && std::isnan(a.as_float());
      const bool nb = b.kind() == Kind::kFloat && std::isnan(b.as_float());
      if (na || nb) return na == nb ? 0 : na ? 1 : -1;
      return sign(compare_numbers(a, b));
    }
    case Kind::kBool: return sign(a.as_bool() <=> b.as_bool());
    case Kind::kString: return sign(a.as_string().compare(b.as_string()) <=> 0);
    case Kind::kBytes: return sign(a.get<Bytes>().data.compare(b.get<Bytes>().data) <=> 0);
    case Kind::kList: {
      const CypherList& x = a.as_list();
      const CypherList& y = b.as_list();
      for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (const int c = order_compare(x[i], y[i]); c != 0) return c;
      }
      return sign(x.size() <=> y.size());
    }
    case Kind::kMap: {
      const auto x = sorted_entries(a.as_map());
      const auto y = sorted_entries(b.as_map());
      for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (const int c = sign(x[i]->first.compare(y[i]->first) <=> 0); c != 0) return c;
        if (const int c = order_compare(x[i]->second, y[i]->second); c != 0) return c;
      }
      return sign(x.size() <=> y.size());
    }
    case Kind::kNode: return sign(a.as_node().identity <=> b.as_node().identity);
    case Kind::kRelationship: return sign(a.as_relationship().identity <=> b.as_relationship().identity);
    case Kind::kPath: {
      const PathValue& x = a.as_path();
      const PathValue& y = b.as_path();
      if (const int c = sign(x.rels.size() <=> y.rels.size()); c != 0) return c;
      if (const int c = sign(x.nodes <=> y.nodes); c != 0) return c;
      return sign(x.rels <=> y.rels);
    }
    case Kind::kDate: return sign(a.get<Date>().days <=> b.get<Date>().days);
    case Kind::kLocalTime: return sign(a.get<LocalTime>().nanos <=> b.get<LocalTime>().nanos);
    case Kind::kTime: {
      const Time& x = a.get<Time>();
      const Time& y = b.get<Time>();
      if (const int c = sign(time_instant(x) <=> time_instant(y)); c != 0) return c;
      return sign(x.offset_seconds <=> y.offset_seconds);
    }
    case Kind::kLocalDateTime:
      return sign(compare_local_date_time(a.get<LocalDateTime>(), b.get<LocalDateTime>()));
    case Kind::kDateTime: {
      const DateTime& x = a.get<DateTime>();
      const DateTime& y = b.get<DateTime>();
      if (const int c = sign(compare_date_time(x, y)); c != 0) return c;
      if (const int c = sign(x.offset_seconds <=> y.offset_seconds); c != 0) return c;
      return sign(x.zone.compare(y.zone) <=> 0);
    }
    case Kind::kDuration: {
      const Duration& x = a.get<Duration>();
      const Duration& y = b.get<Duration>();
      if (const int c = sign(x.months <=> y.months); c != 0) return c;
      if (const int c = sign(x.days <=> y.days); c != 0) return c;
      if (const int c = sign(x.seconds <=> y.seconds); c != 0) return c;
      return sign(x.nanos <=> y.nanos);
    }
    case Kind::kPoint: {
      const Point& x = a.get<Point>();
      const Point& y = b.get<Point>();
      if (const int c = sign(x.srid <=> y.srid); c != 0) return c;
      if (const int c = sign(x.x <=> y.x); c != 0) return c;
      if (const int c = sign(x.y <=> y.y); c != 0) return c;
      return sign(x.z <=> y.z);
    }
  }
  return 0;
}

std::optional<std::partial_ordering> cypher_compare(const CypherValue& a, const CypherValue& b) {
  if (a.is_null() || b.is_null()) return std::nullopt;
  if (a.is_number() && b.is_number()) return compare_numbers(a, b);
  if (a.kind() != b.kind()) return std::nullopt;
  switch (a.kind()) {
    case Kind::kBool: return a.as_bool() <=> b.as_bool();
    case Kind::kString: return a.as_string().compare(b.as_string()) <=> 0;
    case Kind::kList: {
      const CypherList& x = a.as_list();
      const CypherList& y = b.as_list();
      for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        const std::optional<std::partial_ordering> c = cypher_compare(x[i], y[i]);
        if (!c) return std::nullopt;
        if (*c != 0) return c;
      }
      return x.size() <=> y.size();
    }
    case Kind::kDate: return a.get<Date>().days <=> b.get<Date>().days;
    case Kind::kLocalTime: return a.get<LocalTime>().nanos <=> b.get<LocalTime>().nanos;
    case Kind::kTime: return time_instant(a.get<Time>()) <=> time_instant(b.get<Time>());
    case Kind::kLocalDateTime: return compare_local_date_time(a.get<LocalDateTime>(), b.get<LocalDateTime>());
    case Kind::kDateTime: return compare_date_time(a.get<DateTime>(), b.get<DateTime>());
    default: return std::nullopt;
  }
}

}  // namespace orvane
