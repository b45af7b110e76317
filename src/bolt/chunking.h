// Bolt's message framing. A message travels as chunks, each a 2-byte
// big-endian length (1 … 65535) and that many bytes, and ends with a chunk
// of length 0. A lone 0000 between messages is a keep-alive (NOOP) and
// carries nothing.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace orvane::bolt {

inline constexpr std::size_t kMaxChunk = 65535;
inline constexpr std::size_t kDefaultMaxMessage = 16 * 1024 * 1024;

// Assembles the messages of one connection from whatever bytes arrive.
class ChunkReader {
 public:
  explicit ChunkReader(std::size_t max_message = kDefaultMaxMessage) : max_message_(max_message) {}

  // Consumes `bytes` and queues each message they complete. Throws
  // BoltError "message exceeds the limit of N bytes" as soon as the chunks
  // of one message add up to more than the limit: the bytes are never held
  // beyond it. After a throw the reader must not be used again.
  void feed(std::string_view bytes);

  bool has_message() const { return !complete_.empty(); }
  // Removes and returns the oldest complete message. Requires: has_message().
  std::string take_message();
  // Bytes held toward a message not yet complete.
  std::size_t buffered() const { return partial_.size() + header_fill_; }

 private:
  std::size_t max_message_;
  std::deque<std::string> complete_;
  std::string partial_;          // the current message's chunk bytes so far
  unsigned char header_[2]{};    // a chunk header split across feeds
  std::size_t header_fill_ = 0;  // bytes of header_ held
  std::size_t chunk_left_ = 0;   // bytes of the current chunk still to come
};

// Appends `message` to `out` as chunks of at most kMaxChunk bytes and the
// terminating 0000.
void append_chunked(std::string& out, std::string_view message);

}  // namespace orvane::bolt
