// The planner's rules, clause by clause (see planner.h).
#include "query/plan/planner.h"

#include <set>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/functions/scalar_functions.h"
#include "query/plan/count_pattern.h"
#include "query/plan/estimates.h"
#include "query/plan/pattern_planning.h"
#include "query/plan/pushdown.h"
#include "query/plan/top_before_projection.h"

namespace orvane {
namespace {

using OpPtr = std::shared_ptr<LogicalOp>;

OpPtr make(LogicalKind kind, OpPtr input = nullptr) {
  auto op = std::make_shared<LogicalOp>();
  op->kind = kind;
  if (input) op->children.push_back(std::move(input));
  return op;
}

std::shared_ptr<BoundExpr> share(BoundExprPtr e) { return std::shared_ptr<BoundExpr>(std::move(e)); }

BoundExprPtr slot_read(std::uint32_t slot) {
  auto e = std::make_unique<BoundExpr>();
  e->kind = BoundKind::kSlot;
  e->slot = slot;
  return e;
}

// n.key = value for a pattern's property map.
BoundExprPtr property_equals(std::uint32_t slot, BoundProperty& p) {
  auto property = std::make_unique<BoundExpr>();
  property->kind = BoundKind::kProperty;
  property->name = p.key;
  property->node_key = p.node_key;
  property->rel_key = p.rel_key;
  property->children.push_back(slot_read(slot));
  auto eq = std::make_unique<BoundExpr>();
  eq->kind = BoundKind::kComparison;
  eq->ops = {ast::Op::kEqual};
  eq->children.push_back(std::move(property));
  eq->children.push_back(std::move(p.value));
  return eq;
}

OpPtr filter(OpPtr input, std::vector<BoundExprPtr> predicates) {
  if (predicates.empty()) return input;
  OpPtr op = make(LogicalKind::kFilter, std::move(input));
  if (predicates.size() == 1) {
    op->expressions.push_back(share(std::move(predicates[0])));
  } else {
    auto all = std::make_unique<BoundExpr>();
    all->kind = BoundKind::kAnd;
    all->children = std::move(predicates);
    op->expressions.push_back(share(std::move(all)));
  }
  return op;
}

// {id: N} on a graph of the corpus generator: the stored "id" when the
// node has one, else its id (every statement on those graphs has always
// read it so): coalesce(n.id = N, id(n) = N).
BoundExprPtr generated_id_test(std::uint32_t slot, BoundProperty& p) {
  auto id_call = std::make_unique<BoundExpr>();
  id_call->kind = BoundKind::kFunction;
  id_call->function = find_function("id");
  id_call->name = "id";
  id_call->children.push_back(slot_read(slot));
  auto value = std::make_unique<BoundExpr>();  // a copy of the literal or parameter
  value->kind = p.value->kind;
  value->constant = p.value->constant;
  value->name = p.value->name;
  value->slot = p.value->slot;
  auto by_id = std::make_unique<BoundExpr>();
  by_id->kind = BoundKind::kComparison;
  by_id->ops = {ast::Op::kEqual};
  by_id->children.push_back(std::move(id_call));
  by_id->children.push_back(std::move(value));
  auto either = std::make_unique<BoundExpr>();
  either->kind = BoundKind::kFunction;
  either->function = find_function("coalesce");
  either->name = "coalesce";
  either->children.push_back(property_equals(slot, p));
  either->children.push_back(std::move(by_id));
  return either;
}

// The predicates a node must meet once bound: labels beyond `skip_first`
// (a label scan has checked the first), its label expression and its
// property map.
std::vector<BoundExprPtr> node_predicates(BoundNode& node, bool skip_first, bool generated) {
  std::vector<BoundExprPtr> out;
  if (node.impossible) {
    // A label the graph lacks: a node bound before cannot have it either.
    auto never = std::make_unique<BoundExpr>();
    never->constant = false;
    out.push_back(std::move(never));
  }
  if (node.labels.size() > (skip_first ? 1u : 0u)) {
    auto has = std::make_unique<BoundExpr>();
    has->kind = BoundKind::kHasLabels;
    has->children.push_back(slot_read(node.slot));
    has->label_ids.assign(node.labels.begin() + (skip_first ? 1 : 0), node.labels.end());
    out.push_back(std::move(has));
  }
  if (node.label_test) out.push_back(std::move(node.label_test));
  for (BoundProperty& p : node.properties) {
    const bool literal = p.value->kind == BoundKind::kConstant || p.value->kind == BoundKind::kParameter;
    out.push_back(generated && p.key == "id" && literal ? generated_id_test(node.slot, p) : property_equals(node.slot, p));
  }
  return out;
}

std::uint64_t label_size(const Database& db, std::uint16_t label) { return db.graph.nodes_with_label(label).size(); }

ast::Direction reversed(ast::Direction d) {
  return d == ast::Direction::kRight ? ast::Direction::kLeft : d == ast::Direction::kLeft ? ast::Direction::kRight : d;
}

class Planner {
 public:
  explicit Planner(const Database& db) : db_(db) {}

