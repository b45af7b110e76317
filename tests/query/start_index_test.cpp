// The focus of this file is where the executor starts: an {id: N} filter,
// the first node's label list or every node, and counts read without a
// walk. Each must give exactly the rows, order and counts of a full scan.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/executor.h"
#include "query/query.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using nlohmann::json;

json rows(const Database& db, const std::string& text) { return execute_rows(db, parse_query(text)); }

// A statement naming a label or type the schema lacks matches nothing, and a
// count still answers with one row.
TEST(ExecutorStart, UnknownNamesCountZeroInOneRow) {
  const Database db = testing::mixed_graph();
  const struct {
    const char* statement;
    const char* expected;
  } cases[] = {
      {"MATCH (a:Nope) RETURN count(*)", R"({"columns":["count"],"rows":[[0]]})"},
      {"MATCH (a)-[:NOPE]->(b) RETURN count(DISTINCT b) AS c", R"({"columns":["c"],"rows":[[0]]})"},
      {"MATCH (a:Person)-[:FOLLOWS]->(b:Nope) RETURN count(b)", R"({"columns":["count"],"rows":[[0]]})"},
      {"MATCH (a:Nope) RETURN a.name", R"({"columns":["a.name"],"rows":[]})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.expected, rows(db, c.statement).dump());
  }
}

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
      EXPECT_EQ(rows(scanned, pattern), rows(indexed, pattern));
    }
  }
}

// A labelled first node starts from that label's identities, in ascending
// order: the rows are the full scan's rows whose first node has the label.
TEST(ExecutorStart, LabelListGivesTheScanRowsInOrder) {
  const Database db = testing::mixed_graph();
  for (const char* label : {"Person", "Paper"}) {
    const json all = rows(db, "MATCH (a)-[:AUTHORED*0..1]-(b)-[:FOLLOWS*0..1]->(c) RETURN a, c.name");
    json expected = json::array();
    for (const json& row : all["rows"]) {
      if (row[0]["label"] == label) expected.push_back(row);
    }
    const json labelled =
        rows(db, std::string("MATCH (a:") + label + ")-[:AUTHORED*0..1]-(b)-[:FOLLOWS*0..1]->(c) RETURN a, c.name");
    EXPECT_EQ(expected, labelled["rows"]) << label;
  }
}

// One unfiltered node is counted from the node and label counts; a filter
// or a WHERE still walks.
TEST(ExecutorStart, SingleNodeCounts) {
  const Database db = testing::mixed_graph();
  const struct {
    const char* statement;
    std::uint64_t expected;
  } cases[] = {
      {"MATCH (n) RETURN count(*)", 14},
      {"MATCH (n:Person) RETURN count(n)", 10},
      {"MATCH (n:Paper) RETURN count(DISTINCT n)", 4},
      {"MATCH (n:Person {name: 'p0'}) RETURN count(*)", 1},
      {"MATCH (n {id: 13}) RETURN count(*)", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.expected, count_query_text(db, c.statement));
  }
}

}  // namespace
}  // namespace orvane
