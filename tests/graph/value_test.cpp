// Typed values: the calendar, every temporal and spatial text form in both
// directions, and the typed JSON form with its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/value.h"
#include "support/error_text.h"

namespace orvane {
namespace {

using json = nlohmann::json;

// Every day from year -2000 to 3000 converts to a civil date and back, and
// the dates run without gaps.
TEST(Temporal, CalendarIsExactAcrossEras) {
  std::int64_t expected = days_from_civil(-2000, 1, 1);
  for (std::int64_t year = -2000; year <= 3000; ++year) {
    for (unsigned month = 1; month <= 12; ++month) {
      const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
      const unsigned length = month == 2 ? (leap ? 29 : 28) : (month == 4 || month == 6 || month == 9 || month == 11) ? 30 : 31;
      for (unsigned day = 1; day <= length; ++day, ++expected) {
        ASSERT_EQ(expected, days_from_civil(year, month, day)) << year << "-" << month << "-" << day;
        std::int64_t y = 0;
        unsigned m = 0, d = 0;
        civil_from_days(expected, y, m, d);
        ASSERT_EQ(year * 10000 + month * 100 + day, y * 10000 + m * 100 + d);
      }
    }
  }
  EXPECT_EQ(0, days_from_civil(1970, 1, 1));
}

// The text a value is written as, and the other texts that read as it.
TEST(Temporal, TextFormsReadBackExactly) {
  const struct {
    Value value;
    std::string written;
    std::vector<std::string> also;
  } cases[] = {
      {Date{0}, "1970-01-01", {}},
      {Date{days_from_civil(2024, 2, 29)}, "2024-02-29", {"+2024-02-29"}},
      {Date{days_from_civil(10000, 1, 1)}, "+10000-01-01", {}},
      {Date{days_from_civil(-1, 12, 31)}, "-0001-12-31", {}},
      {LocalTime{0}, "00:00:00", {"00:00"}},
      {LocalTime{((12 * 60 + 34) * 60 + 56) * kNanosPerSecond + 100000000}, "12:34:56.1", {"12:34:56.100000000"}},
      {LocalTime{kNanosPerDay - 1}, "23:59:59.999999999", {}},
      {Time{0, 0}, "00:00:00Z", {"00:00:00+00:00", "00:00z"}},
      {Time{3600 * kNanosPerSecond, -(5 * 3600 + 30 * 60 + 15)}, "01:00:00-05:30:15", {"01:00-05:30:15"}},
      {Time{0, 3600}, "00:00:00+01:00", {"00:00:00+01", "00:00:00+0100"}},
      {LocalDateTime{-1, 5}, "1969-12-31T23:59:59.000000005", {}},
      {DateTime{0, 0, 3600, ""}, "1970-01-01T01:00:00+01:00", {}},
      {DateTime{0, 0, 3600, "Europe/Paris"}, "1970-01-01T01:00:00+01:00[Europe/Paris]", {}},
      {DateTime{-62135596800, 0, 0, "Etc/UTC"}, "0001-01-01T00:00:00Z[Etc/UTC]", {}},
      {Duration{}, "PT0S", {"P0D", "PT0.0S"}},
      {Duration{14, 3, 3661, 500000000}, "P1Y2M3DT1H1M1.5S", {"P1Y2M3DT1H1M1.5S", "P14M3DT3661.5S"}},
      {Duration{-14, -3, 0, 0}, "P-1Y-2M-3D", {}},
      {Duration{0, 14, 0, 0}, "P14D", {"P2W"}},
      {Duration{0, 0, -1, 500000000}, "PT-0.5S", {"PT-0.5S"}},
      {Duration{0, 0, -2, 500000000}, "PT-1.5S", {}},
      {Point{7203, 1, 2.5, 0}, "SRID=7203;POINT (1.0 2.5)", {"SRID=7203;POINT (1 2.5)"}},
      {Point{4979, -0.1, 1e16, 3}, "SRID=4979;POINT Z (-0.1 1e+16 3.0)", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    const json typed = to_typed_json(c.value);
    ASSERT_TRUE(typed.is_object());
    EXPECT_EQ(c.written, typed["_value"]);
    EXPECT_EQ(c.value, from_typed_json(typed));
    for (const std::string& other : c.also) {
      EXPECT_EQ(c.value, from_typed_json(json{{"$type", typed["$type"]}, {"_value", other}})) << other;
    }
  }
}

TEST(Value, TypedJsonFormRoundTripsAndRefuses) {
  const struct {
    Value value;
    std::string form;
  } cases[] = {
      {Value(), "null"},
      {true, "true"},
      {std::int64_t{9007199254740992}, "9007199254740992"},
      {std::int64_t{9007199254740993}, R"({"$type":"Integer","_value":"9007199254740993"})"},
      {std::int64_t{-9223372036854775807 - 1}, R"({"$type":"Integer","_value":"-9223372036854775808"})"},
      {1.0, "1.0"},
      {-0.0, "-0.0"},
      {std::nan(""), R"({"$type":"Float","_value":"NaN"})"},
      {-HUGE_VAL, R"({"$type":"Float","_value":"-Infinity"})"},
      {"é\n", "\"é\\n\""},
      {Bytes{""}, R"({"$type":"Base64","_value":""})"},
      {Bytes{std::string("\x00\xff\x10\x20", 4)}, R"({"$type":"Base64","_value":"AP8QIA=="})"},
      {Bytes{"abc"}, R"({"$type":"Base64","_value":"YWJj"})"},
      {DateTime{0, 0, 0, ""}, R"({"$type":"OffsetDateTime","_value":"1970-01-01T00:00:00Z"})"},
      {ValueList{}, "[]"},
      {ValueList{Date{1}, Date{2}}, R"([{"$type":"Date","_value":"1970-01-02"},{"$type":"Date","_value":"1970-01-03"}])"},
      {ValueList{1.5, 2.0}, "[1.5,2.0]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.form);
    EXPECT_EQ(c.form, to_typed_json(c.value).dump());
    std::string text;
    append_typed_json(text, c.value);
    EXPECT_EQ(c.form, text);
    const Value back = from_typed_json(json::parse(c.form));
    if (c.value.is<double>() && std::isnan(c.value.as<double>())) {
      EXPECT_TRUE(std::isnan(back.as<double>()));
    } else {
      EXPECT_EQ(c.value, back);
    }
  }
  const struct {
    std::string form, error;
  } refused[] = {
      {R"({"a":1})", "invalid property value: a map is not a property value"},
      {R"({"$type":"Date","_value":"2023-02-29"})", "invalid date: 2023-02-29"},
      {R"({"$type":"Time","_value":"12:00"})", "invalid time: 12:00"},
      {R"({"$type":"OffsetDateTime","_value":"2020-01-01T00:00[Europe/Paris]"})",
       "invalid datetime: 2020-01-01T00:00[Europe/Paris]"},
      {R"({"$type":"Duration","_value":"P1H"})", "invalid duration: P1H"},
      {R"x({"$type":"Point","_value":"SRID=4326;POINT Z (1 2 3)"})x", "invalid point: SRID=4326;POINT Z (1 2 3)"},
      {R"({"$type":"Integer","_value":"9223372036854775808"})",
       "invalid property value: Integer text is not a 64-bit integer: 9223372036854775808"},
      {R"({"$type":"Base64","_value":"YW=j"})", "invalid property value: byte array text is not base64"},
      {R"({"$type":"Uuid","_value":"x"})", "invalid property value: unknown $type Uuid"},
      {"18446744073709551615", "invalid property value: integer beyond 64 bits: 18446744073709551615"},
      {"[1,null]", "invalid property value: null inside a list"},
      {"[1,\"a\"]", "invalid property value: a list of mixed types"},
      {"[[1]]", "invalid property value: a list inside a list"},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(r.error, testing::error_of([&] { from_typed_json(json::parse(r.form)); })) << r.form;
  }
}

// The text written straight from a value is the JSON library's dump of its
// typed form, byte for byte: every escape, float texts at their extremes
// and in between, and every typed form.
TEST(Value, WrittenTextIsTheLibrarysDumpOfTheTypedForm) {
  std::vector<Value> values = {
      Value(), false, std::int64_t{0}, std::int64_t{-9007199254740992}, std::int64_t{-9007199254740993},
      std::int64_t{9223372036854775807}, 0.0, 0.1, 1e300, -2.5e-8, 5e-324, 1.7976931348623157e308, 123456789.0,
      1e15, 1e16, 1e-5, std::nan(""), HUGE_VAL, "", "plain", "q\"uote b\\ack", "\x7f \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
      Bytes{"\x01\x02"}, Date{-719528}, LocalTime{45296789000000}, Time{45296000000000, 3600},
      LocalDateTime{86399, 999999999}, DateTime{1577836800, 5, 3600, "Europe/Paris"}, Duration{14, 3, 14706, 500000000},
      Point{4326, 1.5, 2.25, 0}, Point{9157, 1, 2, 3}, ValueList{"a", "b\n"}, ValueList{true, false},
      ValueList{std::int64_t{1}, std::int64_t{9007199254740993}}, ValueList{0.5, std::nan("")},
  };
  std::string controls;
  for (int c = 0; c < 0x21; ++c) controls += static_cast<char>(c);
  values.emplace_back(controls);
  std::uint64_t bits = 88172645463325252ull;
  for (int i = 0; i < 2000; ++i) {
    bits ^= bits << 13, bits ^= bits >> 7, bits ^= bits << 17;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) values.emplace_back(d);
    values.emplace_back(static_cast<double>(static_cast<std::int64_t>(bits % 2000001) - 1000000) / 1000.0);
  }
  for (const Value& v : values) {
    std::string text = "prefix";
    append_typed_json(text, v);
    EXPECT_EQ("prefix" + to_typed_json(v).dump(), text);
  }
}

// Integers and floats in one list are floats, as Neo4j stores them. JSON
// stored before values had types keeps what no type holds as its text; a
// typed value its type refuses is still an error.
TEST(Value, MixedNumbersAndUntypedJson) {
  EXPECT_EQ((Value{ValueList{3.0, 2.5, -1.0}}), from_typed_json(json::parse("[3,2.5,-1]")));
  const struct {
    std::string form, stored;  // stored: the typed JSON of property_value_of
  } kept[] = {
      {R"({"a":[1,{"b":null}]})", R"("{\"a\":[1,{\"b\":null}]}")"},
      {"[1,null]", R"("[1,null]")"},
      {"[[1],[2]]", R"("[[1],[2]]")"},
      {"18446744073709551615", R"("18446744073709551615")"},
      {"[1,\"a\"]", R"("[1,\"a\"]")"},
      {R"({"$type":"Date","_value":"2023-02-28"})", R"({"$type":"Date","_value":"2023-02-28"})"},
      {"null", "null"},
  };
  for (const auto& k : kept) EXPECT_EQ(k.stored, to_typed_json(property_value_of(json::parse(k.form))).dump()) << k.form;
  EXPECT_EQ("invalid date: 2023-02-29",
            testing::error_of([] { property_value_of(json::parse(R"({"$type":"Date","_value":"2023-02-29"})")); }));
}

}  // namespace
}  // namespace orvane
