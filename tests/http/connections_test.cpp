// The server's connections over real loopback sockets: persistent
// connections (pipelined requests answered in order, the Connection header
// honoured both ways, refusals still closing), clients that send nothing or
// trickle a header holding no worker and being cut by their time limits,
// and the cap on connections from one address.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http_test_server.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

// Answers every request with its path, so answers show their order.
HttpResponse echo_path(const HttpRequest& request) { return {200, request.path, "text/plain"}; }

std::string connection_header(const std::string& answer) {
  const std::string key = "\r\nConnection: ";
  const size_t at = answer.find(key);
  return at == std::string::npos ? "" : answer.substr(at + key.size(), answer.find("\r\n", at + 2) - at - key.size());
}

// Three requests sent at once, in one byte stream; then byte by byte. The
// answers come back in order, and the last request's Connection: close ends
// the connection.
TEST(KeepAlive, PipelinedRequestsAreAnsweredInOrder) {
  TestServer server(HttpServerOptions{.api_key = ""}, echo_path);
  const std::string requests = make_request("GET", "/v1/a") + make_request("POST", "/b", {}, "body") +
                               make_request("GET", "/v1/c", {"Connection: close"});
  for (const size_t piece : {size_t{0}, size_t{1}}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    RawConnection connection(server.port());
    connection.send(requests, piece);
    std::string bodies, headers;
    for (int i = 0; i < 3; ++i) {
      const std::string answer = connection.read_response();
      bodies += parse_reply(answer).body + " ";
      headers += connection_header(answer) + " ";
    }
    EXPECT_EQ("/v1/a /b /v1/c ", bodies);
    EXPECT_EQ("keep-alive keep-alive close ", headers);
    EXPECT_TRUE(connection.closed_within(2s));
  }
}

// Which requests keep the connection open, and the Connection header their
// answer carries. A framing refusal on a persistent connection closes it.
TEST(KeepAlive, ConnectionHeaderDecides) {
  TestServer server(HttpServerOptions{.api_key = ""}, echo_path);
  const struct { std::string request; std::string header; bool stays_open; } cases[] = {
      {"GET /v1/x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "keep-alive", true},
      {"GET /v1/x HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", "close", false},
      {"GET /v1/x HTTP/1.1\r\nHost: 127.0.0.1\r\nconnection: TE, Close\r\n\r\n", "close", false},
      {"GET /v1/x HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", "close", false},
      {"GET /v1/x HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: Keep-Alive\r\n\r\n", "keep-alive", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request);
    RawConnection connection(server.port());
    connection.send(c.request);
    const std::string answer = connection.read_response();
    EXPECT_EQ("/v1/x", parse_reply(answer).body);
    EXPECT_EQ(c.header, connection_header(answer));
    EXPECT_EQ(!c.stays_open, connection.closed_within(300ms));
    if (c.stays_open) {  // the next request on the same connection is answered too
      connection.send(make_request("GET", "/v1/next"));
      EXPECT_EQ("/v1/next", parse_reply(connection.read_response()).body);
    }
  }
  RawConnection refused(server.port());
  refused.send(make_request("GET", "/v1/x") + make_request("GET", "/v1/y", {"Transfer-Encoding: chunked"}));
  EXPECT_EQ("/v1/x", parse_reply(refused.read_response()).body);
  const std::string refusal = refused.read_all(2s);
  EXPECT_EQ(R"({"ok":false,"error":"transfer encoding unsupported"})", parse_reply(refusal).body);
  EXPECT_EQ("close", connection_header(refusal));
}

// Two thousand connections that send nothing and fifty that trickle a header
// hold no worker: with four workers a request is answered at once, long
// before any held connection times out, and a held connection is still
// served afterwards.
TEST(HeldConnections, DoNotDelayOtherClients) {
  TestServer server(HttpServerOptions{.api_key = "", .workers = 4}, echo_path);
  std::vector<std::unique_ptr<RawConnection>> idle, trickling;
  for (int i = 0; i < 2000; ++i) idle.push_back(std::make_unique<RawConnection>(server.port()));
  for (int i = 0; i < 50; ++i) trickling.push_back(std::make_unique<RawConnection>(server.port()));
  const std::string request = make_request("GET", "/v1/health");
  for (size_t at = 0; at < 10; ++at) {
    for (auto& c : trickling) c->send(request.substr(at, 1));
    std::this_thread::sleep_for(20ms);
  }
  RawConnection client(server.port());
  client.send(request);
  EXPECT_EQ("/v1/health", parse_reply(client.read_response(2s)).body);
  idle.front()->send(make_request("GET", "/v1/late"));
  EXPECT_EQ("/v1/late", parse_reply(idle.front()->read_response(2s)).body);
  trickling.front()->send(request.substr(10));
  EXPECT_EQ("/v1/health", parse_reply(trickling.front()->read_response(2s)).body);
}

// Each time limit closes the connection it applies to, without an answer,
// while the others are far away: nothing sent (idle), a header sent a byte
// every 50 ms (header), the rest of a request after an answer (idle again).
TEST(HeldConnections, AreCutByTheirTimeLimits) {
  TestServer server(HttpServerOptions{.api_key = "", .idle_timeout = 300ms, .header_timeout = 500ms}, echo_path);
  const auto since = [start = std::chrono::steady_clock::now()] { return std::chrono::steady_clock::now() - start; };
  RawConnection idle(server.port()), trickling(server.port()), kept(server.port());
  kept.send(make_request("GET", "/v1/x"));
  EXPECT_EQ("/v1/x", parse_reply(kept.read_response()).body);
  std::string received;
  const std::string request = make_request("GET", "/v1/slow");
  for (size_t at = 0; at < request.size() && !trickling.closed_within(50ms, &received); ++at) {
    trickling.send(request.substr(at, 1));
  }
  EXPECT_TRUE(trickling.closed_within(1s, &received));
  EXPECT_GE(since(), 450ms);
  EXPECT_LT(since(), 1500ms);
  EXPECT_TRUE(idle.closed_within(1s, &received));
  EXPECT_TRUE(kept.closed_within(1s, &received));
  EXPECT_EQ("", received);
}

// With a cap of three connections per address the fourth is refused with
// 503 and closed; once one closes, a new one is served.
TEST(HeldConnections, CapPerAddress) {
  TestServer server(HttpServerOptions{.api_key = "", .connections_per_address = 3}, echo_path);
  auto first = std::make_unique<RawConnection>(server.port());
  RawConnection second(server.port()), third(server.port());
  std::this_thread::sleep_for(100ms);  // all three accepted
  RawConnection fourth(server.port());
  const HttpReply refused = parse_reply(fourth.read_all(2s));
  EXPECT_EQ(R"(503 {"ok":false,"error":"too many connections"})", std::to_string(refused.status) + " " + refused.body);
  second.send(make_request("GET", "/v1/x"));
  EXPECT_EQ("/v1/x", parse_reply(second.read_response()).body);
  first.reset();
  std::this_thread::sleep_for(100ms);  // the server saw the close
  EXPECT_EQ("/v1/x", http_exchange(server.port(), make_request("GET", "/v1/x")).body);
}

}  // namespace
}  // namespace orvane::testing
