// The readers routes use on a request: header_value, query_param and
// body_field, whose matching rules (first line wins, plain substring keys,
// no decoding, JSON text of scalars) are part of their contract.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "http/http_message.h"

namespace orvane {
namespace {

TEST(HttpMessage, HeaderValue) {
  const std::string request =
      "GET /a:b HTTP/1.1\r\nHost:  localhost:7 \r\nX-Dup: first\r\nx-dup: second\r\nNoColon\r\n"
      "X-Empty:\r\nX-Colon: a: b\r\nX-Spaced : v\r\n\r\nX-Body: hidden";
  const struct {
    const char* name;
    const char* value;
  } cases[] = {
      {"host", "localhost:7"}, {"HOST", "localhost:7"}, {"X-Dup", "first"},   {"X-Empty", ""},
      {"X-Colon", "a: b"},     {"X-Body", ""},          {"X-Spaced", ""},     {"X-Spaced ", "v"},
      {"GET /a", "b HTTP/1.1"},  // the request line takes part like any other line
      {"Missing", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value, header_value(request, c.name));
  }
}

TEST(HttpMessage, QueryParam) {
  const struct {
    const char* query;
    const char* name;
    const char* value;
  } cases[] = {
      {"db=movies&k=5", "db", "movies"}, {"db=movies&k=5", "k", "5"},  {"db=movies&k=5", "x", ""},
      {"name=a%20b", "name", "a%20b"},   {"mydb=x&db=y", "db", "x"},   {"db=&k=1", "db", ""},
      {"k=1&k=2", "k", "1"},             {"", "db", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.query) + " / " + c.name);
    EXPECT_EQ(c.value, query_param(c.query, c.name));
  }
}

TEST(HttpMessage, BodyField) {
  const std::string body = R"({"s":"text","n":12,"f":0.5,"t":true,"e":"","z":null,"o":{},"a":[1]})";
  const struct {
    const char* name;
    const char* value;
  } found[] = {{"s", "text"}, {"n", "12"}, {"f", "0.5"}, {"t", "true"}, {"e", ""}, {"absent", ""}};
  for (const auto& c : found) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value, body_field(body, c.name));
  }
  EXPECT_EQ("", body_field("", "s"));
  for (const char* name : {"z", "o", "a"}) {
    SCOPED_TRACE(name);
    try {
      body_field(body, name);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string("invalid request field: ") + name, e.what());
    }
  }
  for (const char* not_object : {"[]", "12", "\"s\""}) {
    SCOPED_TRACE(not_object);
    try {
      body_field(not_object, "s");
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ("JSON object required", e.what());
    }
  }
  EXPECT_ANY_THROW(body_field(std::string(5000, '['), "s"));  // nesting beyond the bound
}

TEST(HttpMessage, ErrorBodiesAreValidJsonWhateverTheMessage) {
  const struct {
    std::string message;
    std::string escaped;
  } cases[] = {
      {"a\"b\\c\nd\re\tf\x01g\x1f", R"(a\"b\\c\nde\tf\u0001g\u001f)"},  // a carriage return is dropped
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},       // UTF-8 passes unchanged
      {"bad \xff\xc3 end", "bad \xef\xbf\xbd\xef\xbf\xbd end"},  // ill-formed bytes become U+FFFD
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.escaped);
    EXPECT_EQ("{\"ok\":false,\"error\":\"" + c.escaped + "\"}", error_response(400, c.message).body);
  }
}

}  // namespace
}  // namespace orvane
