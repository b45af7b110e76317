// Binding clauses and whole statements: MATCH and OPTIONAL MATCH, UNWIND,
// WITH and RETURN with their scopes, and UNION's column check. Clauses the
// engine does not run yet are refused here, at compile time, with their
// name.
#include <algorithm>

#include "graph/database.h"
#include "query/bind/binder.h"
#include "query/bind/binder_state.h"
#include "query/bind/type_checks.h"
#include "query/functions/scalar_functions.h"
#include "query/procedures.h"

namespace orvane {
namespace {

const char* clause_name(ast::ClauseKind kind) {
  switch (kind) {
    case ast::ClauseKind::kMatch: return "MATCH";
    case ast::ClauseKind::kUnwind: return "UNWIND";
    case ast::ClauseKind::kWith: return "WITH";
    case ast::ClauseKind::kReturn: return "RETURN";
    case ast::ClauseKind::kCreate: return "CREATE";
    case ast::ClauseKind::kMerge: return "MERGE";
    case ast::ClauseKind::kSet: return "SET";
    case ast::ClauseKind::kRemove: return "REMOVE";
    case ast::ClauseKind::kDelete: return "DELETE";
    case ast::ClauseKind::kForeach: return "FOREACH";
    case ast::ClauseKind::kCall: return "CALL";
    case ast::ClauseKind::kCallSubquery: return "CALL";
  }
  return "clause";
}

BoundExprPtr slot_read(std::uint32_t slot) {
  auto e = std::make_unique<BoundExpr>();
  e->kind = BoundKind::kSlot;
  e->slot = slot;
  return e;
}

bool contains_variable(const ast::Expr& expr) {
  if (expr.kind == ast::ExprKind::kVariable) return true;
  for (const auto& child : expr.children) {
    if (child && contains_variable(*child)) return true;
  }
  return false;
}

}  // namespace

namespace {

// WITH / RETURN. `scope` is replaced by the projection's scope.
BoundProjection bind_projection(BinderState& state, const ast::Projection& p, bool is_return, Scope& scope,
                                std::size_t offset) {
  BoundProjection out;
  out.is_return = is_return;
  out.distinct = p.distinct;
  Scope next;
  const ExprPlace aggregating{&out.aggregates};
  if (p.star) {
    std::vector<const ScopeVariable*> named;
    for (const ScopeVariable& v : scope) {
      if (BinderState::find(scope, v.name) == &v) named.push_back(&v);
    }
    std::sort(named.begin(), named.end(), [](const auto* a, const auto* b) { return a->name < b->name; });
    if (named.empty() && p.items.empty()) {
      state.fail("NoVariablesInScope", std::string(is_return ? "RETURN" : "WITH") + " * is not allowed when there are no variables in scope",
                 offset);
    }
    for (const ScopeVariable* v : named) {
      out.items.push_back({slot_read(v->slot), v->slot, v->name});
      next.push_back(*v);
    }
  }
  for (const ast::ProjectionItem& item : p.items) {
    BoundItem bound;
    const bool plain_variable = item.expr->kind == ast::ExprKind::kVariable;
    if (!is_return && item.alias.empty() && !plain_variable) {
      state.fail("NoExpressionAlias", "Expression in WITH must be aliased (use AS)", item.expr->offset);
    }
    bound.column = item.alias.empty() ? item.text : item.alias;
    for (const BoundItem& earlier : out.items) {
      if (earlier.column == bound.column) {
        state.fail("ColumnNameConflict", "Multiple result columns with the same name are not supported",
                   item.expr->offset);
      }
    }
    check_pattern_uses(state, *item.expr, false);
    bound.expr = state.bind_expr(*item.expr, scope, aggregating);
    bound.slot = state.new_slot();
    VarKind kind = VarKind::kValue;
    if (plain_variable) {
      if (const ScopeVariable* v = BinderState::find(scope, item.expr->name)) kind = v->kind;
    }
    next.push_back({bound.column, bound.slot, kind, kind == VarKind::kValue ? bound.expr->known_type : std::string()});
    out.items.push_back(std::move(bound));
  }
  if (!is_return) {
    // A scoped CALL's imports stay visible past its WITHs.
    for (const ScopeVariable& v : state.carried()) {
      if (BinderState::find(next, v.name) == nullptr) next.push_back(v);
    }
  }
  const bool aggregating_projection = !out.aggregates.empty();
  if (aggregating_projection) check_aggregation_grouping(state, p);
  // ORDER BY sees the projected names and, unless the projection
  // aggregates or is DISTINCT, the names before it too; an expression
  // written exactly as a projected one reads that column.
  Scope sort_scope = next;
  if (!aggregating_projection && !out.distinct) {
    sort_scope = scope;
    for (const ScopeVariable& v : next) sort_scope.push_back(v);
  }
  for (const ast::SortItem& s : p.order_by) {
    BoundSortKey key;
    key.descending = s.descending;
    const std::string text = state.text(s.expr->offset, s.expr->end);
    for (std::size_t i = 0; i < p.items.size(); ++i) {
      if (p.items[i].text == text) key.expr = slot_read(out.items[out.items.size() - p.items.size() + i].slot);
    }
    if (!key.expr && aggregating_projection) {
      // Inside a larger expression too, what is written as a projected
      // expression reads its column: ORDER BY me.age + count(you.age).
      std::vector<std::pair<std::string, std::uint32_t>> texts;
      for (std::size_t i = 0; i < p.items.size(); ++i) {
        texts.emplace_back(p.items[i].text, out.items[out.items.size() - p.items.size() + i].slot);
      }
      state.set_projected_texts(std::move(texts));
      key.expr = state.bind_expr(*s.expr, sort_scope, aggregating);
      state.set_projected_texts({});
    }
    if (!key.expr) key.expr = state.bind_expr(*s.expr, sort_scope, ExprPlace{});
    out.order_by.push_back(std::move(key));
  }
  for (const auto* limit : {&p.skip, &p.limit}) {
    if (!*limit) continue;
    if (contains_variable(**limit)) {
      state.fail("NonConstantExpression", "It is not allowed to refer to variables in SKIP or LIMIT", (*limit)->offset);
    }
    Scope none;
    BoundExprPtr& count = limit == &p.skip ? out.skip : out.limit;
    count = state.bind_expr(**limit, none, ExprPlace{});
    check_row_count(state, *count, **limit);
    if (count->kind != BoundKind::kConstant) {
      auto checked = std::make_unique<BoundExpr>();
      checked->kind = BoundKind::kFunction;
      checked->function = &row_count_check();
      checked->name = checked->function->name;
      checked->children.push_back(std::move(count));
      count = std::move(checked);
    }
  }
  // WITH ... WHERE sees what ORDER BY sees: the projected names and,
  // unless the projection aggregates, the names before it.
  if (p.where) {
    Scope where_scope = next;
    if (!aggregating_projection) {
      where_scope = scope;
      for (const ScopeVariable& v : next) where_scope.push_back(v);
    }
    check_pattern_uses(state, *p.where, true);
    out.where = state.bind_expr(*p.where, where_scope, ExprPlace{});
    state.require_boolean(*out.where, *p.where);
  }
  scope = std::move(next);
  return out;
}

}  // namespace

BoundSingleQuery BinderState::bind_single_query(const ast::SingleQuery& query, Scope scope, bool subquery,
                                                Scope* final_scope) {
  return bind_clauses(query.clauses, std::move(scope), subquery, final_scope);
}

BoundSingleQuery BinderState::bind_clauses(const std::vector<ast::Clause>& clauses, Scope scope, bool subquery,
                                           Scope* final_scope) {
  BoundSingleQuery out;
  for (std::size_t i = 0; i < clauses.size(); ++i) {
    const ast::Clause& c = clauses[i];
    const bool last = i + 1 == clauses.size();
    BoundClause bound;
    switch (c.kind) {
      case ast::ClauseKind::kMatch:
        bound.kind = BoundClauseKind::kMatch;
        bound.match.optional = c.optional;
        bound.match.parts = bind_pattern(c.pattern, scope, bound.match.new_slots);
        if (c.where) {
          check_pattern_uses(*this, *c.where, true);
          bound.match.where = bind_expr(*c.where, scope, ExprPlace{});
          require_boolean(*bound.match.where, *c.where);
        }
        break;
      case ast::ClauseKind::kUnwind:
        bound.kind = BoundClauseKind::kUnwind;
        bound.unwind.list = bind_expr(*c.expr, scope, ExprPlace{});
        if (find(scope, c.variable) != nullptr) {
          fail("VariableAlreadyBound", "Variable `" + c.variable + "` already declared", c.offset);
        }
        bound.unwind.slot = new_slot();
        scope.push_back({c.variable, bound.unwind.slot, VarKind::kValue, {}});
        break;
      case ast::ClauseKind::kCall: {
        bound.kind = BoundClauseKind::kCall;
        const bool standalone = clauses.size() == 1 && !subquery;
        bound.call = bind_call(c, scope, standalone, out.columns, out.column_slots);
        if (c.where) bound.call_where = bind_expr(*c.where, scope, ExprPlace{});
        break;
      }
      case ast::ClauseKind::kCallSubquery:
        bound.kind = BoundClauseKind::kCallSubquery;
        bound.subquery = bind_call_subquery(c, scope);
        break;
      case ast::ClauseKind::kCreate:
        bound.kind = BoundClauseKind::kCreate;
        bound.create = bind_create(c.pattern, scope);
        break;
      case ast::ClauseKind::kSet:
      case ast::ClauseKind::kRemove:
        bound.kind = BoundClauseKind::kSet;
        bound.set = bind_set(c, scope);
        break;
      case ast::ClauseKind::kMerge:
        bound.kind = BoundClauseKind::kMerge;
        bound.merge = bind_merge(c, scope);
        break;
      case ast::ClauseKind::kForeach:
        bound.kind = BoundClauseKind::kForeach;
        bound.foreach = bind_foreach(c, scope);
        break;
      case ast::ClauseKind::kDelete:
        bound.kind = BoundClauseKind::kDelete;
        bound.del = bind_delete(c, scope);
        break;
      case ast::ClauseKind::kWith:
      case ast::ClauseKind::kReturn:
        if (c.kind == ast::ClauseKind::kReturn && !last) {
          fail("InvalidClauseComposition", "RETURN can only be used at the end of the query", c.offset);
        }
        bound.kind = BoundClauseKind::kProjection;
        bound.projection = bind_projection(*this, c.projection, c.kind == ast::ClauseKind::kReturn, scope, c.offset);
        if (c.kind == ast::ClauseKind::kReturn) {
          for (const BoundItem& item : bound.projection.items) {
            out.columns.push_back(item.column);
            out.column_slots.push_back(item.slot);
          }
        }
        break;
      default:
        throw CypherError("SyntaxError", "UnsupportedClause", ErrorPhase::kCompileTime,
                          std::string(clause_name(c.kind)) + " is not supported by this query engine yet");
    }
    const bool standalone_call = c.kind == ast::ClauseKind::kCall && clauses.size() == 1;
    const bool void_call = c.kind == ast::ClauseKind::kCall && bound.call && bound.call->procedure->outputs.empty();
    const bool unit_subquery = c.kind == ast::ClauseKind::kCallSubquery && bound.subquery->column_slots.empty();
    const bool update = c.kind == ast::ClauseKind::kCreate || c.kind == ast::ClauseKind::kSet ||
                        c.kind == ast::ClauseKind::kRemove || c.kind == ast::ClauseKind::kDelete ||
                        c.kind == ast::ClauseKind::kMerge || c.kind == ast::ClauseKind::kForeach;
    if (last && !subquery && c.kind != ast::ClauseKind::kReturn && !update &&
        !standalone_call && !void_call && !unit_subquery) {
      fail("InvalidClauseComposition",
           std::string("Query cannot conclude with ") + clause_name(c.kind) +
               " (must be a RETURN clause, an update clause, a unit subquery call, or a procedure call with no YIELD)",
           c.offset);
    }
    out.clauses.push_back(std::move(bound));
  }
  if (final_scope != nullptr) *final_scope = std::move(scope);
  return out;
}

BoundStatement bind_statement(const ast::Statement& statement, std::string_view text, const Database& db,
                              const ProcedureRegistry& procedures) {
  BinderState state(text, db, procedures);
  BoundStatement out;
  out.mode = statement.mode;
  out.union_all = statement.query.union_all;
  for (std::size_t i = 1; i < out.union_all.size(); ++i) {
    if (out.union_all[i] != out.union_all[0]) {
      state.fail("InvalidClauseComposition", "Invalid combination of UNION and UNION ALL", 0);
    }
  }
  for (const ast::SingleQuery& part : statement.query.parts) {
    out.parts.push_back(state.bind_single_query(part, Scope{}, false));
    if (out.parts.size() > 1 && out.parts.back().columns != out.parts.front().columns) {
      state.fail("DifferentColumnsInUnion", "All sub queries in an UNION must have the same return column names",
                 part.clauses.empty() ? 0 : part.clauses.front().offset);
    }
  }
  if (!out.parts.empty()) out.columns = out.parts.front().columns;
  out.slot_count = state.slot_count();
  out.writes = state.writes();
  out.written = state.written();
  out.parameters = state.parameters();
  out.catalog = state.catalog();
  return out;
}

}  // namespace orvane
