// ShortestPath: for each input row, the shortest paths between two bound
// nodes over one relationship pattern (types, direction, a per-hop
// property map, min_hops 0 or 1, max_hops or unbounded).
//
// The search is a bidirectional breadth-first search over the CSR. Each
// side keeps, per node it reached, its depth and every (parent,
// relationship) pair that reaches it at that depth, so the shortest paths
// form a layered graph on each side. The side with the smaller frontier
// grows by one level at a time; after a level, the nodes of the new
// frontier that the other side reached at its current depth are the
// meeting nodes. Every shortest path of length L = ls + lt passes exactly
// one node at distance ls from the source (and lt from the target), so
// joining each meeting node's source-side chains with its target-side
// chains lists every shortest path once. A shortest walk never repeats a
// node, so it never repeats a relationship either; relationships the
// clause has already bound (`distinct_from`) are treated as absent.
//
// Filters on every node or every relationship of the path (all(...) and
// none(...) over nodes(p) or relationships(p), see
// plan/plan_shortest_path.cpp) are applied during the search: a node or
// relationship that fails one is never entered, and ends that fail one
// have no path. Any other predicate on the path (the WHERE conjuncts that
// read the path or its relationship list) is checked on each shortest
// path in turn. When none
// of them passes, the search falls back to an exhaustive one, as Neo4j
// does: trails (no relationship repeated) from source to target of
// increasing length, the first length with a passing trail giving the
// answer. Both searches count every relationship they consider against
// the work bound, so a huge search stops with the work-limit error.
//
// Same source and target: a path of length 0 when min_hops is 0;
// otherwise the error Neo4j raises (the search is undefined there).
//
// Memory: each side's tables (an entry per node reached, a hop per parent)
// count against the statement's memory bound for the length of one
// search, the paths found until the next input row.
#include <algorithm>
#include <functional>
#include <unordered_map>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/value_size.h"

namespace orvane {
namespace {

constexpr const char* kCommonNodesMessage =
    "The shortest path algorithm does not work when the start and end nodes "
    "are the same. This can happen if you "
    "perform a shortestPath search after a cartesian product that might have "
    "the same start and end nodes for some "
    "of the rows passed to shortestPath. If you really want the shortestPath "
    "between two common nodes, then re-write "
    "the query using a standard Cypher variable length pattern expression "
    "followed by ordering by path length and "
    "limiting to one result.";

struct Hop {
  std::uint32_t rel;   // relationship identity
  std::uint32_t node;  // the node at the other end (identity)
};

// One side of the bidirectional search.
struct Side {
  std::unordered_map<std::uint32_t, std::uint32_t> depth;       // node identity → distance from the side's root
  std::unordered_map<std::uint32_t, std::vector<Hop>> parents;  // node → (parent node, relationship) pairs at depth - 1
  std::vector<std::uint32_t> frontier;                          // the nodes at distance `level`
  std::uint32_t level = 0;
};

class ShortestPath final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    results_.clear();
    memory_.clear();
    cursor_ = 0;
  }

  bool next(Row& row) override {
    for (;;) {
      if (cursor_ < results_.size()) {
        write(row, results_[cursor_++]);
        return produced();
      }
      if (!children_[0]->next(row)) return false;
      results_.clear();
      memory_.clear();
      cursor_ = 0;
      const CypherValue& from = row[op_.from_slot];
      const CypherValue& to = row[op_.to_slot];
      if (op_.impossible || from.kind() != CypherValue::Kind::kNode || to.kind() != CypherValue::Kind::kNode) continue;
      search(row, from.as_node().identity, to.as_node().identity);
    }
  }

 private:
  // The relationships `node` may take: forward from the source side,
  // backward (the pattern read from its other end) from the target side.
  void hops_of(Row& row, std::uint32_t node, bool backward, std::vector<Hop>& out) {
    const PhysicalGraph& g = context_.db().graph;
    const auto direction = [&](bool outgoing, bool skip_loops) {
      const auto take = [&](std::uint32_t rel, std::uint32_t other) {
        context_.step();
        if (skip_loops && other == node) return;
        if (!hop_ok(row, rel) || !passes(row, op_.rel_filters, RelRef{rel}) ||
            !passes(row, op_.node_filters, NodeRef{other})) {
          return;
        }
        out.push_back({rel, other});
      };
      if (op_.types.empty()) {
        g.for_each_adjacent(node, outgoing, kAllTypes, take);
        return;
      }
      for (const std::uint16_t type : op_.types) g.for_each_adjacent(node, outgoing, type, take);
    };
    const bool out_allowed = op_.direction != (backward ? ast::Direction::kRight : ast::Direction::kLeft);
    const bool in_allowed = op_.direction != (backward ? ast::Direction::kLeft : ast::Direction::kRight);
    if (out_allowed) direction(true, false);
    if (in_allowed) direction(false, op_.direction == ast::Direction::kBoth);
  }

