// Explicit transactions: several statements, then commit or rollback, as
// one unit of work. The HTTP routes /v1/tx…, the shell's BEGIN, COMMIT and
// ROLLBACK, and Bolt's BEGIN/COMMIT/ROLLBACK all open and end them here.
//
// A transaction reads the committed graph until its first write; that
// write gives it a graph of its own, which every later statement of the
// transaction reads and writes, so that nobody else sees its changes
// before it commits: the database's writer's copy, lent to it
// (console/database_versions.h), or when that is not ready a private copy
// of the database. Commit logs its record and publishes that graph
// (Engine::commit_transaction); rollback takes its changes back from the
// lent copy, or drops the private one. One unit
// writes a database at a time: while a transaction holds the copy, a
// write from anywhere else is refused with a transient error that asks to
// retry. A statement that fails rolls its whole transaction back, as in
// Neo4j. A transaction idle longer than the idle bound is rolled back the
// next time anyone asks for transactions.
//
// Requires: the engine's exclusive use (a server holds Engine::mutex()).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "console/dispatcher.h"
#include "graph/database.h"
#include "graph/undo_log.h"

namespace orvane {

class Engine;
struct BatchAnswer;

using TxClock = std::chrono::steady_clock;

// The idle time after which an open transaction is rolled back.
inline constexpr std::chrono::seconds kTransactionIdleBound{60};

struct Transaction {
  std::string id;
  std::string database;             // the database it works on (a name, never empty)
  std::shared_ptr<Database> work;   // its graph from its first write on; null before
  bool lent = false;                // work is the writer's copy lent by the engine
  DatabaseMark start;               // work's sizes when it was copied
  UndoLog undo;                     // what its writes changed in what existed before them
  TxClock::time_point last_used;
  std::uint64_t statements = 0;     // statements run in it
  bool failed = false;              // a statement failed: it can only be rolled back
};

// The console's transaction forms: BEGIN, COMMIT and ROLLBACK (any case,
// surrounding white space and a final ";" allowed).
enum class TransactionForm { kNone, kBegin, kCommit, kRollback };
TransactionForm transaction_form(const std::string& statement);

// Refuses a write to `database` by any unit but `self` (null: a
// statement of its own) while a transaction holds a copy of it: throws
// CypherError TransientError "database NAME is being written by an open
// transaction; retry when it commits or rolls back".
void refuse_other_writer(Engine& engine, const std::string& database, const Transaction* self);

// While it lives, the statements dispatched on `engine` run in `tx`.
class TransactionScope {
 public:
  TransactionScope(Engine& engine, Transaction& tx);
  ~TransactionScope();
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;

 private:
  Engine& engine_;
  Transaction* previous_;
};

class Transactions {
 public:
  // Opens a transaction on database `database` (the engine's current one
  // when empty) and returns its id. Throws "unknown database: NAME".
  std::string begin(Engine& engine, const std::string& database);
  // Open transaction `id`, its idle clock restarted. Throws
  // std::runtime_error "no open transaction ID: it was committed, rolled
  // back or timed out".
  Transaction& find(const std::string& id);
  // Saves and installs what transaction `id` wrote, then ends it; ends it
  // whatever happens, so a failed commit leaves the database as it was.
  // Throws as find() and as the save does.
  void commit(Engine& engine, const std::string& id);
  // Ends transaction `id`, dropping what it wrote. Throws as find().
  void rollback(const std::string& id);
  // The transaction that holds a private copy of `database`, or null.
  const Transaction* writer(const std::string& database) const;
  // Rolls back every transaction idle since before `now` minus the idle
  // bound; returns how many.
  std::size_t expire(TxClock::time_point now);
  std::size_t open_count() const { return open_.size(); }
  void set_idle_bound(std::chrono::milliseconds bound) { idle_bound_ = bound; }
  // Runs console input `input` (statement_batch.h) in transaction `id`
  // with `params`, filling `out`; a statement that fails rolls the
  // transaction back. Returns whether the transaction is still open.
  // Throws as find().
  bool run(Engine& engine, const std::string& id, const std::string& input, const ParamMap* params,
           BatchAnswer& out);

 private:
  std::map<std::string, Transaction> open_;
  std::uint64_t next_ = 1;
  std::chrono::milliseconds idle_bound_ = kTransactionIdleBound;
};

}  // namespace orvane
