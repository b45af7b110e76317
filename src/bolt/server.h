// The Bolt listener of a server: Neo4j's drivers connect to it unchanged.
// It runs the connection loop (net/connection_loop.h) with the Bolt framer
// and one BoltConnection per connection over the engine's backend, with the
// HTTP server's connection limits and time limits, except that a
// connection may stay idle between messages for `idle_timeout` (drivers
// keep pools of connections open), which HELLO tells the driver.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "net/connection_loop.h"

namespace orvane {
class Engine;
}

namespace orvane::bolt {

struct BoltServerOptions {
  net::LoopOptions loop{};  // port, binding or an opened listener, workers, limits
  std::string api_key;      // the password; "" accepts any credentials
  std::chrono::seconds idle_timeout{300};
};

// Serves Bolt on `engine` until `*stop` becomes true, as
// net::serve_connections does (and throws as it does). Each connection's
// open transaction is rolled back when it ends.
void serve_bolt(Engine& engine, BoltServerOptions options, std::atomic<bool>* stop);

// The options of a listener on the opened socket `listener` with the
// engine server's limits: `workers` threads, the HTTP server's time limits.
BoltServerOptions bolt_server_options(int listener, int workers, const std::string& api_key);

}  // namespace orvane::bolt
