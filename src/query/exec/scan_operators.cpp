// The leaves and the node scans.
//
// Argument yields the row the plan was opened with, once. NodeScan binds
// its slot to every node, or every node of its label (the label lists hold
// a node under each of its labels), in ascending identity, once per input
// row, skipping the nodes that fail the property tests the planner pushed
// into it (scan_filter.h). It hands its nodes over a batch at a time to a
// consumer that asks (Operator::next_nodes), and counts them without
// handing them over at all for one that only counts, a large filtered
// count on two threads.
#include <algorithm>
#include <exception>
#include <optional>
#include <span>
#include <thread>
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
    batch_ = {};
    at_ = 0;
    if (!filter_ && !op_.expressions.empty()) filter_.emplace(op_.expressions, context_);
  }
  bool next(Row& row) override {
    for (;;) {
      if (at_ < batch_.size()) {
        row[op_.slot] = NodeRef{batch_[at_++]};
        return produced();
      }
      if (!fill(row)) return false;
    }
  }
  bool batches_nodes() const override { return true; }
  std::uint64_t count_nodes(Row& row) override {
    std::uint64_t total = batch_.size() - at_;
    at_ = batch_.size();
    if (op_.impossible) {
      drain(row);
      return 0;
    }
    const PhysicalGraph& g = context_.db().graph;
    for (;;) {
      if (!have_input_) {
        if (!children_[0]->next(row)) break;
        have_input_ = true;
        cursor_ = 0;
        members_ = op_.labels.empty() ? SplitRun{} : g.nodes_with_label_now(op_.labels[0], members_now_);
      }
      const std::uint64_t end = op_.labels.empty() ? g.node_count : members_.size();
      if (cursor_ < end) {
        context_.step(end - cursor_);
        const bool every = !filter_ && g.deleted_nodes == 0;
        total += every ? end - cursor_ : count_passing(cursor_, end);
      }
      cursor_ = end;
      have_input_ = false;
    }
    produced(total);
    return total;
  }
  std::span<const std::uint32_t> next_nodes(Row& row) override {
    if (at_ >= batch_.size() && !fill(row)) return {};
    const std::span<const std::uint32_t> out = batch_.subspan(at_);
    at_ = batch_.size();
    produced(out.size());
    return out;
  }

 private:
  static constexpr std::size_t kBatch = 1024;
  // A filtered count over at least this many nodes runs on two threads,
  // each half with its own copy of the filter (its readers cache).
  static constexpr std::uint64_t kParallelCount = std::uint64_t{1} << 18;

  // The scan's nodes at [at, at + k), tombstones included unless
  // `live`: a run of the label's members, or for an unlabelled scan the
  // identities themselves, written into `buffer` unless they can be
  // handed over in place.
  std::span<const std::uint32_t> nodes_at(std::uint64_t at, std::size_t k, std::vector<std::uint32_t>& buffer,
                                          bool live) const {
    const PhysicalGraph& g = context_.db().graph;
    const bool labelled = !op_.labels.empty();
    const bool check = live && g.deleted_nodes != 0;
    if (labelled && !check) {
      const NodeRun in_place = members_.contiguous(at, k);
      if (in_place.size() == k) return in_place;
    }
    buffer.resize(k);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < k; ++i) {
      const auto identity = labelled ? members_[at + i] : static_cast<std::uint32_t>(at + i);
      buffer[kept] = identity;
      kept += check && g.node_is_deleted(identity) ? 0 : 1;
    }
    return {buffer.data(), kept};
  }

  // The live nodes of `nodes` that pass the filter, into `out`: the
  // tombstones are dropped after the tests, so that a few of them cost a
  // check of the survivors rather than a copy of every batch.
  void select_live(ScanFilter& filter, std::span<const std::uint32_t> nodes, std::vector<std::uint32_t>& out) const {
    filter.select(nodes.data(), nodes.size(), out);
    const PhysicalGraph& g = context_.db().graph;
    if (g.deleted_nodes == 0) return;
    std::erase_if(out, [&](std::uint32_t identity) { return g.node_is_deleted(identity); });
  }

  // How many of the scan's nodes at [begin, end) pass the filter.
  std::uint64_t count_passing(std::uint64_t begin, std::uint64_t end) {
    const auto count_range = [this](ScanFilter* filter, std::uint64_t from, std::uint64_t to) {
      std::vector<std::uint32_t> all, passed;
      std::uint64_t n = 0;
      for (std::uint64_t at = from; at < to; at += kBatch) {
        const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, to - at));
        const std::span<const std::uint32_t> nodes = nodes_at(at, k, all, filter == nullptr);
        if (filter != nullptr) {
          select_live(*filter, nodes, passed);
          n += passed.size();
        } else {
          n += nodes.size();
        }
      }
      return n;
    };
    if (!filter_ || end - begin < kParallelCount || std::thread::hardware_concurrency() < 2) {
      return count_range(filter_ ? &*filter_ : nullptr, begin, end);
    }
    const std::uint64_t mid = begin + (end - begin) / 2;
    ScanFilter other = *filter_;
    std::uint64_t first = 0;
    std::exception_ptr failure;
    std::thread helper([&] {
      try {
        first = count_range(&other, begin, mid);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    std::uint64_t second = 0;
    try {
      second = count_range(&*filter_, mid, end);
    } catch (...) {
      helper.join();
      throw;
    }
    helper.join();
    if (failure) std::rethrow_exception(failure);
    return first + second;
  }

  // Makes batch_ the next non-empty batch of nodes that pass the pushed
  // tests, pulling input rows into `row` as they run out; false once the
  // input is exhausted.
  bool fill(Row& row) {
    if (op_.impossible) return drain(row);
    const PhysicalGraph& g = context_.db().graph;
    for (;;) {
      if (!have_input_) {
        if (!children_[0]->next(row)) return false;
        have_input_ = true;
        cursor_ = 0;
        members_ = op_.labels.empty() ? SplitRun{} : g.nodes_with_label_now(op_.labels[0], members_now_);
      }
      const std::uint64_t end = op_.labels.empty() ? g.node_count : members_.size();
      if (cursor_ >= end) {
        have_input_ = false;
        continue;
      }
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, end - cursor_));
      context_.step(n);
      const std::span<const std::uint32_t> nodes = nodes_at(cursor_, n, all_, !filter_);
      cursor_ += n;
      at_ = 0;
      if (filter_) {
        // Tested a batch at a time, each test over the whole batch.
        select_live(*filter_, nodes, passed_);
        batch_ = passed_;
      } else {
        batch_ = nodes;
      }
      if (!batch_.empty()) return true;
    }
  }

  bool have_input_ = false;
  std::uint64_t cursor_ = 0;
  SplitRun members_;
  std::vector<std::uint32_t> members_now_;  // members_'s part from the delta
  std::optional<ScanFilter> filter_;
  std::span<const std::uint32_t> batch_;  // the current batch: into members_, all_ or passed_
  std::size_t at_ = 0;                    // the next of batch_ to bind
  std::vector<std::uint32_t> passed_;     // the nodes of a batch that passed the filter
  std::vector<std::uint32_t> all_;        // a batch of an unlabelled scan
};

}  // namespace

std::unique_ptr<Operator> make_argument(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Argument>(op, context);
}

std::unique_ptr<Operator> make_node_scan(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<NodeScan>(op, context);
}

}  // namespace orvane
