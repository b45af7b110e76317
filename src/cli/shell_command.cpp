// orvane shell: an interactive loop over one graph file. Statements end
// with ";", colon commands with their line (console/statement_scanner.h,
// the scanner the server and the query command split input with), and run
// through the console dispatcher. The scanner leaves the size of a
// statement to its reader; the shell bounds what it collects.
// The engine keeps the file's database there (and any database a statement
// adds beside it, as a server does): every statement that changes a
// database saves it by atomic replacement before it answers, so the file
// always holds the state after the last successful statement, and a failed
// one changes nothing on disk.
//
// The writer lock is taken before the file is read and held until the
// shell ends: a second shell (or any other writer) on the same file fails at
// once instead of overwriting this one's work.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/query_bound_options.h"
#include "cli/query_parameters.h"
#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "console/parameter_values.h"
#include "console/statement_scanner.h"
#include "graph/database.h"
#include "storage/writer_lock.h"

namespace orvane {
namespace {

// The most text a statement may collect before its ";".
constexpr std::size_t kMaxShellStatementBytes = 65536;

}  // namespace

int run_shell(int argc, char** argv) {
  const std::string path = option_value(argc, argv, "--db", "");
  if (path.empty()) throw std::runtime_error("shell requires --db PATH; a missing file starts an empty graph");
  const ParamMap params = command_line_parameters(argc, argv);
  const WorkBound bound = query_bound_options(argc, argv);
  auto lock = GraphWriterLock::acquire(path);

  Engine engine;
  if (!std::filesystem::exists(path)) {
    Database db;
    db.compile();
    engine.register_database("orvane", std::move(db));
    engine.use_database("orvane");
    engine.keep_in(path, std::move(lock), true);
  } else {
    engine.open_kept(path, std::move(lock));
  }

  set_parameters(engine, params);
  engine.set_query_bound(bound);

  const bool interactive = ::isatty(STDIN_FILENO) == 1;
  if (interactive) {
    std::cerr << "Halvex shell. End each statement with ; (a :command ends with its line). Successful statements "
                 "are saved atomically. :quit exits."
              << std::endl;
  }
  bool failed = false;
  const auto run = [&](const std::string& statement) {
    ConsoleResult result;
    dispatch(result, engine, statement, "", nullptr);
    if (!result.ok) {
      std::cerr << "error: " << result.error << std::endl;
      failed = true;
      return;
    }
    std::cout << (result.data.empty() ? "{}" : result.data) << std::endl;
  };

  StatementScanner scanner;
  std::string line;
  for (;;) {
    if (interactive) std::cerr << (scanner.pending() ? "       ... " : "halvex> ") << std::flush;
    if (!std::getline(std::cin, line)) {
      if (scanner.pending()) {
        std::cerr << "error: unfinished statement; terminate it with ;" << std::endl;
        return 1;
      }
      return failed ? 1 : 0;
    }
    if (!scanner.pending() && (line == ":quit" || line == ":exit")) return failed ? 1 : 0;
    scanner.feed_line(line, run);
    // Checked once per line: a statement may be as long as the shell allows
    // however it is broken into lines, and statements this line completed
    // have run.
    if (scanner.pending_bytes() > kMaxShellStatementBytes) throw std::runtime_error("shell statement exceeds 64 KiB");
  }
}

}  // namespace orvane
