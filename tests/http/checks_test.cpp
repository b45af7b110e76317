// The check chain over real connections: Host, Origin, fetch site, API key
// and JSON body in that order, OPTIONS after them, and the exact response
// format. A request that passes every check reaches the server's default
// route, which answers 404 "not found". Then what the body reader routes use
// refuses.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "http/http_message.h"
#include "http_test_server.h"
#include "support/error_text.h"

namespace orvane::testing {
namespace {

const std::string kKey(40, 'k');
const std::string kAuth = "Authorization: Bearer " + kKey;
const std::string kJson = "Content-Type: application/json";

struct Case {
  std::vector<std::string> headers;  // "Host: 127.0.0.1" comes first unless one begins with "host"
  std::string refusal;               // status and error text; "" when the request passes
  std::string method = "GET";
  std::string path = "/v1/x";
  std::string body = "";
};

void expect_answers(const TestServer& server, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const bool own_host = std::any_of(c.headers.begin(), c.headers.end(),
                                      [](auto& h) { return h.starts_with("Host") || h.starts_with("host"); });
    const std::string request = make_request(c.method, c.path, c.headers, c.body, !own_host);
    const HttpReply reply = http_exchange(server.port(), request);
    const std::string answer = c.refusal.empty() ? "404 not found" : c.refusal;
    const std::string head = "HTTP/1.1 " + answer.substr(0, 3) + R"( ERR application/json {"ok":false,"error":")";
    EXPECT_EQ(head + answer.substr(4) + "\"}", reply.status_line + " " + reply.content_type + " " + reply.body)
        << request.substr(0, 200);
  }
}

TEST(Checks, LoopbackBindingWithoutKey) {
  TestServer server(HttpServerOptions{.api_key = ""});
  const std::string deep = std::string(300000, '[') + std::string(300000, ']');
  expect_answers(server, {
      {{"Host: localhost"}, ""},
      {{"host:   127.0.0.1:1  "}, ""},
      {{"Host: localhost:8080", "Origin: http://localhost:8080"}, ""},
      {{"Host: LOCALHOST"}, "403 host rejected"},
      {{"Host: 127.0.0.1.example.com"}, "403 host rejected"},
      {{"Host: "}, "403 host rejected"},
      {{"Hostless: 1"}, "403 host rejected"},  // no Host at all
      {{"Origin: "}, ""},
      {{"Origin: http://127.0.0.1:1"}, "403 origin rejected"},
      {{"Origin: https://127.0.0.1"}, "403 origin rejected"},
      {{"Sec-Fetch-Site: cross-site"}, "403 origin rejected"},
      {{"Origin: http://127.0.0.1", "Sec-Fetch-Site: cross-site"}, "403 origin rejected"},
      {{"Sec-Fetch-Site: same-origin"}, ""},
      {{"Host: example.com", "Origin: http://evil.example"}, "403 host rejected"},  // Host is checked first
      {{kJson}, "", "POST", "/v1/query", "{}"},
      {{"Content-Type: application/json; charset=utf-8"}, "", "POST", "/v1/query", "{\"q\":1}"},
      {{"Content-Type: application/json;charset=utf-8"}, "415 JSON required", "POST", "/v1/query", "{}"},
      {{"Content-Type: Application/JSON"}, "415 JSON required", "POST", "/v1/query", "{}"},
      {{}, "415 JSON required", "POST", "/query", "{}"},
      {{kJson}, "400 invalid JSON object", "POST", "/v1/query", ""},
      {{kJson}, "400 invalid JSON object", "POST", "/v1/query", "[]"},
      {{kJson}, "400 invalid JSON object", "POST", "/v1/query", "{\"a\":"},
      {{kJson}, "400 invalid JSON object", "POST", "/v1/query", "{} {}"},
      {{kJson}, "400 invalid JSON object", "POST", "/v1/query", "{\"a\":" + deep + "}"},
      {{"Content-Type: text/plain"}, "", "POST", "/upload", "not json"},  // not an API path
      {{"Content-Type: text/plain"}, "", "PUT", "/v1/query", "not json"},
  });
  // The configured origin is read on every request; no request is in flight
  // while it changes.
  ::setenv("ORVANE_HTTP_ORIGIN", "https://console.example", 1);
  expect_answers(server, {{{"Origin: https://console.example"}, ""},
                          {{"Origin: http://127.0.0.1"}, "403 origin rejected"}});
  ::unsetenv("ORVANE_HTTP_ORIGIN");
}

TEST(Checks, PublicBindingWithKey) {
  TestServer server(HttpServerOptions{.public_binding = true, .api_key = kKey});
  expect_answers(server, {
      {{"Host: LOCALHOST", kAuth}, ""},
      {{"Host: db.example.com:7474", kAuth}, ""},
      {{"Host: ", kAuth}, "403 host rejected"},
      {{}, "", "GET", "/v1/health"},
      {{}, "401 API key required", "GET", "/v1/stats"},
      {{}, "401 API key required", "GET", "/metrics"},
      {{"authorization:   Bearer " + kKey + "  "}, ""},
      {{kAuth + "x"}, "401 API key required"},
      {{kAuth.substr(0, kAuth.size() - 1)}, "401 API key required"},
      {{}, "", "GET", "/v1"},  // not an API path
      {{"Content-Type: text/plain"}, "401 API key required", "POST", "/v1/query", "x"},  // the key before JSON
  });
  const HttpReply options = http_exchange(server.port(), make_request("OPTIONS", "/v1/query", {kAuth}));
  EXPECT_EQ("HTTP/1.1 200 OK {}", options.status_line + " " + options.body);
  EXPECT_EQ(401, http_exchange(server.port(), make_request("OPTIONS", "/v1/query")).status);
}

// Routes read fields with body_field, whose refusals of what is not a
// scalar field the route tests show; what is not an object, or nests beyond
// the bound, is refused too.
TEST(HttpMessage, BodyFieldNeedsAnObject) {
  EXPECT_EQ("JSON object required", error_of([] { body_field("[]", "s"); }));
  EXPECT_ANY_THROW(body_field(std::string(5000, '['), "s"));
}

}  // namespace
}  // namespace orvane::testing
