// The state one execution of a plan shares across its operators and
// expressions: the Database it reads, the parameters, the work bound, the
// statement's clock, and the slot layout of its rows.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graph/cypher_value.h"

namespace orvane {

class Database;
struct LogicalOp;

// One row: a value per slot of the plan (bind/binder.h assigns the slots).
using Row = std::vector<CypherValue>;

// How much a statement may do before it stops with an error: steps
// (candidate rows an operator considers) and wall-clock time. The
// defaults are the engine's long-standing ones; a setting or a request may
// raise them.
struct WorkBound {
  std::uint64_t steps = 10'000'000;
  std::chrono::milliseconds time{5000};
  std::uint64_t memory_bytes = std::uint64_t{1} << 30;  // what sort, aggregation and DISTINCT may hold
};

class ExecContext {
 public:
  ExecContext(const Database& db, std::vector<CypherValue> parameters, WorkBound bound);

  const Database& db() const { return db_; }
  // The Database a writing statement changes (the same one db() reads);
  // null for a read-only execution, where a write operator throws.
  Database* writable() const { return writable_; }
  void set_writable(Database* db) { writable_ = db; }
  const CypherValue& parameter(std::uint32_t index) const { return parameters_[index]; }
  // Whether the execution is profiled: its operators are then timed.
  bool profiling() const { return profiling_; }
  void set_profiling(bool on) { profiling_ = on; }

  // Counts `n` steps of work; throws CypherError "query work limit
  // exceeded; narrow the pattern or add LIMIT" once the steps or the time
  // run out. The clock is read every 4096 steps only.
  void step(std::uint64_t n = 1) {
    steps_ += n;
    if (steps_ > bound_.steps || (steps_ & 4095) < n) check_bound();
  }
  std::uint64_t steps() const { return steps_; }
  const WorkBound& bound() const { return bound_; }

  // The statement's instant: every current-time function of one statement
  // reads the same one.
  std::chrono::system_clock::time_point statement_time() const { return started_wall_; }

  // Runs a subquery's plan with `argument` as the row its leaves start
  // from, calling `each` for its rows until it returns false. Set by the
  // executor, which owns the operators; expressions (EXISTS, COUNT, pattern
  // comprehensions) call it.
  std::function<void(const LogicalOp& plan, const Row& argument, const std::function<bool(Row&)>& each)>
      run_subplan;

 private:
  void check_bound() const;

  const Database& db_;
  Database* writable_ = nullptr;
  bool profiling_ = false;
  std::vector<CypherValue> parameters_;
  WorkBound bound_;
  std::uint64_t steps_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::system_clock::time_point started_wall_;
};

}  // namespace orvane
