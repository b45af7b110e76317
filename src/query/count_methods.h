// Inside the counting planner: the resolved shape of a count query, the
// clock and overflow guards, the one-hop step rule the methods share with
// the enumerator, and the methods' entry points. Private to src/query.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "graph/physical_graph.h"
#include "query/node_filter.h"
#include "query/query.h"

namespace orvane {

class Database;

// A count query with its names resolved against one graph.
struct CountShape {
  const Database* db = nullptr;
  const QlQuery* query = nullptr;
  std::vector<NodeFilter> nodes;     // by node position
  std::vector<std::uint16_t> types;  // by relationship position
};

// The 5-second clock of a counting method, read every 4096 ticks. tick()
// throws QlError with the work-limit message once the time is past.
class Deadline {
 public:
  Deadline() : end_(std::chrono::steady_clock::now() + std::chrono::seconds(5)) {}
  void tick() {
    if ((++ticks_ & 4095) == 0 && std::chrono::steady_clock::now() > end_) expired();
  }

 private:
  [[noreturn]] static void expired();
  std::chrono::steady_clock::time_point end_;
  std::uint64_t ticks_ = 0;
};

// a + b and a · b; both throw QlError "count overflow" past 2^64-1.
std::uint64_t checked_add(std::uint64_t a, std::uint64_t b);
std::uint64_t checked_mul(std::uint64_t a, std::uint64_t b);

// The hop of `direction` walked backwards: Out and In swap, Both stays.
inline QlDirection reversed(QlDirection direction) {
  if (direction == QlDirection::Out) return QlDirection::In;
  if (direction == QlDirection::In) return QlDirection::Out;
  return QlDirection::Both;
}

// Calls visit(neighbour, source, target) for every step the enumerator
// takes from position v over `type` in `direction`: outgoing relationships
// (unless In), then incoming ones (unless Out); under Both a self-loop is
// taken once, as outgoing. (source, target) names the relationship.
template <typename Visit>
void for_each_step(const PhysicalGraph& g, std::uint32_t v, std::uint16_t type, QlDirection direction,
                   Visit&& visit) {
  if (direction != QlDirection::In) {
    for (const std::uint32_t w : g.typed_out_neighbors(v, type)) visit(w, v, w);
  }
  if (direction != QlDirection::Out) {
    for (const std::uint32_t w : g.typed_in_neighbors(v, type)) {
      if (direction == QlDirection::Both && w == v) continue;
      visit(w, w, v);
    }
  }
}

// The number of steps for_each_step would visit, read from run sizes.
std::uint64_t step_count(const PhysicalGraph& g, std::uint32_t v, std::uint16_t type, QlDirection direction);

// One byte per position, set where the node passes `filter`; empty when the
// filter is empty or every node passes its label alone (callers then skip
// the test).
std::vector<std::uint8_t> position_mask(const Database& db, const NodeFilter& filter, Deadline& deadline);

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
