// Path kernels: walks of length 2, relationship-unique paths of length 3
// and 4, and level-by-level walk counts for every other length.
//
// Input: a compiled graph; arrays indexed by position; the hub given as an
// identity; results are path counts, which do not depend on the layout.
//
// Relationship uniqueness without a set: the compiled graph holds each
// (source, target, type) once, so two steps of one type are the same
// relationship exactly when their endpoints are equal. With e1 = hub→x,
// e2 = x→y, e3 = y→z, e4 = z→w the tests below compare endpoints only:
// e2 = e1 iff hub = x = y; e3 = e1 iff y = hub and z = x; e3 = e2 iff
// x = y = z; e4 = e1 iff z = hub and w = x; e4 = e2 iff z = x and w = y;
// e4 = e3 iff y = z = w.
//
// Walk counts (Cypher-free "how many walks of length L") follow the idea of
// multiplying the adjacency matrix into a vector L times, restricted to the
// nodes each level reaches; counts wrap modulo 2^64 rather than saturate.
#include <cstdint>
#include <vector>

#include "analytics/neighbor_runs.h"
#include "analytics/traversal.h"
#include "graph/physical_graph.h"

namespace orvane {

std::vector<std::uint64_t> detail::walk_counts(const PhysicalGraph& csr, std::uint32_t start, int steps,
                                               std::uint16_t type, Direction direction) {
  std::vector<std::uint64_t> counts(csr.node_count, 0), next(csr.node_count, 0);
  std::vector<std::uint8_t> in_next(csr.node_count, 0);
  std::vector<std::uint32_t> active{start}, reached;
  counts[start] = 1;
  for (int step = 0; step < steps && !active.empty(); ++step) {
    reached.clear();
    for (const std::uint32_t v : active) {
      const std::uint64_t c = counts[v];
      for_each_neighbor(csr, v, type, direction, [&](std::uint32_t w) {
        next[w] += c;
        if (!in_next[w]) {
          in_next[w] = 1;
          reached.push_back(w);
        }
      });
    }
    for (const std::uint32_t v : active) counts[v] = 0;
    for (const std::uint32_t w : reached) {
      counts[w] = next[w];
      next[w] = 0;
      in_next[w] = 0;
    }
    active.swap(reached);
  }
  return counts;
}

namespace {

std::uint64_t walks_of_length(const PhysicalGraph& csr, std::uint32_t h, int length, std::uint16_t type,
                              Direction direction) {
  if (length < 0) return 0;
  if (length == 0) return 1;
  const std::vector<std::uint64_t> counts = detail::walk_counts(csr, h, length, type, direction);
  std::uint64_t total = 0;
  for (const std::uint64_t c : counts) total += c;
  return total;
}

std::uint64_t unique_paths3(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t t) {
  std::uint64_t total = 0;
  for (const std::uint32_t x : csr.typed_out_neighbors(hub, t)) {
    for (const std::uint32_t y : csr.typed_out_neighbors(x, t)) {
      if (hub == x && x == y) continue;
      for (const std::uint32_t z : csr.typed_out_neighbors(y, t)) {
        if ((z == x && y == hub) || (z == y && x == y)) continue;
        ++total;
      }
    }
  }
  return total;
}

std::uint64_t unique_paths4(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t t) {
  std::uint64_t total = 0;
  for (const std::uint32_t x : csr.typed_out_neighbors(hub, t)) {
    for (const std::uint32_t y : csr.typed_out_neighbors(x, t)) {
      if (x == y && hub == x) continue;
      for (const std::uint32_t z : csr.typed_out_neighbors(y, t)) {
        if ((z == x && y == hub) || (x == y && y == z)) continue;
        for (const std::uint32_t w : csr.typed_out_neighbors(z, t)) {
          if ((w == x && z == hub) || (w == y && z == x) || (w == z && z == y)) continue;
          ++total;
        }
      }
    }
  }
  return total;
}

}  // namespace

std::uint64_t paths_len2(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  const bool all = type == kAllTypes;
  std::uint64_t total = 0;
  for (const std::uint32_t x : all ? csr.out_neighbors(h) : csr.typed_out_neighbors(h, type)) {
    total += all ? csr.out_neighbors(x).size() : csr.typed_out_neighbors(x, type).size();
  }
  return total;
}

std::uint64_t paths_count(const PhysicalGraph& csr, std::uint32_t hub, int length, std::uint16_t type,
                          Direction direction) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  if (direction == Direction::Outgoing) {
    if (length == 3) return unique_paths3(csr, h, type);
    if (length == 4) return unique_paths4(csr, h, type);
  }
  return walks_of_length(csr, h, length, type, direction);
}

}  // namespace orvane
