// LevelCount: count(*) of a chain of fixed-length relationships from a start
// anchored by {id: N} — (s)-[:A]->()-[:B]->(x), (s)-[:T*3]->(x), or a cycle
// back to s when the last node repeats s's variable — with filters on any
// node and at most three hops in all; no WHERE, no other repeated variable.
//
// The paths of the first L − 1 hops are listed as an expansion lists
// them (relationship-unique, filters applied); for each, the last hop is
// counted rather than walked: the steps from its end y that land on a node
// of the last filter (or on s, for a cycle), read from run sizes, from a
// memo per node when the last node has filters, or from has_edge for a
// cycle; less each relationship already on the path that is such a step.
// That correction is exact because a step is one relationship and the path
// holds each relationship at most once. From one start the listed prefixes
// read each relationship a bounded number of times for L ≤ 3 (a node is
// entered once per relationship joining it to the start), so the work is
// bounded by the graph's size; longer chains are left to the plan's own
// expansion.
#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/count_methods.h"

namespace orvane {
namespace {

constexpr int kMaxLevelHops = 3;

struct Hop {
  std::uint16_t type;
  CountDirection direction;
};

struct Rel {
  std::uint32_t source, target;
  std::uint16_t type;
};

class LevelCounter {
 public:
  explicit LevelCounter(const CountShape& shape)
      : db_(*shape.db), g_(shape.db->graph), context_(*shape.context), held_(*shape.context) {
    const CountedPattern& q = *shape.pattern;
    filters_.push_back(&shape.nodes[0]);
    for (std::size_t i = 0; i < q.relationships.size(); ++i) {
      for (int h = 0; h < q.relationships[i].min_hops; ++h) {
        hops_.push_back({shape.types[i], q.relationships[i].direction});
        filters_.push_back(h + 1 == q.relationships[i].min_hops ? &shape.nodes[i + 1] : nullptr);
      }
    }
    closing_ = !q.nodes.back().variable.empty() && q.nodes.back().variable == q.nodes.front().variable;
    if (filters_.back()->empty()) filters_.back() = nullptr;
  }

  std::uint64_t count(std::uint32_t start_identity) {
    if (!node_passes(db_, *filters_[0], start_identity)) return 0;
    if (closing_ && filters_.back() != nullptr && !node_passes(db_, *filters_.back(), start_identity)) return 0;
    start_ = g_.to_physical[start_identity];
    if (!closing_ && filters_.back() != nullptr) {
      held_.add(g_.node_count * sizeof(std::uint32_t));
      memo_.assign(g_.node_count, kUnknown);
    }
    prefix(0, start_);
    return total_;
  }

 private:
  static constexpr std::uint32_t kUnknown = 0xFFFFFFFFu;

  bool used(std::uint32_t source, std::uint32_t target, std::uint16_t type) const {
    for (const Rel& r : path_) {
      if (r.source == source && r.target == target && r.type == type) return true;
    }
    return false;
  }

  bool lands_ok(std::uint32_t w) const {
    if (closing_) return w == start_;
    return filters_.back() == nullptr || node_passes(db_, *filters_.back(), g_.to_logical[w]);
  }

  void prefix(std::size_t j, std::uint32_t cur) {
    context_.tick();
    if (j + 1 == hops_.size()) {
      total_ = checked_add(total_, last_hop(cur));
      return;
    }
    const Hop hop = hops_[j];
    const NodeFilter* filter = filters_[j + 1];
    for_each_step(g_, cur, hop.type, hop.direction, [&](std::uint32_t w, std::uint32_t source, std::uint32_t target) {
      if (used(source, target, hop.type)) return;
      if (filter != nullptr && !node_passes(db_, *filter, g_.to_logical[w])) return;
      path_.push_back({source, target, hop.type});
      prefix(j + 1, w);
      path_.pop_back();
    });
  }

  // Steps of the last hop from y to an admissible end, before the correction.
  std::uint64_t candidates(std::uint32_t y, const Hop& hop) {
    if (closing_) {
      std::uint64_t n = 0;
      if (hop.direction != CountDirection::In && g_.has_edge(y, start_, hop.type)) ++n;
      if (hop.direction != CountDirection::Out && g_.has_edge(start_, y, hop.type) &&
          !(hop.direction == CountDirection::Both && y == start_)) {
        ++n;
      }
      return n;
    }
    if (filters_.back() == nullptr) return step_count(g_, y, hop.type, hop.direction);
    if (memo_[y] == kUnknown) {
      context_.tick();
      std::uint32_t n = 0;
      for_each_step(g_, y, hop.type, hop.direction, [&](std::uint32_t w, std::uint32_t, std::uint32_t) {
        if (lands_ok(w)) ++n;
      });
      memo_[y] = n;
    }
    return memo_[y];
  }

  std::uint64_t last_hop(std::uint32_t y) {
    const Hop hop = hops_.back();
    std::uint64_t n = candidates(y, hop);
    for (const Rel& r : path_) {
      if (r.type != hop.type) continue;
      std::uint32_t w = kNoNode;
      if (hop.direction != CountDirection::In && r.source == y) {
        w = r.target;
      } else if (hop.direction != CountDirection::Out && r.target == y) {
        w = r.source;
      }
      if (w != kNoNode && lands_ok(w)) --n;
    }
    return n;
  }

  const Database& db_;
  const PhysicalGraph& g_;
  std::vector<Hop> hops_;
  std::vector<const NodeFilter*> filters_;  // by hop boundary 0 … L; null where nothing is tested
  bool closing_ = false;
  std::uint32_t start_ = kNoNode;
  std::vector<Rel> path_;
  std::vector<std::uint32_t> memo_;  // by position: last-hop steps to an admissible end
  std::uint64_t total_ = 0;
  ExecContext& context_;
  HeldMemory held_;  // the memo's bytes
};

}  // namespace

bool level_count_fits(const CountShape& shape) {
  const CountedPattern& q = *shape.pattern;
  if (q.distinct) return false;
  if (!anchored_identity(*shape.db, q.nodes[0])) return false;
  int hops = 0;
  for (const CountHop& r : q.relationships) {
    if (r.min_hops != r.max_hops || r.min_hops < 1) return false;
    hops += r.min_hops;
  }
  if (hops > kMaxLevelHops) return false;
  const std::size_t last = q.nodes.size() - 1;
  for (std::size_t k = 1; k < q.nodes.size(); ++k) {
    const std::string& v = q.nodes[k].variable;
    if (v.empty()) continue;
    const std::size_t first = first_position(q, v);
    if (first != k && !(k == last && first == 0)) return false;
  }
  return true;
}

std::uint64_t level_count(const CountShape& shape) {
  const std::uint64_t anchor = *anchored_identity(*shape.db, shape.pattern->nodes[0]);
  if (anchor >= shape.db->graph.node_count) return 0;
  LevelCounter counter(shape);
  return counter.count(static_cast<std::uint32_t>(anchor));
}

}  // namespace orvane
