// The HTTP core on its own thread, on a free loopback port, stopped through
// its flag; the tests talk to it with the raw client of support/http_client.h.
#pragma once

#include <atomic>
#include <chrono>
#include <future>

#include "http/server.h"
#include "support/http_client.h"
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

}  // namespace orvane::testing
