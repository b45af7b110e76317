// The HTTP/1.1 server: the connection loop (net/connection_loop.h) on the
// caller's thread reads requests, a fixed pool of workers fed through a
// bounded queue answers complete ones, and connections persist
// (keep-alive) unless the client asks otherwise. Workers check requests in
// parallel, serve static files directly and hand every other request to a
// route table under one engine mutex. It knows no engine: the caller
// supplies the route table and the roots.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "http/dispatch.h"

namespace orvane {

struct HttpServerOptions {
  unsigned short port = 0;               // 0: any free port (see on_listening)
  bool public_binding = false;           // every interface instead of 127.0.0.1
  std::string web_root{};                // console files; "" means "web"
  std::string site_root{};               // files under /site; "" means "site"
  std::optional<std::string> api_key{};  // nullopt: read ORVANE_API_KEY at start
  // Whether the server calls the route table one request at a time (under
  // its own mutex). A route table that locks for itself (the engine's,
  // whose slow imports run outside its lock) turns this off.
  bool serialize_routes = true;

  // Called once on the accepting thread when the socket listens, with the
  // port it is bound to, before any connection is accepted.
  std::function<void(unsigned short)> on_listening{};

  // Limits that tests shorten; the defaults are the server's behaviour.
  int workers = 0;                                      // 0: from ORVANE_HTTP_WORKERS
  size_t queue_limit = 4096;                            // complete requests waiting for a worker before 503
  size_t connections_per_address = 4096;                // open connections from one client address
  std::chrono::milliseconds idle_timeout{5000};         // before a request's first byte (keep-alive idle)
  std::chrono::milliseconds header_timeout{10000};      // from a request's start to the end of its header
  std::chrono::milliseconds socket_timeout{5000};       // silence within a request, stall of an answer
  std::chrono::milliseconds request_deadline{30000};    // whole request (the first from accept), whole answer
};

// Worker count for the ORVANE_HTTP_WORKERS value `setting` (null when unset)
// and the reported hardware concurrency: unset gives the hardware count
// clamped to 16..128, or 32 when it is reported as 0; a set value is read as
// a base-10 integer (leading blanks and a sign allowed, trailing text
// ignored) and clamped to 4..256, and gives 32 when it has no digits or lies
// outside the 32-bit range.
int http_worker_count(const char* setting, unsigned hardware);

// The API key a server checks: `given`, or ORVANE_API_KEY when nullopt
// ("" when unset). Throws std::runtime_error "public binding requires
// ORVANE_API_KEY with at least 32 random characters" when the binding is
// public or a key is set and the key is shorter than 32 bytes or has white
// space at either end. Every listener of a server (HTTP, Bolt) checks the
// same key.
std::string server_api_key(const std::optional<std::string>& given, bool public_binding);

// Runs the server until `*stop` becomes true (forever when `stop` is null),
// then stops accepting, closes idle connections, answers every complete
// request (running or queued) and every request still arriving once it is
// complete within its time limits, joins the workers and returns. `routes` is called for every request that passes the checks and
// is neither OPTIONS nor a static file, with the engine mutex held; the
// response is sent after the mutex is released. A complete request that
// finds the queue full is answered 503 "overloaded", a connection beyond
// the per-address cap 503 "too many connections", both then closed.
// Throws std::runtime_error, before listening, with "public binding requires
// ORVANE_API_KEY with at least 32 random characters" when the binding is
// public or a key is set and the key is shorter than 32 bytes, "socket
// failed", or "bind failed on port <port>".
void serve_http(const HttpServerOptions& options, RouteHandler routes, std::atomic<bool>* stop);

}  // namespace orvane
