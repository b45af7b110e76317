// The focus of this file is the session as a driver meets it, over a
// BoltConnection and a scripted backend: the handshake, authentication in
// HELLO (4.4, 5.0) or LOGON (5.1+), streaming in batches, explicit
// transactions with several results, failures and RESET, messages out of
// order, and hostile bytes that close the connection.
#include <gtest/gtest.h>

#include "bolt/connection.h"
#include "bolt_client.h"
#include "fake_backend.h"

namespace orvane::bolt {
namespace {

using namespace orvane::bolt::testing;  // NOLINT(google-build-using-namespace): the client helpers
using Lines = std::vector<std::string>;

const PackMap kAgent58{{"user_agent", "test/1"}, {"bolt_agent", PackMap{{"product", "test/1"}}}};
const char* const kHelloSuccess = "SUCCESS {server: \"Neo4j/5.26.0\", connection_id: \"bolt-0\", hints: {}}";

class BoltSessionTest : public ::testing::Test {
 protected:
  BoltSessionTest() {
    backend.scripts["RETURN 1 AS x"] = rows_script({"x"}, {{1}});
    backend.scripts["UNWIND range(1, 5) AS x RETURN x"] = rows_script({"x"}, {{1}, {2}, {3}, {4}, {5}});
    backend.scripts["CREATE ()"] = rows_script({}, {}, "w");
    Script failing = rows_script({"x"}, {{1}, {2}});
    failing.at_row = BoltError("Neo.ClientError.Statement.ArithmeticError", "/ by zero");
    failing.fail_after = 1;
    backend.scripts["RETURN 1 / x"] = failing;
  }

  Lines send(const std::string& bytes) { return responses(connection.receive(bytes)); }

  // Handshake, HELLO and LOGON as neo4j-driver 6 does them.
  void connect() {
    ASSERT_EQ("00 00 08 05", hex_of(connection.receive(driver_handshake())));
    ASSERT_EQ(Lines{kHelloSuccess}, send(hello(kAgent58)));
    ASSERT_EQ(Lines{"SUCCESS {}"}, send(logon("neo4j", "secret")));
    ASSERT_EQ(SessionState::kReady, connection.state());
  }

