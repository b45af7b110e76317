// Internal helpers shared by the kernel files: the hub check and the
// neighbour walk by type and direction. Not part of the library interface.
#pragma once

#include <cstdint>
#include <vector>

#include "analytics/traversal.h"
#include "graph/physical_graph.h"

namespace orvane::detail {

// The hub's position, or kNoNode when the identity is not below the node
// count (the kernels then answer 0 before reading any array). Throws the
// compiled-graph logic_error first.
inline std::uint32_t hub_position(const PhysicalGraph& csr, std::uint32_t hub) {
  require_compiled(csr);
  if (hub >= csr.node_count || hub >= csr.to_physical.size()) return kNoNode;
  return csr.to_physical[hub];
}

// Calls visit(w) for every neighbour w of position v over `type` (kAllTypes:
// the combined lists) in `direction`, outgoing list first.
template <typename Visit>
inline void for_each_neighbor(const PhysicalGraph& csr, std::uint32_t v, std::uint16_t type,
                              Direction direction, Visit&& visit) {
  const bool all = type == kAllTypes;
  if (direction != Direction::Incoming) {
    for (const std::uint32_t w : all ? csr.out_neighbors(v) : csr.typed_out_neighbors(v, type)) visit(w);
  }
  if (direction != Direction::Outgoing) {
    for (const std::uint32_t w : all ? csr.in_neighbors(v) : csr.typed_in_neighbors(v, type)) visit(w);
  }
}

// Walks of `steps` steps from position `start`, as a count per position
// (modulo 2^64), propagated level by level over the nodes a level reaches.
std::vector<std::uint64_t> walk_counts(const PhysicalGraph& csr, std::uint32_t start, int steps,
                                       std::uint16_t type, Direction direction);

}  // namespace orvane::detail