  OpPtr plan_match(BoundMatch& match, OpPtr input) {
    std::vector<std::uint32_t> rel_slots;  // relationships matched so far in this clause
    bound_slots_.clear();
    bound_rels_.clear();
    for (const BoundPatternPart& part : match.parts) {
      for (const BoundNode& node : part.nodes) {
        if (node.bound) bound_slots_.insert(node.slot);
      }
      for (const BoundRel& rel : part.rels) {
        if (rel.bound) bound_rels_.insert(rel.slot);
        // A relationship bound before is one of the pattern's: no other
        // relationship of the clause may be it.
        if (rel.bound && !rel.variable_length) rel_slots.push_back(rel.slot);
      }
    }
    seeks_ = find_id_seeks(match.where.get());
    // A lone pattern without WHERE starts where it is written, so its rows
    // come in the order of its first node's ids (as they always have).
    const bool written_start = match.parts.size() == 1 && !match.where;
    std::vector<BoundPatternPart*> shortest;
    for (BoundPatternPart& part : match.parts) {
      if (part.function != ast::PathFunction::kNone) {
        shortest.push_back(&part);
      } else {
        input = plan_part(part, std::move(input), rel_slots, written_start);
      }
    }
    if (!shortest.empty()) return plan_shortest_parts(match, shortest, std::move(input), rel_slots);
    if (match.where) {
      std::vector<BoundExprPtr> where;
      where.push_back(std::move(match.where));
      input = filter(std::move(input), std::move(where));
    }
    return input;
  }

