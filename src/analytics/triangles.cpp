// Triangle counting over FOLLOWS.
//
// Input: a compiled graph; arrays indexed by position; the result is a
// count, which does not depend on the layout.
//
// The node-iterator method (Schank and Wagner, "Finding, Counting and
// Listing all Triangles in Large Graphs", 2005), restricted to outgoing
// lists: for every node u and every pair v, w of u's outgoing neighbours
// whose identities are both above u's, count 1 when v → w or w → v exists
// (has_edge, a binary search over the sorted per-type run). A triangle is
// thus counted once, from its node of lowest identity, when that node
// follows both others. Self-loops never count: u itself is not above u.
//
// "Lowest" is by identity, not position, on purpose: which node of a
// directed triangle is lowest decides whether it counts, and positions
// change whenever the entropy worker renumbers the graph, while identities
// never do. On graphs whose relationships come in reciprocal pairs both
// choices give the number of undirected triangles.
//
// Cost: Σ over u of d⁺(u)² / 2 pair tests, each O(log d). The candidates of
// u are gathered once into a scratch vector reused for every node.
#include <cstdint>
#include <vector>

#include "analytics/algorithm_support.h"
#include "analytics/graph_algorithms.h"
#include "graph/database.h"

namespace orvane {

std::uint64_t undirected_triangles(const Database& db) {
  const PhysicalGraph& csr = db.graph;
  detail::require_compiled_for_algorithm(csr);
  const std::uint32_t n = detail::position_count(csr);
  const std::uint16_t type = db.follows_type;

  std::uint64_t triangles = 0;
  std::vector<std::uint32_t> above;  // positions of u's out-neighbours with a higher identity
  for (std::uint32_t u = 0; u < n; ++u) {
    const std::uint32_t u_identity = csr.to_logical[u];
    above.clear();
    for (const std::uint32_t v : csr.typed_out_neighbors(u, type)) {
      if (csr.to_logical[v] > u_identity) above.push_back(v);
    }
    for (std::size_t i = 0; i < above.size(); ++i) {
      for (std::size_t j = i + 1; j < above.size(); ++j) {
        if (csr.has_edge(above[i], above[j], type) || csr.has_edge(above[j], above[i], type)) ++triangles;
      }
    }
  }
  return triangles;
}

}  // namespace orvane
