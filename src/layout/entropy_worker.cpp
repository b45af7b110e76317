// Hub-rooted Cuthill–McKee ordering, seeded scatter and the mess levels.
//
// Cuthill–McKee (E. Cuthill, J. McKee, "Reducing the bandwidth of sparse
// symmetric matrices", 1969) numbers a graph breadth-first, visiting each
// node's neighbours by increasing degree. We root every component at its
// highest out-degree node instead of a peripheral one, because our
// traversals start at hubs, and we do not reverse the order, so the hub gets
// position 0.
//
// Encoding tricks: the result vector doubles as the FIFO queue (a node is
// appended to the result exactly when it is popped, in push order, so the
// pushed sequence is the result); neighbours and root candidates are sorted
// as packed 64-bit keys (degree << 32 | position), which gives "by degree,
// then by position" in one integer sort and drops duplicates with unique.
#include "layout/entropy_worker.h"

#include <algorithm>
#include <string>

#include "graph/database.h"
#include "graph/physical_graph.h"

namespace orvane {

std::vector<std::uint32_t> hub_cuthill_mckee_order(const PhysicalGraph& csr) {
  const std::uint64_t n = csr.node_count;
  std::vector<std::uint32_t> order;
  if (n == 0) return order;
  order.reserve(n);
  std::vector<std::uint8_t> visited(n, 0);

  // Root candidates by out-degree descending, then ascending position.
  std::vector<std::uint64_t> candidates(n);
  for (std::uint64_t v = 0; v < n; ++v) {
    const std::uint64_t inverted = 0xFFFFFFFFull - csr.out_degree[v];
    candidates[v] = (inverted << 32) | v;
  }
  std::sort(candidates.begin(), candidates.end());

  std::vector<std::uint64_t> neighbours;
  for (const std::uint64_t key : candidates) {
    const auto root = static_cast<std::uint32_t>(key);
    if (visited[root]) continue;
    visited[root] = 1;
    std::size_t head = order.size();
    order.push_back(root);
    while (head < order.size()) {
      const std::uint32_t u = order[head++];
      neighbours.clear();
      for (const std::uint32_t w : csr.out_neighbors(u)) {
        if (!visited[w]) neighbours.push_back((static_cast<std::uint64_t>(csr.out_degree[w]) << 32) | w);
      }
      for (const std::uint32_t w : csr.in_neighbors(u)) {
        if (!visited[w]) neighbours.push_back((static_cast<std::uint64_t>(csr.out_degree[w]) << 32) | w);
      }
      std::sort(neighbours.begin(), neighbours.end());
      for (std::size_t i = 0; i < neighbours.size(); ++i) {
        if (i > 0 && neighbours[i] == neighbours[i - 1]) continue;
        const auto w = static_cast<std::uint32_t>(neighbours[i]);
        visited[w] = 1;
        order.push_back(w);
      }
    }
  }
  return order;
}

void optimize_layout(PhysicalGraph& csr) {
  if (!csr.compiled) csr.compile();
  csr.apply_permutation(hub_cuthill_mckee_order(csr));
}

void optimize_layout(Database& db) { optimize_layout(db.graph); }

void scatter_layout(PhysicalGraph& csr, std::uint32_t seed) {
  if (!csr.compiled) csr.compile();
  const std::uint64_t n = csr.node_count;
  std::vector<std::uint32_t> order(n);
  for (std::uint64_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
  std::uint64_t state = seed == 0 ? 1 : seed;
  for (std::uint64_t k = n; k >= 2; --k) {
    state = state * 6364136223846793005ull + 1;
    const std::uint64_t j = (state >> 32) % k;
    std::swap(order[k - 1], order[j]);
  }
  csr.apply_permutation(order);
}

void apply_mess(Database& db, std::int32_t level, std::uint32_t seed) {
  if (level < 1) return;
  PhysicalGraph& g = db.graph;
  if (!g.compiled) g.compile();
  scatter_layout(g, seed ^ 0x9e3779b9u);
  if (level < 2) return;

  // Level 2 once added copies of existing relationships, which compile
  // merged away; relationships are never merged now, and a copy would be a
  // parallel relationship that changes answers, so the level recompiles and
  // scatters again without adding any.
  g.compile();
  scatter_layout(g, seed ^ 0x85ebca6bu);
  if (level < 3) return;

  for (int i = 0; i < 128; ++i) db.add_person("junk-" + std::to_string(i), 0);
  g.compile();
  scatter_layout(g, seed ^ 0xc2b2ae35u);
}

}  // namespace orvane
