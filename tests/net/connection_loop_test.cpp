// The connection loop with a protocol of its own: lines of at most 16 bytes,
// each answered in capitals, "big" answered with 16 MiB and "bye" answered
// then closed. It shows that the loop depends on nothing HTTP does: messages
// are answered in order, refusals close after the answer, and an answer the
// client does not read is bounded by the send deadline without holding a
// worker.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <future>
#include <memory>
#include <string>

#include "net/connection_loop.h"
#include "support/http_client.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

class LineFramer final : public net::Framer {
 public:
  State feed(std::string_view bytes) override {
    buffer_.append(bytes);
    const size_t end = buffer_.find('\n');
    if (end == std::string::npos) return buffer_.size() > 16 ? State::kRejected : State::kNeedMore;
    return end > 16 ? State::kRejected : State::kComplete;
  }
  size_t buffered() const override { return buffer_.size(); }
  bool header_complete() const override { return false; }
  std::string take_message() override {
    const size_t end = buffer_.find('\n');
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return line;
  }
  std::string refusal() const override { return "TOO LONG\n"; }

 private:
  std::string buffer_;
};

// Upper-cases each line and numbers the lines of its connection: the
// session is the connection's own.
class LineSession final : public net::Session {
 public:
  net::Reply handle(std::string line) override {
    if (line == "big") return {std::string(16 << 20, 'x'), false};
    for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return {std::to_string(++lines_) + " " + line + "\n", line == "BYE"};
  }

 private:
  int lines_ = 0;
};

// The loop on its own thread on a free port, stopped by the destructor.
class LineServer {
 public:
  explicit LineServer(net::LoopOptions options) {
    protocol_.new_framer = [] { return std::make_unique<LineFramer>(); };
    protocol_.new_session = [] { return std::make_shared<LineSession>(); };
    protocol_.overloaded = "BUSY\n";
    protocol_.too_many = "FULL\n";
    std::promise<unsigned short> listening;
    std::future<unsigned short> port = listening.get_future();
    options.on_listening = [&listening](unsigned short p) { listening.set_value(p); };
    finished_ = std::async(std::launch::async, [this, options] { net::serve_connections(options, protocol_, &stop_); });
    port_ = port.get();
  }
  ~LineServer() {
    stop_ = true;
    finished_.wait();
  }
  unsigned short port() const { return port_; }

 private:
  net::Protocol protocol_;
  std::atomic<bool> stop_{false};
  std::future<void> finished_;
  unsigned short port_ = 0;
};

TEST(ConnectionLoop, AnswersInOrderAndClosesWhereTheProtocolSays) {
  LineServer server({});
  const struct { std::string sent, answered; } cases[] = {
      {"one\ntwo\nbye\n", "1 ONE\n2 TWO\n3 BYE\n"},
      {"one\nbye\nnever read\n", "1 ONE\n2 BYE\n"},
      {"ok\n0123456789abcdefg\nok\n", "1 OK\nTOO LONG\n"},
      {"0123456789abcdefghij", "TOO LONG\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent);
    RawConnection connection(server.port());
    connection.send(c.sent);
    EXPECT_EQ(c.answered, connection.read_all(2s));
  }
}

// A client that never reads a 16 MiB answer is cut at the send deadline;
// meanwhile the single worker answers others.
TEST(ConnectionLoop, UnreadAnswerEndsAtTheSendDeadline) {
  LineServer server({.workers = 1, .send_timeout = 5s, .send_deadline = 500ms});
  RawConnection stalled(server.port());
  stalled.send("big\n");
  RawConnection other(server.port());
  other.send("hi\nbye\n");
  EXPECT_EQ("1 HI\n2 BYE\n", other.read_all(2s));
  std::this_thread::sleep_for(1s);
  EXPECT_LT(stalled.read_all(2s).size(), size_t{16 << 20});
}

}  // namespace
}  // namespace orvane::testing
