// The real orvane binary started in the background for end-to-end server
// tests: standard output and error go to files, the health route is polled
// with a raw loopback socket, and the process is always stopped by its pid —
// by SIGTERM from the test, or by SIGKILL from the destructor when a test
// failed before stopping it. Also loopback ports and raw HTTP exchanges.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::testing {

// A loopback TCP port for tests that probe: one that accepts connections, or
// one that is held bound but not listening, so a connection to it is refused
// and no other process can take it while the object lives.
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

// A loopback TCP port that was free a moment ago (bound to port 0, closed).
std::uint16_t free_loopback_port();

// One raw HTTP/1.1 GET of `target` on 127.0.0.1:`port`; returns the whole
// answer text, or "" when the connection fails.
std::string http_get(std::uint16_t port, const std::string& target);

// Sends the raw `request` to 127.0.0.1:`port` and reads the answer until
// the peer closes; "" when the connection fails.
std::string http_exchange(std::uint16_t port, const std::string& request);

// One raw HTTP/1.1 POST of the JSON `body` to `target`, as http_get.
std::string http_post(std::uint16_t port, const std::string& target, const std::string& body);

class BackgroundServer {
 public:
  // Starts `binary` with `args` in `cwd`, its output written to
  // `cwd`/server.out and `cwd`/server.err.
  BackgroundServer(const std::vector<std::string>& args, const std::string& cwd,
                   const std::string& binary = ORVANE_BINARY);
  // Kills the process with SIGKILL and reaps it unless it was waited for.
  ~BackgroundServer();
  BackgroundServer(const BackgroundServer&) = delete;
  BackgroundServer& operator=(const BackgroundServer&) = delete;

  // True once GET /v1/health on `port` answers 200 within about ten
  // seconds; false when the process ended or time ran out.
  bool wait_healthy(std::uint16_t port);
  // Sends `signal` and waits for the exit; returns the exit status, or 128
  // + the signal that ended it.
  int stop(int signal);
  // Waits for the exit (at most about ten seconds, then SIGKILL); returns
  // the status as stop does.
  int wait();
  pid_t pid() const { return pid_; }
  std::string out() const;
  std::string err() const;

 private:
  pid_t pid_ = -1;
  std::string cwd_;
};

}  // namespace orvane::testing
