// Exact cosine top-k over node embeddings, and the GPU lane that runs it.
//
// Algorithm: brute-force scoring of every node of one label, split into one
// contiguous block of identities per OpenMP thread (static: every node
// costs the same), each thread keeping a bounded min-heap, then one merge
// on the calling thread. Reads labels (by identity) and the embedding array
// (embedding_dim floats per identity); results are identities.
//
// Widths: the generated corpus's 32 is scored by a kernel compiled for that
// width (below); any other width an import brought (384, 768, 1536, ...)
// goes through the general cosine, which does the same arithmetic over a
// width known at run time. Rows that wide are long sequential runs, which
// the hardware prefetcher follows without help.
//
// Scoring precision: single precision, four lanes at a time, is exact
// enough and streams at memory speed. It fails only at the edges of the
// float range: components near 1e20 overflow the sums of squares to
// infinity (inf/inf is NaN), components near 1e-20 underflow them to 0. A
// node whose float intermediates are not all normal and finite is rescored
// in double, where the squares of any finite float are representable, so a
// finite score always comes out.
//
// Scoring speed at 32: each thread holds the query in registers (the scorer
// is copied into the thread) and requests the embedding 32 rows ahead of
// the one it scores; without that request the loop ran at about half the
// speed of a plain read of the same array (see bench/analytics_bench.cpp).
#include "analytics/retrieval.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "analytics/top_k.h"
#include "graph/database.h"

namespace orvane {
namespace {

// The width with a kernel of its own: every generated corpus's.
constexpr std::size_t kGeneratedDim = kDefaultEmbeddingDim;

}  // namespace

namespace detail {

float exact_cosine(const CosineQuery& q, const float* v) {
  double dot = 0, norm_sq = 0;
  for (std::size_t i = 0; i < q.dims; ++i) {
    dot += static_cast<double>(q.values[i]) * v[i];
    norm_sq += static_cast<double>(v[i]) * v[i];
  }
  const double denominator = q.exact_norm * std::sqrt(norm_sq);
  if (!(denominator > 0) || !std::isfinite(denominator)) return 0;
  return static_cast<float>(std::clamp(dot / denominator, -1.0, 1.0));
}

CosineQuery prepare_query(const float* query, std::size_t dims) {
  float lanes[4] = {0, 0, 0, 0};
  double exact = 0;
  // Blocks are counted rather than tested as i + 4 <= dims: GCC 12 at -O3
  // otherwise misreads the bound and rejects the loop.
  const std::size_t blocks = dims / 4;
  for (std::size_t b = 0; b < blocks; ++b) {
    for (std::size_t l = 0; l < 4; ++l) lanes[l] += query[4 * b + l] * query[4 * b + l];
  }
  for (std::size_t i = 4 * blocks; i < dims; ++i) lanes[0] += query[i] * query[i];
  for (std::size_t j = 0; j < dims; ++j) exact += static_cast<double>(query[j]) * query[j];
  const float norm_sq = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
  const double exact_norm = std::sqrt(exact);
  return CosineQuery{query, dims, norm_sq, std::sqrt(norm_sq), !(exact_norm > 0), normal_finite(norm_sq), exact_norm};
}

}  // namespace detail

std::vector<Hit> retrieve_top_k(const Database& db, const float* query, std::size_t dims, std::uint64_t k,
                                std::uint16_t label, int expand) {
  std::vector<Hit> hits;
  if (dims != db.embedding_dim) return hits;
  const PhysicalGraph& g = db.graph;
  const std::uint64_t n = std::min<std::uint64_t>({g.node_count, g.labels.size(), db.embeddings.size() / dims});
  const detail::CosineQuery q = detail::prepare_query(query, dims);
  const std::uint16_t* labels = g.labels.data();
  const float* embeddings = db.embeddings.data();
  // Captured by value: each thread scores from its own copy. A node matches
  // on any of its labels; the further ones are looked up only when the graph
  // has any.
  const PhysicalGraph* graph = g.extra_labels.empty() ? nullptr : &g;
  const auto accept = [labels, label, graph](std::uint64_t i) {
    return labels[i] == label || (graph != nullptr && graph->has_label(static_cast<std::uint32_t>(i), label));
  };
  const std::vector<detail::Scored> top =
      dims == kGeneratedDim ? detail::parallel_top_k(n, k, accept, detail::CosineRows<kGeneratedDim>(q, embeddings, n))
                            : detail::parallel_top_k(n, k, accept, [q, embeddings, dims](std::uint64_t i) {
                                return detail::cosine(q, embeddings + dims * i);
                              });
  hits.reserve(top.size());
  for (const detail::Scored& s : top) hits.push_back(Hit{static_cast<std::uint32_t>(s.index), s.score});
  if (expand == 0 || !g.compiled) return hits;
  std::unordered_set<std::uint32_t> present;
  for (const Hit& h : hits) present.insert(h.id);
  const std::size_t hit_count = hits.size();
  for (std::size_t i = 0; i < hit_count; ++i) {
    for (const std::uint32_t w : g.out_neighbors(g.to_physical[hits[i].id])) {
      const std::uint32_t id = g.to_logical[w];
      if (present.insert(id).second) hits.push_back(Hit{id, 0});
    }
  }
  return hits;
}

bool gpu_available() { return false; }

const char* gpu_device_name() { return "none (CPU SIMD fallback; GPU kernels compile when CUDA is present)"; }

std::vector<Hit> gpu_retrieve_top_k(const Database& db, const float* query, std::size_t dims, std::uint64_t k,
                                    std::uint16_t label, int expand) {
  return retrieve_top_k(db, query, dims, k, label, expand);
}

}  // namespace orvane
