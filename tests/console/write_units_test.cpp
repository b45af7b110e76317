// Writes as units of work: a deletion keeps every surviving id and never
// gives a deleted id out again, the graph it leaves is saved as it is, and
// a unit that fails at any point leaves the graph and its snapshot exactly
// as they were.
#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "console/cypher_cursor.h"
#include "console/engine.h"
#include "console/small_engine.h"
#include "console/statement_batch.h"
#include "console/transactions.h"
#include "graph/database.h"
#include "query/cypher_error.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"
#include "support/graph_builder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::check_invariants;
using testing::small_engine;

// Every node and relationship as users see them: ids, labels, types,
// properties, ends.
std::string whole_graph(const Database& db) {
  std::ostringstream out;
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
    out << "(" << db.node_id(i);
    for (const std::uint16_t l : db.graph.labels_of(i)) out << ":" << db.node_type_name(l);
    out << " " << db.node_properties(i).dump() << ")\n";
  }
  for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) {
    const Edge& e = db.graph.edges[r];
    out << "[" << db.relationship_id(r) << " " << db.node_id(e.src) << "-:" << db.rel_type_name(e.type) << "->"
        << db.node_id(e.dst) << " " << db.relationship_properties(r).dump() << "]\n";
  }
  return out.str();
}

// Runs `statement` to its end; the first column of each row.
std::vector<CypherValue> run(Engine& engine, const std::string& statement) {
  CypherCursor cursor(engine, statement, "", {});
  std::vector<std::vector<CypherValue>> rows;
  while (cursor.fetch(100, rows)) {
  }
  cursor.finish("test");
  std::vector<CypherValue> out;
  for (auto& row : rows) out.push_back(row.empty() ? CypherValue() : row[0]);
  return out;
}

// The small engine kept in a snapshot file, and both as they were at the
// start.
struct KeptEngine {
  KeptEngine() : engine(small_engine()) {
    engine.keep_in(file, GraphWriterLock::acquire(file), true);
    graph_before = whole_graph(engine.database());
    file_before = testing::read_text_file(file);
  }
  void expect_unchanged(const std::string& what) const {
    EXPECT_EQ(graph_before, whole_graph(engine.database())) << what;
    EXPECT_EQ(file_before, testing::read_text_file(file)) << what;
  }

  testing::TempDir dir;
  const std::string file = dir.file("graph.orv");
  Engine engine;
  std::string graph_before, file_before;
};

std::int64_t single_int(Engine& engine, const std::string& statement) {
  const auto rows = run(engine, statement);
  return rows.size() == 1 ? rows[0].as_int() : -1;
}

TEST(WriteUnits, DeletionsKeepTheIdsOfWhatRemains) {
  Engine engine = small_engine();
  std::int64_t largest = 0;  // relationship id
  for (const CypherValue& v : run(engine, "MATCH ()-[r]->() RETURN id(r)")) largest = std::max(largest, v.as_int());
  run(engine, "MATCH (n) WHERE id(n) IN [3, 13] DETACH DELETE n");
  check_invariants(engine.database());
  EXPECT_EQ(12, single_int(engine, "MATCH (n) RETURN count(n)"));
  EXPECT_EQ(0, single_int(engine, "MATCH (n) WHERE id(n) IN [3, 13] RETURN count(n)"));
  EXPECT_EQ(1, single_int(engine, "MATCH (n) WHERE id(n) = 12 RETURN count(n)"));
  // 13 was the largest id: the next node does not take it.
  EXPECT_EQ(14, single_int(engine, "CREATE (n:Robot) RETURN id(n)"));
  const auto rels = run(engine, "MATCH ()-[r]->() RETURN id(r)");
  run(engine, "MATCH ()-[r]->() WITH r ORDER BY id(r) DESC LIMIT 1 DELETE r");
  EXPECT_EQ(rels.size() - 1, run(engine, "MATCH ()-[r]->() RETURN id(r)").size());
  EXPECT_EQ(largest + 1, single_int(engine, "MATCH (a:Robot) CREATE (a)-[r:T]->(a) RETURN id(r)"));
  check_invariants(engine.database());
}

