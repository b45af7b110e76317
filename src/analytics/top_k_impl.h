// Internal: the template body of parallel_top_k (see top_k.h).
#pragma once

#include <omp.h>

#include <algorithm>

#include "analytics/parallelism.h"

namespace orvane::detail {

// "a is a better hit than b": higher score, then lower index.
inline bool better(const Scored& a, const Scored& b) {
  return a.score > b.score || (a.score == b.score && a.index < b.index);
}

template <typename Accept, typename Score>
std::vector<Scored> parallel_top_k(std::uint64_t n, std::uint64_t k, Accept&& accept, Score&& score) {
  std::vector<Scored> merged;
  if (n == 0 || k == 0) return merged;
  const int requested = kernel_threads();
  std::vector<std::vector<Scored>> heaps(requested);
#pragma omp parallel num_threads(requested)
  {
    // The runtime may grant fewer threads than requested; blocks follow the
    // team actually running.
    const auto team = static_cast<std::uint64_t>(omp_get_num_threads());
    const auto t = static_cast<std::uint64_t>(omp_get_thread_num());
    const std::uint64_t base = n / team, extra = n % team;
    const std::uint64_t begin = t * base + std::min(t, extra);
    const std::uint64_t end = begin + base + (t < extra ? 1 : 0);
    std::vector<Scored>& heap = heaps[t];
    const std::uint64_t cap = std::min<std::uint64_t>(k, end - begin);
    heap.reserve(cap);
    // With `better` as the heap order the worst kept hit sits on top.
    for (std::uint64_t i = begin; i < end; ++i) {
      if (!accept(i)) continue;
      const float s = score(i);
      if (heap.size() < cap) {
        heap.push_back({i, s});
        std::push_heap(heap.begin(), heap.end(), better);
      } else if (s > heap.front().score) {
        std::pop_heap(heap.begin(), heap.end(), better);
        heap.back() = {i, s};
        std::push_heap(heap.begin(), heap.end(), better);
      }
    }
  }
  std::size_t total = 0;
  for (const auto& heap : heaps) total += heap.size();
  merged.reserve(total);
  for (const auto& heap : heaps) merged.insert(merged.end(), heap.begin(), heap.end());
  std::sort(merged.begin(), merged.end(), better);
  if (merged.size() > k) merged.resize(k);
  return merged;
}

}  // namespace orvane::detail
