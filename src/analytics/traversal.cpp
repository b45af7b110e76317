// Reach kernels: breadth-first search with global visited marks, the level
// walk with per-level marks, and the frontier expansion both are built on.
//
// Input: a compiled graph; arrays indexed by position; the hub given as an
// identity and converted with to_physical; results are counts of nodes, so
// they do not depend on the layout. Frontiers below 16384 entries are
// expanded on the calling thread (the thread pool costs more than it saves
// there); larger ones by an OpenMP loop (dynamic, chunks of 64) in which each
// thread collects into its own vector and claims a node by compare-and-swap
// of its mark byte, so every node is appended once. A team of one thread
// takes the calling-thread loop even for large frontiers: it appends in the
// same order, and plain marks cost far less than locked instructions.
// Frontier nodes are scattered over the positions, so both loops request a
// node's CSR offsets a few entries before they read its neighbours. A typed
// walk reads its type's own table, or finds each node's part of the combined
// run for a type without one.
//
// Per-level marks are cleared by walking the level that set them rather
// than by zeroing all N bytes, which gives the same fresh array per level at
// a cost proportional to the level.
#include "analytics/traversal.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "analytics/neighbor_runs.h"
#include "analytics/parallelism.h"
#include "graph/physical_graph.h"

namespace orvane {
namespace {

constexpr std::size_t kParallelFrontier = 16384;

// One level of a level walk: the distinct neighbours of `frontier`, using
// `marks` (all clear on entry and on return).
void next_level(const PhysicalGraph& csr, const std::vector<std::uint32_t>& frontier, std::uint16_t type,
                Direction direction, std::vector<std::uint8_t>& marks, std::vector<std::uint32_t>& next) {
  next.clear();
  for (const std::uint32_t v : frontier) {
    detail::for_each_neighbor(csr, v, type, direction, [&](std::uint32_t w) {
      if (!marks[w]) {
        marks[w] = 1;
        next.push_back(w);
      }
    });
  }
  for (const std::uint32_t w : next) marks[w] = 0;
}

// One side of a neighbour walk resolved to the arrays it reads in place:
// offsets by position (node_count + 1 entries) and the slots they index,
// from the combined CSR or a type's own table. A type without a table is
// read through the graph's typed readers instead (`graph` set, `offsets`
// null). Resolving once per expansion lets the loop read the arrays in place
// and ask for a node's offsets before it gets there.
struct Adjacency {
  const std::uint32_t* offsets = nullptr;
  const std::uint32_t* slots = nullptr;
  const PhysicalGraph* graph = nullptr;  // search path: typed readers of `type`
  std::uint16_t type = 0;
  bool outgoing = true;
  bool empty() const { return offsets == nullptr && graph == nullptr; }
};

Adjacency adjacency(const PhysicalGraph& csr, std::uint16_t type, bool outgoing) {
  Adjacency a;
  a.outgoing = outgoing;
  if (type == kAllTypes) {
    a.offsets = (outgoing ? csr.out_offsets : csr.in_offsets).data();
    a.slots = (outgoing ? csr.out_targets : csr.in_sources).data();
    return a;
  }
  if (type >= csr.rel_type_count) return a;
  const TypedRunIndex& index = outgoing ? csr.typed_out : csr.typed_in;
  if (const std::uint8_t k = index.table_of_type[type]; k != TypedRunIndex::kNoTable) {
    a.offsets = index.offsets[k].data();
    a.slots = index.neighbours[k].data();
  } else {
    a.graph = &csr;
    a.type = type;
  }
  return a;
}

// Frontier nodes sit at scattered positions, so reading each one's offsets
// is a cache miss; they are requested this many entries ahead.
constexpr std::size_t kPrefetchAhead = 16;

// The sides a walk reads, the empty ones dropped, outgoing first.
struct Sides {
  Adjacency side[2];
  int count = 0;
};

Sides walk_sides(const PhysicalGraph& csr, std::uint16_t type, Direction direction) {
  Sides sides;
  if (direction != Direction::Incoming) sides.side[sides.count] = adjacency(csr, type, true);
  if (!sides.side[sides.count].empty()) ++sides.count;
  if (direction != Direction::Outgoing) sides.side[sides.count] = adjacency(csr, type, false);
  if (!sides.side[sides.count].empty()) ++sides.count;
  return sides;
}

// Calls visit(w) for every neighbour of nodes[i] over the first `Count`
// sides in order, after requesting the offsets of nodes[i + kPrefetchAhead].
template <int Count, typename Visit>
inline void visit_neighbors(const Adjacency* sides, const std::uint32_t* nodes, std::size_t i, std::size_t size,
                            Visit&& visit) {
  if (i + kPrefetchAhead < size) {
    const std::uint32_t ahead = nodes[i + kPrefetchAhead];
    for (int s = 0; s < Count; ++s) {
      if (sides[s].offsets != nullptr) __builtin_prefetch(sides[s].offsets + ahead);
    }
  }
  const std::uint32_t v = nodes[i];
  for (int s = 0; s < Count; ++s) {
    const Adjacency& side = sides[s];
    if (side.offsets == nullptr) {
      const NodeRun run =
          side.outgoing ? side.graph->typed_out_neighbors(v, side.type) : side.graph->typed_in_neighbors(v, side.type);
      for (const std::uint32_t w : run) visit(w);
      continue;
    }
    for (std::uint32_t slot = side.offsets[v], end = side.offsets[v + 1]; slot < end; ++slot) visit(side.slots[slot]);
  }
}

// visit_neighbors for a walk of one or two sides (none: nothing to visit).
template <typename Visit>
inline void visit_neighbors(const Sides& sides, const std::uint32_t* nodes, std::size_t i, std::size_t size,
                            Visit&& visit) {
  if (sides.count == 1) {
    visit_neighbors<1>(sides.side, nodes, i, size, visit);
  } else if (sides.count == 2) {
    visit_neighbors<2>(sides.side, nodes, i, size, visit);
  }
}

}  // namespace

void require_compiled(const PhysicalGraph& csr) {
  if (!csr.compiled) throw std::logic_error("query requires compiled physical graph");
}

void expand_frontier(const PhysicalGraph& csr, const std::vector<std::uint32_t>& frontier,
                     std::uint16_t type, Direction direction, std::vector<std::uint8_t>& visited,
                     std::vector<std::uint32_t>& next) {
  require_compiled(csr);
  next.clear();
  const Sides sides = walk_sides(csr, type, direction);
  const std::uint32_t* nodes = frontier.data();
  const std::size_t size = frontier.size();
  const int threads = size < kParallelFrontier ? 1 : kernel_threads();
  if (threads == 1) {
    // Small frontiers, and a team of one, which would append in exactly
    // this order: plain marks, no compare-and-swap.
    next.reserve(size * 2);
    std::uint8_t* marks = visited.data();
    for (std::size_t i = 0; i < size; ++i) {
      visit_neighbors(sides, nodes, i, size, [&](std::uint32_t w) {
        if (!marks[w]) {
          marks[w] = 1;
          next.push_back(w);
        }
      });
    }
    return;
  }
  std::vector<std::vector<std::uint32_t>> local(threads);
  const auto count = static_cast<std::int64_t>(size);
#pragma omp parallel num_threads(threads)
  {
    // The thread's vector stays on its own stack while it grows: headers
    // side by side in `local` share a cache line, and every append would
    // bounce that line between the cores.
    std::vector<std::uint32_t> mine;
    mine.reserve(size * 2 / threads);
#pragma omp for schedule(dynamic, 64)
    for (std::int64_t i = 0; i < count; ++i) {
      visit_neighbors(sides, nodes, static_cast<std::size_t>(i), size, [&](std::uint32_t w) {
        std::atomic_ref<std::uint8_t> mark(visited[w]);
        std::uint8_t expected = 0;
        if (mark.load(std::memory_order_relaxed) == 0 &&
            mark.compare_exchange_strong(expected, 1, std::memory_order_relaxed)) {
          mine.push_back(w);
        }
      });
    }
    local[omp_get_thread_num()] = std::move(mine);
  }
  std::size_t total = 0;
  for (const auto& part : local) total += part.size();
  next.reserve(total);
  for (const auto& part : local) next.insert(next.end(), part.begin(), part.end());
}

std::uint64_t hop1_count(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  return csr.typed_out_neighbors(h, type).size();
}

std::uint64_t hop_reach(const PhysicalGraph& csr, std::uint32_t hub, int hops, std::uint16_t type) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode || hops < 0) return 0;
  std::vector<std::uint8_t> visited(csr.node_count, 0);
  std::vector<std::uint32_t> frontier{h}, next;
  visited[h] = 1;
  std::uint64_t reached = 1;
  for (int level = 0; level < hops && !frontier.empty(); ++level) {
    expand_frontier(csr, frontier, type, Direction::Outgoing, visited, next);
    if (next.empty()) break;
    reached += next.size();
    frontier.swap(next);
  }
  return reached;
}

