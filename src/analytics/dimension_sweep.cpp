// The dimension sweep: the retrieval scoring over random n × dim matrices
// of other widths, to show how the CPU top-k scales with the vector size.
//
// The matrix and the query come from two 32-bit LCGs seeded from the
// dimension, so every run of one sweep scores the same data. The matrix
// size comes from the command line, so n × dim is checked before anything
// is allocated: a product that wrapped would allocate a small buffer and
// then be read far past its end.
#include <chrono>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "analytics/retrieval.h"
#include "analytics/top_k.h"
#include "graph/memory_budget.h"

namespace orvane {
namespace {

constexpr std::uint32_t kRetrievalDim = 32;  // the embedding width retrieval scores

void fill_random(std::vector<float>& out, std::uint32_t seed) {
  std::uint32_t state = seed == 0 ? 1 : seed;
  for (float& v : out) {
    state = state * 1664525u + 1013904223u;
    v = static_cast<float>(state & 0xFFFFu) * 1.5259022e-5f - 0.5f;
  }
}

std::size_t matrix_floats(std::uint64_t n, std::uint32_t dim) {
  constexpr std::uint64_t limit = std::numeric_limits<std::size_t>::max() / sizeof(float);
  if (n > limit / dim) {
    throw std::runtime_error("dimension sweep matrix of " + std::to_string(n) + " x " + std::to_string(dim) +
                             " floats is too large");
  }
  // The matrix and the query vector.
  check_fits_in_memory(saturating_product(saturating_product(n + 1, dim), sizeof(float)),
                       "a dimension sweep matrix of " + std::to_string(n) + " x " + std::to_string(dim) + " floats");
  return static_cast<std::size_t>(n * dim);
}

}  // namespace

std::vector<DimSweepRow> dimension_sweep(std::uint64_t n, std::uint64_t k, const std::vector<std::uint32_t>& dims,
                                         int iterations) {
  std::vector<DimSweepRow> rows;
  if (dims.empty() || n == 0 || k == 0) return rows;
  const int runs = std::max(iterations, 1);
  for (const std::uint32_t d : dims) {
    if (d == 0) continue;
    std::vector<float> matrix(matrix_floats(n, d)), query(d);
    fill_random(matrix, d ^ 12648430u);
    fill_random(query, d ^ 659918u);
    const detail::CosineQuery q = detail::prepare_query(query.data(), d);
    const float* data = matrix.data();
    volatile float sink = 0;
    // Width 32 is retrieval's: the same fixed-width, prefetching scorer, so
    // the sweep times what retrieval runs (both kernels give identical
    // scores). It reads 32 query values, so it exists only at that width.
    auto accept_all = [](std::uint64_t) { return true; };
    auto run = [&] {
      const auto top = d == kRetrievalDim
                           ? detail::parallel_top_k(n, k, accept_all, detail::CosineRows<kRetrievalDim>(q, data, n))
                           : detail::parallel_top_k(n, k, accept_all, [q, data, d](std::uint64_t i) {
                               return detail::cosine(q, data + static_cast<std::size_t>(i) * d);
                             });
      if (!top.empty()) sink = sink + top.front().score;
    };
    run();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) run();
    const double elapsed = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    DimSweepRow row;
    row.dim = d;
    row.n = n;
    row.k = std::min(k, n);
    row.cpu_ns = elapsed / runs;
    rows.push_back(row);
  }
  return rows;
}

std::uint32_t sweep_crossover_dim(const std::vector<DimSweepRow>& rows) {
  for (const DimSweepRow& row : rows) {
    if (row.gpu && row.gpu_ns > 0 && row.gpu_ns < row.cpu_ns) return row.dim;
  }
  return 0;
}

}  // namespace orvane
