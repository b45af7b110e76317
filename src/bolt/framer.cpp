// The Bolt framer (framer.h): a scan over chunk headers that remembers
// where it stopped, so that bytes arriving a few at a time are read once.
#include "bolt/framer.h"

#include "bolt/handshake.h"

namespace orvane::bolt {

net::Framer::State BoltFramer::feed(std::string_view bytes) {
  held_.append(bytes);
  if (passing_) {
    whole_ = held_.size();
    return whole_ > 0 ? State::kComplete : State::kNeedMore;
  }
  if (!handshake_seen_) {
    if (held_.size() < kHandshakeSize) return State::kNeedMore;
    handshake_seen_ = true;
    scanned_ = whole_ = kHandshakeSize;
  }
  while (held_.size() - scanned_ >= 2) {
    const std::size_t length = (static_cast<unsigned char>(held_[scanned_]) << 8) |
                               static_cast<unsigned char>(held_[scanned_ + 1]);
    if (length == 0) {
      // The end of a message, or a keep-alive between messages.
      scanned_ += 2;
      whole_ = scanned_;
      message_bytes_ = 0;
      continue;
    }
    if (message_bytes_ + length > max_message_) {
      passing_ = true;
      whole_ = held_.size();
      break;
    }
    if (held_.size() - scanned_ - 2 < length) break;
    scanned_ += 2 + length;
    message_bytes_ += length;
  }
  return whole_ > 0 ? State::kComplete : State::kNeedMore;
}

std::string BoltFramer::take_message() {
  std::string taken = held_.substr(0, whole_);
  held_.erase(0, whole_);
  scanned_ -= std::min(scanned_, whole_);
  whole_ = 0;
  return taken;
}

}  // namespace orvane::bolt
