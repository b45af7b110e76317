// The reachability probe: a TCP connect and nothing more.
//
// Each resolved address gets a non-blocking connect and a poll of at most
// 400 ms, so a silent host costs 400 ms per address and a closed port (the
// peer answers with a reset) returns at once. The socket also carries
// 400 ms send and receive timeouts in case a caller ever sends on it. A
// url that does not split into host and port counts as unreachable.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "remote/remote_endpoint.h"

namespace orvane {
namespace {

constexpr int kProbeTimeoutMs = 400;

bool connects(const addrinfo& ai) {
  const int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol);
  if (fd < 0) return false;
  const timeval tv{0, kProbeTimeoutMs * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  bool ok = ::connect(fd, ai.ai_addr, ai.ai_addrlen) == 0;
  if (!ok && errno == EINPROGRESS) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kProbeTimeoutMs);
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      const int ready = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
      if (ready < 0 && errno == EINTR && left > 0) continue;
      if (ready == 1) {
        int error = 0;
        socklen_t len = sizeof error;
        ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
      }
      break;
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace

void probe(RemoteEndpoint& endpoint) {
  endpoint.probed = true;
  endpoint.reachable = false;
  RemoteAddress address;
  if (!endpoint_address(endpoint, address)) return;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  if (::getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &list) != 0) return;
  for (const addrinfo* ai = list; ai != nullptr && !endpoint.reachable; ai = ai->ai_next) {
    endpoint.reachable = connects(*ai);
  }
  ::freeaddrinfo(list);
}

}  // namespace orvane