  // One query part over `input`. In a statement's own parts (`top_level`,
  // not a subquery run per outer row) an Eager (exec/eager_operator.cpp)
  // stands between reads of the graph's structure and later writes, and
  // between writes and later reads, so that every row is read before the
  // writes change what it would read, and reads after writes see them, as
  // Neo4j orders them; a LIMIT after a write pulls every row.
  OpPtr plan_query(BoundSingleQuery& query, OpPtr input, bool top_level = false) {
    bool wrote = false;    // a write since the last Eager
    bool read = false;     // a read of the graph's structure since the last Eager
    bool written = false;  // a write anywhere before
    for (BoundClause& clause : query.clauses) {
      const bool reads = clause.kind == BoundClauseKind::kMatch || clause.kind == BoundClauseKind::kCallSubquery ||
                         clause.kind == BoundClauseKind::kCall || clause.kind == BoundClauseKind::kMerge;
      // A LIMIT after a write must not stop the writes short: they run for
      // every row, whatever the LIMIT keeps, as in Neo4j.
      const bool limited = clause.kind == BoundClauseKind::kProjection && clause.projection.limit != nullptr;
      const bool drain = written && limited;
      const bool writes = clause.kind == BoundClauseKind::kCreate || clause.kind == BoundClauseKind::kSet ||
                          clause.kind == BoundClauseKind::kDelete || clause.kind == BoundClauseKind::kMerge ||
                          clause.kind == BoundClauseKind::kForeach;
      if (top_level && ((wrote && reads) || (read && writes))) {
        input = make(LogicalKind::kEager, std::move(input));
        wrote = read = false;
      }
      wrote = wrote || writes;
      read = read || reads;
      written = written || wrote;
      switch (clause.kind) {
        case BoundClauseKind::kMatch:
          if (clause.match.optional) {
            OpPtr inner = plan_match(clause.match, make(LogicalKind::kArgument));
            OpPtr op = make(LogicalKind::kOptional, std::move(input));
            op->children.push_back(std::move(inner));
            op->slots = clause.match.new_slots;
            input = std::move(op);
          } else {
            input = plan_match(clause.match, std::move(input));
          }
          break;
        case BoundClauseKind::kUnwind: {
          OpPtr op = make(LogicalKind::kUnwind, std::move(input));
          op->expressions.push_back(share(std::move(clause.unwind.list)));
          op->slot = clause.unwind.slot;
          input = std::move(op);
          break;
        }
        case BoundClauseKind::kProjection:
          input = plan_projection(clause.projection, std::move(input));
          if (drain && input->kind == LogicalKind::kLimit) input->drains = true;
          break;
        case BoundClauseKind::kCall: {
          OpPtr op = make(LogicalKind::kProcedureCall, std::move(input));
          op->call = clause.call;
          input = std::move(op);
          if (clause.call_where) {
            std::vector<BoundExprPtr> where;
            where.push_back(std::move(clause.call_where));
            input = filter(std::move(input), std::move(where));
          }
          break;
        }
        case BoundClauseKind::kCallSubquery:
          input = plan_call_subquery(*clause.subquery, std::move(input), db_);
          break;
        case BoundClauseKind::kCreate: {
          OpPtr op = make(LogicalKind::kCreate, std::move(input));
          op->create = clause.create;
          input = std::move(op);
          break;
        }
        case BoundClauseKind::kSet: {
          OpPtr op = make(LogicalKind::kSet, std::move(input));
          op->set = clause.set;
          input = std::move(op);
          break;
        }
        case BoundClauseKind::kDelete: {
          OpPtr op = make(LogicalKind::kDelete, std::move(input));
          op->detach = clause.del->detach;
          for (BoundExprPtr& e : clause.del->exprs) op->expressions.push_back(share(std::move(e)));
          input = std::move(op);
          break;
        }
        case BoundClauseKind::kMerge: {
          BoundMatch match;
          match.parts.push_back(std::move(clause.merge->match));
          match.new_slots = clause.merge->new_slots;
          OpPtr inner = plan_match(match, make(LogicalKind::kArgument));
          OpPtr op = make(LogicalKind::kMerge, std::move(input));
          op->children.push_back(std::move(inner));
          op->merge = clause.merge;
          op->slots = clause.merge->new_slots;
          input = std::move(op);
          break;
        }
        case BoundClauseKind::kForeach: {
          OpPtr inner = plan_query(*clause.foreach->body, make(LogicalKind::kArgument));
          OpPtr op = make(LogicalKind::kForeach, std::move(input));
          op->children.push_back(std::move(inner));
          op->expressions.push_back(share(std::move(clause.foreach->list)));
          op->slot = clause.foreach->slot;
          input = std::move(op);
          break;
        }
      }
    }
    return input;
  }

 private:
  OpPtr plan_part(BoundPatternPart& part, OpPtr input, std::vector<std::uint32_t>& rel_slots, bool written_start) {
    const std::size_t n = part.nodes.size();
    std::size_t start = n;
    for (std::size_t i = 0; i < n && start == n; ++i) {
      if (bound_slots_.count(part.nodes[i].slot) != 0) start = i;
    }
    for (std::size_t i = 0; i < n && start == n; ++i) {
      if (part.nodes[i].impossible) start = i;  // nothing matches: found at once
    }
    if (start == n && written_start) start = 0;
    // A node named by id starts the pattern, else a relationship named by id.
    for (std::size_t i = 0; i < n && start == n; ++i) {
      if (seek_for(part.nodes[i])) start = i;
    }
    const std::size_t rel_seek = start == n ? relationship_seek_index(part) : part.rels.size();
    if (rel_seek < part.rels.size()) {
      input = seek_relationship(part, rel_seek, std::move(input), rel_slots);
      for (std::size_t i = rel_seek + 1; i + 1 < n; ++i) input = expand(part, i, i + 1, std::move(input), rel_slots);
      for (std::size_t i = rel_seek; i > 0; --i) input = expand(part, i, i - 1, std::move(input), rel_slots);
      return project_path(part, std::move(input));
    }
    if (start == n) {
      std::uint64_t best = UINT64_MAX;
      for (std::size_t i = 0; i < n; ++i) {
        if (!part.nodes[i].labels.empty() && label_size(db_, part.nodes[i].labels[0]) < best) {
          best = label_size(db_, part.nodes[i].labels[0]);
          start = i;
        }
      }
    }
    if (start == n) start = 0;

    BoundNode& first = part.nodes[start];
    if (bound_slots_.count(first.slot) != 0) {
      // Met before: in an earlier clause (its labels and properties still
      // apply here) or earlier in this one (where they were checked, and
      // are again: they may differ between the occurrences).
      input = filter(std::move(input), node_predicates(first, false, db_.generated));
    } else if (const std::optional<IdSeek> seek = seek_for(first)) {
      input = filter(node_seek(*seek, first.slot, std::move(input)), node_predicates(first, false, db_.generated));
    } else {
      OpPtr scan = make(LogicalKind::kNodeScan, std::move(input));
      scan->slot = first.slot;
      scan->impossible = first.impossible;
      if (!first.labels.empty()) scan->labels = {first.labels[0]};
      input = filter(std::move(scan), node_predicates(first, true, db_.generated));
    }
    bound_slots_.insert(first.slot);
    for (std::size_t i = start; i + 1 < n; ++i) input = expand(part, i, i + 1, std::move(input), rel_slots);
    for (std::size_t i = start; i > 0; --i) input = expand(part, i, i - 1, std::move(input), rel_slots);
    return project_path(part, std::move(input));
  }

