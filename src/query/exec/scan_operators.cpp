// The leaves and the node scans.
//
// Argument yields the row the plan was opened with, once. NodeScan binds
// its slot to every node, or every node of its label (the label lists hold
// a node under each of its labels), in ascending identity, once per input
// row, skipping the nodes that fail the property tests the planner pushed
// into it (scan_filter.h).
#include <optional>

#include "graph/database.h"
#include "query/exec/operator.h"
#include "query/exec/scan_filter.h"

namespace orvane {
namespace {

class Argument final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    argument_ = &argument;
    done_ = false;
  }
  bool next(Row& row) override {
    if (done_) return false;
    done_ = true;
    row = *argument_;
    return produced();
  }

 private:
  const Row* argument_ = nullptr;
  bool done_ = true;
};

class NodeScan final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    have_input_ = false;
    if (!filter_ && !op_.expressions.empty()) filter_.emplace(op_.expressions, context_);
  }
  bool next(Row& row) override {
    if (op_.impossible) return false;
    const PhysicalGraph& g = context_.db().graph;
    for (;;) {
      if (!have_input_) {
        if (!children_[0]->next(row)) return false;
        have_input_ = true;
        cursor_ = 0;
        members_ = op_.labels.empty() ? NodeRun{} : g.nodes_with_label(op_.labels[0]);
      }
      const std::uint64_t end = op_.labels.empty() ? g.node_count : members_.size();
      while (cursor_ < end) {
        context_.step();
        const std::uint32_t node = op_.labels.empty() ? static_cast<std::uint32_t>(cursor_) : members_[cursor_];
        ++cursor_;
        if (filter_ && !filter_->pass(node)) continue;
        row[op_.slot] = NodeRef{node};
        return produced();
      }
      have_input_ = false;
    }
  }

 private:
  bool have_input_ = false;
  std::uint64_t cursor_ = 0;
  NodeRun members_;
  std::optional<ScanFilter> filter_;
};

}  // namespace

std::unique_ptr<Operator> make_argument(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Argument>(op, context);
}

std::unique_ptr<Operator> make_node_scan(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<NodeScan>(op, context);
}

}  // namespace orvane