  FakeBackend backend;
  BoltConnection connection{backend};
};

TEST(BoltHandshake, ChoosesTheHighestSupportedVersion) {
  struct Case {
    std::string bytes;
    const char* answer;
  };
  const Case cases[] = {
      {driver_handshake(), "00 00 08 05"},
      {handshake({{5, 4, 0}}), "00 00 04 05"},
      {handshake({{4, 4, 0}}), "00 00 04 04"},
      {handshake({{4, 4, 2}, {5, 0, 0}}), "00 00 00 05"},
      {handshake({{5, 10, 4}}), "00 00 08 05"},
      {handshake({{5, 10, 1}}), "00 00 00 00"},
      {handshake({{6, 0, 0}, {5, 2, 2}}), "00 00 02 05"},
      {handshake({{4, 3, 3}, {3, 0, 0}}), "00 00 00 00"},
      {handshake({{5, 3, 200}}), "00 00 03 05"},
      {handshake({}), "00 00 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hex_of(c.bytes));
    FakeBackend backend;
    BoltConnection connection(backend);
    EXPECT_EQ(c.answer, hex_of(connection.receive(c.bytes)));
    EXPECT_EQ(std::string(c.answer) == "00 00 00 00", connection.closed());
  }
}

TEST(BoltHandshake, WaitsForTwentyBytesAndRefusesAWrongMagic) {
  FakeBackend backend;
  BoltConnection truncated(backend);
  const std::string bytes = driver_handshake();
  EXPECT_EQ("", truncated.receive(bytes.substr(0, 11)));
  EXPECT_FALSE(truncated.closed());
  EXPECT_EQ("00 00 08 05", hex_of(truncated.receive(bytes.substr(11))));

  // Messages may follow the handshake in the same bytes.
  BoltConnection eager(backend);
  const std::string answer = eager.receive(bytes + hello(kAgent58));
  EXPECT_EQ("00 00 08 05", hex_of(answer.substr(0, 4)));
  EXPECT_EQ(Lines{kHelloSuccess}, responses(answer.substr(4)));

  BoltConnection http(backend);
  EXPECT_EQ("", http.receive("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
  EXPECT_TRUE(http.closed());
  EXPECT_EQ("", http.receive(driver_handshake()));
}

TEST_F(BoltSessionTest, StreamsInBatches) {
  connect();
  EXPECT_EQ(Lines{"SUCCESS {fields: [\"x\"]}"}, send(run("UNWIND range(1, 5) AS x RETURN x")));
  EXPECT_EQ(SessionState::kStreaming, connection.state());
  EXPECT_EQ((Lines{"RECORD [1]", "RECORD [2]", "SUCCESS {has_more: true}"}), send(pull(2)));
  EXPECT_EQ((Lines{"RECORD [3]", "RECORD [4]", "SUCCESS {has_more: true}"}), send(pull(2)));
  EXPECT_EQ((Lines{"RECORD [5]", "SUCCESS {type: \"r\", db: \"neo4j\", bookmark: \"bm-auto\"}"}), send(pull(2)));
  EXPECT_EQ(SessionState::kReady, connection.state());
  EXPECT_EQ((Lines{"auth neo4j", "run UNWIND range(1, 5) AS x RETURN x auto",
                   "finish UNWIND range(1, 5) AS x RETURN x after 5 rows"}),
            backend.log);
}

TEST_F(BoltSessionTest, PipelinedRequestsAnswerInOrder) {
  connect();
  EXPECT_EQ(
      (Lines{"SUCCESS {fields: [\"x\"]}", "RECORD [1]", "SUCCESS {type: \"r\", db: \"neo4j\", bookmark: \"bm-auto\"}",
             "SUCCESS {fields: []}", "SUCCESS {type: \"w\", db: \"neo4j\", bookmark: \"bm-auto\"}"}),
      send(run("RETURN 1 AS x") + pull(-1) + run("CREATE ()") + pull(1000)));
}

TEST_F(BoltSessionTest, ReadsParameters) {
  connect();
  backend.scripts["RETURN $d, $l"] = rows_script({"d", "l"}, {});
  EXPECT_EQ(
      Lines{"SUCCESS {fields: [\"d\", \"l\"]}"},
      send(run("RETURN $d, $l", PackMap{{"d", PackStruct{0x44, {3}}}, {"l", PackList{1}}}, PackMap{{"db", "x"}})));
  EXPECT_EQ("run RETURN $d, $l $d=DATE $l=LIST<ANY> db=x auto", backend.log.back());
  send(reset());
  EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Request.Invalid: invalid parameter: nodes, relationships and paths cannot "
                  "be sent as parameters"},
            send(run("RETURN $d, $l", PackMap{{"d", PackStruct{0x4E, {1, PackList{}, PackMap{}}}}})));
  EXPECT_EQ(SessionState::kFailed, connection.state());
}

TEST_F(BoltSessionTest, DiscardsRows) {
  connect();
  send(run("UNWIND range(1, 5) AS x RETURN x"));
  EXPECT_EQ(Lines{"SUCCESS {has_more: true}"}, send(discard(2)));
  EXPECT_EQ(Lines{"SUCCESS {type: \"r\", db: \"neo4j\", bookmark: \"bm-auto\"}"}, send(discard(-1)));
  EXPECT_EQ("finish UNWIND range(1, 5) AS x RETURN x after 2 rows", backend.log.back());
  EXPECT_EQ(SessionState::kReady, connection.state());
}

TEST_F(BoltSessionTest, TransactionsStreamSeveralResults) {
  connect();
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(begin(PackMap{{"mode", "r"}})));
  EXPECT_EQ(SessionState::kTxReady, connection.state());
  EXPECT_EQ(Lines{"SUCCESS {fields: [\"x\"], qid: 0}"}, send(run("UNWIND range(1, 5) AS x RETURN x")));
  EXPECT_EQ(Lines{"SUCCESS {fields: [\"x\"], qid: 1}"}, send(run("RETURN 1 AS x")));
  EXPECT_EQ(SessionState::kTxStreaming, connection.state());
  EXPECT_EQ((Lines{"RECORD [1]", "SUCCESS {has_more: true}"}), send(pull(1, 0)));
  EXPECT_EQ((Lines{"RECORD [1]", "SUCCESS {type: \"r\", db: \"neo4j\"}"}), send(pull(-1)));
  EXPECT_EQ((Lines{"FAILURE Neo.ClientError.Request.Invalid: no open result with qid -1"}), send(pull(-1)));
  send(reset());
  send(begin());
  send(run("UNWIND range(1, 5) AS x RETURN x"));
  EXPECT_EQ((Lines{"RECORD [1]", "RECORD [2]", "RECORD [3]", "RECORD [4]", "RECORD [5]",
                   "SUCCESS {type: \"r\", db: \"neo4j\"}"}),
            send(pull(-1, 0)));
  EXPECT_EQ(SessionState::kTxReady, connection.state());
  EXPECT_EQ(Lines{"SUCCESS {bookmark: \"bm-tx\"}"}, send(commit()));
  EXPECT_EQ(SessionState::kReady, connection.state());
  EXPECT_EQ((Lines{"auth neo4j", "begin read", "run UNWIND range(1, 5) AS x RETURN x tx", "run RETURN 1 AS x tx",
                   "finish RETURN 1 AS x after 1 rows", "drop UNWIND range(1, 5) AS x RETURN x", "rollback", "begin",
                   "run UNWIND range(1, 5) AS x RETURN x tx", "finish UNWIND range(1, 5) AS x RETURN x after 5 rows",
                   "commit"}),
            backend.log);
}

TEST_F(BoltSessionTest, CommitEndsOpenResultsAndRollbackDropsThem) {
  connect();
  send(begin() + run("RETURN 1 AS x"));
  EXPECT_EQ(Lines{"SUCCESS {bookmark: \"bm-tx\"}"}, send(commit()));
  send(begin() + run("RETURN 1 AS x"));
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(rollback()));
  EXPECT_EQ((Lines{"auth neo4j", "begin", "run RETURN 1 AS x tx", "finish RETURN 1 AS x after 0 rows", "commit",
                   "begin", "run RETURN 1 AS x tx", "drop RETURN 1 AS x", "rollback"}),
            backend.log);
}

TEST_F(BoltSessionTest, FailureIgnoresUntilReset) {
  connect();
  EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Statement.SyntaxError: no script for RETURN"}, send(run("RETURN")));
  EXPECT_EQ(SessionState::kFailed, connection.state());
  EXPECT_EQ((Lines{"IGNORED", "IGNORED", "IGNORED", "IGNORED"}),
            send(run("RETURN 1 AS x") + pull(-1) + begin() + commit()));
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(reset()));
  EXPECT_EQ(SessionState::kReady, connection.state());
  EXPECT_EQ(
      (Lines{"SUCCESS {fields: [\"x\"]}", "RECORD [1]", "SUCCESS {type: \"r\", db: \"neo4j\", bookmark: \"bm-auto\"}"}),
      send(run("RETURN 1 AS x") + pull(-1)));
}

