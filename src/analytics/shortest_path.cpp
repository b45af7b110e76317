// Unweighted shortest path over outgoing FOLLOWS relationships.
//
// Input: a compiled graph; arrays indexed by position; source, target and
// the path are identities.
//
// Breadth-first search (Moore, "The shortest path through a maze", 1959)
// from the source, recording each node's parent at its first discovery. The
// first discovery of the target fixes its parent, and with it the whole
// path, so the search stops there; following the parents back and reversing
// gives the path from source to target.
//
// Neighbours are taken by ascending identity rather than in list order (by
// position). The queue order then depends on identities alone, so among
// several equally short paths the same one comes out whatever the layout:
// the one whose nodes, compared step by step from the source, were reached
// first. Each dequeued node's list is copied and sorted once: O(d log d)
// per node on top of the linear search.
//
// An identity not below N (the console passes any number a user typed)
// gives the empty path before any array is read.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "analytics/algorithm_support.h"
#include "analytics/graph_algorithms.h"
#include "graph/database.h"

namespace orvane {

std::vector<std::uint32_t> shortest_path(const Database& db, std::uint64_t source, std::uint64_t target) {
  const PhysicalGraph& csr = db.graph;
  detail::require_compiled_for_algorithm(csr);
  const std::uint32_t n = detail::position_count(csr);
  if (source >= n || target >= n) return {};
  const auto source_id = static_cast<std::uint32_t>(source);
  const auto target_id = static_cast<std::uint32_t>(target);
  if (source_id == target_id) return {source_id};
  const std::uint16_t type = db.follows_type;
  const std::uint32_t from = csr.to_physical[source_id];
  const std::uint32_t to = csr.to_physical[target_id];

  std::vector<std::uint32_t> parent(n, kNoNode);  // by position: position it was discovered from
  parent[from] = from;
  std::vector<std::uint32_t> queue{from};  // positions in discovery order
  std::vector<std::uint32_t> neighbours;   // the current node's list, by ascending identity
  bool reached = false;
  for (std::size_t head = 0; head < queue.size() && !reached; ++head) {
    const std::uint32_t u = queue[head];
    const NodeRun out = csr.typed_out_neighbors(u, type);
    neighbours.assign(out.begin(), out.end());
    std::sort(neighbours.begin(), neighbours.end(),
              [&csr](std::uint32_t a, std::uint32_t b) { return csr.to_logical[a] < csr.to_logical[b]; });
    for (const std::uint32_t v : neighbours) {
      if (parent[v] != kNoNode) continue;
      parent[v] = u;
      if (v == to) {
        reached = true;
        break;
      }
      queue.push_back(v);
    }
  }
  if (!reached) return {};

  std::vector<std::uint32_t> path;
  for (std::uint32_t v = to; v != from; v = parent[v]) path.push_back(csr.to_logical[v]);
  path.push_back(source_id);
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace orvane
