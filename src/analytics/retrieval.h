// Vector retrieval and GraphRAG: exact cosine top-k over node embeddings on
// all CPU threads, the GraphRAG pack built on it (papers, their authors,
// the authors' other papers and followed people, and a multi-hop subgraph),
// its JSON forms, and the dimension sweep over random matrices.
//
// A GPU lane is named in outputs, but this program has no device code: the
// lane reports itself unavailable and always runs the CPU path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class Database;

struct Hit {
  std::uint32_t id = 0;  // identity
  float score = 0;       // cosine similarity in [-1, 1]; 0 for expanded neighbours
};

struct RagPack {
  std::uint64_t k = 0;     // as requested
  std::int32_t hops = 0;   // expansion levels; negative requests become 0
  std::uint64_t papers = 0;          // hits
  std::uint64_t authors = 0;         // distinct authors of the hits
  std::uint64_t related_papers = 0;  // the hits and every other paper of their authors
  std::uint64_t followed = 0;        // distinct people the authors follow
  std::uint64_t context_nodes = 0;   // = subgraph_nodes
  std::uint64_t subgraph_nodes = 0;
  std::uint64_t subgraph_people = 0;
  std::uint64_t subgraph_papers = 0;
  double retrieve_ns = 0;  // retrieval time
  double expand_ns = 0;    // everything after retrieval
  bool gpu = false;        // gpu_available() at the time of the pack
  std::vector<std::uint32_t> paper_ids;  // hit identities, best first
  std::vector<float> paper_scores;       // their scores, same order
  std::vector<std::uint32_t> subgraph;   // identities: the hits, then each level's new nodes
};

struct DimSweepRow {
  std::uint32_t dim = 0;
  std::uint64_t n = 0;
  std::uint64_t k = 0;     // min(requested k, n)
  double cpu_ns = 0;       // mean per run
  double gpu_ns = 0;       // 0 without a device
  double gpu_cosine_ns = 0;
  double gpu_topk_ns = 0;
  bool gpu = false;
};

// The query vector of a text, `dims` floats written to `out` (a database's
// embedding_dim, dims ≥ 1): a hot component chosen by the first topic name
// the text contains, else by the number after "topic", else by the text's
// lower-cased FNV-1a hash, plus the seeded noise of seed_embedding with that
// hash as seed. Throws std::out_of_range "stoul" for a number after "topic"
// too large for the conversion.
void text_embedding(float* out, std::size_t dims, std::string_view text);

// The k nodes with label `label` whose embeddings are most similar to
// `query` (cosine), best first; ties between equal scores in ascending
// identity. `query` holds `dims` floats, and a query of any other width than
// the Database's embedding_dim retrieves nothing. A zero query or a zero
// embedding scores 0. Scores are always finite, even for embeddings with
// huge components. With `expand` non-zero the hits' outgoing neighbours (all
// types) follow with score 0, each identity once. Runs one OpenMP team over
// static blocks of identities; reads labels and embeddings only, so an
// uncompiled graph is fine (nothing to expand).
std::vector<Hit> retrieve_top_k(const Database& db, const float* query, std::size_t dims, std::uint64_t k,
                                std::uint16_t label, int expand);

// The GPU lane: no device in this program.
bool gpu_available();
const char* gpu_device_name();  // "none (CPU SIMD fallback; GPU kernels compile when CUDA is present)"
std::vector<Hit> gpu_retrieve_top_k(const Database& db, const float* query, std::size_t dims, std::uint64_t k,
                                    std::uint16_t label, int expand);

// Retrieves the top-k Paper nodes (retrieve_top_k: nothing for a query of
// another width than the Database's), gathers their authors, the authors'
// papers and followed people, and expands a `hops`-level subgraph around the
// hits over all types in both directions (just the hits when the graph is
// not compiled). Timings are on the monotonic clock.
RagPack graphrag_pack(const Database& db, const float* query, std::size_t dims, std::uint64_t k, int hops);

// One compact JSON object: k, hops, the counts, retrieve_ns, expand_ns,
// e2e_ns, gpu, paper_ids and a note.
std::string rag_pack_json(const RagPack& pack);

// The retrieval document of the console and the HTTP API: the pack for
// `query`, which holds the Database's embedding_dim floats, with readable
// hits and one text document per hit paper (authors, related papers,
// subgraph size), names JSON-escaped.
std::string retrieval_document_json(const Database& db, const float* query, std::uint64_t k, int hops);

// Times the CPU cosine top-k over a random n × dim matrix for every entry
// of `dims` (0 entries skipped), max(iterations, 1) timed runs after one
// untimed. Empty when n, k or the list is empty/0. Throws
// std::runtime_error "dimension sweep matrix of N x D floats is too large"
// when n × dim floats cannot be addressed.
std::vector<DimSweepRow> dimension_sweep(std::uint64_t n, std::uint64_t k, const std::vector<std::uint32_t>& dims,
                                         int iterations);

// The first dimension at which the GPU lane beat the CPU, 0 when it never
// did (always, without a device).
std::uint32_t sweep_crossover_dim(const std::vector<DimSweepRow>& rows);

}  // namespace orvane
