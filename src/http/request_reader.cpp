// Request framing. The header terminator is searched incrementally (only the
// new bytes and the three before them), so a request sent one byte at a time
// costs linear work, not quadratic.
//
// When the header is too large is decided by where a terminator can still
// start, not by how many bytes happen to be buffered: with a limit offset L,
// a terminator starting at L ends at L + 3, so only a buffer of more than
// L + 3 bytes without one proves the header too large. Deciding at "more
// than L bytes buffered" would accept or refuse the same request depending
// on how the network split it.
#include "http/request_reader.h"

#include <sstream>

namespace orvane {
namespace {

constexpr std::string_view kTerminator = "\r\n\r\n";

// Content-Length as a byte count, or npos when it is not all digits, does
// not fit 64 bits or exceeds kMaxBodyBytes. Empty means no body.
size_t parse_content_length(std::string_view text) {
  size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::string::npos;
    value = value * 10 + static_cast<size_t>(c - '0');
    // Stopping at the limit also keeps the arithmetic far from overflow.
    if (value > kMaxBodyBytes) return std::string::npos;
  }
  return value;
}

}  // namespace

RequestReader::State RequestReader::reject(int status, std::string_view message) {
  rejection_ = error_response(status, message);
  state_ = State::kRejected;
  return state_;
}

RequestReader::State RequestReader::feed(std::string_view bytes) {
  if (state_ != State::kNeedMore) return state_;
  buffer_.append(bytes);
  if (expected_ == std::string::npos) {
    const size_t from = scanned_ >= kTerminator.size() - 1 ? scanned_ - (kTerminator.size() - 1) : 0;
    const size_t at = buffer_.find(kTerminator, from);
    scanned_ = buffer_.size();
    if (at == std::string::npos) {
      if (buffer_.size() > kMaxHeaderOffset + kTerminator.size() - 1) {
        return reject(413, "request headers too large");
      }
      return state_;
    }
    if (at > kMaxHeaderOffset) return reject(413, "request headers too large");
    const std::string_view head(buffer_.data(), at);
    if (!header_value(head, "Transfer-Encoding").empty()) return reject(400, "transfer encoding unsupported");
    const size_t length = parse_content_length(header_value(head, "Content-Length"));
    if (length == std::string::npos) return reject(413, "invalid or oversized request body");
    expected_ = at + kTerminator.size() + length;
  }
  if (buffer_.size() > expected_) return reject(400, "invalid request framing");
  if (buffer_.size() == expected_) state_ = State::kComplete;
  return state_;
}

HttpRequest RequestReader::request() const {
  HttpRequest request;
  request.raw = buffer_;
  const size_t line_end = buffer_.find("\r\n");
  std::istringstream line(buffer_.substr(0, line_end));
  std::string target;
  line >> request.method >> target;
  const size_t question = target.find('?');
  request.path = target.substr(0, question);
  if (question != std::string::npos) request.query_string = target.substr(question + 1);
  request.body = buffer_.substr(buffer_.find(kTerminator) + kTerminator.size());
  return request;
}

}  // namespace orvane
