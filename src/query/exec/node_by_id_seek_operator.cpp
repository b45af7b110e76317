// NodeByIdSeek (and NodeByElementIdSeek): the nodes named by id, through
// Database::node_of_id, instead of a scan of every node. The planner keeps
// the predicate the seek stands for as a filter above it, so the seek only
// has to find no fewer nodes than the predicate keeps; it finds exactly
// those, in ascending identity (a scan's order), each once however often
// a list names it.
//
// Where a seek cannot stand for the predicate it scans every node instead
// and leaves the answer to the filter: a list form whose value is not a
// list (the filter raises the type error), and {id: N} on a generated
// graph once some node stores the property "id" (the filter's
// coalesce(n.id = N, id(n) = N) then reads the stored ids).
#include <algorithm>

#include "graph/database.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/seek_ids.h"

namespace orvane {
namespace {

class NodeByIdSeek final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    have_input_ = false;
  }
  bool next(Row& row) override {
    for (;;) {
      if (!have_input_) {
        if (!children_[0]->next(row)) return false;
        have_input_ = true;
        load(row);
      }
      const std::uint64_t end = scan_ ? context_.db().graph.node_count : nodes_.size();
      if (cursor_ < end) {
        context_.step();
        const std::uint32_t node = scan_ ? static_cast<std::uint32_t>(cursor_) : nodes_[cursor_];
        ++cursor_;
        if (scan_ && context_.db().graph.node_is_deleted(node)) continue;
        row[op_.slot] = NodeRef{node};
        return produced();
      }
      have_input_ = false;
    }
  }

 private:
  void load(Row& row) {
    const Database& db = context_.db();
    cursor_ = 0;
    nodes_.clear();
    scan_ = op_.seek_form == SeekForm::kGeneratedId && db.stored_id_nodes != 0;
    if (scan_) return;
    const auto ids = seek_ids(evaluate(*op_.expressions[0], row, context_), op_.seek_form, false);
    if (!ids) {
      scan_ = true;
      return;
    }
    for (const std::uint64_t id : *ids) {
      const std::uint32_t node = db.node_of_id(id);
      if (node != kNoNode && node < db.graph.node_count) nodes_.push_back(node);
    }
    std::sort(nodes_.begin(), nodes_.end());
    nodes_.erase(std::unique(nodes_.begin(), nodes_.end()), nodes_.end());
  }

  bool have_input_ = false;
  bool scan_ = false;                 // every node, for the filter above to decide
  std::vector<std::uint32_t> nodes_;  // identities found, ascending
  std::uint64_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_node_by_id_seek(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<NodeByIdSeek>(op, context);
}

}  // namespace orvane
