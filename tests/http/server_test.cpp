// The server over real connections: request framing and its time limits,
// persistent connections, idle and trickling clients that hold no worker,
// the per-address cap; the check chain (Host, Origin, fetch site, API key and JSON body in
// that order, OPTIONS after them) and the exact response format, where a
// request that passes every check reaches the default route's 404 "not
// found"; what the body reader routes use refuses; the worker count, start
// failures, the bounded queue's 503, the engine mutex (files and slow readers
// never hold it), draining on stop and the descriptors it prepares.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/http_message.h"
#include "http_test_server.h"
#include "support/error_text.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

std::string error(const std::string& message) { return R"({"ok":false,"error":")" + message + "\"}"; }

// A GET whose "\r\n\r\n" starts at byte offset `offset`.
std::string request_ending_at(size_t offset) {
  const std::string head = "GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
  return head + std::string(offset - head.size(), 'p') + "\r\n\r\n";
}

// Where the header block may end, whatever the segmentation on the wire:
// whole, in pieces, and one byte per segment around the limit. A complete
// request gets the default route's 404 "not found"; one the reader still
// waits for gets no answer ("") once the client closes its side. Then the
// body lengths and framings the reader takes or refuses.
TEST(Framing, HeaderAndBodyLimitsOnTheWire) {
  TestServer server(HttpServerOptions{.api_key = ""});
  const std::string too_large = error("request headers too large");
  const std::pair<std::string, std::string> heads[] = {
      {request_ending_at(16384), error("not found")},
      {request_ending_at(16385), too_large},
      {std::string(16387, 'a'), ""},  // a terminator could still start at 16384
      {std::string(16388, 'a'), too_large},
  };
  for (const auto& [bytes, answer] : heads) {
    const struct { size_t piece, bulk; std::chrono::milliseconds pause; } ways[] = {
        {0, 0, 0ms}, {1, 0, 0ms}, {1000, 0, 0ms}, {1, 16376, 2ms}};
    for (const auto& way : ways) {
      SCOPED_TRACE(std::to_string(bytes.size()) + " bytes sent in pieces of " + std::to_string(way.piece));
      RawConnection connection(server.port());
      connection.send(bytes.substr(0, way.bulk));
      connection.send(bytes.substr(way.bulk), way.piece, way.pause);
      ::shutdown(connection.fd(), SHUT_WR);
      EXPECT_EQ(answer, parse_reply(connection.read_all()).body);
    }
  }
  const auto get = [](const std::string& length, const std::string& body) {
    return "GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length:" + length + "\r\n\r\n" + body;
  };
  const std::string oversized = error("invalid or oversized request body"), framing = error("invalid request framing");
  const std::string encoding = error("transfer encoding unsupported"), not_found = error("not found");
  const struct { std::string request; int status; std::string body; } bodies[] = {
      {get("1048576", std::string(1048576, 'b')), 404, not_found},
      {get("  7 ", "1234567"), 404, not_found},  // the value is trimmed
      {get("", ""), 404, not_found},              {get("1048577", ""), 413, oversized},
      {get("12a", ""), 413, oversized},           {get("-1", ""), 413, oversized},
      {get("+5", "12345"), 413, oversized},       {get("99999999999999999999999999", ""), 413, oversized},
      // Bytes beyond the request on a connection that does not persist.
      {make_request("GET", "/v1/none", {"Connection: close", "Content-Length: 2"}) + "abc", 400, framing},
      {make_request("GET", "/v1/none", {"Connection: close"}) + make_request("GET", "/v1/none"), 400, framing},
      {"GET /v1/none HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\nGET", 400, framing},
      {make_request("POST", "/", {"Transfer-Encoding: chunked"}) + "5\r\nhello\r\n0\r\n\r\n", 400, encoding},
      {make_request("GET", "/", {"Transfer-Encoding: identity"}), 400, encoding},
  };
  for (const auto& c : bodies) {
    const HttpReply reply = http_exchange(server.port(), c.request);
    EXPECT_EQ(std::to_string(c.status) + c.body, std::to_string(reply.status) + reply.body) << c.request.substr(0, 99);
  }
}