TEST_F(BoltSessionTest, FailureWhileStreamingRollsTheTransactionBack) {
  connect();
  send(begin());
  send(run("RETURN 1 / x"));
  EXPECT_EQ((Lines{"RECORD [1]", "FAILURE Neo.ClientError.Statement.ArithmeticError: / by zero"}), send(pull(-1)));
  EXPECT_EQ(SessionState::kFailed, connection.state());
  EXPECT_EQ(Lines{"IGNORED"}, send(commit()));
  EXPECT_EQ((Lines{"auth neo4j", "begin", "run RETURN 1 / x tx", "drop RETURN 1 / x", "rollback"}), backend.log);
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(reset()));
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(begin()));
}

TEST_F(BoltSessionTest, FailedCommitRollsBack) {
  connect();
  backend.at_commit = BoltError("Neo.TransientError.Transaction.Outdated", "changed underneath");
  send(begin());
  EXPECT_EQ(Lines{"FAILURE Neo.TransientError.Transaction.Outdated: changed underneath"}, send(commit()));
  EXPECT_EQ("rollback", backend.log.back());
  EXPECT_EQ(SessionState::kFailed, connection.state());
}

TEST_F(BoltSessionTest, ResetInterruptsTheMessagesBeforeIt) {
  connect();
  EXPECT_EQ((Lines{"IGNORED", "IGNORED", "SUCCESS {}", "SUCCESS {fields: [\"x\"]}"}),
            send(run("RETURN 1 AS x") + pull(-1) + reset() + run("RETURN 1 AS x")));
  EXPECT_EQ((Lines{"auth neo4j", "run RETURN 1 AS x auto"}), backend.log);
  // A RESET while streaming ends the result.
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(reset()));
  EXPECT_EQ("drop RETURN 1 AS x", backend.log.back());
}

