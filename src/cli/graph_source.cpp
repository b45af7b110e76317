// load_graph: where a command's graph comes from.

#include "cli/commands.h"
#include "cli/options.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "storage/snapshot.h"

namespace orvane {

Database load_graph(int argc, char** argv) {
  const std::string db_path = option_value(argc, argv, "--db", "");
  if (!db_path.empty()) return load_snapshot(db_path);
  Database db;
  if (has_flag(argc, argv, "--empty")) {
    db.compile();
    return db;
  }
  const std::uint64_t people = parse_unsigned(option_value(argc, argv, "--people", "20000"), "--people");
  const std::uint64_t papers = parse_unsigned(option_value(argc, argv, "--papers", "8000"), "--papers");
  const std::uint64_t seed = parse_unsigned(option_value(argc, argv, "--seed", "42"), "--seed");
  generate_corpus(db, people, papers, static_cast<std::uint32_t>(seed));
  optimize_layout(db);
  return db;
}

}  // namespace orvane
