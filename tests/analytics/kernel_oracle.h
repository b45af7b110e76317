// Brute-force counterparts of the traversal kernels, written straight from
// their definitions over the compiled edge list in identities: sets instead
// of mark arrays, recursion with an explicit used-relationship set instead
// of endpoint tests. Slow on purpose; only for small graphs.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "analytics/traversal.h"
#include "graph/database.h"

namespace orvane::testing {

class KernelOracle {
 public:
  explicit KernelOracle(const Database& db);

  std::uint64_t hop1(std::uint32_t hub, std::uint16_t t) const;
  std::uint64_t reach(std::uint32_t hub, int hops, std::uint16_t t, Direction d) const;
  std::uint64_t walks(std::uint32_t hub, int length, std::uint16_t t, Direction d) const;
  std::uint64_t unique_paths(std::uint32_t hub, int length, std::uint16_t t) const;
  std::uint64_t cycles(std::uint32_t hub, int length, std::uint16_t t) const;
  std::uint64_t two_step(std::uint32_t hub, std::uint16_t t1, std::uint16_t t2, bool distinct) const;
  std::uint64_t coauthors(std::uint32_t hub, std::uint16_t t, bool exclude_hub) const;
  std::uint64_t wedge(std::uint32_t hub, std::uint16_t t, bool distinct) const;
  std::uint64_t coauthors_of_followed(std::uint32_t hub, std::uint16_t tf, std::uint16_t ta) const;
  std::uint64_t mixed_2hop(std::uint32_t hub, std::uint16_t tf, std::uint16_t ta, bool distinct) const;
  std::uint64_t followers(std::uint32_t hub, std::uint16_t tf, std::uint16_t ta, bool distinct) const;
  std::uint64_t follows_back(std::uint32_t hub, std::uint16_t ta, std::uint16_t tf) const;
  std::uint64_t hop_range(std::uint32_t hub, int min_hop, int max_hop, std::uint16_t tf, std::uint16_t ta) const;
  std::uint64_t varlength(std::uint32_t hub, int min_hops, int max_hops, std::uint16_t t, Direction d) const;

 private:
  std::vector<std::uint32_t> step(std::uint32_t v, std::uint16_t t, Direction d) const;
  std::uint64_t node_count_;
  std::vector<Edge> edges_;
  std::map<std::pair<std::uint16_t, std::uint32_t>, std::vector<std::uint32_t>> out_, in_;
};

// Every kernel of the library on a fixed set of arguments from `hub`, in a
// fixed order, so that two layouts of one graph can be compared at once.
std::vector<std::uint64_t> all_kernel_counts(const Database& db, std::uint32_t hub);

}  // namespace orvane::testing
