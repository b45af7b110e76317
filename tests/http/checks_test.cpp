// The check chain over real connections: Host, Origin, fetch site, API key
// and JSON body, in that order, then OPTIONS, the route table's frame (404,
// exceptions as 400) and the exact response format. A request that passes
// every check reaches the server's default route and gets 404 "not found",
// so "passes" below reads 404 with that body.
#include <stdlib.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "http_test_server.h"

namespace orvane::testing {
namespace {

const std::string kKey(40, 'k');
constexpr int kPasses = 404;

struct Case {
  std::string method;
  std::string path;
  std::vector<std::string> headers;  // besides Host, unless a Host is listed
  std::string body;
  int status;
  std::string error;  // the error text of a refusal
};

void run_cases(unsigned short port, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    bool own_host = false;
    for (const std::string& h : c.headers) own_host = own_host || h.starts_with("Host:") || h.starts_with("host:");
    const std::string request = make_request(c.method, c.path, c.headers, c.body, !own_host);
    SCOPED_TRACE(request);
    const HttpReply reply = http_exchange(port, request);
    EXPECT_EQ(c.status, reply.status);
    EXPECT_EQ("application/json", reply.content_type);
    const std::string error = c.status == kPasses ? "not found" : c.error;
    EXPECT_EQ(R"({"ok":false,"error":")" + error + "\"}", reply.body);
  }
}

TEST(Checks, HostOnLoopbackBinding) {
  TestServer server(HttpServerOptions{.api_key = ""});
  run_cases(server.port(), {
      {"GET", "/v1/x", {"Host: 127.0.0.1"}, "", kPasses, ""},
      {"GET", "/v1/x", {"Host: localhost"}, "", kPasses, ""},
      {"GET", "/v1/x", {"Host: localhost:8080"}, "", kPasses, ""},
      {"GET", "/v1/x", {"Host:   127.0.0.1:1  "}, "", kPasses, ""},
      {"GET", "/v1/x", {"host: localhost"}, "", kPasses, ""},
      {"GET", "/v1/x", {"Host: LOCALHOST"}, "", 403, "host rejected"},
      {"GET", "/v1/x", {"Host: 127.0.0.1.example.com"}, "", 403, "host rejected"},
      {"GET", "/v1/x", {"Host: example.com"}, "", 403, "host rejected"},
      {"GET", "/v1/x", {"Host: "}, "", 403, "host rejected"},
      {"GET", "/index.html", {"X-No-Host: 1", "Host:"}, "", 403, "host rejected"},
  });
  EXPECT_EQ(403, http_exchange(server.port(), make_request("GET", "/v1/x", {}, "", false)).status);
}

TEST(Checks, HostOnPublicBindingAcceptsAnyNonEmptyHost) {
  TestServer server(HttpServerOptions{.public_binding = true, .api_key = kKey});
  const std::string auth = "Authorization: Bearer " + kKey;
  run_cases(server.port(), {
      {"GET", "/v1/x", {"Host: LOCALHOST", auth}, "", kPasses, ""},
      {"GET", "/v1/x", {"Host: db.example.com:7474", auth}, "", kPasses, ""},
      {"GET", "/v1/x", {"Host: ", auth}, "", 403, "host rejected"},
  });
}

TEST(Checks, OriginAndFetchSite) {
  TestServer server(HttpServerOptions{.api_key = ""});
  run_cases(server.port(), {
      {"GET", "/v1/x", {"Origin: http://127.0.0.1"}, "", kPasses, ""},
      {"GET", "/v1/x", {"Host: localhost:7", "Origin: http://localhost:7"}, "", kPasses, ""},
      {"GET", "/v1/x", {"Origin: "}, "", kPasses, ""},
      {"GET", "/v1/x", {"Origin: http://127.0.0.1:1"}, "", 403, "origin rejected"},
      {"GET", "/v1/x", {"Origin: https://127.0.0.1"}, "", 403, "origin rejected"},
      {"GET", "/v1/x", {"Origin: http://evil.example"}, "", 403, "origin rejected"},
      {"GET", "/v1/x", {"Sec-Fetch-Site: cross-site"}, "", 403, "origin rejected"},
      {"GET", "/v1/x", {"Origin: http://127.0.0.1", "Sec-Fetch-Site: cross-site"}, "", 403, "origin rejected"},
      {"GET", "/v1/x", {"Sec-Fetch-Site: same-origin"}, "", kPasses, ""},
      {"GET", "/v1/x", {"Sec-Fetch-Site: none"}, "", kPasses, ""},
      // The Host check comes first.
      {"GET", "/v1/x", {"Host: example.com", "Origin: http://evil.example"}, "", 403, "host rejected"},
  });
}

