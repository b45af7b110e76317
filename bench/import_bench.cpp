// Import benchmark: the Neo4j export import over the CSV export of a
// generated corpus. Two modes, run as separate processes so that the
// generator's memory never counts against the import's peak:
//
//   import_bench export DIR [persons] [papers] [seed]   (default 1000000 400000 42)
//       generates the corpus and exports it as CSV into the new directory DIR
//   import_bench import DIR
//       imports DIR and prints the input rate (MB/s, 1 MB = 10^6 bytes), the
//       peak resident memory above the starting point, and the imported
//       graph's own footprint: the resident memory it still holds once the
//       import has returned and freed heap pages went back to the system.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "graph/corpus.h"
#include "graph/database.h"
#include "io/export.h"
#include "io/neo4j_import.h"

namespace {

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
double status_mib(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(field + ":")) return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024.0;
  }
  return 0;
}

int export_corpus(const std::string& dir, unsigned long long persons, unsigned long long papers, unsigned seed) {
  orvane::Database db;
  orvane::generate_corpus(db, persons, papers, seed);
  orvane::export_graph(db, dir, "csv");
  std::printf("exported persons=%llu papers=%llu nodes=%llu relationships=%zu to %s\n", persons, papers,
              static_cast<unsigned long long>(db.graph.node_count), db.graph.out_targets.size(), dir.c_str());
  return 0;
}

int import_export(const std::string& dir) {
  namespace fs = std::filesystem;
  double bytes = 0;
  for (const auto& entry : fs::directory_iterator(dir)) bytes += static_cast<double>(entry.file_size());
  const double base_mib = status_mib("VmRSS");
  const auto t0 = std::chrono::steady_clock::now();
  const orvane::Database db = orvane::import_neo4j_export(dir);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double peak_mib = status_mib("VmHWM") - base_mib;
  malloc_trim(0);
  const double footprint_mib = status_mib("VmRSS") - base_mib;
  std::printf("nodes=%llu relationships=%zu people=%llu papers=%llu\n",
              static_cast<unsigned long long>(db.graph.node_count), db.graph.out_targets.size(),
              static_cast<unsigned long long>(db.people), static_cast<unsigned long long>(db.papers));
  std::printf("input_mb=%.1f seconds=%.2f rate_mb_s=%.1f (target >= 50)\n", bytes / 1e6, seconds,
              bytes / 1e6 / seconds);
  std::printf("peak_rss_mib=%.1f graph_footprint_mib=%.1f peak_over_footprint=%.2f (target < 2)\n", peak_mib,
              footprint_mib, peak_mib / footprint_mib);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  try {
    if (mode == "export") {
      return export_corpus(argv[2], argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1000000,
                           argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 400000,
                           argc > 5 ? static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)) : 42);
    }
    if (mode == "import") return import_export(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: import_bench export DIR [persons] [papers] [seed] | import_bench import DIR\n");
  return 2;
}
