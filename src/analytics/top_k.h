// Internal: the cosine score and the parallel bounded top-k shared by
// retrieval and the dimension sweep. Not part of the library interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::detail {

struct Scored {
  std::uint64_t index;  // identity (retrieval) or row number (sweep)
  float score;
};

// The query's side of the cosine, computed once per call.
struct CosineQuery {
  const float* values;
  std::size_t dims;
  float norm_sq;      // single-precision sum of squares, four lanes
  double norm;        // double-precision norm, for the exact fallback
};

CosineQuery prepare_query(const float* query, std::size_t dims);

// cos(query, v): single precision, four lanes at a time, when every
// intermediate is a normal finite float; otherwise recomputed in double so
// that huge or tiny components still give a finite score. 0 when either
// norm is 0.
float cosine(const CosineQuery& q, const float* v);

// Scores the indices 0 … n−1 accepted by `accept(i)` with score(i), split
// into one static block per OpenMP thread, each keeping a bounded min-heap
// of at most min(k, block size) entries (a hit enters a full heap only with
// a strictly greater score), then merges the heaps: best first, equal
// scores by ascending index, at most k.
template <typename Accept, typename Score>
std::vector<Scored> parallel_top_k(std::uint64_t n, std::uint64_t k, Accept&& accept, Score&& score);

}  // namespace orvane::detail

#include "analytics/top_k_impl.h"
