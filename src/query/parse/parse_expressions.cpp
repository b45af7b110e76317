// Expressions: binary operators by precedence climbing, then unary signs,
// then postfix forms (property access, indexing, slicing, label tests).
//
// Levels, loosest first (one loop reads every level, so the recursion per
// nested parenthesis stays a handful of frames):
//
//   1 OR   2 XOR   3 AND   4 NOT (prefix)
//   5 comparison: = <> != < <= > >=, chained ("a < b <= c" is one node)
//   6 predicates: STARTS WITH, ENDS WITH, CONTAINS, IN, =~, IS [NOT] NULL
//   7 + -   8 * / %   9 ^   then unary + -, then postfix
//
// All binary operators associate to the left, "^" included, as in Neo4j.
// A unary minus directly before a number literal is folded into it, which
// is how -9223372036854775808 is written at all.
//
// A pattern used as an expression ("(a)-->(b)") is a predicate, so it may
// stand only where a boolean is wanted: a WHERE, a CASE condition, or an
// operand of NOT, AND, OR or XOR there. check_pattern_placement refuses it
// anywhere else ("RETURN (a)-->()", "size((a)-->())"), as Neo4j 5 does;
// shortestPath(...) and allShortestPaths(...) are values anywhere.
#include <optional>
#include <string>

#include "query/parse/cypher_parser.h"

