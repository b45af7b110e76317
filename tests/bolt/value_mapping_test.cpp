// The focus of this file is how Cypher values travel: every value type as
// the structure drivers read for the negotiated version (element ids from
// 5.0, UTC DateTimes from 5.0 or with the 4.4 "utc" patch), nodes,
// relationships and paths read from their database, and the parameters
// drivers send read back with every field checked.
#include "bolt/value_mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "bolt/bolt_error.h"
#include "support/graph_builder.h"

namespace orvane::bolt {
namespace {

const ValueFormat kFive = value_format({5, 8}, false);
const ValueFormat kLegacy = value_format({4, 4}, false);
const ValueFormat kPatched = value_format({4, 4}, true);

std::string written(const CypherValue& value, const ValueFormat& format, const Database* db = nullptr) {
  std::string out;
  PackWriter w(out);
  write_value(w, value, db, format);
  return to_debug_text(decode(out));
}

TEST(BoltValues, FormatFollowsTheVersion) {
  EXPECT_TRUE(kFive.element_ids && kFive.utc_datetimes);
  EXPECT_TRUE(!kLegacy.element_ids && !kLegacy.utc_datetimes);
  EXPECT_TRUE(!kPatched.element_ids && kPatched.utc_datetimes);
  EXPECT_TRUE(value_format({5, 0}, false).utc_datetimes);
}

TEST(BoltValues, WritesEveryValueType) {
  struct Case {
    CypherValue value;
    const char* five;    // 5.x and 4.4 with the utc patch
    const char* legacy;  // 4.4 without it
  };
  const Case cases[] = {
      {CypherValue(), "null", "null"},
      {true, "true", "true"},
      {std::int64_t{-17}, "-17", "-17"},
      {2.5, "2.5", "2.5"},
      {"text", "\"text\"", "\"text\""},
      {Bytes{"\x0A\x0B"}, "#0A0B", "#0A0B"},
      {CypherList{1, "a", CypherValue()}, "[1, \"a\", null]", "[1, \"a\", null]"},
      {CypherMap{{"k", CypherList{}}, {"a", 1}}, "{k: [], a: 1}", "{k: [], a: 1}"},
      {Date{19000}, "Struct<0x44>(19000)", "Struct<0x44>(19000)"},
      {Date{-800000}, "Struct<0x44>(-800000)", "Struct<0x44>(-800000)"},
      {LocalTime{1}, "Struct<0x74>(1)", "Struct<0x74>(1)"},
      {Time{3600 * kNanosPerSecond, -3600}, "Struct<0x54>(3600000000000, -3600)", "Struct<0x54>(3600000000000, -3600)"},
      {LocalDateTime{100, 5}, "Struct<0x64>(100, 5)", "Struct<0x64>(100, 5)"},
      {DateTime{1000, 7, 3600, ""}, "Struct<0x49>(1000, 7, 3600)", "Struct<0x46>(4600, 7, 3600)"},
      {DateTime{1000, 7, -1800, ""}, "Struct<0x49>(1000, 7, -1800)", "Struct<0x46>(-800, 7, -1800)"},
      {DateTime{1000, 7, 3600, "Europe/Paris"}, "Struct<0x69>(1000, 7, \"Europe/Paris\")",
       "Struct<0x66>(4600, 7, \"Europe/Paris\")"},
      {Duration{14, 3, -7, 5}, "Struct<0x45>(14, 3, -7, 5)", "Struct<0x45>(14, 3, -7, 5)"},
      {Point{7203, 1.5, 2, 0}, "Struct<0x58>(7203, 1.5, 2.0)", "Struct<0x58>(7203, 1.5, 2.0)"},
      {Point{4326, -0.5, 51, 0}, "Struct<0x58>(4326, -0.5, 51.0)", "Struct<0x58>(4326, -0.5, 51.0)"},
      {Point{4979, 1, 2, 3}, "Struct<0x59>(4979, 1.0, 2.0, 3.0)", "Struct<0x59>(4979, 1.0, 2.0, 3.0)"},
      {Point{9157, 1, 2, 3}, "Struct<0x59>(9157, 1.0, 2.0, 3.0)", "Struct<0x59>(9157, 1.0, 2.0, 3.0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.five);
    EXPECT_EQ(c.five, written(c.value, kFive));
    EXPECT_EQ(c.five, written(c.value, kPatched));
    EXPECT_EQ(c.legacy, written(c.value, kLegacy));
  }
}

class BoltGraphValues : public ::testing::Test {
 protected:
  // ann -> bob, cy -> bob; ann has a typed property besides her name.
  BoltGraphValues()
      : db_(orvane::testing::GraphBuilder()
                .people({"ann", "bob", "cy"})
                .follows("ann", "bob")
                .follows("cy", "bob")
                .compiled()) {
    db_.set_property(0, "born", nlohmann::json{{"$type", "Date"}, {"_value", "1990-01-02"}});
    db_.set_relationship_properties(0, nlohmann::json{{"since", 2020}});
  }
  Database db_;
};

TEST_F(BoltGraphValues, WritesNodesAndRelationships) {
  EXPECT_EQ("Struct<0x4E>(0, [\"Person\"], {born: Struct<0x44>(7306), name: \"ann\"}, \"4:halvex:0\")",
            written(NodeRef{0}, kFive, &db_));
  EXPECT_EQ("Struct<0x4E>(0, [\"Person\"], {born: Struct<0x44>(7306), name: \"ann\"})",
            written(NodeRef{0}, kLegacy, &db_));
  EXPECT_EQ("Struct<0x52>(0, 0, 1, \"FOLLOWS\", {since: 2020}, \"5:halvex:0\", \"4:halvex:0\", \"4:halvex:1\")",
            written(RelRef{0}, kFive, &db_));
  EXPECT_EQ("Struct<0x52>(1, 2, 1, \"FOLLOWS\", {})", written(RelRef{1}, kLegacy, &db_));
  try {
    written(NodeRef{0}, kFive, nullptr);
    ADD_FAILURE() << "written without a database";
  } catch (const BoltError& e) {
    EXPECT_EQ(kDatabaseError, e.code());
  }
}

TEST_F(BoltGraphValues, WritesPathsWithUniqueEntitiesAndSignedIndices) {
  const std::string bob = "Struct<0x4E>(1, [\"Person\"], {name: \"bob\"})";
  const std::string cy = "Struct<0x4E>(2, [\"Person\"], {name: \"cy\"})";
  const std::string ann = "Struct<0x4E>(0, [\"Person\"], {born: Struct<0x44>(7306), name: \"ann\"})";
  const std::string r0 = "Struct<0x72>(0, \"FOLLOWS\", {since: 2020})";
  const std::string r1 = "Struct<0x72>(1, \"FOLLOWS\", {})";
  struct Case {
    PathValue path;
    std::string expected;
  };
  const Case cases[] = {
      {PathValue{{0}, {}}, "Struct<0x50>([" + ann + "], [], [])"},
      // ann -> bob <- cy: the second step walks r1 against its direction.
      {PathValue{{0, 1, 2}, {0, 1}},
       "Struct<0x50>([" + ann + ", " + bob + ", " + cy + "], [" + r0 + ", " + r1 + "], [1, 1, -2, 2])"},
      // bob <- ann -> bob: one relationship walked both ways, a node met twice.
      {PathValue{{1, 0, 1}, {0, 0}}, "Struct<0x50>([" + bob + ", " + ann + "], [" + r0 + "], [-1, 1, 1, 0])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.expected, written(CypherValue(c.path), kLegacy, &db_));
  }
  EXPECT_NE(std::string::npos, written(CypherValue(cases[1].path), kFive, &db_).find("\"5:halvex:1\""));
}

TEST(BoltParameters, ReadBackWhatIsWritten) {
  const CypherValue values[] = {
      CypherValue(),
      true,
      std::int64_t{1} << 40,
      -0.25,
      "x",
      Bytes{"\x01"},
      CypherList{1, CypherList{2}},
      CypherMap{{"a", CypherMap{{"b", Date{3}}}}},
      LocalTime{5},
      Time{6, 7200},
      LocalDateTime{-5, 999999999},
      DateTime{1700000000, 1, -18000, ""},
      Duration{1, 2, 3, 4},
      Point{7203, 1, 2, 0},
      Point{4979, 1, 2, 3},
  };
  for (const ValueFormat& format : {kFive, kLegacy}) {
    for (const CypherValue& v : values) {
      const std::string text = written(v, format);
      SCOPED_TRACE(text);
      std::string bytes;
      PackWriter w(bytes);
      write_value(w, v, nullptr, format);
      EXPECT_EQ(text, written(read_parameter(decode(bytes), format, {}), format));
    }
  }
}

TEST(BoltParameters, ResolvesZoneIds) {
  const ZoneOffsetResolver paris = [](const std::string& zone, std::int64_t utc) -> std::int32_t {
    if (zone != "Europe/Paris") throw BoltError(kRequestInvalid, "unknown zone " + zone);
    return utc >= 1000 ? 7200 : 3600;
  };
  const DateTime utc = read_parameter(PackStruct{0x69, {5000, 3, "Europe/Paris"}}, kFive, paris).get<DateTime>();
  EXPECT_EQ((DateTime{5000, 3, 7200, "Europe/Paris"}), utc);
  // Local 12200 is UTC 5000 at +02:00.
  const DateTime local = read_parameter(PackStruct{0x66, {12200, 3, "Europe/Paris"}}, kLegacy, paris).get<DateTime>();
  EXPECT_EQ((DateTime{5000, 3, 7200, "Europe/Paris"}), local);
  const DateTime offset = read_parameter(PackStruct{0x46, {4600, 0, 3600}}, kLegacy, {}).get<DateTime>();
  EXPECT_EQ((DateTime{1000, 0, 3600, ""}), offset);
  EXPECT_THROW(read_parameter(PackStruct{0x69, {1, 0, "Mars/Base"}}, kFive, paris), BoltError);
}

TEST(BoltParameters, NormalisesDurationNanoseconds) {
  EXPECT_EQ((Duration{0, 0, 1, 500000000}),
            read_parameter(PackStruct{0x45, {0, 0, 0, 1500000000}}, kFive, {}).get<Duration>());
  EXPECT_EQ((Duration{0, 0, -1, 999999999}),
            read_parameter(PackStruct{0x45, {0, 0, 0, -1}}, kFive, {}).get<Duration>());
}

TEST(BoltParameters, RefusesWhatIsNotAParameter) {
  struct Case {
    PackValue value;
    ValueFormat format;
    const char* error;
  };
  const Case cases[] = {
      {PackStruct{0x4E, {1, PackList{}, PackMap{}}}, kFive,
       "invalid parameter: nodes, relationships and paths cannot be sent as parameters"},
      {PackStruct{0x50, {}}, kFive, "invalid parameter: nodes, relationships and paths cannot be sent as parameters"},
      {PackStruct{0x01, {}}, kFive, "invalid parameter: unknown structure tag 0x01"},
      {PackList{PackStruct{0x7A, {}}}, kFive, "invalid parameter: unknown structure tag 0x7A"},
      {PackStruct{0x44, {}}, kFive, "invalid parameter: Date takes 1 fields, not 0"},
      {PackStruct{0x44, {"2020-01-01"}}, kFive, "invalid parameter: Date field 1 must be an Integer"},
      {PackStruct{0x74, {kNanosPerDay}}, kFive, "invalid parameter: LocalTime field 1 is out of range"},
      {PackStruct{0x54, {0, 64801}}, kFive, "invalid parameter: Time field 2 is out of range"},
      {PackStruct{0x64, {0, 1000000000}}, kFive, "invalid parameter: LocalDateTime field 2 is out of range"},
      {PackStruct{0x46, {0, 0, 0}}, kFive,
       "invalid parameter: the DateTime structure 0x46 is not used by this protocol version"},
      {PackStruct{0x49, {0, 0, 0}}, kLegacy,
       "invalid parameter: the DateTime structure 0x49 is not used by this protocol version"},
      {PackStruct{0x69, {0, 0, "Europe/Paris"}}, kFive, "invalid parameter: time zone ids are not supported here"},
      {PackStruct{0x69, {0, 0, 1}}, kFive, "invalid parameter: DateTimeZoneId field 3 must be a String"},
      {PackStruct{0x46, {std::numeric_limits<std::int64_t>::min(), 0, 60}}, kLegacy,
       "invalid parameter: seconds out of range"},
      {PackStruct{0x45, {0, 0, std::numeric_limits<std::int64_t>::max(), 1000000000}}, kFive,
       "invalid parameter: Duration seconds out of range"},
      {PackStruct{0x58, {1234, 1.0, 2.0}}, kFive, "invalid parameter: unsupported SRID 1234 for Point2D"},
      {PackStruct{0x58, {4979, 1.0, 2.0}}, kFive, "invalid parameter: unsupported SRID 4979 for Point2D"},
      {PackStruct{0x59, {7203, 1.0, 2.0, 3.0}}, kFive, "invalid parameter: unsupported SRID 7203 for Point3D"},
      {PackStruct{0x58, {7203, "1", 2.0}}, kFive, "invalid parameter: Point2D field 2 must be a Float"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    try {
      read_parameter(c.value, c.format, {});
      ADD_FAILURE() << "accepted";
    } catch (const BoltError& e) {
      EXPECT_EQ(c.error, std::string(e.what()));
      EXPECT_EQ(kRequestInvalid, e.code());
    }
  }
}

}  // namespace
}  // namespace orvane::bolt
