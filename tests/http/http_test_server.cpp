// The test server: serve_http on its own thread; a start failure reaches the
// constructor through the promise that would have carried the port.
#include "http_test_server.h"

#include <memory>

namespace orvane::testing {

TestServer::TestServer(HttpServerOptions options, RouteHandler routes) {
  auto listening = std::make_shared<std::promise<unsigned short>>();
  std::future<unsigned short> port = listening->get_future();
  options.on_listening = [listening](unsigned short p) { listening->set_value(p); };
  finished_ = std::async(std::launch::async, [this, options, routes, listening] {
    try {
      serve_http(options, routes, &stop_flag_);
    } catch (...) {
      listening->set_exception(std::current_exception());  // a start failure
    }
  });
  port_ = port.get();
}

bool TestServer::stop(std::chrono::milliseconds limit) {
  stop_flag_ = true;
  const bool in_time = finished_.wait_for(limit) == std::future_status::ready;
  finished_.wait();
  return in_time;
}

}  // namespace orvane::testing
