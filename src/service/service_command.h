// The management commands of the local service: start, stop, status and
// restart of the background server over the private application directory,
// serialised by its control lock. The command line is parsed by the cli
// layer; this layer sees only the parsed options.
#pragma once

#include <optional>
#include <string>

namespace orvane {

// The options of the service commands. Only start and restart (and the bare
// program, which means start) accept any.
struct ServiceOptions {
  std::optional<unsigned> port;  // --port: 1 to 65535; absent keeps the running or default port
  bool browser = true;           // false with --no-browser
  std::optional<unsigned> bolt_port;  // --bolt-port: 1 to 65535; absent keeps the running or default port
  bool bolt = true;                   // false with --no-bolt
};

// Runs `command` ("start", "stop", "status" or "restart") with `options`.
// Returns 0, or for status 1 (running but not healthy) and 3 (stopped).
// Throws the directory, control-lock, state and start/stop messages. A
// start that finds the server of an interrupted start still starting waits
// for it as its own start would, and adopts it once it answers; when that
// server ends instead, it starts a new one.
int run_service_command(const std::string& command, const ServiceOptions& options);

}  // namespace orvane
