// The console's statement cursor (cypher_cursor.h): a plan from the
// engine's cache, the query library's cursor over it, and the mark that
// undoes a write that does not finish.
#include "console/cypher_cursor.h"

#include <optional>

#include "console/engine.h"
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

struct CypherCursor::State {
  Engine& engine;
  std::string database_name;
  Database& db;
  std::shared_ptr<const PreparedStatement> plan;
  std::optional<DatabaseMark> mark;  // a write not yet finished
  std::unique_ptr<StatementCursor> cursor;
  UndoLog undo;  // what the write changed in what existed before it

  void roll_back() {
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
  Database& db = engine.database(database);
  auto plan = engine.plan_cache().prepare(text, db, &engine.procedures(), parameters);
  state_ = std::make_unique<State>(State{engine, database, db, std::move(plan), std::nullopt, nullptr, {}});
  State& s = *state_;
  if (s.plan->writes) {
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
    s.roll_back();
    throw;
  }
}

CypherCursor::~CypherCursor() {
  if (state_) state_->roll_back();
}

const std::vector<std::string>& CypherCursor::columns() const { return state_->plan->columns; }
const Database& CypherCursor::database() const { return state_->db; }
bool CypherCursor::writes() const { return state_->plan->writes; }
bool CypherCursor::single_count() const { return state_->plan->single_count; }

bool CypherCursor::fetch(std::size_t n, std::vector<std::vector<CypherValue>>& rows) {
  try {
    return state_->cursor->fetch(n, rows);
  } catch (...) {
    state_->roll_back();
    throw;
  }
}

void CypherCursor::finish(const std::string& change_detail) {
  State& s = *state_;
  try {
    std::vector<CypherValue> record;
    while (s.cursor->next(record)) {
    }
    if (s.mark) {
      if (s.db.graph.has_tombstones()) {
        // Deletions make a new version without them; the old one stays
        // whole for the rollback until the new one is saved.
        Database next = s.db.compacted();
        s.engine.save_version(s.database_name, std::move(next));
      } else {
        s.db.compile();
        s.engine.save(s.database_name);
      }
      s.db.undo_log = nullptr;
      s.undo.clear();
      s.mark.reset();
      s.engine.record_change("cypher", change_detail);
    }
  } catch (...) {
    s.roll_back();
    throw;
  }
}

OperatorProfile CypherCursor::profile() const { return state_->cursor->profile(); }

const UpdateCounters& CypherCursor::counters() const { return state_->cursor->counters(); }

}  // namespace orvane
