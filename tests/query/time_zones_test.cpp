// Time zones straight from the system's tzdata: offsets at instants, and
// local times in the hours a transition skips or repeats.
#include <gtest/gtest.h>

#include "graph/temporal.h"
#include "query/cypher_error.h"
#include "query/functions/time_zones.h"

namespace orvane {
namespace {

std::int64_t local_seconds(std::int64_t y, unsigned m, unsigned d, int hour, int minute) {
  return days_from_civil(y, m, d) * kSecondsPerDay + hour * 3600 + minute * 60;
}

TEST(TimeZones, OffsetsAtInstants) {
  struct Row {
    const char* zone;
    std::int64_t utc;
    std::int32_t offset;
  };
  const Row rows[] = {
      {"Europe/Stockholm", local_seconds(2017, 1, 15, 12, 0), 3600},
      {"Europe/Stockholm", local_seconds(2017, 7, 15, 12, 0), 7200},
      {"America/New_York", local_seconds(2017, 7, 15, 12, 0), -14400},
      {"Australia/Eucla", local_seconds(2015, 7, 21, 12, 0), 31500},
      {"Asia/Kolkata", local_seconds(1990, 1, 1, 0, 0), 19800},
      {"UTC", local_seconds(1990, 1, 1, 0, 0), 0},
      {"Etc/GMT+5", local_seconds(1990, 1, 1, 0, 0), -18000},
      {"Europe/Berlin", local_seconds(1850, 1, 1, 0, 0), 3208},          // local mean time
      {"Europe/Berlin", local_seconds(999999999, 1, 1, 0, 0), 3600},    // beyond the database's years
      {"Europe/Berlin", local_seconds(-999999999, 1, 1, 0, 0), 3208}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.zone);
    EXPECT_EQ(row.offset, time_zone_offset_at(row.zone, row.utc));
  }
}

TEST(TimeZones, GapsMoveForwardAndOverlapsTakeTheEarlierOffset) {
  // 2017-03-26 02:00 → 03:00 and 2017-10-29 03:00 → 02:00 in Stockholm.
  const ZonedInstant gap = time_zone_resolve_local("Europe/Stockholm", local_seconds(2017, 3, 26, 2, 30));
  EXPECT_EQ(7200, gap.offset);
  EXPECT_EQ(local_seconds(2017, 3, 26, 3, 30), gap.utc_seconds + gap.offset);
  const ZonedInstant overlap = time_zone_resolve_local("Europe/Stockholm", local_seconds(2017, 10, 29, 2, 30));
  EXPECT_EQ(7200, overlap.offset);
  EXPECT_EQ(local_seconds(2017, 10, 29, 2, 30) - 7200, overlap.utc_seconds);
  const ZonedInstant plain = time_zone_resolve_local("America/New_York", local_seconds(2017, 1, 1, 12, 0));
  EXPECT_EQ(-18000, plain.offset);
}

TEST(TimeZones, UnknownZones) {
  EXPECT_TRUE(time_zone_known("Europe/Stockholm"));
  EXPECT_FALSE(time_zone_known("Europe/Atlantis"));
  EXPECT_FALSE(time_zone_known("europe/stockholm"));
  try {
    time_zone_offset_at("Europe/Atlantis", 0);
    FAIL() << "no error";
  } catch (const CypherError& e) {
    EXPECT_EQ("ArgumentError", e.error_class());
    EXPECT_EQ("InvalidArgumentValue", e.detail());
    EXPECT_STREQ("Unknown time zone: Europe/Atlantis", e.what());
  }
}

}  // namespace
}  // namespace orvane
