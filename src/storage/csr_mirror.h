// The consistency check between the two directions of a CSR read from a
// snapshot: the per-type arrays are sized from the outgoing relationships,
// so an incoming CSR that names anything else would index past them.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

// True when the incoming CSR holds exactly the relationships of the outgoing
// one, each exactly once: for every outgoing slot v → w of type t there is
// one incoming slot of w naming source v and type t, no relationship appears
// twice, and nothing else is present. The order of slots within a run does
// not matter. Requires: both CSRs are individually valid (offsets of n+1
// entries rising from 0 to the slot count, every neighbour below n).
bool incoming_mirrors_outgoing(std::uint64_t n, const std::vector<std::uint32_t>& out_offsets,
                               const std::vector<std::uint32_t>& out_targets,
                               const std::vector<std::uint16_t>& out_types,
                               const std::vector<std::uint32_t>& in_offsets,
                               const std::vector<std::uint32_t>& in_sources,
                               const std::vector<std::uint16_t>& in_types);

}  // namespace orvane
