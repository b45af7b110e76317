// Binding FOREACH: the list in the outer scope, then the update clauses in
// a scope of their own that adds the element variable; nothing they bind
// is seen after the FOREACH.
#include "query/bind/binder_state.h"
#include "query/bind/bound_query.h"
#include "query/parse/ast.h"

namespace orvane {

std::shared_ptr<BoundForeach> BinderState::bind_foreach(const ast::Clause& clause, const Scope& scope) {
  writes_ = true;
  auto out = std::make_shared<BoundForeach>();
  Scope inner = scope;
  out->list = bind_expr(*clause.expr, inner, ExprPlace{});
  if (find(scope, clause.variable) != nullptr) {
    fail("VariableAlreadyBound", "Variable `" + clause.variable + "` already declared", clause.offset);
  }
  for (const ast::Clause& c : clause.body) {
    const bool update = c.kind == ast::ClauseKind::kCreate || c.kind == ast::ClauseKind::kMerge ||
                        c.kind == ast::ClauseKind::kSet || c.kind == ast::ClauseKind::kRemove ||
                        c.kind == ast::ClauseKind::kDelete || c.kind == ast::ClauseKind::kForeach;
    if (!update) {
      fail("InvalidClauseComposition", "Invalid use of a reading clause inside FOREACH: only CREATE, MERGE, SET, "
           "REMOVE, DELETE and FOREACH may be used", c.offset);
    }
  }
  out->slot = new_slot();
  inner.push_back({clause.variable, out->slot, VarKind::kValue, {}});
  out->body = std::make_shared<BoundSingleQuery>(bind_clauses(clause.body, std::move(inner), true));
  return out;
}

}  // namespace orvane
