// The console operations behind the API routes: the databases document's
// order, escaping and connection strings, remote registration (overrides,
// refusals that change nothing), the cutover plan's overrides and the
// retrieval document's hop floor.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console/api_operations.h"
#include "console/engine.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using json = nlohmann::json;

TEST(ApiOperations, DatabasesSortedByBytesWithConnectionStrings) {
  Engine e;
  e.register_database("b", testing::triangle());
  e.register_database("B \"x\"", testing::triangle());
  e.register_database("a/b", testing::triangle());
  e.use_database("b");
  EXPECT_EQ(
      R"({"current":"b","names":["B \"x\"","a/b","b"],"connections":[)"
      R"({"database":"B \"x\"","connection":"halvex://h.example:9/B%20%22x%22"},)"
      R"({"database":"a/b","connection":"halvex://h.example:9/a%2Fb"},)"
      R"({"database":"b","connection":"halvex://h.example:9/b"}]})",
      databases_document(e, "h.example:9"));
  EXPECT_EQ("halvex://127.0.0.1:7475/b", json::parse(databases_document(e, ""))["connections"][2]["connection"]);
}

TEST(ApiOperations, RemoteFieldsOverrideTheConnectionString) {
  Engine e;
  RemoteFields fields;
  fields.connection = "halvex://:secret@127.0.0.1:1/first?key=/k1";
  fields.name = "r9";
  fields.database = "second";
  register_remote(e, fields);
  ASSERT_EQ(1u, e.remotes.size());
  const RemoteEndpoint& r = e.remotes[0];
  EXPECT_EQ("r9 127.0.0.1:1 secret /k1 second", r.name + " " + r.url + " " + r.password + " " + r.key_file + " " +
                                                     r.database);
  EXPECT_TRUE(r.probed && !r.reachable);
  EXPECT_EQ("remote", e.changes.back().op);
}

TEST(ApiOperations, RefusedRemoteChangesNothing) {
  Engine e;
  const std::string cases[][3] = {{"halvex://:1/db", "", "invalid connection string"}, {"", "0", "invalid port: 0"},
                                  {"", "65536", "invalid port: 65536"}, {"", "x", "stoul"}};
  for (const auto& [connection, port, message] : cases) {
    RemoteFields fields;
    fields.connection = connection;
    fields.port = port;
    EXPECT_EQ(message, testing::error_of([&] { register_remote(e, fields); })) << connection << port;
  }
  EXPECT_TRUE(e.remotes.empty() && e.changes.empty());
}

TEST(ApiOperations, CutoverOverridesOnlyNonEmptyValues) {
  const json defaults = json::parse(cutover_plan_document("", "", ""));
  EXPECT_EQ("ORVANE_HOST", defaults["destination"]["host"]);
  EXPECT_EQ("data", defaults["source"]["dump_dir"]);
  const json plan = json::parse(cutover_plan_document("bolt://b:1", "dumps", "h"));
  EXPECT_EQ("bolt://b:1", plan["source"]["bolt"]);
  EXPECT_EQ("dumps", plan["source"]["dump_dir"]);
  EXPECT_EQ("h", plan["destination"]["host"]);
}

TEST(ApiOperations, RetrievalReadsANegativeRadiusAsZero) {
  Engine e;
  e.register_database("orvane", testing::mixed_graph());
  const json doc = json::parse(retrieval_document(e, "graph", 2, -5));
  EXPECT_EQ(0, doc["expand_hops"]);
  EXPECT_EQ(2, doc["k"]);
  e.current = "gone";
  EXPECT_THROW(retrieval_document(e, "graph", 2, 1), std::runtime_error);
}

}  // namespace
}  // namespace orvane
