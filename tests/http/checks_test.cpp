// The check chain over real connections: Host, Origin, fetch site, API key
// and JSON body in that order, OPTIONS after them, the exact response format
// and the frame around routes. A request that passes every check reaches the
// server's default route, which answers 404 "not found". Then what the
// body reader routes use refuses.
#include <stdlib.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

TEST(Checks, RoutesSeeTheRequestAndTheirFailuresAreAnswered) {
  TestServer server(HttpServerOptions{.api_key = ""}, [](const HttpRequest& r) -> HttpResponse {
    if (r.path == "/v1/echo") {
      return {200, r.method + "|" + r.query_string + "|" + r.body + "|" + header_value(r.raw, "X-Tag"), "text/plain"};
    }
    if (r.path == "/v1/throw") throw std::runtime_error(body_field(r.body, "message"));
    throw 42;  // not a std::exception
  });
  const std::string echo = make_request("POST", "/v1/echo?a=1&b=2", {kJson, "X-Tag:  t "}, "{\"x\":1}");
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 22\r\n"
            "X-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n"
            "POST|a=1&b=2|{\"x\":1}|t",
            http_exchange(server.port(), echo).raw);
  // Every byte of the message survives as JSON text except a carriage return.
  const std::string message = "bad \"name\" \\ line\nbreak\r\ttab \x01 caf\xc3\xa9";
  const HttpReply thrown = http_exchange(
      server.port(), make_request("POST", "/v1/throw", {kJson}, nlohmann::json{{"message", message}}.dump()));
  EXPECT_EQ(400, thrown.status);
  EXPECT_EQ("bad \"name\" \\ line\nbreak\ttab \x01 caf\xc3\xa9", nlohmann::json::parse(thrown.body)["error"]);
  const HttpReply odd = http_exchange(server.port(), make_request("GET", "/v1/other"));
  EXPECT_EQ(R"(500 {"ok":false,"error":"request failed"})", std::to_string(odd.status) + " " + odd.body);
  EXPECT_EQ(200, http_exchange(server.port(), make_request("GET", "/v1/echo")).status);  // still serving
}

// Routes read fields with body_field: a scalar as its JSON text, anything
// else refused.
TEST(HttpMessage, BodyFieldRefusesWhatIsNotAScalarField) {
  const std::string body = R"({"z":null,"o":{},"a":[1]})";
  const struct { std::string text, name, message; } refused[] = {
      {body, "z", "invalid request field: z"}, {body, "o", "invalid request field: o"},
      {body, "a", "invalid request field: a"}, {"[]", "s", "JSON object required"},
      {"12", "s", "JSON object required"}};
  for (const auto& c : refused) EXPECT_EQ(c.message, error_of([&] { body_field(c.text, c.name); })) << c.name;
  EXPECT_ANY_THROW(body_field(std::string(5000, '['), "s"));  // nesting beyond the bound
}

}  // namespace
}  // namespace orvane::testing
