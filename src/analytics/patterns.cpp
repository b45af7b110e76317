// Two-type patterns of the social/bibliographic corpus: people FOLLOW
// people, people AUTHORED papers. Papers of followed people, co-authors,
// wedges, followers' papers and the like, counted distinct or in total.
//
// Input: a compiled graph; arrays indexed by position; the hub given as an
// identity; results are counts of nodes or of pattern matches, which do not
// depend on the layout. Distinct counting uses one byte-per-node mark array
// per call; the typed lists are read in place.
#include <cstdint>
#include <vector>

#include "analytics/neighbor_runs.h"
#include "analytics/traversal.h"
#include "graph/physical_graph.h"

namespace orvane {
namespace {

// Distinct-or-total counter over positions.
class Tally {
 public:
  Tally(std::uint64_t node_count, bool distinct) : distinct_(distinct) {
    if (distinct) marks_.assign(node_count, 0);
  }
  void add(std::uint32_t v) {
    if (!distinct_) {
      ++count_;
    } else if (!marks_[v]) {
      marks_[v] = 1;
      ++count_;
    }
  }
  std::uint64_t count() const { return count_; }

 private:
  bool distinct_;
  std::vector<std::uint8_t> marks_;
  std::uint64_t count_ = 0;
};

}  // namespace

std::uint64_t two_step_targets(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t t1,
                               std::uint16_t t2, bool distinct) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  Tally tally(csr.node_count, distinct);
  for (const std::uint32_t x : csr.typed_out_neighbors(h, t1)) {
    for (const std::uint32_t y : csr.typed_out_neighbors(x, t2)) tally.add(y);
  }
  return tally.count();
}

std::uint64_t coauthors(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type, bool exclude_hub) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  Tally tally(csr.node_count, true);
  for (const std::uint32_t x : csr.typed_out_neighbors(h, type)) {
    for (const std::uint32_t y : csr.typed_in_neighbors(x, type)) {
      if (exclude_hub && y == h) continue;
      tally.add(y);
    }
  }
  return tally.count();
}

std::uint64_t wedge_in_of_out(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t type, bool distinct) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  if (!distinct) {
    std::uint64_t total = 0;
    for (const std::uint32_t x : csr.typed_out_neighbors(h, type)) total += csr.typed_in_neighbors(x, type).size();
    return total;
  }
  Tally tally(csr.node_count, true);
  for (const std::uint32_t x : csr.typed_out_neighbors(h, type)) {
    for (const std::uint32_t y : csr.typed_in_neighbors(x, type)) {
      if (y != h) tally.add(y);
    }
  }
  return tally.count();
}

std::uint64_t coauthors_of_followed(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t tf,
                                    std::uint16_t ta) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  Tally tally(csr.node_count, true);
  for (const std::uint32_t x : csr.typed_out_neighbors(h, tf)) {
    for (const std::uint32_t p : csr.typed_out_neighbors(x, ta)) {
      for (const std::uint32_t y : csr.typed_in_neighbors(p, ta)) {
        if (y != h && y != x) tally.add(y);
      }
    }
  }
  return tally.count();
}

std::uint64_t mixed_2hop_targets(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t tf,
                                 std::uint16_t ta, bool distinct) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  Tally tally(csr.node_count, distinct);
  for (const std::uint32_t x : csr.typed_out_neighbors(h, tf)) {
    for (const std::uint32_t y : csr.typed_out_neighbors(x, tf)) {
      for (const std::uint32_t p : csr.typed_out_neighbors(y, ta)) tally.add(p);
    }
  }
  return tally.count();
}

std::uint64_t followers_targets(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t tf,
                                std::uint16_t ta, bool distinct) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  Tally tally(csr.node_count, distinct);
  for (const std::uint32_t x : csr.typed_in_neighbors(h, tf)) {
    for (const std::uint32_t p : csr.typed_out_neighbors(x, ta)) tally.add(p);
  }
  return tally.count();
}

std::uint64_t coauthor_follows_back(const PhysicalGraph& csr, std::uint32_t hub, std::uint16_t ta,
                                    std::uint16_t tf) {
  const std::uint32_t h = detail::hub_position(csr, hub);
  if (h == kNoNode) return 0;
  std::uint64_t total = 0;
  for (const std::uint32_t p : csr.typed_out_neighbors(h, ta)) {
    for (const std::uint32_t y : csr.typed_in_neighbors(p, ta)) {
      if (y != h && csr.has_edge(y, h, tf)) ++total;
    }
  }
  return total;
}

}  // namespace orvane
