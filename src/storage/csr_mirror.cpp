// incoming_mirrors_outgoing: are the two directions of a CSR the same set of
// relationships?
//
// Step one compares in-degrees: counting the outgoing targets must give the
// incoming run lengths exactly. Step two compares contents run by run. Every
// incoming run w is compared as a sorted list of (source, type) keys with the
// list of (v, t) for the outgoing slots v → w.
//
// Files this program writes have outgoing runs ordered by (type, target) and,
// for the corpus and most real graphs, incoming runs whose (type, source)
// order is also (source, type) order. When both orders hold strictly, the
// outgoing slots, visited source by source, arrive at each target already in
// ascending (source, type) order, so one cursor per target compares them
// with no extra memory. Otherwise the expected keys are scattered into one
// array of E entries and each run is sorted before the comparison.
// Strictness (no two equal keys in a run) is what rules out a relationship
// listed twice.
#include "storage/csr_mirror.h"

#include <algorithm>

namespace orvane {
namespace {

using Offsets = std::vector<std::uint32_t>;

std::uint64_t out_key(std::uint16_t type, std::uint32_t target) {
  return (static_cast<std::uint64_t>(type) << 32) | target;
}

std::uint64_t in_key(std::uint32_t source, std::uint16_t type) {
  return (static_cast<std::uint64_t>(source) << 16) | type;
}

bool outgoing_strictly_ordered(std::uint64_t n, const Offsets& off, const std::vector<std::uint32_t>& targets,
                               const std::vector<std::uint16_t>& types) {
  for (std::uint64_t v = 0; v < n; ++v) {
    for (std::uint32_t s = off[v] + 1; s < off[v + 1]; ++s) {
      if (out_key(types[s - 1], targets[s - 1]) >= out_key(types[s], targets[s])) return false;
    }
  }
  return true;
}

bool incoming_strictly_ordered(std::uint64_t n, const Offsets& off, const std::vector<std::uint32_t>& sources,
                               const std::vector<std::uint16_t>& types) {
  for (std::uint64_t v = 0; v < n; ++v) {
    for (std::uint32_t s = off[v] + 1; s < off[v + 1]; ++s) {
      if (in_key(sources[s - 1], types[s - 1]) >= in_key(sources[s], types[s])) return false;
    }
  }
  return true;
}

}  // namespace

bool incoming_mirrors_outgoing(std::uint64_t n, const Offsets& out_offsets,
                               const std::vector<std::uint32_t>& out_targets,
                               const std::vector<std::uint16_t>& out_types, const Offsets& in_offsets,
                               const std::vector<std::uint32_t>& in_sources,
                               const std::vector<std::uint16_t>& in_types) {
  if (out_targets.size() != in_sources.size()) return false;
  std::vector<std::uint32_t> cursor(n, 0);
  for (const std::uint32_t target : out_targets) ++cursor[target];
  for (std::uint64_t w = 0; w < n; ++w) {
    if (cursor[w] != in_offsets[w + 1] - in_offsets[w]) return false;
  }
  for (std::uint64_t w = 0; w < n; ++w) cursor[w] = in_offsets[w];

  if (outgoing_strictly_ordered(n, out_offsets, out_targets, out_types) &&
      incoming_strictly_ordered(n, in_offsets, in_sources, in_types)) {
    for (std::uint64_t v = 0; v < n; ++v) {
      for (std::uint32_t s = out_offsets[v]; s < out_offsets[v + 1]; ++s) {
        const std::uint32_t slot = cursor[out_targets[s]]++;
        if (in_sources[slot] != v || in_types[slot] != out_types[s]) return false;
      }
    }
    return true;
  }

  std::vector<std::uint64_t> expected(out_targets.size());
  for (std::uint64_t v = 0; v < n; ++v) {
    for (std::uint32_t s = out_offsets[v]; s < out_offsets[v + 1]; ++s) {
      expected[cursor[out_targets[s]]++] = in_key(static_cast<std::uint32_t>(v), out_types[s]);
    }
  }
  std::vector<std::uint64_t> actual;
  for (std::uint64_t w = 0; w < n; ++w) {
    const auto first = expected.begin() + in_offsets[w], last = expected.begin() + in_offsets[w + 1];
    std::sort(first, last);
    if (std::adjacent_find(first, last) != last) return false;
    actual.clear();
    for (std::uint32_t s = in_offsets[w]; s < in_offsets[w + 1]; ++s) actual.push_back(in_key(in_sources[s], in_types[s]));
    std::sort(actual.begin(), actual.end());
    if (!std::equal(first, last, actual.begin(), actual.end())) return false;
  }
  return true;
}

}  // namespace orvane
