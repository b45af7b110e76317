// The query pipeline's operators at the edges the conformance suite does
// not reach: the work bound, top-k against a full sort, grouping by
// equivalence, empty aggregations, parameters, overflow, and the order of
// a variable-length relationship list walked against the pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/functions/scalar_functions.h"
#include "query/statement_cursor.h"
#include "query/pipeline_cases.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

// Rows as text: "a,b|c,d", names for nodes.
std::string rows_of(const CypherResult& r, const Database& db) {
  std::string out;
  for (const auto& row : r.rows) {
    if (!out.empty()) out += "|";
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) out += ",";
      const CypherValue& v = row[i];
      if (v.kind() == CypherValue::Kind::kNode) {
        out += db.names[v.as_node().identity];
      } else if (v.kind() == CypherValue::Kind::kList) {
        out += "[";
        for (const CypherValue& e : v.as_list()) out += (out.back() == '[' ? "" : " ") + to_text(e);
        out += "]";
      } else {
        out += to_text(v);
      }
    }
  }
  return out;
}

TEST(CypherPipeline, AnswersAndErrorsAtTheEdges) {
  const Database db = testing::mixed_graph();
  const std::vector<testing::PipelineCase> cases = {
      {"UNWIND [1, 1.0, null, null, 2] AS x RETURN x, count(*) AS c ORDER BY c DESC, x", "1,2|null,2|2,1", ""},
      {"MATCH (n:Nope) RETURN count(*)", "0", ""},
      {"MATCH (n:Nope) RETURN n.name, count(*)", "", ""},
      {"MATCH (n:Nope) RETURN collect(n.name), sum(1), avg(1), min(1)", "[],0,null,null", ""},
      {"OPTIONAL MATCH (n:Nope) RETURN n, count(n)", "null,0", ""},
      {"RETURN 9223372036854775807 + 1", "", "ArithmeticError/IntegerOverflow"},
      {"RETURN 7 / 0", "", "ArithmeticError/DivisionByZero"},
      {"RETURN $missing", "", "ParameterMissing/MissingParameter"},
      {"RETURN nope(1)", "", "SyntaxError/UnknownFunction"},
      {"MATCH (a) RETURN b", "", "SyntaxError/UndefinedVariable"},
      {"RETURN count(count(*))", "", "SyntaxError/NestedAggregation"},
      // A relationship list bound before is walked, not expanded.
      {"MATCH (a)-[r*2]->(b) MATCH (a)-[r*1]->(b) RETURN a", "", ""},
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) MATCH (x)-[r*]->(y) RETURN x.name, y.name", "p5,p4", ""},
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) MATCH (x)<-[r*]-(y) RETURN x.name, y.name", "", ""},
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) MATCH (x)-[r*]-(y) RETURN x.name, y.name", "p5,p4", ""},
      // The list is walked in the order the pattern is written: from c,
      // r's first relationship does not touch c, its reverse's does.
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) WITH a, c, r MATCH (c)<-[r*]-(a) RETURN a.name", "", ""},
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) WITH a, c, reverse(r) AS back MATCH (c)<-[back*]-(a) "
       "RETURN a.name",
       "p5", ""},
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) WITH r MATCH p = ()-[r:FOLLOWS*1..2]->(:Person) "
       "RETURN [n IN nodes(p) | n.name]",
       "[p5 p6 p4]", ""},
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) MATCH ()-[r:AUTHORED*]->() RETURN 1", "", ""},
      {"MATCH (a {name: 'p5'})-[r:FOLLOWS*2]->(c) MATCH ()-[r*3..]->() RETURN 1", "", ""},
      {"WITH 1 AS r MATCH ()-[r*]->() RETURN 1", "", "SyntaxError/VariableAlreadyBound"},
      {"MATCH (a)-[r*]->(b), (c)-[r*]->(d) RETURN a", "", "SyntaxError/VariableAlreadyBound"},
      // A relationship bound before is one of the pattern's: no other
      // relationship of the clause is it.
      {"MATCH ()-[r]->() WITH r MATCH ()-[r]-()-[s]-() WHERE s = r RETURN count(*)", "0", ""},
      // A label no node has, on a node bound before.
      {"MATCH (a {name: 'p0'})-[r]->() WITH a, r MATCH (a:Nope)-[r]->(b) RETURN b", "", ""},
      {"MATCH (a {name: 'p0'})-[r:FOLLOWS|:FOLLOWS]->(b) RETURN count(*)", "2", ""},
      // (c)<-[r*2]-(a) starting at the rarer end still lists r in the
      // pattern's order.
      {"MATCH (c:Paper {name: 'q1'})<-[:AUTHORED]-(p)<-[r:FOLLOWS*1]-(a {name: 'p0'}) RETURN p.name, size(r)", "p2,1",
       ""},
      {"MATCH p = (a {name: 'p5'})-[:FOLLOWS*2]->(c) RETURN [n IN nodes(p) | n.name]", "[p5 p6 p4]", ""},
      {"MATCH (a {name: 'p0'})-[:FOLLOWS]->(b) WITH a, collect(b.name) AS names RETURN a.name, size(names)", "p0,2",
       ""},
  };
  testing::expect_pipeline_cases(db, cases, rows_of);
}

