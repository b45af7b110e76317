// The Bolt listener end to end: a real loopback socket, the connection
// loop, the framer, and the backend over a real Engine. What only the
// whole path shows: a result longer than one part arrives whole and in
// order, a read streams from its version while a write lands beside it,
// a dropped connection's transaction is rolled back, and hostile bytes get
// a FAILURE and a closed connection while the server goes on.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bolt/chunking.h"
#include "bolt/framer.h"
#include "bolt/packstream.h"
#include "bolt/server.h"
#include "bolt_client.h"
#include "console/engine.h"
#include "console/small_engine.h"
#include "net/listener.h"

namespace orvane::bolt {
namespace {

using namespace orvane::bolt::testing;  // NOLINT(google-build-using-namespace): the client helpers
using Lines = std::vector<std::string>;

const std::string kKey = "0123456789abcdef0123456789abcdef";
const PackMap kAgent{{"user_agent", "test/1"}, {"bolt_agent", PackMap{{"product", "test/1"}}}};

// One client connection over the socket.
class WireClient {
 public:
  explicit WireClient(unsigned short port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    EXPECT_EQ(0, ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address));
  }
  ~WireClient() { close(); }
  WireClient(const WireClient&) = delete;
  WireClient& operator=(const WireClient&) = delete;

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void send(const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;  // the server closed: what it answered is still read
      sent += static_cast<std::size_t>(n);
    }
  }
  // Exactly `n` bytes, or fewer when the connection ends first.
  std::string read_bytes(std::size_t n) {
    while (held_.size() < n && fill()) {
    }
    std::string out = held_.substr(0, n);
    held_.erase(0, out.size());
    return out;
  }
  // The next `count` responses, one line each; fewer when the connection
  // ends first.
  Lines read(std::size_t count) {
    std::size_t end = 0, complete = 0;
    for (std::size_t at = 0; complete < count;) {
      while (held_.size() < at + 2 && fill()) {
      }
      if (held_.size() < at + 2) break;
      const std::size_t length =
          (static_cast<unsigned char>(held_[at]) << 8) | static_cast<unsigned char>(held_[at + 1]);
      while (held_.size() < at + 2 + length && fill()) {
      }
      if (held_.size() < at + 2 + length) break;
      at += 2 + length;
      if (length == 0) {
        ++complete;
        end = at;
      }
    }
    const Lines lines = responses(std::string_view(held_).substr(0, end));
    held_.erase(0, end);
    return lines;
  }
  // Whether the server closed the connection (having sent nothing more).
  bool closed() {
    char byte;
    return held_.empty() && ::recv(fd_, &byte, 1, 0) == 0;
  }
  // Handshake, HELLO and LOGON with `password`: the LOGON answer.
  std::string connect(const std::string& password = kKey) {
    send(driver_handshake());
    EXPECT_EQ("00 00 08 05", hex_of(read_bytes(4)));
    send(hello(kAgent) + logon("neo4j", password));
    const Lines answers = read(2);
    return answers.size() == 2 ? answers[1] : "(closed)";
  }

 private:
  bool fill() {
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    held_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  std::string held_;
};

class BoltServerTest : public ::testing::Test {
 protected:
  BoltServerTest() : engine(orvane::testing::small_engine()) {
    const int listener = net::open_listener(0, false);
    port = net::bound_port(listener);
    BoltServerOptions options = bolt_server_options(listener, 4, kKey);
    server = std::thread([this, options] { serve_bolt(engine, options, &stop); });
  }
  ~BoltServerTest() override {
    stop = true;
    server.join();
  }

  // The one value of a statement's one row, as the client renders it.
  std::string value_of(const std::string& statement) {
    WireClient client(port);
    client.connect();
    client.send(run(statement) + pull(-1));
    const Lines answers = client.read(3);
    return answers.size() == 3 ? answers[1] : "(no answer)";
  }

