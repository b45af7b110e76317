// The leaves and the node scans.
//
// Argument yields the row the plan was opened with, once. NodeScan binds
// its slot to every node, or every node of its label (the label lists hold
// a node under each of its labels), in ascending identity, once per input
// row, skipping the nodes that fail the property tests the planner pushed
// into it (scan_filter.h).
#include <algorithm>
#include <optional>
#include <vector>

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
        passed_.clear();
        passed_at_ = 0;
      }
      const std::uint64_t end = op_.labels.empty() ? g.node_count : members_.size();
      if (filter_) {
        // Tested a batch at a time, each test over the whole batch.
        if (passed_at_ < passed_.size()) {
          row[op_.slot] = NodeRef{passed_[passed_at_++]};
          return produced();
        }
        if (cursor_ < end) {
          const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, end - cursor_));
          context_.step(n);
          const std::uint32_t* nodes = members_.data() + cursor_;
          if (op_.labels.empty()) {
            all_.resize(n);
            for (std::size_t i = 0; i < n; ++i) all_[i] = static_cast<std::uint32_t>(cursor_ + i);
            nodes = all_.data();
          }
          cursor_ += n;
          filter_->select(nodes, n, passed_);
          passed_at_ = 0;
          continue;
        }
        have_input_ = false;
        continue;
      }
      if (cursor_ < end) {
        context_.step();
        const std::uint32_t node = op_.labels.empty() ? static_cast<std::uint32_t>(cursor_) : members_[cursor_];
        ++cursor_;
        row[op_.slot] = NodeRef{node};
        return produced();
      }
      have_input_ = false;
    }
  }

 private:
  static constexpr std::size_t kBatch = 1024;

  bool have_input_ = false;
  std::uint64_t cursor_ = 0;
  NodeRun members_;
  std::optional<ScanFilter> filter_;
  std::vector<std::uint32_t> passed_;  // the current batch's nodes that passed the filter
  std::size_t passed_at_ = 0;
  std::vector<std::uint32_t> all_;     // a batch of an unlabelled scan
};

}  // namespace

std::unique_ptr<Operator> make_argument(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Argument>(op, context);
}

std::unique_ptr<Operator> make_node_scan(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<NodeScan>(op, context);
}

}  // namespace orvane