  OpPtr project_path(const BoundPatternPart& part, OpPtr input) {
    if (part.path_slot != kNoSlot) {
      OpPtr path = make(LogicalKind::kProjectPath, std::move(input));
      path->slot = part.path_slot;
      for (const BoundNode& node : part.nodes) path->slots.push_back(node.slot);
      for (const BoundRel& rel : part.rels) {
        path->rel_slots.push_back(rel.slot);
        path->rel_is_list.push_back(rel.variable_length);
      }
      input = std::move(path);
    }
    return input;
  }

  // The id seek that may bind `node` (not bound yet): an id predicate of
  // the clause's WHERE, or {id: N} on a generated graph while no node
  // stores the property "id" (the seek checks that again when it runs).
  std::optional<IdSeek> seek_for(const BoundNode& node) const {
    if (node.impossible || bound_slots_.count(node.slot) != 0) return std::nullopt;
    const auto it = seeks_.find(node.slot);
    if (it != seeks_.end()) return it->second;
    if (db_.stored_id_nodes != 0) return std::nullopt;
    return generated_id_seek(node, db_);
  }

  // The first relationship of `part` named by id whose ends are both
  // unbound, or rels.size().
  std::size_t relationship_seek_index(const BoundPatternPart& part) const {
    for (std::size_t k = 0; k < part.rels.size(); ++k) {
      const BoundRel& rel = part.rels[k];
      const BoundNode& left = part.nodes[k];
      const BoundNode& right = part.nodes[k + 1];
      if (rel.variable_length || rel.impossible || left.impossible || right.impossible) continue;
      if (seeks_.count(rel.slot) == 0 || bound_rels_.count(rel.slot) != 0) continue;
      if (bound_slots_.count(left.slot) != 0 || bound_slots_.count(right.slot) != 0) continue;
      return k;
    }
    return part.rels.size();
  }

  // Relationship `k` of `part` by its id seek, with its ends and their
  // predicates.
  OpPtr seek_relationship(BoundPatternPart& part, std::size_t k, OpPtr input, std::vector<std::uint32_t>& rel_slots) {
    BoundRel& rel = part.rels[k];
    OpPtr op = relationship_seek(seeks_.at(rel.slot), rel, part.nodes[k].slot, part.nodes[k + 1].slot, rel_slots,
                                 std::move(input));
    rel_slots.push_back(rel.slot);
    bound_rels_.insert(rel.slot);
    std::vector<BoundExprPtr> predicates;
    for (BoundProperty& p : rel.properties) predicates.push_back(property_equals(rel.slot, p));
    for (const std::size_t i : {k, k + 1}) {
      bound_slots_.insert(part.nodes[i].slot);
      for (BoundExprPtr& p : node_predicates(part.nodes[i], false, db_.generated)) predicates.push_back(std::move(p));
    }
    return filter(std::move(op), std::move(predicates));
  }

