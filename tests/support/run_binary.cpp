#include "support/run_binary.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvane::testing {

pid_t spawn_program(const std::vector<std::string>& args, const std::string& cwd, const std::string& in,
                    const std::string& out, const std::string& err) {
  std::vector<std::string> argv_store = args;
  std::vector<char*> argv;
  for (auto& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int write = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;  // the originals close at exec; the copies stay
    const int fds[3] = {open(in.c_str(), O_RDONLY | O_CLOEXEC), open(out.c_str(), write, 0600),
                        open(err.c_str(), write, 0600)};
    for (int i = 0; i < 3; ++i) {
      if (fds[i] < 0 || dup2(fds[i], i) < 0) _exit(125);
    }
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int exit_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// Standard input, output and error go through files in a private temporary
// directory, so no pipe can fill up and block either side.
RunResult run_program(const std::vector<std::string>& args, const std::string& cwd, const std::string& input) {
  const TempDir io;
  write_text_file(io.file("in"), input);
  int status = 0;
  waitpid(spawn_program(args, cwd, io.file("in"), io.file("out"), io.file("err")), &status, 0);
  return {exit_status(status), read_text_file(io.file("out")), read_text_file(io.file("err"))};
}

RunResult run_orvane(const std::vector<std::string>& args, const std::string& cwd, const std::string& input) {
  std::vector<std::string> argv{ORVANE_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_program(argv, cwd, input);
}

std::string orvane_output(const std::vector<std::string>& args, const std::string& cwd) {
  const RunResult r = run_orvane(args, cwd);
  std::string command = "orvane";
  for (const std::string& a : args) command += " " + a;
  EXPECT_EQ(0, r.status) << command << "\n" << r.err;
  return r.out;
}

void expect_refusal(const RunResult& r, const std::string& err) {
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(err, r.err);
}

RunResult run_shell(const std::string& script, const std::string& cwd) {
  return run_program({"/bin/sh", "-c", script, ORVANE_BINARY}, cwd);
}

}  // namespace orvane::testing
