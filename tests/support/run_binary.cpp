#include "support/run_binary.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

namespace orvane::testing {
namespace {

// Starts `args` in `cwd` reading `in`, writing `out` and `err`; returns its pid.
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

}  // namespace

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

LoopbackPort::LoopbackPort(bool listening) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (listening && listen(fd_, 16) != 0) || getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot prepare a loopback port");
  }
  port_ = ntohs(address.sin_port);
}

LoopbackPort::~LoopbackPort() {
  if (fd_ >= 0) close(fd_);
}

// Below the kernel's ephemeral range (32768 and up): the tests open
// thousands of client connections, each on an ephemeral port, and a server
// port taken from that range could be in use by one of them by the time
// the server binds it. A random start keeps parallel test processes apart.
std::uint16_t free_loopback_port() {
  static std::mt19937 random(static_cast<std::uint32_t>(getpid()) * 2654435761u ^
                             static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 200; ++attempt) {
    const auto candidate = static_cast<std::uint16_t>(20000 + random() % 12000);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(candidate);
    const bool free = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) close(fd);
    if (free) return candidate;
  }
  return LoopbackPort(false).port();
}

BackgroundServer::BackgroundServer(const std::vector<std::string>& args, const std::string& cwd,
                                   const std::string& binary)
    : cwd_(cwd) {
  std::vector<std::string> argv{binary};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = spawn_program(argv, cwd, "/dev/null", cwd + "/server.out", cwd + "/server.err");
}

BackgroundServer::~BackgroundServer() {
  if (pid_ > 0) kill(pid_, SIGKILL);
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
}

bool BackgroundServer::wait_healthy(std::uint16_t port) {
  for (int i = 0; i < 200 && pid_ > 0; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    if (pid_ > 0 && http_get(port, "/v1/health").status == 200) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

int BackgroundServer::stop(int signal) {
  if (pid_ > 0) kill(pid_, signal);
  return wait();
}

int BackgroundServer::wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  for (int i = 0; waitpid(pid_, &status, WNOHANG) != pid_; ++i) {
    if (i == 200) {  // about ten seconds
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  pid_ = -1;
  return exit_status(status);
}

std::string BackgroundServer::out() const { return read_text_file(cwd_ + "/server.out"); }
std::string BackgroundServer::err() const { return read_text_file(cwd_ + "/server.err"); }

}  // namespace orvane::testing
