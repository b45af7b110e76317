// The focus of this file is CALL { ... } in the query pipeline: importing
// WITH and the scoped CALL (a, b) { ... }, uncorrelated subqueries, UNION
// inside, aggregation per outer row,
// unit subqueries that write, the scope after the call, and the semantic
// errors Neo4j raises for subqueries.
#include <gtest/gtest.h>

#include <algorithm>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/functions/scalar_functions.h"
#include "query/pipeline_cases.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

std::string rows_of(const CypherResult& r, const Database& db) {
  std::string out;
  for (const auto& row : r.rows) {
    if (!out.empty()) out += "|";
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) out += ",";
      out += row[i].kind() == CypherValue::Kind::kNode ? db.names[row[i].as_node().identity] : to_text(row[i]);
    }
  }
  return out;
}

TEST(CallSubquery, AnswersAndErrorsAsNeo4jDoes) {
  const Database db = testing::triangle();  // ann→bob→cy→ann
  const std::vector<testing::PipelineCase> cases = {
      {"UNWIND [0, 1, 2] AS x CALL { WITH x RETURN x * 10 AS y } RETURN x, y", "0,0|1,10|2,20", ""},
      {"UNWIND [0, 1] AS x CALL { RETURN 'hello' AS h } RETURN x, h", "0,hello|1,hello", ""},
      {"UNWIND [1, 2, 3] AS x CALL { WITH x UNWIND range(1, x) AS y RETURN "
       "count(y) AS c } RETURN x, c",
       "1,1|2,2|3,3", ""},
      {"UNWIND [1, 2] AS x CALL { WITH x UNWIND [] AS e RETURN e } RETURN x", "", ""},
      {"UNWIND [1, 2] AS x CALL { WITH * RETURN x + 1 AS y } RETURN y", "2|3", ""},
      {"UNWIND [1, 2] AS x CALL { WITH x RETURN x AS y ORDER BY y LIMIT 1 } "
       "RETURN x, y",
       "1,1|2,2", ""},
      {"CALL { RETURN 1 AS a UNION RETURN 2 AS a } RETURN a ORDER BY a", "1|2", ""},
      {"CALL { RETURN 1 AS a UNION RETURN 1 AS a } RETURN a", "1", ""},
      {"CALL { RETURN 1 AS a UNION ALL RETURN 1 AS a } RETURN a", "1|1", ""},
      {"UNWIND [1, 2] AS x CALL { WITH x RETURN x AS y UNION WITH x RETURN x + "
       "10 AS y } RETURN x, y ORDER BY x, y",
       "1,1|1,11|2,2|2,12", ""},
      // An outer name not imported is a new variable inside.
      {"WITH 1 AS x CALL { UNWIND [5] AS x RETURN x AS y } RETURN x, y", "1,5", ""},
      {"MATCH (n:Person) CALL { WITH n MATCH (n)-[:FOLLOWS]->(m) RETURN m } "
       "RETURN n.name, m.name ORDER BY n.name",
       "ann,bob|bob,cy|cy,ann", ""},
      {"CALL { MATCH (n:Person) RETURN n } MATCH (n)-[:FOLLOWS]->(m {name: "
       "'cy'}) RETURN n",
       "bob", ""},
      {"MATCH (n:Person) CALL { WITH n MATCH (n)-[:FOLLOWS]->(m) RETURN "
       "count(m) AS c } RETURN n.name, c ORDER BY n.name",
       "ann,1|bob,1|cy,1", ""},
      {"CALL { MATCH (n:Person) RETURN n ORDER BY n.name DESC LIMIT 1 } RETURN "
       "n.name",
       "cy", ""},
      {"WITH 1 AS x CALL { RETURN 2 AS x } RETURN x", "", "SyntaxError/VariableAlreadyBound"},
      {"WITH 1 AS x CALL { WITH x RETURN x } RETURN x", "", "SyntaxError/VariableAlreadyBound"},
      {"WITH 1 AS x CALL { WITH x AS y RETURN y } RETURN y", "", "SyntaxError/InvalidClauseComposition"},
      {"WITH 1 AS x CALL { WITH x + 1 AS y RETURN y } RETURN y", "", "SyntaxError/InvalidClauseComposition"},
      {"WITH 1 AS x CALL { WITH x WHERE x > 0 RETURN x AS z } RETURN z", "", "SyntaxError/InvalidClauseComposition"},
      {"WITH 1 AS x CALL { UNWIND [1] AS u WITH x RETURN x AS z } RETURN z", "", "SyntaxError/UndefinedVariable"},
      {"CALL { RETURN 1 + 1 } RETURN 1", "", "SyntaxError/NoExpressionAlias"},
      {"CALL { MATCH (n) } RETURN 1", "", "SyntaxError/InvalidClauseComposition"},
      {"UNWIND [1] AS x CALL { WITH x RETURN x AS y }", "", "SyntaxError/InvalidClauseComposition"},
      {"CALL { RETURN 1 AS a UNION RETURN 2 AS b } RETURN a", "", "SyntaxError/DifferentColumnsInUnion"},
      {"CALL { RETURN 1 AS a UNION RETURN 2 AS a UNION ALL RETURN 3 AS a } "
       "RETURN a",
       "", "SyntaxError/InvalidClauseComposition"},
  };
  testing::expect_pipeline_cases(db, cases, rows_of);
  EXPECT_TRUE(testing::has_operator(
      explain_statement(prepare_statement("UNWIND [1] AS x CALL { WITH x RETURN x AS y } RETURN y", db)), "Apply"));
}