TEST(WriteUnits, AFailingUnitChangesNothingInMemoryOrOnDisk) {
  const char* failing[] = {
      // a node deleted without its relationships, found when the rows end
      "MATCH (n:Person) DELETE n",
      // deletions, then a fault in a later clause
      "MATCH (n:Paper) DETACH DELETE n WITH count(*) AS c UNWIND [1, 0] AS i RETURN c / i",
      "MATCH (n:Person) SET n.score = 1, n:Scored WITH n MATCH (n)-[r]->() DELETE r WITH count(*) AS c RETURN c / 0",
      "CREATE (a:New {k: 1})-[:R {w: 2}]->(b:New) WITH a MATCH (p:Person) DETACH DELETE p WITH count(*) AS c "
      "RETURN c / 0",
      "MATCH (a)-[r]->(b) DELETE r SET a.gone = true REMOVE b:Person DELETE a WITH count(*) AS c RETURN c / 0",
      "MATCH (p:Paper) DETACH DELETE p CREATE (:Paper {title: 'again'}) WITH count(*) AS c RETURN c / 0",
      "UNWIND [1, 2, 0] AS i MERGE (m:Made {k: i}) ON CREATE SET m.inverse = 1 / i",
      // writes to what the statement deleted, which would be counted and lost
      "MATCH (n:Paper) DETACH DELETE n SET n.title = 'gone'",
      "MATCH (a:Paper), (b:Person) DETACH DELETE a CREATE (a)-[:R]->(b)",
      "MATCH (p:Person) MERGE (p)-[:LIKES]->(q:Topic {name: p.name}) ON MATCH SET q.seen = true "
      "WITH count(*) AS c RETURN c / 0",
      "FOREACH (i IN [1, 2, 0] | CREATE (:Made {k: 6 / i}))",
      "MATCH (p:Person) WITH collect(p) AS ps FOREACH (p IN ps | SET p.mark = 1 DETACH DELETE p) "
      "WITH 1 AS one RETURN one / 0",
  };
  KeptEngine kept;
  Engine& engine = kept.engine;
  for (const char* statement : failing) {
    EXPECT_THROW(run(engine, statement), CypherError) << statement;
    kept.expect_unchanged(statement);
    check_invariants(engine.database());
  }
  // The same graph still takes the writes that succeed, and saves them.
  run(engine, "MATCH (n:Paper) DETACH DELETE n");
  EXPECT_EQ(10, single_int(engine, "MATCH (n) RETURN count(n)"));
  EXPECT_EQ(whole_graph(engine.database()), whole_graph(load_snapshot(kept.file)));
}

// A transaction that fails at any of its statements, or is rolled back
// after all of them, leaves the graph and its snapshot as they were; one
// that commits keeps all of its statements' writes.
TEST(WriteUnits, ATransactionIsOneUnit) {
  const std::vector<std::string> statements = {
      "CREATE (:Tx {k: 1})",
      "MATCH (p:Person) SET p.touched = true",
      "MATCH (n:Paper) DETACH DELETE n",
      "MATCH (a:Person), (t:Tx) MERGE (a)-[:SAW]->(t)",
  };
  KeptEngine kept;
  Engine& engine = kept.engine;
  for (std::size_t fail_at = 0; fail_at <= statements.size(); ++fail_at) {
    SCOPED_TRACE(fail_at);
    const std::string id = engine.transactions().begin(engine, "");
    bool open = true;
    for (std::size_t i = 0; i < statements.size() && open; ++i) {
      BatchAnswer answer;
      const std::string text = i == fail_at ? statements[i] + " WITH 1 AS one RETURN one / 0" : statements[i];
      open = engine.transactions().run(engine, id, text, nullptr, answer);
      EXPECT_EQ(i != fail_at, open);
    }
    if (open) engine.transactions().rollback(id);
    kept.expect_unchanged(std::to_string(fail_at));
  }
  const std::string id = engine.transactions().begin(engine, "");
  for (const std::string& statement : statements) {
    BatchAnswer answer;
    ASSERT_TRUE(engine.transactions().run(engine, id, statement, nullptr, answer)) << statement;
  }
  engine.transactions().commit(engine, id);
  EXPECT_EQ(10, single_int(engine, "MATCH (:Person)-[:SAW]->(:Tx) RETURN count(*)"));
  EXPECT_EQ(0, single_int(engine, "MATCH (n:Paper) RETURN count(n)"));
  EXPECT_EQ(whole_graph(engine.database()), whole_graph(load_snapshot(kept.file)));
  check_invariants(engine.database());
}

TEST(WriteUnits, ForeachAndMergeSeeTheWritesBeforeThem) {
  Engine engine = small_engine();
  run(engine, "UNWIND [1, 2] AS r FOREACH (x IN [r * 10, r * 10 + 1] | CREATE (:F {v: x}) MERGE (:G {v: r}))");
  EXPECT_EQ(4, single_int(engine, "MATCH (n:F) RETURN count(n)"));
  EXPECT_EQ(2, single_int(engine, "MATCH (n:G) RETURN count(n)"));
  // Each MERGE row sees the relationship an earlier row made.
  run(engine, "UNWIND [1, 1, 2] AS k MATCH (a:G {v: 1}), (b:G {v: 2}) MERGE (a)-[r:NEXT {k: k}]->(b)");
  EXPECT_EQ(2, single_int(engine, "MATCH (:G)-[r:NEXT]->(:G) RETURN count(r)"));
  EXPECT_EQ(3, single_int(engine, "MATCH (n:F) WITH collect(n) AS ns FOREACH (n IN ns[1..] | DELETE n) "
                                  "RETURN size(ns) - 1"));
  EXPECT_EQ(1, single_int(engine, "MATCH (n:F) RETURN count(n)"));
  check_invariants(engine.database());
}

}  // namespace
}  // namespace orvane
