// A raw HTTP/1.1 client for tests: it sends exact bytes (whole, in pieces,
// with pauses) to 127.0.0.1 and reads the whole answer, so that both the
// in-process server tests and the end-to-end ones see what is on the wire.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::testing {

// One answer as read from the wire.
struct HttpReply {
  int status = 0;
  std::string status_line;   // without "\r\n"
  std::string content_type;  // the Content-Type header's value
  std::string body;          // after the blank line
  std::string raw;           // everything received
};
HttpReply parse_reply(const std::string& raw);

// A client connection to 127.0.0.1:`port`. Sends never raise SIGPIPE.
class RawConnection {
 public:
  explicit RawConnection(unsigned short port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  // Sends `bytes` in pieces of `piece` bytes (all at once when 0), pausing
  // `pause` between pieces. False once the server stopped taking them.
  bool send(std::string_view bytes, size_t piece = 0, std::chrono::milliseconds pause = {});
  // What arrived until the server closed (or reset) the connection or `limit` passed.
  std::string read_all(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // One answer: its bytes up to the end of the body its Content-Length
  // announces, or what arrived until the server closed or `limit` passed.
  // Bytes of a following answer stay for the next read.
  std::string read_response(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Whether the server closed the connection within `limit`; what arrived
  // meanwhile is appended to `received`.
  bool closed_within(std::chrono::milliseconds limit, std::string* received = nullptr);
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool closed_ = false;
  std::string pending_;  // received beyond the last answer read_response returned
};

// A request with the given method, target, extra header lines (without
// "\r\n") and body. "Host: 127.0.0.1" comes first unless `with_host` is
// false; Content-Length follows when the body is non-empty.
std::string make_request(std::string_view method, std::string_view target,
                         const std::vector<std::string>& headers = {}, std::string_view body = "",
                         bool with_host = true);
// Sends `request` at once and reads one answer on a connection of its own
// (an empty reply, status 0, when nothing listens on `port`). http_get and http_post send one GET of
// `target`, or one POST of the JSON `body`, with Connection: close.
HttpReply http_exchange(unsigned short port, std::string_view request);
HttpReply http_get(unsigned short port, std::string_view target);
HttpReply http_post(unsigned short port, std::string_view target, std::string_view body);

}  // namespace orvane::testing
