// Executor: hand-built graphs with hand-checked answers, the budgets, and
// answers unchanged by renumbering.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "query/executor.h"
#include "query/query.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

std::uint64_t count(const Database& db, const std::string& text) { return count_query_text(db, text); }
std::string rows(const Database& db, const std::string& text) { return execute_rows(db, parse_query(text)).dump(); }

std::string error_of(const Database& db, const std::string& text) {
  try {
    execute_rows(db, parse_query(text));
  } catch (const QlError& e) {
    return e.what();
  }
  return "";
}

Database relgraph() {
  // Triangle a→b→c→a of type R, a self-loop d→d of R, and x→y of R and S.
  return GraphBuilder()
      .people({"a", "b", "c", "d", "x", "y"})
      .edge("a", "b", "R").edge("b", "c", "R").edge("c", "a", "R")
      .edge("d", "d", "R")
      .edge("x", "y", "R").edge("x", "y", "S")
      .compiled();
}

TEST(Executor, TrianglesSelfLoopsAndRelationshipUniqueness) {
  Database db = relgraph();
  EXPECT_EQ(3u, count(db, "MATCH (a)-[:R]->(b)-[:R]->(c)-[:R]->(a) RETURN count(*)"));
  EXPECT_EQ(3u, count(db, "MATCH (a)-[:R]->(b)-[:R]->(c)-[:R]->(a) WHERE a <> b AND b <> c RETURN count(*)"));
  // The self-loop closes a "triangle" d→d→d→d only by reusing it: never.
  EXPECT_EQ(1u, count(db, "MATCH (a {name: 'd'})-[:R]-(b) RETURN count(*)"));
  EXPECT_EQ(1u, count(db, "MATCH (a {name: 'd'})-[:R]->(a) RETURN count(*)"));
  EXPECT_EQ(0u, count(db, "MATCH (a {name: 'd'})-[:R]->(b)-[:R]->(c) RETURN count(*)"));
  // x→y of R used once; R and S are two relationships.
  EXPECT_EQ(0u, count(db, "MATCH (a {name: 'x'})-[:R]->(b)<-[:R]-(c) RETURN count(*)"));
  EXPECT_EQ(1u, count(db, "MATCH (a)-[:R]->(b)<-[:S]-(c) RETURN count(*)"));
  EXPECT_EQ(2u, count(db, "MATCH (a)-[:S]-(b) RETURN count(*)"));
  EXPECT_EQ(6u, count(db, "MATCH (a) RETURN count(*)"));
  EXPECT_EQ(0u, count(db, "MATCH (a:Nope) RETURN count(*)"));
  EXPECT_EQ(0u, count(db, "MATCH (a)-[:NOPE]->(b) RETURN count(*)"));
  EXPECT_EQ(R"({"columns":["a"],"rows":[]})", rows(db, "MATCH (a:Nope) RETURN a"));
}

TEST(Executor, VariableLengthHops) {
  Database db = relgraph();
  EXPECT_EQ(3u, count(db, "MATCH (a {name: 'a'})-[:R*0..5]->(x) RETURN count(DISTINCT x)"));
  // Paths of length 0..5 from a without reusing a relationship: 0,1,2,3.
  EXPECT_EQ(4u, count(db, "MATCH (a {name: 'a'})-[:R*0..5]->(x) RETURN count(*)"));
  EXPECT_EQ(1u, count(db, "MATCH (a {name: 'a'})-[:R*0]->(x) RETURN count(*)"));
  EXPECT_EQ(1u, count(db, "MATCH (a {name: 'a'})-[:R*3]->(a) RETURN count(*)"));
  EXPECT_EQ(6u, count(db, "MATCH (a {name: 'a'})-[:R*1..3]-(x) RETURN count(*)"));
  EXPECT_EQ(2u, count(db, "MATCH (a {name: 'd'})-[:R*0..3]-(x) RETURN count(*)"));
  EXPECT_EQ(R"({"columns":["x.name"],"rows":[["a"],["b"],["c"],["a"]]})",
            rows(db, "MATCH (a {name: 'a'})-[:R*0..3]->(x) RETURN x.name"));
}

TEST(Executor, RowsNodesDistinctAndIdFallback) {
  Database db = GraphBuilder().people({"ann", "bob", "ann"}).follows("ann", "bob").compiled();
  db.set_property(1, "id", 99);
  EXPECT_EQ(R"({"columns":["n"],"rows":[[{"id":0,"label":"Person","properties":{"name":"ann"}}]]})",
            rows(db, "MATCH (n {id: 0}) RETURN n"));
  EXPECT_EQ(R"({"columns":["n.id","k"],"rows":[[null,"ann"]]})", rows(db, "MATCH (n {id: 2}) RETURN n.id, n.name AS k"));
  EXPECT_EQ(1u, count(db, "MATCH (n {id: 99}) RETURN count(*)"));
  EXPECT_EQ(0u, count(db, "MATCH (n {id: 1}) RETURN count(*)"));  // a stored id wins over the identity
  EXPECT_EQ(1u, count(db, "MATCH (n {id: 99.0}) RETURN count(*)"));
  EXPECT_EQ(0u, count(db, "MATCH (n {name: null}) RETURN count(*)"));
  EXPECT_EQ(R"({"columns":["n.name"],"rows":[["ann"],["bob"]]})", rows(db, "MATCH (n) RETURN DISTINCT n.name"));
  EXPECT_EQ(R"({"columns":["n.name"],"rows":[["ann"],["bob"],["ann"]]})", rows(db, "MATCH (n) RETURN n.name"));
  EXPECT_EQ(R"({"columns":["n.name"],"rows":[["ann"]]})", rows(db, "MATCH (n) RETURN n.name LIMIT 1"));
  EXPECT_EQ(R"({"columns":["total"],"rows":[[3]]})", rows(db, "MATCH (n) RETURN count(n) AS total"));
}

