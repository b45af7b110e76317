// Calendar arithmetic, zones and value splitting shared by the temporal
// functions. Week dates follow ISO 8601 (weeks start on Monday; week 1 holds
// the year's first Thursday), as Java's IsoFields do.
#include "query/functions/temporal_support.h"

#include <cctype>

#include "query/cypher_error.h"
#include "query/functions/time_zones.h"

namespace orvane::temporal_detail {

void invalid_value(const std::string& message) {
  throw CypherError("ArgumentError", "InvalidArgumentValue", ErrorPhase::kRuntime, message);
}

void invalid_type(const std::string& message) {
  throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime, message);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
  const std::int64_t r = a % b;  // not a - floor_div(a, b) * b, which overflows near the limits
  return r != 0 && (r < 0) != (b < 0) ? r + b : r;
}

bool is_leap_year(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

unsigned month_length(std::int64_t year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

int day_of_week(std::int64_t days) { return static_cast<int>(floor_mod(days + 3, 7)) + 1; }  // 1970-01-01: Thursday

namespace {
// Monday of week 1 of `week_year`.
std::int64_t week_one_monday(std::int64_t week_year) {
  const std::int64_t jan4 = days_from_civil(week_year, 1, 4);
  return jan4 - (day_of_week(jan4) - 1);
}
}  // namespace

int weeks_in_week_year(std::int64_t week_year) {
  return static_cast<int>((week_one_monday(week_year + 1) - week_one_monday(week_year)) / 7);
}

std::int64_t days_from_week_date(std::int64_t week_year, std::int64_t week, std::int64_t dow) {
  return week_one_monday(week_year) + (week - 1) * 7 + (dow - 1);
}

void week_date_from_days(std::int64_t days, std::int64_t& week_year, int& week, int& dow) {
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(days, year, month, day);
  week_year = year;
  if (days < week_one_monday(year)) {
    week_year = year - 1;
  } else if (days >= week_one_monday(year + 1)) {
    week_year = year + 1;
  }
  week = static_cast<int>((days - week_one_monday(week_year)) / 7) + 1;
  dow = day_of_week(days);
}

int quarter_of_month(unsigned month) { return static_cast<int>((month - 1) / 3) + 1; }

std::int64_t first_day_of_quarter(std::int64_t year, int quarter) {
  return days_from_civil(year, static_cast<unsigned>((quarter - 1) * 3 + 1), 1);
}

void check_field(const char* field, std::int64_t value, std::int64_t low, std::int64_t high) {
  if (value < low || value > high) {
    invalid_value(std::string("Invalid value for ") + field + " (valid values " + std::to_string(low) + " - " +
                  std::to_string(high) + "): " + std::to_string(value));
  }
}

std::int64_t checked_civil(std::int64_t year, std::int64_t month, std::int64_t day) {
  check_field("Year", year, kMinYear, kMaxYear);
  check_field("MonthOfYear", month, 1, 12);
  check_field("DayOfMonth", day, 1, 31);
  if (day > month_length(year, static_cast<unsigned>(month))) {
    invalid_value("Invalid date '" + std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day) +
                  "'");
  }
  return days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
}

void check_date_range(std::int64_t days) {
  static const std::int64_t kFirst = days_from_civil(kMinYear, 1, 1);
  static const std::int64_t kLast = days_from_civil(kMaxYear, 12, 31);
  if (days < kFirst || days > kLast) invalid_value("Date is out of the supported range");
}

ZoneChoice zone_from_text(std::string_view text) {
  if (text == "Z" || text == "z") return {};
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    // ±HH, ±HHMM, ±HH:MM, ±HH:MM:SS
    std::int64_t parts[3] = {0, 0, 0};
    std::size_t at = 1;
    int field = 0;
    bool ok = true;
    while (at < text.size() && field < 3 && ok) {
      if (field > 0 && text[at] == ':') ++at;
      if (at + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
          !std::isdigit(static_cast<unsigned char>(text[at + 1]))) {
        ok = false;
        break;
      }
      parts[field++] = (text[at] - '0') * 10 + (text[at + 1] - '0');
      at += 2;
    }
    if (!ok || at != text.size() || field == 0 || parts[1] > 59 || parts[2] > 59) {
      invalid_value("Invalid value for TimeZone: Text '" + std::string(text) + "'");
    }
    const std::int64_t total = parts[0] * 3600 + parts[1] * 60 + parts[2];
    if (total > 18 * 3600) invalid_value("Zone offset not in valid range: -18:00 to +18:00");
    return {"", static_cast<std::int32_t>(text[0] == '-' ? -total : total)};
  }
  if (!time_zone_known(text)) invalid_value("Unknown time zone: " + std::string(text));
  return {std::string(text), 0};
}

