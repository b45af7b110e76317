// The hand-written JSON text: escaping in both flavours, the invalid UTF-8
// policy, and that every output is something the JSON library reads back
// as the original text.
#include <gtest/gtest.h>

#include <limits>

#include <nlohmann/json.hpp>

#include "graph/json_text.h"

namespace orvane {
namespace {

TEST(JsonText, EscapesEveryControlByteInBothFlavours) {
  const struct {
    std::string in, full, message;
  } cases[] = {
      {"plain é → ok", "plain é → ok", "plain é → ok"},
      {"q\"b\\", "q\\\"b\\\\", "q\\\"b\\\\"},
      {"a\nb\rc\td", "a\\nb\\rc\\td", "a\\nbc\\td"},
      {std::string("\x01\x08\x0c\x1f\x7f", 5), "\\u0001\\u0008\\u000c\\u001f\x7f", "\\u0001\\u0008\\u000c\\u001f\x7f"},
      {std::string("n\0ul", 4), "n\\u0000ul", "n\\u0000ul"},
      // Bytes that begin no well-formed sequence become U+FFFD, one each:
      // a lone continuation byte, a truncated sequence, an overlong form, a
      // surrogate.
      {"a\x80z", "a\xEF\xBF\xBDz", "a\xEF\xBF\xBDz"},
      {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(c.full, json_escape(c.in, JsonEscape::kFull));
    EXPECT_EQ(c.message, json_escape(c.in));
    // Whatever went in, the library reads valid JSON back.
    EXPECT_TRUE(nlohmann::json::accept(json_string(c.in)));
  }
  const std::string valid = "x\"\\\t\x01\r\n\xF0\x9F\x99\x82";
  EXPECT_EQ(valid, nlohmann::json::parse(json_string(valid)).get<std::string>());
}

TEST(JsonText, NumbersAndObjects) {
  EXPECT_EQ("1.23457e+06", json_number(1234567.0));
  EXPECT_EQ("0.5", json_number(0.5));
  EXPECT_EQ("0", json_number(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ("0", json_number(std::numeric_limits<double>::infinity()));
  EXPECT_EQ("{\"a\\\"\":\"x\\ty\",\"n\":3,\"d\":2.5,\"b\":false,\"r\":[1]}",
            JsonObjectText().string("a\"", "x\ty").count("n", 3).real("d", 2.5).boolean("b", false).raw("r", "[1]").text());
  EXPECT_EQ("{}", JsonObjectText().text());
  EXPECT_EQ("[\"a\",\"\\n\"]", json_string_array({"a", "\n"}));
}

}  // namespace
}  // namespace orvane
