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
#include <utility>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/query_bound_options.h"
#include "cli/query_parameters.h"
#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/statement_batch.h"
#include "console/transactions.h"
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
  engine.set_durable_commits(!has_flag(argc, argv, "--no-sync"));
  // However the shell ends, what its log holds is folded into the file.
  struct CheckpointAtExit {
    Engine& engine;
    ~CheckpointAtExit() {
      try {
        engine.checkpoint();
      } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << std::endl;
      }
    }
  } checkpoint_at_exit{engine};

  const bool interactive = ::isatty(STDIN_FILENO) == 1;
  if (interactive) {
    std::cerr << "Halvex shell. End each statement with ; (a :command ends with its line). Successful statements "
                 "are saved atomically. :quit exits."
              << std::endl;
  }
  bool failed = false;
  std::string tx;  // the open transaction's id; empty when none
  const auto show = [&](const ConsoleResult& result) {
    if (!result.ok) {
      std::cerr << "error: " << result.error << std::endl;
      failed = true;
      return;
    }
    std::cout << (result.data.empty() ? "{}" : result.data) << std::endl;
  };
  const auto run = [&](const std::string& statement) {
    try {
      switch (transaction_form(statement)) {
        case TransactionForm::kBegin:
          if (!tx.empty()) throw std::runtime_error("a transaction is open already: COMMIT or ROLLBACK it first");
          tx = engine.transactions().begin(engine, "");
          std::cout << "{\"ok\":true,\"transaction\":\"open\"}" << std::endl;
          return;
        case TransactionForm::kCommit:
        case TransactionForm::kRollback: {
          if (tx.empty()) throw std::runtime_error("no open transaction: BEGIN one first");
          const std::string id = std::exchange(tx, std::string());
          const bool commit = transaction_form(statement) == TransactionForm::kCommit;
          if (commit) {
            engine.transactions().commit(engine, id);
          } else {
            engine.transactions().rollback(id);
          }
          std::cout << "{\"ok\":true,\"transaction\":\"" << (commit ? "committed" : "rolled back") << "\"}"
                    << std::endl;
          return;
        }
        case TransactionForm::kNone: break;
      }
      if (tx.empty()) {
        ConsoleResult result;
        dispatch(result, engine, statement, "", nullptr);
        show(result);
        return;
      }
      BatchAnswer answer;
      const bool open = engine.transactions().run(engine, tx, statement, nullptr, answer);
      for (const ConsoleResult& result : answer.results) show(result);
      if (!open) {
        tx.clear();
        std::cerr << "error: the transaction was rolled back" << std::endl;
        failed = true;
      }
    } catch (const std::exception& e) {
      std::cerr << "error: " << e.what() << std::endl;
      failed = true;
    }
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
      if (!tx.empty()) {
        std::cerr << "error: the open transaction was rolled back: COMMIT it to keep its changes" << std::endl;
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
