// orvane query: one input of one or more statements through the console
// (console/statement_batch.h), on a graph from load_graph or an empty one,
// with the command line's parameters, optionally saved afterwards.
//
// A statement that changes the graph needs somewhere to keep the result, so
// every statement of the input is classified before any work: the writer
// lock of the output path is taken before the graph is loaded, and a second
// writer fails at once. The classification must agree with the dispatcher,
// which drops leading white space before and after the PROFILE prefix;
// otherwise "  PROFILE CREATE …" would run a CREATE and save nothing.
//
// Several statements stop at the first failure, and those before it keep
// their effects, as in the shell and the server: the graph is saved when
// any statement succeeded.
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/query_bound_options.h"
#include "cli/query_parameters.h"
#include "console/console_result.h"
#include "console/engine.h"
#include "console/parameter_values.h"
#include "console/statement_batch.h"
#include "console/statement_scanner.h"
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

namespace {

// Whether any statement of `input` changes the graph; an input of one
// statement is classified whole, as the dispatcher receives it.
bool is_mutating_input(const std::string& input) {
  const std::vector<std::string> statements = split_statements(input);
  if (statements.size() <= 1) return is_mutating_statement(input);
  for (const std::string& statement : statements) {
    if (is_mutating_statement(statement)) return true;
  }
  return false;
}

}  // namespace

// What an answer without a document prints: its count and time.
static std::string summary_of(const ConsoleResult& result) {
  return "{\"count\":" + std::to_string(result.count) + ",\"ns\":" + json_number(result.ns) + "}\n";
}

int run_query_command(int argc, char** argv) {
  std::string input = option_value(argc, argv, "--gql", "");
  if (input.empty() && argc >= 3 && argv[2][0] != '-') input = argv[2];
  if (input.empty()) {
    std::cerr << "query requires --gql 'MATCH ... RETURN ...' or a Cypher statement\n";
    return 2;
  }
  const ParamMap params = command_line_parameters(argc, argv);
  const WorkBound bound = query_bound_options(argc, argv);
  const bool mutating = is_mutating_input(input);
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
  // The command line's parameters are the session's :param values, so a
  // :param in the input replaces one of them, as it would in the shell.
  set_parameters(engine, params);

  BatchAnswer answer;
  if (!mutating && out_path.empty() && split_statements(input).size() <= 1) {
    // One statement that changes and keeps nothing: its rows stream to the
    // output as they come, however many there are.
    answer.results.emplace_back();
    dispatch(answer.results.back(), engine, input, "", nullptr, &std::cout);
    const ConsoleResult& result = answer.results.back();
    if (result.streamed) std::cout << '\n';
    if (result.ok && !result.streamed) std::cout << (result.data.empty() ? summary_of(result) : result.data + "\n");
    std::cout << std::flush;
    if (!result.ok) std::cerr << "error: " << result.error << '\n';
    return result.ok ? 0 : 1;
  }
  dispatch_input(answer, engine, input, "", nullptr);
  // Saved before anything is printed: a failed save prints no answer.
  std::string printed;
  std::string error;
  bool any_ok = false;
  for (const ConsoleResult& result : answer.results) {
    if (!result.ok) {
      error = result.error;
      break;
    }
    any_ok = true;
    printed += result.data.empty() ? summary_of(result) : result.data + "\n";
  }
  if (any_ok && !out_path.empty()) save_snapshot(engine.database(), out_path);
  std::cout << printed << std::flush;
  if (!answer.ok()) std::cerr << "error: " << error << '\n';
  return answer.ok() ? 0 : 1;
}

}  // namespace orvane
