// The background server as the management commands see it: started as a
// detached copy of this executable serving the managed graph, probed over
// loopback HTTP with a plain socket, and stopped only through a process file
// descriptor after its identity has been checked.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace orvane {

// Starts "serve --db DIR/graph.orv --port PORT --bolt-port BOLT (or
// --no-bolt when `bolt_port` is 0) --no-fabric --managed-instance ID"
// detached (setsid) with its output appended to
// DIR/logs/server.log and waits up to 30 s for the health route. The child
// executes the server only after DIR/run/service.json names it durably; a
// start that dies before then leaves no server behind. Adopts a single
// previous graph first (HOME/halvex-data/my-graph.orv or ./data/graph.orv)
// when the managed graph is missing. Returns the state; throws the start
// messages ("Halvex could not start. Check LOG (the port may already be in
// use).", "Halvex did not become ready. Check LOG", the state file's, the
// adoption and log messages). Requires: the caller holds the control lock.
// The state records "bolt_port" (0: none).
nlohmann::json start_managed_server(const std::string& application_directory, unsigned port, unsigned bolt_port);

// Waits for the live instance named by `state`, which an earlier start
// (perhaps one that was killed) launched, while it is still starting: live
// and not yet listening on any TCP socket, for at most 30 s. Returns true
// once its health route answers and false when it is no longer live. Throws
// "The database process is running but is not ready. Check orvane status
// and the application log." when it listens but does not answer, or when
// time runs out.
bool await_recorded_server(const nlohmann::json& state);

// Sends SIGTERM through a pidfd to the live instance named by `state` and
// waits up to 30 s until it is no longer live. Throws "Cannot safely signal
// the database process (pidfd support is required)", "Cannot stop the
// database process" and "Database is still finishing its work. Run orvane
// stop again to check.". Never sends a stronger signal.
void stop_managed_server(const nlohmann::json& state);

// True when GET /v1/health on 127.0.0.1:"port" answers 200 with a JSON
// object whose "ok" is true and "instance" equals the state's; never throws.
bool probe_health(const nlohmann::json& state);

// Spawns "xdg-open URL" without waiting, only when DISPLAY,
// WAYLAND_DISPLAY or BROWSER is set; prints a hint on standard error when it
// cannot be spawned.
void open_in_browser(const std::string& url);

}  // namespace orvane
