// Request framing over real loopback connections: where the header block
// may end, what Content-Length may say, bodies longer than announced,
// Transfer-Encoding, and the two time limits (per receive and per request).
// The header limit must not depend on how the bytes arrive, so its cases
// run with several segmentations, byte by byte included.
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "http/request_reader.h"
#include "http_test_server.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;
using State = RequestReader::State;

const std::string kNotFound = R"({"ok":false,"error":"not found"})";
const std::string kHeadersTooLarge = R"({"ok":false,"error":"request headers too large"})";
const std::string kBadBody = R"({"ok":false,"error":"invalid or oversized request body"})";
const std::string kBadFraming = R"({"ok":false,"error":"invalid request framing"})";

// A GET whose "\r\n\r\n" starts at byte offset `offset`, padded by one header.
std::string request_ending_at(size_t offset) {
  std::string head = "GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
  head.append(offset - head.size(), 'p');
  return head + "\r\n\r\n";
}

// Feeds `bytes` to a reader in pieces of `piece` bytes and returns the state.
State feed_in_pieces(RequestReader& reader, const std::string& bytes, size_t piece) {
  for (size_t at = 0; at < bytes.size() && reader.state() == State::kNeedMore; at += piece) {
    reader.feed(std::string_view(bytes).substr(at, piece));
  }
  return reader.state();
}

TEST(RequestReader, HeaderLimitDoesNotDependOnSegmentation) {
  struct Case {
    std::string bytes;
    State expected;
  };
  const Case cases[] = {
      {request_ending_at(16383), State::kComplete},
      {request_ending_at(16384), State::kComplete},
      {request_ending_at(16385), State::kRejected},
      {std::string(16387, 'a'), State::kNeedMore},  // a terminator could still start at 16384
      {std::string(16388, 'a'), State::kRejected},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{3}, size_t{4096}, size_t{16384}, c.bytes.size()}) {
      SCOPED_TRACE("length " + std::to_string(c.bytes.size()) + " piece " + std::to_string(piece));
      RequestReader reader;
      EXPECT_EQ(c.expected, feed_in_pieces(reader, c.bytes, piece));
      if (c.expected == State::kRejected) {
        EXPECT_EQ(kHeadersTooLarge, reader.rejection().body);
      }
    }
  }
}

TEST(RequestReader, SplitsRequestLineAndBody) {
  RequestReader reader;
  ASSERT_EQ(State::kComplete,
            reader.feed("POST /v1/query?db=x&k=2 HTTP/1.1\r\nHost: localhost\r\nContent-Length: 4\r\n\r\n{}\r\n"));
  const HttpRequest request = reader.request();
  EXPECT_EQ("POST", request.method);
  EXPECT_EQ("/v1/query", request.path);
  EXPECT_EQ("db=x&k=2", request.query_string);
  EXPECT_EQ("{}\r\n", request.body);
}

class FramingTest : public ::testing::Test {
 protected:
  TestServer server_{HttpServerOptions{.api_key = ""}};
};

TEST_F(FramingTest, HeaderTerminatorAtOffset16384IsAcceptedAnd16385RefusedOnTheWire) {
  struct Case {
    size_t offset;
    int status;
    const std::string& body;
  };
  const Case cases[] = {{16384, 404, kNotFound}, {16385, 413, kHeadersTooLarge}};
  for (const Case& c : cases) {
    const std::string bytes = request_ending_at(c.offset);
    for (size_t piece : {size_t{0}, size_t{1}, size_t{1000}, size_t{4096}}) {
      SCOPED_TRACE("offset " + std::to_string(c.offset) + " piece " + std::to_string(piece));
      RawConnection connection(server_.port());
      connection.send(bytes, piece);
      const HttpReply reply = parse_reply(connection.read_all());
      EXPECT_EQ(c.status, reply.status);
      EXPECT_EQ(c.body, reply.body);
    }
    // The bytes around the limit one at a time, each in its own segment.
    SCOPED_TRACE("slow tail, offset " + std::to_string(c.offset));
    RawConnection connection(server_.port());
    const size_t bulk = 16376;
    connection.send(bytes.substr(0, bulk));
    connection.send(bytes.substr(bulk), 1, 2ms);
    EXPECT_EQ(c.status, parse_reply(connection.read_all()).status);
  }
}

TEST_F(FramingTest, HeaderWithoutTerminatorIsRefusedOnceNoneCanFit) {
  RawConnection connection(server_.port());
  connection.send("GET / HTTP/1.1\r\nX: " + std::string(20000, 'x'));
  const HttpReply reply = parse_reply(connection.read_all());
  EXPECT_EQ(413, reply.status);
  EXPECT_EQ(kHeadersTooLarge, reply.body);
}

