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
  float norm;         // sqrt(norm_sq) in single precision
  bool zero;          // the double-precision norm is not above 0: every score is 0
  bool fast;          // norm_sq is a normal finite float: the single-precision path may be used
  double exact_norm;  // double-precision norm, for the exact fallback
};

CosineQuery prepare_query(const float* query, std::size_t dims);

// Four single-precision lanes in one register (SSE on x86-64, NEON on Arm).
using Lanes = float __attribute__((vector_size(16)));

// cos(query, v): single precision, four lanes at a time, when every
// intermediate is a normal finite float; otherwise recomputed in double so
// that huge or tiny components still give a finite score. 0 when either
// norm is 0.
inline float cosine(const CosineQuery& q, const float* v);

// The same arithmetic, and so the same scores to the bit, with the width
// fixed at compile time (retrieval's 32) and the query held by value, so a
// scoring loop keeps it in registers. Copyable; the query values `q`
// points to must outlive it (the exact fallback reads them).
template <std::size_t Dims>
class FixedCosine {
 public:
  explicit FixedCosine(const CosineQuery& q);
  float operator()(const float* v) const;

 private:
  static_assert(Dims > 0 && Dims % 4 == 0, "the fixed-width cosine takes whole blocks of four");
  Lanes lanes_[Dims / 4];
  CosineQuery query_;
};

// The double-precision rescoring behind both forms, for the rare vectors
// whose float intermediates leave the normal range.
float exact_cosine(const CosineQuery& q, const float* v);

// Row i of a row-major n × Dims matrix scored with FixedCosine, asking the
// memory system for row i + kPrefetchRows at the same time. The hardware
// prefetcher alone falls behind a loop that does this much arithmetic per
// cache line; fetching 4 KiB ahead keeps the scoring at streaming speed.
// Rows past the end are never touched (the prefetch index is clamped).
inline constexpr std::uint64_t kPrefetchRows = 32;

template <std::size_t Dims>
class CosineRows {
 public:
  CosineRows(const CosineQuery& q, const float* rows, std::uint64_t n) : cosine_(q), rows_(rows), last_(n ? n - 1 : 0) {}
  float operator()(std::uint64_t i) const;

 private:
  FixedCosine<Dims> cosine_;
  const float* rows_;
  std::uint64_t last_;  // the highest row index
};

// Scores the indices 0 … n−1 accepted by `accept(i)` with score(i), split
// into one static block per OpenMP thread, each keeping a bounded min-heap
// of at most min(k, block size) entries (a hit enters a full heap only with
// a strictly greater score), then merges the heaps: best first, equal
// scores by ascending index, at most k.
template <typename Accept, typename Score>
std::vector<Scored> parallel_top_k(std::uint64_t n, std::uint64_t k, Accept&& accept, Score&& score);

}  // namespace orvane::detail

#include "analytics/top_k_impl.h"
