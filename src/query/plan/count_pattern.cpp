// Recognising the statements a counting method may answer (count_pattern.h)
// and translating their bound pattern into the methods' shape.
#include "query/plan/count_pattern.h"

#include <set>

#include "graph/database.h"

namespace orvane {
namespace {

std::string variable_of(std::uint32_t slot) { return "v" + std::to_string(slot); }

// A constant the methods compare as the pattern would: a scalar.
bool scalar_literal(const CypherValue& v, nlohmann::json& out) {
  switch (v.kind()) {
    case CypherValue::Kind::kBool: out = v.as_bool(); return true;
    case CypherValue::Kind::kInteger: out = v.as_int(); return true;
    case CypherValue::Kind::kFloat: out = v.as_float(); return true;
    case CypherValue::Kind::kString: out = v.as_string(); return true;
    default: return false;
  }
}

CountDirection direction_of(ast::Direction d) {
  return d == ast::Direction::kRight ? CountDirection::Out : d == ast::Direction::kLeft ? CountDirection::In : CountDirection::Both;
}

// The pattern a count counts, as its nodes and relationships in chain
// order: the one part of `MATCH <chain> RETURN count(...)`, or, for
// `MATCH (n...) OPTIONAL MATCH (n)-<chain> RETURN count(x)` with x a node
// the optional chain binds, the chain with its first node taken from the
// MATCH (x is null exactly for the rows without a match, which count(x)
// skips, so it counts the matches of the whole chain). `optional` says
// which; false when neither shape is there.
bool counted_chain(const BoundSingleQuery& query, std::vector<const BoundNode*>& nodes,
                   std::vector<const BoundRel*>& rels, bool& optional) {
  const auto lone_part = [](const BoundMatch& m) -> const BoundPatternPart* {
    if (m.where || m.parts.size() != 1) return nullptr;
    const BoundPatternPart& part = m.parts[0];
    if (part.path_slot != kNoSlot || part.function != ast::PathFunction::kNone) return nullptr;
    return &part;
  };
  const std::size_t n = query.clauses.size();
  if (n < 2 || n > 3 || query.clauses[n - 1].kind != BoundClauseKind::kProjection) return false;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (query.clauses[i].kind != BoundClauseKind::kMatch || query.clauses[i].match.optional != (i == 1)) return false;
  }
  const BoundPatternPart* part = lone_part(query.clauses[0].match);
  if (part == nullptr) return false;
  optional = n == 3;
  if (!optional) {
    for (const BoundNode& node : part->nodes) nodes.push_back(&node);
    for (const BoundRel& rel : part->rels) rels.push_back(&rel);
    return true;
  }
  const BoundPatternPart* chain = lone_part(query.clauses[1].match);
  if (part->nodes.size() != 1 || chain == nullptr || chain->nodes.empty()) return false;
  const BoundNode& start = chain->nodes[0];
  if (!start.bound || start.slot != part->nodes[0].slot || !start.labels.empty() || !start.properties.empty() ||
      start.label_test) {
    return false;
  }
  nodes.push_back(&part->nodes[0]);
  for (std::size_t k = 1; k < chain->nodes.size(); ++k) nodes.push_back(&chain->nodes[k]);
  for (const BoundRel& rel : chain->rels) rels.push_back(&rel);
  return true;
}

}  // namespace

