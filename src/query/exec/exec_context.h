// The state one execution of a plan shares across its operators and
// expressions: the Database it reads, the parameters, the work bound, the
// statement's clock, the slot layout of its rows, and the memory its
// operators keep.
//
// Memory is one budget for the whole execution: every operator that keeps
// rows or values (Sort, Top, Aggregation, Distinct, the path searches, a
// procedure's rows) holds the bytes it keeps through a HeldMemory and gives
// them back when it starts over or is destroyed, so the operators of a
// subquery run once per outer row return theirs after each run. The bytes
// are estimates (value_size.h), counted where the rows are kept rather
// than by the allocator, so a statement stops with a clear error before
// the process runs out of memory instead of after.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graph/cypher_value.h"
#include "graph/property_key_reader.h"
#include "query/exec/update_counters.h"
#include "query/exec/work_bound.h"

namespace orvane {

class Database;
struct LogicalOp;

// One row: a value per slot of the plan (bind/binder.h assigns the slots).
using Row = std::vector<CypherValue>;

class ExecContext {
 public:
  ExecContext(const Database& db, std::vector<CypherValue> parameters, WorkBound bound);

  const Database& db() const { return db_; }
  // The Database a writing statement changes (the same one db() reads);
  // null for a read-only execution, where a write operator throws.
  Database* writable() const { return writable_; }
  void set_writable(Database* db) { writable_ = db; }
  // The Database a write operator changes; throws the ClientError
  // "Writing in read access mode not allowed" in a read-only execution.
  Database& write_target() const;
  // What the write operators have changed so far.
  UpdateCounters& counters() { return counters_; }
  const UpdateCounters& counters() const { return counters_; }
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
  // Counts `n` units of work the step budget does not meter: the counting
  // methods', which a graph's size bounds (a whole-graph count may read
  // every relationship many times over). Only the clock stops them: it is
  // read at the first tick and every 4096 after.
  void tick(std::uint64_t n = 1) {
    ticks_ += n;
    if (ticks_ == n || (ticks_ & 4095) < n) check_clock();
  }
  const WorkBound& bound() const { return bound_; }

  // Counts `bytes` more kept by an operator; throws CypherError
  // (TransientError, MemoryPoolOutOfMemoryError, run time) with
  // memory_limit_message(bound().memory_bytes) when the total held would
  // pass the bound, and then holds nothing more. Operators call it through
  // HeldMemory, which gives the bytes back.
  void hold(std::uint64_t bytes) {
    if (bytes > bound_.memory_bytes - held_) memory_exceeded();
    held_ += bytes;
    if (held_ > peak_) peak_ = held_;
  }
  // Gives back `bytes` held before. Requires: at most held().
  void release(std::uint64_t bytes) { held_ -= bytes; }
  std::uint64_t held() const { return held_; }
  std::uint64_t peak() const { return peak_; }  // the most held at once so far

  // This execution's reader of node (relationship) property key `key`,
  // made on first use: operators and expressions read properties through
  // it, so a key's place in each group is looked up once per execution,
  // not once per row. Requires: `key` is a key id of the store.
  PropertyKeyReader& node_reader(std::uint32_t key) {
    if (key < node_readers_.size() && node_readers_[key]) return *node_readers_[key];
    return make_reader(node_readers_, key, false);
  }
  PropertyKeyReader& rel_reader(std::uint32_t key) {
    if (key < rel_readers_.size() && rel_readers_[key]) return *rel_readers_[key];
    return make_reader(rel_readers_, key, true);
  }

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
  void check_clock() const;
  [[noreturn]] void memory_exceeded() const;
  PropertyKeyReader& make_reader(std::vector<std::unique_ptr<PropertyKeyReader>>& readers, std::uint32_t key,
                                 bool relationships);

  const Database& db_;
  Database* writable_ = nullptr;
  UpdateCounters counters_;
  bool profiling_ = false;
  std::vector<CypherValue> parameters_;
  WorkBound bound_;
  std::uint64_t steps_ = 0;
  std::uint64_t ticks_ = 0;
  std::uint64_t held_ = 0;  // bytes the operators keep now; never above bound_.memory_bytes
  std::uint64_t peak_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::system_clock::time_point started_wall_;
  std::vector<std::unique_ptr<PropertyKeyReader>> node_readers_, rel_readers_;  // by key id
};

// The bytes one operator keeps against its context's memory bound. add()
// as it keeps more (throwing the memory-limit error, with nothing added,
// when the execution's total would pass the bound), remove() what it drops,
// clear() when it drops everything; the destructor gives back what is
// still held. Not copyable: one per operator (or per search).
class HeldMemory {
 public:
  explicit HeldMemory(ExecContext& context) : context_(context) {}
  ~HeldMemory() { clear(); }
  HeldMemory(const HeldMemory&) = delete;
  HeldMemory& operator=(const HeldMemory&) = delete;

  void add(std::uint64_t bytes) {
    context_.hold(bytes);
    bytes_ += bytes;
  }
  // Requires: at most bytes().
  void remove(std::uint64_t bytes) {
    context_.release(bytes);
    bytes_ -= bytes;
  }
  void clear() { remove(bytes_); }
  std::uint64_t bytes() const { return bytes_; }

 private:
  ExecContext& context_;
  std::uint64_t bytes_ = 0;
};

// "query memory limit exceeded: sort, aggregation, DISTINCT and path
// searches may hold at most N MiB; narrow the statement or raise the
// limit", the limit in MiB when it is a whole number of them, else in
// bytes ("... at most 4096 bytes; ...").
std::string memory_limit_message(std::uint64_t limit_bytes);

}  // namespace orvane
