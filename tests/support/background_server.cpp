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
namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

LoopbackPort::LoopbackPort(bool listening) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
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

std::string http_get(std::uint16_t port, const std::string& target) {
  return http_exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

std::string http_post(std::uint16_t port, const std::string& target, const std::string& body) {
  return http_exchange(port, "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                            "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\n\r\n" + body);
}

int loopback_connection(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string http_exchange(std::uint16_t port, const std::string& request) {
  const int fd = loopback_connection(port);
  if (fd < 0) return "";
  std::string answer;
  if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    for (ssize_t n = 0; (n = read(fd, buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return answer;
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
    if (pid_ > 0 && http_get(port, "/v1/health").rfind("HTTP/1.1 200", 0) == 0) return true;
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
