// The real orvane binary (or any program) in the background for end-to-end
// server tests, in a private user's environment: output goes to files, the
// health route is polled over loopback, and the process is always ended by
// its pid (by the destructor when a test failed before stopping it). Also
// loopback ports; the HTTP client is support/http_client.h.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/http_client.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane::testing {

// A loopback TCP port held for the object's life: listening (it accepts
// connections) or bound only (a connection to it is refused).
class LoopbackPort {
 public:
  explicit LoopbackPort(bool listening);
  ~LoopbackPort();
  LoopbackPort(const LoopbackPort&) = delete;
  LoopbackPort& operator=(const LoopbackPort&) = delete;
  std::uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A loopback TCP port that was free a moment ago.
std::uint16_t free_loopback_port();

class BackgroundServer {
 public:
  // Starts `binary` with `args` in `cwd`; output goes to cwd/server.out and .err.
  BackgroundServer(const std::vector<std::string>& args, const std::string& cwd,
                   const std::string& binary = ORVANE_BINARY);
  ~BackgroundServer();
  BackgroundServer(const BackgroundServer&) = delete;
  BackgroundServer& operator=(const BackgroundServer&) = delete;

  // True once GET /v1/health on `port` answers 200 within about ten
  // seconds; false when the process ended or time ran out.
  bool wait_healthy(std::uint16_t port);
  // Sends `signal`, then waits as wait() does.
  int stop(int signal);
  // Waits for the exit (about ten seconds, then SIGKILL); returns the exit
  // status, or 128 + the signal that ended it.
  int wait();
  pid_t pid() const { return pid_; }
  std::string out() const;
  std::string err() const;

 private:
  pid_t pid_ = -1;
  std::string cwd_;
};

// A user's environment in a temporary directory: XDG_DATA_HOME and HOME
// point into it and no display variable is set, so a started server touches
// none of the real user's files and opens no browser.
struct PrivateUser {
  std::string app() const { return dir.file("data/halvex"); }  // the service's application directory
  TempDir dir;
  ScopedEnv data_home{"XDG_DATA_HOME", dir.file("data")}, home{"HOME", dir.path()};
  ScopedEnv display{"DISPLAY", std::nullopt}, wayland{"WAYLAND_DISPLAY", std::nullopt},
      browser{"BROWSER", std::nullopt};
};

}  // namespace orvane::testing
