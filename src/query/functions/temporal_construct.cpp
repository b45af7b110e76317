// The temporal constructors: current values, text, conversion from another
// temporal, maps, and the epoch forms.
//
// A map is read in three steps, as Neo4j reads it. First the selected
// values (members date, time, datetime) give a base: a date, a time of day
// and a zone. Then a timezone member, where the base time has a zone of its
// own, moves that time to the new zone (the same instant; a selected
// datetime may change its date). Last, the fields given override the base:
// a week without a year keeps the base's week-year and day of the week, a
// quarter keeps the base's day of the quarter, a second keeps the base's
// fraction, and so on. Without a base, missing smaller fields take their
// first value (month 1, day 1, hour 0) but a smaller field needs the larger
// one above it (a day needs a month, a minute an hour).
#include <cmath>
#include <string>

#include "query/functions/temporal_functions.h"
#include "query/functions/temporal_support.h"

namespace orvane {
using namespace temporal_detail;

namespace {

constexpr std::string_view kDateFields[] = {"year",    "month",        "day",       "week",
                                            "dayOfWeek", "quarter",    "dayOfQuarter", "ordinalDay"};
constexpr std::string_view kTimeFields[] = {"hour",        "minute",      "second",
                                            "millisecond", "microsecond", "nanosecond"};

bool has_date(TemporalType type) {
  return type == TemporalType::kDate || type == TemporalType::kLocalDateTime || type == TemporalType::kDateTime;
}
bool has_time(TemporalType type) { return type != TemporalType::kDate && type != TemporalType::kDuration; }
bool has_zone(TemporalType type) { return type == TemporalType::kTime || type == TemporalType::kDateTime; }

const char* type_label(TemporalType type) {
  switch (type) {
    case TemporalType::kDate: return "Date";
    case TemporalType::kLocalTime: return "LocalTime";
    case TemporalType::kTime: return "Time";
    case TemporalType::kLocalDateTime: return "LocalDateTime";
    case TemporalType::kDateTime: return "DateTime";
    case TemporalType::kDuration: return "Duration";
  }
  return "";
}

// The value of `type` with the given parts; missing parts as Neo4j fills
// them (midnight, the default zone). A Time's named zone takes the offset
// it has at the statement's instant.
Value assemble(TemporalType type, std::optional<std::int64_t> days, std::optional<std::int64_t> nanos,
               std::optional<ZoneChoice> zone, const StatementClock& clock) {
  const std::int64_t time = nanos.value_or(0);
  switch (type) {
    case TemporalType::kDate:
      check_date_range(*days);
      return Date{*days};
    case TemporalType::kLocalTime:
      return LocalTime{time};
    case TemporalType::kTime: {
      const ZoneChoice choice = zone ? *zone : zone_from_text(clock.default_zone);
      return Time{time, choice.named() && !zone ? zone_at(choice, clock.statement.seconds).offset : choice.offset};
    }
    case TemporalType::kLocalDateTime:
      check_date_range(*days);
      return LocalDateTime{*days * kSecondsPerDay + time / kNanosPerSecond,
                           static_cast<std::int32_t>(time % kNanosPerSecond)};
    case TemporalType::kDateTime:
      return make_date_time(*days, time, zone ? *zone : zone_from_text(clock.default_zone));
    case TemporalType::kDuration:
      break;
  }
  return {};
}

Value from_parts(TemporalType type, const TemporalParts& parts, const StatementClock& clock, const char* source) {
  if ((has_date(type) && !parts.days) || (!has_date(type) && !parts.nanos)) {
    invalid_type(std::string("Cannot construct ") + type_label(type) + " from " + source);
  }
  std::optional<ZoneChoice> zone = parts.zone;
  if (zone && zone->named() && type == TemporalType::kTime) zone = ZoneChoice{"", zone->offset};
  return assemble(type, parts.days, parts.nanos, has_zone(type) ? zone : std::nullopt, clock);
}

Duration duration_from_map(MapArg map) {
  struct Unit {
    std::string_view name;
    DurationUnit unit;
    std::int64_t scale;
  };
  static constexpr Unit kUnits[] = {
      {"years", DurationUnit::kMonths, 12},        {"quarters", DurationUnit::kMonths, 3},
      {"months", DurationUnit::kMonths, 1},        {"weeks", DurationUnit::kDays, 7},
      {"days", DurationUnit::kDays, 1},            {"hours", DurationUnit::kNanos, kNanosPerHour},
      {"minutes", DurationUnit::kNanos, kNanosPerMinute}, {"seconds", DurationUnit::kNanos, kNanosPerSecond},
      {"milliseconds", DurationUnit::kNanos, 1000000},    {"microseconds", DurationUnit::kNanos, 1000},
      {"nanoseconds", DurationUnit::kNanos, 1}};
  for (const auto& member : map) {
    bool known = false;
    for (const Unit& unit : kUnits) known = known || find_member(std::span(&member, 1), unit.name) != nullptr;
    if (!known) invalid_value("No such field: " + member.first);
  }
  DurationAmounts amounts;
  for (const Unit& unit : kUnits) {
    const Value* value = find_member(map, unit.name);
    if (value == nullptr || value->is_null()) continue;
    if (value->is<std::int64_t>()) {
      amounts.add(unit.unit, unit.scale, value->as<std::int64_t>(), 0);
    } else if (value->is<double>()) {
      const long double amount = value->as<double>();
      const long double whole = std::trunc(amount);
      if (std::fabs(whole) > 9.2e18L) invalid_value("Duration is out of the supported range");
      amounts.add(unit.unit, unit.scale, static_cast<std::int64_t>(whole), amount - whole);
    } else {
      invalid_type("Invalid value for " + std::string(unit.name) + ": expected a number, got " + type_name(*value));
    }
  }
  return duration_from_amounts(amounts);
}

// Reads the date fields over `base` (the selected date, if any).
std::int64_t read_date_fields(MapArg map, std::optional<std::int64_t> base) {
  auto field = [&](std::string_view name) -> std::optional<std::int64_t> {
    const Value* value = find_member(map, name);
    if (value == nullptr) return std::nullopt;
    return integer_member(*value, name);
  };
  const auto year = field("year"), month = field("month"), day = field("day"), week = field("week"),
             dow = field("dayOfWeek"), quarter = field("quarter"), doq = field("dayOfQuarter"),
             ordinal = field("ordinalDay");
  std::int64_t base_year = 0, base_week_year = 0;
  unsigned base_month = 1, base_day = 1;
  int base_week = 1, base_dow = 1;
  if (base) {
    civil_from_days(*base, base_year, base_month, base_day);
    week_date_from_days(*base, base_week_year, base_week, base_dow);
  } else if (!year) {
    invalid_value("year must be specified");
  }
  const int kinds = (month || day ? 1 : 0) + (week || dow ? 1 : 0) + (quarter || doq ? 1 : 0) + (ordinal ? 1 : 0);
  if (kinds > 1) invalid_value("Cannot mix fields of different kinds of date (calendar, week, quarter, ordinal)");
  if (week || dow) {
    if (!week && !base) invalid_value("dayOfWeek cannot be specified without week");
    const std::int64_t week_year = year.value_or(base_week_year);
    check_field("Year", week_year, kMinYear, kMaxYear);
    const std::int64_t w = week.value_or(base_week);
    check_field("WeekOfWeekBasedYear", w, 1, weeks_in_week_year(week_year));
    const std::int64_t d = dow.value_or(base ? base_dow : 1);
    check_field("DayOfWeek", d, 1, 7);
    return days_from_week_date(week_year, w, d);
  }
  const std::int64_t y = year.value_or(base_year);
  check_field("Year", y, kMinYear, kMaxYear);
  if (quarter || doq) {
    if (!quarter && !base) invalid_value("dayOfQuarter cannot be specified without quarter");
    std::int64_t base_doq = 1;
    if (base) base_doq = *base - first_day_of_quarter(base_year, quarter_of_month(base_month)) + 1;
    const std::int64_t q = quarter.value_or(base ? quarter_of_month(base_month) : 1);
    check_field("QuarterOfYear", q, 1, 4);
    const std::int64_t first = first_day_of_quarter(y, static_cast<int>(q));
    const std::int64_t next = q == 4 ? days_from_civil(y + 1, 1, 1) : first_day_of_quarter(y, static_cast<int>(q + 1));
    const std::int64_t d = doq.value_or(base_doq);
    check_field("DayOfQuarter", d, 1, next - first);
    return first + d - 1;
  }
  if (ordinal) {
    check_field("DayOfYear", *ordinal, 1, is_leap_year(y) ? 366 : 365);
    return days_from_civil(y, 1, 1) + *ordinal - 1;
  }
  if (day && !month && !base) invalid_value("day cannot be specified without month");
  return checked_civil(y, month.value_or(base_month), day.value_or(base_day));
}

// Reads the time fields over `base` (the selected time of day, if any).
std::int64_t read_time_fields(MapArg map, std::optional<std::int64_t> base) {
  auto field = [&](std::string_view name) -> std::optional<std::int64_t> {
    const Value* value = find_member(map, name);
    if (value == nullptr) return std::nullopt;
    return integer_member(*value, name);
  };
  const auto hour = field("hour"), minute = field("minute"), second = field("second"), milli = field("millisecond"),
             micro = field("microsecond"), nano = field("nanosecond");
  if (!base) {
    if (minute && !hour) invalid_value("minute cannot be specified without hour");
    if (second && !minute) invalid_value("second cannot be specified without minute");
    if ((milli || micro || nano) && !second) invalid_value("fractions of a second cannot be specified without second");
  }
  const std::int64_t b = base.value_or(0);
  const std::int64_t h = hour.value_or(b / kNanosPerHour);
  const std::int64_t m = minute.value_or(b / kNanosPerMinute % 60);
  const std::int64_t s = second.value_or(b / kNanosPerSecond % 60);
  check_field("HourOfDay", h, 0, 23);
  check_field("MinuteOfHour", m, 0, 59);
  check_field("SecondOfMinute", s, 0, 59);
  std::int64_t fraction = b % kNanosPerSecond;
  if (milli || micro || nano) {
    // Each smaller field counts below the larger ones given beside it.
    if (milli) check_field("MilliOfSecond", *milli, 0, 999);
    if (micro) check_field("MicroOfSecond", *micro, 0, milli ? 999 : 999999);
    if (nano) check_field("NanoOfSecond", *nano, 0, milli || micro ? 999 : 999999999);
    fraction = milli.value_or(0) * 1000000 + micro.value_or(0) * 1000 + nano.value_or(0);
  }
  return h * kNanosPerHour + m * kNanosPerMinute + s * kNanosPerSecond + fraction;
}

bool any_of(MapArg map, std::span<const std::string_view> names) {
  for (const std::string_view name : names) {
    if (find_member(map, name) != nullptr) return true;
  }
  return false;
}

// The value of a selection member (date, time, datetime), which must be a
// temporal with the needed parts.
TemporalParts selected(const Value& value, std::string_view member, bool need_date, bool need_time) {
  if (!is_instant_type(value)) {
    invalid_type("Invalid value for " + std::string(member) + ": expected a temporal, got " + type_name(value));
  }
  TemporalParts parts = parts_of(value);
  if ((need_date && !parts.days) || (need_time && !parts.nanos)) {
    invalid_type("Cannot select " + std::string(member) + " from " + type_name(value));
  }
  return parts;
}

Value from_map(TemporalType type, MapArg map, const StatementClock& clock) {
  const Value* timezone = find_member(map, "timezone");
  const Value* date_member = find_member(map, "date");
  const Value* time_member = find_member(map, "time");
  const Value* datetime_member = find_member(map, "datetime");
  for (const auto& member : map) {
    const std::string& key = member.first;
    const auto one = std::span(&member, 1);
    const bool is_date_field = any_of(one, kDateFields), is_time_field = any_of(one, kTimeFields);
    const bool ok = (is_date_field && has_date(type)) || (is_time_field && has_time(type)) ||
                    (find_member(one, "timezone") != nullptr) ||
                    (find_member(one, "date") != nullptr && has_date(type)) ||
                    (find_member(one, "time") != nullptr && has_time(type)) ||
                    (find_member(one, "datetime") != nullptr && type != TemporalType::kLocalTime &&
                     type != TemporalType::kTime);
    if (!ok) {
      if (is_date_field || is_time_field || find_member(one, "date") || find_member(one, "time") ||
          find_member(one, "datetime")) {
        invalid_value("Cannot assign " + key + " to " + type_label(type));
      }
      invalid_value("No such field: " + key);
    }
  }
  std::optional<ZoneChoice> zone;
  if (timezone != nullptr && !timezone->is_null()) {
    if (!timezone->is<std::string>()) invalid_type(std::string("Invalid value for timezone: ") + type_name(*timezone));
    zone = zone_from_text(timezone->as<std::string>());
  }
  // A map of nothing but a timezone: the current value in that zone.
  if (map.size() == (timezone != nullptr ? 1u : 0u)) {
    const DateTime now = now_in(clock, ClockKind::kStatement, zone);
    return from_parts(type, parts_of(now), clock, "DateTime");
  }
  std::optional<std::int64_t> base_days, base_nanos;
  std::optional<ZoneChoice> base_zone;
  if (datetime_member != nullptr) {
    if (datetime_member->is_null()) return {};
    TemporalParts parts = selected(*datetime_member, "datetime", true, false);
    if (zone && parts.zone && datetime_member->is<DateTime>()) {
      // The same instant on the new zone's clock.
      const DateTime& dt = datetime_member->as<DateTime>();
      const ZoneChoice moved = zone_at(*zone, dt.seconds);
      parts = parts_of(DateTime{dt.seconds, dt.nanos, moved.offset, moved.id});
    }
    base_days = parts.days;
    base_nanos = parts.nanos;
    base_zone = parts.zone;
  }
  if (date_member != nullptr) {
    if (date_member->is_null()) return {};
    base_days = selected(*date_member, "date", true, false).days;
  }
  std::optional<ZoneChoice> moved_from;  // the selected time's own zone, when the timezone member moves it
  if (time_member != nullptr) {
    if (time_member->is_null()) return {};
    TemporalParts parts = selected(*time_member, "time", false, true);
    if (zone && parts.zone) {
      if (has_date(type)) {
        moved_from = parts.zone;  // moved once the date is known, below
      } else {
        const std::int32_t to = zone_at(*zone, clock.statement.seconds).offset;
        parts.nanos = floor_mod(*parts.nanos + (to - parts.zone->offset) * kNanosPerSecond, kNanosPerDay);
      }
    }
    base_nanos = parts.nanos;
    base_zone = parts.zone;
  }
  const bool zone_from_member = zone.has_value();
  if (!zone && base_zone) zone = base_zone;
  std::optional<std::int64_t> days, nanos;
  if (has_date(type)) days = read_date_fields(map, base_days);
  if (moved_from) {
    // The selected time on the new date in its own zone, then seen from
    // the new zone: the same instant, possibly on another day.
    const DateTime there = make_date_time(*days, *base_nanos, *moved_from);
    const ZoneChoice here = zone_at(*zone, there.seconds);
    const std::int64_t local = there.seconds + here.offset;
    days = floor_div(local, kSecondsPerDay);
    base_nanos = floor_mod(local, kSecondsPerDay) * kNanosPerSecond + there.nanos;
  }
  if (has_time(type) && (any_of(map, kTimeFields) || base_nanos || !has_date(type))) {
    nanos = read_time_fields(map, base_nanos);
  }
  if (!has_zone(type) && timezone != nullptr) invalid_value(std::string("Cannot assign timezone to ") + type_label(type));
  if (zone && zone->named() && type == TemporalType::kTime) {
    // A Time keeps an offset only: a selected value's own, or the named
    // zone's at the statement's instant.
    zone = ZoneChoice{"", zone_from_member ? zone_at(*zone, clock.statement.seconds).offset : zone->offset};
  }
  return assemble(type, days, nanos, has_zone(type) ? zone : std::nullopt, clock);
}

}  // namespace

Value temporal_now(TemporalType type, ClockKind kind, const StatementClock& clock, const Value* timezone) {
  std::optional<ZoneChoice> zone;
  if (timezone != nullptr) {
    if (timezone->is_null()) return {};
    if (!timezone->is<std::string>()) invalid_type(std::string("Invalid value for timezone: ") + type_name(*timezone));
    zone = zone_from_text(timezone->as<std::string>());
  }
  return from_parts(type, parts_of(now_in(clock, kind, zone)), clock, "DateTime");
}

Value temporal_from_value(TemporalType type, const Value& arg, const StatementClock& clock) {
  if (arg.is_null()) return {};
  if (arg.is<std::string>()) {
    const std::string& text = arg.as<std::string>();
    switch (type) {
      case TemporalType::kDate: return Date{parse_date_text(text)};
      case TemporalType::kLocalTime: return LocalTime{parse_local_time_text(text)};
      case TemporalType::kTime: return parse_time_text(text, clock);
      case TemporalType::kLocalDateTime: return parse_local_date_time_text(text);
      case TemporalType::kDateTime: return parse_date_time_text(text, clock);
      case TemporalType::kDuration: return parse_duration_text(text);
    }
  }
  if (type == TemporalType::kDuration) {
    if (arg.is<Duration>()) return arg;
    invalid_type(std::string("Cannot construct Duration from ") + type_name(arg));
  }
  if (!is_instant_type(arg)) invalid_type(std::string("Cannot construct ") + type_label(type) + " from " + type_name(arg));
  return from_parts(type, parts_of(arg), clock, type_name(arg));
}

Value temporal_from_map(TemporalType type, MapArg map, const StatementClock& clock) {
  if (type == TemporalType::kDuration) return duration_from_map(map);
  return from_map(type, map, clock);
}

Value datetime_from_epoch(const Value& seconds, const Value& nanos) {
  if (seconds.is_null() || nanos.is_null()) return {};
  auto integer = [](const Value& value, const char* name) -> std::int64_t {
    if (value.is<std::int64_t>()) return value.as<std::int64_t>();
    if (value.is<double>()) return static_cast<std::int64_t>(value.as<double>());
    invalid_type(std::string("Invalid value for ") + name + ": expected a number, got " + type_name(value));
  };
  const std::int64_t s = integer(seconds, "seconds"), n = integer(nanos, "nanoseconds");
  DateTime out{s + floor_div(n, kNanosPerSecond), static_cast<std::int32_t>(floor_mod(n, kNanosPerSecond)), 0, ""};
  check_date_range(floor_div(out.seconds, kSecondsPerDay));
  return out;
}

Value datetime_from_epoch_millis(const Value& millis) {
  if (millis.is_null()) return {};
  if (!millis.is<std::int64_t>() && !millis.is<double>()) {
    invalid_type(std::string("Invalid value for milliseconds: expected a number, got ") + type_name(millis));
  }
  const std::int64_t ms =
      millis.is<std::int64_t>() ? millis.as<std::int64_t>() : static_cast<std::int64_t>(millis.as<double>());
  return datetime_from_epoch(floor_div(ms, 1000), floor_mod(ms, 1000) * 1000000);
}

}  // namespace orvane
