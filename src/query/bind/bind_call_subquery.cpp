// Binding CALL { ... }: each UNION part of the subquery gets a scope of its
// own, empty unless the part starts with an importing WITH — a WITH that
// names variables of the enclosing query, which then must be plain
// references (WITH a, b or WITH *) without WHERE. The returned columns
// join the enclosing scope and must not be names it has already. A
// subquery without RETURN is a unit subquery: it runs for its writes, and
// the rows of the enclosing query pass through unchanged.
//
// The scoped form, CALL (a, b) { ... } (CALL (*) for everything, CALL ()
// for nothing), names what it imports instead: each part starts with those
// variables, and they stay visible in the whole part, past its WITHs, as
// Neo4j 5 has it (carried()).
#include "query/bind/binder_state.h"

namespace orvane {
namespace {

bool names_any(const ast::Expr& e, const Scope& scope) {
  if (e.kind == ast::ExprKind::kVariable && BinderState::find(scope, e.name) != nullptr) return true;
  for (const auto* list : {&e.children, &e.whens, &e.thens}) {
    for (const auto& c : *list) {
      if (c && names_any(*c, scope)) return true;
    }
  }
  for (const auto* c : {&e.else_expr, &e.where, &e.projection}) {
    if (*c && names_any(**c, scope)) return true;
  }
  return false;
}

// Whether `part` starts with a WITH that imports from `outer`.
bool imports(const ast::SingleQuery& part, const Scope& outer) {
  if (part.clauses.empty() || part.clauses[0].kind != ast::ClauseKind::kWith) return false;
  const ast::Projection& p = part.clauses[0].projection;
  if (p.star && !outer.empty()) return true;
  for (const ast::ProjectionItem& item : p.items) {
    if (names_any(*item.expr, outer)) return true;
  }
  return false;
}

}  // namespace

std::shared_ptr<BoundCallSubquery> BinderState::bind_call_subquery(const ast::Clause& clause, Scope& scope) {
  auto out = std::make_shared<BoundCallSubquery>();
  const ast::Query& query = *clause.subquery;
  for (std::size_t i = 1; i < query.union_all.size(); ++i) {
    if (query.union_all[i] != query.union_all[0]) {
      fail("InvalidClauseComposition", "Invalid combination of UNION and UNION ALL", clause.offset);
    }
  }
  out->union_distinct = !query.union_all.empty() && !query.union_all[0];
  // CALL (a, b) { ... }: every part starts with what the clause names.
  Scope imported;
  if (clause.import_all) {
    for (const ScopeVariable& v : scope) {
      if (find(scope, v.name) == &v) imported.push_back(v);
    }
  }
  for (std::size_t i = 0; i < clause.imports.size(); ++i) {
    const ScopeVariable* v = find(scope, clause.imports[i]);
    if (v == nullptr) fail("UndefinedVariable", "Variable `" + clause.imports[i] + "` not defined", clause.import_offsets[i]);
    if (find(imported, v->name) == nullptr) imported.push_back(*v);
  }
  Scope returned;
  for (const ast::SingleQuery& part : query.parts) {
    Scope initial;
    const Scope outer_carried = carried_;
    carried_.clear();
    if (clause.scoped) {
      initial = imported;
      carried_ = imported;
    } else if (imports(part, scope)) {
      const ast::Clause& with = part.clauses[0];
      for (const ast::ProjectionItem& item : with.projection.items) {
        if (item.expr->kind != ast::ExprKind::kVariable || (!item.alias.empty() && item.alias != item.expr->name)) {
          fail("InvalidClauseComposition",
               "Importing WITH should consist only of simple references to "
               "outside variables. Aliasing or "
               "expressions are not supported.",
               item.expr->offset);
        }
      }
      if (with.projection.where) {
        fail("InvalidClauseComposition",
             "Importing WITH should consist only of simple references to "
             "outside variables. WHERE is not allowed.",
             with.projection.where->offset);
      }
      initial = scope;
    }
    if (!part.clauses.empty() && part.clauses.back().kind == ast::ClauseKind::kReturn) {
      for (const ast::ProjectionItem& item : part.clauses.back().projection.items) {
        if (item.alias.empty() && item.expr->kind != ast::ExprKind::kVariable) {
          fail("NoExpressionAlias", "Expression in CALL { RETURN ... } must be aliased (use AS)", item.expr->offset);
        }
      }
    }
    Scope final_scope;
    BoundSingleQuery bound = bind_single_query(part, std::move(initial), false, &final_scope);
    carried_ = outer_carried;
    if (!out->parts.empty() && bound.columns != out->parts.front().columns) {
      fail("DifferentColumnsInUnion", "All sub queries in an UNION must have the same return column names",
           part.clauses.empty() ? clause.offset : part.clauses.front().offset);
    }
    if (out->parts.empty()) returned = std::move(final_scope);
    out->parts.push_back(std::move(bound));
  }
  const BoundSingleQuery& first = out->parts.front();
  for (std::size_t i = 0; i < first.columns.size(); ++i) {
    const std::string& name = first.columns[i];
    if (find(scope, name) != nullptr) {
      fail("VariableAlreadyBound", "Variable `" + name + "` already declared in outer scope", clause.offset);
    }
    const ScopeVariable* inner = find(returned, name);
    scope.push_back({name, first.column_slots[i], inner != nullptr ? inner->kind : VarKind::kValue,
                     inner != nullptr ? inner->type : std::string()});
  }
  out->column_slots = first.column_slots;
  return out;
}

}  // namespace orvane
