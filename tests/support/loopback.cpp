#include "support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace orvane::testing {

LoopbackPort::LoopbackPort(bool listening) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      (listening && ::listen(fd_, 16) != 0) || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    throw std::runtime_error("cannot prepare a loopback port");
  }
  port_ = ntohs(addr.sin_port);
}

LoopbackPort::~LoopbackPort() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace orvane::testing
