// Component access (d.year, d.offsetMinutes, dur.monthsOfQuarter, p.crs):
// a table per family of components, each entry the name and the function
// computing it, tried in the order date, time, zone, epoch for temporals.
// Durations answer both totals in a unit (dur.minutes: all the seconds
// part in minutes) and components within the next larger unit
// (dur.minutesOfHour), with Java's truncating division, as Neo4j does; the
// months, days and seconds parts never mix (a month is not a number of
// days).
#include <string>

#include "query/functions/spatial_functions.h"
#include "query/functions/temporal_functions.h"
#include "query/functions/temporal_support.h"

namespace orvane {
using namespace temporal_detail;

namespace {

struct DateView {
  std::int64_t days, year, week_year;
  unsigned month, day;
  int week, dow;
};

DateView view_date(std::int64_t days) {
  DateView v{days, 0, 0, 0, 0, 0, 0};
  civil_from_days(days, v.year, v.month, v.day);
  week_date_from_days(days, v.week_year, v.week, v.dow);
  return v;
}

std::optional<Value> date_component(const DateView& d, std::string_view name) {
  if (name == "year") return Value(d.year);
  if (name == "quarter") return Value(static_cast<std::int64_t>(quarter_of_month(d.month)));
  if (name == "month") return Value(static_cast<std::int64_t>(d.month));
  if (name == "week") return Value(static_cast<std::int64_t>(d.week));
  if (name == "weekYear") return Value(d.week_year);
  if (name == "day") return Value(static_cast<std::int64_t>(d.day));
  if (name == "ordinalDay") return Value(d.days - days_from_civil(d.year, 1, 1) + 1);
  if (name == "dayOfWeek" || name == "weekDay") return Value(static_cast<std::int64_t>(d.dow));
  if (name == "dayOfQuarter" || name == "quarterDay") {
    return Value(d.days - first_day_of_quarter(d.year, quarter_of_month(d.month)) + 1);
  }
  return std::nullopt;
}

std::optional<Value> time_component(std::int64_t nanos, std::string_view name) {
  if (name == "hour") return Value(nanos / kNanosPerHour);
  if (name == "minute") return Value(nanos / kNanosPerMinute % 60);
  if (name == "second") return Value(nanos / kNanosPerSecond % 60);
  if (name == "millisecond") return Value(nanos % kNanosPerSecond / 1000000);
  if (name == "microsecond") return Value(nanos % kNanosPerSecond / 1000);
  if (name == "nanosecond") return Value(nanos % kNanosPerSecond);
  return std::nullopt;
}

std::optional<Value> zone_component(const ZoneChoice& zone, std::string_view name) {
  if (name == "timezone") return Value(zone.named() ? zone.id : format_offset(zone.offset));
  if (name == "offset") return Value(format_offset(zone.offset));
  if (name == "offsetMinutes") return Value(static_cast<std::int64_t>(zone.offset / 60));
  if (name == "offsetSeconds") return Value(static_cast<std::int64_t>(zone.offset));
  return std::nullopt;
}

std::optional<Value> duration_component(const Duration& d, std::string_view name) {
  // Sub-second totals from the seconds and the (non-negative) nanoseconds.
  const __int128 total_nanos = static_cast<__int128>(d.seconds) * kNanosPerSecond + d.nanos;
  auto total = [&](std::int64_t unit) { return Value(static_cast<std::int64_t>(total_nanos / unit)); };
  if (name == "years") return Value(d.months / 12);
  if (name == "quarters") return Value(d.months / 3);
  if (name == "months") return Value(d.months);
  if (name == "weeks") return Value(d.days / 7);
  if (name == "days") return Value(d.days);
  if (name == "hours") return Value(d.seconds / 3600);
  if (name == "minutes") return Value(d.seconds / 60);
  if (name == "seconds") return Value(d.seconds);
  if (name == "milliseconds") return total(1000000);
  if (name == "microseconds") return total(1000);
  if (name == "nanoseconds") return total(1);
  if (name == "quartersOfYear") return Value(d.months % 12 / 3);
  if (name == "monthsOfQuarter") return Value(d.months % 3);
  if (name == "monthsOfYear") return Value(d.months % 12);
  if (name == "daysOfWeek") return Value(d.days % 7);
  if (name == "minutesOfHour") return Value(d.seconds / 60 % 60);
  if (name == "secondsOfMinute") return Value(d.seconds % 60);
  if (name == "millisecondsOfSecond") return Value(static_cast<std::int64_t>(d.nanos / 1000000));
  if (name == "microsecondsOfSecond") return Value(static_cast<std::int64_t>(d.nanos / 1000));
  if (name == "nanosecondsOfSecond") return Value(static_cast<std::int64_t>(d.nanos));
  return std::nullopt;
}

}  // namespace

Value temporal_component(const Value& value, std::string_view name) {
  if (value.is_null()) return {};
  if (value.is<Point>()) return point_component(value.as<Point>(), name);
  std::optional<Value> out;
  if (value.is<Duration>()) {
    out = duration_component(value.as<Duration>(), name);
  } else if (is_instant_type(value)) {
    const TemporalParts parts = parts_of(value);
    if (parts.days) out = date_component(view_date(*parts.days), name);
    if (!out && parts.nanos) out = time_component(*parts.nanos, name);
    if (!out && parts.zone) out = zone_component(*parts.zone, name);
    if (!out && value.is<DateTime>()) {
      const DateTime& dt = value.as<DateTime>();
      if (name == "epochSeconds") out = Value(dt.seconds);
      if (name == "epochMillis") out = Value(dt.seconds * 1000 + dt.nanos / 1000000);
    }
  } else {
    invalid_type(std::string("Type mismatch: expected a temporal, duration or point but was ") + type_name(value));
  }
  if (!out) invalid_value("No such field: " + std::string(name));
  return *out;
}

}  // namespace orvane
