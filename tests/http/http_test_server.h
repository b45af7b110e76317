// The HTTP core on its own thread, on a free loopback port, stopped through
// its flag; the tests talk to it with the raw client of support/http_client.h.
// A start failure reaches the constructor through the promise that would
// have carried the port.
#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

#include "http/server.h"
#include "support/http_client.h"
#include "support/temp_dir.h"

namespace orvane::testing {

// serve_http on a port the kernel picked. The constructor returns once the
// server listens and rethrows a start failure; the destructor stops it.
class TestServer {
 public:
  explicit TestServer(HttpServerOptions options = {}, RouteHandler routes = {}) {
    auto listening = std::make_shared<std::promise<unsigned short>>();
    std::future<unsigned short> port = listening->get_future();
    options.on_listening = [listening](unsigned short p) { listening->set_value(p); };
    finished_ = std::async(std::launch::async, [this, options, routes, listening] {
      try {
        serve_http(options, routes, &stop_flag_);
      } catch (...) {
        listening->set_exception(std::current_exception());
      }
    });
    port_ = port.get();
  }
  ~TestServer() { stop(); }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;
  unsigned short port() const { return port_; }
  void request_stop() { stop_flag_ = true; }
  // Sets the stop flag and waits for serve_http to return: true when it
  // returned within `limit` (it is waited for either way).
  bool stop(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    stop_flag_ = true;
    const bool in_time = finished_.wait_for(limit) == std::future_status::ready;
    finished_.wait();
    return in_time;
  }

 private:
  std::atomic<bool> stop_flag_{false};
  std::future<void> finished_;
  unsigned short port_ = 0;
};

}  // namespace orvane::testing