bool is_instant_type(const Value& value) {
  return value.is<Date>() || value.is<LocalTime>() || value.is<Time>() || value.is<LocalDateTime>() ||
         value.is<DateTime>();
}

TemporalParts parts_of(const Value& value) {
  TemporalParts out;
  if (value.is<Date>()) {
    out.days = value.as<Date>().days;
  } else if (value.is<LocalTime>()) {
    out.nanos = value.as<LocalTime>().nanos;
  } else if (value.is<Time>()) {
    out.nanos = value.as<Time>().nanos;
    out.zone = ZoneChoice{"", value.as<Time>().offset_seconds};
  } else if (value.is<LocalDateTime>()) {
    const LocalDateTime& v = value.as<LocalDateTime>();
    out.days = floor_div(v.seconds, kSecondsPerDay);
    out.nanos = floor_mod(v.seconds, kSecondsPerDay) * kNanosPerSecond + v.nanos;
  } else if (value.is<DateTime>()) {
    const DateTime& v = value.as<DateTime>();
    const std::int64_t local = v.seconds + v.offset_seconds;
    out.days = floor_div(local, kSecondsPerDay);
    out.nanos = floor_mod(local, kSecondsPerDay) * kNanosPerSecond + v.nanos;
    out.zone = ZoneChoice{v.zone, v.offset_seconds};
  }
  return out;
}

DateTime make_date_time(std::int64_t days, std::int64_t nanos, const ZoneChoice& zone) {
  check_date_range(days);
  const std::int64_t local = days * kSecondsPerDay + nanos / kNanosPerSecond;
  const auto fraction = static_cast<std::int32_t>(nanos % kNanosPerSecond);
  if (!zone.named()) return {local - zone.offset, fraction, zone.offset, ""};
  const ZonedInstant resolved = time_zone_resolve_local(zone.id, local);
  return {resolved.utc_seconds, fraction, resolved.offset, zone.id};
}

ZoneChoice zone_at(const ZoneChoice& zone, std::int64_t utc_seconds) {
  if (!zone.named()) return zone;
  return {zone.id, time_zone_offset_at(zone.id, utc_seconds)};
}

DateTime now_in(const StatementClock& clock, ClockKind kind, const std::optional<ZoneChoice>& zone) {
  Instant at = clock.statement;
  if (kind == ClockKind::kTransaction) at = clock.transaction;
  if (kind == ClockKind::kRealtime && clock.realtime) at = clock.realtime();
  const ZoneChoice choice = zone_at(zone ? *zone : zone_from_text(clock.default_zone), at.seconds);
  return {at.seconds, at.nanos, choice.offset, choice.id};
}

const Value* find_member(MapArg map, std::string_view name) {
  for (const auto& [key, value] : map) {
    if (key.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(key[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (same) return &value;
  }
  return nullptr;
}

std::int64_t integer_member(const Value& value, std::string_view field) {
  if (value.is<std::int64_t>()) return value.as<std::int64_t>();
  invalid_type("Invalid value for " + std::string(field) + ": expected an integer, got " + type_name(value));
}

const char* type_name(const Value& value) {
  static constexpr const char* kNames[] = {"Null",     "Boolean",   "Integer", "Float",         "String",
                                           "ByteArray", "Date",     "LocalTime", "Time", "LocalDateTime",
                                           "DateTime", "Duration",  "Point",   "List"};
  return kNames[value.storage().index()];
}

}  // namespace orvane::temporal_detail
