// Java's toString forms of the temporal types (see temporal_display.h).
#include "support/temporal_display.h"

#include <nlohmann/json.hpp>

namespace orvane::testing {
namespace {

std::string pad(std::int64_t v, int width) {
  std::string s = std::to_string(v);
  return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

// LocalTime.toString: seconds only when not zero, the fraction in groups
// of three digits.
std::string java_time(std::int64_t nanos) {
  const std::int64_t seconds = nanos / kNanosPerSecond, fraction = nanos % kNanosPerSecond;
  std::string out = pad(seconds / 3600, 2) + ":" + pad(seconds / 60 % 60, 2);
  if (seconds % 60 == 0 && fraction == 0) return out;
  out += ":" + pad(seconds % 60, 2);
  if (fraction == 0) return out;
  if (fraction % 1000000 == 0) return out + "." + pad(fraction / 1000000, 3);
  if (fraction % 1000 == 0) return out + "." + pad(fraction / 1000, 6);
  return out + "." + pad(fraction, 9);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

std::string java_local_date_time(std::int64_t seconds, std::int32_t nanos) {
  const std::int64_t days = floor_div(seconds, kSecondsPerDay);
  return format_date(Date{days}) + "T" + java_time((seconds - days * kSecondsPerDay) * kNanosPerSecond + nanos);
}

}  // namespace

std::string temporal_display(const Value& v) {
  if (v.is<Date>()) return format_date(v.as<Date>());
  if (v.is<LocalTime>()) return java_time(v.as<LocalTime>().nanos);
  if (v.is<Time>()) return java_time(v.as<Time>().nanos) + format_offset(v.as<Time>().offset_seconds);
  if (v.is<LocalDateTime>()) return java_local_date_time(v.as<LocalDateTime>().seconds, v.as<LocalDateTime>().nanos);
  if (v.is<DateTime>()) {
    const DateTime& dt = v.as<DateTime>();
    std::string out = java_local_date_time(dt.seconds + dt.offset_seconds, dt.nanos) + format_offset(dt.offset_seconds);
    if (!dt.zone.empty()) out += "[" + dt.zone + "]";
    return out;
  }
  if (v.is<Duration>()) return format_duration(v.as<Duration>());
  return to_typed_json(v).dump();
}

}  // namespace orvane::testing
