// Reach kernels: breadth-first search with global visited marks.
//
// Input: a compiled graph; arrays indexed by position; the hub given as an
// identity and converted with to_physical. Frontiers below 16384 entries are
// expanded on the calling thread (the thread pool costs more than it saves
// there); larger ones by an OpenMP loop (dynamic, chunks of 64) in which each
// thread collects into its own vector and claims a node by compare-and-swap
// of its mark byte, so every node is appended once.
#include "analytics/traversal.h"

#include <omp.h>

#include <atomic>
#include <stdexcept>

#include "graph/physical_graph.h"

namespace orvane {
namespace {

constexpr std::size_t kParallelFrontier = 16384;

template <typename Visit>
void for_each_neighbor(const PhysicalGraph& csr, std::uint32_t v, std::uint16_t type, Direction direction,
                       Visit&& visit) {
  const bool all = type == kAllTypes;
  if (direction != Direction::Incoming) {
    for (const std::uint32_t w : all ? csr.out_neighbors(v) : csr.typed_out_neighbors(v, type)) visit(w);
  }
  if (direction != Direction::Outgoing) {
    for (const std::uint32_t w : all ? csr.in_neighbors(v) : csr.typed_in_neighbors(v, type)) visit(w);
  }
}

}  // namespace

void require_compiled(const PhysicalGraph& csr) {
  if (!csr.compiled) throw std::logic_error("query requires compiled physical graph");
}

void expand_frontier(const PhysicalGraph& csr, const std::vector<std::uint32_t>& frontier,
                     std::uint16_t type, Direction direction, std::vector<std::uint8_t>& visited,
                     std::vector<std::uint32_t>& next) {
  next.clear();
  if (frontier.size() < kParallelFrontier) {
    next.reserve(frontier.size() * 2);
    for (const std::uint32_t v : frontier) {
      for_each_neighbor(csr, v, type, direction, [&](std::uint32_t w) {
        if (!visited[w]) {
          visited[w] = 1;
          next.push_back(w);
        }
      });
    }
    return;
  }
  const int threads = std::max(1, omp_get_num_procs());
  std::vector<std::vector<std::uint32_t>> local(threads);
  const auto count = static_cast<std::int64_t>(frontier.size());
#pragma omp parallel num_threads(threads)
  {
    std::vector<std::uint32_t>& mine = local[omp_get_thread_num()];
#pragma omp for schedule(dynamic, 64)
    for (std::int64_t i = 0; i < count; ++i) {
      for_each_neighbor(csr, frontier[i], type, direction, [&](std::uint32_t w) {
        std::atomic_ref<std::uint8_t> mark(visited[w]);
        std::uint8_t expected = 0;
        if (mark.load(std::memory_order_relaxed) == 0 &&
            mark.compare_exchange_strong(expected, 1, std::memory_order_relaxed)) {
          mine.push_back(w);
        }
      });
    }
  }
  std::size_t total = 0;
  for (const auto& part : local) total += part.size();
  next.reserve(total);
  for (const auto& part : local) next.insert(next.end(), part.begin(), part.end());
}

std::uint64_t hop_reach(const PhysicalGraph& csr, std::uint32_t hub, int hops, std::uint16_t type) {
  require_compiled(csr);
  if (hub >= csr.node_count || hops < 0) return 0;
  std::vector<std::uint8_t> visited(csr.node_count, 0);
  std::vector<std::uint32_t> frontier{csr.to_physical[hub]}, next;
  visited[frontier[0]] = 1;
  std::uint64_t reached = 1;
  for (int level = 0; level < hops && !frontier.empty(); ++level) {
    expand_frontier(csr, frontier, type, Direction::Outgoing, visited, next);
    if (next.empty()) break;
    reached += next.size();
    frontier.swap(next);
  }
  return reached;
}

}  // namespace orvane
