// Typing CSV text by column type, as a table of (text, type) → the compact
// JSON of the value or the exact message it fails with.
#include <gtest/gtest.h>

#include <exception>
#include <string>

#include <nlohmann/json.hpp>

#include "io/csv_reader.h"

namespace orvane {
namespace {

std::string typed(const std::string& text, const std::string& type) {
  try {
    return typed_csv_value(text, type).dump();
  } catch (const nlohmann::json::parse_error&) {
    return "!json parse error";
  } catch (const std::exception& e) {
    return std::string("!") + e.what();
  }
}

TEST(CsvValue, Scalars) {
  const struct {
    const char* text;
    const char* type;
    const char* expected;
  } cases[] = {
      {"a,b", "string", "\"a,b\""},
      {"7", "ID", "\"7\""},
      {"p1", "ID(Person)", "\"p1\""},
      {"{\"k\":[1,2]}", "json", "{\"k\":[1,2]}"},
      {"{bad", "json", "!json parse error"},
      {"true", "boolean", "true"},
      {"True", "boolean", "!invalid boolean property"},
      {"", "bool", "!invalid boolean property"},
      {"12", "int", "12"},
      {" 12", "integer", "12"},
      {"300", "byte", "300"},
      {"+5", "short", "5"},
      {"12x", "int", "!invalid integer property"},
      {"12 ", "int", "!invalid integer property"},
      {"", "int", "!stoll"},
      {"9223372036854775808", "long", "!stoll"},
      {"2.5", "double", "2.5"},
      {"1e3", "float", "1000.0"},
      {"-0", "double", "-0.0"},
      {"inf", "double", "!invalid floating-point property"},
      {"2.5 ", "double", "!invalid floating-point property"},
      {"1e400", "double", "!stod"},
      {"", "double", "!stod"},
      {"INT", "INT", "!unsupported CSV property type: INT"},
      {"2020-01-01", "date", "!unsupported CSV property type: date"},
      {"1", "", "!unsupported CSV property type: "},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, typed(c.text, c.type)) << c.text << " as " << c.type;
}

TEST(CsvValue, Arrays) {
  const struct {
    const char* text;
    const char* type;
    const char* expected;
  } cases[] = {
      {"a;b;;c", "string[]", "[\"a\",\"b\",\"\",\"c\"]"},
      {"", "int[]", "[]"},
      {"1;2;-3", "long[]", "[1,2,-3]"},
      {"1;;2", "int[]", "!stoll"},
      {"1;2x", "int[]", "!invalid integer property"},
      {"true;false", "boolean[]", "[true,false]"},
      {"1.5;2", "double[]", "[1.5,2.0]"},
      {"[1,2.5]", "float[]", "[1,2.5]"},
      {"[1,\"2\"]", "int[]", "!array component does not match CSV header type"},
      {"[1.5]", "int[]", "!array component does not match CSV header type"},
      {"[18446744073709551615]", "int[]", "[18446744073709551615]"},
      {"[true]", "bool[]", "[true]"},
      {"[1,", "int[]", "!json parse error"},
      {"[]", "ID[]", "[]"},
      {"x;y", "ID(Paper)[]", "\"x;y\""},  // an ID(...) column is a string, whatever follows
      {"1", "date[]", "!unsupported CSV array type: date"},
      {"1", "int[][]", "!unsupported CSV array type: int[]"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, typed(c.text, c.type)) << c.text << " as " << c.type;
}

// Values are validated and serialised recursively, so text from a file may
// nest at most 1000 arrays/objects; deeper text is a JSON parse error.
TEST(CsvValue, NestingIsBounded) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_NO_THROW(typed_csv_value(nested(1000), "json"));
  EXPECT_EQ("!json parse error", typed(nested(1001), "json"));
  EXPECT_EQ("!json parse error", typed(nested(5000000), "json"));
  EXPECT_EQ("!json parse error", typed("[" + nested(1000) + "]", "string[]"));
}

}  // namespace
}  // namespace orvane
