// Label and relationship type expressions after ":" — in node patterns
// (n:A|B), relationship patterns [r:!T] and label tests in expressions
// (WHERE n:A|B) — with Neo4j 5's precedence, loosest first:
//
//   |  disjunction        (in a relationship's types also "|:", as older
//                          Cypher wrote [:A|:B])
//   &  conjunction, and ":" between labels as in n:A:B
//   !  negation (prefix, repeatable)
//   name, % (any label), ( expression )
//
// Neo4j refuses a clause that joins labels with ":" (n:A:B) and also writes
// one of the newer symbols |, &, ! or % between labels anywhere, pointing
// at the ":" and suggesting the "&" form; the parser keeps, per clause, the
// first such ":" and whether a newer symbol was seen (check_label_syntax).
// A relationship's "|" is no newer symbol: [:A|B] is as old as Cypher.
//
// In an expression, "|" is ambiguous: it also separates a comprehension's
// parts ([x IN l WHERE x:A | x.name]) and FOREACH's and reduce's. A "|"
// whose innermost enclosing bracket is that comprehension's (or FOREACH's,
// reduce's) is the separator; in a parenthesized label expression it is a
// disjunction again: [x IN l WHERE x:(A|B) | x.name].
#include <string>

#include "query/parse/cypher_parser.h"

namespace orvane::cypher_parse {

namespace {

using Kind = ast::LabelExpr::Kind;

bool names_joined_by(const ast::LabelExpr& e, Kind joiner, std::vector<std::string>& names) {
  if (e.kind == Kind::kName) {
    names.push_back(e.name);
    return true;
  }
  if (e.kind != joiner) return false;
  for (const ast::LabelExpr& operand : e.operands) {
    if (!names_joined_by(operand, joiner, names)) return false;
  }
  return true;
}

}  // namespace

bool conjunction_of_names(const ast::LabelExpr& e, std::vector<std::string>& names) {
  names.clear();
  return names_joined_by(e, Kind::kAnd, names);
}

bool disjunction_of_names(const ast::LabelExpr& e, std::vector<std::string>& names) {
  names.clear();
  return names_joined_by(e, Kind::kOr, names);
}

bool CypherParser::separates_parts() const {
  return separator_bracket_ != std::string_view::npos && enclosing_[pos_] == separator_bracket_;
}

bool CypherParser::at_label_expression() const {
  if (!at_symbol(":")) return false;
  return at_name(1) || at_symbol("!", 1) || at_symbol("%", 1) || at_symbol("(", 1);
}

ast::LabelExpr CypherParser::label_expression(LabelPlace place) {
  Nesting nesting(*this);
  const std::size_t start = current().offset;
  expect_symbol(":");
  std::vector<std::size_t> colons;  // the ":" between labels, to suggest "&" in their place
  ast::LabelExpr e = label_disjunction(place, colons);
  if (!colons.empty() && colon_conjunction_ == std::string_view::npos) {
    colon_conjunction_ = colons[0];
    colon_suggestion_ = std::string(source(start, last_end()));
    for (const std::size_t at : colons) colon_suggestion_[at - start] = '&';
  }
  return e;
}

ast::LabelExpr CypherParser::label_disjunction(LabelPlace place, std::vector<std::size_t>& colons) {
  ast::LabelExpr first = label_conjunction(place, colons);
  if (!at_symbol("|")) return first;
  ast::LabelExpr e;
  e.kind = Kind::kOr;
  e.offset = first.offset;
  e.operands.push_back(std::move(first));
  while (at_symbol("|")) {
    if (place == LabelPlace::kExpression && (separates_parts() || !(at_name(1) || at_symbol("!", 1) ||
                                                                      at_symbol("%", 1) || at_symbol("(", 1)))) {
      break;
    }
    if (place != LabelPlace::kRelationship) label_symbols_ = true;
    advance();
    if (place == LabelPlace::kRelationship) accept_symbol(":");  // [:A|:B]
    e.operands.push_back(label_conjunction(place, colons));
  }
  return e.operands.size() == 1 ? std::move(e.operands[0]) : e;
}

ast::LabelExpr CypherParser::label_conjunction(LabelPlace place, std::vector<std::size_t>& colons) {
  ast::LabelExpr first = label_negation(place, colons);
  const auto at_joiner = [this]() {
    return at_symbol("&") || (at_symbol(":") && (at_name(1) || at_symbol("!", 1) || at_symbol("%", 1) ||
                                                  at_symbol("(", 1)));
  };
  if (!at_joiner()) return first;
  ast::LabelExpr e;
  e.kind = Kind::kAnd;
  e.offset = first.offset;
  e.operands.push_back(std::move(first));
  while (at_joiner()) {
    if (at_symbol("&")) {
      label_symbols_ = true;
    } else {
      colons.push_back(current().offset);
    }
    advance();
    e.operands.push_back(label_negation(place, colons));
  }
  return e;
}

ast::LabelExpr CypherParser::label_negation(LabelPlace place, std::vector<std::size_t>& colons) {
  Nesting nesting(*this);
  ast::LabelExpr e;
  e.offset = current().offset;
  if (accept_symbol("!")) {
    label_symbols_ = true;
    e.kind = Kind::kNot;
    e.operands.push_back(label_negation(place, colons));
    return e;
  }
  if (accept_symbol("%")) {
    label_symbols_ = true;
    e.kind = Kind::kAny;
    return e;
  }
  if (accept_symbol("(")) {
    ast::LabelExpr inner = label_disjunction(place, colons);
    expect_symbol(")");
    return inner;
  }
  e.kind = Kind::kName;
  e.name = name(place == LabelPlace::kRelationship ? "a relationship type name" : "a label name");
  return e;
}

void CypherParser::check_label_syntax() const {
  if (colon_conjunction_ == std::string_view::npos || !label_symbols_) return;
  fail(colon_conjunction_, "InvalidLabelExpression",
       "Mixing label expression symbols ('|', '&', '!', and '%') with colon (':') between labels is not allowed. "
       "Please only use one set of symbols. This expression could be expressed as " +
           colon_suggestion_ + ".");
}

}  // namespace orvane::cypher_parse