TEST(Framing, IncompleteRequestsAreClosedWithoutAnswer) {
  TestServer server(HttpServerOptions{.api_key = "", .socket_timeout = 300ms, .request_deadline = 1500ms});
  const auto since = [start = std::chrono::steady_clock::now()] { return std::chrono::steady_clock::now() - start; };
  std::string received;
  // A body shorter than announced: closed once a receive waits too long.
  RawConnection short_body(server.port());
  short_body.send(make_request("GET", "/v1/none", {"Content-Length: 10"}) + "short");
  EXPECT_TRUE(short_body.closed_within(1200ms, &received));
  EXPECT_GE(since(), 250ms);
  // A byte every 100 ms stays within the receive timeout; only the deadline
  // for the whole request ends the connection.
  RawConnection slow(server.port());
  const auto slow_start = since();
  while (since() - slow_start < 5s && !slow.closed_within(100ms, &received) && slow.send("s")) {
  }
  EXPECT_TRUE(slow.closed_within(1s, &received));
  EXPECT_GE(since() - slow_start, 1400ms);
  EXPECT_LT(since() - slow_start, 3s);
  EXPECT_EQ("", received);
  EXPECT_EQ(404, http_exchange(server.port(), make_request("GET", "/v1/none")).status);  // still serving
}

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

TEST(Server, WorkerCountRule) {
  const struct { const char* setting; unsigned hardware; int workers; } cases[] = {
      {nullptr, 0, 32}, {nullptr, 2, 16},  {nullptr, 64, 64}, {nullptr, 500, 128}, {"2", 8, 4},
      {"1000", 8, 256}, {"abc", 8, 32},    {"  +12x", 8, 12}, {"-5", 8, 4},        {"100", 0, 100},
      {"2147483647", 8, 256}, {"2147483648", 8, 32}, {"-2147483649", 8, 32},
  };
  for (const auto& c : cases) EXPECT_EQ(c.workers, http_worker_count(c.setting, c.hardware)) << c.setting;
}

TEST(Server, StartFailures) {
  const auto start_error = [](HttpServerOptions options) {
    return error_of([&] { TestServer server(std::move(options)); });
  };
  const std::string short_key = "public binding requires ORVANE_API_KEY with at least 32 random characters";
  EXPECT_EQ(short_key, start_error({.public_binding = true, .api_key = ""}));
  EXPECT_EQ(short_key, start_error({.public_binding = true, .api_key = std::string(31, 'k')}));
  EXPECT_EQ(short_key, start_error({.api_key = "short"}));
  // Header values are compared trimmed: a key with blanks at an end could never match.
  EXPECT_EQ(short_key, start_error({.api_key = " " + std::string(32, 'k')}));
  EXPECT_EQ(short_key, start_error({.api_key = std::string(32, 'k') + "\t"}));
  ::setenv("ORVANE_API_KEY", "short", 1);  // no server runs while the environment changes
  EXPECT_EQ(short_key, start_error({}));
  ::setenv("ORVANE_API_KEY", std::string(40, ' ').c_str(), 1);
  EXPECT_EQ(short_key, start_error({}));
  ::unsetenv("ORVANE_API_KEY");
  EXPECT_EQ("", start_error({.api_key = ""}));
  TestServer first(HttpServerOptions{.api_key = ""});
  EXPECT_EQ("bind failed on port " + std::to_string(first.port()), start_error({.port = first.port(), .api_key = ""}));
}

// The soft descriptor limit is raised to the hard one at start, and every
// socket (the listener, accepted connections) is close-on-exec. The one
// worker is held by a blocked route, one complete request waits in the
// queue, and the next complete request finds the queue full.
TEST(Server, PreparesDescriptorsAndAnswersAFullQueue503) {
  rlimit limit{};
  ASSERT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &limit));
  const bool lowered = limit.rlim_max >= 512;
  if (lowered) limit.rlim_cur = 256;
  ASSERT_EQ(0, ::setrlimit(RLIMIT_NOFILE, &limit));
  std::promise<void> open;
  const std::shared_future<void> gate = open.get_future().share();
  TestServer server(HttpServerOptions{.api_key = "", .workers = 1, .queue_limit = 1}, [&](const HttpRequest&) {
    gate.wait();
    return HttpResponse{200, "{}", "application/json"};
  });
  ASSERT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &limit));
  EXPECT_TRUE(!lowered || limit.rlim_cur == limit.rlim_max) << "soft limit " << limit.rlim_cur;
  RawConnection held(server.port()), queued(server.port());
  held.send(make_request("GET", "/v1/x"));
  std::this_thread::sleep_for(200ms);  // the worker takes it and blocks
  queued.send(make_request("GET", "/v1/x"));
  std::this_thread::sleep_for(200ms);
  int sockets = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename());
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
    ++sockets;
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC) << fd;
  }
  EXPECT_GE(sockets, 5);  // the listener, two clients and their two accepted connections
  RawConnection refused(server.port());
  refused.send(make_request("GET", "/v1/x"));
  const HttpReply overloaded = parse_reply(refused.read_all(2s));
  EXPECT_EQ(R"(503 {"ok":false,"error":"overloaded"})", std::to_string(overloaded.status) + " " + overloaded.body);
  // The queued request is still answered once the worker is free.
  open.set_value();
  EXPECT_EQ(200, parse_reply(held.read_response()).status);
  EXPECT_EQ(200, parse_reply(queued.read_response()).status);
}