namespace orvane::cypher_parse {

namespace {

enum Level { kOrLevel = 1, kXorLevel, kAndLevel, kNotLevel, kComparisonLevel, kPredicateLevel, kAddLevel,
             kMultiplyLevel, kPowerLevel };

struct BinaryOp {
  ast::Op op;
  int level;
  int tokens;  // how many tokens spell it ("STARTS WITH": 2)
};

bool boolean_op(const ast::Expr& e) {
  return (e.kind == ast::ExprKind::kUnary && e.op == ast::Op::kNot) ||
         (e.kind == ast::ExprKind::kBinary && (e.op == ast::Op::kOr || e.op == ast::Op::kXor || e.op == ast::Op::kAnd));
}

}  // namespace

ast::ExprPtr CypherParser::make(ast::ExprKind kind, std::size_t offset) const {
  auto e = std::make_unique<ast::Expr>();
  e->kind = kind;
  e->offset = offset;
  return e;
}

ast::ExprPtr CypherParser::value_expression() {
  ast::ExprPtr e = expression();
  check_pattern_placement(*e, false);
  return e;
}

ast::ExprPtr CypherParser::predicate_expression() {
  ast::ExprPtr e = expression();
  check_pattern_placement(*e, true);
  return e;
}

// Not counted as a level of nesting itself: every way back into expression()
// passes a bracket or a keyword form that counts, so "(((1)))" is three
// levels deep, as a user would count it.
ast::ExprPtr CypherParser::expression() {
  return binary(kOrLevel);
}

ast::ExprPtr CypherParser::binary(int min_level) {
  ast::ExprPtr left;
  if (min_level <= kNotLevel && at_keyword("NOT")) {
    Nesting nesting(*this);
    std::size_t offset = current().offset;
    advance();
    left = make(ast::ExprKind::kUnary, offset);
    left->op = ast::Op::kNot;
    left->children.push_back(binary(kNotLevel));
    left->end = left->children[0]->end;
  } else {
    left = unary();
  }
  while (true) {
    std::optional<BinaryOp> found;
    const CypherToken& t = current();
    if (t.kind == CypherTokenKind::kSymbol) {
      static const struct {
        std::string_view symbol;
        BinaryOp op;
      } kSymbolOps[] = {
          {"=", {ast::Op::kEqual, kComparisonLevel, 1}},      {"<>", {ast::Op::kNotEqual, kComparisonLevel, 1}},
          {"!=", {ast::Op::kNotEqual, kComparisonLevel, 1}},  {"<", {ast::Op::kLess, kComparisonLevel, 1}},
          {"<=", {ast::Op::kLessEqual, kComparisonLevel, 1}}, {">", {ast::Op::kGreater, kComparisonLevel, 1}},
          {">=", {ast::Op::kGreaterEqual, kComparisonLevel, 1}}, {"=~", {ast::Op::kRegexMatch, kPredicateLevel, 1}},
          {"+", {ast::Op::kAdd, kAddLevel, 1}},               {"-", {ast::Op::kSubtract, kAddLevel, 1}},
          {"*", {ast::Op::kMultiply, kMultiplyLevel, 1}},     {"/", {ast::Op::kDivide, kMultiplyLevel, 1}},
          {"%", {ast::Op::kModulo, kMultiplyLevel, 1}},       {"^", {ast::Op::kPower, kPowerLevel, 1}},
      };
      for (const auto& entry : kSymbolOps) {
        if (t.text == entry.symbol) found = entry.op;
      }
    } else if (at_keyword("OR")) {
      found = BinaryOp{ast::Op::kOr, kOrLevel, 1};
    } else if (at_keyword("XOR")) {
      found = BinaryOp{ast::Op::kXor, kXorLevel, 1};
    } else if (at_keyword("AND")) {
      found = BinaryOp{ast::Op::kAnd, kAndLevel, 1};
    } else if (at_keyword("IN")) {
      found = BinaryOp{ast::Op::kIn, kPredicateLevel, 1};
    } else if (at_keyword("CONTAINS")) {
      found = BinaryOp{ast::Op::kContains, kPredicateLevel, 1};
    } else if (at_keyword("STARTS") && at_keyword("WITH", 1)) {
      found = BinaryOp{ast::Op::kStartsWith, kPredicateLevel, 2};
    } else if (at_keyword("ENDS") && at_keyword("WITH", 1)) {
      found = BinaryOp{ast::Op::kEndsWith, kPredicateLevel, 2};
    } else if (at_keyword("IS") && kPredicateLevel >= min_level) {
      advance();
      bool negated = accept_keyword("NOT");
      expect_keyword("NULL");
      auto e = make(negated ? ast::ExprKind::kIsNotNull : ast::ExprKind::kIsNull, left->offset);
      e->end = last_end();
      e->children.push_back(std::move(left));
      left = std::move(e);
      continue;
    }
    if (!found || found->level < min_level) break;
    for (int i = 0; i < found->tokens; ++i) advance();
    if (found->level == kComparisonLevel) {
      // One node for the whole chain: a < b <= c.
      auto chain = make(ast::ExprKind::kComparison, left->offset);
      chain->children.push_back(std::move(left));
      chain->ops.push_back(found->op);
      chain->children.push_back(binary(kComparisonLevel + 1));
      while (current().kind == CypherTokenKind::kSymbol) {
        const std::string& s = current().text;
        ast::Op op;
        if (s == "=") op = ast::Op::kEqual;
        else if (s == "<>" || s == "!=") op = ast::Op::kNotEqual;
        else if (s == "<") op = ast::Op::kLess;
        else if (s == "<=") op = ast::Op::kLessEqual;
        else if (s == ">") op = ast::Op::kGreater;
        else if (s == ">=") op = ast::Op::kGreaterEqual;
        else break;
        advance();
        chain->ops.push_back(op);
        chain->children.push_back(binary(kComparisonLevel + 1));
      }
      chain->end = chain->children.back()->end;
      left = std::move(chain);
      continue;
    }
    auto e = make(ast::ExprKind::kBinary, left->offset);
    e->op = found->op;
    e->children.push_back(std::move(left));
    e->children.push_back(binary(found->level + 1));
    e->end = e->children[1]->end;
    left = std::move(e);
  }
  return left;
}

ast::ExprPtr CypherParser::unary() {
  if (!at_symbol("-") && !at_symbol("+")) return postfix();
  Nesting nesting(*this);
  std::size_t offset = current().offset;
  bool minus = at_symbol("-");
  advance();
  CypherTokenKind next = current().kind;
  if (minus && (next == CypherTokenKind::kInteger || next == CypherTokenKind::kFloat) && !at_symbol(".", 1) &&
      !at_symbol("[", 1)) {
    return number_literal(true, offset);
  }
  auto e = make(ast::ExprKind::kUnary, offset);
  e->op = minus ? ast::Op::kNegate : ast::Op::kPlus;
  e->children.push_back(unary());
  e->end = e->children[0]->end;
  return e;
}

ast::ExprPtr CypherParser::postfix() {
  ast::ExprPtr e = atom();
  while (true) {
    if (at_symbol(".") && at_name(1)) {
      advance();
      auto property = make(ast::ExprKind::kProperty, e->offset);
      property->name = name();
      property->end = last_end();
      property->children.push_back(std::move(e));
      e = std::move(property);
    } else if (at_symbol("[")) {
      Nesting nesting(*this);
      advance();
      ast::ExprPtr low;
      ast::ExprPtr high;
      bool slice = false;
      if (accept_symbol("..")) {
        slice = true;
      } else {
        low = expression();
        slice = accept_symbol("..");
      }
      if (slice && !at_symbol("]")) high = expression();
      expect_symbol("]");
      auto indexed = make(slice ? ast::ExprKind::kSlice : ast::ExprKind::kIndex, e->offset);
      indexed->end = last_end();
      indexed->children.push_back(std::move(e));
      indexed->children.push_back(std::move(low));
      if (slice) indexed->children.push_back(std::move(high));
      e = std::move(indexed);
    } else if (at_label_expression()) {
      auto test = make(ast::ExprKind::kHasLabels, e->offset);
      ast::LabelExpr labels = label_expression(LabelPlace::kExpression);
      if (!conjunction_of_names(labels, test->labels)) {
        test->labels.clear();
        test->label_expr = std::make_shared<ast::LabelExpr>(std::move(labels));
      }
      test->end = last_end();
      test->children.push_back(std::move(e));
      e = std::move(test);
    } else {
      return e;
    }
  }
}

void CypherParser::check_pattern_placement(const ast::Expr& e, bool boolean_position) const {
  // shortestPath(...) and allShortestPaths(...) are values: the path, the
  // list of paths.
  const bool path_value = e.kind == ast::ExprKind::kPatternPredicate && e.pattern && e.pattern->parts.size() == 1 &&
                          e.pattern->parts[0].function != ast::PathFunction::kNone;
  if (e.kind == ast::ExprKind::kPatternPredicate && !boolean_position && !path_value) {
    fail(e.offset, "UnexpectedSyntax",
         "Invalid input '" + std::string(source(e.offset, e.end)) +
             "': a pattern can only be used as a predicate; use EXISTS { ... } or COUNT { ... } for its value");
  }
  bool pass_on = boolean_position && boolean_op(e);
  for (const auto& child : e.children) {
    if (child) check_pattern_placement(*child, pass_on);
  }
  for (const auto& item : e.items) {
    if (item.value) check_pattern_placement(*item.value, false);
  }
  for (const auto& when : e.whens) check_pattern_placement(*when, !e.has_subject);
  for (const auto& then : e.thens) check_pattern_placement(*then, false);
  if (e.else_expr) check_pattern_placement(*e.else_expr, false);
  if (e.where) check_pattern_placement(*e.where, true);
  if (e.projection) check_pattern_placement(*e.projection, false);
}

}  // namespace orvane::cypher_parse
