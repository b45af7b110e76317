// Layout statistics: ten numbers that describe a compiled graph's out-degree
// distribution, its relationship regularity and how well its physical
// numbering keeps relationships short. mean_edge_jump and layout_bandwidth
// depend on positions (the entropy worker lowers them); the rest do not
// change when nodes are renumbered.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

struct PhysicalGraph;

struct LayoutStats {
  double degree_entropy = 0;          // bits, over the out-degree histogram
  double mean_out_degree = 0;         // relationships per node
  double max_over_mean_degree = 0;    // largest out-degree / mean (0 when mean is 0)
  std::uint64_t core_node_count = 0;  // nodes with out-degree >= core_threshold
  std::uint32_t core_threshold = 0;   // floor(mean + sigma), at least 1
  std::uint64_t parallel_edge_groups = 0;  // ordered (u, v) pairs with more than one relationship
  std::uint64_t reciprocal_pairs = 0;      // u → v and v → u of one type, counted once
  double mean_edge_jump = 0;               // mean |position(u) − position(v)| over relationships
  std::uint32_t layout_bandwidth = 0;      // largest such jump
  std::uint64_t isolates = 0;              // nodes without outgoing relationships
};

// Reads only the compiled CSR; all fields are zero for a graph without nodes.
// Requires: the graph is compiled (an uncompiled graph reports zero jumps).
LayoutStats compute_layout_stats(const PhysicalGraph& csr);

// Writes `title` and one labelled line per field to standard output, doubles
// in fixed notation with four decimals (the stream keeps that setting).
void print_layout_stats(const std::string& title, const LayoutStats& stats);

}  // namespace orvane