// CALL (a, b) { ... }: the subquery sees what it names, in all of its
// body; CALL () sees nothing, CALL (*) everything. IN TRANSACTIONS is
// refused: a statement runs in the one transaction it is given.
TEST(CallSubquery, ScopedFormImportsWhatItNames) {
  const Database db = testing::triangle();  // ann→bob→cy→ann
  const std::vector<testing::PipelineCase> cases = {
      {"UNWIND [0, 1, 2] AS x CALL (x) { RETURN x * 10 AS y } RETURN x, y", "0,0|1,10|2,20", ""},
      {"UNWIND [0, 1] AS x CALL () { RETURN 'hello' AS h } RETURN x, h", "0,hello|1,hello", ""},
      {"UNWIND [1, 2] AS x WITH x, x * 2 AS z CALL (*) { RETURN x + z AS y } RETURN y", "3|6", ""},
      {"WITH 1 AS x, 2 AS z CALL (x, z) { RETURN x + z AS y } RETURN y", "3", ""},
      // The imports stay visible past a WITH, an aggregating one too.
      {"WITH 1 AS x CALL (x) { WITH 2 AS y RETURN x + y AS z } RETURN z", "3", ""},
      {"UNWIND [1, 2] AS x CALL (x) { UNWIND range(1, x) AS i WITH count(i) AS c RETURN c * x AS y } RETURN x, y",
       "1,1|2,4", ""},
      {"UNWIND [1, 2] AS x CALL (x) { RETURN x AS y UNION RETURN x + 10 AS y } RETURN x, y ORDER BY x, y",
       "1,1|1,11|2,2|2,12", ""},
      {"MATCH (n:Person) CALL (n) { MATCH (n)-[:FOLLOWS]->(m) RETURN m } RETURN n.name, m.name ORDER BY n.name",
       "ann,bob|bob,cy|cy,ann", ""},
      {"MATCH (n:Person) CALL (n) { MATCH (n)-[:FOLLOWS]->(m) RETURN count(m) AS c } RETURN n.name, c ORDER BY n.name",
       "ann,1|bob,1|cy,1", ""},
      {"WITH 1 AS x CALL () { RETURN x AS y } RETURN y", "", "SyntaxError/UndefinedVariable"},
      {"WITH 1 AS x, 2 AS y CALL (x) { RETURN y AS z } RETURN z", "", "SyntaxError/UndefinedVariable"},
      {"CALL (x) { RETURN 1 AS y } RETURN y", "", "SyntaxError/UndefinedVariable"},
      {"WITH 1 AS x CALL (x) { RETURN x } RETURN x", "", "SyntaxError/VariableAlreadyBound"},
      {"WITH 1 AS x CALL (x + 1) { RETURN 1 AS y } RETURN y", "", "SyntaxError/UnexpectedSyntax"},
      {"WITH 1 AS x CALL (x) RETURN x", "", "SyntaxError/UnexpectedSyntax"},
      {"UNWIND [1] AS x CALL { WITH x RETURN x AS y } IN TRANSACTIONS RETURN y", "", "SyntaxError/UnsupportedClause"},
      {"CALL (x) { CREATE (:T) } IN TRANSACTIONS OF 10 ROWS", "", "SyntaxError/UnsupportedClause"},
      {"CALL { CREATE (:T) } IN 2 CONCURRENT TRANSACTIONS", "", "SyntaxError/UnsupportedClause"},
  };
  testing::expect_pipeline_cases(db, cases, rows_of);
}

// A unit subquery runs for its writes, once per outer row, and the outer
// rows pass through unchanged.
TEST(CallSubquery, UnitSubqueryWritesOncePerRow) {
  Database db = testing::triangle();
  const PreparedStatement prepared =
      prepare_statement("UNWIND [1, 2, 3] AS x CALL { WITH x CREATE (:Tmp {v: x}) } RETURN x", db);
  EXPECT_TRUE(prepared.writes);
  EXPECT_TRUE(testing::has_operator(explain_statement(prepared), "SubqueryForeach"));
  std::vector<std::int64_t> seen;
  execute_statement(
      prepared, db, {}, WorkBound{},
      [&](const std::vector<CypherValue>& row) {
        seen.push_back(row[0].as_int());
        return true;
      },
      &db);
  db.compile();
  EXPECT_EQ((std::vector<std::int64_t>{1, 2, 3}), seen);
  EXPECT_EQ("6", rows_of(run_statement("MATCH (t:Tmp) RETURN sum(t.v)", db), db));

  // A unit subquery may end the statement.
  const PreparedStatement last = prepare_statement("UNWIND [4] AS x CALL { WITH x CREATE (:Tmp {v: x}) }", db);
  execute_statement(
      last, db, {}, WorkBound{}, [](const std::vector<CypherValue>&) { return true; }, &db);
  db.compile();
  EXPECT_EQ("10", rows_of(run_statement("MATCH (t:Tmp) RETURN sum(t.v)", db), db));
}

}  // namespace
}  // namespace orvane
