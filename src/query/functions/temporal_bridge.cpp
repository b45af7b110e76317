// Where expressions meet temporal and spatial values: the function table
// of date(), datetime.truncate(), duration.between(), point(), distance()
// and their kin, the components (d.year, p.x) and the arithmetic with
// durations, all over the temporal and spatial libraries, which work on
// property values (graph/value.h).
//
// Every current-time form of one statement reads the statement's instant
// (ExecContext::statement_time), so date() = date() holds within a
// statement; realtime() reads the clock at each call.
#include <chrono>

#include "query/exec/evaluate.h"
#include "query/functions/scalar_functions.h"
#include "query/functions/spatial_functions.h"
#include "query/functions/temporal_functions.h"

namespace orvane {
namespace {

using Kind = CypherValue::Kind;
using Args = std::span<const CypherValue>;

Instant instant_of(std::chrono::system_clock::time_point t) {
  const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
  const std::int64_t seconds = nanos >= 0 ? nanos / kNanosPerSecond : -((-nanos + kNanosPerSecond - 1) / kNanosPerSecond);
  return {seconds, static_cast<std::int32_t>(nanos - seconds * kNanosPerSecond)};
}

StatementClock clock_of(const ExecContext& context) {
  StatementClock clock;
  clock.statement = instant_of(context.statement_time());
  clock.transaction = clock.statement;
  clock.realtime = [] { return instant_of(std::chrono::system_clock::now()); };
  return clock;
}

// A value the temporal libraries take: every property value. Maps and
// graph entities are refused with the type they have.
Value property_arg(const CypherValue& v) {
  std::optional<Value> p = to_property(v);
  if (!p) type_mismatch("a temporal, a number or a string", v);
  return std::move(*p);
}

std::vector<std::pair<std::string, Value>> map_arg(const CypherValue& v) {
  std::vector<std::pair<std::string, Value>> out;
  for (const auto& [key, value] : v.as_map()) out.emplace_back(key, property_arg(value));
  return out;
}

template <TemporalType T>
CypherValue construct(Args a, ExecContext& c) {
  const StatementClock clock = clock_of(c);
  if (a.empty()) return from_property(temporal_now(T, ClockKind::kStatement, clock));
  if (a[0].is_null()) return {};
  if (a[0].kind() == Kind::kMap) {
    const auto map = map_arg(a[0]);
    return from_property(temporal_from_map(T, map, clock));
  }
  return from_property(temporal_from_value(T, property_arg(a[0]), clock));
}

template <TemporalType T, ClockKind K>
CypherValue now(Args a, ExecContext& c) {
  const StatementClock clock = clock_of(c);
  if (a.empty()) return from_property(temporal_now(T, K, clock));
  const Value zone = property_arg(a[0]);
  return from_property(temporal_now(T, K, clock, &zone));
}

template <TemporalType T>
CypherValue truncate(Args a, ExecContext& c) {
  if (a[0].kind() != Kind::kString) type_mismatch("String", a[0]);
  if (a[1].is_null()) return {};
  std::vector<std::pair<std::string, Value>> overrides;
  if (a.size() > 2 && !a[2].is_null()) {
    if (a[2].kind() != Kind::kMap) type_mismatch("Map", a[2]);
    overrides = map_arg(a[2]);
  }
  return from_property(temporal_truncate(T, a[0].as_string(), property_arg(a[1]), overrides, clock_of(c)));
}

CypherValue from_epoch(Args a, ExecContext&) {
  return from_property(datetime_from_epoch(property_arg(a[0]), property_arg(a[1])));
}

CypherValue from_epoch_millis(Args a, ExecContext&) {
  return from_property(datetime_from_epoch_millis(property_arg(a[0])));
}

template <BetweenUnit U>
CypherValue between(Args a, ExecContext&) {
  if (a[0].is_null() || a[1].is_null()) return {};
  return from_property(duration_between(U, property_arg(a[0]), property_arg(a[1])));
}

CypherValue point(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  if (a[0].kind() != Kind::kMap) type_mismatch("Map", a[0]);
  const auto map = map_arg(a[0]);
  return from_property(point_from_map(map));
}

CypherValue distance(Args a, ExecContext&) {
  if (a[0].is_null() || a[1].is_null()) return {};
  return from_property(point_distance(property_arg(a[0]), property_arg(a[1])));
}

CypherValue within_bbox(Args a, ExecContext&) {
  if (a[0].is_null() || a[1].is_null() || a[2].is_null()) return {};
  return from_property(point_within_bbox(property_arg(a[0]), property_arg(a[1]), property_arg(a[2])));
}

#define ORVANE_TEMPORAL_FAMILY(NAME, TYPE)                                                   \
  {NAME, 0, 1, construct<TYPE>, false},                                                      \
      {NAME ".statement", 0, 1, now<TYPE, ClockKind::kStatement>},                           \
      {NAME ".transaction", 0, 1, now<TYPE, ClockKind::kTransaction>},                       \
      {NAME ".realtime", 0, 1, now<TYPE, ClockKind::kRealtime>, false},                      \
      {NAME ".truncate", 2, 3, truncate<TYPE>, false}

const ScalarFunction kFunctions[] = {
    ORVANE_TEMPORAL_FAMILY("date", TemporalType::kDate),
    ORVANE_TEMPORAL_FAMILY("localtime", TemporalType::kLocalTime),
    ORVANE_TEMPORAL_FAMILY("time", TemporalType::kTime),
    ORVANE_TEMPORAL_FAMILY("localdatetime", TemporalType::kLocalDateTime),
    ORVANE_TEMPORAL_FAMILY("datetime", TemporalType::kDateTime),
    {"duration", 1, 1, construct<TemporalType::kDuration>},
    {"datetime.fromepoch", 2, 2, from_epoch},
    {"datetime.fromepochmillis", 1, 1, from_epoch_millis},
    {"duration.between", 2, 2, between<BetweenUnit::kAll>},
    {"duration.inMonths", 2, 2, between<BetweenUnit::kMonths>},
    {"duration.inDays", 2, 2, between<BetweenUnit::kDays>},
    {"duration.inSeconds", 2, 2, between<BetweenUnit::kSeconds>},
    {"point", 1, 1, point},
    {"point.distance", 2, 2, distance},
    {"distance", 2, 2, distance},
    {"point.withinBBox", 3, 3, within_bbox},
};

#undef ORVANE_TEMPORAL_FAMILY

}  // namespace

std::span<const ScalarFunction> temporal_functions() { return kFunctions; }

CypherValue component_of(const CypherValue& value, std::string_view name) {
  switch (value.kind()) {
    case Kind::kDate:
    case Kind::kLocalTime:
    case Kind::kTime:
    case Kind::kLocalDateTime:
    case Kind::kDateTime:
    case Kind::kDuration:
    case Kind::kPoint: return from_property(temporal_component(property_arg(value), name));
    default: type_mismatch("Map, Node, Relationship, Temporal, Duration or Point", value);
  }
}

CypherValue temporal_arithmetic(ast::Op op, const CypherValue& a, const CypherValue& b) {
  const auto temporal = [](const CypherValue& v) {
    return v.kind() >= Kind::kDate && v.kind() <= Kind::kDuration;
  };
  if (!temporal(a) && !temporal(b)) type_mismatch("Number, String, List, Temporal or Duration", a.is_number() ? b : a);
  switch (op) {
    case ast::Op::kAdd: return from_property(temporal_add(property_arg(a), property_arg(b)));
    case ast::Op::kSubtract: return from_property(temporal_subtract(property_arg(a), property_arg(b)));
    case ast::Op::kMultiply: return from_property(duration_multiply(property_arg(a), property_arg(b)));
    case ast::Op::kDivide: return from_property(duration_divide(property_arg(a), property_arg(b)));
    case ast::Op::kNegate: return from_property(duration_multiply(property_arg(a), Value(std::int64_t{-1})));
    default: type_mismatch("Number", temporal(a) ? a : b);
  }
}

}  // namespace orvane
