// Binding DELETE: each expression must be able to yield a node, a
// relationship or a path. A label or type test (DELETE n:Person) is
// refused as Neo4j refuses it, and so is an expression the binder knows
// yields something else.
#include "query/bind/binder_state.h"
#include "query/bind/bound_query.h"
#include "query/parse/ast.h"

namespace orvane {
namespace {

// Whether `e` is written so that it can only yield a value that is no
// node, relationship or path, whatever its operands hold.
bool never_an_entity(const ast::Expr& e) {
  switch (e.kind) {
    case ast::ExprKind::kBool:
    case ast::ExprKind::kInteger:
    case ast::ExprKind::kFloat:
    case ast::ExprKind::kString:
    case ast::ExprKind::kList:
    case ast::ExprKind::kMap:
    case ast::ExprKind::kUnary:
    case ast::ExprKind::kBinary:
    case ast::ExprKind::kComparison:
    case ast::ExprKind::kIsNull:
    case ast::ExprKind::kIsNotNull:
    case ast::ExprKind::kCountStar:
    case ast::ExprKind::kListComprehension:
    case ast::ExprKind::kPatternComprehension:
    case ast::ExprKind::kQuantifier:
    case ast::ExprKind::kPatternPredicate:
    case ast::ExprKind::kExists:
    case ast::ExprKind::kCountSubquery:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::shared_ptr<BoundDelete> BinderState::bind_delete(const ast::Clause& clause, Scope& scope) {
  writes_ = true;
  auto out = std::make_shared<BoundDelete>();
  out->detach = clause.detach;
  for (const ast::ExprPtr& e : clause.delete_exprs) {
    if (e->kind == ast::ExprKind::kHasLabels) {
      fail("InvalidDelete", "DELETE removes nodes, relationships and paths, not labels or types; use REMOVE",
           e->offset);
    }
    BoundExprPtr bound = bind_expr(*e, scope, ExprPlace{});
    const std::string& type = bound->known_type;
    const bool entity = type == "NODE" || type == "RELATIONSHIP" || type == "PATH";
    if ((!type.empty() && !entity && type != "NULL") || (type.empty() && never_an_entity(*e))) {
      fail("InvalidArgumentType",
           "Type mismatch: expected Node, Path or Relationship but was " + (type.empty() ? std::string("Any") : type),
           e->offset);
    }
    out->exprs.push_back(std::move(bound));
  }
  return out;
}

}  // namespace orvane
