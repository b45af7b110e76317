// Build benchmark: corpus generation, compilation and the entropy worker at
// a size where memory traffic dominates. Prints each phase's wall time and
// the process's peak resident memory.
//
//   build_bench [persons] [papers] [seed]     (default 1000000 400000 42)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"

namespace {

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned long long persons = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const unsigned long long papers = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 400000;
  const unsigned seed = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 42;

  orvane::Database db;
  auto t0 = std::chrono::steady_clock::now();
  orvane::generate_corpus(db, persons, papers, seed);
  orvane::optimize_layout(db);
  const double total_ms = ms_since(t0);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peak_mib = usage.ru_maxrss / 1024.0;
  const unsigned long long nodes = db.graph.node_count;
  const std::size_t edges = db.graph.out_targets.size();
  db = orvane::Database();

  // Phase split on a second run: generation + first compile, then the worker.
  orvane::Database db2;
  t0 = std::chrono::steady_clock::now();
  orvane::generate_corpus(db2, persons, papers, seed);
  const double gen_compile_ms = ms_since(t0);
  t0 = std::chrono::steady_clock::now();
  db2.graph.compile();
  const double recompile_ms = ms_since(t0);
  t0 = std::chrono::steady_clock::now();
  orvane::optimize_layout(db2);
  const double worker_ms = ms_since(t0);

  std::printf("persons=%llu papers=%llu nodes=%llu edges=%zu\n", persons, papers, nodes, edges);
  std::printf("generate+compile+entropy_worker_ms=%.1f\n", total_ms);
  std::printf("  split: generate+compile_ms=%.1f recompile_ms=%.1f entropy_worker_ms=%.1f\n", gen_compile_ms,
              recompile_ms, worker_ms);
  std::printf("peak_rss_mib=%.1f (during the first, complete run)\n", peak_mib);
  return 0;
}
