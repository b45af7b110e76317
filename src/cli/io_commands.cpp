// orvane export and orvane generate: the command-line front ends of export
// (a snapshot to a new CSV or JSON-lines directory) and of corpus generation
// with benchmark-layout CSV output.
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <string>

#include "cli/progress_line.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "io/export.h"
#include "io/transfer_progress.h"
#include "layout/entropy_worker.h"
#include "layout/layout_stats.h"
#include "storage/snapshot.h"

namespace orvane {
namespace {

long long elapsed_ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int run_export(int argc, char** argv) {
  const std::string db_path = option_value(argc, argv, "--db", "");
  const std::string out = option_value(argc, argv, "--out", "");
  if (db_path.empty() || out.empty()) throw std::runtime_error("export requires --db SNAP --out NEW_DIRECTORY");
  const std::string format = option_value(argc, argv, "--format", "csv");
  check_export_request(out, format);
  const Database db = load_snapshot(db_path);
  {
    TransferProgress progress;
    const ProgressScope counted(&progress);
    const ProgressLine line("exporting", progress);
    export_graph(db, out, format);
  }
  std::cout << "exported nodes=" << db.graph.node_count << " edges=" << db.graph.out_targets.size() << " to "
            << out << '\n';
  return 0;
}

int run_generate(int argc, char** argv) {
  const std::uint64_t people = parse_unsigned(option_value(argc, argv, "--people", "20000"), "--people");
  const std::uint64_t papers = parse_unsigned(option_value(argc, argv, "--papers", "8000"), "--papers");
  const std::uint64_t seed = parse_unsigned(option_value(argc, argv, "--seed", "42"), "--seed");
  const std::string out = option_value(argc, argv, "--out", "data");
  check_corpus_target(out);

  const auto generate_start = std::chrono::steady_clock::now();
  Database db;
  generate_corpus(db, people, papers, static_cast<std::uint32_t>(seed));
  optimize_layout(db);
  const long long generate_ms = elapsed_ms(generate_start);

  const auto export_start = std::chrono::steady_clock::now();
  publish_corpus_files(db, out);
  const long long export_ms = elapsed_ms(export_start);

  std::cout << "generated people=" << people << " papers=" << papers << " nodes=" << db.graph.node_count
            << " unique_edges=" << db.graph.out_targets.size()
            << " pending_before_unique=" << db.graph.edges.size() << '\n';
  print_layout_stats("entropy after optimize", compute_layout_stats(db.graph));
  std::cout << "generate_ms=" << generate_ms << " export_ms=" << export_ms << '\n'
            << "csv_dir=" << out << '\n';
  return 0;
}

}  // namespace orvane
