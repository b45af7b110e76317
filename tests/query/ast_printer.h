// A canonical one-line rendering of a Cypher syntax tree for tests, so that
// one string states a whole expected tree:
//
//   "MATCH (n:A)-[r:T*1..3]->(m) WHERE n.x > 1 RETURN n.x AS y"
//   => "(match (n:A)-[r:T*1..3]->(m) (where (> (. n x) 1))) (return (as (. n x) y))"
//
// Clauses and expressions are S-expressions named after the construct;
// patterns are written back as Cypher, with property maps in expression
// form. Absent optional parts print as "_". Floats always carry a "." or
// an exponent, so 1 and 1.0 read differently.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "query/parse/ast.h"

namespace orvane::testing {

std::string render(const ast::Statement& statement);
std::string render(const ast::Query& query);
std::string render(const ast::Expr& expr);
std::string render(const ast::Pattern& pattern);

// A statement and the rendering its parse must give.
struct RenderingCase {
  std::string_view statement;
  std::string_view rendering;
};
// Parses each case's statement and checks its rendering; a parse error is
// a failure of that case.
void expect_renderings(const std::vector<RenderingCase>& cases);

}  // namespace orvane::testing
