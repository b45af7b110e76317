// The bulk-import CSV column types: which type carries a value, how the
// types of one key's values combine, and the texts of the temporal and
// spatial columns read back by typed_csv_value, point maps in the forms
// neo4j-admin reads included.
#include <gtest/gtest.h>

#include <cmath>

#include <nlohmann/json.hpp>

#include "io/csv_reader.h"
#include "io/csv_types.h"
#include "support/error_text.h"

namespace orvane {
namespace {

using testing::error_of;

std::string type_of(const nlohmann::json& typed_json) {
  const CsvColumnType t = csv_column_type(from_typed_json(typed_json));
  return t.scalar == CsvScalar::kJson ? "json" : csv_type_name(t);
}

nlohmann::json typed(const char* type, const char* text) { return {{"$type", type}, {"_value", text}}; }

TEST(CsvTypes, ColumnTypeOfEachValue) {
  const struct {
    nlohmann::json value;
    const char* type;
  } cases[] = {
      {1, "long"},
      {1.0, "double"},
      {typed("Float", "NaN"), "json"},
      {false, "boolean"},
      {"", "string"},
      {typed("Base64", "AAE="), "json"},
      {typed("Time", "10:00Z"), "time"},
      {typed("ZonedDateTime", "2024-01-01T00:00:00+01:00[Europe/Paris]"), "datetime"},
      {typed("Point", "SRID=9157;POINT Z (1.0 2.0 3.0)"), "point"},
      {nlohmann::json::array(), "string[]"},
      {{1, 2}, "long[]"},
      {{1, 2.5}, "double[]"},  // stored as a float list
      {{"a", "", "b"}, "string[]"},
      {{""}, "json"},           // would read back as []
      {{"a;b"}, "json"},        // would split
      {{"[x", "y"}, "json"},    // would read as a JSON array
      {{"x", "[y"}, "string[]"},
      {{typed("Duration", "PT1S")}, "duration[]"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.type, type_of(c.value)) << c.value.dump();
}

TEST(CsvTypes, TypesOfOneKeyCombine) {
  const CsvColumnType unseen{}, longs{CsvScalar::kLong, false}, doubles{CsvScalar::kDouble, false},
      long_list{CsvScalar::kLong, true}, empty_list{CsvScalar::kNone, true}, json{CsvScalar::kJson, false};
  const struct {
    CsvColumnType a, b, merged;
  } cases[] = {
      {unseen, longs, longs},           {longs, unseen, longs},         {longs, longs, longs},
      {longs, doubles, json},           {longs, long_list, json},       {empty_list, long_list, long_list},
      {long_list, empty_list, long_list}, {empty_list, empty_list, empty_list}, {json, longs, json},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.merged, merge_column_types(c.a, c.b)) << csv_type_name(c.a) << " + " << csv_type_name(c.b);
  }
}

// What the export writes reads back, and the other forms Neo4j's tools
// write read too; the expected value is typed JSON, or the error message.
TEST(CsvTypes, TemporalAndPointColumnsRead) {
  const struct {
    const char* text;
    const char* type;
    std::string expected;
  } cases[] = {
      {"2024-02-29", "date", R"j({"$type":"Date","_value":"2024-02-29"})j"},
      {"2023-02-29", "date", "invalid date: 2023-02-29"},
      {"12:30", "localtime", R"j({"$type":"LocalTime","_value":"12:30:00"})j"},
      {"12:30:00+01:00", "time", R"j({"$type":"Time","_value":"12:30:00+01:00"})j"},
      {"2024-01-01T00:00:00.5", "localdatetime", R"j({"$type":"LocalDateTime","_value":"2024-01-01T00:00:00.5"})j"},
      {"2024-01-01T00:00:00Z", "datetime", R"j({"$type":"OffsetDateTime","_value":"2024-01-01T00:00:00Z"})j"},
      {"2024-07-01T12:00:00+02:00[Europe/Paris]", "datetime",
       R"j({"$type":"ZonedDateTime","_value":"2024-07-01T12:00:00+02:00[Europe/Paris]"})j"},
      {"P1Y2M3DT4H5M6.5S", "duration", R"j({"$type":"Duration","_value":"P1Y2M3DT4H5M6.5S"})j"},
      {"{crs:'cartesian',x:1.5,y:-2.0}", "point", R"j({"$type":"Point","_value":"SRID=7203;POINT (1.5 -2.0)"})j"},
      {"{x:1, y:2, z:3}", "point", R"j({"$type":"Point","_value":"SRID=9157;POINT Z (1.0 2.0 3.0)"})j"},
      {"{ latitude: 56.25, longitude: 12.5 }", "point", R"j({"$type":"Point","_value":"SRID=4326;POINT (12.5 56.25)"})j"},
      {"{Latitude:1,Longitude:2,Height:3,CRS:\"WGS-84-3D\"}", "point",
       R"j({"$type":"Point","_value":"SRID=4979;POINT Z (2.0 1.0 3.0)"})j"},
      {"{srid:4326,x:1,y:2}", "point", R"j({"$type":"Point","_value":"SRID=4326;POINT (1.0 2.0)"})j"},
      {"SRID=7203;POINT (1.0 2.0)", "point", R"j({"$type":"Point","_value":"SRID=7203;POINT (1.0 2.0)"})j"},
      {"{x:1}", "point", "invalid point: {x:1}"},
      {"{x:1,y:2,z:3,crs:'cartesian'}", "point", "invalid point: {x:1,y:2,z:3,crs:'cartesian'}"},
      {"{x:1,latitude:2}", "point", "invalid point: {x:1,latitude:2}"},
      {"{x:1,y:2,w:3}", "point", "invalid point: {x:1,y:2,w:3}"},
      {"{x:1,y:2,crs:'mars'}", "point", "invalid point: {x:1,y:2,crs:'mars'}"},
      {"{x:1,y:2x}", "point", "invalid point: {x:1,y:2x}"},
      {"{x:1,y:2} z", "point", "invalid point: {x:1,y:2} z"},
      {"{x:1,y:2", "point", "invalid point: {x:1,y:2"},
      {"2000-01-01;-0044-03-15", "date[]",
       R"j([{"$type":"Date","_value":"2000-01-01"},{"$type":"Date","_value":"-0044-03-15"}])j"},
      {"{x:1,y:2};{x:3,y:4}", "point[]",
       R"j([{"$type":"Point","_value":"SRID=7203;POINT (1.0 2.0)"},{"$type":"Point","_value":"SRID=7203;POINT (3.0 4.0)"}])j"},
      {"", "duration[]", "[]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " as " + c.type);
    std::string got;
    try {
      got = typed_csv_value(c.text, c.type).dump();
    } catch (const std::exception& e) {
      got = e.what();
    }
    EXPECT_EQ(c.expected, got);
  }
}

// Every point the export writes reads back to the same value.
TEST(CsvTypes, PointMapsRoundTrip) {
  const Point points[] = {{7203, 1.5, -2.0, 0}, {9157, 0.1, 1e300, -3}, {4326, 12.5, 56.25, 0}, {4979, -180, 90, 8848.86}};
  for (const Point& p : points) {
    const std::string text = format_point_map(p);
    EXPECT_EQ(p, parse_point_map(text)) << text;
  }
  EXPECT_EQ("{crs:'wgs-84-3d',longitude:-180.0,latitude:90.0,height:8848.86}", format_point_map(points[3]));
}

}  // namespace
}  // namespace orvane