  // A clause's shortestPath parts, after its other parts (see
  // plan_shortest_path.cpp): their ends, the WHERE conjuncts that read no
  // shortest path, the searches, and the conjuncts that read several.
  OpPtr plan_shortest_parts(BoundMatch& match, const std::vector<BoundPatternPart*>& shortest, OpPtr input,
                            std::vector<std::uint32_t>& rel_slots) {
    for (BoundPatternPart* part : shortest) {
      for (BoundNode& node : part->nodes) {
        BoundPatternPart end;
        end.nodes.push_back(std::move(node));
        input = plan_part(end, std::move(input), rel_slots, false);
        node.slot = end.nodes[0].slot;
        node.impossible = end.nodes[0].impossible;
      }
    }
    std::vector<BoundExprPtr> before, after;
    std::vector<std::vector<BoundExprPtr>> own(shortest.size());
    for (BoundExprPtr& conjunct : conjuncts_of(std::move(match.where))) {
      bool opaque = false;
      std::size_t hits = 0, hit = 0;
      for (std::size_t i = 0; i < shortest.size(); ++i) {
        std::set<std::uint32_t> slots{shortest[i]->rels[0].slot};
        if (shortest[i]->path_slot != kNoSlot) slots.insert(shortest[i]->path_slot);
        if (reads_any(*conjunct, slots, opaque)) {
          ++hits;
          hit = i;
        }
      }
      if (opaque || hits > 1) {
        after.push_back(std::move(conjunct));
      } else if (hits == 1) {
        own[hit].push_back(std::move(conjunct));
      } else {
        before.push_back(std::move(conjunct));
      }
    }
    input = filter(std::move(input), std::move(before));
    for (std::size_t i = 0; i < shortest.size(); ++i) {
      input = plan_shortest_path(*shortest[i], std::move(input), std::move(own[i]), rel_slots);
      rel_slots.push_back(shortest[i]->rels[0].slot);
      bound_rels_.insert(shortest[i]->rels[0].slot);
    }
    return filter(std::move(input), std::move(after));
  }

  // Expands from node `from` to its neighbour `to` in the chain over the
  // relationship between them.
  OpPtr expand(BoundPatternPart& part, std::size_t from, std::size_t to, OpPtr input,
               std::vector<std::uint32_t>& rel_slots) {
    BoundRel& rel = part.rels[std::min(from, to)];
    BoundNode& target = part.nodes[to];
    const bool rel_known = bound_rels_.count(rel.slot) != 0;
    if (rel_known && rel.variable_length) return walk_bound_list(part, from, to, std::move(input));
    OpPtr op = make(rel.variable_length ? LogicalKind::kVarExpand : LogicalKind::kExpand, std::move(input));
    op->from_slot = part.nodes[from].slot;
    op->rel_slot = rel.slot;
    op->to_slot = target.slot;
    op->types = rel.types;
    op->impossible = rel.impossible || target.impossible;
    op->direction = to > from ? rel.direction : reversed(rel.direction);
    const bool target_known = bound_slots_.count(target.slot) != 0;
    op->into = target_known;
    op->reversed = to < from;
    op->min_hops = rel.min_hops;
    op->max_hops = rel.max_hops;
    for (const std::uint32_t other : rel_slots) {
      if (other != rel.slot) op->distinct_from.push_back(other);
    }
    op->rel_into = rel_known;
    for (BoundProperty& p : rel.properties) {
      // Per-hop for variable length: a list's elements each meet the map.
      if (rel.variable_length) {
        op->expressions.push_back(share(std::move(p.value)));
        op->rel_keys.push_back(p.rel_key);
      }
    }
    if (!rel_known) rel_slots.push_back(rel.slot);
    bound_rels_.insert(rel.slot);
    std::vector<BoundExprPtr> predicates;
    if (!rel.variable_length) {
      for (BoundProperty& p : rel.properties) predicates.push_back(property_equals(rel.slot, p));
    }
    bound_slots_.insert(target.slot);
    for (BoundExprPtr& p : node_predicates(target, false, db_.generated)) predicates.push_back(std::move(p));
    return filter(std::move(op), std::move(predicates));
  }

