// date.truncate(unit, value, overrides) and its siblings for each type.
//
// The input's local date and time are cut down to the start of the unit,
// then handed to the map constructor as a selected date and a selected
// local time of day, with the overrides beside them; so the overrides mean
// what they mean there ({dayOfWeek: 2} after 'week' is that week's Tuesday,
// {day: 5} after 'year' the fifth of January) and a timezone override
// places the truncated local time in that zone rather than moving the
// instant. Without one, the input's own zone is kept. Fractions of a
// second given in the overrides count on top of what the truncation kept
// ('millisecond' then {nanosecond: 2} gives .645000002). Centuries and
// the like count from year zero with Java's truncating division, as
// Neo4j's do.
#include <array>
#include <string>
#include <vector>

#include "query/functions/temporal_functions.h"
#include "query/functions/temporal_support.h"

namespace orvane {
using namespace temporal_detail;

namespace {

enum class Unit { kMillennium, kCentury, kDecade, kYear, kWeekYear, kQuarter, kMonth, kWeek, kDay,
                  kHour, kMinute, kSecond, kMillisecond, kMicrosecond };

Unit unit_of(std::string_view name) {
  static constexpr std::pair<std::string_view, Unit> kUnits[] = {
      {"millennium", Unit::kMillennium}, {"century", Unit::kCentury},   {"decade", Unit::kDecade},
      {"year", Unit::kYear},             {"weekYear", Unit::kWeekYear}, {"quarter", Unit::kQuarter},
      {"month", Unit::kMonth},           {"week", Unit::kWeek},         {"day", Unit::kDay},
      {"hour", Unit::kHour},             {"minute", Unit::kMinute},     {"second", Unit::kSecond},
      {"millisecond", Unit::kMillisecond}, {"microsecond", Unit::kMicrosecond}};
  for (const auto& [key, unit] : kUnits) {
    if (key == name) return unit;
  }
  invalid_value("Unsupported unit: " + std::string(name));
}

std::int64_t truncate_date(std::int64_t days, Unit unit) {
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(days, year, month, day);
  switch (unit) {
    case Unit::kMillennium: return days_from_civil(year / 1000 * 1000, 1, 1);
    case Unit::kCentury: return days_from_civil(year / 100 * 100, 1, 1);
    case Unit::kDecade: return days_from_civil(year / 10 * 10, 1, 1);
    case Unit::kYear: return days_from_civil(year, 1, 1);
    case Unit::kWeekYear: {
      std::int64_t week_year = 0;
      int week = 0, dow = 0;
      week_date_from_days(days, week_year, week, dow);
      return days_from_week_date(week_year, 1, 1);
    }
    case Unit::kQuarter: return first_day_of_quarter(year, quarter_of_month(month));
    case Unit::kMonth: return days_from_civil(year, month, 1);
    case Unit::kWeek: return days - (day_of_week(days) - 1);
    default: return days;
  }
}

std::int64_t truncate_time(std::int64_t nanos, Unit unit) {
  switch (unit) {
    case Unit::kHour: return nanos - nanos % kNanosPerHour;
    case Unit::kMinute: return nanos - nanos % kNanosPerMinute;
    case Unit::kSecond: return nanos - nanos % kNanosPerSecond;
    case Unit::kMillisecond: return nanos - nanos % 1000000;
    case Unit::kMicrosecond: return nanos - nanos % 1000;
    default: return unit <= Unit::kDay ? 0 : nanos;
  }
}

}  // namespace

Value temporal_truncate(TemporalType type, std::string_view unit_name, const Value& input, MapArg overrides,
                        const StatementClock& clock) {
  if (input.is_null()) return {};
  if (type == TemporalType::kDuration) invalid_value("Durations cannot be truncated");
  if (!is_instant_type(input)) invalid_type(std::string("Cannot truncate ") + type_name(input));
  const Unit unit = unit_of(unit_name);
  const bool target_has_date =
      type == TemporalType::kDate || type == TemporalType::kLocalDateTime || type == TemporalType::kDateTime;
  const bool target_has_time = type != TemporalType::kDate;
  if (!target_has_time && unit > Unit::kDay) {
    invalid_value("Cannot truncate a Date to " + std::string(unit_name));
  }
  if (!target_has_date && unit < Unit::kDay) {
    invalid_value(std::string("Cannot truncate a time to ") + std::string(unit_name));
  }
  const TemporalParts parts = parts_of(input);
  if ((target_has_date || unit < Unit::kDay) && !parts.days) {
    invalid_value(std::string("Cannot truncate ") + type_name(input) + " to " + std::string(unit_name));
  }
  std::vector<std::pair<std::string, Value>> map;
  if (target_has_date) map.emplace_back("date", Date{truncate_date(*parts.days, unit)});
  std::int64_t kept = truncate_time(parts.nanos.value_or(0), unit);
  // Fractions of a second in the overrides add to what the truncation kept.
  std::int64_t added = 0;
  bool fraction_given = false;
  for (const auto& [key, value] : overrides) {
    const std::int64_t scale = key == "millisecond" ? 1000000 : key == "microsecond" ? 1000 : key == "nanosecond" ? 1 : 0;
    if (scale == 0) {
      map.emplace_back(key, value);
      continue;
    }
    added += integer_member(value, key) * scale;
    fraction_given = true;
  }
  if (target_has_time) {
    if (fraction_given) {
      const std::int64_t fraction = kept % kNanosPerSecond + added;
      check_field("NanoOfSecond", fraction, 0, kNanosPerSecond - 1);
      map.emplace_back("nanosecond", fraction);
      kept -= kept % kNanosPerSecond;
    }
    map.emplace_back("time", LocalTime{kept});
  } else if (fraction_given) {
    invalid_value("Cannot assign fractions of a second to a Date");
  }
  const bool zone_given = find_member(overrides, "timezone") != nullptr;
  if ((type == TemporalType::kTime || type == TemporalType::kDateTime) && !zone_given && parts.zone) {
    map.emplace_back("timezone", parts.zone->named() ? parts.zone->id : format_offset(parts.zone->offset));
  }
  return temporal_from_map(type, map, clock);
}

}  // namespace orvane