TEST(Checks, ConfiguredOriginReplacesTheHostOrigin) {
  // Set before the server starts and cleared after it stops: no thread reads
  // the environment while it changes.
  ::setenv("ORVANE_HTTP_ORIGIN", "https://console.example", 1);
  {
    TestServer server(HttpServerOptions{.api_key = ""});
    run_cases(server.port(), {
        {"GET", "/v1/x", {"Origin: https://console.example"}, "", kPasses, ""},
        {"GET", "/v1/x", {"Origin: http://127.0.0.1"}, "", 403, "origin rejected"},
    });
  }
  ::unsetenv("ORVANE_HTTP_ORIGIN");
}

TEST(Checks, ApiKeyGuardsApiPathsOnly) {
  TestServer server(HttpServerOptions{.api_key = kKey});
  const std::string good = "Authorization: Bearer " + kKey;
  run_cases(server.port(), {
      {"GET", "/v1/health", {}, "", kPasses, ""},
      {"GET", "/v1/stats", {}, "", 401, "API key required"},
      {"GET", "/query", {}, "", 401, "API key required"},
      {"GET", "/metrics", {}, "", 401, "API key required"},
      {"GET", "/v1/stats", {good}, "", kPasses, ""},
      {"GET", "/v1/stats", {"authorization:   Bearer " + kKey + "  "}, "", kPasses, ""},
      {"GET", "/v1/stats", {good + "x"}, "", 401, "API key required"},
      {"GET", "/v1/stats", {good.substr(0, good.size() - 1)}, "", 401, "API key required"},
      {"GET", "/v1/stats", {"Authorization: Bearer"}, "", 401, "API key required"},
      {"GET", "/v1/stats", {"Authorization: bearer " + kKey}, "", 401, "API key required"},
      {"GET", "/v1", {}, "", kPasses, ""},          // not an API path
      {"GET", "/schema", {}, "", kPasses, ""},      // not an API path
      {"POST", "/v1/query", {"Content-Type: text/plain"}, "x", 401, "API key required"},  // key before JSON
  });
}

TEST(Checks, JsonBodyOfApiPosts) {
  TestServer server(HttpServerOptions{.api_key = ""});
  const std::string json = "Content-Type: application/json";
  const std::string deep = std::string(300000, '[') + std::string(300000, ']');
  run_cases(server.port(), {
      {"POST", "/v1/query", {json}, "{}", kPasses, ""},
      {"POST", "/v1/query", {"Content-Type: application/json; charset=utf-8"}, "{\"q\":1}", kPasses, ""},
      {"POST", "/v1/query", {"Content-Type: application/json;charset=utf-8"}, "{}", 415, "JSON required"},
      {"POST", "/v1/query", {"Content-Type: Application/JSON"}, "{}", 415, "JSON required"},
      {"POST", "/v1/query", {"Content-Type: text/plain"}, "{}", 415, "JSON required"},
      {"POST", "/v1/query", {}, "{}", 415, "JSON required"},
      {"POST", "/query", {}, "{}", 415, "JSON required"},
      {"POST", "/v1/query", {json}, "", 400, "invalid JSON object"},
      {"POST", "/v1/query", {json}, "[]", 400, "invalid JSON object"},
      {"POST", "/v1/query", {json}, "\"text\"", 400, "invalid JSON object"},
      {"POST", "/v1/query", {json}, "{\"a\":", 400, "invalid JSON object"},
      {"POST", "/v1/query", {json}, "{} {}", 400, "invalid JSON object"},
      {"POST", "/v1/query", {json}, "{\"a\":" + deep + "}", 400, "invalid JSON object"},
      {"POST", "/upload", {"Content-Type: text/plain"}, "not json", kPasses, ""},  // not an API path
      {"PUT", "/v1/query", {"Content-Type: text/plain"}, "not json", kPasses, ""},   // not a POST
  });
}