TEST_F(BoltSessionTest, RefusesMessagesOutOfOrder) {
  connect();
  struct Case {
    std::string setup;  // brings the session to the state under test
    std::string message;
    const char* failure;
  };
  const Case cases[] = {
      {"", pull(-1), "Message 'PULL' cannot be handled by a session in the READY state."},
      {"", discard(-1), "Message 'DISCARD' cannot be handled by a session in the READY state."},
      {"", commit(), "Message 'COMMIT' cannot be handled by a session in the READY state."},
      {"", rollback(), "Message 'ROLLBACK' cannot be handled by a session in the READY state."},
      {"", hello(kAgent58), "Message 'HELLO' cannot be handled by a session in the READY state."},
      {"", logon("neo4j", "secret"), "Message 'LOGON' cannot be handled by a session in the READY state."},
      {run("RETURN 1 AS x"), begin(), "Message 'BEGIN' cannot be handled by a session in the STREAMING state."},
      {run("RETURN 1 AS x"), run("RETURN 1 AS x"),
       "Message 'RUN' cannot be handled by a session in the STREAMING state."},
      {begin(), begin(), "Message 'BEGIN' cannot be handled by a session in the TX_READY state."},
      {begin(), pull(-1), "Message 'PULL' cannot be handled by a session in the TX_READY state."},
      {begin(), request(0x66, {PackMap{}, PackList{}, PackMap{}}),
       "Message 'ROUTE' cannot be handled by a session in the TX_READY state."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    send(c.setup);
    EXPECT_EQ(Lines{std::string("FAILURE Neo.ClientError.Request.Invalid: ") + c.failure}, send(c.message));
    EXPECT_EQ(SessionState::kFailed, connection.state());
    EXPECT_EQ(Lines{"SUCCESS {}"}, send(reset()));
  }
}

TEST_F(BoltSessionTest, AnythingButHelloFirstCloses) {
  connection.receive(driver_handshake());
  EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Request.Invalid: Message 'RUN' cannot be handled by a session in the "
                  "CONNECTED state."},
            send(run("RETURN 1 AS x")));
  EXPECT_TRUE(connection.closed());
  EXPECT_EQ(Lines{}, send(reset()));
}

TEST_F(BoltSessionTest, LogonIsRequiredFromFiveOne) {
  connection.receive(driver_handshake());
  send(hello(kAgent58));
  EXPECT_EQ(SessionState::kAuthentication, connection.state());
  EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Security.Unauthorized: The client is unauthorized due to authentication "
                  "failure."},
            send(logon("neo4j", "wrong")));
  EXPECT_TRUE(connection.closed());
}

TEST_F(BoltSessionTest, LogoffReturnsToAuthentication) {
  connect();
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(request(0x6B)));
  EXPECT_EQ(SessionState::kAuthentication, connection.state());
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(logon("neo4j", "secret")));
  EXPECT_EQ(SessionState::kReady, connection.state());
}

