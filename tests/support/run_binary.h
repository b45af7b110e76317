// Runs the real orvane binary (or any program) for end-to-end tests and
// captures its exit status, standard output and standard error.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace orvane::testing {

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Starts `argv` (argv[0] a path or a name in PATH) in `cwd` (empty: the
// current directory) reading `in`, writing `out` and `err`; returns its pid.
pid_t spawn_program(const std::vector<std::string>& argv, const std::string& cwd, const std::string& in,
                    const std::string& out, const std::string& err);

// An exit status as RunResult::status gives it.
int exit_status(int wait_status);

// Runs `argv` as spawn_program does, feeding it `input`, and waits for it.
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

}  // namespace orvane::testing
