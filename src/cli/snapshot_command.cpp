// orvane snapshot: builds the command's graph (load_graph) and writes it as a
// durable snapshot file. The writer lock on the output path is taken before
// any graph work, so a second writer fails at once instead of after a long
// corpus generation, and it is held until the file is published.
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "graph/database.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

namespace orvane {

int run_snapshot(int argc, char** argv) {
  const std::string path = option_value(argc, argv, "--out", "data/graph.orv");
  const GraphWriterLock lock(path);
  const Database db = load_graph(argc, argv);
  save_snapshot(db, path);
  // The relationship count is that of the compiled CSR: compilation has
  // already removed duplicate relationships.
  std::cout << "wrote " << path << " nodes=" << db.graph.node_count
            << " edges=" << db.graph.out_targets.size() << '\n';
  return 0;
}

}  // namespace orvane
