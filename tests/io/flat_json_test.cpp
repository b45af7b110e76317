// The flat-object fast path must give exactly the general parser's value
// (number types included) or decline, so that the general parser decides.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "io/flat_json.h"

namespace orvane {
namespace {

TEST(FlatJson, AcceptedTextsGiveTheGeneralParsersValue) {
  const char* accepted[] = {"{}", R"({"name":"person-17"})",
                            R"({"b":1,"a":"x","c":-42,"d":0,"e":true,"f":false,"g":null})",
                            R"({"big":999999999999999999,"neg":-999999999999999999})", R"({"k":"first","k":"second"})",
                            R"({"":""," sp ace ":"~!@#$%^&*()_+{}[]|;:',.<>/?`"})"};
  for (const char* text : accepted) {
    nlohmann::json fast;
    ASSERT_TRUE(parse_flat_json_object(text, fast)) << text;
    const nlohmann::json general = parse_json_bounded(text);
    ASSERT_EQ(fast, general) << text;
    for (auto it = fast.begin(); it != fast.end(); ++it) EXPECT_EQ(it->type(), general.at(it.key()).type()) << text;
  }
}

TEST(FlatJson, DeclinesEverythingElse) {
  const char* declined[] = {
      "", "[]", "1", R"("s")", "{", R"({"a":1)", R"({"a":1}x)", R"({"a":1} )", R"( {"a":1})", R"({ "a":1})",
      R"({"a": 1})", R"({"a":1,})", R"({,})", R"({"a"})", R"({"a":})", R"({a:1})", R"({"a":1.5})", R"({"a":1e3})",
      R"({"a":-0})", R"({"a":01})", R"({"a":-})", R"({"a":1234567890123456789})", R"({"a":"\n"})", R"({"a":"\u0041"})",
      "{\"a\":\"tab\there\"}", "{\"a\":\"\xC3\xA9\"}", "{\"\xFF\":1}", R"({"a":[1]})", R"({"a":{}})", R"({"a":tru})",
      R"({"a":"open)", R"({"a":nulls})",
  };
  for (const char* text : declined) {
    nlohmann::json out;
    EXPECT_FALSE(parse_flat_json_object(text, out)) << text;
  }
}

}  // namespace
}  // namespace orvane
