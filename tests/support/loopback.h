// Loopback TCP ports for tests that probe: one that accepts connections and
// one that is held bound but not listening, so a connection to it is
// refused and no other process can take it while the test runs.
#pragma once

#include <cstdint>

namespace orvane::testing {

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

}  // namespace orvane::testing
