// Snapshot benchmark: save_snapshot and load_snapshot of the benchmark
// corpus against `sha256sum` of the same file, which reads every byte once
// and hashes it, the least that either operation must do (the writer hashes
// what it writes, the loader verifies the digest before parsing). Rounds
// interleave the three so that a noisy machine slows them alike; each
// figure is the best round, with the file in the page cache.
//
//   snapshot_bench [persons] [papers] [seed] [file] [rounds]
//                  (default 1000000 400000 42 /tmp/orvane-snapshot-bench-PID.orv 3)
//   snapshot_bench --save-only persons papers seed file
//   snapshot_bench --load-only file [rounds]
//
// The two single-operation forms keep the file and time one operation alone,
// so that a profiler or /usr/bin/time -v (peak RSS) sees that operation
// without the other: --save-only generates the corpus and saves it once,
// --load-only loads an existing file `rounds` times.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "storage/snapshot.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Single quotes for the shell; a quote inside becomes '\''.
std::string shell_quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Generates the corpus as the benchmark does and saves it once to `path`.
int save_only(unsigned long long persons, unsigned long long papers, unsigned seed, const std::string& path) {
  orvane::Database db;
  orvane::generate_corpus(db, persons, papers, seed);
  orvane::optimize_layout(db);
  const auto t0 = Clock::now();
  orvane::save_snapshot(db, path);
  std::printf("save_ms=%.1f\n", ms_since(t0));
  return 0;
}

// Loads `path` `rounds` times; prints the best time.
int load_only(const std::string& path, int rounds) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = Clock::now();
    const orvane::Database loaded = orvane::load_snapshot(path);
    best = std::min(best, ms_since(t0));
  }
  std::printf("load_ms=%.1f\n", best);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--save-only") {
    return save_only(std::strtoull(argv[2], nullptr, 10), std::strtoull(argv[3], nullptr, 10),
                     static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)), argv[5]);
  }
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--load-only") {
    return load_only(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 1);
  }
  const unsigned long long persons = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const unsigned long long papers = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 400000;
  const unsigned seed = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 42;
  const std::string path =
      argc > 4 ? argv[4] : "/tmp/orvane-snapshot-bench-" + std::to_string(::getpid()) + ".orv";
  const int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;

  orvane::Database db;
  auto t0 = Clock::now();
  orvane::generate_corpus(db, persons, papers, seed);
  orvane::optimize_layout(db);
  const double generate_ms = ms_since(t0);

  const std::string sha_command = "sha256sum " + shell_quoted(path) + " > /dev/null";
  double save_ms = 1e300, load_ms = 1e300, sha_ms = 1e300;
  for (int r = 0; r < rounds; ++r) {
    t0 = Clock::now();
    orvane::save_snapshot(db, path);
    save_ms = std::min(save_ms, ms_since(t0));

    t0 = Clock::now();
    if (std::system(sha_command.c_str()) != 0) {
      std::fprintf(stderr, "sha256sum failed\n");
      return 1;
    }
    sha_ms = std::min(sha_ms, ms_since(t0));

    t0 = Clock::now();
    orvane::Database loaded = orvane::load_snapshot(path);
    load_ms = std::min(load_ms, ms_since(t0));  // the Database's destruction is not counted
    if (loaded.graph.node_count != db.graph.node_count || loaded.graph.out_targets != db.graph.out_targets ||
        loaded.names != db.names) {
      std::fprintf(stderr, "loaded graph differs from the saved one\n");
      return 1;
    }
  }

  const double mb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  std::filesystem::remove(path);
  const auto rate = [mb](double ms) { return mb / (ms / 1000.0); };
  std::printf("persons=%llu papers=%llu nodes=%llu edges=%zu generate_ms=%.0f rounds=%d\n", persons, papers,
              static_cast<unsigned long long>(db.graph.node_count), db.graph.out_targets.size(), generate_ms,
              rounds);
  std::printf("file_mb=%.1f\n", mb);
  std::printf("save_ms=%.1f save_mb_s=%.0f\n", save_ms, rate(save_ms));
  std::printf("load_ms=%.1f load_mb_s=%.0f\n", load_ms, rate(load_ms));
  std::printf("sha256_ms=%.1f sha256_mb_s=%.0f\n", sha_ms, rate(sha_ms));
  std::printf("save/sha256=%.2f load/sha256=%.2f (target: each at most 1.00)\n", save_ms / sha_ms,
              load_ms / sha_ms);
  return 0;
}
