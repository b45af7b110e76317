// Test support for everything served over HTTP: a server on its own thread on
// a free loopback port, stopped through its flag, and a raw client that sends
// exact bytes (whole, in pieces, with pauses) and reads the whole answer.
#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <string_view>
#include <vector>

#include "http/server.h"
#include "support/temp_dir.h"

namespace orvane::testing {

// serve_http on a port the kernel picked. The constructor returns once the
// server listens and rethrows a start failure; the destructor stops it.
class TestServer {
 public:
  explicit TestServer(HttpServerOptions options = {}, RouteHandler routes = {});
  ~TestServer() { stop(); }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;
  unsigned short port() const { return port_; }
  void request_stop() { stop_flag_ = true; }
  // Sets the stop flag and waits for serve_http to return: true when it
  // returned within `limit` (it is waited for either way).
  bool stop(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  std::atomic<bool> stop_flag_{false};
  std::future<void> finished_;
  unsigned short port_ = 0;
};

// One answer as read from the wire.
struct HttpReply {
  int status = 0;
  std::string status_line;   // without "\r\n"
  std::string content_type;  // the Content-Type header's value
  std::string body;          // after the blank line
  std::string raw;           // everything received
};
HttpReply parse_reply(const std::string& raw);

// A client connection to 127.0.0.1:`port`. Sends never raise SIGPIPE.
class RawConnection {
 public:
  explicit RawConnection(unsigned short port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  // Sends `bytes` in pieces of `piece` bytes (all at once when 0), pausing
  // `pause` between pieces. False once the server stopped taking them.
  bool send(std::string_view bytes, size_t piece = 0, std::chrono::milliseconds pause = {});
  // What arrived until the server closed (or reset) the connection or `limit` passed.
  std::string read_all(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Whether the server closed the connection within `limit`; what arrived
  // meanwhile is appended to `received`.
  bool closed_within(std::chrono::milliseconds limit, std::string* received = nullptr);
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool closed_ = false;
};

// A request with the given method, target, extra header lines (without
// "\r\n") and body. "Host: 127.0.0.1" comes first unless `with_host` is
// false; Content-Length follows when the body is non-empty.
std::string make_request(std::string_view method, std::string_view target,
                         const std::vector<std::string>& headers = {}, std::string_view body = "",
                         bool with_host = true);
// Sends `request` at once and reads the answer.
HttpReply http_exchange(unsigned short port, std::string_view request);

}  // namespace orvane::testing