TEST_F(FramingTest, ContentLengthLimits) {
  struct Case {
    std::string length;  // the header's value as sent
    size_t body_bytes;   // bytes actually sent after the header
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"1048576", 1048576, 404, kNotFound},
      {"  7 ", 7, 404, kNotFound},  // surrounding blanks are trimmed
      {"", 0, 404, kNotFound},
      {"0", 0, 404, kNotFound},
      {"1048577", 0, 413, kBadBody},
      {"12a", 0, 413, kBadBody},
      {"-1", 0, 413, kBadBody},
      {"+5", 0, 413, kBadBody},
      {"99999999999999999999999999", 0, 413, kBadBody},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("Content-Length: " + c.length);
    const std::string request = "GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length:" + c.length +
                                "\r\n\r\n" + std::string(c.body_bytes, 'b');
    const HttpReply reply = http_exchange(server_.port(), request);
    EXPECT_EQ(c.status, reply.status);
    EXPECT_EQ(c.body, reply.body);
  }
}

TEST_F(FramingTest, MoreBytesThanAnnouncedAreRefused) {
  const std::string cases[] = {
      make_request("GET", "/v1/none", {"Content-Length: 2"}) + "abc",
      make_request("GET", "/v1/none") + make_request("GET", "/v1/none"),  // pipelined
  };
  for (const std::string& request : cases) {
    SCOPED_TRACE(request);
    const HttpReply reply = http_exchange(server_.port(), request);
    EXPECT_EQ(400, reply.status);
    EXPECT_EQ(kBadFraming, reply.body);
  }
}

TEST_F(FramingTest, TransferEncodingIsRefused) {
  for (const char* value : {"chunked", "gzip, chunked", "identity"}) {
    SCOPED_TRACE(value);
    const HttpReply reply = http_exchange(server_.port(), make_request("POST", "/", {std::string("Transfer-Encoding: ") + value}) +
                                                         "5\r\nhello\r\n0\r\n\r\n");
    EXPECT_EQ(400, reply.status);
    EXPECT_EQ(R"({"ok":false,"error":"transfer encoding unsupported"})", reply.body);
  }
}

TEST(FramingTimeouts, ShortBodyIsClosedWithoutAnswerAfterTheReceiveTimeout) {
  TestServer server(HttpServerOptions{.api_key = "", .socket_timeout = 300ms});
  RawConnection connection(server.port());
  const auto start = std::chrono::steady_clock::now();
  connection.send(make_request("GET", "/v1/none", {"Content-Length: 10"}) + "short");
  std::string received;
  ASSERT_TRUE(connection.closed_within(5s, &received));
  EXPECT_EQ("", received);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
  EXPECT_EQ(404, http_exchange(server.port(), make_request("GET", "/v1/none")).status);  // still serving
}

TEST(FramingTimeouts, SlowSenderIsClosedAtTheRequestDeadline) {
  // Each byte arrives well within the receive timeout; only the whole-request
  // deadline can end this connection.
  TestServer server(HttpServerOptions{.api_key = "", .socket_timeout = 400ms, .request_deadline = 700ms});
  RawConnection connection(server.port());
  const auto start = std::chrono::steady_clock::now();
  const std::string endless = "GET /v1/none HTTP/1.1\r\nX-Slow: " + std::string(100, 's');
  bool closed = false;
  std::string received;
  for (char c : endless) {
    if (connection.closed_within(100ms, &received)) {
      closed = true;
      break;
    }
    if (!connection.send(std::string_view(&c, 1))) break;
  }
  if (!closed) closed = connection.closed_within(3s, &received);
  EXPECT_TRUE(closed);
  EXPECT_EQ("", received);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 600ms);
  EXPECT_LT(took, 3s);
}

TEST(FramingTimeouts, PeerClosingMidRequestGetsNoAnswerAndServerContinues) {
  TestServer server(HttpServerOptions{.api_key = ""});
  {
    RawConnection connection(server.port());
    connection.send("GET /v1/none HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    ::shutdown(connection.fd(), SHUT_WR);
    std::string received;
    EXPECT_TRUE(connection.closed_within(5s, &received));
    EXPECT_EQ("", received);
  }
  EXPECT_EQ(404, http_exchange(server.port(), make_request("GET", "/v1/none")).status);
}

}  // namespace
}  // namespace orvane::testing
