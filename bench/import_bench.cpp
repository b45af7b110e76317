// Import benchmark: the Neo4j export import over the CSV export of a
// generated corpus. Two modes, run as separate processes so that the
// generator's memory never counts against the import's peak:
//
//   import_bench export DIR [persons] [papers] [seed]   (default 1000000 400000 42)
//       generates the corpus and exports it as CSV into the new directory DIR
//   import_bench import DIR
//   import_bench time DIR     (the import alone, for profilers)
//       imports DIR and prints the input rate (MB/s, 1 MB = 10^6 bytes), the
//       peak resident memory above the starting point, and the imported
//       graph's own footprint: the resident memory that one copy of the
//       returned Database takes (a copy is allocated compactly, free of the
//       heap fragments and spare capacity the import leaves behind).
//       The rate is given per wall second and per CPU second of this
//       process: on a shared machine the second is the steadier figure.
//   import_bench split DIR N
//       cuts DIR's nodes.csv and rels.csv into DIR.split: a header file and
//       N data files each, as neo4j-admin's file groups take them
//   import_bench groups DIR N
//       imports DIR as neo4j-admin file groups: the single pair when N is
//       1, else DIR.split's N files per group; prints the rate and peak as
//       import does
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "graph/corpus.h"
#include "graph/database.h"
#include "io/export.h"
#include "io/admin_import.h"
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

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int import_export(const std::string& dir, bool footprint) {
  namespace fs = std::filesystem;
  double bytes = 0;
  for (const auto& entry : fs::directory_iterator(dir)) bytes += static_cast<double>(entry.file_size());
  const double base_mib = status_mib("VmRSS");
  const auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = cpu_seconds();
  const orvane::Database db = orvane::import_neo4j_export(dir);
  const double cpu = cpu_seconds() - cpu0;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double peak_mib = status_mib("VmHWM") - base_mib;
  std::printf("input_mb=%.1f seconds=%.2f cpu_seconds=%.2f rate_mb_s=%.1f cpu_rate_mb_s=%.1f (target >= 50)\n",
              bytes / 1e6, seconds, cpu, bytes / 1e6 / seconds, bytes / 1e6 / cpu);
  if (!footprint) return 0;
  const double before_copy_mib = status_mib("VmRSS");
  const orvane::Database copy = db;
  const double footprint_mib = status_mib("VmRSS") - before_copy_mib;
  std::printf("nodes=%llu relationships=%zu people=%llu papers=%llu\n",
              static_cast<unsigned long long>(db.graph.node_count), db.graph.out_targets.size(),
              static_cast<unsigned long long>(db.people), static_cast<unsigned long long>(db.papers));
  std::printf("peak_rss_mib=%.1f graph_footprint_mib=%.1f peak_over_footprint=%.2f (target < 2)\n", peak_mib,
              footprint_mib, peak_mib / footprint_mib);
  return 0;
}

// Cuts `from` into a header file and `parts` data files of about equal
// size, at line ends (the corpus export writes no line breaks in fields).
void split_file(const std::string& from, const std::string& prefix, unsigned parts) {
  std::ifstream in(from, std::ios::binary);
  std::string line;
  std::getline(in, line);
  std::ofstream(prefix + "_header.csv", std::ios::binary) << line << '\n';
  const auto size = std::filesystem::file_size(from);
  for (unsigned p = 0; p < parts; ++p) {
    std::ofstream out(prefix + "_" + std::to_string(p) + ".csv", std::ios::binary);
    const auto until = size * (p + 1) / parts;
    while (static_cast<std::uintmax_t>(in.tellg()) < until && std::getline(in, line)) out << line << '\n';
  }
}

int split_export(const std::string& dir, unsigned parts) {
  std::filesystem::create_directories(dir + ".split");
  split_file(dir + "/nodes.csv", dir + ".split/nodes", parts);
  split_file(dir + "/rels.csv", dir + ".split/rels", parts);
  std::printf("split into %u node files and %u relationship files\n", parts, parts);
  return 0;
}

int import_groups(const std::string& dir, unsigned parts) {
  orvane::AdminImportOptions options;
  orvane::ImportFileGroup nodes, rels;
  if (parts <= 1) {
    nodes.files = {dir + "/nodes.csv"};
    rels.files = {dir + "/rels.csv"};
  } else {
    nodes.files = {dir + ".split/nodes_header.csv"};
    rels.files = {dir + ".split/rels_header.csv"};
    for (unsigned p = 0; p < parts; ++p) {
      nodes.files.push_back(dir + ".split/nodes_" + std::to_string(p) + ".csv");
      rels.files.push_back(dir + ".split/rels_" + std::to_string(p) + ".csv");
    }
  }
  double bytes = 0;
  for (const auto* group : {&nodes, &rels}) {
    for (const std::string& f : group->files) bytes += static_cast<double>(std::filesystem::file_size(f));
  }
  options.nodes = {nodes};
  options.relationships = {rels};
  const double base_mib = status_mib("VmRSS");
  const auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = cpu_seconds();
  const orvane::Database db = orvane::import_admin_groups(options);
  const double cpu = cpu_seconds() - cpu0;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("groups files_per_group=%u input_mb=%.1f seconds=%.2f cpu_seconds=%.2f rate_mb_s=%.1f peak_rss_mib=%.1f "
              "nodes=%llu relationships=%zu\n",
              parts, bytes / 1e6, seconds, cpu, bytes / 1e6 / seconds, status_mib("VmHWM") - base_mib,
              static_cast<unsigned long long>(db.graph.node_count), db.graph.edges.size());
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
    if (mode == "import" || mode == "time") return import_export(argv[2], mode == "import");
    if (mode == "split" && argc > 3) return split_export(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
    if (mode == "groups" && argc > 3) return import_groups(argv[2], static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: import_bench export DIR [persons] [papers] [seed] | import_bench import|time DIR | "
               "import_bench split|groups DIR N\n");
  return 2;
}
