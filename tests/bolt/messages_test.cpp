// The focus of this file is reading requests into typed structs: every
// message's fields checked by type and count, messages a version does not
// define refused, and the responses' exact shapes.
#include "bolt/messages.h"

#include <gtest/gtest.h>

#include "bolt/bolt_error.h"
#include "bolt_client.h"

namespace orvane::bolt {
namespace {

constexpr BoltVersion k44{4, 4}, k50{5, 0}, k54{5, 4}, k58{5, 8};

PackValue message(std::uint8_t tag, PackList fields = {}) { return PackStruct{tag, std::move(fields)}; }

TEST(BoltMessages, ReadsRequests) {
  const Request run = decode_request(message(0x10, {"RETURN $x", PackMap{{"x", 1}},
                                                    PackMap{{"bookmarks", PackList{"b1"}},
                                                            {"tx_timeout", 500},
                                                            {"mode", "r"},
                                                            {"db", "movies"},
                                                            {"tx_metadata", PackMap{{"app", "t"}}},
                                                            {"imp_user", PackValue()}}}),
                                     k58);
  const auto& r = std::get<RunRequest>(run);
  EXPECT_EQ("RETURN $x", r.query);
  EXPECT_EQ((PackMap{{"x", 1}}), r.parameters);
  EXPECT_EQ(std::vector<std::string>{"b1"}, r.settings.bookmarks);
  EXPECT_EQ(500, r.settings.tx_timeout.value());
  EXPECT_TRUE(r.settings.read_only);
  EXPECT_EQ("movies", r.settings.db);
  EXPECT_EQ("", r.settings.imp_user);  // null reads as absent

  const auto pull = std::get<PullRequest>(decode_request(message(0x3F, {PackMap{{"n", 100}, {"qid", 2}}}), k58));
  EXPECT_EQ(100, pull.n);
  EXPECT_EQ(2, pull.qid);
  const auto discard = std::get<DiscardRequest>(decode_request(message(0x2F, {PackMap{{"n", -1}}}), k44));
  EXPECT_EQ(-1, discard.n);
  EXPECT_EQ(-1, discard.qid);

  const auto hello44 = std::get<HelloRequest>(decode_request(message(0x01, {PackMap{{"user_agent", "d/1"},
                                                                                    {"scheme", "basic"},
                                                                                    {"principal", "neo4j"},
                                                                                    {"credentials", "pw"},
                                                                                    {"patch_bolt", PackList{"utc"}},
                                                                                    {"routing", PackMap{}}}}),
                                                             k44));
  ASSERT_TRUE(hello44.auth.has_value());
  EXPECT_EQ("neo4j", hello44.auth->principal);
  EXPECT_EQ("pw", hello44.auth->credentials);
  EXPECT_EQ(std::vector<std::string>{"utc"}, hello44.patch_bolt);
  EXPECT_TRUE(hello44.routing.has_value());
  const auto hello58 = std::get<HelloRequest>(decode_request(
      message(0x01, {PackMap{{"user_agent", "d/1"}, {"bolt_agent", PackMap{{"product", "d/1"}}}}}), k58));
  EXPECT_FALSE(hello58.auth.has_value());

  const auto route = std::get<RouteRequest>(
      decode_request(message(0x66, {PackMap{{"address", "h:1"}}, PackList{"b"}, PackMap{{"db", "x"}}}), k50));
  EXPECT_EQ("x", route.db);
  EXPECT_EQ(42, std::get<TelemetryRequest>(decode_request(message(0x54, {42}), k54)).api);
  EXPECT_EQ(
      "pw",
      std::get<LogonRequest>(decode_request(message(0x6A, {PackMap{{"credentials", "pw"}}}), k58)).auth.credentials);
  const std::uint8_t empty[] = {0x02, 0x0F, 0x12, 0x13, 0x6B};
  const char* names[] = {"GOODBYE", "RESET", "COMMIT", "ROLLBACK", "LOGOFF"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(names[i], request_name(decode_request(message(empty[i]), k58)));
}

TEST(BoltMessages, RefusesMalformedRequests) {
  struct Case {
    PackValue message;
    BoltVersion version;
    const char* error;
  };
  const PackMap agent{{"user_agent", "d/1"}};
  const Case cases[] = {
      {PackValue(1), k58, "invalid message: expected a structure, got Integer"},
      {message(0x99), k58, "invalid message: unknown message tag 0x99 for Bolt 5.8"},
      {message(0x6A, {PackMap{}}), k50, "invalid message: unknown message tag 0x6A for Bolt 5.0"},
      {message(0x6B), k44, "invalid message: unknown message tag 0x6B for Bolt 4.4"},
      {message(0x54, {1}), k50, "invalid message: unknown message tag 0x54 for Bolt 5.0"},
      {message(0x10, {"RETURN 1", PackMap{}}), k58, "invalid RUN message: expected 3 fields, got 2"},
      {message(0x10, {1, PackMap{}, PackMap{}}), k58, "invalid RUN message: the query must be a String, not Integer"},
      {message(0x10, {"q", PackList{}, PackMap{}}), k58, "invalid RUN message: the parameters must be a Map, not List"},
      {message(0x10, {"q", PackMap{}, PackMap{{"mode", "x"}}}), k58,
       "invalid RUN message: \"mode\" must be \"r\" or \"w\""},
      {message(0x10, {"q", PackMap{}, PackMap{{"db", 1}}}), k58,
       "invalid RUN message: \"db\" must be a String, not Integer"},
      {message(0x10, {"q", PackMap{}, PackMap{{"bookmarks", PackList{1}}}}), k58,
       "invalid RUN message: \"bookmarks\" must hold Strings only"},
      {message(0x10, {"q", PackMap{}, PackMap{{"tx_timeout", -1}}}), k58,
       "invalid RUN message: \"tx_timeout\" must not be negative"},
      {message(0x3F, {PackMap{}}), k58, "invalid PULL message: \"n\" is missing"},
      {message(0x3F, {PackMap{{"n", "all"}}}), k58, "invalid PULL message: \"n\" must be an Integer, not String"},
      {message(0x3F, {PackMap{{"n", 0}}}), k58, "invalid PULL message: \"n\" must be -1 or positive"},
      {message(0x2F, {PackMap{{"n", -2}}}), k58, "invalid DISCARD message: \"n\" must be -1 or positive"},
      {message(0x2F, {PackMap{{"n", 1}, {"qid", -5}}}), k58,
       "invalid DISCARD message: \"qid\" must be -1 or a result id"},
      {message(0x12, {1}), k58, "invalid COMMIT message: expected 0 fields, got 1"},
      {message(0x01, {PackMap{}}), k58, "invalid HELLO message: \"user_agent\" is missing"},
      {message(0x01, {agent}), k58, "invalid HELLO message: \"bolt_agent\" is missing"},
      {message(0x01, {PackMap{{"user_agent", "d"}, {"principal", 7}}}), k44,
       "invalid HELLO message: \"principal\" must be a String, not Integer"},
      {message(0x66, {PackMap{}, PackList{}, "db"}), k58, "invalid ROUTE message: extra must be a Map, not String"},
      {message(0x54, {"x"}), k58, "invalid TELEMETRY message: the api must be an Integer, not String"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    try {
      decode_request(c.message, c.version);
      ADD_FAILURE() << "accepted";
    } catch (const BoltError& e) {
      EXPECT_EQ(c.error, std::string(e.what()));
      EXPECT_EQ(kRequestInvalid, e.code());
    }
  }
}

TEST(BoltMessages, WritesResponses) {
  using testing::hex_of;
  EXPECT_EQ("B1 70 A1 81 78 01", hex_of(success_message({{"x", 1}})));
  EXPECT_EQ("B0 7E", hex_of(ignored_message()));
  EXPECT_EQ(to_debug_text(PackStruct{0x7F, {PackMap{{"code", "C"}, {"message", "m"}}}}),
            to_debug_text(decode(failure_message("C", "m", k54))));
  EXPECT_EQ(to_debug_text(
                PackStruct{0x7F,
                           {PackMap{{"neo4j_code", "Neo.ClientError.Statement.SyntaxError"},
                                    {"message", "m"},
                                    {"gql_status", "42000"},
                                    {"description", "m"},
                                    {"diagnostic_record",
                                     PackMap{{"OPERATION", ""}, {"OPERATION_CODE", "0"}, {"CURRENT_SCHEMA", "/"}}}}}}),
            to_debug_text(decode(failure_message("Neo.ClientError.Statement.SyntaxError", "m", k58))));
}

}  // namespace
}  // namespace orvane::bolt
