// Executor: hand-built graphs with hand-checked answers and the budgets; and
// where it starts (an {id: N} filter, the first node's label list or every
// node, counts read without a walk), which must give exactly the rows, order
// and counts of a full scan. Answers after renumbering are checked against
// the brute-force enumeration in differential_test.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/executor.h"
#include "query/query.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

std::uint64_t count(const Database& db, const std::string& text) { return count_query_text(db, text); }
std::string rows(const Database& db, const std::string& text) { return execute_rows(db, parse_query(text)).dump(); }

std::string error_of(const Database& db, const std::string& text) {
  return testing::error_of([&] { execute_rows(db, parse_query(text)); });
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
  // A label or type the schema lacks matches nothing; a count still answers in one row.
  EXPECT_EQ(0u, count(db, "MATCH (a:Nope) RETURN count(*)"));
  EXPECT_EQ(R"({"columns":["c"],"rows":[[0]]})", rows(db, "MATCH (a)-[:NOPE]->(b) RETURN count(DISTINCT b) AS c"));
  EXPECT_EQ(R"({"columns":["count"],"rows":[[0]]})", rows(db, "MATCH (a)-[:R]->(b:Nope) RETURN count(b)"));
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
  EXPECT_EQ("row query requires execute_rows", testing::error_of([&] { execute_query(exact, parse_query("MATCH (n) RETURN n")); }));
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
  EXPECT_EQ("unknown variable", testing::error_of([&] { execute_query(db, bad); }));
}

nlohmann::json rows_json(const Database& db, const std::string& text) { return execute_rows(db, parse_query(text)); }

// With no stored "id" anywhere, {id: N} starts at identity N alone; once a
// node stores its own identity as "id", every start is scanned again. Both
// must answer alike, including ids beyond the graph and negative ones.
TEST(ExecutorStart, IdFilterAnswersLikeTheScan) {
  const Database indexed = testing::mixed_graph();
  Database scanned = indexed;
  scanned.set_property(3, "id", 3);
  ASSERT_EQ(0u, indexed.stored_id_nodes);
  ASSERT_EQ(1u, scanned.stored_id_nodes);
  for (const char* id : {"0", "3", "5", "12", "13", "14", "99", "-1", "4294967295"}) {
    for (const std::string& pattern :
         {std::string("MATCH (a {id: ") + id + "})-[:FOLLOWS*0..2]-(b) RETURN a.name, b.name",
          std::string("MATCH (a:Paper {id: ") + id + "})<-[:AUTHORED]-(b) RETURN b.name",
          std::string("MATCH (a {id: ") + id + "}) RETURN count(*)"}) {
      SCOPED_TRACE(pattern);
      EXPECT_EQ(rows_json(scanned, pattern), rows_json(indexed, pattern));
    }
  }
}

// A labelled first node starts from that label's identities, in ascending
// order: the rows are the full scan's rows whose first node has the label.
TEST(ExecutorStart, LabelListGivesTheScanRowsInOrder) {
  const Database db = testing::mixed_graph();
  for (const char* label : {"Person", "Paper"}) {
    const nlohmann::json all = rows_json(db, "MATCH (a)-[:AUTHORED*0..1]-(b)-[:FOLLOWS*0..1]->(c) RETURN a, c.name");
    nlohmann::json expected = nlohmann::json::array();
    for (const nlohmann::json& row : all["rows"]) {
      if (row[0]["label"] == label) expected.push_back(row);
    }
    const nlohmann::json labelled =
        rows_json(db, std::string("MATCH (a:") + label + ")-[:AUTHORED*0..1]-(b)-[:FOLLOWS*0..1]->(c) RETURN a, c.name");
    EXPECT_EQ(expected, labelled["rows"]) << label;
  }
}

// One unfiltered node is counted from the node and label counts; a filter
// or a WHERE still walks.
TEST(ExecutorStart, SingleNodeCounts) {
  const Database db = testing::mixed_graph();
  EXPECT_EQ(14u, count(db, "MATCH (n) RETURN count(*)"));
  EXPECT_EQ(10u, count(db, "MATCH (n:Person) RETURN count(n)"));
  EXPECT_EQ(4u, count(db, "MATCH (n:Paper) RETURN count(DISTINCT n)"));
  EXPECT_EQ(1u, count(db, "MATCH (n:Person {name: 'p0'}) RETURN count(*)"));
  EXPECT_EQ(1u, count(db, "MATCH (n {id: 13}) RETURN count(*)"));
}

}  // namespace
}  // namespace orvane
