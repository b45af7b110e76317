// Patterns: comma-separated parts, each an optional path variable, an
// optional shortestPath / allShortestPaths, and a chain of node patterns
// joined by relationship patterns.
//
//   node   ( [var] [:LabelExpr] [{map} | $param] )
//   rel    <-[ ... ]-  -[ ... ]->  -[ ... ]-  <-[ ... ]->, or the same
//          without brackets ("-->", "<--", "--", "<-->")
//   inside [var] [:LabelExpr] [* [min] [.. [max]]] [{map} | $param]
//
// (label expressions: parse_labels.cpp).
//
// The lexer has no arrow tokens ("<-" would break "a<-1"), so arrows are
// read from "<", "-" and ">". A range written without its "*" ("[:T..]")
// or with a sign ("*-2") is an InvalidRelationshipPattern.
#include <string>

#include "query/parse/cypher_parser.h"

namespace orvane::cypher_parse {

namespace {

// The non-negative integer of an integer token, for hop counts.
std::int64_t hop_count(CypherParser& p) {
  const CypherToken& t = p.current();
  if (t.kind != CypherTokenKind::kInteger) p.fail_expected("an integer");
  if (t.overflow || t.magnitude > static_cast<std::uint64_t>(INT64_MAX)) {
    p.fail(t.offset, "IntegerOverflow", "integer, " + t.text + ", is too large");
  }
  auto value = static_cast<std::int64_t>(t.magnitude);
  p.advance();
  return value;
}

}  // namespace

ast::Pattern CypherParser::pattern() {
  ast::Pattern p;
  do {
    p.parts.push_back(pattern_part());
  } while (accept_symbol(","));
  return p;
}

ast::PatternPart CypherParser::pattern_part() {
  Nesting nesting(*this);
  ast::PatternPart part;
  part.offset = current().offset;
  if (at_name() && at_symbol("=", 1)) {
    part.path_variable = name();
    advance();
  }
  bool wrapped = false;
  if ((at_keyword("shortestPath") || at_keyword("allShortestPaths")) && at_symbol("(", 1)) {
    part.function = at_keyword("shortestPath") ? ast::PathFunction::kShortest : ast::PathFunction::kAllShortest;
    advance();
    advance();
    wrapped = true;
  }
  part.nodes.push_back(node_pattern());
  while (at_relationship_start()) {
    part.rels.push_back(rel_pattern());
    part.nodes.push_back(node_pattern());
  }
  if (wrapped) expect_symbol(")");
  return part;
}

bool CypherParser::at_relationship_start(std::size_t ahead) const {
  return at_symbol("-", ahead) || (at_symbol("<", ahead) && at_symbol("-", ahead + 1));
}

bool CypherParser::pattern_follows(std::size_t ahead) const {
  std::size_t open = pos_ + ahead;
  if (open >= tokens_.size() || !at_symbol("(", ahead)) return false;
  std::size_t close = closing_[open];
  if (close == std::string_view::npos) return false;
  std::size_t after = close + 1 - pos_;
  if (at_symbol("<", after)) return at_symbol("-", after + 1);
  return at_symbol("-", after) && (at_symbol("-", after + 1) || at_symbol("[", after + 1) || at_symbol(">", after + 1));
}

ast::NodePattern CypherParser::node_pattern() {
  ast::NodePattern node;
  node.offset = current().offset;
  expect_symbol("(");
  if (at_name()) node.variable = name();
  if (at_symbol(":")) {
    ast::LabelExpr labels = label_expression(LabelPlace::kNode);
    if (!conjunction_of_names(labels, node.labels)) {
      node.labels.clear();
      node.label_expr = std::make_shared<ast::LabelExpr>(std::move(labels));
    }
  }
  if (at_symbol("{")) {
    node.properties = map_literal();
  } else if (current().kind == CypherTokenKind::kParameter) {
    node.properties = parameter();
  }
  if (!at_symbol(")")) {
    fail_expected(node.variable.empty() && node.labels.empty() && !node.properties
                      ? "a variable, \":\", \"{\", a parameter or \")\""
                      : "\":\", \"{\", a parameter or \")\"");
  }
  advance();
  return node;
}

ast::RelPattern CypherParser::rel_pattern() {
  ast::RelPattern rel;
  rel.offset = current().offset;
  bool left = accept_symbol("<");
  expect_symbol("-");
  if (accept_symbol("[")) {
    if (at_name()) rel.variable = name();
    if (at_symbol(":")) {
      ast::LabelExpr types = label_expression(LabelPlace::kRelationship);
      if (!disjunction_of_names(types, rel.types)) {
        rel.types.clear();
        rel.type_expr = std::make_shared<ast::LabelExpr>(std::move(types));
      }
    }
    if (at_symbol("*")) {
      advance();
      rel.variable_length = true;
      if (at_symbol("-")) {
        fail(current().offset, "InvalidRelationshipPattern",
             "Invalid input '-': expected a non-negative integer, \"..\" or \"]\"");
      }
      if (current().kind == CypherTokenKind::kInteger) rel.min_hops = hop_count(*this);
      if (accept_symbol("..")) {
        if (at_symbol("-")) {
          fail(current().offset, "InvalidRelationshipPattern",
               "Invalid input '-': expected a non-negative integer or \"]\"");
        }
        if (current().kind == CypherTokenKind::kInteger) rel.max_hops = hop_count(*this);
      } else {
        rel.max_hops = rel.min_hops;  // *2: exactly two hops
      }
    } else if (at_symbol("..")) {
      fail(current().offset, "InvalidRelationshipPattern",
           "Invalid input '..': a range of hops must follow \"*\" (as in \"*1..3\")");
    }
    if (at_symbol("{")) {
      rel.properties = map_literal();
    } else if (current().kind == CypherTokenKind::kParameter) {
      rel.properties = parameter();
    }
    if (!at_symbol("]")) fail_expected("\"]\"");
    advance();
  }
  expect_symbol("-");
  bool right = accept_symbol(">");
  rel.direction = left == right ? ast::Direction::kBoth : left ? ast::Direction::kLeft : ast::Direction::kRight;
  return rel;
}

}  // namespace orvane::cypher_parse
