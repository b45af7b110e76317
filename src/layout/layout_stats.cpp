// Layout statistics over the compiled CSR (positions throughout).
//
// Two passes over out_degree (sum, maximum, histogram; then the core count
// once the threshold is known) and one over the combined outgoing adjacency
// (pair counts, jumps, reciprocity through has_edge's binary search).
//
// Parallel groups: the compiled graph holds each (u, v, type) once, so a
// group is a target that occurs more than once in u's combined run. The run
// is ordered by (type, target); its targets are copied into one reused
// scratch vector and sorted, which counts the same groups as a hash map of
// ordered pairs without its memory (hundreds of MB on large corpora). With
// at most one relationship type there can be no group at all.
#include "layout/layout_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <vector>

#include "graph/physical_graph.h"

namespace orvane {

LayoutStats compute_layout_stats(const PhysicalGraph& csr) {
  LayoutStats st;
  const std::uint64_t n = csr.node_count;
  if (n == 0) return st;

  std::uint64_t sum = 0;
  double sum_sq = 0;
  std::uint32_t max_degree = 0;
  // Ordered by degree, so the entropy sum runs in one order whatever the
  // numbering: the result is then bit-identical before and after a layout.
  std::map<std::uint32_t, std::uint64_t> histogram;
  for (std::uint64_t u = 0; u < n; ++u) {
    const std::uint32_t d = u < csr.out_degree.size() ? csr.out_degree[u] : 0;
    sum += d;
    sum_sq += static_cast<double>(d) * d;
    if (d > max_degree) max_degree = d;
    ++histogram[d];
    if (d == 0) ++st.isolates;
  }
  const double nd = static_cast<double>(n);
  const double mean = static_cast<double>(sum) / nd;
  st.mean_out_degree = mean;
  st.max_over_mean_degree = mean > 0 ? max_degree / mean : 0;
  for (const auto& [degree, count] : histogram) {
    const double p = static_cast<double>(count) / nd;
    st.degree_entropy -= p * std::log2(p);
  }
  const double variance = sum_sq / nd - mean * mean;
  const double sigma = variance > 0 ? std::sqrt(variance) : 0;
  const double threshold = std::floor(mean + sigma);
  st.core_threshold = threshold > 1 ? static_cast<std::uint32_t>(threshold) : 1;
  for (std::uint64_t u = 0; u < n; ++u) {
    const std::uint32_t d = u < csr.out_degree.size() ? csr.out_degree[u] : 0;
    if (d >= st.core_threshold) ++st.core_node_count;
  }

  if (csr.out_offsets.size() < 2 || !csr.compiled) return st;
  const std::size_t e_count = csr.out_targets.size();
  const bool may_have_groups = csr.rel_type_count > 1;
  std::vector<std::uint32_t> scratch;
  double jump_sum = 0;
  for (std::uint64_t u = 0; u < n; ++u) {
    const std::uint32_t first = csr.out_offsets[u], last = csr.out_offsets[u + 1];
    if (may_have_groups && last - first > 1) {
      scratch.assign(csr.out_targets.begin() + first, csr.out_targets.begin() + last);
      std::sort(scratch.begin(), scratch.end());
      for (std::size_t i = 1; i < scratch.size(); ++i) {
        if (scratch[i] == scratch[i - 1] && (i == 1 || scratch[i - 1] != scratch[i - 2])) ++st.parallel_edge_groups;
      }
    }
    for (std::uint32_t s = first; s < last; ++s) {
      const std::uint32_t v = csr.out_targets[s];
      const std::uint32_t jump = v > u ? v - static_cast<std::uint32_t>(u) : static_cast<std::uint32_t>(u) - v;
      if (jump > st.layout_bandwidth) st.layout_bandwidth = jump;
      jump_sum += jump;
      if (v > u && csr.has_edge(v, static_cast<std::uint32_t>(u), csr.out_types[s])) ++st.reciprocal_pairs;
    }
  }
  st.mean_edge_jump = e_count == 0 ? 0 : jump_sum / static_cast<double>(e_count);
  return st;
}

void print_layout_stats(const std::string& title, const LayoutStats& st) {
  std::ostream& out = std::cout;
  out << std::fixed;
  out.precision(4);
  out << title << '\n';
  out << "  degree entropy:       " << st.degree_entropy << '\n';
  out << "  mean out-degree:      " << st.mean_out_degree << '\n';
  out << "  max/mean degree:      " << st.max_over_mean_degree << '\n';
  out << "  core threshold:       " << st.core_threshold << '\n';
  out << "  core node count:      " << st.core_node_count << '\n';
  out << "  parallel edge groups: " << st.parallel_edge_groups << '\n';
  out << "  reciprocal pairs:     " << st.reciprocal_pairs << '\n';
  out << "  mean edge jump:       " << st.mean_edge_jump << '\n';
  out << "  layout bandwidth:     " << st.layout_bandwidth << '\n';
  out << "  isolates:             " << st.isolates << '\n';
}

}  // namespace orvane
