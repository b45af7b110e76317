// Cypher's temporal functions as the expression evaluator calls them:
// the constructors date(), localtime(), time(), localdatetime(),
// datetime() and duration() with their .statement/.transaction/.realtime,
// .truncate, .fromepoch forms, the component accessors (d.year, d.offset,
// dur.minutesOfHour, ...), arithmetic (temporal ± duration, duration ±
// duration, duration * and / number), duration.between/inMonths/inDays/
// inSeconds, and comparison. Each follows Neo4j 5: same results, same
// rounding, and errors as orvane::CypherError with Neo4j's classes.
//
// Values are orvane::Value (graph/value.h). A map argument, which no
// property value can hold, arrives as the map's members in the order
// written; the caller rejects members that are not property values
// before calling. Every function returns null when a value argument is
// null, as Cypher's functions do. Errors, all raised at run time:
//   ArgumentError/InvalidArgumentValue  text that is no temporal, a field
//       out of range, map fields that do not fit together, an unknown
//       time zone, an unknown component or truncation unit;
//   TypeError/InvalidArgumentType       an argument of the wrong type.
// Time zones are resolved through time_zones.h (the system's tzdata).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "graph/value.h"

namespace orvane {

using MapArg = std::span<const std::pair<std::string, Value>>;

enum class TemporalType { kDate, kLocalTime, kTime, kLocalDateTime, kDateTime, kDuration };
enum class ClockKind { kStatement, kTransaction, kRealtime };

struct Instant {
  std::int64_t seconds = 0;  // UTC seconds since the epoch
  std::int32_t nanos = 0;    // 0 … 999999999
};

// What the caller fixes once per statement: the instants Cypher's
// "current" forms read, and the database's default time zone.
struct StatementClock {
  Instant statement;                  // date(), datetime.statement(): one value per statement
  Instant transaction;                // datetime.transaction(): one value per transaction
  std::function<Instant()> realtime;  // datetime.realtime(): read at each call; empty → `statement`
  std::string default_zone = "Z";     // zone of datetime()/time() without one, as db.temporal.timezone
};

// --- Constructors ----------------------------------------------------------

// date(), datetime.transaction('Europe/Paris') and the like: the clock's
// instant of `kind`, seen in `timezone` (a STRING zone id or offset) or in
// the default zone when `timezone` is nullptr. Throws for an unknown zone
// or a timezone that is not a string. `type` must not be kDuration.
Value temporal_now(TemporalType type, ClockKind kind, const StatementClock& clock, const Value* timezone = nullptr);

// date('2015-W30-2'), localtime(datetime(...)), duration('P1Y'): `arg` is
// either text in one of the ISO 8601 forms Neo4j accepts (calendar, week,
// ordinal and quarter dates; basic and extended forms; offsets and zone ids
// in brackets; durations with fractions or in the "P2012-02-02T14:37:21"
// form), or a temporal value to convert (keeping the parts `type` has and
// taking missing ones as Neo4j does: the default zone for a zone, midnight
// for a time). A Duration converts to nothing but a Duration.
Value temporal_from_value(TemporalType type, const Value& arg, const StatementClock& clock);

// date({year: 1984, week: 10, dayOfWeek: 3}), datetime({date: d, time: t,
// timezone: 'Europe/Stockholm', second: 42}), duration({months: 0.75}):
// Neo4j's map forms, including the selection of another temporal's parts
// through the members date, time and datetime, overridden by the fields
// given beside them. A map holding only a timezone gives the current value
// in that zone. Fractions in a duration map cascade into smaller units
// (a month is 30.436875 days). Throws for unknown members, fields that do
// not fit together (a day without a month, a week and a month) and fields
// out of range.
Value temporal_from_map(TemporalType type, MapArg map, const StatementClock& clock);

// datetime.fromepoch(seconds, nanoseconds) and datetime.fromepochmillis(ms):
// a UTC DateTime. Arguments must be integers (floats are truncated, as
// Neo4j does); nanoseconds may exceed one second.
Value datetime_from_epoch(const Value& seconds, const Value& nanos);
Value datetime_from_epoch_millis(const Value& millis);

// --- Accessors ---------------------------------------------------------------

// `value.name` for a temporal, a Duration or a Point (year, weekYear,
// dayOfQuarter, offsetMinutes, epochMillis, monthsOfQuarter, crs, srid,
// ...). Names match exactly, as Cypher's property keys do. A component its
// type does not have throws ArgumentError/InvalidArgumentValue
// "No such field: NAME"; a value that is neither throws TypeError.
Value temporal_component(const Value& value, std::string_view name);

// --- Arithmetic and comparison ---------------------------------------------

// a + b: a temporal plus a Duration (either order) or two Durations. A
// Duration's months are added first (the day clamped to the month's end),
// then its days, then its seconds; a type without a date ignores the date
// parts. a - b: a temporal minus a Duration, or a Duration minus one.
// Other combinations throw TypeError; a result outside the date range
// throws ArgumentError.
Value temporal_add(const Value& a, const Value& b);
Value temporal_subtract(const Value& a, const Value& b);

// A Duration times or divided by an INTEGER or FLOAT (either order for
// multiplication). The product's fraction of a month or day cascades into
// smaller units. Division by zero throws ArgumentError.
Value duration_multiply(const Value& a, const Value& b);
Value duration_divide(const Value& duration, const Value& divisor);

enum class BetweenUnit {
  kAll,      // duration.between: months, then days, then seconds
  kMonths,   // duration.inMonths: whole months only
  kDays,     // duration.inDays: whole days only
  kSeconds,  // duration.inSeconds: all as seconds
};
// The Duration from `from` to `to`, negative when `to` is earlier. Values
// of different types are compared on the parts both have; one without a
// zone is taken to be in the other's zone. Non-temporal arguments throw
// TypeError.
Value duration_between(BetweenUnit unit, const Value& from, const Value& to);

// date.truncate('week', d, {dayOfWeek: 2}) and the like: `input` cut down
// to the start of `unit` (millennium, century, decade, year, weekYear,
// quarter, month, week, day, hour, minute, second, millisecond,
// microsecond), converted to `type`, then with `overrides`' fields set.
// A unit smaller than `type` holds, or larger than `input` holds, throws
// ArgumentError.
Value temporal_truncate(TemporalType type, std::string_view unit, const Value& input, MapArg overrides,
                        const StatementClock& clock);

// The order of two values of one temporal type (Date with Date, ...):
// negative, zero or positive. nullopt when they are of different types,
// when either is a Duration (durations have no order) or not a temporal:
// the comparison operators then give null. Times and DateTimes order by
// the instant they denote.
std::optional<int> temporal_compare(const Value& a, const Value& b);

// a = b for temporals and Durations: nullopt when either is null; false for
// different types. Durations are equal when months, days, seconds and
// nanoseconds all are; DateTimes when instant and zone are.
std::optional<bool> temporal_equal(const Value& a, const Value& b);

}  // namespace orvane
