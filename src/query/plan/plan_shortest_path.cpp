// shortestPath and allShortestPaths in MATCH: the ShortestPath operator
// over a plan that has bound both ends.
//
// The planner (planner.cpp, plan_match) plans a clause's ordinary parts
// first, then each shortest part's two end nodes as one-node parts (a
// scan or a seek with their labels and properties, or a filter when
// bound), then the WHERE conjuncts that do not read a shortest path, and
// only then the searches: so WHERE a.name = 'x' AND b.name = 'y' narrows
// the ends before any search starts. A conjunct that reads one shortest
// part's path or relationships is handed to that part's operator, which
// looks for the shortest paths that meet it (see
// exec/shortest_path_operator.cpp); one that reads several is filtered
// after them all.
//
// Of those conjuncts, all(x IN nodes(p) WHERE e) and none(...), over
// nodes(p), relationships(p) or the relationship list variable, where e
// reads neither the path nor its list, hold for a path exactly when each
// of its nodes (relationships) passes e (fails e, for none): the operator
// applies them during the search, as Neo4j does, so the breadth-first
// search runs on the part of the graph that passes them. The rest are
// checked on the paths found, with the exhaustive fallback behind them.
#include "query/plan/pattern_planning.h"

namespace orvane {
namespace {

// Which elements `quantifier` ranges over: 'n' nodes, 'r' relationships,
// 0 neither (or not a form the search can apply).
char element_filter(const BoundExpr& e, std::uint32_t path_slot, std::uint32_t rel_slot, bool rel_list) {
  if (e.kind != BoundKind::kQuantifier || !e.where) return 0;
  if (e.quantifier != ast::Quantifier::kAll && e.quantifier != ast::Quantifier::kNone) return 0;
  std::set<std::uint32_t> own{rel_slot};
  if (path_slot != kNoSlot) own.insert(path_slot);
  bool opaque = false;
  if (reads_any(*e.where, own, opaque) || opaque) return 0;
  const BoundExpr& list = *e.children[0];
  if (list.kind == BoundKind::kSlot && rel_list && list.slot == rel_slot) return 'r';
  if (list.kind != BoundKind::kFunction || list.children.size() != 1) return 0;
  const BoundExpr& of = *list.children[0];
  if (of.kind != BoundKind::kSlot || path_slot == kNoSlot || of.slot != path_slot) return 0;
  if (list.name == "nodes") return 'n';
  if (list.name == "relationships") return 'r';
  return 0;
}

}  // namespace

std::shared_ptr<LogicalOp> plan_shortest_path(BoundPatternPart& part, std::shared_ptr<LogicalOp> input,
                                              std::vector<BoundExprPtr> path_conjuncts,
                                              std::vector<std::uint32_t> distinct_from) {
  BoundRel& rel = part.rels.at(0);
  auto op = std::make_shared<LogicalOp>();
  op->kind = LogicalKind::kShortestPath;
  op->children.push_back(std::move(input));
  op->from_slot = part.nodes[0].slot;
  op->to_slot = part.nodes[1].slot;
  op->rel_slot = rel.slot;
  op->slot = part.path_slot;
  op->types = rel.types;
  op->direction = rel.direction;
  op->impossible = rel.impossible || part.nodes[0].impossible || part.nodes[1].impossible;
  op->min_hops = rel.variable_length ? rel.min_hops : 1;
  op->max_hops = rel.variable_length ? rel.max_hops : 1;
  op->rel_list = rel.variable_length;
  op->all_paths = part.function == ast::PathFunction::kAllShortest;
  op->distinct_from = std::move(distinct_from);
  std::vector<BoundExprPtr> rest;
  for (BoundExprPtr& conjunct : path_conjuncts) {
    switch (element_filter(*conjunct, part.path_slot, rel.slot, rel.variable_length)) {
      case 'n': op->node_filters.push_back(std::shared_ptr<BoundExpr>(std::move(conjunct))); break;
      case 'r': op->rel_filters.push_back(std::shared_ptr<BoundExpr>(std::move(conjunct))); break;
      default: rest.push_back(std::move(conjunct));
    }
  }
  if (rest.size() == 1) {
    op->path_predicate = std::shared_ptr<BoundExpr>(std::move(rest[0]));
  } else if (!rest.empty()) {
    auto all = std::make_shared<BoundExpr>();
    all->kind = BoundKind::kAnd;
    all->children = std::move(rest);
    op->path_predicate = std::move(all);
  }
  for (BoundProperty& p : rel.properties) {
    op->expressions.push_back(std::shared_ptr<BoundExpr>(std::move(p.value)));
    op->rel_keys.push_back(p.rel_key);
  }
  return op;
}

}  // namespace orvane
