// Predicate pushdown: a WHERE test a node scan (or an expansion) applies
// itself must keep exactly the rows the Filter would have kept, whatever
// the property's type, place (column or records) or absence. Each case is
// run pushed (MATCH ... WHERE) and unpushed (a WITH stands between the
// scan and the WHERE, which nothing moves across), and must count alike.
#include <gtest/gtest.h>

#include <string>

#include "query/plan/logical_plan.h"
#include "query/pipeline_cases.h"

namespace orvane {
namespace {

bool has_kind(const LogicalOp& op, LogicalKind kind) {
  if (op.kind == kind) return true;
  for (const auto& c : op.children) {
    if (has_kind(*c, kind)) return true;
  }
  return false;
}

std::int64_t count_of(const Database& db, const std::string& text, const CypherParameters& params = {}) {
  const CypherResult r = run_statement(text, db, params);
  return r.rows.at(0).at(0).as_int();
}

TEST(Pushdown, ScansKeepTheRowsTheFilterKeeps) {
  const char* predicates[] = {
      "n.x >= 10",          "n.x < 20.5",         "10 <= n.x",        "n.x = 7",
      "n.x <> 7",           "n.x = 7.0",          "n.x > 10.5",       "n.x IS NULL",
      "n.x IS NOT NULL",    "n.name = 'n3'",      "n.name > 'n30'",   "n.name <= 'n4'",
      "n.x = '11'",         "n.x >= '3'",         "n.missing = 1",    "n.missing IS NULL",
      "n.x = [1, 2]",       "n.x = $p",           "n.x > $p",         "n.x = null",
      "n.x <= 14",          "n.x < 14",           "n.x > 14",         "14 >= n.x",
      "n.x >= 10 AND n.name < 'n40' AND n.x <> 21",
      "n.x >= 10 AND (n.name = 'n12' OR n.name = 'n13')",
  };
  const CypherParameters params = {{"p", CypherValue(std::int64_t{12})}};
  for (const bool typed : {false, true}) {
    const Database db = testing::keyed_graph(typed);
    for (const std::string p : predicates) {
      SCOPED_TRACE(p + (typed ? " (columns)" : " (records)"));
      const std::string pushed = "MATCH (n:L) WHERE " + p + " RETURN count(*)";
      const std::string kept = "MATCH (n:L) WITH n WHERE " + p + " RETURN count(*)";
      EXPECT_EQ(count_of(db, kept, params), count_of(db, pushed, params));
      // The same across an expansion, from the node the pattern starts at.
      const std::string expanded = "MATCH (n:L)-[:T]->(m) WHERE " + p + " RETURN count(*)";
      const std::string expanded_kept = "MATCH (n:L)-[:T]->(m) WITH n, m WHERE " + p + " RETURN count(*)";
      EXPECT_EQ(count_of(db, expanded_kept, params), count_of(db, expanded, params));
    }
    // A label test on the node an expansion reaches is the expansion's.
    EXPECT_EQ(20, count_of(db, "MATCH (n:L)-[:T]->(m) WHERE m:M RETURN count(*)"));
    EXPECT_EQ(0, count_of(db, "MATCH (n:L)-[:T]->(m) WHERE m:L RETURN count(*)"));
    EXPECT_EQ(20, count_of(db, "MATCH (n:L) OPTIONAL MATCH (n)-[:T]->(m:M) RETURN count(m)"));
  }
}

// The tests did move: no Filter is left where every conjunct is pushable,
// and one stays for the rest.
TEST(Pushdown, MovesOnlyWhatAScanCanTest) {
  const Database db = testing::keyed_graph(true);
  const struct {
    const char* statement;
    bool filter_left;
  } cases[] = {
      {"MATCH (n:L) WHERE n.x >= 10 AND n.x < 20 RETURN n", false},
      {"MATCH (n:L) WHERE 10 <= n.x RETURN n", false},
      {"MATCH (n:L {name: 'n3'}) RETURN n", false},
      {"MATCH (n:L)-[:T]->(m:M) RETURN m", false},
      {"MATCH (n:L) WHERE n.x + 1 > 10 RETURN n", true},
      {"MATCH (n:L) WHERE n.x >= 10 OR n.x < 2 RETURN n", true},
      {"MATCH (n:L)-[:T]->(m) WHERE n.x = m.k RETURN m", true},
      {"MATCH (n:L) WITH n WHERE n.x >= 10 RETURN n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.filter_left, has_kind(*prepare_statement(c.statement, db).plan, LogicalKind::kFilter));
  }
}

}  // namespace
}  // namespace orvane
