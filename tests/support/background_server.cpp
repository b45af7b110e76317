#include "support/background_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/run_binary.h"

namespace orvane::testing {

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

std::uint16_t free_loopback_port() { return LoopbackPort(false).port(); }

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
