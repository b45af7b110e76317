// A statement's rows as they are pulled: the cursor every transport reads
// a result through. Its columns are known before any row; rows come in
// batches of the size the reader asks for, each produced only when asked,
// so a reader that streams (a Bolt PULL of n records, a client reading an
// HTTP answer) never holds the whole result, and one that stops early
// never makes the rest. The operator tree and its state live in the
// cursor between batches.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "query/cypher_statement.h"
#include "query/exec/update_counters.h"

namespace orvane {

class StatementCursor {
 public:
  // Starts `statement` (which must outlive the cursor) over `db` with
  // `parameters`; a writing statement needs `writable` (see
  // execute_statement). Throws CypherError "ParameterMissing" at compile
  // time for a parameter the statement uses and `parameters` lacks; no row
  // is made before the first fetch.
  // With `profiling`, every operator is timed for profile().
  StatementCursor(const PreparedStatement& statement, const Database& db, const CypherParameters& parameters,
                  const WorkBound& bound, Database* writable = nullptr, bool profiling = false);
  ~StatementCursor();
  StatementCursor(const StatementCursor&) = delete;
  StatementCursor& operator=(const StatementCursor&) = delete;

  const std::vector<std::string>& columns() const;

  // The next record (the columns' values in order) into `record`; false
  // once the statement has ended (a statement without RETURN runs to its
  // end on the first call and yields none). Throws the run-time errors of
  // the operators and expressions; after a throw the cursor is spent.
  bool next(std::vector<CypherValue>& record);

  // Up to `n` more records appended to `out`; whether more may follow
  // (false once the statement has ended).
  bool fetch(std::size_t n, std::vector<std::vector<CypherValue>>& out);

  bool exhausted() const;

  // What each operator has done so far, as the plan ran (its time only
  // when profiling).
  OperatorProfile profile() const;
  // What the statement's writes have changed so far.
  const UpdateCounters& counters() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orvane
