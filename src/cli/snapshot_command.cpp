// orvane snapshot: writes a graph (from load_graph) to a snapshot file. The
// path is checked and the writer lock taken before any graph work, so a path
// that cannot take the snapshot, or a second writer on the same path, fails
// at once instead of after building a graph it could not save.
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "graph/database.h"
#include "storage/atomic_file.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

namespace orvane {

int run_snapshot(int argc, char** argv) {
  const std::string path = option_value(argc, argv, "--out", "data/graph.orv");
  publish_target(path, "cannot write snapshot");
  const GraphWriterLock lock(path);
  const Database db = load_graph(argc, argv);
  save_snapshot(db, path);
  std::cout << "wrote " << path << " nodes=" << db.graph.node_count << " edges=" << db.graph.out_targets.size()
            << '\n';
  return 0;
}

}  // namespace orvane
