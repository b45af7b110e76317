// Inside the counting planner: the resolved shape of a count, the overflow
// guards, the one-hop step rule the methods share with the Expand
// operators, and the methods' entry points. Private to src/query.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/physical_graph.h"
#include "query/exec/exec_context.h"
#include "query/node_filter.h"
#include "query/plan/count_pattern.h"

namespace orvane {

class Database;

// A counted pattern with its names resolved against one graph, and the
// execution whose bound the counting runs under: every node or
// relationship a method reads is a tick of its clock (context->tick()), every array it
// keeps per node is memory held through a HeldMemory on it.
struct CountShape {
  const Database* db = nullptr;
  const CountedPattern* pattern = nullptr;
  ExecContext* context = nullptr;
  std::vector<NodeFilter> nodes;     // by node position
  std::vector<std::uint16_t> types;  // by relationship position
};

// The first node position whose variable is `variable`. Requires: one has it.
std::size_t first_position(const CountedPattern& pattern, const std::string& variable);

// a + b and a · b; both throw QlError "count overflow" past 2^64-1.
std::uint64_t checked_add(std::uint64_t a, std::uint64_t b);
std::uint64_t checked_mul(std::uint64_t a, std::uint64_t b);

// The hop of `direction` walked backwards: Out and In swap, Both stays.
inline CountDirection reversed(CountDirection direction) {
  if (direction == CountDirection::Out) return CountDirection::In;
  if (direction == CountDirection::In) return CountDirection::Out;
  return CountDirection::Both;
}

// Calls visit(neighbour, source, target) for every step a relationship-unique
// expansion takes from position v over `type` in `direction`: outgoing relationships
// (unless In), then incoming ones (unless Out); under Both a self-loop is
// taken once, as outgoing. (source, target) names the relationship.
template <typename Visit>
void for_each_step(const PhysicalGraph& g, std::uint32_t v, std::uint16_t type, CountDirection direction,
                   Visit&& visit) {
  if (direction != CountDirection::In) {
    for (const std::uint32_t w : g.typed_out_neighbors(v, type)) visit(w, v, w);
  }
  if (direction != CountDirection::Out) {
    for (const std::uint32_t w : g.typed_in_neighbors(v, type)) {
      if (direction == CountDirection::Both && w == v) continue;
      visit(w, w, v);
    }
  }
}

// The number of steps for_each_step would visit, read from run sizes.
std::uint64_t step_count(const PhysicalGraph& g, std::uint32_t v, std::uint16_t type, CountDirection direction);

// One byte per position, set where the node passes `filter`, its bytes
// added to `held`; empty when the filter is empty or every node passes its
// label alone (callers then skip the test).
std::vector<std::uint8_t> position_mask(const CountShape& shape, const NodeFilter& filter, HeldMemory& held);

// Each method: `*_fits` tells whether it recognises the shape (cheap; no
// graph walk), the counting function computes the exact count. Requires:
// the shape fits and the graph is compiled.
bool degree_count_fits(const CountShape& shape);
std::uint64_t count_by_degree(const CountShape& shape);
bool breadth_reach_fits(const CountShape& shape);
std::uint64_t breadth_first_reach(const CountShape& shape);
bool level_count_fits(const CountShape& shape);
std::uint64_t level_count(const CountShape& shape);
bool cycle_count_fits(const CountShape& shape);
std::uint64_t cycle_count(const CountShape& shape);

}  // namespace orvane
