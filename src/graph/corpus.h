// The deterministic synthetic corpus: Person nodes that follow each other in
// a scale-free pattern, Paper nodes, and AUTHORED relationships from persons
// to papers. The same (persons, papers, seed) always gives the same graph,
// byte for byte, so benchmarks and examples are comparable between runs.
#pragma once

#include <cstdint>

namespace orvane {

class Database;

// Rebuilds `db` from scratch as the corpus of `persons` Person and `papers`
// Paper nodes (identities 0 … P−1, then P … P+Q−1) and compiles it, with
// every position equal to its identity. Returns `db`. Commands show the
// corpus laid out: they pass the result to optimize_layout
// (layout/entropy_worker.h), which the graph store does not depend on.
// Throws std::runtime_error "graph exceeds node-ID format limits", leaving
// `db` untouched, when P, Q or P + Q exceeds 0xFFFFFFFE, and "out of memory:
// a corpus of N nodes needs at least ..." (see check_fits_in_memory) when it
// cannot fit in this machine's memory. A seed of 0 behaves
// as 1.
Database& generate_corpus(Database& db, std::uint64_t persons, std::uint64_t papers, std::uint32_t seed);

}  // namespace orvane
