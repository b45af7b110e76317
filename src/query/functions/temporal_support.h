// Shared pieces of the temporal functions (temporal_*.cpp, duration_*.cpp):
// the error throwers with Neo4j's classifications, ISO calendar arithmetic
// beyond what graph/temporal.h offers (week dates, quarters, ordinal days),
// the split of any temporal value into its local date, local time and zone,
// and the reverse. Nothing here is part of the query library's interface;
// the expression evaluator calls temporal_functions.h only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "graph/value.h"
#include "query/functions/temporal_functions.h"

namespace orvane::temporal_detail {

inline constexpr std::int64_t kNanosPerMinute = 60 * kNanosPerSecond;
inline constexpr std::int64_t kNanosPerHour = 60 * kNanosPerMinute;
inline constexpr std::int64_t kMinYear = -999999999;  // Neo4j's (and Java's) year range
inline constexpr std::int64_t kMaxYear = 999999999;

// ArgumentError/InvalidArgumentValue at run time: a value of the right type
// that cannot be used (text that is no temporal, a field out of range, a
// map whose fields do not fit together, an unknown zone).
[[noreturn]] void invalid_value(const std::string& message);
// TypeError/InvalidArgumentType at run time: an argument of the wrong type.
[[noreturn]] void invalid_type(const std::string& message);

std::int64_t floor_div(std::int64_t a, std::int64_t b);
std::int64_t floor_mod(std::int64_t a, std::int64_t b);

bool is_leap_year(std::int64_t year);
unsigned month_length(std::int64_t year, unsigned month);
// 1 (Monday) … 7 (Sunday) of a day count since 1970-01-01.
int day_of_week(std::int64_t days);
// ISO-8601 weeks: week 1 is the week holding the year's first Thursday.
int weeks_in_week_year(std::int64_t week_year);
std::int64_t days_from_week_date(std::int64_t week_year, std::int64_t week, std::int64_t day_of_week);
void week_date_from_days(std::int64_t days, std::int64_t& week_year, int& week, int& day_of_week);
int quarter_of_month(unsigned month);             // 1 … 4
std::int64_t first_day_of_quarter(std::int64_t year, int quarter);

// Checks a civil field against its range and throws invalid_value with
// Java's wording ("Invalid value for MonthOfYear (valid values 1 - 12): 13")
// when it is outside.
void check_field(const char* field, std::int64_t value, std::int64_t low, std::int64_t high);
// Days since 1970-01-01 of a calendar date whose fields are checked first.
std::int64_t checked_civil(std::int64_t year, std::int64_t month, std::int64_t day);

// A time zone as a temporal value carries it: a fixed offset, or a named
// zone whose offset depends on the instant. `id` is "" for a fixed offset.
struct ZoneChoice {
  std::string id;              // "Europe/Stockholm"; "" for an offset
  std::int32_t offset = 0;     // seconds east of UTC; for a named zone, at the instant it was resolved
  bool named() const { return !id.empty(); }
};

// The zone a `timezone` argument names: "Z", "+01:00", "-0530", "+01" are
// fixed offsets; anything else must be a zone id the database knows.
// Throws invalid_value for an offset beyond ±18:00 or an unknown zone.
ZoneChoice zone_from_text(std::string_view text);

// A temporal value split into what it holds; each part is absent where its
// type has none (a date has no time, a local time no zone).
struct TemporalParts {
  std::optional<std::int64_t> days;   // local date, days since 1970-01-01
  std::optional<std::int64_t> nanos;  // local time, nanoseconds of the day
  std::optional<ZoneChoice> zone;       // with the offset in force at that moment
};
// Requires: `value` holds a Date, LocalTime, Time, LocalDateTime or DateTime.
TemporalParts parts_of(const Value& value);
bool is_instant_type(const Value& value);  // any of the five, not a Duration

// The DateTime at local `days` + `nanos` in `zone`: a named zone is resolved
// with the gap and overlap rules of time_zones.h.
DateTime make_date_time(std::int64_t days, std::int64_t nanos, const ZoneChoice& zone);
// The zone as it stands at UTC instant `utc_seconds` (a named zone's offset
// then; a fixed offset unchanged).
ZoneChoice zone_at(const ZoneChoice& zone, std::int64_t utc_seconds);

// The statement's instant in the default zone, or in `zone`.
DateTime now_in(const StatementClock& clock, ClockKind kind, const std::optional<ZoneChoice>& zone);

// Member `name` of a map argument (temporal fields are matched without
// regard to case, as Neo4j does), or nullptr.
const Value* find_member(MapArg map, std::string_view name);
// The integer value of member `field`; throws invalid_type for a non-integer.
std::int64_t integer_member(const Value& value, std::string_view field);

// Checks that `days` lies within years -999,999,999 … 999,999,999.
void check_date_range(std::int64_t days);

// --- Text forms (temporal_text.cpp) ---
// Neo4j's ISO 8601 forms; each throws invalid_value "Text cannot be parsed
// to a TYPE: TEXT" for text it does not accept. A time or datetime without
// an offset or zone is in the clock's default zone.
std::int64_t parse_date_text(std::string_view text);  // days since 1970-01-01
std::int64_t parse_local_time_text(std::string_view text);  // nanoseconds of the day
Time parse_time_text(std::string_view text, const StatementClock& clock);
LocalDateTime parse_local_date_time_text(std::string_view text);
DateTime parse_date_time_text(std::string_view text, const StatementClock& clock);
Duration parse_duration_text(std::string_view text);

// Amounts of each unit as a duration map or text gives them, whole parts
// exact and fractions apart; duration_from_amounts cascades the fractions
// into smaller units (a month is 30.436875 days, a day 86,400 seconds) and
// drops what is left below a nanosecond.
enum class DurationUnit { kMonths, kDays, kNanos };
struct DurationAmounts {
  __int128 months = 0, days = 0, nanos = 0;           // whole amounts
  long double month_fraction = 0, day_fraction = 0;   // below one month, one day
  long double nano_fraction = 0;                      // below one nanosecond
  // Adds `whole` + `fraction` (of one sign) of a unit that is `scale` of
  // `unit` (a year: 12 months; an hour: 3.6e12 nanoseconds).
  void add(DurationUnit unit, std::int64_t scale, std::int64_t whole, long double fraction);
};
// Throws invalid_value when a part passes 64 bits.
Duration duration_from_amounts(const DurationAmounts& amounts);

// The type's name as Neo4j's messages write it ("Date", "LocalTime", ...).
const char* type_name(const Value& value);

}  // namespace orvane::temporal_detail
