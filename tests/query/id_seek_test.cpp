// The focus of this file is id seeks: a statement that names nodes or
// relationships by id(), elementId() or, on a generated graph, {id: N}
// must plan the seek operator and answer exactly the rows of the same
// statement written so that it scans (the predicate hidden from the seek
// rule), on graphs whose ids are their identities and on one whose ids
// came from an import.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/functions/scalar_functions.h"
#include "query/pipeline_cases.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

// The rows as sorted texts: the two forms need not agree on order.
std::vector<std::string> sorted_rows(const CypherResult& r) {
  std::vector<std::string> out;
  for (const auto& row : r.rows) {
    std::string text;
    for (const CypherValue& v : row) text += to_text(v) + ",";
    out.push_back(text);
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Case {
  const char* seek;  // the statement with a seekable predicate
  const char* scan;  // the same statement, the predicate hidden from the seek rule
  const char* operator_name;
};

void check(const Database& db, const std::vector<Case>& cases, const CypherParameters& parameters) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seek);
    const PreparedStatement seek = prepare_statement(c.seek, db);
    EXPECT_TRUE(testing::has_operator(explain_statement(seek), c.operator_name));
    EXPECT_FALSE(testing::has_operator(explain_statement(prepare_statement(c.scan, db)), c.operator_name));
    EXPECT_EQ(sorted_rows(run_statement(c.scan, db, parameters)), sorted_rows(run_statement(c.seek, db, parameters)));
  }
}

const std::vector<Case> kCases = {
    {"MATCH (n) WHERE id(n) = 3 RETURN n.name", "MATCH (n) WHERE id(n) + 0 = 3 RETURN n.name", "NodeByIdSeek"},
    {"MATCH (n) WHERE 3.0 = id(n) RETURN n.name", "MATCH (n) WHERE 3.0 = id(n) + 0 RETURN n.name", "NodeByIdSeek"},
    {"MATCH (n:Paper) WHERE id(n) = 3 RETURN n.name", "MATCH (n:Paper) WHERE id(n) + 0 = 3 RETURN n.name",
     "NodeByIdSeek"},
    {"MATCH (n) WHERE id(n) IN [1, 3, 3, 999, null, 'x', 2.5] RETURN n.name",
     "MATCH (n) WHERE id(n) + 0 IN [1, 3, 3, 999, null, 'x', 2.5] RETURN "
     "n.name",
     "NodeByIdSeek"},
    {"MATCH (n) WHERE id(n) = $x RETURN n.name", "MATCH (n) WHERE id(n) + 0 = $x RETURN n.name", "NodeByIdSeek"},
    {"MATCH (n) WHERE id(n) IN $list RETURN n.name", "MATCH (n) WHERE id(n) + 0 IN $list RETURN n.name",
     "NodeByIdSeek"},
    {"MATCH (n) WHERE id(n) = $text RETURN n.name", "MATCH (n) WHERE id(n) + 0 = $text RETURN n.name", "NodeByIdSeek"},
    {"MATCH (n) WHERE elementId(n) = '4:halvex:2' RETURN n.name",
     "MATCH (n) WHERE elementId(n) + '' = '4:halvex:2' RETURN n.name", "NodeByElementIdSeek"},
    {"MATCH (n) WHERE elementId(n) IN ['4:halvex:02', '4:halvex:5', "
     "'5:halvex:1'] RETURN n.name",
     "MATCH (n) WHERE elementId(n) + '' IN ['4:halvex:02', '4:halvex:5', "
     "'5:halvex:1'] RETURN n.name",
     "NodeByElementIdSeek"},
    {"MATCH (n)-[:FOLLOWS]->(m) WHERE id(n) = 4 AND m.name <> 'x' RETURN "
     "m.name",
     "MATCH (n)-[:FOLLOWS]->(m) WHERE id(n) + 0 = 4 AND m.name <> 'x' RETURN "
     "m.name",
     "NodeByIdSeek"},
    {"OPTIONAL MATCH (n) WHERE id(n) = 999 RETURN n", "OPTIONAL MATCH (n) WHERE id(n) + 0 = 999 RETURN n",
     "NodeByIdSeek"},
    {"MATCH (a)-[r]->(b) WHERE id(r) = 4 RETURN a.name, b.name",
     "MATCH (a)-[r]->(b) WHERE id(r) + 0 = 4 RETURN a.name, b.name", "DirectedRelationshipByIdSeek"},
    {"MATCH (a)<-[r]-(b) WHERE id(r) = 4 RETURN a.name, b.name",
     "MATCH (a)<-[r]-(b) WHERE id(r) + 0 = 4 RETURN a.name, b.name", "DirectedRelationshipByIdSeek"},
    {"MATCH (a)-[r]-(b) WHERE id(r) IN [1, 4, 7, 7, 9999] RETURN a.name, "
     "b.name",
     "MATCH (a)-[r]-(b) WHERE id(r) + 0 IN [1, 4, 7, 7, 9999] RETURN a.name, "
     "b.name",
     "UndirectedRelationshipByIdSeek"},
    {"MATCH (a)-[r:AUTHORED]->(b:Paper) WHERE id(r) IN $rels RETURN a.name, "
     "b.name",
     "MATCH (a)-[r:AUTHORED]->(b:Paper) WHERE id(r) + 0 IN $rels RETURN "
     "a.name, b.name",
     "DirectedRelationshipByIdSeek"},
    {"MATCH (a)-[r]->(a) WHERE id(r) IN $rels RETURN a.name",
     "MATCH (a)-[r]->(a) WHERE id(r) + 0 IN $rels RETURN a.name", "DirectedRelationshipByIdSeek"},
    {"MATCH (x)-->(a)-[r]->(b)-->(c) WHERE id(r) IN $rels RETURN x.name, "
     "a.name, b.name, c.name",
     "MATCH (x)-->(a)-[r]->(b)-->(c) WHERE id(r) + 0 IN $rels RETURN x.name, "
     "a.name, b.name, c.name",
     "DirectedRelationshipByIdSeek"},
    {"MATCH (a)-[s]->(b), (c)-[r]-(d) WHERE id(r) IN $rels RETURN id(s), "
     "id(r), c.name",
     "MATCH (a)-[s]->(b), (c)-[r]-(d) WHERE id(r) + 0 IN $rels RETURN id(s), "
     "id(r), c.name",
     "UndirectedRelationshipByIdSeek"},
    {"MATCH (a)-[r]->(b) WHERE elementId(r) = '5:halvex:3' RETURN a.name, "
     "b.name",
     "MATCH (a)-[r]->(b) WHERE elementId(r) + '' = '5:halvex:3' RETURN a.name, "
     "b.name",
     "DirectedRelationshipByElementIdSeek"},
    {"MATCH (n {id: 3}) RETURN n.name", "MATCH (n) WHERE coalesce(n.id = 3, id(n) = 3) RETURN n.name", "NodeByIdSeek"},
    {"MATCH (n:Person {id: $x})-->(m) RETURN m.name",
     "MATCH (n:Person)-->(m) WHERE coalesce(n.id = $x, id(n) = $x) RETURN "
     "m.name",
     "NodeByIdSeek"},
};