  // Not bound elsewhere in the clause, and meeting the pattern's property map.
  bool hop_ok(const Row& row, std::uint32_t rel) {
    for (const std::uint32_t s : op_.distinct_from) {
      const CypherValue& v = row[s];
      if (v.kind() == CypherValue::Kind::kRelationship && v.as_relationship().identity == rel) return false;
      if (v.kind() == CypherValue::Kind::kList) {
        for (const CypherValue& r : v.as_list()) {
          if (r.kind() == CypherValue::Kind::kRelationship && r.as_relationship().identity == rel) return false;
        }
      }
    }
    for (std::size_t i = 0; i < op_.expressions.size(); ++i) {
      const CypherValue want = evaluate(*op_.expressions[i], const_cast<Row&>(row), context_);
      const CypherValue have = op_.rel_keys[i] == kUnknownKey || rel >= context_.db().rel_store.size()
                                   ? CypherValue()
                                   : from_property(context_.db().rel_store.get(rel, op_.rel_keys[i]));
      if (!cypher_equals(have, want).value_or(false)) return false;
    }
    return true;
  }

  // Whether `element` passes every filter of `filters`: the quantifier's
  // WHERE true for all(...), false for none(...).
  bool passes(Row& row, const std::vector<std::shared_ptr<BoundExpr>>& filters, const CypherValue& element) {
    for (const auto& f : filters) {
      row[f->slot] = element;
      const CypherValue v = evaluate(*f->where, row, context_);
      const bool want = f->quantifier == ast::Quantifier::kAll;
      if (v.kind() != CypherValue::Kind::kBool || v.as_bool() != want) return false;
    }
    return true;
  }

  // Grows `side` by one level; the new frontier replaces the old. What the
  // side's tables gain counts in `memory`.
  void grow(Row& row, Side& side, bool backward, HeldMemory& memory) {
    std::vector<std::uint32_t> next;
    std::vector<Hop> hops;
    for (const std::uint32_t node : side.frontier) {
      hops.clear();
      hops_of(row, node, backward, hops);
      for (const Hop& h : hops) {
        const auto [it, fresh] = side.depth.emplace(h.node, side.level + 1);
        if (fresh) {
          // Its depth, its parents' entry and its place in the frontier.
          memory.add(2 * kHashEntryBytes + sizeof(std::uint32_t) * 3 + sizeof(std::vector<Hop>));
          next.push_back(h.node);
        }
        if (it->second == side.level + 1) {
          memory.add(sizeof(Hop));
          side.parents[h.node].push_back({h.rel, node});
        }
      }
    }
    std::sort(next.begin(), next.end());
    side.frontier = std::move(next);
    ++side.level;
  }

  // Every chain from `node` back to the side's root: `each` gets the hops
  // from `node` towards the root; returns false when `each` stopped it.
  bool chains(const Side& side, std::uint32_t node, std::vector<Hop>& chain,
              const std::function<bool(const std::vector<Hop>&)>& each) {
    const auto it = side.parents.find(node);
    if (it == side.parents.end()) return each(chain);  // the root
    for (const Hop& parent : it->second) {
      chain.push_back(parent);
      const bool go_on = chains(side, parent.node, chain, each);
      chain.pop_back();
      if (!go_on) return false;
    }
    return true;
  }

  // Offers the path to the answer; false once no more are wanted.
  bool offer(Row& row, PathValue&& path) {
    context_.step();
    if (op_.path_predicate) {
      write(row, path);
      if (!is_true(evaluate(*op_.path_predicate, row, context_))) return true;
    }
    memory_.add(sizeof(PathValue) + (path.nodes.capacity() + path.rels.capacity()) * sizeof(std::uint32_t));
    results_.push_back(std::move(path));
    return op_.all_paths;
  }

