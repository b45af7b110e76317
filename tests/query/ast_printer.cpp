// The test-only rendering of syntax trees (see ast_printer.h).
#include "query/ast_printer.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

#include "query/cypher_error.h"
#include "query/parse/parser.h"

namespace orvane::testing {

namespace {

using ast::ExprKind;
using ast::Op;

std::string expr_or_blank(const ast::ExprPtr& e) { return e ? render(*e) : "_"; }

const char* op_name(Op op) {
  switch (op) {
    case Op::kNot: return "not";
    case Op::kNegate: return "neg";
    case Op::kPlus: return "plus";
    case Op::kOr: return "or";
    case Op::kXor: return "xor";
    case Op::kAnd: return "and";
    case Op::kAdd: return "+";
    case Op::kSubtract: return "-";
    case Op::kMultiply: return "*";
    case Op::kDivide: return "/";
    case Op::kModulo: return "%";
    case Op::kPower: return "^";
    case Op::kIn: return "in";
    case Op::kStartsWith: return "starts-with";
    case Op::kEndsWith: return "ends-with";
    case Op::kContains: return "contains";
    case Op::kRegexMatch: return "=~";
    case Op::kEqual: return "=";
    case Op::kNotEqual: return "<>";
    case Op::kLess: return "<";
    case Op::kLessEqual: return "<=";
    case Op::kGreater: return ">";
    case Op::kGreaterEqual: return ">=";
  }
  return "?";
}

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string float_text(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  if (text.find_first_of(".en") == std::string::npos) text += ".0";
  return text;
}

std::string properties(const ast::ExprPtr& e) {
  if (!e) return "";
  if (e->kind != ExprKind::kMap) return " " + render(*e);
  std::string out = " {";
  for (std::size_t i = 0; i < e->keys.size(); ++i) {
    out += (i ? ", " : "") + e->keys[i] + ": " + render(*e->children[i]);
  }
  return out + "}";
}

// A label expression with every operator parenthesized: "(!A|(B&C))".
std::string label_text(const ast::LabelExpr& e) {
  using Kind = ast::LabelExpr::Kind;
  switch (e.kind) {
    case Kind::kName: return e.name;
    case Kind::kAny: return "%";
    case Kind::kNot: return "!" + label_text(e.operands[0]);
    case Kind::kAnd:
    case Kind::kOr: {
      std::string out = "(";
      for (std::size_t i = 0; i < e.operands.size(); ++i) {
        out += (i ? (e.kind == Kind::kAnd ? "&" : "|") : "") + label_text(e.operands[i]);
      }
      return out + ")";
    }
  }
  return "?";
}

std::string node_text(const ast::NodePattern& n) {
  std::string out = "(" + n.variable;
  for (const auto& label : n.labels) out += ":" + label;
  if (n.label_expr) out += ":" + label_text(*n.label_expr);
  out += properties(n.properties);
  return out + ")";
}

std::string rel_text(const ast::RelPattern& r) {
  std::string inner = r.variable;
  for (std::size_t i = 0; i < r.types.size(); ++i) inner += (i ? "|" : ":") + r.types[i];
  if (r.type_expr) inner += ":" + label_text(*r.type_expr);
  if (r.variable_length) {
    inner += "*";
    if (r.min_hops) inner += std::to_string(*r.min_hops);
    bool exact = r.min_hops && r.max_hops && *r.min_hops == *r.max_hops;
    if (!exact && (r.min_hops || r.max_hops)) {
      inner += "..";
      if (r.max_hops) inner += std::to_string(*r.max_hops);
    }
  }
  inner += properties(r.properties);
  std::string left = r.direction == ast::Direction::kLeft ? "<-" : "-";
  std::string right = r.direction == ast::Direction::kRight ? "->" : "-";
  return left + "[" + inner + "]" + right;
}

std::string clauses(const std::vector<ast::Clause>& list);

std::string set_item(const ast::SetItem& item) {
  switch (item.kind) {
    case ast::SetItem::Kind::kProperty: return "(= " + render(*item.target) + " " + render(*item.value) + ")";
    case ast::SetItem::Kind::kReplace: return "(replace " + item.variable + " " + render(*item.value) + ")";
    case ast::SetItem::Kind::kMerge: return "(+= " + item.variable + " " + render(*item.value) + ")";
    case ast::SetItem::Kind::kLabels: {
      std::string out = "(labels " + item.variable;
      for (const auto& label : item.labels) out += " " + label;
      return out + ")";
    }
  }
  return "?";
}

std::string set_items(const std::vector<ast::SetItem>& items) {
  std::string out;
  for (const auto& item : items) out += " " + set_item(item);
  return out;
}

std::string projection(const char* head, const ast::Projection& p) {
  std::string out = std::string("(") + head;
  if (p.distinct) out += " distinct";
  if (p.star) out += " *";
  for (const auto& item : p.items) {
    out += " " + (item.alias.empty() ? render(*item.expr) : "(as " + render(*item.expr) + " " + item.alias + ")");
  }
  if (!p.order_by.empty()) {
    out += " (order-by";
    for (const auto& s : p.order_by) out += " (" + render(*s.expr) + (s.descending ? " desc)" : " asc)");
    out += ")";
  }
  if (p.skip) out += " (skip " + render(*p.skip) + ")";
  if (p.limit) out += " (limit " + render(*p.limit) + ")";
  if (p.where) out += " (where " + render(*p.where) + ")";
  return out + ")";
}

std::string clause(const ast::Clause& c) {
  using ast::ClauseKind;
  switch (c.kind) {
    case ClauseKind::kMatch:
      return std::string(c.optional ? "(optional-match " : "(match ") + render(c.pattern) +
             (c.where ? " (where " + render(*c.where) + ")" : "") + ")";
    case ClauseKind::kUnwind: return "(unwind " + render(*c.expr) + " " + c.variable + ")";
    case ClauseKind::kWith: return projection("with", c.projection);
    case ClauseKind::kReturn: return projection("return", c.projection);
    case ClauseKind::kCreate: return "(create " + render(c.pattern) + ")";
    case ClauseKind::kMerge: {
      std::string out = "(merge " + render(c.pattern);
      if (!c.on_create.empty()) out += " (on-create" + set_items(c.on_create) + ")";
      if (!c.on_match.empty()) out += " (on-match" + set_items(c.on_match) + ")";
      return out + ")";
    }
    case ClauseKind::kSet: return "(set" + set_items(c.set_items) + ")";
    case ClauseKind::kRemove: {
      std::string out = "(remove";
      for (const auto& item : c.remove_items) {
        if (item.kind == ast::RemoveItem::Kind::kProperty) {
          out += " " + render(*item.target);
        } else {
          out += " (labels " + item.variable;
          for (const auto& label : item.labels) out += " " + label;
          out += ")";
        }
      }
      return out + ")";
    }
    case ClauseKind::kDelete: {
      std::string out = c.detach ? "(detach-delete" : "(delete";
      for (const auto& e : c.delete_exprs) out += " " + render(*e);
      return out + ")";
    }
    case ClauseKind::kForeach:
      return "(foreach " + c.variable + " " + render(*c.expr) + " " + clauses(c.body) + ")";
    case ClauseKind::kCall: {
      std::string out = "(call " + c.procedure;
      if (c.implicit_arguments) {
        out += " implicit";
      } else {
        out += " (";
        for (std::size_t i = 0; i < c.arguments.size(); ++i) out += (i ? " " : "") + render(*c.arguments[i]);
        out += ")";
      }
      if (c.yield_star) out += " (yield *)";
      if (!c.yields.empty()) {
        out += " (yield";
        for (const auto& y : c.yields) out += " " + y.field + (y.alias.empty() ? "" : ":" + y.alias);
        out += ")";
      }
      if (c.where) out += " (where " + render(*c.where) + ")";
      return out + ")";
    }
    case ClauseKind::kCallSubquery: return "(call-subquery " + render(*c.subquery) + ")";
  }
  return "?";
}

std::string clauses(const std::vector<ast::Clause>& list) {
  std::string out;
  for (const auto& c : list) out += (out.empty() ? "" : " ") + clause(c);
  return out;
}

}  // namespace

std::string render(const ast::Pattern& pattern) {
  std::string out;
  for (const auto& part : pattern.parts) {
    if (!out.empty()) out += ", ";
    if (!part.path_variable.empty()) out += part.path_variable + " = ";
    std::string chain = node_text(part.nodes[0]);
    for (std::size_t i = 0; i < part.rels.size(); ++i) chain += rel_text(part.rels[i]) + node_text(part.nodes[i + 1]);
    if (part.function == ast::PathFunction::kShortest) chain = "shortestPath(" + chain + ")";
    if (part.function == ast::PathFunction::kAllShortest) chain = "allShortestPaths(" + chain + ")";
    out += chain;
  }
  return out;
}

std::string render(const ast::Expr& e) {
  auto children = [&](std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < e.children.size(); ++i) out += " " + expr_or_blank(e.children[i]);
    return out;
  };
  auto where = [&]() { return e.where ? " (where " + render(*e.where) + ")" : std::string(); };
  switch (e.kind) {
    case ExprKind::kNull: return "null";
    case ExprKind::kBool: return e.bool_value ? "true" : "false";
    case ExprKind::kInteger: return std::to_string(e.int_value);
    case ExprKind::kFloat: return float_text(e.float_value);
    case ExprKind::kString: return quoted(e.text);
    case ExprKind::kParameter: return "$" + e.name;
    case ExprKind::kVariable: return e.name;
    case ExprKind::kProperty: return "(. " + render(*e.children[0]) + " " + e.name + ")";
    case ExprKind::kList: return "(list" + children(0) + ")";
    case ExprKind::kMap: {
      std::string out = "(map";
      for (std::size_t i = 0; i < e.keys.size(); ++i) out += " " + e.keys[i] + " " + render(*e.children[i]);
      return out + ")";
    }
    case ExprKind::kMapProjection: {
      std::string out = "(map-projection " + e.name;
      for (const auto& item : e.items) {
        switch (item.kind) {
          case ast::MapProjectionItem::Kind::kProperty: out += " ." + item.key; break;
          case ast::MapProjectionItem::Kind::kAllProperties: out += " .*"; break;
          case ast::MapProjectionItem::Kind::kLiteral: out += " " + item.key + ":" + render(*item.value); break;
          case ast::MapProjectionItem::Kind::kVariable: out += " " + item.key; break;
        }
      }
      return out + ")";
    }
    case ExprKind::kIndex: return "(index" + children(0) + ")";
    case ExprKind::kSlice: return "(slice" + children(0) + ")";
    case ExprKind::kUnary:
    case ExprKind::kBinary: return std::string("(") + op_name(e.op) + children(0) + ")";
    case ExprKind::kComparison: {
      if (e.ops.size() == 1) return std::string("(") + op_name(e.ops[0]) + children(0) + ")";
      std::string out = "(cmp " + render(*e.children[0]);
      for (std::size_t i = 0; i < e.ops.size(); ++i) out += std::string(" ") + op_name(e.ops[i]) + " " + render(*e.children[i + 1]);
      return out + ")";
    }
    case ExprKind::kIsNull: return "(is-null" + children(0) + ")";
    case ExprKind::kIsNotNull: return "(is-not-null" + children(0) + ")";
    case ExprKind::kHasLabels: {
      std::string out = "(labels " + render(*e.children[0]);
      for (const auto& label : e.labels) out += " " + label;
      if (e.label_expr) out += " " + label_text(*e.label_expr);
      return out + ")";
    }
    case ExprKind::kFunction: return "(fn " + e.name + (e.distinct ? " distinct" : "") + children(0) + ")";
    case ExprKind::kCountStar: return "(count-star)";
    case ExprKind::kCase: {
      std::string out = "(case";
      if (e.has_subject) out += " " + render(*e.children[0]);
      for (std::size_t i = 0; i < e.whens.size(); ++i) out += " (when " + render(*e.whens[i]) + " " + render(*e.thens[i]) + ")";
      if (e.else_expr) out += " (else " + render(*e.else_expr) + ")";
      return out + ")";
    }
    case ExprKind::kListComprehension:
      return "(list-comp " + e.name + " " + render(*e.children[0]) + where() +
             (e.projection ? " (| " + render(*e.projection) + ")" : "") + ")";
    case ExprKind::kPatternComprehension:
      return "(pattern-comp " + render(*e.pattern) + where() + " (| " + render(*e.projection) + "))";
    case ExprKind::kQuantifier: {
      static const char* const kNames[] = {"all", "any", "none", "single"};
      return std::string("(") + kNames[static_cast<int>(e.quantifier)] + " " + e.name + " " + render(*e.children[0]) +
             where() + ")";
    }
    case ExprKind::kReduce:
      return "(reduce " + e.name + " " + render(*e.children[0]) + " " + e.name2 + " " + render(*e.children[1]) + " " +
             render(*e.projection) + ")";
    case ExprKind::kPatternPredicate: return "(pattern " + render(*e.pattern) + ")";
    case ExprKind::kExists:
    case ExprKind::kCountSubquery: {
      std::string out = e.kind == ExprKind::kExists ? "(exists " : "(count-subquery ";
      out += e.subquery ? "{" + render(*e.subquery) + "}" : render(*e.pattern) + where();
      return out + ")";
    }
  }
  return "?";
}

std::string render(const ast::Query& query) {
  if (query.parts.size() == 1) return clauses(query.parts[0].clauses);
  std::string out = "(union {" + clauses(query.parts[0].clauses) + "}";
  for (std::size_t i = 1; i < query.parts.size(); ++i) {
    out += std::string(query.union_all[i - 1] ? " all" : "") + " {" + clauses(query.parts[i].clauses) + "}";
  }
  return out + ")";
}

std::string render(const ast::Statement& statement) {
  std::string body = render(statement.query);
  if (statement.mode == ast::StatementMode::kExplain) return "(explain " + body + ")";
  if (statement.mode == ast::StatementMode::kProfile) return "(profile " + body + ")";
  return body;
}

void expect_renderings(const std::vector<RenderingCase>& cases) {
  for (const RenderingCase& c : cases) {
    SCOPED_TRACE(c.statement);
    try {
      EXPECT_EQ(c.rendering, render(parse_statement(c.statement)));
    } catch (const CypherError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

}  // namespace orvane::testing
