// Internal helpers shared by the graph algorithm files: the compiled-graph
// check and the identity → position step. Not part of the library interface.
#pragma once

#include <cstdint>

#include "graph/physical_graph.h"

namespace orvane::detail {

// The message of every graph algorithm on an uncompiled graph.
inline constexpr const char* kAlgorithmNeedsCompiledGraph = "graph algorithm requires compiled graph";

// Throws std::logic_error kAlgorithmNeedsCompiledGraph unless the graph is
// compiled: the CSR fields of an uncompiled graph belong to an older
// compilation and may not even cover every node.
void require_compiled_for_algorithm(const PhysicalGraph& csr);

// The node count as a 32-bit bound for position loops; a compiled graph
// never holds more than 0xFFFFFFFF nodes.
inline std::uint32_t position_count(const PhysicalGraph& csr) {
  return static_cast<std::uint32_t>(csr.node_count);
}

}  // namespace orvane::detail
