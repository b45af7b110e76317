// Runs the real orvane binary (or any program) for end-to-end tests: to the
// end, capturing its exit status, standard output and standard error, or in
// the background for server tests (output to files, the health route polled
// over loopback, always ended by its pid). Also loopback ports; the HTTP
// client is support/http_client.h.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/http_client.h"
#include "support/temp_dir.h"

namespace orvane::testing {

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Runs `argv` (argv[0] a path or a name in PATH) in `cwd` (empty: the
// current directory), feeding it `input`, and waits for it.
RunResult run_program(const std::vector<std::string>& argv, const std::string& cwd = "",
                      const std::string& input = "");
// Runs ORVANE_BINARY with `args`, as run_program does.
RunResult run_orvane(const std::vector<std::string>& args, const std::string& cwd = "",
                     const std::string& input = "");
// The standard output of run_orvane; adds a test failure naming the command
// and quoting its standard error unless it exits with status 0.
std::string orvane_output(const std::vector<std::string>& args, const std::string& cwd = "");
// Adds a test failure unless `r` exited with status 1, wrote nothing to
// standard output and exactly `err` to standard error.
void expect_refusal(const RunResult& r, const std::string& err);
// Runs the shell `script` with /bin/sh in `cwd`; the script finds the
// binary as "$0" (for redirections, limits and background jobs).
RunResult run_shell(const std::string& script, const std::string& cwd = "");

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

// A loopback TCP port that was free a moment ago, below the ephemeral range
// that client connections take their ports from.
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

}  // namespace orvane::testing