std::shared_ptr<CountPattern> count_pattern_of(const BoundStatement& statement, const Database& db) {
  if (statement.parts.size() != 1) return nullptr;
  const BoundSingleQuery& query = statement.parts[0];
  std::vector<const BoundNode*> nodes;
  std::vector<const BoundRel*> rels;
  bool optional = false;
  if (!counted_chain(query, nodes, rels, optional)) return nullptr;
  const BoundProjection& ret = query.clauses.back().projection;
  if (!ret.is_return || ret.where || !ret.order_by.empty() || ret.skip || ret.items.size() != 1 ||
      ret.aggregates.size() != 1) {
    return nullptr;
  }
  const BoundAggregate& aggregate = ret.aggregates[0];
  const BoundExpr& item = *ret.items[0].expr;
  if (item.kind != BoundKind::kAggregate || item.slot != aggregate.slot) return nullptr;
  // count(*) counts the rows an OPTIONAL MATCH keeps without a match too.
  if (optional && (aggregate.kind != AggregateKind::kCount || !aggregate.argument ||
                   aggregate.argument->kind != BoundKind::kSlot || aggregate.argument->slot == nodes[0]->slot)) {
    return nullptr;
  }

  auto out = std::make_shared<CountPattern>();
  CountedPattern& q = out->pattern;
  std::set<std::uint32_t> node_slots;
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    const BoundNode& node = *nodes[k];
    if (node.bound || node.impossible || node.labels.size() > 1 || node.label_test) return nullptr;
    CountNode n;
    n.variable = variable_of(node.slot);
    if (!node.labels.empty()) n.label = db.node_type_name(node.labels[0]);
    for (const BoundProperty& p : node.properties) {
      if (n.properties.count(p.key) != 0) return nullptr;
      if (p.value->kind == BoundKind::kParameter) {
        out->parameters.push_back({k, p.key, p.value->slot});
        n.properties[p.key] = nullptr;  // bound per run
      } else if (p.value->kind != BoundKind::kConstant || !scalar_literal(p.value->constant, n.properties[p.key])) {
        return nullptr;
      }
    }
    node_slots.insert(node.slot);
    q.nodes.push_back(std::move(n));
  }
  std::set<std::uint32_t> rel_slots;
  for (const BoundRel* r_ptr : rels) {
    const BoundRel& rel = *r_ptr;
    if (rel.bound || rel.impossible || rel.types.size() != 1 || !rel.properties.empty()) return nullptr;
    if (!rel_slots.insert(rel.slot).second) return nullptr;
    CountHop r;
    r.type = db.rel_type_name(rel.types[0]);
    r.direction = direction_of(rel.direction);
    if (rel.variable_length) {
      if (rel.min_hops < 0 || rel.max_hops < 0 || rel.min_hops > rel.max_hops || rel.max_hops > kMaxCountedHops) return nullptr;
      r.min_hops = static_cast<std::int32_t>(rel.min_hops);
      r.max_hops = static_cast<std::int32_t>(rel.max_hops);
    }
    q.relationships.push_back(std::move(r));
  }

  if (aggregate.kind == AggregateKind::kCountStar) {
    q.count_star = true;
  } else if (aggregate.kind == AggregateKind::kCount && aggregate.argument &&
             aggregate.argument->kind == BoundKind::kSlot && node_slots.count(aggregate.argument->slot) != 0) {
    // A node of a MATCH is never null: count(x) counts every match, and
    // count(DISTINCT x) the nodes x takes.
    q.count_star = !aggregate.distinct;
    q.distinct = aggregate.distinct;
    if (aggregate.distinct) q.count_variable = variable_of(aggregate.argument->slot);
  } else {
    return nullptr;
  }
  // A variable the pattern names once and does not count is as good as
  // none: the methods then need not track it.
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    std::size_t uses = 0;
    for (const BoundNode* other : nodes) uses += other->slot == nodes[k]->slot;
    if (uses == 1 && q.nodes[k].variable != q.count_variable) q.nodes[k].variable.clear();
  }
  out->count_slot = aggregate.slot;
  if (out->parameters.empty()) out->planned = choose_count_method(db, q);
  return out;
}

bool count_planned(const CountPattern& count) {
  const CountedPattern& q = count.pattern;
  return count.planned != CountMethod::Enumerate ||
         (q.relationships.empty() && q.nodes.size() == 1 && q.nodes[0].properties.empty());
}

const char* count_operator_name(CountMethod method, const CountedPattern& pattern) {
  if (pattern.relationships.empty() && pattern.nodes.size() == 1 && pattern.nodes[0].properties.empty()) {
    return "NodeCountFromCountStore";
  }
  return method == CountMethod::Enumerate ? "EagerAggregation" : count_method_name(method);
}

}  // namespace orvane
