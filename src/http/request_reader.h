// Framing of HTTP/1.1 requests from the bytes of a connection, without the
// socket: the server feeds whatever each receive returns, the fuzzer and the
// tests feed byte buffers. The reader enforces the framing limits and decides
// when a request is complete and whether the connection persists after it;
// it never waits or times out itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "http/http_message.h"

namespace orvane {

// Header block: the terminating "\r\n\r\n" must start at or before this
// offset. Body: at most this many bytes, announced by Content-Length.
inline constexpr size_t kMaxHeaderOffset = 16384;
inline constexpr size_t kMaxBodyBytes = 1048576;

class RequestReader {
 public:
  enum class State { kNeedMore, kComplete, kRejected };

  // Appends `bytes` and reports the state, which is final once it is not
  // kNeedMore (later calls change nothing). Rejections, each with its JSON
  // answer in rejection():
  //   413 "request headers too large": no terminator can start at or before
  //       kMaxHeaderOffset any more, or it was found beyond it; this does not
  //       depend on how the bytes were split;
  //   400 "transfer encoding unsupported": a non-empty Transfer-Encoding;
  //   413 "invalid or oversized request body": a Content-Length that is not
  //       all decimal digits, overflows or exceeds kMaxBodyBytes;
  //   400 "invalid request framing": more bytes than the header announced
  //       on a connection that does not persist (see keep_alive()).
  // On a persistent connection bytes beyond the request are the next
  // request's: the request is complete and they wait for take_request().
  State feed(std::string_view bytes);

  State state() const { return state_; }
  const HttpResponse& rejection() const { return rejection_; }
  bool header_complete() const { return expected_ != std::string::npos; }
  size_t buffered() const { return buffer_.size(); }

  // Whether the connection persists after this request: for HTTP/1.1 unless
  // a Connection header lists "close", for HTTP/1.0 only when it lists
  // "keep-alive", never for other versions. Requires: header_complete().
  bool keep_alive() const { return keep_alive_; }

  // The complete request split into method, path, query string and body.
  // Requires: state() is kComplete.
  HttpRequest request() const;

  // Removes the complete request's bytes and returns them; the reader starts
  // over on the bytes that followed them, as if they had just been fed.
  // Requires: state() is kComplete.
  std::string take_request();

 private:
  State reject(int status, std::string_view message);

  std::string buffer_;
  size_t scanned_ = 0;                        // bytes searched for the terminator so far
  size_t expected_ = std::string::npos;       // total length once the header is complete
  bool keep_alive_ = false;                   // decided with the header
  State state_ = State::kNeedMore;
  HttpResponse rejection_;
};

// The request whose bytes are `raw` (as take_request() returns them) split
// into method, path, query string and body.
HttpRequest parse_request(std::string raw);

// Whether a request with the header block `head` lets the connection
// persist, by the rule of RequestReader::keep_alive().
bool persists_after(std::string_view head);

}  // namespace orvane