std::uint64_t hop_range_targets(const PhysicalGraph& csr, std::uint32_t hub, int min_hop, int max_hop,
                                std::uint16_t tf, std::uint16_t ta) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  std::vector<std::uint8_t> selected(csr.node_count, 0), marks(csr.node_count, 0);
  std::vector<std::uint32_t> chosen;  // the selected positions, each once
  if (min_hop < 1) {
    selected[h] = 1;
    chosen.push_back(h);
  }
  std::vector<std::uint32_t> frontier{h}, next;
  for (int level = 1; level <= max_hop; ++level) {
    next_level(csr, frontier, tf, Direction::Outgoing, marks, next);
    if (level >= min_hop) {
      for (const std::uint32_t v : next) {
        if (!selected[v]) {
          selected[v] = 1;
          chosen.push_back(v);
        }
      }
    }
    if (next.empty()) break;
    frontier.swap(next);
  }
  std::uint64_t distinct = 0;
  for (const std::uint32_t v : chosen) {
    for (const std::uint32_t p : csr.typed_out_neighbors(v, ta)) {
      if (!marks[p]) {
        marks[p] = 1;
        ++distinct;
      }
    }
  }
  return distinct;
}

std::uint64_t varlength_distinct(const PhysicalGraph& csr, std::uint32_t hub, int min_hops, int max_hops,
                                 std::uint16_t type, Direction direction) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode || max_hops < std::max(min_hops, 0)) return 0;
  std::vector<std::uint32_t> frontier{h}, next;
  if (min_hops < 1) {
    std::vector<std::uint8_t> visited(csr.node_count, 0);
    visited[h] = 1;
    std::uint64_t reached = 1;
    for (int level = 0; level < max_hops && !frontier.empty(); ++level) {
      expand_frontier(csr, frontier, type, direction, visited, next);
      reached += next.size();
      frontier.swap(next);
    }
    return reached;
  }
  std::vector<std::uint8_t> ends(csr.node_count, 0), marks(csr.node_count, 0);
  std::uint64_t distinct = 0;
  for (int level = 1; level <= max_hops; ++level) {
    next_level(csr, frontier, type, direction, marks, next);
    if (level >= min_hops) {
      for (const std::uint32_t v : next) {
        if (!ends[v]) {
          ends[v] = 1;
          ++distinct;
        }
      }
    }
    if (next.empty()) break;
    frontier.swap(next);
  }
  return distinct;
}

}  // namespace orvane
