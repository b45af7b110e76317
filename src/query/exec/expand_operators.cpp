// Expansions over the CSR: one relationship (Expand), a range of them
// (VarExpand), and the path a pattern part walked (ProjectPath).
//
// A node's relationships of the wanted types and direction are read from
// the combined run (every type) or the per-type runs, in (type, neighbour,
// relationship) order, then those written since the last compilation
// (PhysicalGraph::for_each_adjacent); an undirected step takes the outgoing run, then the
// incoming one without the self-loops, which the outgoing run has already
// given. Within one MATCH a relationship is used once: each expansion
// skips the relationships already bound by the clause (`distinct_from`),
// and a variable-length walk never repeats one of its own.
//
// VarExpand collects the paths of one input row before it hands them out;
// they count against the statement's memory bound until the next row.
#include <algorithm>

#include "graph/database.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/value_size.h"

namespace orvane {
namespace {

struct Step {
  std::uint32_t rel;   // relationship identity
  std::uint32_t node;  // the node reached (identity)
};

// The relationships of `node` (identity) that `op` may take, appended to `out`.
void steps_of(const PhysicalGraph& g, const LogicalOp& op, std::uint32_t node, std::vector<Step>& out) {
  const auto direction = [&](bool outgoing, bool skip_loops) {
    const auto take = [&](std::uint32_t rel, std::uint32_t other) {
      if (!skip_loops || other != node) out.push_back({rel, other});
    };
    if (op.types.empty()) {
      g.for_each_adjacent(node, outgoing, kAllTypes, take);
      return;
    }
    for (const std::uint16_t type : op.types) g.for_each_adjacent(node, outgoing, type, take);
  };
  if (op.direction != ast::Direction::kLeft) direction(true, false);
  if (op.direction != ast::Direction::kRight) direction(false, op.direction == ast::Direction::kBoth);
}

// Whether relationship `rel` is among those the row has bound in `slots`
// (a relationship, or a variable-length list of them).
bool used(const Row& row, const std::vector<std::uint32_t>& slots, std::uint32_t rel) {
  for (const std::uint32_t s : slots) {
    const CypherValue& v = row[s];
    if (v.kind() == CypherValue::Kind::kRelationship) {
      if (v.as_relationship().identity == rel) return true;
    } else if (v.kind() == CypherValue::Kind::kList) {
      for (const CypherValue& r : v.as_list()) {
        if (r.kind() == CypherValue::Kind::kRelationship && r.as_relationship().identity == rel) return true;
      }
    }
  }
  return false;
}

bool target_ok(const Row& row, const LogicalOp& op, std::uint32_t node) {
  if (!op.into) return true;
  const CypherValue& t = row[op.to_slot];
  return t.kind() == CypherValue::Kind::kNode && t.as_node().identity == node;
}

class Expand final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    steps_.clear();
    cursor_ = 0;
  }
  bool next(Row& row) override {
    if (op_.impossible) return drain(row);
    for (;;) {
      while (cursor_ < steps_.size()) {
        const Step s = steps_[cursor_++];
        context_.step();
        if (used(row, op_.distinct_from, s.rel) || !target_ok(row, op_, s.node) || !labelled(s.node)) continue;
        if (op_.rel_into) {
          const CypherValue& bound = row[op_.rel_slot];
          if (bound.kind() != CypherValue::Kind::kRelationship || bound.as_relationship().identity != s.rel) continue;
          if (!op_.into) row[op_.to_slot] = NodeRef{s.node};
          return produced();
        }
        row[op_.rel_slot] = RelRef{s.rel};
        if (!op_.into) row[op_.to_slot] = NodeRef{s.node};
        return produced();
      }
      if (!children_[0]->next(row)) return false;
      steps_.clear();
      cursor_ = 0;
      const CypherValue& from = row[op_.from_slot];
      if (from.kind() == CypherValue::Kind::kNode) steps_of(context_.db().graph, op_, from.as_node().identity, steps_);
    }
  }

 private:
  // Whether the node reached has every label the planner pushed into the
  // expansion (pushdown.h).
  bool labelled(std::uint32_t node) const {
    for (const std::uint16_t label : op_.labels) {
      if (!context_.db().graph.has_label(node, label)) return false;
    }
    return true;
  }

  std::vector<Step> steps_;
  std::size_t cursor_ = 0;
};

