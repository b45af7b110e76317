// The focus of this file is keywords used as names, as Neo4j 5 allows:
// variables (MATCH (count) RETURN count, WITH 1 AS limit RETURN limit),
// property keys (n.order), aliases and map keys ({match: 1}); and the
// keywords that still end an expression where a variable cannot stand.
#include <gtest/gtest.h>

#include "graph/database.h"
#include "query/cypher_statement.h"
#include "query/pipeline_cases.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

TEST(KeywordNames, KeywordsServeAsNames) {
  const Database db = testing::triangle();  // ann→bob→cy→ann
  const std::vector<testing::PipelineCase> cases = {
      {"MATCH (count) RETURN count(count)", "3", ""},
      {"MATCH (count:Person {name: 'ann'}) RETURN count.name", "ann", ""},
      {"MATCH (match)-[return]->(with) RETURN match.name, type(return), with.name ORDER BY match.name",
       "ann,FOLLOWS,bob|bob,FOLLOWS,cy|cy,FOLLOWS,ann", ""},
      {"WITH 1 AS limit RETURN limit", "1", ""},
      {"RETURN 1 AS limit LIMIT 1", "1", ""},
      {"WITH 1 AS order RETURN order ORDER BY order", "1", ""},
      {"UNWIND [1, 2] AS where RETURN where ORDER BY where DESC", "2|1", ""},
      {"WITH 2 AS skip, 1 AS limit RETURN skip + limit AS sum, skip = limit AS same", "3,false", ""},
      {"WITH {match: 1, return: 2, order: 3, end: 4} AS m RETURN m.match, m.return, m.order, m.end", "1,2,3,4", ""},
      {"MATCH (n:Person {name: 'ann'}) RETURN (n {.name, order: 1}).order AS with", "1", ""},
      {"WITH 1 AS as RETURN as", "1", ""},
      {"WITH 1 AS optional RETURN optional", "1", ""},
      // Where a keyword can stand, it is one.
      {"MATCH (n) WHERE RETURN n", "", "SyntaxError/UnexpectedSyntax"},
      {"MATCH (n) RETURN n ORDER BY LIMIT 1", "", "SyntaxError/UnexpectedSyntax"},
      {"MATCH (n) WHERE n.x = 1 AND OPTIONAL MATCH (m) RETURN m", "", "SyntaxError/UnexpectedSyntax"},
  };
  testing::expect_pipeline_cases(db, cases, testing::value_rows);
}

}  // namespace
}  // namespace orvane
