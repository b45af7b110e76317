// The HTTP protocol on the connection loop. The loop frames requests with
// RequestReader (through http_framer) and runs handle_request on a worker
// for each complete one; the worker answers through the check chain and the
// route table (answer_request) and formats the response with the
// Connection header the request asked for. Reading, timeouts, the
// per-address cap, writing and the drain after a refusal are the loop's.
//
// The fixed answers the loop sends on its own (overloaded, too many
// connections) are formatted once at start.
#include "http/server.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "base/text.h"
#include "http/http_framer.h"
#include "http/request_reader.h"
#include "net/connection_loop.h"

namespace orvane {
namespace {

constexpr size_t kMinKeyBytes = 32;

// The answer to one complete request and whether its connection persists.
net::Reply handle_request(std::string raw, const DispatchContext& dispatch) {
  const bool keep_alive = persists_after(std::string_view(raw).substr(0, raw.find("\r\n\r\n")));
  HttpResponse response;
  try {
    response = answer_request(parse_request(std::move(raw)), dispatch);
  } catch (...) {
    response = error_response(500, "request failed");
  }
  return {format_response(response, keep_alive), !keep_alive};
}

}  // namespace

int http_worker_count(const char* setting, unsigned hardware) {
  if (setting == nullptr) {
    if (hardware == 0) return 32;
    return static_cast<int>(std::clamp(hardware, 16u, 128u));
  }
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(setting, &end, 10);
  if (end == setting || errno == ERANGE || value < INT_MIN || value > INT_MAX) return 32;
  return static_cast<int>(std::clamp(value, 4L, 256L));
}

std::string server_api_key(const std::optional<std::string>& given, bool public_binding) {
  std::string key = given ? *given : "";
  if (!given) {
    const char* from_environment = std::getenv("ORVANE_API_KEY");
    key = from_environment != nullptr ? from_environment : "";
  }
  // Header values are compared trimmed, so white space at either end of a
  // key (or a key of blanks) could never match: such a key is as unusable
  // as a short one.
  if ((public_binding || !key.empty()) && (key.size() < kMinKeyBytes || trim_view(key) != key)) {
    throw std::runtime_error("public binding requires ORVANE_API_KEY with at least 32 random characters");
  }
  return key;
}

void serve_http(const HttpServerOptions& options, RouteHandler routes, std::atomic<bool>* stop) {
  const std::string key = server_api_key(options.api_key, options.public_binding);
  std::mutex engine_mutex;
  const DispatchContext dispatch{{key, options.public_binding}, options.web_root, options.site_root,
                                 routes ? std::move(routes) : RouteHandler(not_found_route),
                                 options.serialize_routes ? &engine_mutex : nullptr};

  net::LoopOptions loop;
  loop.port = options.port;
  loop.public_binding = options.public_binding;
  loop.on_listening = options.on_listening;
  loop.workers = options.workers > 0 ? options.workers
                                     : http_worker_count(std::getenv("ORVANE_HTTP_WORKERS"),
                                                         std::thread::hardware_concurrency());
  loop.queue_limit = options.queue_limit;
  loop.connections_per_address = options.connections_per_address;
  loop.idle_timeout = options.idle_timeout;
  loop.header_timeout = options.header_timeout;
  loop.receive_timeout = loop.send_timeout = options.socket_timeout;
  loop.message_deadline = loop.send_deadline = options.request_deadline;

  // HTTP keeps no state between requests: one session serves every connection.
  class HttpSession final : public net::Session {
   public:
    explicit HttpSession(const DispatchContext& dispatch) : dispatch_(dispatch) {}
    net::Reply handle(std::string raw) override { return handle_request(std::move(raw), dispatch_); }

   private:
    const DispatchContext& dispatch_;
  };
  const auto session = std::make_shared<HttpSession>(dispatch);
  net::Protocol protocol;
  protocol.new_framer = new_http_framer;
  protocol.new_session = [session] { return session; };
  protocol.overloaded = format_response(error_response(503, "overloaded"), false);
  protocol.too_many = format_response(error_response(503, "too many connections"), false);
  net::serve_connections(loop, protocol, stop);
}

}  // namespace orvane