  void search(Row& row, std::uint32_t source, std::uint32_t target) {
    if (source == target && op_.min_hops > 0) {
      throw CypherError("DatabaseError", "ShortestPathCommonEndNodes", ErrorPhase::kRuntime, kCommonNodesMessage);
    }
    if (!passes(row, op_.node_filters, NodeRef{source}) || !passes(row, op_.node_filters, NodeRef{target})) return;
    if (source == target) {
      offer(row, PathValue{{source}, {}});
      if (results_.empty()) exhaustive(row, source, target, 1);
      return;
    }
    HeldMemory tables(context_);  // both sides' tables, for this search only
    Side forward, backward;
    forward.depth.emplace(source, 0);
    forward.frontier = {source};
    backward.depth.emplace(target, 0);
    backward.frontier = {target};
    for (;;) {
      const std::int64_t length = forward.level + backward.level;
      if (forward.frontier.empty() || backward.frontier.empty()) return;
      if (op_.max_hops >= 0 && length >= op_.max_hops) return;
      const bool grow_forward = forward.frontier.size() <= backward.frontier.size();
      Side& grown = grow_forward ? forward : backward;
      const Side& other = grow_forward ? backward : forward;
      grow(row, grown, !grow_forward, tables);
      std::vector<std::uint32_t> meeting;
      for (const std::uint32_t node : grown.frontier) {
        const auto it = other.depth.find(node);
        if (it != other.depth.end() && it->second == other.level) meeting.push_back(node);
      }
      if (meeting.empty()) continue;
      join(row, forward, backward, meeting);
      if (results_.empty()) exhaustive(row, source, target, length + 2);
      return;
    }
  }

  // The shortest paths through each meeting node, until one is enough.
  void join(Row& row, const Side& forward, const Side& backward, const std::vector<std::uint32_t>& meeting) {
    std::vector<Hop> left, right;
    for (const std::uint32_t middle : meeting) {
      const bool go_on = chains(forward, middle, left, [&](const std::vector<Hop>& to_source) {
        return chains(backward, middle, right, [&](const std::vector<Hop>& to_target) {
          PathValue path;
          path.nodes.reserve(to_source.size() + to_target.size() + 1);
          for (auto it = to_source.rbegin(); it != to_source.rend(); ++it) {
            path.nodes.push_back(it->node);
            path.rels.push_back(it->rel);
          }
          path.nodes.push_back(middle);
          for (const Hop& h : to_target) {
            path.rels.push_back(h.rel);
            path.nodes.push_back(h.node);
          }
          return offer(row, std::move(path));
        });
      });
      if (!go_on) return;
    }
  }

  // Trails from `source` to `target` of `from_length` relationships and
  // more, one length at a time, until some pass the predicate (or no
  // trail is that long).
  void exhaustive(Row& row, std::uint32_t source, std::uint32_t target, std::int64_t from_length) {
    if (!op_.path_predicate) return;
    for (std::int64_t length = std::max<std::int64_t>(from_length, op_.min_hops);
         op_.max_hops < 0 || length <= op_.max_hops; ++length) {
      PathValue path{{source}, {}};
      bool reached = false;  // some trail is `length` long
      trails(row, target, length, path, reached);
      if (!results_.empty() || !reached) return;
    }
  }

  // Returns false once no more paths are wanted.
  bool trails(Row& row, std::uint32_t target, std::int64_t length, PathValue& path, bool& reached) {
    if (static_cast<std::int64_t>(path.rels.size()) == length) {
      reached = true;
      if (path.nodes.back() != target) return true;
      PathValue copy = path;
      return offer(row, std::move(copy));
    }
    std::vector<Hop> hops;
    hops_of(row, path.nodes.back(), false, hops);
    for (const Hop& h : hops) {
      if (std::find(path.rels.begin(), path.rels.end(), h.rel) != path.rels.end()) continue;
      path.rels.push_back(h.rel);
      path.nodes.push_back(h.node);
      const bool go_on = trails(row, target, length, path, reached);
      path.rels.pop_back();
      path.nodes.pop_back();
      if (!go_on) return false;
    }
    return true;
  }

  void write(Row& row, const PathValue& path) {
    if (op_.rel_list) {
      CypherList rels;
      rels.reserve(path.rels.size());
      for (const std::uint32_t r : path.rels) rels.emplace_back(RelRef{r});
      row[op_.rel_slot] = std::move(rels);
    } else {
      row[op_.rel_slot] = path.rels.empty() ? CypherValue() : CypherValue(RelRef{path.rels[0]});
    }
    if (op_.slot != kNoSlot) row[op_.slot] = path;
  }

  std::vector<PathValue> results_;
  HeldMemory memory_{context_};  // what results_ holds
  std::size_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_shortest_path(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<ShortestPath>(op, context);
}

}  // namespace orvane
