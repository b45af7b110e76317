// The focus of this file is parse_json_bounded: within the nesting bound it
// gives what the JSON library's own parser gives, value or exception, for
// well-formed and malformed text alike; past the bound it throws the
// library's parse_error; and its time grows linearly with the text.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"

namespace orvane::testing {
namespace {

using json = nlohmann::json;

std::string nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

// The value's compact text, or "!" and the exception's what().
template <typename Parse>
std::string outcome(Parse parse, const std::string& text) {
  try {
    return parse(text).dump();
  } catch (const json::exception& e) {
    return std::string("!") + e.what();
  }
}

TEST(JsonLimits, AgreesWithTheLibraryWithinTheBound) {
  const std::string cases[] = {
      R"({"b":[1,-2,2.5,"x",null,true,false],"a":{"c":{},"d":[]}})",
      R"({"a":1,"a":2})",
      R"("s")", "-3", "18446744073709551615", "1e999",
      R"(["[[[[", "\"[{", "\\", "]]]}"])",
      "[\"" + std::string(5000, '[') + "\"]",
      nested(1000),
      "{\"a\":" + nested(999) + "}",
      "", "[1,]", "{\"a\" 1}", "[1] x", "[\"\xff\"]", "\"unterminated [[[",
      "x" + nested(5000),
      "[1 " + nested(999) + "]",
  };
  const auto library = [](const std::string& text) { return json::parse(text); };
  const auto bounded = [](const std::string& text) { return parse_json_bounded(text); };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 40));
    EXPECT_EQ(outcome(library, text), outcome(bounded, text));
  }
}

TEST(JsonLimits, RefusesNestingPastTheBound) {
  const std::string cases[] = {
      nested(1001),
      nested(5000000),
      "{\"a\":" + nested(1000) + "}",
      "[\"]]]\\\"]]\"," + nested(1000) + "]",
      "[" + nested(1000),  // too deep before it is found unfinished
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 40));
    try {
      parse_json_bounded(text);
      ADD_FAILURE() << "accepted";
    } catch (const json::parse_error& e) {
      EXPECT_STREQ("[json.exception.parse_error.101] parse error: JSON text nested deeper than 1000 levels", e.what());
    }
  }
}

// Closing each object once cost a rescan of the enclosing array, so this
// mebibyte took minutes; it should take milliseconds.
TEST(JsonLimits, ParsesAMebibyteOfEmptyObjects) {
  std::string text = "[{}";
  while (text.size() < (1u << 20)) text += ",{}";
  text += "]";
  EXPECT_EQ((text.size() - 1) / 3, parse_json_bounded(text).size());
}

}  // namespace
}  // namespace orvane::testing