  // Expands from node `from` to `to` over a relationship list bound before
  // (MATCH (a)-[rs*]->(b) with rs from an earlier clause): an Unwind of
  // relationship_list_walk, which holds the far node when the list is a
  // walk from `from` that meets the pattern, and nothing otherwise.
  OpPtr walk_bound_list(BoundPatternPart& part, std::size_t from, std::size_t to, OpPtr input) {
    BoundRel& rel = part.rels[std::min(from, to)];
    BoundNode& target = part.nodes[to];
    if (!rel.properties.empty()) {
      throw CypherError("SyntaxError", "UnsupportedClause", ErrorPhase::kCompileTime,
                        "a relationship list bound before cannot be matched with a property map by this query engine "
                        "yet");
    }
    const bool target_known = bound_slots_.count(target.slot) != 0;
    const ast::Direction direction = to > from ? rel.direction : reversed(rel.direction);
    const auto constant = [](CypherValue v) {
      auto e = std::make_unique<BoundExpr>();
      e->constant = std::move(v);
      return e;
    };
    auto walk = std::make_unique<BoundExpr>();
    walk->kind = BoundKind::kFunction;
    walk->function = &relationship_list_walk();
    walk->name = walk->function->name;
    walk->children.push_back(slot_read(rel.slot));
    walk->children.push_back(slot_read(part.nodes[from].slot));
    walk->children.push_back(target_known ? slot_read(target.slot) : constant(CypherValue()));
    walk->children.push_back(constant(std::int64_t{direction == ast::Direction::kRight  ? 0
                                                   : direction == ast::Direction::kLeft ? 1
                                                                                        : 2}));
    walk->children.push_back(constant(to < from));
    walk->children.push_back(constant(rel.min_hops));
    walk->children.push_back(constant(rel.max_hops));
    CypherList types;
    for (const std::uint16_t t : rel.types) types.emplace_back(db_.rel_type_name(t));
    // A type the graph lacks: "" names no type, so no walk holds.
    walk->children.push_back(constant(rel.impossible ? CypherList{CypherValue(std::string())} : types));
    OpPtr op = make(LogicalKind::kUnwind, std::move(input));
    op->expressions.push_back(share(std::move(walk)));
    op->slot = target.slot;  // a bound target gets the same node again
    bound_slots_.insert(target.slot);
    return filter(std::move(op), node_predicates(target, false, db_.generated));
  }

  OpPtr plan_projection(BoundProjection& p, OpPtr input) {
    if (!p.aggregates.empty()) {
      OpPtr aggregation = make(LogicalKind::kAggregation, std::move(input));
      std::vector<BoundItem*> after;
      for (BoundItem& item : p.items) {
        if (uses_aggregate(*item.expr)) {
          after.push_back(&item);
        } else {
          aggregation->expressions.push_back(share(std::move(item.expr)));
          aggregation->slots.push_back(item.slot);
        }
      }
      for (BoundAggregate& a : p.aggregates) aggregation->aggregates.push_back(std::make_shared<BoundAggregate>(std::move(a)));
      input = std::move(aggregation);
      if (!after.empty()) {
        OpPtr projection = make(LogicalKind::kProjection, std::move(input));
        for (BoundItem* item : after) {
          projection->expressions.push_back(share(std::move(item->expr)));
          projection->slots.push_back(item->slot);
        }
        input = std::move(projection);
      }
    } else {
      OpPtr projection = make(LogicalKind::kProjection, std::move(input));
      for (BoundItem& item : p.items) {
        projection->expressions.push_back(share(std::move(item.expr)));
        projection->slots.push_back(item.slot);
      }
      input = std::move(projection);
    }
    // WHERE before DISTINCT: it may read names from before the projection,
    // which DISTINCT would leave holding one row's values per group; on the
    // projected names the two orders keep the same rows.
    if (p.where) {
      std::vector<BoundExprPtr> where;
      where.push_back(std::move(p.where));
      input = filter(std::move(input), std::move(where));
    }
    if (p.distinct) {
      OpPtr distinct = make(LogicalKind::kDistinct, std::move(input));
      for (const BoundItem& item : p.items) distinct->slots.push_back(item.slot);
      input = std::move(distinct);
    }
    if (!p.order_by.empty()) {
      OpPtr sort = make(p.limit && !p.skip ? LogicalKind::kTop : LogicalKind::kSort, std::move(input));
      for (BoundSortKey& key : p.order_by) sort->sort_keys.emplace_back(share(std::move(key.expr)), key.descending);
      if (sort->kind == LogicalKind::kTop) sort->limit = share(std::move(p.limit));
      input = std::move(sort);
      sort_before_projection(input);
    }
    if (p.skip) {
      OpPtr skip = make(LogicalKind::kSkip, std::move(input));
      skip->expressions.push_back(share(std::move(p.skip)));
      input = std::move(skip);
    }
    if (p.limit) {
      OpPtr limit = make(LogicalKind::kLimit, std::move(input));
      limit->expressions.push_back(share(std::move(p.limit)));
      input = std::move(limit);
    }
    return input;
  }