TEST(Checks, OptionsAnswersEmptyObjectAfterTheChecks) {
  TestServer server(HttpServerOptions{.api_key = kKey});
  HttpReply reply = http_exchange(server.port(), make_request("OPTIONS", "/v1/query", {"Authorization: Bearer " + kKey}));
  EXPECT_EQ("HTTP/1.1 200 OK", reply.status_line);
  EXPECT_EQ("{}", reply.body);
  EXPECT_EQ("application/json", reply.content_type);
  EXPECT_EQ(401, http_exchange(server.port(), make_request("OPTIONS", "/v1/query")).status);
  EXPECT_EQ(403, http_exchange(server.port(), make_request("OPTIONS", "/", {"Host: example.com"}, "", false)).status);
}

TEST(Checks, ResponseFormatAndStatusLines) {
  TestServer server(HttpServerOptions{.api_key = ""}, [](const HttpRequest& r) {
    if (r.method == "GET" && r.path == "/v1/ok") return HttpResponse{200, "{\"ok\":true}", "application/json"};
    return not_found_route(r);
  });
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\n"
            "X-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n"
            "{\"ok\":true}",
            http_exchange(server.port(), make_request("GET", "/v1/ok")).raw);
  const struct {
    std::string request;
    std::string status_line;
  } cases[] = {
      {make_request("GET", "/v1/missing"), "HTTP/1.1 404 ERR"},
      {make_request("DELETE", "/v1/ok"), "HTTP/1.1 404 ERR"},
      {make_request("GET", "/v1/ok", {"Host: nowhere"}, "", false), "HTTP/1.1 403 ERR"},
      {make_request("GET", "/v1/ok", {"Content-Length: x"}), "HTTP/1.1 413 ERR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request);
    EXPECT_EQ(c.status_line, http_exchange(server.port(), c.request).status_line);
  }
}

TEST(Checks, RoutesSeeTheRequestAndTheirExceptionsBecome400) {
  TestServer server(HttpServerOptions{.api_key = ""}, [](const HttpRequest& r) -> HttpResponse {
    if (r.path == "/v1/echo") {
      return {200, r.method + "|" + r.path + "|" + r.query_string + "|" + r.body + "|" + header_value(r.raw, "X-Tag"),
              "text/plain"};
    }
    if (r.path == "/v1/throw") throw std::runtime_error(body_field(r.body, "message"));
    if (r.path == "/v1/field") return {200, body_field(r.body, "v"), "text/plain"};
    throw 42;  // not a std::exception
  });
  const std::string json = "Content-Type: application/json";
  HttpReply echo = http_exchange(server.port(), make_request("POST", "/v1/echo?a=1&b=2", {json, "X-Tag:  t "}, "{\"x\":1}"));
  EXPECT_EQ("POST|/v1/echo|a=1&b=2|{\"x\":1}|t", echo.body);
  EXPECT_EQ("text/plain", echo.content_type);

  // Every byte of the message survives as JSON text, control bytes included,
  // except a carriage return, which messages drop.
  const std::string message = "bad \"name\" \\ line\nbreak\r\ttab \x01 caf\xc3\xa9";
  const std::string body = nlohmann::json{{"message", message}}.dump();
  HttpReply thrown = http_exchange(server.port(), make_request("POST", "/v1/throw", {json}, body));
  EXPECT_EQ(400, thrown.status);
  const nlohmann::json parsed = nlohmann::json::parse(thrown.body);
  EXPECT_EQ(false, parsed["ok"]);
  EXPECT_EQ("bad \"name\" \\ line\nbreak\ttab \x01 caf\xc3\xa9", parsed["error"]);

  HttpReply field = http_exchange(server.port(), make_request("POST", "/v1/field", {json}, "{\"v\":null}"));
  EXPECT_EQ(400, field.status);
  EXPECT_EQ(R"({"ok":false,"error":"invalid request field: v"})", field.body);

  HttpReply odd = http_exchange(server.port(), make_request("GET", "/v1/other"));
  EXPECT_EQ(500, odd.status);
  EXPECT_EQ(R"({"ok":false,"error":"request failed"})", odd.body);
  EXPECT_EQ(200, http_exchange(server.port(), make_request("GET", "/v1/echo")).status);  // still serving
}

}  // namespace
}  // namespace orvane::testing
