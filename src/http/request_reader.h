// Framing of one HTTP/1.1 request from the bytes of a connection, without
// the socket: the server feeds whatever each receive returns, the fuzzer and
// the tests feed byte buffers. The reader enforces the framing limits and
// decides when the request is complete; it never waits or times out itself.
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
  //       (a pipelined request included).
  State feed(std::string_view bytes);

  State state() const { return state_; }
  const HttpResponse& rejection() const { return rejection_; }

  // The complete request split into method, path, query string and body.
  // Requires: state() is kComplete.
  HttpRequest request() const;

 private:
  State reject(int status, std::string_view message);

  std::string buffer_;
  size_t scanned_ = 0;                        // bytes searched for the terminator so far
  size_t expected_ = std::string::npos;       // total length once the header is complete
  State state_ = State::kNeedMore;
  HttpResponse rejection_;
};

}  // namespace orvane
