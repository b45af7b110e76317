// Top before Projection (see top_before_projection.h).
#include "query/plan/top_before_projection.h"

#include "query/bind/bound_expr.h"

namespace orvane {
namespace {

// Whether `e` reads a value without computing anything: evaluating it
// twice on one row gives the same value.
bool plain_read(const BoundExpr& e) {
  switch (e.kind) {
    case BoundKind::kSlot:
    case BoundKind::kConstant:
    case BoundKind::kParameter: return true;
    case BoundKind::kProperty: return e.children.size() == 1 && e.children[0]->kind == BoundKind::kSlot;
    default: return false;
  }
}

BoundExprPtr copy_plain(const BoundExpr& e) {
  auto out = std::make_unique<BoundExpr>();
  out->kind = e.kind;
  out->constant = e.constant;
  out->name = e.name;
  out->slot = e.slot;
  out->node_key = e.node_key;
  out->rel_key = e.rel_key;
  out->known_type = e.known_type;
  for (const auto& child : e.children) out->children.push_back(copy_plain(*child));
  return out;
}

// The projected expression written into `slot`, or null when the
// projection does not write it.
const BoundExpr* projected(const LogicalOp& projection, std::uint32_t slot) {
  for (std::size_t i = 0; i < projection.slots.size(); ++i) {
    if (projection.slots[i] == slot) return projection.expressions[i].get();
  }
  return nullptr;
}

// `e` with every read of a projected slot replaced by that slot's plain
// expression; null when one is not plain, or when `e` holds what this
// copy cannot follow (subqueries, comprehensions' own slots).
BoundExprPtr rewrite(const BoundExpr& e, const LogicalOp& projection) {
  if (e.kind == BoundKind::kSlot) {
    const BoundExpr* source = projected(projection, e.slot);
    if (source == nullptr) return copy_plain(e);
    return plain_read(*source) ? copy_plain(*source) : nullptr;
  }
  if (!plain_read(e)) return nullptr;
  auto out = copy_plain(e);
  for (auto& child : out->children) {
    child = rewrite(*child, projection);
    if (!child) return nullptr;
  }
  return out;
}

}  // namespace

bool keys_before_projection(const LogicalOp& projection,
                            const std::vector<std::pair<std::shared_ptr<BoundExpr>, bool>>& sort_keys,
                            std::vector<std::pair<std::shared_ptr<BoundExpr>, bool>>& keys) {
  keys.clear();
  for (const auto& [expr, descending] : sort_keys) {
    BoundExprPtr key = rewrite(*expr, projection);
    if (!key) return false;
    keys.emplace_back(std::shared_ptr<BoundExpr>(std::move(key)), descending);
  }
  return true;
}

}  // namespace orvane
