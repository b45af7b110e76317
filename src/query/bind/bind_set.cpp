// Binding SET and REMOVE: each item's target (a variable, or the entity a
// property access reads), key, value and label names. Label names stay
// names: a SET may give a node a label the graph does not have yet, which
// the operator makes when it runs.
#include "query/bind/binder_state.h"
#include "query/bind/bound_query.h"
#include "query/parse/ast.h"

namespace orvane {

std::shared_ptr<BoundSet> BinderState::bind_set(const ast::Clause& clause, Scope& scope) {
  return bind_set_items(clause.set_items, clause.remove_items, clause.kind == ast::ClauseKind::kRemove, scope);
}

std::shared_ptr<BoundSet> BinderState::bind_set_items(const std::vector<ast::SetItem>& set_items,
                                                      const std::vector<ast::RemoveItem>& remove_items, bool remove,
                                                      Scope& scope) {
  writes_ = true;
  auto out = std::make_shared<BoundSet>();
  out->remove = remove;
  const auto variable = [&](const std::string& name, std::size_t offset) {
    const ScopeVariable* v = find(scope, name);
    if (v == nullptr) fail("UndefinedVariable", "Variable `" + name + "` not defined", offset);
    auto e = std::make_unique<BoundExpr>();
    e->kind = BoundKind::kSlot;
    e->slot = v->slot;
    e->name = name;
    return e;
  };
  using Kind = BoundSetItem::Kind;
  for (const ast::SetItem& s : set_items) {
    BoundSetItem item;
    switch (s.kind) {
      case ast::SetItem::Kind::kProperty:
        item.kind = Kind::kProperty;
        item.target = bind_expr(*s.target->children[0], scope, ExprPlace{});
        item.key = s.target->name;
        break;
      case ast::SetItem::Kind::kReplace:
        item.kind = Kind::kReplace;
        item.target = variable(s.variable, s.offset);
        break;
      case ast::SetItem::Kind::kMerge:
        item.kind = Kind::kMerge;
        item.target = variable(s.variable, s.offset);
        break;
      case ast::SetItem::Kind::kLabels:
        item.kind = Kind::kAddLabels;
        item.target = variable(s.variable, s.offset);
        item.labels = s.labels;
        break;
    }
    if (s.value) item.value = bind_expr(*s.value, scope, ExprPlace{});
    out->items.push_back(std::move(item));
  }
  for (const ast::RemoveItem& r : remove_items) {
    BoundSetItem item;
    if (r.kind == ast::RemoveItem::Kind::kProperty) {
      item.kind = Kind::kRemoveProperty;
      item.target = bind_expr(*r.target->children[0], scope, ExprPlace{});
      item.key = r.target->name;
    } else {
      item.kind = Kind::kRemoveLabels;
      item.target = variable(r.variable, r.offset);
      item.labels = r.labels;
    }
    out->items.push_back(std::move(item));
  }
  for (const BoundSetItem& item : out->items) {
    if (item.kind == BoundSetItem::Kind::kAddLabels) {
      written_.labels.insert(written_.labels.end(), item.labels.begin(), item.labels.end());
    }
    if (item.kind == BoundSetItem::Kind::kProperty) written_.keys.push_back(item.key);
  }
  return out;
}

}  // namespace orvane
