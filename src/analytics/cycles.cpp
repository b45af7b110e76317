// Cycles through the hub: closed paths hub → … → hub over one type.
//
// Input: a compiled graph; arrays indexed by position; the hub given as an
// identity; results are counts, which do not depend on the layout.
//
// Lengths 2 and 3 count closed walks (a triangle query over a graph without
// self-loops cannot repeat a relationship, so the walks are the paths).
// Length 4 counts relationship-unique closed paths with the endpoint tests
// explained in paths.cpp, the last step being z → hub; it is the one
// explosive case on scale-free graphs, so it runs as an OpenMP loop over the
// hub's list (dynamic, chunks of 4: a hub's neighbours differ wildly in
// degree), each thread summing locally and adding once, atomically. Longer
// lengths propagate walk counts and close them over the hub's incoming list.
#include <atomic>
#include <cstdint>
#include <vector>

#include "analytics/neighbor_runs.h"
#include "analytics/parallelism.h"
#include "analytics/traversal.h"
#include "graph/physical_graph.h"

namespace orvane {
namespace {

std::uint64_t closed4(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t t) {
  const NodeRun first = csr.typed_out_neighbors(hub, t);
  const auto count = static_cast<std::int64_t>(first.size());
  std::uint64_t total = 0;
  const int threads = kernel_threads();
#pragma omp parallel num_threads(threads)
  {
    std::uint64_t mine = 0;
#pragma omp for schedule(dynamic, 4) nowait
    for (std::int64_t i = 0; i < count; ++i) {
      const std::uint32_t x = first[i];
      for (const std::uint32_t y : csr.typed_out_neighbors(x, t)) {
        if (x == y && y == hub) continue;
        for (const std::uint32_t z : csr.typed_out_neighbors(y, t)) {
          if ((z == x && y == hub) || (x == y && y == z)) continue;
          if (z == hub && (y == z || x == hub)) continue;
          if (csr.has_edge(z, hub, t)) ++mine;
        }
      }
    }
    std::atomic_ref<std::uint64_t>(total).fetch_add(mine, std::memory_order_relaxed);
  }
  return total;
}

}  // namespace

std::uint64_t cycles_from_hub(const PhysicalGraph& csr, std::uint32_t hub, int length, std::uint16_t type) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode || length < 2) return 0;
  std::uint64_t total = 0;
  if (length == 2) {
    for (const std::uint32_t x : csr.typed_out_neighbors(h, type)) total += csr.has_edge(x, h, type) ? 1 : 0;
    return total;
  }
  if (length == 3) {
    for (const std::uint32_t x : csr.typed_out_neighbors(h, type)) {
      for (const std::uint32_t y : csr.typed_out_neighbors(x, type)) total += csr.has_edge(y, h, type) ? 1 : 0;
    }
    return total;
  }
  if (length == 4) return closed4(csr, h, type);
  const std::vector<std::uint64_t> counts = detail::walk_counts(csr, h, length - 1, type, Direction::Outgoing);
  for (const std::uint32_t y : csr.typed_in_neighbors(h, type)) total += counts[y];
  return total;
}

}  // namespace orvane
