// The expression forms that open with a keyword or a bracket and carry an
// inner scope or a structure of their own: CASE, function calls (count(*)
// included), all/any/none/single, reduce, list and pattern comprehensions,
// and EXISTS { ... } / COUNT { ... }.
//
// A function is a name, optionally with a namespace ("date.truncate"),
// followed by "("; function_follows looks past the dots so that "a.b(1)"
// is a call and "a.b" a property. The name is kept as written; the binder
// resolves it, case-insensitively, as Neo4j does.
//
// EXISTS and COUNT braces hold either a whole query (when a clause keyword
// comes first: "EXISTS { MATCH (n)-->() RETURN 1 }") or a pattern with an
// optional WHERE ("COUNT { (n)-->(m) WHERE m.x > 1 }").
#include <string>

#include "query/parse/cypher_parser.h"

namespace orvane::cypher_parse {

ast::ExprPtr CypherParser::case_expression() {
  Nesting nesting(*this);
  auto e = make(ast::ExprKind::kCase, current().offset);
  advance();
  if (!at_keyword("WHEN")) {
    e->has_subject = true;
    e->children.push_back(expression());
  }
  if (!at_keyword("WHEN")) fail_expected("\"WHEN\"");
  while (accept_keyword("WHEN")) {
    e->whens.push_back(expression());
    expect_keyword("THEN");
    e->thens.push_back(expression());
  }
  if (accept_keyword("ELSE")) e->else_expr = expression();
  if (!at_keyword("END")) fail_expected(e->else_expr ? "\"END\"" : "\"WHEN\", \"ELSE\" or \"END\"");
  advance();
  e->end = last_end();
  return e;
}

bool CypherParser::function_follows() const {
  std::size_t ahead = 1;
  while (at_symbol(".", ahead) && at_name(ahead + 1)) ahead += 2;
  return at_symbol("(", ahead);
}

ast::ExprPtr CypherParser::function_call() {
  Nesting nesting(*this);
  auto e = make(ast::ExprKind::kFunction, current().offset);
  e->name = name();
  while (accept_symbol(".")) e->name += "." + name();
  expect_symbol("(");
  if (at_symbol("*") && at_symbol(")", 1)) {
    std::string lower;
    for (char c : e->name) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "count") {
      e->kind = ast::ExprKind::kCountStar;
      advance();
      advance();
      e->end = last_end();
      return e;
    }
  }
  e->distinct = accept_keyword("DISTINCT");
  if (!at_symbol(")")) {
    do {
      e->children.push_back(expression());
    } while (accept_symbol(","));
  }
  if (!at_symbol(")")) fail_expected(e->children.empty() ? "an expression or \")\"" : "\",\" or \")\"");
  advance();
  e->end = last_end();
  return e;
}

// all | any | none | single ( variable IN list [WHERE predicate] )
ast::ExprPtr CypherParser::quantifier(ast::Quantifier q) {
  Nesting nesting(*this);
  auto e = make(ast::ExprKind::kQuantifier, current().offset);
  e->quantifier = q;
  advance();
  advance();  // "("
  e->name = name();
  expect_keyword("IN");
  e->children.push_back(expression());
  if (accept_keyword("WHERE")) e->where = expression();
  expect_symbol(")");
  e->end = last_end();
  return e;
}

// reduce ( accumulator = initial , variable IN list | expression )
ast::ExprPtr CypherParser::reduce() {
  Nesting nesting(*this);
  auto e = make(ast::ExprKind::kReduce, current().offset);
  advance();
  const SeparatedParts parts(*this);
  advance();  // "("
  e->name = name("an accumulator name");
  expect_symbol("=");
  e->children.push_back(expression());
  expect_symbol(",");
  e->name2 = name("a variable name");
  expect_keyword("IN");
  e->children.push_back(expression());
  expect_symbol("|");
  e->projection = expression();
  expect_symbol(")");
  e->end = last_end();
  return e;
}

// [ variable IN list [WHERE predicate] [| projection] ]
ast::ExprPtr CypherParser::list_comprehension() {
  auto e = make(ast::ExprKind::kListComprehension, current().offset);
  const SeparatedParts parts(*this);
  advance();  // "["
  e->name = name();
  expect_keyword("IN");
  e->children.push_back(expression());
  if (accept_keyword("WHERE")) e->where = expression();
  if (accept_symbol("|")) e->projection = expression();
  if (!at_symbol("]")) fail_expected(e->projection ? "\"]\"" : "\"WHERE\", \"|\" or \"]\"");
  advance();
  e->end = last_end();
  return e;
}

// [ [path =] pattern [WHERE predicate] | projection ]
ast::ExprPtr CypherParser::pattern_comprehension() {
  auto e = make(ast::ExprKind::kPatternComprehension, current().offset);
  const SeparatedParts parts(*this);
  advance();  // "["
  e->pattern = std::make_shared<ast::Pattern>();
  e->pattern->parts.push_back(pattern_part());
  e->name = e->pattern->parts[0].path_variable;
  if (e->pattern->parts[0].rels.empty()) fail_expected("a relationship pattern");
  if (accept_keyword("WHERE")) e->where = expression();
  expect_symbol("|");
  e->projection = expression();
  expect_symbol("]");
  e->end = last_end();
  return e;
}

ast::ExprPtr CypherParser::subquery_expression(ast::ExprKind kind) {
  Nesting nesting(*this);
  auto e = make(kind, current().offset);
  advance();
  advance();  // "{"
  if (at_clause_start()) {
    e->subquery = std::make_shared<ast::Query>(query());
  } else {
    e->pattern = std::make_shared<ast::Pattern>(pattern());
    if (accept_keyword("WHERE")) e->where = predicate_expression();
  }
  expect_symbol("}");
  e->end = last_end();
  return e;
}

}  // namespace orvane::cypher_parse
