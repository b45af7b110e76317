// Named time zones (IANA ids such as "Europe/Stockholm") resolved against
// the system's time-zone database, as Neo4j resolves them through Java's:
// the offset a zone has at an instant, and the instant a local date and
// time denote in a zone.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvane {

// True when the database knows `zone_id` ("Europe/Stockholm", "UTC",
// "Etc/GMT+5"; ids are case-sensitive, as Java's are).
bool time_zone_known(std::string_view zone_id);

// The offset in seconds east of UTC that `zone_id` has at UTC second
// `utc_seconds`. Instants beyond the database's years are answered with the
// offset of its first or last year. Throws CypherError
// ArgumentError/InvalidArgumentValue "Unknown time zone: ID" for an id the
// database does not know.
std::int32_t time_zone_offset_at(std::string_view zone_id, std::int64_t utc_seconds);

struct ZonedInstant {
  std::int64_t utc_seconds = 0;  // the instant the local time denotes
  std::int32_t offset = 0;       // the zone's offset at that instant
};

// The instant that local second `local_seconds` (seconds since
// 1970-01-01T00:00 on the zone's clock) denotes in `zone_id`, with Java's
// rules for the hours a transition skips or repeats: a local time in a gap
// moves forward by the gap's length (02:30 in a one-hour spring-forward gap
// becomes 03:30 at the later offset), and one in an overlap takes the
// earlier offset (the first of the two instants). Throws as
// time_zone_offset_at.
ZonedInstant time_zone_resolve_local(std::string_view zone_id, std::int64_t local_seconds);

}  // namespace orvane
