// Eager: every input row first, then the rows. The planner puts one
// between a write and a later clause that reads the graph's structure
// (a MATCH, a subquery), so that every write before it has run before the
// reads after it start, and those reads see every change, as Neo4j's
// reads after writes do.
#include "graph/database.h"
#include "query/exec/operator.h"
#include "query/exec/value_size.h"

namespace orvane {
namespace {

class Eager final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    rows_kept_.clear();
    memory_.clear();
    done_ = false;
    cursor_ = 0;
  }
  bool next(Row& row) override {
    if (!done_) {
      done_ = true;
      while (children_[0]->next(row)) {
        memory_.add(values_bytes(row));
        rows_kept_.push_back(row);
      }
    }
    if (cursor_ >= rows_kept_.size()) return false;
    row = std::move(rows_kept_[cursor_++]);
    return produced();
  }

 private:
  std::vector<Row> rows_kept_;
  HeldMemory memory_{context_};  // what rows_kept_ holds
  bool done_ = false;
  std::size_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_eager(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Eager>(op, context);
}

}  // namespace orvane
