// Weakly connected components over FOLLOWS.
//
// Input: a compiled graph; arrays indexed by position; the result is a
// count, which does not depend on the layout.
//
// Union-find (disjoint-set forest; Tarjan, "Efficiency of a Good But Not
// Linear Set Union Algorithm", 1975) over positions: parent(i) = i, then
// for every position u in ascending order and every outgoing, then every
// incoming FOLLOWS neighbour v, the two roots are found with path
// compression and v's root is attached under u's root when they differ. The
// answer is the number of positions that are their own root, so a node
// without FOLLOWS relationships (every Paper, for one) is a component of its
// own. Reading both lists makes each relationship seen twice; the second
// visit finds equal roots and costs only two finds.
//
// Path compression here is path halving (every node on the way points to
// its grandparent), which needs no recursion: a recursive find could
// overflow the stack on the long parent chains that a path-shaped graph
// builds before compression.
#include <cstdint>
#include <vector>

#include "analytics/algorithm_support.h"
#include "analytics/graph_algorithms.h"
#include "graph/database.h"

namespace orvane {
namespace {

std::uint32_t find_root(std::vector<std::uint32_t>& parent, std::uint32_t x) {
  while (parent[x] != x) {
    parent[x] = parent[parent[x]];
    x = parent[x];
  }
  return x;
}

}  // namespace

std::uint64_t wcc_count(const Database& db) {
  const PhysicalGraph& csr = db.graph;
  detail::require_compiled_for_algorithm(csr);
  const std::uint32_t n = detail::position_count(csr);
  const std::uint16_t type = db.follows_type;

  std::vector<std::uint32_t> parent(n);  // by position: a position of the same component
  for (std::uint32_t i = 0; i < n; ++i) parent[i] = i;
  auto join = [&parent](std::uint32_t u, std::uint32_t v) {
    const std::uint32_t ru = find_root(parent, u);
    const std::uint32_t rv = find_root(parent, v);
    if (ru != rv) parent[rv] = ru;
  };
  for (std::uint32_t u = 0; u < n; ++u) {
    for (const std::uint32_t v : csr.typed_out_neighbors(u, type)) join(u, v);
    for (const std::uint32_t v : csr.typed_in_neighbors(u, type)) join(u, v);
  }

  std::uint64_t roots = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (find_root(parent, i) == i) ++roots;
  }
  return roots;
}

}  // namespace orvane
