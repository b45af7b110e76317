// A Cypher statement running on one of an engine's databases, read as a
// cursor of typed values: its columns, then batches of rows as the reader
// asks for them. Every transport renders a statement's answer from it —
// the console's JSON answer (cypher_answer.h) is one rendering, a Bolt
// stream of PackStream records another.
//
// A statement that writes changes the database as a whole or not at all:
// the cursor marks the database when it starts, and finish() compiles and
// saves the change; a cursor destroyed unfinished, or a failure anywhere
// (the save included), takes the database back to its mark.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "query/cypher_statement.h"
#include "query/exec/update_counters.h"

namespace orvane {

class Engine;
class StatementCursor;

class CypherCursor {
 public:
  // Prepares `text` through the engine's plan cache and starts it on the
  // database `database` (empty: the current one) with `parameters`, under
  // `bound` (none: the engine's statement_bound(), the bound the user set);
  // with `profiling`, every operator is timed for profile().
  // Requires, until the cursor is destroyed, the engine's exclusive use or
  // the use its statement allows (engine.h: reading, writing); a read
  // started while reading keeps the version it reads, and needs the
  // engine lock held shared, not the reading itself, for what follows. Throws
  // "unknown database: NAME" and the pipeline's
  // CypherError (a statement that does not compile, a missing parameter).
  CypherCursor(Engine& engine, const std::string& text, const std::string& database,
               const CypherParameters& parameters, const std::optional<WorkBound>& bound = std::nullopt,
               bool profiling = false);
  ~CypherCursor();
  CypherCursor(const CypherCursor&) = delete;
  CypherCursor& operator=(const CypherCursor&) = delete;

  const std::vector<std::string>& columns() const;
  // The database the rows' nodes and relationships belong to.
  const Database& database() const;
  bool writes() const;
  // The statement's one column is an ungrouped count: one row.
  bool single_count() const;

  // Up to `n` more rows appended to `rows`; whether more may follow.
  // Throws the statement's run-time errors (a write is then rolled back).
  bool fetch(std::size_t n, std::vector<std::vector<CypherValue>>& rows);

  // Ends the statement: runs what remains of it, dropping its rows; a
  // write is then saved (its delta folded first when a file is kept or the
  // delta passed its bound) and recorded as a change ("cypher" with
  // `change_detail`). On a failure the write is rolled back and the error
  // thrown.
  void finish(const std::string& change_detail);

  // What each operator has done so far.
  OperatorProfile profile() const;
  // What the statement has changed so far.
  const UpdateCounters& counters() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orvane
