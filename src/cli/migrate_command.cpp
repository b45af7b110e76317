// orvane migrate: a Neo4j export directory or ".dump" archive (--from), or a
// live Neo4j server pulled into a new directory (--bolt, --from), becomes
// the snapshot --out.
//
// The command works through the same migration operations as the console,
// on an Engine of its own that has no snapshot path: the command saves the
// selected database itself once the report line is out. The --out path is
// checked and its writer lock taken before any import or bridge runs, so a
// second writer, or a path that can never take a snapshot, fails at once
// and costs no pull.
//
// --reduce, which once asked for a reduced import, is still accepted; every
// import is whole now, and the command says so on a "reduced: nothing; ..."
// line after the "migrated from" line.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/progress_line.h"
#include "console/engine.h"
#include "console/migration.h"
#include "graph/database.h"
#include "io/admin_import.h"
#include "io/transfer_progress.h"
#include "io/reductions.h"
#include "storage/atomic_file.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

namespace orvane {
namespace {

// " nodes=N edges=E people=P papers=Q" of the selected database, and
// " embedding_dim=D" when the data brought embeddings of another width than
// the 32 every graph has without them (so the line of such an import reads
// as it always has).
std::string counts(const Database& db) {
  std::string text = " nodes=" + std::to_string(db.graph.node_count) +
                     " edges=" + std::to_string(db.graph.out_targets.size()) +
                     " people=" + std::to_string(db.people) + " papers=" + std::to_string(db.papers);
  if (db.embedding_dim != kDefaultEmbeddingDim) text += " embedding_dim=" + std::to_string(db.embedding_dim);
  return text;
}

// migrate with neo4j-admin's arguments: --nodes and --relationships
// groups, the CSV options, and --out.
int run_admin_migrate(const std::vector<std::string>& arguments) {
  std::vector<std::string> rest;
  const AdminImportOptions options = parse_admin_import_arguments(arguments, rest);
  std::string out;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == "--out" && i + 1 < rest.size() && out.empty()) {
      out = rest[++i];
    } else if (rest[i].starts_with("--out=") && out.empty()) {
      out = rest[i].substr(6);
    } else if (rest[i] == "--from" || rest[i] == "--bolt") {
      throw std::runtime_error("migrate takes --from, --bolt or --nodes/--relationships groups, not several");
    } else {
      throw std::runtime_error("unknown argument: " + rest[i]);
    }
  }
  if (out.empty()) throw std::runtime_error("migrate requires an explicit source and --out SNAP to persist the imported graph");
  publish_target(out, "cannot write snapshot");
  const GraphWriterLock lock(out);
  Engine engine;
  AdminImportReport report;
  {
    TransferProgress progress;
    const ProgressScope counted(&progress);
    const ProgressLine line("importing", progress);
    install_prepared(engine, prepare_admin_migration(options, "migrated", &report));
  }
  std::cout << "migrated from " << options.nodes.size() << " node and " << options.relationships.size()
            << " relationship file groups" << counts(engine.database()) << '\n';
  if (report.skipped_nodes + report.skipped_relationships != 0) {
    std::cout << "skipped: " << report.skipped_nodes << " duplicate nodes, " << report.skipped_relationships
              << " relationships to missing nodes\n";
    for (const std::string& entry : report.skipped) std::cout << "  " << entry << '\n';
  }
  save_snapshot(engine.database(), out);
  std::cout << "snapshot " << out << '\n';
  return 0;
}

}  // namespace

int run_migrate(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + std::min(argc, 2), argv + argc);
  if (has_admin_import_groups(arguments)) return run_admin_migrate(arguments);
  const std::string bolt = option_value(argc, argv, "--bolt", "");
  const std::string from = option_value(argc, argv, "--from", bolt.empty() ? "" : kDefaultPullDirectory);
  const std::string out = option_value(argc, argv, "--out", "");
  if (from.empty() || out.empty()) {
    throw std::runtime_error("migrate requires an explicit source and --out SNAP to persist the imported graph");
  }
  publish_target(out, "cannot write snapshot");
  const GraphWriterLock lock(out);

  const bool reduce = has_flag(argc, argv, "--reduce");

  Engine engine;
  std::vector<std::string> ignored;
  std::string done;  // the line that says what was imported
  {
    TransferProgress progress;
    const ProgressScope counted(&progress);
    const ProgressLine line("importing", progress);
    if (bolt.empty()) {
      PreparedGraph prepared = prepare_migration(from, "migrated");
      ignored = std::move(prepared.ignored);
      install_prepared(engine, std::move(prepared));
      done = "migrated from " + from + counts(engine.database());
    } else {
      const std::string user = option_value(argc, argv, "--user", kNeo4jDefaultUser);
      const std::string password = option_value(argc, argv, "--password", kNeo4jDefaultPassword);
      const std::string database = option_value(argc, argv, "--database", kNeo4jDefaultDatabase);
      pull_from_neo4j(engine, bolt, user, password, database, from);
      done = "loaded from " + bolt + counts(engine.database()) + " (CPU load; GPU is retrieve only)";
    }
  }
  std::cout << done << '\n';
  if (reduce) std::cout << "reduced: " << kNothingReduced << '\n';
  for (const std::string& name : ignored) std::cout << "ignored: " << name << " (not read by the import)\n";
  save_snapshot(engine.database(), out);
  std::cout << "snapshot " << out << '\n';
  return 0;
}

}  // namespace orvane
