// BreadthFirstReach: count(DISTINCT x) of (s)-[:T*m..k]-(x) with m 0 or 1,
// x a variable of its own, no WHERE; filters on s choose the start set S,
// filters on x are applied to the reached set.
//
// Why breadth-first distance is exact: a shortest walk from s to y ≠ s
// repeats no node, hence no relationship, so y ends a relationship-unique
// path of length 1 … k exactly when its distance from S is at most k. With
// m = 0 every start counts too (the zero-length path). With m = 1 a start
// y counts only when some path of length 1 … k from a start ends at y:
// - Out or In: a shortest closed walk through y, or a shortest walk from
//   another start, repeats no relationship (a repeated node could be cut
//   out), so a level walk from S that marks nothing in advance finds it;
// - Both: a relationship walked there and back is a closed walk but not a
//   path, so the start (the shape then requires exactly one, anchored by
//   {id: N}) counts when it lies on a cycle of length ≤ k: a self-loop, or
//   a relationship (u, w) outside the breadth-first tree joining two
//   different branches of the root (the subtrees of its children) with
//   d(u) + d(w) + 1 ≤ k. Such a relationship closes a cycle of that length
//   (the tree paths share only the root); conversely, walking the shortest
//   cycle from the root, the branch changes somewhere on it (or its first
//   or last relationship is itself outside the tree), at a relationship
//   whose end distances sum to at most its length less one.
// Each node is expanded at most twice and each relationship read a bounded
// number of times.
#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/count_methods.h"

namespace orvane {
namespace {

constexpr std::uint32_t kRoot = 0xFFFFFFFEu;  // branch of the start itself

// The start set: the anchored identity, the members of the start's label or
// every node, each passing the start's filters; as positions.
std::vector<std::uint32_t> start_positions(const CountShape& shape, HeldMemory& held) {
  ExecContext& context = *shape.context;
  const Database& db = *shape.db;
  const PhysicalGraph& g = db.graph;
  const NodeFilter& filter = shape.nodes[0];
  std::vector<std::uint32_t> starts;
  const auto consider = [&](std::uint32_t identity) {
    context.tick();
    if (!node_passes(db, filter, identity)) return;
    held.add(sizeof(std::uint32_t));
    starts.push_back(g.to_physical[identity]);
  };
  if (const auto anchor = anchored_identity(db, shape.pattern->nodes[0])) {
    if (*anchor < g.node_count) consider(static_cast<std::uint32_t>(*anchor));
  } else if (filter.has_label) {
    for (const std::uint32_t identity : g.nodes_with_label(filter.label)) consider(identity);
  } else {
    for (std::uint64_t identity = 0; identity < g.node_count; ++identity) consider(static_cast<std::uint32_t>(identity));
  }
  return starts;
}

// True when the single start s lies on a relationship-unique closed path of
// length 1 … k over `type` in both directions (see the note at the top).
bool on_short_cycle(const PhysicalGraph& g, std::uint32_t s, std::uint16_t type, int k, ExecContext& context) {
  HeldMemory held(context);
  if (g.has_edge(s, s, type)) return true;
  if (k < 2) return false;
  struct Seen {
    std::uint8_t distance;
    std::uint32_t branch;              // the child of s this node descends from
    std::uint32_t parent_source;       // the tree relationship that reached it
    std::uint32_t parent_target;
  };
  held.add(g.node_count * (1 + sizeof(Seen) + sizeof(std::uint32_t)));
  std::vector<std::uint8_t> visited(g.node_count, 0);
  std::vector<Seen> seen(g.node_count);
  std::vector<std::uint32_t> order{s};
  visited[s] = 1;
  seen[s] = {0, kRoot, kNoNode, kNoNode};
  // Cycles of length ≤ k need tree distances up to k - 1.
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::uint32_t u = order[i];
    context.tick();
    if (seen[u].distance + 1 > k - 1) continue;
    for_each_step(g, u, type, CountDirection::Both, [&](std::uint32_t w, std::uint32_t source, std::uint32_t target) {
      if (visited[w]) return;
      visited[w] = 1;
      seen[w] = {static_cast<std::uint8_t>(seen[u].distance + 1), u == s ? w : seen[u].branch, source, target};
      order.push_back(w);
    });
  }
  for (const std::uint32_t u : order) {
    context.tick();
    bool found = false;
    for_each_step(g, u, type, CountDirection::Both, [&](std::uint32_t w, std::uint32_t source, std::uint32_t target) {
      if (found || !visited[w] || w == u || seen[u].branch == seen[w].branch) return;
      if (seen[u].distance + seen[w].distance + 1 > k) return;
      const auto is_tree = [&](const Seen& n) { return n.parent_source == source && n.parent_target == target; };
      if (is_tree(seen[u]) || is_tree(seen[w])) return;
      found = true;
    });
    if (found) return true;
  }
  return false;
}

}  // namespace

