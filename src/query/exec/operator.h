// The physical operators: one per logical operator (plan/logical_plan.h),
// each pulling rows from its input and writing its own slots of the row.
//
// Rows flow through one Row object per pipeline: an operator's next()
// asks its input for a row into the same object and then writes its own
// slots, so a value is copied only where an operator keeps rows (sort,
// aggregation, distinct) or starts over (the Argument leaf). Every
// operator counts the rows it produces and the time it spends, for
// PROFILE.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "query/exec/exec_context.h"
#include "query/plan/logical_plan.h"

namespace orvane {

class Operator {
 public:
  Operator(const LogicalOp& op, ExecContext& context) : op_(op), context_(context) {}
  virtual ~Operator() = default;
  Operator(const Operator&) = delete;
  Operator& operator=(const Operator&) = delete;

  // Starts (again) from `argument`, which must outlive the rows pulled
  // after: the Argument leaves yield it; every other operator resets its
  // state and passes it down.
  virtual void open(const Row& argument) {
    for (auto& child : children_) child->open(argument);
  }
  // Writes the next row into `row` and answers true; false once exhausted.
  virtual bool next(Row& row) = 0;

  // Node batches: an operator that binds one node slot (logical().slot)
  // over runs of nodes, the rest of the row staying the same, may hand a
  // run over whole, so that a consumer that only counts or reads columns
  // skips a call per row. batches_nodes() says whether next_nodes() may be
  // called; a consumer then calls it instead of next(): it answers the next
  // non-empty batch (valid until the next call) with `row` holding the rest
  // of the row (the node slot unset), or an empty span once exhausted.
  virtual bool batches_nodes() const { return false; }
  virtual std::span<const std::uint32_t> next_nodes(Row& row);
  // For a consumer that only counts: the number of nodes next_nodes() would
  // still hand over (it is exhausted after), `row` left as next_nodes()
  // leaves it. Only called when batches_nodes() is true.
  virtual std::uint64_t count_nodes(Row& row);

  const LogicalOp& logical() const { return op_; }
  // The name PROFILE prints: the logical operator's, unless the operator
  // chose a method of its own at run time.
  virtual const char* name() const { return operator_name(op_); }
  // How PROFILE shows it: as itself over its children, as a leaf (it
  // answered without running them), or as its first child alone (it only
  // passed that child's rows on).
  enum class Shown { kTree, kLeaf, kChild };
  virtual Shown shown() const { return Shown::kTree; }
  std::uint64_t rows() const { return rows_; }
  const std::vector<std::unique_ptr<Operator>>& children() const { return children_; }
  std::vector<std::unique_ptr<Operator>>& children() { return children_; }

 protected:
  bool produced() {
    ++rows_;
    return true;
  }
  void produced(std::uint64_t n) { rows_ += n; }
  // For an operator that can produce nothing (a label or type the graph
  // lacks): false, after pulling every input row in a writing statement,
  // so that the writes before it still happen.
  bool drain(Row& row) {
    if (context_.writable() != nullptr) {
      while (children_[0]->next(row)) {
      }
    }
    return false;
  }

  const LogicalOp& op_;
  ExecContext& context_;
  std::vector<std::unique_ptr<Operator>> children_;
  std::uint64_t rows_ = 0;
};

// The operator tree of `plan`, over `context`.
std::unique_ptr<Operator> build_operators(const LogicalOp& plan, ExecContext& context);

// Under PROFILE every operator is wrapped in a timer (timed_operator.cpp);
// timed_inner gives the wrapped operator and its time (ns, its inputs'
// included) for a wrapper, null for any other operator.
std::unique_ptr<Operator> make_timed(std::unique_ptr<Operator> inner, ExecContext& context);
const Operator* timed_inner(const Operator& op, std::uint64_t& ns);

// Each operator family's factory (one file each).
std::unique_ptr<Operator> make_argument(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_node_scan(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_expand(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_var_expand(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_project_path(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_filter(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_projection(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_unwind(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_skip(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_limit(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_optional(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_union(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_produce_results(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_aggregation(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_distinct(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_sort(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_create(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_set(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_delete(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_merge(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_foreach(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_eager(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_procedure_call(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_count_pattern(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_shortest_path(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_apply(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_node_by_id_seek(const LogicalOp& op, ExecContext& context);
std::unique_ptr<Operator> make_relationship_by_id_seek(const LogicalOp& op, ExecContext& context);

}  // namespace orvane
