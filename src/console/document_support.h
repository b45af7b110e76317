// Small readers the console documents share.
#pragma once

#include <cstdint>

#include "graph/database.h"

namespace orvane {

// M, the relationship count documents report: the length of the compiled
// target array, or the edge list's length while the graph is not compiled
// (the compiled arrays then describe an older graph).
inline std::uint64_t relationship_count(const Database& db) {
  return db.graph.compiled ? db.graph.out_targets.size() : db.graph.edges.size();
}

}  // namespace orvane
