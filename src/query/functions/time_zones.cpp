// Time-zone resolution over Howard Hinnant's tz library as Debian ships it
// (libhowardhinnant-date-dev, whose libdate-tz is built with USE_OS_TZDB:
// it reads the compiled TZif files of /usr/share/zoneinfo that the tzdata
// package keeps current). GCC 12's <chrono> has no zone database, and a
// TZif reader of our own would duplicate what this library already does
// correctly, including the lazy, thread-safe loading of each zone; so the
// query library links libdate-tz, and only this file includes it.
//
// Range: the library counts days in 32-bit integers, so instants are
// clamped to years -5000 … 5000 before they are asked about; every zone's
// offset is constant outside that span (local mean time before the first
// transition, the last rule after the last). One limit of this release of
// the library: it reads the transitions the TZif file lists (through 2037)
// but not the file's closing POSIX rule, so a daylight-saving zone answers
// with its standard offset for instants after 2037.
#include "query/functions/time_zones.h"

#include <algorithm>
#include <chrono>
#include <string>

#include <date/tz.h>

#include "query/cypher_error.h"

namespace orvane {
namespace {

constexpr std::int64_t kClampSeconds = 5000LL * 366 * 86400;

const date::time_zone* find_zone(std::string_view zone_id) {
  try {
    return date::locate_zone(zone_id);
  } catch (const std::runtime_error&) {
    throw CypherError("ArgumentError", "InvalidArgumentValue", ErrorPhase::kRuntime,
                      "Unknown time zone: " + std::string(zone_id));
  }
}

std::int64_t clamp(std::int64_t seconds) { return std::clamp(seconds, -kClampSeconds, kClampSeconds); }

}  // namespace

bool time_zone_known(std::string_view zone_id) {
  try {
    date::locate_zone(zone_id);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

std::int32_t time_zone_offset_at(std::string_view zone_id, std::int64_t utc_seconds) {
  const date::sys_seconds at{std::chrono::seconds{clamp(utc_seconds)}};
  return static_cast<std::int32_t>(find_zone(zone_id)->get_info(at).offset.count());
}

ZonedInstant time_zone_resolve_local(std::string_view zone_id, std::int64_t local_seconds) {
  const date::local_seconds at{std::chrono::seconds{clamp(local_seconds)}};
  const date::local_info info = find_zone(zone_id)->get_info(at);
  const auto first = static_cast<std::int32_t>(info.first.offset.count());
  const auto second = static_cast<std::int32_t>(info.second.offset.count());
  switch (info.result) {
    case date::local_info::nonexistent:
      // Java keeps the instant the earlier offset gives, which shows on the
      // clock as the local time moved forward by the gap.
      return {local_seconds - first, second};
    case date::local_info::ambiguous:  // the earlier instant: the offset before the change
    case date::local_info::unique:
      break;
  }
  return {local_seconds - first, first};
}

}  // namespace orvane