  Engine engine;
  std::atomic<bool> stop{false};
  unsigned short port = 0;
  std::thread server;
};

TEST_F(BoltServerTest, ALongResultArrivesWholeAndInOrder) {
  WireClient client(port);
  ASSERT_EQ("SUCCESS {}", client.connect());
  const int rows = 200000;  // several parts of the answer
  client.send(run("UNWIND range(1, " + std::to_string(rows) + ") AS i RETURN i") + pull(-1) + run("RETURN 7") +
              pull(-1));
  const Lines answers = client.read(rows + 5);
  ASSERT_EQ(static_cast<std::size_t>(rows + 5), answers.size());
  for (int i = 1; i <= rows; ++i) {
    if (answers[i] != "RECORD [" + std::to_string(i) + "]") FAIL() << i << ": " << answers[i];
  }
  EXPECT_TRUE(answers[rows + 1].starts_with("SUCCESS {type: \"r\"")) << answers[rows + 1];
  // The message pipelined behind the long PULL is answered after it.
  EXPECT_EQ("RECORD [7]", answers[rows + 3]);
}

TEST_F(BoltServerTest, AReadStreamsItsVersionWhileAWriteLandsBesideIt) {
  WireClient reader(port);
  ASSERT_EQ("SUCCESS {}", reader.connect());
  reader.send(run("MATCH (n) RETURN n.name ORDER BY n.name") + pull(3));
  ASSERT_EQ(5u, reader.read(5).size());  // SUCCESS, three records, has_more
  // The write does not wait for the reader, and the reader's rows stay
  // those of the version it started on.
  EXPECT_EQ("RECORD [1]", value_of("CREATE (n:Beside {name: 'zz'}) RETURN count(n)"));
  reader.send(pull(-1));
  const Lines rest = reader.read(12);  // the other 11 of the 14 nodes, and the end
  ASSERT_EQ(12u, rest.size());
  EXPECT_TRUE(rest.back().starts_with("SUCCESS {type: \"r\"")) << rest.back();
  for (const std::string& line : rest) EXPECT_EQ(std::string::npos, line.find("\"zz\"")) << line;
  EXPECT_EQ("RECORD [1]", value_of("MATCH (n:Beside) RETURN count(n)"));
}

// A transaction's reads before its first write stream from the committed
// graph (executeRead's usual shape): a write from elsewhere lands while
// one is half read, and the transaction's own write after it still counts.
TEST_F(BoltServerTest, ATransactionsReadsStreamUntilItWrites) {
  WireClient tx(port);
  ASSERT_EQ("SUCCESS {}", tx.connect());
  tx.send(begin() + run("UNWIND range(1, 50000) AS i RETURN i") + pull(10));
  const Lines first = tx.read(13);  // BEGIN, RUN, ten records, has_more
  ASSERT_EQ(13u, first.size());
  EXPECT_EQ("SUCCESS {has_more: true}", first.back());
  EXPECT_EQ("RECORD [1]", value_of("CREATE (n:Elsewhere) RETURN count(n)"));
  tx.send(pull(-1) + run("MATCH (n:Elsewhere) RETURN count(n)") + pull(-1) + run("CREATE (:Mine)") + pull(-1) +
          commit());
  const Lines rest = tx.read(49990 + 1 + 3 + 2 + 1);
  ASSERT_EQ(49997u, rest.size());
  EXPECT_EQ("RECORD [50000]", rest[49989]);
  EXPECT_EQ("RECORD [1]", rest[49992]);  // read committed: the other write is seen
  EXPECT_TRUE(rest.back().starts_with("SUCCESS {")) << rest.back();  // committed
  EXPECT_EQ("RECORD [1]", value_of("MATCH (n:Mine) RETURN count(n)"));
}

// Streamed, not made whole first: under a bound of 100,000 steps, the
// 500,000 rows of a transaction's read cannot all be made, but its first
// ten can be pulled.
TEST_F(BoltServerTest, ATransactionsReadIsNotMadeWholeAtItsRun) {
  WorkBound bound;
  bound.steps = 100000;
  engine.set_query_bound(bound);  // before any statement runs
  WireClient tx(port);
  ASSERT_EQ("SUCCESS {}", tx.connect());
  tx.send(begin() + run("UNWIND range(1, 50000) AS i UNWIND range(1, 10) AS j RETURN i, j") + pull(10) + rollback());
  const Lines answers = tx.read(14);  // BEGIN, RUN, ten records, has_more, ROLLBACK
  ASSERT_EQ(14u, answers.size()) << answers.back();
  EXPECT_EQ("RECORD [1, 10]", answers[11]);
  EXPECT_EQ("SUCCESS {}", answers.back());
}

TEST_F(BoltServerTest, ADroppedConnectionRollsItsTransactionBack) {
  {
    WireClient client(port);
    ASSERT_EQ("SUCCESS {}", client.connect());
    client.send(begin() + run("CREATE (:Dropped)") + pull(-1));
    ASSERT_EQ(3u, client.read(3).size());
  }
  // The rollback runs once the server sees the connection end: until then
  // the transaction holds the database and a write is refused as transient.
  std::string created;
  for (int attempt = 0; attempt < 100; ++attempt) {
    created = value_of("CREATE (n:After) RETURN count(n)");
    if (created == "RECORD [1]") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ("RECORD [1]", created);
  EXPECT_EQ("RECORD [0]", value_of("MATCH (n:Dropped) RETURN count(n)"));
}

// Every fault a client can cause ends in a FAILURE (and a closed
// connection where nothing after it can be trusted); the server serves the
// next client as before.
TEST_F(BoltServerTest, HostileInputsGetAFailureAndAClose) {
  std::string oversized;  // chunks past the 16 MiB message limit, never ended
  const std::string chunk = bytes_of("FF FF") + std::string(65535, 'x');
  while (oversized.size() < kDefaultMaxMessage + 2 * chunk.size()) oversized += chunk;
  std::string deep(100, '\x91');
  deep += '\x01';
  std::string deep_run;
  append_chunked(deep_run, bytes_of("B3 10 81 78 A1 81 70") + deep + bytes_of("A0"));
  std::string past_end;  // a string that claims more bytes than the message holds
  append_chunked(past_end, bytes_of("B3 10 D0 40 41 A0 A0"));
  const struct {
    const char* name;
    std::string bytes;
    std::string failure;
    bool closes;
  } cases[] = {
      {"oversized message", oversized,
       "FAILURE Neo.ClientError.Request.InvalidFormat: message exceeds the limit of 16777216 bytes", true},
      {"deep nesting", deep_run,
       "FAILURE Neo.ClientError.Request.InvalidFormat: PackStream: values nested deeper than 64 levels", true},
      {"string past the message end", past_end, "FAILURE Neo.ClientError.Request.InvalidFormat: PackStream:", true},
      {"unknown tag", request(0x77), "FAILURE Neo.ClientError.Request.Invalid: invalid message: unknown message tag",
       false},
      {"PULL without a result", pull(-1), "FAILURE Neo.ClientError.Request.Invalid: Message 'PULL' cannot be handled",
       false},
  };
  for (const auto& c : cases) {
    WireClient client(port);
    ASSERT_EQ("SUCCESS {}", client.connect()) << c.name;
    client.send(c.bytes);
    const Lines answer = client.read(1);
    ASSERT_EQ(1u, answer.size()) << c.name;
    EXPECT_TRUE(answer[0].starts_with(c.failure)) << c.name << ": " << answer[0];
    if (c.closes) {
      EXPECT_TRUE(client.closed()) << c.name;
    } else {
      client.send(reset());
      EXPECT_EQ(Lines{"SUCCESS {}"}, client.read(1)) << c.name;
    }
  }
  // A wrong magic and a wrong password close at once.
  WireClient stranger(port);
  stranger.send(std::string(20, 'G'));
  EXPECT_TRUE(stranger.closed());
  WireClient guesser(port);
  EXPECT_EQ("FAILURE Neo.ClientError.Security.Unauthorized: The client is unauthorized due to authentication failure.",
            guesser.connect("guess"));
  EXPECT_TRUE(guesser.closed());
  EXPECT_EQ("RECORD [1]", value_of("RETURN 1"));
}

// The framer hands the connection whole messages however the bytes arrive,
// and passes a message over the limit on at once instead of holding it.
TEST(BoltFramer, CutsWholeMessagesWhateverPiecesArrive) {
  std::string message;
  append_chunked(message, std::string(70000, 'm'));  // two chunks and the end
  const std::string stream = driver_handshake() + message + bytes_of("00 00") + message;
  for (const std::size_t piece : {1u, 7u, 19u, 20u, 21u, 65537u, 200000u}) {
    BoltFramer framer;
    std::string taken;
    std::size_t takes = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      if (framer.feed(std::string_view(stream).substr(at, piece)) == net::Framer::State::kComplete) {
        taken += framer.take_message();
        ++takes;
      }
    }
    EXPECT_EQ(stream, taken) << piece;
    EXPECT_EQ(0u, framer.buffered()) << piece;
    if (piece <= 20) {
      EXPECT_GE(takes, 2u) << piece;  // the handshake never waits for the first message
    }
  }
  BoltFramer limited(100);
  EXPECT_EQ(net::Framer::State::kNeedMore, limited.feed(driver_handshake().substr(0, 19)));
  limited.feed(driver_handshake().substr(19));
  limited.take_message();
  EXPECT_EQ(net::Framer::State::kNeedMore, limited.feed(bytes_of("00 10") + std::string(16, 'a')));
  EXPECT_EQ(net::Framer::State::kComplete, limited.feed(bytes_of("00 60") + std::string(10, 'a')));
  EXPECT_EQ(30u, limited.take_message().size());
}

}  // namespace
}  // namespace orvane::bolt
