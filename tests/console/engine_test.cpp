// The Engine's defaults and registry, and the JSON form of console results.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/engine.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

std::string failure(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(Engine, NewEngineDefaults) {
  const Engine e;
  EXPECT_EQ("|site||", e.web_root + "|" + e.site_root + "|" + e.snapshot_path + "|" + e.instance_id);
  EXPECT_EQ("orvane", e.current);
  EXPECT_EQ((std::unordered_map<std::string, std::string>{{"id", "0"}, {"other", "12"}}), e.params);
  EXPECT_EQ(nlohmann::json::parse(R"({"node":{"caption":"{name}","Person":"#0b1f33","Paper":"#1a4f8b"},)"
                                  R"("rel":{"FOLLOWS":"#1a4f8b","AUTHORED":"#0b1f33"}})"),
            nlohmann::json::parse(e.style));
  EXPECT_EQ(0, e.auto_entropy_every + e.statements_since_optimize);
  EXPECT_EQ(0u, e.statement_count + e.error_count + e.changes.size() + e.query_log.size() + e.remotes.size() +
                    e.databases.size());
  EXPECT_EQ(0.0, e.total_statement_ns);
}

TEST(Engine, RegistryRegistersSelectsAndLooksUp) {
  Engine e;
  EXPECT_EQ("unknown database: orvane", failure([&] { e.database(); }));
  e.register_database("social", testing::triangle());
  e.register_database("Social", testing::star(2));
  EXPECT_EQ("unknown database: orvane", failure([&] { e.database(""); }));
  EXPECT_EQ(3u, e.database("social").graph.node_count);
  EXPECT_EQ(3u, e.database("Social").graph.node_count);
  EXPECT_EQ("orvane", e.current);  // registering never selects

  e.use_database("Social");
  EXPECT_EQ(&e.database("Social"), &e.database(""));
  EXPECT_EQ("unknown database: SOCIAL", failure([&] { e.use_database("SOCIAL"); }));
  EXPECT_EQ("unknown database: ", failure([&] { e.use_database(""); }));
  EXPECT_EQ("Social", e.current);

  e.register_database("social", testing::star(5));  // replaces
  EXPECT_EQ(2u, e.databases.size());
  EXPECT_EQ(6u, e.database("social").graph.node_count);
  EXPECT_EQ("database name must not be empty", failure([&] { e.register_database("", Database()); }));
  EXPECT_EQ(2u, e.databases.size());
}

TEST(Engine, QueryLogKeepsTheLatest200) {
  Engine e;
  for (int i = 0; i < 205; ++i) e.log_statement("q" + std::to_string(i), i, true);
  ASSERT_EQ(kQueryLogCapacity, e.query_log.size());
  EXPECT_EQ("q5", e.query_log.front().cypher);
  EXPECT_EQ("q204", e.query_log.back().cypher);
}

TEST(ConsoleResultJson, MemberOrderAndEscaping) {
  ConsoleResult failed;
  failed.ok = false;
  failed.kind = "error";
  failed.error = "unrecognized query — try :help";
  failed.query = "hello";
  EXPECT_EQ(
      "{\"ok\":false,\"kind\":\"error\",\"count\":0,\"ns\":0,\"error\":\"unrecognized query — try :help\","
      "\"query\":\"hello\",\"nodes\":[],\"rels\":[]}",
      result_json(failed));

  ConsoleResult r;
  r.kind = "graph";
  r.count = 2;
  r.ns = 1234567;
  r.query = "a\tb\r\n\x01\"\\";
  r.data = "{\"x\":1}";
  r.nodes = {{0, "Person", "ann", 3}, {7, "Paper", "p\"1", 0}};
  r.rels = {{0, 7, "AUTHORED"}};
  EXPECT_EQ(
      "{\"ok\":true,\"kind\":\"graph\",\"count\":2,\"ns\":1.23457e+06,\"error\":\"\",\"query\":\"a\\tb\\n\\u0001\\\"\\\\\","
      "\"data\":{\"x\":1},\"nodes\":[{\"id\":0,\"label\":\"Person\",\"name\":\"ann\",\"topic\":3},{\"id\":7,\"label\":"
      "\"Paper\",\"name\":\"p\\\"1\",\"topic\":0}],\"rels\":[{\"src\":0,\"dst\":7,\"type\":\"AUTHORED\"}]}",
      result_json(r));
}

}  // namespace
}  // namespace orvane
