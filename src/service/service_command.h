// The management commands of the local service: start, stop, status and
// restart of the background server over the private application directory,
// serialised by its control lock.
#pragma once

#include <string>

namespace orvane {

// Runs `command` ("start", "stop", "status" or "restart") with the options
// in `argv` (from index 1 when argv[1] begins with "-", else from index 2).
// Returns 0, or for status 1 (running but not healthy) and 3 (stopped).
// Throws the argument, directory, control-lock, state and start/stop
// messages.
int run_service_command(const std::string& command, int argc, char** argv);

}  // namespace orvane