TEST(CypherPipeline, WorkBoundStopsARunawayStatement) {
  const Database db = testing::mixed_graph();
  WorkBound bound;
  bound.steps = 1000;
  try {
    run_statement("UNWIND range(1, 100000) AS x RETURN count(*)", db, {}, bound);
    FAIL() << "the bound did not stop the statement";
  } catch (const CypherError& e) {
    EXPECT_EQ(kWorkLimitMessage, std::string(e.what()));
  }
  EXPECT_EQ(1u, run_statement("UNWIND range(1, 500) AS x RETURN count(*)", db, {}, bound).rows.size());
}

// ORDER BY ... LIMIT keeps only the best rows in a heap; it must answer
// what a full sort followed by a limit answers, ties in input order.
TEST(CypherPipeline, TopKAgreesWithAFullSort) {
  const Database db;
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    CypherList values;
    const int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) {
      const int kind = static_cast<int>(rng() % 4);
      values.push_back(kind == 0   ? CypherValue()
                       : kind == 1 ? CypherValue(static_cast<std::int64_t>(rng() % 10))
                       : kind == 2 ? CypherValue(static_cast<double>(rng() % 10) / 2)
                                   : CypherValue(std::string(1, static_cast<char>('a' + rng() % 5))));
    }
    const std::int64_t k = static_cast<std::int64_t>(rng() % 12);
    const CypherParameters params{{"list", CypherValue(values)}, {"k", CypherValue(k)}};
    for (const char* order : {"", " DESC"}) {
      SCOPED_TRACE(std::string(order) + " round " + std::to_string(round));
      const std::string text = std::string("UNWIND $list AS x RETURN x ORDER BY x") + order;
      const CypherResult all = run_statement(text, db, params);
      const CypherResult top = run_statement(text + " LIMIT $k", db, params);
      ASSERT_EQ(std::min<std::size_t>(static_cast<std::size_t>(k), all.rows.size()), top.rows.size());
      for (std::size_t i = 0; i < top.rows.size(); ++i) {
        ASSERT_EQ(0, order_compare(all.rows[i][0], top.rows[i][0])) << i;
      }
    }
  }
}

// The cursor makes rows only as they are fetched: batches of the asked
// size, more-to-come until the end, and a reader that stops early leaves
// the rest unmade.
TEST(StatementCursor, FetchesInBatchesAndMakesOnlyWhatIsAsked) {
  const Database db = testing::mixed_graph();
  const PreparedStatement all = prepare_statement("UNWIND range(1, 10) AS x RETURN x", db);
  StatementCursor cursor(all, db, {}, WorkBound{});
  EXPECT_EQ(std::vector<std::string>{"x"}, cursor.columns());
  std::vector<std::vector<CypherValue>> rows;
  const std::pair<std::size_t, bool> batches[] = {{4, true}, {4, true}, {4, false}, {4, false}};
  std::size_t expected = 0;
  for (const auto& [n, more] : batches) {
    EXPECT_EQ(more, cursor.fetch(n, rows));
    expected = std::min<std::size_t>(expected + n, 10);
    EXPECT_EQ(expected, rows.size());
  }
  EXPECT_TRUE(cursor.exhausted());
  EXPECT_EQ(10, rows.back()[0].as_int());

  const PreparedStatement scan = prepare_statement("MATCH (n) RETURN n", db);
  StatementCursor early(scan, db, {}, WorkBound{});
  std::vector<std::vector<CypherValue>> two;
  EXPECT_TRUE(early.fetch(2, two));
  EXPECT_EQ(2u, early.profile().rows);  // ProduceResults made two rows, not the 14 nodes

  // A parameter the statement uses and the caller lacks fails before any row.
  const PreparedStatement param = prepare_statement("RETURN $p AS p", db);
  EXPECT_THROW(StatementCursor(param, db, {}, WorkBound{}), CypherError);
}

// ORDER BY after an aggregation reads, inside a larger expression too, a
// subexpression written as a projected one from its column: the aggregate
// is not computed again, and n.age need not be in scope.
TEST(CypherPipeline, OrderByReadsProjectedExpressionsInsideLargerOnes) {
  const Database db = testing::mixed_graph();
  const std::vector<testing::PipelineCase> cases = {
      {"UNWIND [1, 1, 2, 3, 3, 3] AS x RETURN x, count(*) AS c ORDER BY x * 10 - count(*) DESC", "3,3|2,1|1,2", ""},
      {"UNWIND [{a: 1}, {a: 1}, {a: 2}] AS m RETURN m.a AS a, count(*) AS c ORDER BY m.a - count(*)", "1,2|2,1",
       ""},
      {"UNWIND [1, 2, 3] AS x RETURN max(x) AS m ORDER BY 1 + max(x)", "3", ""},
      {"UNWIND [1, 2, 2] AS x WITH x, count(*) AS c ORDER BY count(*) + x DESC RETURN x", "2|1", ""},
      {"UNWIND [1, 2] AS x WITH x AS y RETURN count(*) AS c ORDER BY y + count(*)", "",
       "SyntaxError/UndefinedVariable"},
      {"UNWIND [1, 2] AS x RETURN x + 1, count(*) AS c ORDER BY x + 1 + count(*)", "",
       "SyntaxError/AmbiguousAggregationExpression"},
  };
  testing::expect_pipeline_cases(db, cases, rows_of);
}

}  // namespace
}  // namespace orvane
