// orvane query: one statement through the console dispatcher, on a graph
// from load_graph or an empty one, optionally saved afterwards.
//
// A statement that changes the graph needs somewhere to keep the result, so
// it is classified before any work: the writer lock of the output path is
// taken before the graph is loaded, and a second writer fails at once. The
// classification must agree with the dispatcher, which drops leading white
// space before and after the PROFILE prefix; otherwise "  PROFILE CREATE …"
// would run a CREATE and save nothing.
#include <iostream>
#include <memory>
#include <string>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/query_bound_options.h"
#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "graph/database.h"
#include "graph/json_text.h"
#include "query/cypher_statement.h"
#include "storage/atomic_file.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

namespace orvane {

bool is_mutating_statement(const std::string& statement) {
  std::string l(trim_start(ascii_lower(statement)));
  if (l.starts_with("profile ")) l = std::string(trim_start(std::string_view(l).substr(8)));
  return l.starts_with("create ") || l.starts_with("load ") || l.find("call orvane.migrate") != std::string::npos ||
         l.find("call orvane.restore") != std::string::npos ||
         l.find("call orvane.loadfromneo4j") != std::string::npos || statement_writes(statement);
}

int run_query_command(int argc, char** argv) {
  std::string statement = option_value(argc, argv, "--gql", "");
  if (statement.empty() && argc >= 3 && argv[2][0] != '-') statement = argv[2];
  if (statement.empty()) {
    std::cerr << "query requires --gql 'MATCH ... RETURN ...' or a Cypher statement\n";
    return 2;
  }
  const WorkBound bound = query_bound_options(argc, argv);
  const bool mutating = is_mutating_statement(statement);
  const std::string db_path = option_value(argc, argv, "--db", "");
  const std::string out_path = option_value(argc, argv, "--out", mutating ? db_path : "");
  if (mutating && out_path.empty()) {
    throw std::runtime_error(
        "a mutating query requires --db PATH or --out PATH; use shell for a new persistent graph");
  }
  std::unique_ptr<GraphWriterLock> lock;
  if (!out_path.empty()) {
    publish_target(out_path, "cannot write snapshot");
    lock = GraphWriterLock::acquire(out_path);
  }

  Database db;
  if (!db_path.empty() || has_flag(argc, argv, "--people") || has_flag(argc, argv, "--papers")) {
    db = load_graph(argc, argv);
  }
  db.compile();
  Engine engine;
  engine.set_query_bound(bound);
  engine.register_database("neo4j", std::move(db));
  engine.use_database("neo4j");

  ConsoleResult result;
  dispatch(result, engine, statement, "", nullptr);
  if (!result.ok) {
    std::cerr << "error: " << result.error << '\n';
    return 1;
  }
  if (!out_path.empty()) save_snapshot(engine.database(), out_path);
  if (result.data.empty()) {
    std::cout << "{\"count\":" << result.count << ",\"ns\":" << json_number(result.ns) << "}\n";
  } else {
    std::cout << result.data << '\n';
  }
  return 0;
}

}  // namespace orvane