bool breadth_reach_fits(const CountShape& shape) {
  const CountedPattern& q = *shape.pattern;
  if (!q.distinct || q.count_star || q.relationships.size() != 1) return false;
  const CountHop& r = q.relationships[0];
  if (r.min_hops > 1) return false;
  // x must be the end node and a variable of its own.
  if (q.nodes[1].variable != q.count_variable || q.nodes[0].variable == q.count_variable) return false;
  if (r.min_hops == 1 && r.direction == CountDirection::Both) {
    const auto anchor = anchored_identity(*shape.db, q.nodes[0]);
    return anchor.has_value();
  }
  return true;
}

std::uint64_t breadth_first_reach(const CountShape& shape) {
  const Database& db = *shape.db;
  const PhysicalGraph& g = db.graph;
  const CountHop& r = shape.pattern->relationships[0];
  const std::uint16_t type = shape.types[0];
  ExecContext& context = *shape.context;
  HeldMemory held(context);
  const std::vector<std::uint32_t> starts = start_positions(shape, held);
  if (starts.empty()) return 0;

  // A node is marked once and kept once among the reached, the frontier
  // or the next level.
  held.add(g.node_count * (1 + 2 * sizeof(std::uint32_t)));
  std::vector<std::uint8_t> marked(g.node_count, 0);
  std::vector<std::uint32_t> reached;  // every marked position, in marking order
  // With m = 0, or under Both, the starts are marked before the walk: either
  // they count anyway, or (Both) the single start is decided by its cycles.
  const bool premark = r.min_hops == 0 || r.direction == CountDirection::Both;
  if (premark) {
    for (const std::uint32_t s : starts) {
      if (!marked[s]) {
        marked[s] = 1;
        reached.push_back(s);
      }
    }
  }
  std::vector<std::uint32_t> frontier = starts;
  std::vector<std::uint32_t> next;
  for (int level = 1; level <= r.max_hops && !frontier.empty(); ++level) {
    next.clear();
    for (const std::uint32_t v : frontier) {
      context.tick();
      for_each_step(g, v, type, r.direction, [&](std::uint32_t w, std::uint32_t, std::uint32_t) {
        if (marked[w]) return;
        marked[w] = 1;
        next.push_back(w);
      });
    }
    reached.insert(reached.end(), next.begin(), next.end());
    frontier.swap(next);
  }

  const NodeFilter& end = shape.nodes[1];
  std::uint64_t count = 0;
  for (const std::uint32_t v : reached) {
    context.tick();
    if (node_passes(db, end, g.to_logical[v])) ++count;
  }
  if (r.min_hops == 1 && r.direction == CountDirection::Both) {
    // The single start was counted as premarked; keep it only on a cycle.
    const std::uint32_t s = starts.front();
    if (node_passes(db, end, g.to_logical[s]) && !on_short_cycle(g, s, type, r.max_hops, context)) --count;
  }
  return count;
}

}  // namespace orvane
