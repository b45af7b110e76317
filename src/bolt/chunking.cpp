// Chunk assembly and splitting (the framing is described in chunking.h).
// The reader is a small state machine over (header bytes, chunk bytes
// left), so a message may arrive in any pieces, down to single bytes,
// with the same result.
#include "bolt/chunking.h"

#include <algorithm>

#include "bolt/bolt_error.h"

namespace orvane::bolt {

void ChunkReader::feed(std::string_view bytes) {
  while (!bytes.empty()) {
    if (chunk_left_ > 0) {
      const std::size_t n = std::min(chunk_left_, bytes.size());
      partial_.append(bytes.substr(0, n));
      bytes.remove_prefix(n);
      chunk_left_ -= n;
      continue;
    }
    header_[header_fill_++] = static_cast<unsigned char>(bytes.front());
    bytes.remove_prefix(1);
    if (header_fill_ < 2) continue;
    header_fill_ = 0;
    const std::size_t length = (std::size_t{header_[0]} << 8) | header_[1];
    if (length == 0) {
      // The end of a message, or a keep-alive when no chunk came before it.
      if (!partial_.empty()) complete_.push_back(std::move(partial_));
      partial_.clear();
      continue;
    }
    if (partial_.size() + length > max_message_) {
      throw BoltError(kRequestInvalidFormat, "message exceeds the limit of " + std::to_string(max_message_) + " bytes");
    }
    chunk_left_ = length;
  }
}

std::string ChunkReader::take_message() {
  std::string out = std::move(complete_.front());
  complete_.pop_front();
  return out;
}

void append_chunked(std::string& out, std::string_view message) {
  while (!message.empty()) {
    const std::size_t n = std::min(message.size(), kMaxChunk);
    out.push_back(static_cast<char>(n >> 8));
    out.push_back(static_cast<char>(n & 0xFF));
    out.append(message.substr(0, n));
    message.remove_prefix(n);
  }
  out.append(2, '\0');
}

}  // namespace orvane::bolt