  // Top over a Projection that keeps every row becomes the Projection
  // over the Top, when the sort keys can be read before the projection
  // (top_before_projection.h).
  static void sort_before_projection(OpPtr& top) {
    if (top->kind != LogicalKind::kTop) return;
    const OpPtr projection = top->children[0];
    if (projection->kind != LogicalKind::kProjection) return;
    std::vector<std::pair<std::shared_ptr<BoundExpr>, bool>> keys;
    if (!keys_before_projection(*projection, top->sort_keys, keys)) return;
    top->sort_keys = std::move(keys);
    top->children[0] = projection->children[0];
    projection->children[0] = top;
    top = projection;
  }

  static bool uses_aggregate(const BoundExpr& e) {
    if (e.kind == BoundKind::kAggregate) return true;
    for (const auto& c : e.children) {
      if (c && uses_aggregate(*c)) return true;
    }
    for (const auto* list : {&e.whens, &e.thens}) {
      for (const auto& c : *list) {
        if (c && uses_aggregate(*c)) return true;
      }
    }
    for (const auto* c : {&e.else_expr, &e.where, &e.projection}) {
      if (*c && uses_aggregate(**c)) return true;
    }
    return false;
  }

  const Database& db_;
  std::set<std::uint32_t> bound_slots_;  // node slots bound by now in the clause being planned
  std::set<std::uint32_t> bound_rels_;   // relationship slots bound by now
  std::map<std::uint32_t, IdSeek> seeks_;  // the id predicates of the clause's WHERE, by slot
};

}  // namespace

// Puts a CountPattern in place of the aggregation on the plan's spine.
void rewrite_count(const OpPtr& root, std::shared_ptr<CountPattern> count) {
  for (LogicalOp* op = root.get(); op != nullptr && !op->children.empty(); op = op->children[0].get()) {
    if (op->children[0]->kind != LogicalKind::kAggregation) continue;
    OpPtr rewritten = make(LogicalKind::kCountPattern, std::move(op->children[0]));
    rewritten->count_pattern = std::move(count);
    op->children[0] = std::move(rewritten);
    return;
  }
}

std::shared_ptr<LogicalOp> plan_statement(BoundStatement& statement, const Database& db, const PlanOptions& options) {
  std::shared_ptr<CountPattern> count = options.count_rewrite ? count_pattern_of(statement, db) : nullptr;
  Planner planner(db);
  OpPtr root;
  if (statement.parts.size() == 1) {
    root = planner.plan_query(statement.parts[0], make(LogicalKind::kArgument), true);
  } else {
    root = make(LogicalKind::kUnion);
    root->distinct = !statement.union_all.empty() && !statement.union_all[0];
    root->slots = statement.parts[0].column_slots;
    for (BoundSingleQuery& part : statement.parts) {
      root->children.push_back(planner.plan_query(part, make(LogicalKind::kArgument), true));
      root->column_slots.push_back(part.column_slots);
    }
    if (root->distinct) {
      OpPtr distinct = make(LogicalKind::kDistinct, root);
      distinct->slots = root->slots;
      root = distinct;
    }
  }
  OpPtr results = make(LogicalKind::kProduceResults, std::move(root));
  results->columns = statement.columns;
  results->slots = statement.parts.empty() ? std::vector<std::uint32_t>{} : statement.parts[0].column_slots;
  results = push_scan_filters(std::move(results));
  if (count) rewrite_count(results, std::move(count));
  estimate_rows(*results, db);
  return results;
}

std::shared_ptr<LogicalOp> plan_pattern(BoundMatch& match, const Database& db) {
  return push_scan_filters(Planner(db).plan_match(match, make(LogicalKind::kArgument)));
}

std::shared_ptr<LogicalOp> plan_subquery(BoundSingleQuery&& query, const Database& db) {
  return push_scan_filters(Planner(db).plan_query(query, make(LogicalKind::kArgument)));
}

}  // namespace orvane
