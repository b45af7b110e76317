// Id seeks: a node or relationship named by id is found through the
// Database's id index instead of a scan (NodeByIdSeek,
// DirectedRelationshipByIdSeek, UndirectedRelationshipByIdSeek and the
// element-id forms).
//
// The rule only picks where a pattern starts; it never drops the
// predicate, which stays in the WHERE filter (or the node's property
// filter) above the seek. The seek operators find exactly the entities the
// predicate keeps, so the filter is redundant there, but it keeps the
// answer identical in every case the seek does not model (a value that
// only compares equal at run time, a plan reused after the graph changed).
// Only values that need no row are taken: constants, parameters and lists
// of them, so the seek reads nothing the pattern itself binds.
#include "graph/database.h"
#include "query/plan/pattern_planning.h"

namespace orvane {
namespace {

bool seekable(const BoundExpr& e) {
  if (e.kind == BoundKind::kConstant || e.kind == BoundKind::kParameter) return true;
  if (e.kind != BoundKind::kList) return false;
  for (const auto& c : e.children) {
    if (!c || !seekable(*c)) return false;
  }
  return true;
}

BoundExprPtr clone(const BoundExpr& e) {
  auto out = std::make_unique<BoundExpr>();
  out->kind = e.kind;
  out->constant = e.constant;
  out->name = e.name;
  out->slot = e.slot;
  for (const auto& c : e.children) out->children.push_back(clone(*c));
  return out;
}

// id(slot) or elementId(slot): the slot, and whether it is the element id.
std::optional<std::pair<std::uint32_t, bool>> id_call(const BoundExpr& e) {
  if (e.kind != BoundKind::kFunction || e.children.size() != 1 || e.children[0]->kind != BoundKind::kSlot) {
    return std::nullopt;
  }
  if (e.name == "id") return std::make_pair(e.children[0]->slot, false);
  if (e.name == "elementId") return std::make_pair(e.children[0]->slot, true);
  return std::nullopt;
}

void collect(const BoundExpr& e, std::map<std::uint32_t, IdSeek>& out) {
  if (e.kind == BoundKind::kAnd) {
    for (const auto& c : e.children) collect(*c, out);
    return;
  }
  const auto record = [&](const BoundExpr& call, const BoundExpr& value, bool list) {
    const auto target = id_call(call);
    if (!target || !seekable(value) || out.count(target->first) != 0) return;
    IdSeek seek;
    seek.form = target->second ? (list ? SeekForm::kElementIdList : SeekForm::kElementId)
                               : (list ? SeekForm::kIdList : SeekForm::kId);
    seek.value = std::shared_ptr<BoundExpr>(clone(value));
    out.emplace(target->first, std::move(seek));
  };
  if (e.kind == BoundKind::kComparison && e.ops.size() == 1 && e.ops[0] == ast::Op::kEqual) {
    record(*e.children[0], *e.children[1], false);
    record(*e.children[1], *e.children[0], false);
  } else if (e.kind == BoundKind::kBinary && e.op == ast::Op::kIn) {
    record(*e.children[0], *e.children[1], true);
  }
}

}  // namespace

std::map<std::uint32_t, IdSeek> find_id_seeks(const BoundExpr* where) {
  std::map<std::uint32_t, IdSeek> out;
  if (where != nullptr) collect(*where, out);
  return out;
}

std::optional<IdSeek> generated_id_seek(const BoundNode& node, const Database& db) {
  if (!db.generated) return std::nullopt;
  for (const BoundProperty& p : node.properties) {
    if (p.key != "id" || !p.value) continue;
    if (p.value->kind != BoundKind::kConstant && p.value->kind != BoundKind::kParameter) return std::nullopt;
    IdSeek seek;
    seek.form = SeekForm::kGeneratedId;
    seek.value = std::shared_ptr<BoundExpr>(clone(*p.value));
    return seek;
  }
  return std::nullopt;
}

std::shared_ptr<LogicalOp> node_seek(const IdSeek& seek, std::uint32_t slot, std::shared_ptr<LogicalOp> input) {
  auto op = std::make_shared<LogicalOp>();
  op->kind = LogicalKind::kNodeByIdSeek;
  op->children.push_back(std::move(input));
  op->slot = slot;
  op->seek_form = seek.form;
  op->expressions.push_back(seek.value);
  return op;
}

std::shared_ptr<LogicalOp> relationship_seek(const IdSeek& seek, const BoundRel& rel, std::uint32_t left,
                                             std::uint32_t right, std::vector<std::uint32_t> distinct_from,
                                             std::shared_ptr<LogicalOp> input) {
  auto op = std::make_shared<LogicalOp>();
  op->kind = LogicalKind::kRelationshipByIdSeek;
  op->children.push_back(std::move(input));
  op->rel_slot = rel.slot;
  op->from_slot = left;
  op->to_slot = right;
  op->types = rel.types;
  op->impossible = rel.impossible;
  op->direction = rel.direction;
  op->distinct_from = std::move(distinct_from);
  op->seek_form = seek.form == SeekForm::kGeneratedId ? SeekForm::kId : seek.form;
  op->expressions.push_back(seek.value);
  return op;
}

std::vector<BoundExprPtr> conjuncts_of(BoundExprPtr where) {
  std::vector<BoundExprPtr> out;
  if (!where) return out;
  if (where->kind != BoundKind::kAnd) {
    out.push_back(std::move(where));
    return out;
  }
  for (BoundExprPtr& c : where->children) {
    for (BoundExprPtr& inner : conjuncts_of(std::move(c))) out.push_back(std::move(inner));
  }
  return out;
}

bool reads_any(const BoundExpr& e, const std::set<std::uint32_t>& slots, bool& opaque) {
  bool found = false;
  if (e.kind == BoundKind::kSubquery) opaque = true;
  if (e.kind == BoundKind::kSlot && slots.count(e.slot) != 0) found = true;
  for (const auto* list : {&e.children, &e.whens, &e.thens}) {
    for (const auto& c : *list) {
      if (c && reads_any(*c, slots, opaque)) found = true;
    }
  }
  for (const auto* c : {&e.else_expr, &e.where, &e.projection}) {
    if (*c && reads_any(**c, slots, opaque)) found = true;
  }
  return found;
}

}  // namespace orvane
