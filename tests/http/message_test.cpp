// The readers routes use on a request: header_value, query_param and
// body_field, whose matching rules (first line wins, plain substring keys,
// no decoding, the JSON text of scalars) are part of their contract.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "http/http_message.h"

namespace orvane {
namespace {

TEST(HttpMessage, HeaderValue) {
  const std::string request =
      "GET /a:b HTTP/1.1\r\nHost:  localhost:7 \r\nX-Dup: first\r\nx-dup: second\r\nNoColon\r\n"
      "X-Colon: a: b\r\nX-Spaced : v\r\n\r\nX-Body: hidden";
  const std::pair<const char*, const char*> cases[] = {
      {"HOST", "localhost:7"}, {"x-dup", "first"}, {"X-Colon", "a: b"},   {"X-Body", ""},
      {"X-Spaced", ""},        {"X-Spaced ", "v"}, {"GET /a", "b HTTP/1.1"},  // the request line takes part
  };
  for (const auto& [name, value] : cases) EXPECT_EQ(value, header_value(request, name)) << name;
}

TEST(HttpMessage, QueryParam) {
  const char* cases[][3] = {
      {"db=movies&k=5", "k", "5"}, {"db=movies&k=5", "x", ""}, {"name=a%20b", "name", "a%20b"},
      {"mydb=x&db=y", "db", "x"},  {"k=1&k=2", "k", "1"},      {"db=&k=1", "db", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c[2], query_param(c[0], c[1])) << c[0] << " / " << c[1];
}

TEST(HttpMessage, BodyField) {
  const std::string body = R"({"s":"text","n":12,"f":0.5,"t":true,"z":null,"o":{},"a":[1]})";
  const std::pair<const char*, const char*> found[] = {
      {"s", "text"}, {"n", "12"}, {"f", "0.5"}, {"t", "true"}, {"absent", ""}};
  for (const auto& [name, value] : found) EXPECT_EQ(value, body_field(body, name)) << name;
  EXPECT_EQ("", body_field("", "s"));
  const struct { std::string text, name, message; } refused[] = {
      {body, "z", "invalid request field: z"}, {body, "o", "invalid request field: o"},
      {body, "a", "invalid request field: a"}, {"[]", "s", "JSON object required"},
      {"12", "s", "JSON object required"}};
  for (const auto& c : refused) {
    try {
      body_field(c.text, c.name);
      ADD_FAILURE() << c.message << ": accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(c.message, e.what());
    }
  }
  EXPECT_ANY_THROW(body_field(std::string(5000, '['), "s"));  // nesting beyond the bound
}

}  // namespace
}  // namespace orvane