// Depth-first over paths of min_hops … max_hops relationships; the paths
// of one input row are collected first, then handed out one per call.
class VarExpand final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    results_.clear();
    memory_.clear();
    cursor_ = 0;
  }
  bool next(Row& row) override {
    if (op_.impossible) return drain(row);
    for (;;) {
      if (cursor_ < results_.size()) {
        Result& r = results_[cursor_++];
        row[op_.rel_slot] = std::move(r.rels);
        if (!op_.into) row[op_.to_slot] = NodeRef{r.node};
        return produced();
      }
      if (!children_[0]->next(row)) return false;
      results_.clear();
      memory_.clear();
      cursor_ = 0;
      const CypherValue& from = row[op_.from_slot];
      if (from.kind() != CypherValue::Kind::kNode) continue;
      path_.clear();
      walk(row, from.as_node().identity);
    }
  }

 private:
  struct Result {
    CypherValue rels;
    std::uint32_t node;
  };

  bool hop_ok(const Row& row, std::uint32_t rel) {
    if (op_.expressions.empty()) return true;
    for (std::size_t i = 0; i < op_.expressions.size(); ++i) {
      const CypherValue want = evaluate(*op_.expressions[i], const_cast<Row&>(row), context_);
      const CypherValue have = op_.rel_keys[i] == kUnknownKey || rel >= context_.db().rel_store.size()
                                   ? CypherValue()
                                   : from_property(context_.db().rel_store.get(rel, op_.rel_keys[i]));
      if (!cypher_equals(have, want).value_or(false)) return false;
    }
    return true;
  }

  void walk(const Row& row, std::uint32_t node) {
    const auto hops = static_cast<std::int64_t>(path_.size());
    if (hops >= op_.min_hops && target_ok(row, op_, node)) {
      CypherList rels;
      rels.reserve(path_.size());
      for (const std::uint32_t r : path_) rels.emplace_back(RelRef{r});
      if (op_.reversed) std::reverse(rels.begin(), rels.end());
      Result result{CypherValue(std::move(rels)), node};
      memory_.add(sizeof(Result) + value_heap_bytes(result.rels));
      results_.push_back(std::move(result));
    }
    if (op_.max_hops >= 0 && hops >= op_.max_hops) return;
    std::vector<Step> steps;
    steps_of(context_.db().graph, op_, node, steps);
    for (const Step& s : steps) {
      context_.step();
      if (std::find(path_.begin(), path_.end(), s.rel) != path_.end() || used(row, op_.distinct_from, s.rel)) continue;
      if (!hop_ok(row, s.rel)) continue;
      path_.push_back(s.rel);
      walk(row, s.node);
      path_.pop_back();
    }
  }

  std::vector<std::uint32_t> path_;
  std::vector<Result> results_;
  HeldMemory memory_{context_};  // what results_ holds
  std::size_t cursor_ = 0;
};

class ProjectPath final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    if (!children_[0]->next(row)) return false;
    PathValue path;
    bool missing = false;
    const auto node_of = [&](std::uint32_t slot) {
      const CypherValue& v = row[slot];
      if (v.kind() != CypherValue::Kind::kNode) {
        missing = true;
        return 0u;
      }
      return v.as_node().identity;
    };
    path.nodes.push_back(node_of(op_.slots[0]));
    const Database& db = context_.db();
    for (std::size_t i = 0; i < op_.rel_slots.size() && !missing; ++i) {
      const CypherValue& r = row[op_.rel_slots[i]];
      if (op_.rel_is_list[i]) {
        if (r.kind() != CypherValue::Kind::kList) {
          missing = true;
          break;
        }
        // The nodes between the hops: each relationship's other end.
        for (const CypherValue& rel : r.as_list()) {
          const Edge& e = db.graph.edges[rel.as_relationship().identity];
          path.rels.push_back(rel.as_relationship().identity);
          path.nodes.push_back(e.src == path.nodes.back() ? e.dst : e.src);
        }
      } else {
        if (r.kind() != CypherValue::Kind::kRelationship) {
          missing = true;
          break;
        }
        path.rels.push_back(r.as_relationship().identity);
        path.nodes.push_back(node_of(op_.slots[i + 1]));
      }
    }
    row[op_.slot] = missing ? CypherValue() : CypherValue(std::move(path));
    return produced();
  }
};

}  // namespace

std::unique_ptr<Operator> make_expand(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Expand>(op, context);
}

std::unique_ptr<Operator> make_var_expand(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<VarExpand>(op, context);
}

std::unique_ptr<Operator> make_project_path(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<ProjectPath>(op, context);
}

}  // namespace orvane
