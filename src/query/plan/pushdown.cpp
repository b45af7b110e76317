// Predicate pushdown into node scans (see pushdown.h).
#include "query/plan/pushdown.h"

#include <map>

#include "query/bind/bound_expr.h"

namespace orvane {
namespace {

using OpPtr = std::shared_ptr<LogicalOp>;

// The node slot whose property `e` reads, or kNoSlot.
std::uint32_t property_slot(const BoundExpr& e) {
  if (e.kind != BoundKind::kProperty || e.children.size() != 1 || e.children[0]->kind != BoundKind::kSlot) {
    return kNoSlot;
  }
  return e.children[0]->slot;
}

bool is_value(const BoundExpr& e) { return e.kind == BoundKind::kConstant || e.kind == BoundKind::kParameter; }

ast::Op mirrored(ast::Op op) {
  switch (op) {
    case ast::Op::kLess: return ast::Op::kGreater;
    case ast::Op::kLessEqual: return ast::Op::kGreaterEqual;
    case ast::Op::kGreater: return ast::Op::kLess;
    case ast::Op::kGreaterEqual: return ast::Op::kLessEqual;
    default: return op;
  }
}

// The slot `e` tests when it is pushable (property tests written with the
// property on the left), else kNoSlot; `label` says whether it is a label
// test, which goes to an expansion (its `labels`), where a property test
// goes to a node scan.
std::uint32_t pushable(BoundExpr& e, bool& label) {
  label = e.kind == BoundKind::kHasLabels;
  if (label) {
    // (A node's test; `keys`, the names for a relationship's, do not matter.)
    if (e.unknown_label || e.any_label || e.label_ids.empty() || e.children.size() != 1 ||
        e.children[0]->kind != BoundKind::kSlot) {
      return kNoSlot;
    }
    return e.children[0]->slot;
  }
  if (e.kind == BoundKind::kIsNull || e.kind == BoundKind::kIsNotNull) return property_slot(*e.children[0]);
  if (e.kind != BoundKind::kComparison || e.ops.size() != 1 || e.children.size() != 2) return kNoSlot;
  const ast::Op op = e.ops[0];
  if (op != ast::Op::kEqual && op != ast::Op::kNotEqual && op != ast::Op::kLess && op != ast::Op::kLessEqual &&
      op != ast::Op::kGreater && op != ast::Op::kGreaterEqual) {
    return kNoSlot;
  }
  if (property_slot(*e.children[0]) != kNoSlot && is_value(*e.children[1])) return property_slot(*e.children[0]);
  if (property_slot(*e.children[1]) != kNoSlot && is_value(*e.children[0])) {
    std::swap(e.children[0], e.children[1]);
    e.ops[0] = mirrored(op);
    return property_slot(*e.children[0]);
  }
  return kNoSlot;
}

// The node scans and the expansions to new nodes of the chain under a
// Filter, by the slot they bind.
void chain_scans(LogicalOp& op, std::map<std::uint32_t, LogicalOp*>& scans) {
  for (LogicalOp* at = &op; at != nullptr;) {
    switch (at->kind) {
      case LogicalKind::kNodeScan:
        if (!at->impossible) scans.emplace(at->slot, at);
        break;
      case LogicalKind::kExpand:
        if (!at->into && !at->impossible) scans.emplace(at->to_slot, at);
        break;
      case LogicalKind::kVarExpand:
      case LogicalKind::kFilter:
      case LogicalKind::kProjectPath: break;
      default: return;
    }
    at = at->children.empty() ? nullptr : at->children[0].get();
  }
}

OpPtr rewrite(OpPtr op) {
  for (OpPtr& child : op->children) child = rewrite(std::move(child));
  if (op->kind != LogicalKind::kFilter || op->expressions.size() != 1 || op->children.empty()) return op;
  std::map<std::uint32_t, LogicalOp*> scans;
  chain_scans(*op->children[0], scans);
  if (scans.empty()) return op;
  const auto target_of = [&](BoundExpr& e) -> LogicalOp* {
    bool label = false;
    const auto it = scans.find(pushable(e, label));
    if (it == scans.end()) return nullptr;
    return (it->second->kind == LogicalKind::kExpand) == label ? it->second : nullptr;
  };
  const auto move_into = [](LogicalOp& target, std::shared_ptr<BoundExpr> e) {
    if (target.kind == LogicalKind::kExpand) {
      target.labels.insert(target.labels.end(), e->label_ids.begin(), e->label_ids.end());
    } else {
      target.expressions.push_back(std::move(e));
    }
  };
  BoundExpr& predicate = *op->expressions[0];
  if (predicate.kind != BoundKind::kAnd) {
    LogicalOp* target = target_of(predicate);
    if (target == nullptr) return op;
    move_into(*target, std::move(op->expressions[0]));
    return std::move(op->children[0]);
  }
  std::vector<BoundExprPtr> kept;
  for (BoundExprPtr& conjunct : predicate.children) {
    if (LogicalOp* target = target_of(*conjunct)) {
      move_into(*target, std::shared_ptr<BoundExpr>(std::move(conjunct)));
    } else {
      kept.push_back(std::move(conjunct));
    }
  }
  if (kept.empty()) return std::move(op->children[0]);
  if (kept.size() == 1) {
    op->expressions[0] = std::shared_ptr<BoundExpr>(std::move(kept[0]));
  } else {
    predicate.children = std::move(kept);
  }
  return op;
}

}  // namespace

std::shared_ptr<LogicalOp> push_scan_filters(std::shared_ptr<LogicalOp> plan) { return rewrite(std::move(plan)); }

}  // namespace orvane
