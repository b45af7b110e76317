// The console's statement cursor (cypher_cursor.h): a plan from the
// engine's cache, the query library's cursor over it, and the mark that
// undoes a write that does not finish.
#include "console/cypher_cursor.h"

#include <optional>

#include "console/engine.h"
#include "console/transactions.h"
#include "query/cypher_error.h"
#include "graph/change_record.h"
#include "graph/database.h"
#include "query/plan_cache.h"
#include "query/statement_cursor.h"

namespace orvane {

namespace {

// Registers the labels, types and property keys of `names` the Database
// lacks; true when there was any.
bool register_names(Database& db, const WrittenNames& names) {
  bool added = false;
  for (const std::string& label : names.labels) {
    if (!db.node_type_ids.contains(label)) {
      db.add_node_type(label);
      added = true;
    }
  }
  for (const std::string& type : names.types) {
    if (!db.rel_type_ids.contains(type)) {
      db.add_rel_type(type);
      added = true;
    }
  }
  for (const std::string& key : names.keys) {
    for (PropertyStore* store : {&db.node_store, &db.rel_store}) {
      if (store->find_key(key) == kNoPropertyKey) {
        store->intern_key(key);
        added = true;
      }
    }
  }
  return added;
}

}  // namespace

// The graph a statement runs on: its transaction's graph when it has one
// (lent or copied here at the transaction's first write), else the
// committed database. A write outside a transaction, or a transaction's
// first write, is refused while another transaction holds a copy.
Database& statement_graph(Engine& engine, const std::string& database, Transaction* tx, bool writes) {
  const std::string name = tx != nullptr ? tx->database : engine.effective_name(database);
  if (tx != nullptr && tx->work) return *tx->work;
  if (writes) {
    refuse_other_writer(engine, name, tx);
    if (tx != nullptr) {
      tx->work = engine.lend_writer_copy(name);
      tx->lent = tx->work != nullptr;
      if (!tx->lent) tx->work = std::make_shared<Database>(engine.live_database(name));
      tx->work->undo_log = nullptr;
      tx->start = tx->work->mark();
      return *tx->work;
    }
  }
  return engine.live_database(name);
}

struct CypherCursor::State {
  Engine& engine;
  std::string database_name;
  Database& db;
  std::shared_ptr<const PreparedStatement> plan;
  Transaction* tx = nullptr;         // the transaction it runs in; null: its own unit
  std::optional<DatabaseMark> mark;  // a write not yet finished
  std::unique_ptr<StatementCursor> cursor;
  UndoLog undo;  // what the write changed in what existed before it
  // A read's version, kept for as long as the cursor reads it, which may
  // be longer than the request that started it (a Bolt stream).
  std::shared_ptr<const Database> pin;

  // Takes a write back after `failure`, or when the cursor is dropped
  // before finish(). In a transaction the statement cannot be taken back
  // alone: a failure marks the whole transaction for its owner to roll
  // back, and a statement dropped unfinished leaves what it wrote so far.
  void roll_back(bool failure) {
    if (tx != nullptr) {
      cursor.reset();
      db.undo_log = nullptr;
      if (failure) tx->failed = true;
      return;
    }
    if (mark) {
      cursor.reset();
      db.rollback(*mark);
      db.undo_log = nullptr;
      mark.reset();
    }
  }
};

CypherCursor::CypherCursor(Engine& engine, const std::string& text, const std::string& database,
                           const CypherParameters& parameters, const std::optional<WorkBound>& bound, bool profiling) {
  Transaction* const tx = engine.transaction();
  if (tx != nullptr && !database.empty() && engine.effective_name(database) != tx->database) {
    throw std::runtime_error("a transaction works on one database: " + tx->database);
  }
  Database& committed = tx != nullptr && tx->work ? *tx->work : engine.live_database(tx ? tx->database : database);
  auto plan = engine.plan_cache().prepare(text, committed, &engine.procedures(), parameters);
  Database& db = statement_graph(engine, database, tx, plan->writes);
  std::shared_ptr<const Database> pin = plan->writes ? nullptr : engine.reading_pin(database);
  state_ = std::make_unique<State>(
      State{engine, database, db, std::move(plan), tx, std::nullopt, nullptr, {}, std::move(pin)});
  State& s = *state_;
  if (s.plan->writes && tx != nullptr) {
    db.undo_log = &tx->undo;
  } else if (s.plan->writes) {
    s.mark = db.mark();
    db.undo_log = &s.undo;
  }
  try {
    // The names the writes make are registered first (and forgotten with
    // the rest on a rollback), so that reads after a write in the same
    // statement are planned with them.
    if (s.plan->writes && register_names(db, s.plan->written)) {
      s.plan = engine.plan_cache().prepare(text, db, &engine.procedures(), parameters);
    }
    s.cursor = std::make_unique<StatementCursor>(*s.plan, db, parameters, bound ? *bound : engine.statement_bound(),
                                                 s.plan->writes ? &db : nullptr, profiling);
  } catch (...) {
    s.roll_back(true);
    throw;
  }
}

CypherCursor::~CypherCursor() {
  if (state_) state_->roll_back(false);
}

const std::vector<std::string>& CypherCursor::columns() const { return state_->plan->columns; }
const Database& CypherCursor::database() const { return state_->db; }
bool CypherCursor::writes() const { return state_->plan->writes; }
bool CypherCursor::single_count() const { return state_->plan->single_count; }

bool CypherCursor::fetch(std::size_t n, std::vector<std::vector<CypherValue>>& rows) {
  try {
    return state_->cursor->fetch(n, rows);
  } catch (...) {
    state_->roll_back(true);
    throw;
  }
}

void CypherCursor::finish(const std::string& change_detail) {
  State& s = *state_;
  try {
    std::vector<CypherValue> record;
    while (s.cursor->next(record)) {
    }
    if (s.tx != nullptr) {
      // Saved when the transaction commits.
      ++s.tx->statements;
      if (s.plan->writes && s.db.graph.delta_past_bound()) s.db.compile();
      s.db.undo_log = nullptr;
    } else if (s.mark) {
      // Committed once its record is durable; a failure before takes it
      // back whole.
      s.db.undo_log = nullptr;
      s.engine.commit(s.database_name, make_change_record(s.db, *s.mark, s.undo));
      s.undo.clear();
      s.mark.reset();
      // The writes stay in the delta, which every read merges, until it
      // grows past its bound (or a reader of the arrays alone asks for the
      // database folded). Compacting tombstones away makes a new version.
      if (s.db.graph.delta_past_bound()) {
        try {
          if (s.db.graph.has_tombstones()) {
            Database folded = s.db.compacted();
            s.engine.replace_folded(s.engine.effective_name(s.database_name), folded);
          } else {
            s.db.compile();
          }
        } catch (const std::bad_alloc&) {
          // Committed all the same; the background fold tries again.
        }
      }
      s.engine.record_change("cypher", change_detail);
    }
  } catch (...) {
    s.roll_back(true);
    throw;
  }
}

OperatorProfile CypherCursor::profile() const { return state_->cursor->profile(); }

const UpdateCounters& CypherCursor::counters() const { return state_->cursor->counters(); }

}  // namespace orvane
