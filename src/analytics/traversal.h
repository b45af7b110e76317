// Traversal kernels: hand-written counting routines over the typed CSR.
// Every kernel takes the hub as an identity, works in positions and returns
// a count that does not depend on the physical layout.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

struct PhysicalGraph;

// Direction codes of the kernels that accept one.
enum class Direction : int { Outgoing = 0, Incoming = 1, Both = 2 };

// Distinct nodes reachable from `hub` over outgoing relationships of `type`
// (kAllTypes for every type) in at most `hops` steps, hub included: 0 for
// hops < 0, 1 for hops = 0; 0 when hub is not below the node count. Levels
// of 16384 or more frontier entries expand in parallel.
// Throws std::logic_error "query requires compiled physical graph".
std::uint64_t hop_reach(const PhysicalGraph& csr, std::uint32_t hub, int hops, std::uint16_t type);

// Clears `next`, then appends every neighbour of `frontier` (positions) over
// `type` in `direction` whose byte in `visited` is clear, setting it. With
// 16384 or more entries it runs as an OpenMP loop claiming marks by
// compare-and-swap; the order of `next` then depends on scheduling.
void expand_frontier(const PhysicalGraph& csr, const std::vector<std::uint32_t>& frontier,
                     std::uint16_t type, Direction direction, std::vector<std::uint8_t>& visited,
                     std::vector<std::uint32_t>& next);

// Throws std::logic_error "query requires compiled physical graph" unless
// the graph is compiled.
void require_compiled(const PhysicalGraph& csr);

}  // namespace orvane