TEST(Executor, RowAndCompileLimits) {
  Database db;
  for (int i = 0; i < 10001; ++i) db.add_person("p" + std::to_string(i), 0);
  EXPECT_EQ(R"({"columns":["n"],"rows":[]})", rows(db, "MATCH (n) RETURN n LIMIT 0"));  // uncompiled is fine
  EXPECT_EQ("graph is not compiled", error_of(db, "MATCH (n) RETURN n.name LIMIT 1"));
  EXPECT_EQ("graph is not compiled", error_of(db, "MATCH (n) RETURN count(*)"));
  db.compile();
  EXPECT_EQ("result exceeds 10000 rows; add an explicit LIMIT", error_of(db, "MATCH (n) RETURN n.name"));
  EXPECT_EQ(10000u, execute_rows(db, parse_query("MATCH (n) RETURN n.name LIMIT 10000"))["rows"].size());
  EXPECT_EQ(0u, execute_rows(db, parse_query("MATCH (n) WHERE n <> n RETURN n.name"))["rows"].size());
  Database exact;
  for (int i = 0; i < 10000; ++i) exact.add_person("p" + std::to_string(i), 0);
  exact.compile();
  EXPECT_EQ(10000u, execute_rows(exact, parse_query("MATCH (n) RETURN n.name"))["rows"].size());
  try {
    execute_query(exact, parse_query("MATCH (n) RETURN n"));
    FAIL();
  } catch (const QlError& e) {
    EXPECT_STREQ("row query requires execute_rows", e.what());
  }
}

TEST(Executor, WorkLimit) {
  // A complete digraph on 12 nodes has far more than 10^7 relationship-unique
  // paths of length 8.
  Database db;
  for (int i = 0; i < 12; ++i) db.add_person("p" + std::to_string(i), 0);
  for (std::uint32_t a = 0; a < 12; ++a) {
    for (std::uint32_t b = 0; b < 12; ++b) {
      if (a != b) db.add_follows(a, b);
    }
  }
  db.compile();
  EXPECT_EQ("query work limit exceeded; narrow the pattern or add LIMIT",
            error_of(db, "MATCH (a)-[:FOLLOWS*8]->(b) RETURN count(*)"));
  EXPECT_EQ(R"({"columns":["b.name"],"rows":[["p0"]]})", rows(db, "MATCH (a)-[:FOLLOWS*8]->(b) RETURN b.name LIMIT 1"));  // p0→p1→p0→p2→…→p4→p0
  QlQuery bad = parse_query("MATCH (a) RETURN count(*)");
  bad.where_not_equal.emplace_back("a", "zz");
  try {
    execute_query(db, bad);
    FAIL();
  } catch (const QlError& e) {
    EXPECT_STREQ("unknown variable", e.what());
  }
}

TEST(Executor, AnswersUnchangedByLayout) {
  Database db;
  generate_corpus(db, 400, 160, 42);
  optimize_layout(db);
  const std::vector<std::string> statements = {
      "MATCH (p:Person {id: 0})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)",
      "MATCH (p:Person {id: 0})-[:FOLLOWS]->()-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)",
      "MATCH (p:Person {id: 0})-[:AUTHORED]->()<-[:AUTHORED]-(co) WHERE co <> p RETURN count(DISTINCT co)",
      "MATCH (a:Person)-[:FOLLOWS]-(b:Person)-[:AUTHORED]->(c:Paper) RETURN count(*)",
      "MATCH (p {id: 3})-[:FOLLOWS*1..2]-(x) RETURN count(*)",
  };
  std::vector<std::uint64_t> expected;
  for (const auto& s : statements) expected.push_back(count(db, s));
  const std::string distinct_rows = rows(db, "MATCH (p {id: 5})-[:FOLLOWS*1..2]->(x) RETURN DISTINCT x.name");
  scatter_layout(db.graph, 77);
  for (std::size_t i = 0; i < statements.size(); ++i) EXPECT_EQ(expected[i], count(db, statements[i])) << statements[i];
  optimize_layout(db);
  for (std::size_t i = 0; i < statements.size(); ++i) EXPECT_EQ(expected[i], count(db, statements[i])) << statements[i];
  auto as_set = [](const std::string& text) {
    auto rows = nlohmann::json::parse(text)["rows"];
    std::sort(rows.begin(), rows.end());
    return rows.dump();
  };
  EXPECT_EQ(as_set(distinct_rows), as_set(rows(db, "MATCH (p {id: 5})-[:FOLLOWS*1..2]->(x) RETURN DISTINCT x.name")));
}

}  // namespace
}  // namespace orvane
