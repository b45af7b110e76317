// Atoms: literals, parameters, variables, parenthesized expressions and
// pattern predicates, list and map literals, map projections; and the
// dispatch to the keyword forms in parse_forms.cpp (CASE, function calls,
// quantifiers, reduce, comprehensions, EXISTS / COUNT subqueries).
//
// Number literals are checked here rather than in the lexer because only
// the parser knows the sign: 9223372036854775808 overflows, while
// -9223372036854775808 is the smallest integer. A malformed number is an
// InvalidNumberLiteral where a value was expected and plain unexpected
// syntax anywhere else (a map key "1B2c3e67").
//
// A word is a variable unless it is one of the few keywords that end or
// continue a clause (kNotVariables): "MATCH (n) WHERE RETURN n" then fails
// at RETURN, where the mistake is, rather than at n. Even those are
// variables where the keyword could not stand (keyword_is_variable): Neo4j
// takes any word as a name, so "WITH 1 AS limit RETURN limit" is a query.
#include <cmath>
#include <string>

#include "query/parse/cypher_parser.h"

namespace orvane::cypher_parse {

namespace {

constexpr std::string_view kNotVariables[] = {
    "MATCH", "OPTIONAL", "UNWIND", "WITH", "RETURN", "CREATE", "MERGE", "SET",  "REMOVE", "DELETE",
    "DETACH", "FOREACH", "CALL",   "UNION", "WHERE", "ORDER",  "SKIP",  "LIMIT", "WHEN",  "THEN",
    "ELSE",  "END",     "AS",     "YIELD", "NOT",   "AND",    "OR",    "XOR",   "IN",    "IS",
    "STARTS", "ENDS",   "CONTAINS", "DISTINCT", "CASE"};

// Whether the keyword `word` at the current token is a variable after all
// (WITH 1 AS limit RETURN limit, RETURN x AS order ORDER BY order): what
// follows it could follow a variable but never the keyword.
bool keyword_is_variable(const CypherParser& p, std::string_view word) {
  const CypherToken& next = p.peek(1);
  if (next.kind == CypherTokenKind::kEnd) return true;
  if (next.kind == CypherTokenKind::kSymbol) {
    static constexpr std::string_view kAfterVariable[] = {")", "]", "}", ",", ".", ";", "=", "<>", "!=", "<",
                                                          ">", "<=", ">=", "=~", "+", "/", "%", "^"};
    for (std::string_view symbol : kAfterVariable) {
      if (next.text == symbol) return true;
    }
    return false;
  }
  if ((word == "OPTIONAL" && p.at_keyword("MATCH", 1)) || (word == "DETACH" && p.at_keyword("DELETE", 1))) {
    return false;
  }
  static constexpr std::string_view kKeywordsAfterVariable[] = {
      "AS",    "IS",    "IN",    "AND",    "OR",     "XOR",  "CONTAINS", "STARTS", "ENDS",   "ORDER",
      "SKIP",  "LIMIT", "WHERE", "RETURN", "WITH",   "UNION", "ASC",     "DESC",   "ASCENDING",
      "DESCENDING", "THEN", "ELSE", "END", "WHEN",  "MATCH", "OPTIONAL", "UNWIND", "CREATE", "MERGE",
      "SET",   "REMOVE", "DELETE", "DETACH", "FOREACH", "CALL"};
  for (std::string_view keyword : kKeywordsAfterVariable) {
    if (p.at_keyword(keyword, 1)) return true;
  }
  return false;
}

}  // namespace

ast::ExprPtr CypherParser::atom() {
  const CypherToken& t = current();
  switch (t.kind) {
    case CypherTokenKind::kInteger:
    case CypherTokenKind::kFloat:
      return number_literal(false, t.offset);
    case CypherTokenKind::kBadNumber:
      fail(t.offset, "InvalidNumberLiteral", "Invalid input '" + t.text + "': expected a number literal");
    case CypherTokenKind::kString: {
      auto e = make(ast::ExprKind::kString, t.offset);
      e->text = t.text;
      advance();
      e->end = last_end();
      return e;
    }
    case CypherTokenKind::kParameter:
      return parameter();
    case CypherTokenKind::kSymbol:
      if (t.text == "(") return parenthesized_or_pattern();
      if (t.text == "[") return list_or_comprehension();
      if (t.text == "{") return map_literal();
      fail_expected("an expression");
    case CypherTokenKind::kQuotedIdentifier:
      break;
    case CypherTokenKind::kIdentifier:
      if (at_keyword("NULL") || at_keyword("TRUE") || at_keyword("FALSE")) {
        auto e = make(at_keyword("NULL") ? ast::ExprKind::kNull : ast::ExprKind::kBool, t.offset);
        e->bool_value = at_keyword("TRUE");
        advance();
        e->end = last_end();
        return e;
      }
      if (at_keyword("CASE")) return case_expression();
      if (at_keyword("EXISTS") && at_symbol("{", 1)) return subquery_expression(ast::ExprKind::kExists);
      if (at_keyword("COUNT") && at_symbol("{", 1)) return subquery_expression(ast::ExprKind::kCountSubquery);
      if (at_symbol("(", 1) && at_name(2) && at_keyword("IN", 3)) {
        if (at_keyword("ALL")) return quantifier(ast::Quantifier::kAll);
        if (at_keyword("ANY")) return quantifier(ast::Quantifier::kAny);
        if (at_keyword("NONE")) return quantifier(ast::Quantifier::kNone);
        if (at_keyword("SINGLE")) return quantifier(ast::Quantifier::kSingle);
      }
      if (at_keyword("REDUCE") && at_symbol("(", 1)) return reduce();
      if ((at_keyword("shortestPath") || at_keyword("allShortestPaths")) && at_symbol("(", 1)) {
        auto e = make(ast::ExprKind::kPatternPredicate, t.offset);
        e->pattern = std::make_shared<ast::Pattern>();
        e->pattern->parts.push_back(pattern_part());
        e->end = last_end();
        return e;
      }
      for (std::string_view word : kNotVariables) {
        if (at_keyword(word) && !keyword_is_variable(*this, word)) fail_expected("an expression");
      }
      break;
    default:
      fail_expected("an expression");
  }
  if (function_follows()) return function_call();
  auto e = make(ast::ExprKind::kVariable, t.offset);
  e->name = name();
  e->end = last_end();
  if (at_symbol("{")) return map_projection(std::move(e));
  return e;
}

ast::ExprPtr CypherParser::number_literal(bool negated, std::size_t offset) {
  const CypherToken& t = current();
  std::string written = (negated ? "-" : "") + t.text;
  ast::ExprPtr e;
  if (t.kind == CypherTokenKind::kInteger) {
    const std::uint64_t limit = (UINT64_C(1) << 63) - (negated ? 0 : 1);
    if (t.overflow || t.magnitude > limit) fail(offset, "IntegerOverflow", "integer, " + written + ", is too large");
    e = make(ast::ExprKind::kInteger, offset);
    // Negating in unsigned arithmetic keeps 2^63 in range as INT64_MIN.
    e->int_value = static_cast<std::int64_t>(negated ? ~t.magnitude + 1 : t.magnitude);
  } else {
    if (std::isinf(t.float_value)) {
      fail(offset, "FloatingPointOverflow", "floating point number, " + written + ", is too large");
    }
    e = make(ast::ExprKind::kFloat, offset);
    e->float_value = negated ? -t.float_value : t.float_value;
  }
  advance();
  e->end = last_end();
  return e;
}

ast::ExprPtr CypherParser::parameter() {
  auto e = make(ast::ExprKind::kParameter, current().offset);
  e->name = current().text;
  advance();
  e->end = last_end();
  return e;
}

// "(" starts a pattern predicate when its ")" is followed by a relationship,
// else a parenthesized expression; the pattern reading goes first.
ast::ExprPtr CypherParser::parenthesized_or_pattern() {
  auto parenthesized = [this]() {
    Nesting nesting(*this);
    std::size_t offset = current().offset;
    advance();
    ast::ExprPtr e = expression();
    expect_symbol(")");
    // The parentheses belong to the expression as written: RETURN (1 + 2)
    // names its column "(1 + 2)".
    e->offset = offset;
    e->end = last_end();
    return e;
  };
  if (!pattern_follows(0)) return parenthesized();
  return either(
      [this]() {
        auto e = make(ast::ExprKind::kPatternPredicate, current().offset);
        e->pattern = std::make_shared<ast::Pattern>();
        e->pattern->parts.push_back(pattern_part());
        e->end = last_end();
        return e;
      },
      parenthesized);
}

// "[" opens a pattern comprehension, a list comprehension or a list literal;
// the comprehension readings go first.
ast::ExprPtr CypherParser::list_or_comprehension() {
  Nesting nesting(*this);
  std::size_t offset = current().offset;
  auto literal = [this, offset]() {
    advance();
    auto e = make(ast::ExprKind::kList, offset);
    if (!at_symbol("]")) {
      do {
        e->children.push_back(expression());
      } while (accept_symbol(","));
    }
    if (!at_symbol("]")) fail_expected(e->children.empty() ? "an expression or \"]\"" : "\",\" or \"]\"");
    advance();
    e->end = last_end();
    return e;
  };
  if (pattern_follows(1) || (at_name(1) && at_symbol("=", 2) && pattern_follows(3))) {
    return either([this]() { return pattern_comprehension(); }, literal);
  }
  if (at_name(1) && at_keyword("IN", 2)) return either([this]() { return list_comprehension(); }, literal);
  return literal();
}

ast::ExprPtr CypherParser::map_literal() {
  Nesting nesting(*this);
  auto e = make(ast::ExprKind::kMap, current().offset);
  advance();
  if (!accept_symbol("}")) {
    do {
      e->keys.push_back(name(e->keys.empty() ? "a property key name or \"}\"" : "a property key name"));
      expect_symbol(":");
      e->children.push_back(expression());
    } while (accept_symbol(","));
    expect_symbol("}");
  }
  e->end = last_end();
  return e;
}

// subject { .key, .*, key: expression, variable }
ast::ExprPtr CypherParser::map_projection(ast::ExprPtr subject) {
  Nesting nesting(*this);
  auto e = make(ast::ExprKind::kMapProjection, subject->offset);
  e->name = subject->name;
  advance();
  if (!at_symbol("}")) {
    do {
      ast::MapProjectionItem item;
      if (accept_symbol(".")) {
        if (accept_symbol("*")) {
          item.kind = ast::MapProjectionItem::Kind::kAllProperties;
        } else {
          item.kind = ast::MapProjectionItem::Kind::kProperty;
          item.key = name("a property key name or \"*\"");
        }
      } else if (at_name() && at_symbol(":", 1)) {
        item.kind = ast::MapProjectionItem::Kind::kLiteral;
        item.key = name();
        advance();
        item.value = expression();
      } else {
        item.kind = ast::MapProjectionItem::Kind::kVariable;
        item.key = name("\".\", a property key name or a variable");
      }
      e->items.push_back(std::move(item));
    } while (accept_symbol(","));
  }
  expect_symbol("}");
  e->end = last_end();
  return e;
}

}  // namespace orvane::cypher_parse
