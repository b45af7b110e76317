// The engine most console tests run on: mixed_graph (persons 0–9, papers
// 10–13; FOLLOWS relationships 0 (0→1), 1 (1→0), 2 (0→2), ... in creation
// order) as the current database "orvane".
#pragma once

#include "console/engine.h"
#include "support/graph_builder.h"

namespace orvane::testing {

inline Engine small_engine() {
  Engine e;
  e.register_database("orvane", mixed_graph());
  e.use_database("orvane");
  return e;
}

}  // namespace orvane::testing