TEST(Server, OnlyRoutesHoldTheEngineAndOnlyWhileAnswering) {
  TempDir web;
  std::ofstream(web.file("index.html")) << "<p>console</p>";
  std::promise<void> open;
  const std::shared_future<void> gate = open.get_future().share();
  std::atomic<int> inside{0}, most{0};
  const std::string big(16 << 20, 'x');  // far more than socket buffers hold
  TestServer server(HttpServerOptions{.web_root = web.path(), .api_key = "", .workers = 8}, [&](const HttpRequest& r) {
    if (r.path == "/v1/block") gate.wait();
    if (r.path == "/v1/big") return HttpResponse{200, big, "text/plain"};
    if (r.path == "/v1/odd") throw 42;  // not a std::exception
    const int now = ++inside;
    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(5ms);
    --inside;
    return HttpResponse{200, "{}", "application/json"};
  });
  std::vector<std::future<int>> replies;
  for (int i = 0; i < 16; ++i) {
    replies.push_back(std::async(std::launch::async, [&] {
      return http_exchange(server.port(), make_request("GET", "/v1/x")).status;
    }));
  }
  for (auto& r : replies) EXPECT_EQ(200, r.get());
  EXPECT_EQ(1, most.load());
  const HttpReply odd = http_exchange(server.port(), make_request("GET", "/v1/odd"));
  EXPECT_EQ(R"(500 {"ok":false,"error":"request failed"})", std::to_string(odd.status) + " " + odd.body);
  // A client that does not read its large answer holds no route.
  RawConnection slow(server.port());
  slow.send(make_request("GET", "/v1/big"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(200, http_exchange(server.port(), make_request("GET", "/v1/small")).status);
  // A route blocked inside the engine does not stop files.
  RawConnection blocked(server.port());
  blocked.send(make_request("GET", "/v1/block"));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ("<p>console</p>", http_exchange(server.port(), make_request("GET", "/")).body);
  open.set_value();
  EXPECT_EQ(200, parse_reply(blocked.read_response()).status);
  EXPECT_EQ(big.size(), parse_reply(slow.read_response()).body.size());
}

TEST(Server, StopAnswersRequestsInFlightAndQueued) {
  std::promise<void> open;
  const std::shared_future<void> gate = open.get_future().share();
  std::atomic<int> entered{0};
  auto server = std::make_unique<TestServer>(HttpServerOptions{.api_key = "", .workers = 4}, [&](const HttpRequest&) {
    ++entered;
    gate.wait();
    return HttpResponse{200, "{\"done\":true}", "application/json"};
  });
  const unsigned short port = server->port();
  std::vector<std::unique_ptr<RawConnection>> clients;
  for (int i = 0; i < 8; ++i) {  // more than there are workers: some wait in the queue
    clients.push_back(std::make_unique<RawConnection>(port));
    clients.back()->send(make_request("GET", "/v1/work"));
  }
  // An idle connection ends at the stop; one whose request is half sent is
  // answered once the rest arrives.
  RawConnection idle(port), half(port);
  const std::string request = make_request("GET", "/v1/work");
  half.send(request.substr(0, 10));
  while (entered.load() == 0) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(200ms);  // every connection accepted, none left in the backlog
  server->request_stop();
  std::this_thread::sleep_for(300ms);  // more than one accept poll: the loop has seen the flag
  EXPECT_TRUE(idle.closed_within(1s));
  half.send(request.substr(10));
  auto stopped = std::async(std::launch::async, [&] { return server->stop(10s); });
  open.set_value();
  for (auto& c : clients) EXPECT_EQ("{\"done\":true}", parse_reply(c->read_all()).body);
  EXPECT_EQ("{\"done\":true}", parse_reply(half.read_all()).body);
  EXPECT_TRUE(stopped.get());
  EXPECT_EQ(9, entered.load());
  EXPECT_THROW(RawConnection late(port), std::runtime_error);  // nothing listens any more
}

}  // namespace
}  // namespace orvane::testing
