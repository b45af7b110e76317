// Internal: the inline bodies behind top_k.h, the cosine kernels and the
// template parallel_top_k.
//
// The kernels sit in the header because they run once per scored vector:
// inlined into the scoring loop, the query's components and norm stay in
// registers and the fixed 32-wide form compiles to eight loads, eight
// multiplies and adds per sum and no loop at all.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "analytics/parallelism.h"

namespace orvane::detail {

// Lane l of the sums takes components l, l+4, l+8, …, exactly as a scalar
// loop over four accumulators would, so the vector form rounds the same way.

inline Lanes load_lanes(const float* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);  // unaligned load
  return v;
}

inline bool normal_finite(float x) { return x >= FLT_MIN && x <= FLT_MAX; }

inline float lane_total(Lanes v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// The division of the single-precision path, or the double rescoring when
// an intermediate left the normal finite range.
inline float finish_cosine(const CosineQuery& q, const float* v, Lanes dot_lanes, Lanes norm_lanes) {
  const float dot = lane_total(dot_lanes), norm_sq = lane_total(norm_lanes);
  if (q.fast && normal_finite(norm_sq) && std::fabs(dot) <= FLT_MAX) {
    const float denominator = q.norm * std::sqrt(norm_sq);
    if (normal_finite(denominator)) return dot / denominator;
  }
  return exact_cosine(q, v);
}

inline float cosine(const CosineQuery& q, const float* v) {
  if (q.zero) return 0;
  Lanes dot = {0, 0, 0, 0}, norm = {0, 0, 0, 0};
  const std::size_t blocks = q.dims / 4;
  for (std::size_t b = 0; b < blocks; ++b) {
    const Lanes x = load_lanes(v + 4 * b);
    dot += load_lanes(q.values + 4 * b) * x;
    norm += x * x;
  }
  for (std::size_t i = 4 * blocks; i < q.dims; ++i) {
    dot[0] += q.values[i] * v[i];
    norm[0] += v[i] * v[i];
  }
  return finish_cosine(q, v, dot, norm);
}

template <std::size_t Dims>
FixedCosine<Dims>::FixedCosine(const CosineQuery& q) : query_(q) {
  for (std::size_t b = 0; b < Dims / 4; ++b) lanes_[b] = load_lanes(q.values + 4 * b);
}

template <std::size_t Dims>
inline float FixedCosine<Dims>::operator()(const float* v) const {
  if (query_.zero) return 0;
  Lanes dot = {0, 0, 0, 0}, norm = {0, 0, 0, 0};
#pragma GCC unroll 16
  for (std::size_t b = 0; b < Dims / 4; ++b) {
    const Lanes x = load_lanes(v + 4 * b);
    dot += lanes_[b] * x;
    norm += x * x;
  }
  return finish_cosine(query_, v, dot, norm);
}

template <std::size_t Dims>
inline float CosineRows<Dims>::operator()(std::uint64_t i) const {
  const float* ahead = rows_ + Dims * std::min(i + kPrefetchRows, last_);
  constexpr std::size_t kLineFloats = 64 / sizeof(float);
#pragma GCC unroll 16
  for (std::size_t f = 0; f < Dims; f += kLineFloats) __builtin_prefetch(ahead + f);
  return cosine_(rows_ + Dims * i);
}

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
    // Each thread's heap header lives on its own stack until the end: the
    // headers side by side in `heaps` would share a cache line.
    std::vector<Scored> heap;
    // Private copies: what the callables captured then lives in this
    // thread's registers instead of being reloaded for every row (a heap
    // store might alias it as far as the compiler can tell).
    auto accepts = accept;
    auto scores = score;
    const std::uint64_t cap = std::min<std::uint64_t>(k, end - begin);
    heap.reserve(cap);
    // With `better` as the heap order the worst kept hit sits on top. The
    // first loop fills the heap; the second, where nearly every row is
    // rejected, compares against the smallest kept score held in a register.
    std::uint64_t i = begin;
    for (; i < end && heap.size() < cap; ++i) {
      if (!accepts(i)) continue;
      heap.push_back({i, scores(i)});
      std::push_heap(heap.begin(), heap.end(), better);
    }
    float worst = heap.empty() ? 0.0f : heap.front().score;
    for (; i < end; ++i) {
      if (!accepts(i)) continue;
      const float s = scores(i);
      if (s > worst) {
        std::pop_heap(heap.begin(), heap.end(), better);
        heap.back() = {i, s};
        std::push_heap(heap.begin(), heap.end(), better);
        worst = heap.front().score;
      }
    }
    heaps[t] = std::move(heap);
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