CypherParameters parameters() {
  CypherParameters p;
  p["x"] = std::int64_t{2};
  p["text"] = std::string("2");
  p["list"] = CypherList{std::int64_t{0}, std::int64_t{5}, std::int64_t{5}, std::int64_t{-1}};
  CypherList rels;
  for (std::int64_t r = 0; r < 40; r += 3) rels.emplace_back(r);
  p["rels"] = std::move(rels);
  return p;
}

TEST(IdSeek, PlansTheSeekAndAnswersAsTheScan) {
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE(seed);
    check(testing::random_graph(12, 4, 30, seed, true, 3), kCases, parameters());
  }
}

// Ids from an import are not identities: the seeks map them through the
// Database.
TEST(IdSeek, FindsImportedIds) {
  Database db = testing::random_graph(12, 4, 30, 7, true, 3);
  std::vector<std::uint64_t> node_ids, rel_ids;
  for (std::uint64_t i = 0; i < db.graph.node_count; ++i) node_ids.push_back(1000 + 3 * i);
  for (std::uint64_t i = 0; i < db.graph.edges.size(); ++i) rel_ids.push_back(500 + 2 * i);
  ASSERT_TRUE(db.node_ids.assign(node_ids));
  ASSERT_TRUE(db.rel_ids.assign(rel_ids));
  CypherParameters p = parameters();
  p["x"] = std::int64_t{1006};
  p["list"] = CypherList{std::int64_t{1000}, std::int64_t{1015}, std::int64_t{5}};
  CypherList rels;
  for (std::int64_t r = 500; r < 560; r += 2) rels.emplace_back(r);
  p["rels"] = std::move(rels);
  check(db, kCases, p);
  EXPECT_EQ(1u, run_statement("MATCH (n) WHERE id(n) = 1006 RETURN n", db).rows.size());
}

// {id: N} on a generated graph reads the stored "id" once some node has
// one: the seek then leaves the answer to the filter, even in a plan made
// before the property was stored.
TEST(IdSeek, GeneratedIdFollowsStoredIds) {
  Database db = testing::random_graph(12, 4, 30, 3, true, 3);
  const PreparedStatement before = prepare_statement("MATCH (n {id: 5}) RETURN n.name", db);
  db.set_property(2, "id", 5);
  db.set_property(7, "id", 1);
  ASSERT_NE(0u, db.stored_id_nodes);
  std::vector<std::string> names;
  execute_statement(before, db, {}, WorkBound{}, [&](const std::vector<CypherValue>& row) {
    names.push_back(to_text(row[0]));
    return true;
  });
  std::sort(names.begin(), names.end());
  const CypherResult scan = run_statement("MATCH (n) WHERE coalesce(n.id = 5, id(n) = 5) RETURN n.name", db);
  std::vector<std::string> want;
  for (const auto& row : scan.rows) want.push_back(to_text(row[0]));
  std::sort(want.begin(), want.end());
  EXPECT_EQ(want, names);
  EXPECT_EQ(2u, names.size());
}

}  // namespace
}  // namespace orvane
