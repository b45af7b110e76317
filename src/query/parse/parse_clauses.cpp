// One rule per clause: MATCH, UNWIND, WITH, RETURN, CREATE, MERGE, SET,
// REMOVE, DELETE, FOREACH and CALL (procedure or subquery).
//
// The parser takes clauses in any order; which orders make a query (RETURN
// last, WITH between reading and updating, ...) is the binder's question,
// as is everything about names. What the grammar itself rules out is
// refused here: YIELD * anywhere but a procedure call standing alone, a
// SET target that is not a property, a MERGE of more than one part.
#include <string>

#include "query/parse/cypher_parser.h"

namespace orvane::cypher_parse {

ast::Clause CypherParser::clause() {
  Nesting nesting(*this);
  bool first = first_clause_;
  // Label syntax is checked per clause: a subquery's clauses are clauses
  // of their own.
  const std::size_t outer_colon = colon_conjunction_;
  const std::string outer_suggestion = colon_suggestion_;
  const bool outer_symbols = label_symbols_;
  colon_conjunction_ = std::string_view::npos;
  label_symbols_ = false;
  ast::Clause c = clause_body(first);
  check_label_syntax();
  colon_conjunction_ = outer_colon;
  colon_suggestion_ = outer_suggestion;
  label_symbols_ = outer_symbols;
  return c;
}

ast::Clause CypherParser::clause_body(bool first) {
  ast::Clause c;
  c.offset = current().offset;
  if (accept_keyword("OPTIONAL")) {
    expect_keyword("MATCH");
    c.optional = true;
    match_clause(c);
  } else if (accept_keyword("MATCH")) {
    match_clause(c);
  } else if (accept_keyword("UNWIND")) {
    unwind_clause(c);
  } else if (accept_keyword("WITH")) {
    c.kind = ast::ClauseKind::kWith;
    projection_body(c.projection, true);
  } else if (accept_keyword("RETURN")) {
    c.kind = ast::ClauseKind::kReturn;
    projection_body(c.projection, false);
  } else if (accept_keyword("CREATE")) {
    c.kind = ast::ClauseKind::kCreate;
    c.pattern = pattern();
  } else if (accept_keyword("MERGE")) {
    merge_clause(c);
  } else if (accept_keyword("SET")) {
    c.kind = ast::ClauseKind::kSet;
    c.set_items = set_items();
  } else if (accept_keyword("REMOVE")) {
    remove_clause(c);
  } else if (at_keyword("DETACH") || at_keyword("DELETE")) {
    c.kind = ast::ClauseKind::kDelete;
    c.detach = accept_keyword("DETACH");
    expect_keyword("DELETE");
    do {
      c.delete_exprs.push_back(value_expression());
    } while (accept_symbol(","));
  } else if (accept_keyword("FOREACH")) {
    foreach_clause(c);
  } else if (accept_keyword("CALL")) {
    call_clause(c, first);
  } else {
    fail_expected("a clause");
  }
  return c;
}

void CypherParser::match_clause(ast::Clause& c) {
  c.kind = ast::ClauseKind::kMatch;
  c.pattern = pattern();
  if (accept_keyword("WHERE")) c.where = predicate_expression();
}

void CypherParser::unwind_clause(ast::Clause& c) {
  c.kind = ast::ClauseKind::kUnwind;
  c.expr = value_expression();
  expect_keyword("AS");
  c.variable = name("a variable name");
}

// WITH and RETURN: [DISTINCT] (* | item) {, item} [ORDER BY ...] [SKIP e]
// [LIMIT e], and for WITH a trailing [WHERE e].
void CypherParser::projection_body(ast::Projection& p, bool is_with) {
  p.distinct = accept_keyword("DISTINCT");
  bool need_item = true;
  if (accept_symbol("*")) {
    p.star = true;
    need_item = accept_symbol(",");
  }
  if (need_item) {
    do {
      ast::ProjectionItem item;
      item.expr = value_expression();
      item.text = std::string(source(item.expr->offset, item.expr->end));
      if (accept_keyword("AS")) item.alias = name("a variable name");
      p.items.push_back(std::move(item));
    } while (accept_symbol(","));
  }
  if (accept_keyword("ORDER")) {
    expect_keyword("BY");
    do {
      ast::SortItem item;
      item.expr = value_expression();
      if (accept_keyword("DESC") || accept_keyword("DESCENDING")) {
        item.descending = true;
      } else if (!accept_keyword("ASC")) {
        accept_keyword("ASCENDING");
      }
      p.order_by.push_back(std::move(item));
    } while (accept_symbol(","));
  }
  if (accept_keyword("SKIP")) p.skip = value_expression();
  if (accept_keyword("LIMIT")) p.limit = value_expression();
  if (is_with && accept_keyword("WHERE")) p.where = predicate_expression();
}

void CypherParser::merge_clause(ast::Clause& c) {
  c.kind = ast::ClauseKind::kMerge;
  c.pattern.parts.push_back(pattern_part());
  while (at_keyword("ON")) {
    advance();
    bool on_create = accept_keyword("CREATE");
    if (!on_create && !accept_keyword("MATCH")) fail_expected("\"CREATE\" or \"MATCH\"");
    expect_keyword("SET");
    std::vector<ast::SetItem> items = set_items();
    auto& target = on_create ? c.on_create : c.on_match;
    for (auto& item : items) target.push_back(std::move(item));
  }
}

// n.key = e | n = e | n += e | n:A:B, comma-separated. A property target is
// an atom followed by property lookups ("n.a", "(n).a", "n.a.b").
std::vector<ast::SetItem> CypherParser::set_items() {
  std::vector<ast::SetItem> items;
  do {
    ast::SetItem item;
    item.offset = current().offset;
    if (at_name() && at_symbol(":", 1)) {
      item.kind = ast::SetItem::Kind::kLabels;
      item.variable = name();
      while (accept_symbol(":")) item.labels.push_back(name("a label name"));
    } else if (at_name() && (at_symbol("=", 1) || at_symbol("+=", 1))) {
      item.variable = name();
      item.kind = accept_symbol("=") ? ast::SetItem::Kind::kReplace : ast::SetItem::Kind::kMerge;
      if (item.kind == ast::SetItem::Kind::kMerge) advance();
      item.value = value_expression();
    } else {
      item.kind = ast::SetItem::Kind::kProperty;
      item.target = postfix();
      if (item.target->kind != ast::ExprKind::kProperty) {
        fail(item.target->offset, "UnexpectedSyntax",
             "Invalid input '" + std::string(source(item.target->offset, item.target->end)) +
                 "': expected a property, a variable or a label assignment");
      }
      expect_symbol("=");
      item.value = value_expression();
    }
    items.push_back(std::move(item));
  } while (accept_symbol(","));
  return items;
}

void CypherParser::remove_clause(ast::Clause& c) {
  c.kind = ast::ClauseKind::kRemove;
  do {
    ast::RemoveItem item;
    item.offset = current().offset;
    if (at_name() && at_symbol(":", 1)) {
      item.kind = ast::RemoveItem::Kind::kLabels;
      item.variable = name();
      while (accept_symbol(":")) item.labels.push_back(name("a label name"));
    } else {
      item.kind = ast::RemoveItem::Kind::kProperty;
      item.target = postfix();
      if (item.target->kind != ast::ExprKind::kProperty) {
        fail(item.target->offset, "UnexpectedSyntax",
             "Invalid input '" + std::string(source(item.target->offset, item.target->end)) +
                 "': expected a property or labels");
      }
    }
    c.remove_items.push_back(std::move(item));
  } while (accept_symbol(","));
}

// FOREACH (variable IN list | clause {clause})
void CypherParser::foreach_clause(ast::Clause& c) {
  c.kind = ast::ClauseKind::kForeach;
  expect_symbol("(");
  c.variable = name("a variable name");
  expect_keyword("IN");
  {
    const SeparatedParts parts(*this, enclosing_[pos_]);
    c.expr = value_expression();
  }
  expect_symbol("|");
  do {
    first_clause_ = false;
    c.body.push_back(clause());
  } while (at_clause_start());
  expect_symbol(")");
}

// CALL [(a, b) | (*) | ()] { query } or CALL name.space.proc [(args)]
// [YIELD * | YIELD f [AS a], ... [WHERE e]]. CALL { ... } IN TRANSACTIONS
// is refused here: every statement runs in the one transaction it is given.
void CypherParser::call_clause(ast::Clause& c, bool first_clause) {
  if (accept_symbol("(")) {
    c.scoped = true;
    if (accept_symbol("*")) {
      c.import_all = true;
    } else if (!at_symbol(")")) {
      do {
        c.import_offsets.push_back(current().offset);
        c.imports.push_back(name(c.imports.empty() ? "a variable name, \"*\" or \")\"" : "a variable name"));
      } while (accept_symbol(","));
    }
    if (!at_symbol(")")) fail_expected(c.imports.empty() ? "\")\"" : "\",\" or \")\"");
    advance();
    if (!at_symbol("{")) fail_expected("\"{\"");
  }
  if (accept_symbol("{")) {
    c.kind = ast::ClauseKind::kCallSubquery;
    c.subquery = std::make_shared<ast::Query>(query());
    expect_symbol("}");
    if (at_keyword("IN") && (at_keyword("TRANSACTIONS", 1) || at_keyword("CONCURRENT", 2) ||
                             at_keyword("CONCURRENT", 1))) {
      fail(current().offset, "UnsupportedClause",
           "CALL { ... } IN TRANSACTIONS is not supported: a statement runs in one transaction; use CALL { ... } "
           "without IN TRANSACTIONS");
    }
    return;
  }
  c.kind = ast::ClauseKind::kCall;
  c.procedure = name("a procedure name or \"{\"");
  while (accept_symbol(".")) c.procedure += "." + name("a procedure name");
  if (accept_symbol("(")) {
    if (!accept_symbol(")")) {
      do {
        c.arguments.push_back(value_expression());
      } while (accept_symbol(","));
      expect_symbol(")");
    }
  } else {
    c.implicit_arguments = true;
  }
  if (!accept_keyword("YIELD")) return;
  if (at_symbol("*")) {
    std::size_t star = current().offset;
    advance();
    // YIELD * belongs to a call that is the whole query.
    if (!first_clause || at_clause_start()) {
      fail(star, "UnexpectedSyntax",
           "Invalid input '*': YIELD * is only allowed in a procedure call that is the whole query");
    }
    c.yield_star = true;
    return;
  }
  do {
    ast::YieldItem item;
    item.field = name("a procedure output name");
    if (accept_keyword("AS")) item.alias = name("a variable name");
    c.yields.push_back(std::move(item));
  } while (accept_symbol(","));
  if (accept_keyword("WHERE")) c.where = predicate_expression();
}

}  // namespace orvane::cypher_parse
