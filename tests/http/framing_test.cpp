// Request framing: where the header block may end, what Content-Length may
// say, bodies longer than announced, Transfer-Encoding, and the two time
// limits. The header limit must not depend on how the bytes arrive.
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "http/request_reader.h"
#include "http_test_server.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;
using State = RequestReader::State;

std::string error(const std::string& message) { return R"({"ok":false,"error":")" + message + "\"}"; }

// A GET whose "\r\n\r\n" starts at byte offset `offset`.
std::string request_ending_at(size_t offset) {
  const std::string head = "GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
  return head + std::string(offset - head.size(), 'p') + "\r\n\r\n";
}

// Where the header block may end: fed to a reader in exact pieces, and sent
// to a server in pieces, the last way one byte per segment around the limit.
// A complete request gets the default route's 404 "not found"; one the
// reader still waits for gets no answer ("") once the client closes its side.
TEST(Framing, HeaderLimitDoesNotDependOnSegmentation) {
  TestServer server(HttpServerOptions{.api_key = ""});
  const std::string too_large = error("request headers too large");
  const std::pair<std::string, std::string> cases[] = {
      {request_ending_at(16384), error("not found")},
      {request_ending_at(16385), too_large},
      {std::string(16387, 'a'), ""},  // a terminator could still start at 16384
      {std::string(16388, 'a'), too_large},
  };
  for (const auto& [bytes, answer] : cases) {
    for (size_t piece : {size_t{1}, size_t{3}, size_t{4096}, bytes.size()}) {
      SCOPED_TRACE(std::to_string(bytes.size()) + " bytes fed in pieces of " + std::to_string(piece));
      RequestReader reader;
      for (size_t at = 0; at < bytes.size(); at += piece) reader.feed(std::string_view(bytes).substr(at, piece));
      const State state = reader.state();
      EXPECT_EQ(answer, state == State::kRejected ? reader.rejection().body
                        : state == State::kComplete ? error("not found") : "");
    }
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
}

TEST(Framing, BodyLimitsOnTheWire) {
  TestServer server(HttpServerOptions{.api_key = ""});
  const auto get = [](const std::string& length, const std::string& body) {
    return "GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length:" + length + "\r\n\r\n" + body;
  };
  const std::string oversized = error("invalid or oversized request body");
  const std::string framing = error("invalid request framing");
  const std::string encoding = error("transfer encoding unsupported");
  const struct { std::string request; int status; std::string body; } cases[] = {
      {get("1048576", std::string(1048576, 'b')), 404, error("not found")},
      {get("  7 ", "1234567"), 404, error("not found")},  // the value is trimmed
      {get("", ""), 404, error("not found")},
      {get("1048577", ""), 413, oversized},
      {get("12a", ""), 413, oversized},
      {get("-1", ""), 413, oversized},
      {get("+5", "12345"), 413, oversized},
      {get("99999999999999999999999999", ""), 413, oversized},
      {get("2", "abc"), 400, framing},
      {make_request("GET", "/v1/none") + make_request("GET", "/v1/none"), 400, framing},  // pipelined
      {make_request("POST", "/", {"Transfer-Encoding: chunked"}) + "5\r\nhello\r\n0\r\n\r\n", 400, encoding},
      {make_request("GET", "/", {"Transfer-Encoding: identity"}), 400, encoding},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 100));
    const HttpReply reply = http_exchange(server.port(), c.request);
    EXPECT_EQ(c.status, reply.status);
    EXPECT_EQ(c.body, reply.body);
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
  // A peer that stops sending and closes its side.
  RawConnection half(server.port());
  half.send("GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\n");
  ::shutdown(half.fd(), SHUT_WR);
  EXPECT_TRUE(half.closed_within(1s, &received));
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

}  // namespace
}  // namespace orvane::testing
