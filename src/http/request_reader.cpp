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
//
// Persistent connections: bytes after a complete request are the next
// request only when the request lets the connection persist. Otherwise they
// are refused as before, whether they are a pipelined request or a body
// longer than announced, since nothing would ever read them.
#include "http/request_reader.h"

#include <optional>
#include <sstream>

#include "base/decimal.h"
#include "base/text.h"

namespace orvane {
namespace {

constexpr std::string_view kTerminator = "\r\n\r\n";

// Content-Length as a byte count, or npos when it is not all digits, does
// not fit 64 bits or exceeds kMaxBodyBytes. Empty means no body.
size_t parse_content_length(std::string_view text) {
  if (text.empty()) return 0;
  const std::optional<std::uint64_t> value = parse_decimal(text);
  return value && *value <= kMaxBodyBytes ? static_cast<size_t>(*value) : std::string::npos;
}

bool lists_token(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    if (ascii_iequals(trim_view(item), token)) return true;
  }
  return false;
}

}  // namespace

bool persists_after(std::string_view head) {
  const std::string_view line = head.substr(0, head.find("\r\n"));
  const size_t space = line.rfind(' ');
  const std::string_view version = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
  const std::string connection = header_value(head, "Connection");
  if (version == "HTTP/1.1") return !lists_token(connection, "close");
  if (version == "HTTP/1.0") return lists_token(connection, "keep-alive");
  return false;
}

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
    keep_alive_ = persists_after(head);
  }
  if (buffer_.size() > expected_ && !keep_alive_) return reject(400, "invalid request framing");
  if (buffer_.size() >= expected_) state_ = State::kComplete;
  return state_;
}

HttpRequest RequestReader::request() const { return parse_request(buffer_.substr(0, expected_)); }

std::string RequestReader::take_request() {
  std::string rest = buffer_.substr(expected_);
  buffer_.resize(expected_);
  std::string request = std::move(buffer_);
  *this = RequestReader();
  if (!rest.empty()) feed(rest);
  return request;
}

HttpRequest parse_request(std::string raw) {
  HttpRequest request;
  const size_t line_end = raw.find("\r\n");
  std::istringstream line(raw.substr(0, line_end));
  std::string target;
  line >> request.method >> target;
  const size_t question = target.find('?');
  request.path = target.substr(0, question);
  if (question != std::string::npos) request.query_string = target.substr(question + 1);
  request.body = raw.substr(raw.find(kTerminator) + kTerminator.size());
  request.raw = std::move(raw);
  return request;
}

}  // namespace orvane
