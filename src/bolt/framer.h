// Cuts one Bolt connection's bytes for the connection loop
// (net/connection_loop.h): the 20 handshake bytes, then whole chunked
// messages. The bytes pass through unchanged, as many whole messages as
// have arrived at a time, so that the connection (connection.h) still sees
// a RESET among them and answers the messages before it IGNORED.
//
// A message is held until its end chunk arrives, but never past the size
// limit: once its chunks add up to more, everything held is passed on, and
// the connection answers FAILURE and closes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "bolt/chunking.h"
#include "net/framer.h"

namespace orvane::bolt {

class BoltFramer : public net::Framer {
 public:
  explicit BoltFramer(std::size_t max_message = kDefaultMaxMessage) : max_message_(max_message) {}

  State feed(std::string_view bytes) override;
  size_t buffered() const override { return held_.size(); }
  bool header_complete() const override { return true; }
  std::string take_message() override;
  std::string refusal() const override { return {}; }

 private:
  std::size_t max_message_;
  std::string held_;                // bytes received, not yet taken
  std::size_t scanned_ = 0;         // bytes of held_ whose chunk headers were read
  std::size_t whole_ = 0;           // bytes of held_ that end a handshake or a message
  std::size_t message_bytes_ = 0;   // chunk bytes of the message under way
  bool handshake_seen_ = false;
  bool passing_ = false;            // a message passed the limit: everything goes through
};

}  // namespace orvane::bolt
