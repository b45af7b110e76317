// duration.between, inMonths, inDays and inSeconds.
//
// Both values are first brought to a common footing: a value without a
// zone is taken to be in the other's zone, and a value without a date
// takes the other's date (a Date counts as its midnight). When both had a
// date, the difference is counted as Java's until() counts it, on the
// local date and time of `from`'s zone: whole months first (a month is
// only counted once the end's day and time of day are reached), then whole
// days, then the rest as the exact time between the two instants. When
// either had no date, only that time between the instants counts.
#include "query/functions/temporal_functions.h"
#include "query/functions/temporal_support.h"

namespace orvane {
using namespace temporal_detail;

namespace {

// A local date and time, with the zone it is in (if any).
struct Moment {
  std::int64_t days = 0;                 // local date
  std::int64_t nanos = 0;                // local nanoseconds of the day
  std::optional<ZoneChoice> zone;          // absent: a local value
};

// Nanoseconds since the epoch: UTC where there is a zone, else local.
__int128 instant_of(const Moment& m) {
  if (!m.zone) return static_cast<__int128>(m.days) * kNanosPerDay + m.nanos;
  const DateTime dt = make_date_time(m.days, m.nanos, *m.zone);
  return static_cast<__int128>(dt.seconds) * kNanosPerSecond + dt.nanos;
}

// The end date Java's until() counts date units to: one day short when the
// end's time of day has not yet reached the start's, and the reverse
// going backwards.
std::int64_t adjusted_end(const Moment& from, const Moment& to) {
  if (to.days > from.days && to.nanos < from.nanos) return to.days - 1;
  if (to.days < from.days && to.nanos > from.nanos) return to.days + 1;
  return to.days;
}

std::int64_t months_until(std::int64_t from_days, std::int64_t to_days) {
  auto packed = [](std::int64_t days) {
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    civil_from_days(days, year, month, day);
    return (year * 12 + month - 1) * 32 + day;
  };
  return (packed(to_days) - packed(from_days)) / 32;
}

std::int64_t add_months(std::int64_t days, std::int64_t months) {
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(days, year, month, day);
  const std::int64_t index = year * 12 + (month - 1) + months;
  const std::int64_t y = floor_div(index, 12);
  const auto m = static_cast<unsigned>(floor_mod(index, 12) + 1);
  return days_from_civil(y, m, std::min(day, month_length(y, m)));
}

Duration make(std::int64_t months, std::int64_t days, __int128 nanos) {
  const __int128 seconds = nanos >= 0 ? nanos / kNanosPerSecond : -((-nanos + kNanosPerSecond - 1) / kNanosPerSecond);
  if (seconds > INT64_MAX || seconds < INT64_MIN) invalid_value("Duration is out of the supported range");
  return {months, days, static_cast<std::int64_t>(seconds), static_cast<std::int32_t>(nanos - seconds * kNanosPerSecond)};
}

}  // namespace

Value duration_between(BetweenUnit unit, const Value& from_value, const Value& to_value) {
  if (from_value.is_null() || to_value.is_null()) return {};
  if (!is_instant_type(from_value) || !is_instant_type(to_value)) {
    invalid_type(std::string("Type mismatch: duration.between expected two temporals but was ") +
                 type_name(from_value) + " and " + type_name(to_value));
  }
  const TemporalParts a = parts_of(from_value), b = parts_of(to_value);
  Moment from{a.days.value_or(0), a.nanos.value_or(0), a.zone};
  Moment to{b.days.value_or(0), b.nanos.value_or(0), b.zone};
  const bool dated = a.days && b.days;
  if (!a.days && b.days) from.days = b.days.value();
  if (!b.days && a.days) to.days = a.days.value();
  if (!from.zone && to.zone) from.zone = to.zone;
  if (!to.zone && from.zone) to.zone = from.zone;
  if (!dated) {
    if (unit == BetweenUnit::kMonths || unit == BetweenUnit::kDays) return Duration{};
    return make(0, 0, instant_of(to) - instant_of(from));
  }
  if (unit == BetweenUnit::kSeconds) return make(0, 0, instant_of(to) - instant_of(from));
  const bool same_zone = to.zone && to.zone->id == from.zone->id && (to.zone->named() || to.zone->offset == from.zone->offset);
  if (to.zone && !same_zone) {
    // Count calendar units on from's clock: the end seen in from's zone.
    const DateTime end = make_date_time(to.days, to.nanos, *to.zone);
    const ZoneChoice seen = zone_at(*from.zone, end.seconds);
    const std::int64_t local = end.seconds + seen.offset;
    to = {floor_div(local, kSecondsPerDay), floor_mod(local, kSecondsPerDay) * kNanosPerSecond + end.nanos, from.zone};
  }
  if (unit == BetweenUnit::kDays) return Duration{0, adjusted_end(from, to) - from.days, 0, 0};
  const std::int64_t months = months_until(from.days, adjusted_end(from, to));
  if (unit == BetweenUnit::kMonths) return Duration{months, 0, 0, 0};
  Moment step = from;
  step.days = add_months(from.days, months);
  const std::int64_t days = adjusted_end(step, to) - step.days;
  step.days += days;
  return make(months, days, instant_of(to) - instant_of(step));
}

}  // namespace orvane
