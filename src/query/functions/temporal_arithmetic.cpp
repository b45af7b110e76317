// Temporal arithmetic and comparison.
//
// Adding a Duration works unit by unit, as Java's plus(months, MONTHS)
// .plus(days, DAYS).plus(seconds, SECONDS) does: the months move the
// calendar date (a day past the new month's end becomes its last day),
// the days move it further, and the seconds move the clock. A type without
// a clock (Date) takes the seconds' whole days only, truncated toward
// zero; a type without a date (LocalTime, Time) takes the seconds alone and
// wraps around midnight. For a DateTime in a named zone the months and days
// move the local date and time (keeping the offset where the local time
// occurs twice), and the seconds move the instant.
#include <cmath>

#include "query/functions/temporal_functions.h"
#include "query/functions/temporal_support.h"

namespace orvane {
using namespace temporal_detail;

namespace {

__int128 total_nanos(const Duration& d) { return static_cast<__int128>(d.seconds) * kNanosPerSecond + d.nanos; }

Duration from_parts(__int128 months, __int128 days, __int128 nanos) {
  const __int128 seconds = nanos >= 0 ? nanos / kNanosPerSecond : -((-nanos + kNanosPerSecond - 1) / kNanosPerSecond);
  constexpr __int128 kLimit = INT64_MAX;
  if (months > kLimit || months < -kLimit || days > kLimit || days < -kLimit || seconds > kLimit || seconds < -kLimit) {
    invalid_value("Duration is out of the supported range");
  }
  return {static_cast<std::int64_t>(months), static_cast<std::int64_t>(days), static_cast<std::int64_t>(seconds),
          static_cast<std::int32_t>(nanos - seconds * kNanosPerSecond)};
}

Duration negate(const Duration& d) { return from_parts(-static_cast<__int128>(d.months), -static_cast<__int128>(d.days), -total_nanos(d)); }

std::int64_t plus_months(std::int64_t days, std::int64_t months) {
  if (months == 0) return days;
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(days, year, month, day);
  const std::int64_t index = year * 12 + (month - 1) + months;
  const std::int64_t new_year = floor_div(index, 12);
  const auto new_month = static_cast<unsigned>(floor_mod(index, 12) + 1);
  check_field("Year", new_year, kMinYear, kMaxYear);
  return days_from_civil(new_year, new_month, std::min(day, month_length(new_year, new_month)));
}

Value add_duration(const Value& temporal, const Duration& d) {
  const __int128 nanos = total_nanos(d);
  if (temporal.is<Date>()) {
    const std::int64_t days = plus_months(temporal.as<Date>().days, d.months) + d.days +
                              static_cast<std::int64_t>(nanos / kNanosPerDay);
    check_date_range(days);
    return Date{days};
  }
  auto clock = [&](std::int64_t of_day) {
    return static_cast<std::int64_t>(floor_mod(static_cast<std::int64_t>((of_day + nanos % kNanosPerDay) % kNanosPerDay),
                                               kNanosPerDay));
  };
  if (temporal.is<LocalTime>()) return LocalTime{clock(temporal.as<LocalTime>().nanos)};
  if (temporal.is<Time>()) return Time{clock(temporal.as<Time>().nanos), temporal.as<Time>().offset_seconds};
  TemporalParts parts = parts_of(temporal);
  const std::int64_t days = plus_months(*parts.days, d.months) + d.days;
  check_date_range(days);
  if (temporal.is<LocalDateTime>()) {
    const __int128 local = (static_cast<__int128>(days) * kNanosPerDay + *parts.nanos) + nanos;
    const __int128 seconds = local >= 0 ? local / kNanosPerSecond : -((-local + kNanosPerSecond - 1) / kNanosPerSecond);
    check_date_range(floor_div(static_cast<std::int64_t>(seconds), kSecondsPerDay));
    return LocalDateTime{static_cast<std::int64_t>(seconds), static_cast<std::int32_t>(local - seconds * kNanosPerSecond)};
  }
  const DateTime& original = temporal.as<DateTime>();
  DateTime moved = make_date_time(days, *parts.nanos, *parts.zone);
  if (parts.zone->named() && moved.offset_seconds != original.offset_seconds) {
    // Keep the original offset where the zone still allows it (an overlap).
    const std::int64_t local = moved.seconds + moved.offset_seconds;
    if (zone_at(*parts.zone, local - original.offset_seconds).offset == original.offset_seconds) {
      moved.seconds = local - original.offset_seconds;
      moved.offset_seconds = original.offset_seconds;
    }
  }
  const __int128 instant = static_cast<__int128>(moved.seconds) * kNanosPerSecond + moved.nanos + nanos;
  const __int128 seconds = instant >= 0 ? instant / kNanosPerSecond : -((-instant + kNanosPerSecond - 1) / kNanosPerSecond);
  const auto utc = static_cast<std::int64_t>(seconds);
  const ZoneChoice zone = zone_at(*parts.zone, utc);
  check_date_range(floor_div(utc + zone.offset, kSecondsPerDay));
  return DateTime{utc, static_cast<std::int32_t>(instant - seconds * kNanosPerSecond), zone.offset, zone.id};
}

[[noreturn]] void cannot(const char* op, const Value& a, const Value& b) {
  invalid_type(std::string("Type mismatch: cannot ") + op + " " + type_name(a) + " and " + type_name(b));
}

// The factor as a long double, or throws TypeError.
long double factor_of(const Value& value, const Value& other) {
  if (value.is<std::int64_t>()) return static_cast<long double>(value.as<std::int64_t>());
  if (value.is<double>()) return value.as<double>();
  cannot("multiply", other, value);
}

Duration scale(const Duration& d, long double factor) {
  DurationAmounts amounts;
  auto add = [&](DurationUnit unit, long double amount) {
    if (!std::isfinite(amount) || std::fabs(amount) > 9.2e18L) invalid_value("Duration is out of the supported range");
    const long double whole = std::trunc(amount);
    amounts.add(unit, 1, static_cast<std::int64_t>(whole), amount - whole);
  };
  add(DurationUnit::kMonths, d.months * factor);
  add(DurationUnit::kDays, d.days * factor);
  const long double nanos = static_cast<long double>(total_nanos(d)) * factor;
  if (!std::isfinite(nanos) || std::fabs(nanos) > 1.7e38L) invalid_value("Duration is out of the supported range");
  const long double whole = std::trunc(nanos);
  amounts.nanos = static_cast<__int128>(whole);
  amounts.nano_fraction = nanos - whole;
  return duration_from_amounts(amounts);
}

template <typename T>
int three_way(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

Value temporal_add(const Value& a, const Value& b) {
  if (a.is_null() || b.is_null()) return {};
  if (a.is<Duration>() && b.is<Duration>()) {
    const Duration& x = a.as<Duration>();
    const Duration& y = b.as<Duration>();
    return from_parts(static_cast<__int128>(x.months) + y.months, static_cast<__int128>(x.days) + y.days,
                      total_nanos(x) + total_nanos(y));
  }
  if (is_instant_type(a) && b.is<Duration>()) return add_duration(a, b.as<Duration>());
  if (a.is<Duration>() && is_instant_type(b)) return add_duration(b, a.as<Duration>());
  cannot("add", a, b);
}

Value temporal_subtract(const Value& a, const Value& b) {
  if (a.is_null() || b.is_null()) return {};
  if (b.is<Duration>() && (a.is<Duration>() || is_instant_type(a))) return temporal_add(a, negate(b.as<Duration>()));
  cannot("subtract", a, b);
}

Value duration_multiply(const Value& a, const Value& b) {
  if (a.is_null() || b.is_null()) return {};
  if (a.is<Duration>() && b.is<std::int64_t>()) {
    // Whole factors multiply exactly.
    const Duration& d = a.as<Duration>();
    const __int128 k = b.as<std::int64_t>();
    return from_parts(d.months * k, d.days * k, total_nanos(d) * k);
  }
  if (a.is<Duration>()) return scale(a.as<Duration>(), factor_of(b, a));
  if (b.is<Duration>()) return duration_multiply(b, a);
  cannot("multiply", a, b);
}

Value duration_divide(const Value& duration, const Value& divisor) {
  if (duration.is_null() || divisor.is_null()) return {};
  if (!duration.is<Duration>()) cannot("divide", duration, divisor);
  const long double by = factor_of(divisor, duration);
  if (by == 0) invalid_value("/ by zero");
  const Duration& d = duration.as<Duration>();
  DurationAmounts amounts;
  const long double months = d.months / by, days = d.days / by;
  const long double nanos = static_cast<long double>(total_nanos(d)) / by;
  for (const long double v : {months, days, nanos}) {
    if (!std::isfinite(v) || std::fabs(v) > 9.2e27L) invalid_value("Duration is out of the supported range");
  }
  amounts.add(DurationUnit::kMonths, 1, static_cast<std::int64_t>(std::trunc(months)), months - std::trunc(months));
  amounts.add(DurationUnit::kDays, 1, static_cast<std::int64_t>(std::trunc(days)), days - std::trunc(days));
  amounts.nanos = static_cast<__int128>(std::trunc(nanos));
  amounts.nano_fraction = nanos - std::trunc(nanos);
  return duration_from_amounts(amounts);
}

std::optional<int> temporal_compare(const Value& a, const Value& b) {
  if (a.storage().index() != b.storage().index()) return std::nullopt;
  if (a.is<Date>()) return three_way(a.as<Date>().days, b.as<Date>().days);
  if (a.is<LocalTime>()) return three_way(a.as<LocalTime>().nanos, b.as<LocalTime>().nanos);
  if (a.is<Time>()) {
    const Time& x = a.as<Time>();
    const Time& y = b.as<Time>();
    const std::int64_t ux = x.nanos - x.offset_seconds * kNanosPerSecond, uy = y.nanos - y.offset_seconds * kNanosPerSecond;
    if (ux != uy) return three_way(ux, uy);
    return three_way(x.offset_seconds, y.offset_seconds);
  }
  if (a.is<LocalDateTime>()) {
    const LocalDateTime& x = a.as<LocalDateTime>();
    const LocalDateTime& y = b.as<LocalDateTime>();
    return x.seconds != y.seconds ? three_way(x.seconds, y.seconds) : three_way(x.nanos, y.nanos);
  }
  if (a.is<DateTime>()) {
    const DateTime& x = a.as<DateTime>();
    const DateTime& y = b.as<DateTime>();
    if (x.seconds != y.seconds) return three_way(x.seconds, y.seconds);
    if (x.nanos != y.nanos) return three_way(x.nanos, y.nanos);
    // One instant: the earlier local time first, then the zone id.
    if (x.offset_seconds != y.offset_seconds) return three_way(x.offset_seconds, y.offset_seconds);
    return three_way(x.zone, y.zone);
  }
  return std::nullopt;
}

std::optional<bool> temporal_equal(const Value& a, const Value& b) {
  if (a.is_null() || b.is_null()) return std::nullopt;
  if (a.storage().index() != b.storage().index()) return false;
  if (a.is<Duration>()) return a.as<Duration>() == b.as<Duration>();
  const std::optional<int> order = temporal_compare(a, b);
  if (!order) return a == b;
  return *order == 0;
}

}  // namespace orvane
