// Centrality: PageRank and degree centrality over FOLLOWS.
//
// Input: a compiled graph; arrays indexed by position; results reported as
// identities (score vectors are indexed by identity).
//
// PageRank (Page, Brin, Motwani and Winograd, "The PageRank Citation
// Ranking", 1999) in its plain power-iteration form: 12 iterations with
// damping 0.85 from the uniform vector 1/N, no convergence test. Each
// iteration starts every new rank at (1 − 0.85)/N and pushes 0.85·rank(u)/d
// along each of u's d outgoing relationships. Rank held by nodes without
// outgoing relationships (dangling nodes) is not redistributed, so the total
// may fall below 1; an isolated node ends at exactly its base share.
//
// Layout independence down to the last bit: floating-point addition is not
// associative, so the order in which contributions reach a node matters.
// Sources are therefore visited by ascending identity (position
// to_physical[i] for i = 0, 1, …), not by position: every node receives its
// contributions in the same order whatever the layout, and renumbering the
// graph cannot change a score, nor the order of a ranked list.
//
// Degree centrality is the FOLLOWS out-degree divided by N − 1 (by 1 when
// N < 2), so a node that follows every other node scores 1.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "analytics/algorithm_support.h"
#include "analytics/graph_algorithms.h"
#include "graph/database.h"

namespace orvane {

std::vector<double> pagerank_scores(const Database& db) {
  const PhysicalGraph& csr = db.graph;
  detail::require_compiled_for_algorithm(csr);
  const std::uint32_t n = detail::position_count(csr);
  if (n == 0) return {};
  const std::uint16_t type = db.follows_type;

  std::vector<double> rank(n, 1.0 / static_cast<double>(n));  // by position
  std::vector<double> next(n);                                 // by position
  const double base = (1.0 - kPageRankDamping) / static_cast<double>(n);
  for (int iteration = 0; iteration < kPageRankIterations; ++iteration) {
    std::fill(next.begin(), next.end(), base);
    for (std::uint32_t identity = 0; identity < n; ++identity) {
      const std::uint32_t u = csr.to_physical[identity];
      const NodeRun out = csr.typed_out_neighbors(u, type);
      if (out.empty()) continue;
      const double share = kPageRankDamping * rank[u] / static_cast<double>(out.size());
      for (const std::uint32_t v : out) next[v] += share;
    }
    rank.swap(next);
  }

  std::vector<double> by_identity(n);
  for (std::uint32_t identity = 0; identity < n; ++identity) by_identity[identity] = rank[csr.to_physical[identity]];
  return by_identity;
}

std::vector<RankedNode> pagerank_top(const Database& db) {
  return top_ranked(pagerank_scores(db), kRankedListLength);
}

std::vector<double> degree_scores(const Database& db) {
  const PhysicalGraph& csr = db.graph;
  detail::require_compiled_for_algorithm(csr);
  const std::uint32_t n = detail::position_count(csr);
  const double divisor = n < 2 ? 1.0 : static_cast<double>(n - 1);
  std::vector<double> by_identity(n);
  for (std::uint32_t identity = 0; identity < n; ++identity) {
    const std::size_t degree = csr.typed_out_neighbors(csr.to_physical[identity], db.follows_type).size();
    by_identity[identity] = static_cast<double>(degree) / divisor;
  }
  return by_identity;
}

std::vector<RankedNode> degree_top(const Database& db) {
  return top_ranked(degree_scores(db), kRankedListLength);
}

}  // namespace orvane
