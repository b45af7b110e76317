// Community detection by synchronous label propagation over FOLLOWS.
//
// Input: a compiled graph; arrays indexed by position; labels are
// identities; the result is a count, which does not depend on the layout.
//
// Label propagation (Raghavan, Albert and Kumara, "Near linear time
// algorithm to detect community structures in large-scale networks", 2007)
// in its synchronous form with a fixed 8 passes and deterministic ties.
// Every node starts with its own label. In each pass every node u counts the
// labels of its outgoing and incoming FOLLOWS neighbours, one vote per list
// entry (a reciprocal pair gives two votes, a self-loop gives u two votes
// for its own label), and takes the label with the most votes, the smaller
// label on equal votes; a node without neighbours keeps its label. All nodes
// read the labels of the previous pass. The answer is the number of distinct
// labels after the last pass. Both "labelpropagation" and "louvain" report
// this count.
//
// Labels are identities rather than positions: the tie rule "smaller label
// wins" would otherwise let a renumbering of the graph change the
// communities found. With identities every pass is a function of the graph
// alone, and the count is the same under any layout.
//
// Synchronous updates can oscillate (two nodes that follow each other swap
// labels every pass); the fixed pass count bounds the work regardless.
// Votes are tallied in a dense array indexed by label plus the list of
// labels touched, reset after each node: O(N) extra memory and no hashing.
#include <cstdint>
#include <vector>

#include "analytics/algorithm_support.h"
#include "analytics/graph_algorithms.h"
#include "graph/database.h"

namespace orvane {

std::uint64_t label_propagation_communities(const Database& db) {
  const PhysicalGraph& csr = db.graph;
  detail::require_compiled_for_algorithm(csr);
  const std::uint32_t n = detail::position_count(csr);
  const std::uint16_t type = db.follows_type;

  std::vector<std::uint32_t> label(csr.to_logical.begin(), csr.to_logical.begin() + n);  // by position
  std::vector<std::uint32_t> next(n);   // by position: the labels being written this pass
  std::vector<std::uint64_t> votes(n);  // by label: votes for it at the current node
  std::vector<std::uint32_t> touched;   // labels with a vote at the current node
  for (int pass = 0; pass < kLabelPropagationPasses; ++pass) {
    next = label;
    for (std::uint32_t u = 0; u < n; ++u) {
      touched.clear();
      auto vote = [&](std::uint32_t v) {
        const std::uint32_t l = label[v];
        if (votes[l]++ == 0) touched.push_back(l);
      };
      for (const std::uint32_t v : csr.typed_out_neighbors(u, type)) vote(v);
      for (const std::uint32_t v : csr.typed_in_neighbors(u, type)) vote(v);
      if (touched.empty()) continue;
      std::uint32_t best = touched.front();
      for (const std::uint32_t l : touched) {
        if (votes[l] > votes[best] || (votes[l] == votes[best] && l < best)) best = l;
      }
      next[u] = best;
      for (const std::uint32_t l : touched) votes[l] = 0;
    }
    label.swap(next);
  }

  std::vector<std::uint8_t> seen(n);  // by label
  std::uint64_t distinct = 0;
  for (const std::uint32_t l : label) {
    if (seen[l] == 0) {
      seen[l] = 1;
      ++distinct;
    }
  }
  return distinct;
}

}  // namespace orvane