TEST(BoltAuthInHello, FiveZeroAndFourFourAuthenticateInHello) {
  for (const Proposal version : {Proposal{5, 0, 0}, Proposal{4, 4, 0}}) {
    SCOPED_TRACE(version.major);
    FakeBackend backend;
    BoltConnection ok(backend);
    ok.receive(handshake({version}));
    const PackMap auth{{"user_agent", "t"}, {"scheme", "basic"}, {"principal", "neo4j"}, {"credentials", "secret"}};
    EXPECT_EQ(Lines{kHelloSuccess}, responses(ok.receive(hello(auth))));
    EXPECT_EQ(SessionState::kReady, ok.state());

    BoltConnection refused(backend);
    refused.receive(handshake({version}));
    PackMap wrong = auth;
    wrong.back().value = "nope";
    EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Security.Unauthorized: The client is unauthorized due to authentication "
                    "failure."},
              responses(refused.receive(hello(wrong))));
    EXPECT_TRUE(refused.closed());
  }
}

TEST(BoltAuthInHello, FourFourNegotiatesTheUtcPatch) {
  for (const bool patch : {false, true}) {
    SCOPED_TRACE(patch);
    FakeBackend backend;
    backend.scripts["RETURN t"] = rows_script({"t"}, {{DateTime{0, 0, 3600, ""}}});
    BoltConnection connection(backend);
    connection.receive(handshake({{4, 4, 0}}));
    PackMap extra{{"user_agent", "t"}, {"credentials", "secret"}};
    if (patch) extra.push_back({"patch_bolt", PackList{"utc"}});
    EXPECT_EQ(
        Lines{patch ? "SUCCESS {server: \"Neo4j/5.26.0\", connection_id: \"bolt-0\", patch_bolt: [\"utc\"], hints: {}}"
                    : kHelloSuccess},
        responses(connection.receive(hello(extra))));
    const Lines got = responses(connection.receive(run("RETURN t") + pull(-1)));
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(patch ? "RECORD [Struct<0x49>(0, 0, 3600)]" : "RECORD [Struct<0x46>(3600, 0, 3600)]", got[1]);
  }
}

TEST_F(BoltSessionTest, RoutesAndTakesTelemetry) {
  connect();
  EXPECT_EQ(Lines{"SUCCESS {rt: {ttl: 300, servers: [{addresses: [\"127.0.0.1:7687\"], role: \"ROUTE\"}, "
                  "{addresses: [\"127.0.0.1:7687\"], role: \"READ\"}, {addresses: [\"127.0.0.1:7687\"], role: "
                  "\"WRITE\"}], db: \"movies\"}}"},
            send(request(0x66, {PackMap{{"address", "localhost:7687"}}, PackList{}, PackMap{{"db", "movies"}}})));
  EXPECT_EQ(Lines{"SUCCESS {}"}, send(request(0x54, {1})));
  EXPECT_EQ(SessionState::kReady, connection.state());
}

TEST_F(BoltSessionTest, GoodbyeRollsBackAndCloses) {
  connect();
  send(begin());
  EXPECT_EQ(Lines{}, send(goodbye()));
  EXPECT_TRUE(connection.closed());
  EXPECT_EQ("rollback", backend.log.back());
}

TEST_F(BoltSessionTest, HostileBytesClose) {
  connect();
  // An unknown message is the client's fault like any other: FAILED.
  EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Request.Invalid: invalid message: unknown message tag 0x77 for Bolt 5.8"},
            send(request(0x77)));
  EXPECT_FALSE(connection.closed());
  send(reset());
  // Bytes that are not PackStream close the connection.
  std::string garbage;
  append_chunked(garbage, bytes_of("B1 10 C7"));
  EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Request.InvalidFormat: PackStream: unknown marker byte 0xC7 at byte 2"},
            send(garbage));
  EXPECT_TRUE(connection.closed());
}

TEST(BoltConnectionLimits, ClosesOnAnOversizedMessage) {
  FakeBackend backend;
  SessionOptions options;
  options.max_message = 1000;
  BoltConnection connection(backend, options);
  connection.receive(driver_handshake());
  std::string big;
  append_chunked(big, encode(PackStruct{0x01, {PackMap{{"user_agent", std::string(2000, 'a')}}}}));
  EXPECT_EQ(Lines{"FAILURE Neo.ClientError.Request.InvalidFormat: message exceeds the limit of 1000 bytes"},
            responses(connection.receive(big)));
  EXPECT_TRUE(connection.closed());
}

}  // namespace
}  // namespace orvane::bolt
