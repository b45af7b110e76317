// Apply: a CALL subquery. For each input row, the subquery's plan runs with
// the row as its argument.
//
// A returning subquery gives one output row per row of the subquery: the
// input row with the subquery's returned columns (`slots`) copied in. The
// columns are copied rather than the subquery's row taken whole, because
// an aggregation or a UNION inside the subquery builds rows of its own,
// which need not carry the outer values any more.
//
// A unit subquery (no RETURN; `slots` empty) is run to its end for its
// writes, and the input row then passes once, unchanged.
#include "query/exec/operator.h"

namespace orvane {
namespace {

class Apply final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    children_[0]->open(argument);
    have_input_ = false;
  }
  bool next(Row& row) override {
    for (;;) {
      if (have_input_) {
        if (op_.slots.empty()) {
          while (children_[1]->next(inner_)) {
          }
          have_input_ = false;
          row = input_;
          return produced();
        }
        if (children_[1]->next(inner_)) {
          row = input_;
          for (const std::uint32_t slot : op_.slots) row[slot] = inner_[slot];
          return produced();
        }
        have_input_ = false;
      }
      if (!children_[0]->next(row)) return false;
      input_ = row;
      inner_.resize(row.size());
      children_[1]->open(input_);
      have_input_ = true;
    }
  }

 private:
  Row input_;  // the current input row, the subquery's argument
  Row inner_;  // the subquery's rows
  bool have_input_ = false;
};

}  // namespace

std::unique_ptr<Operator> make_apply(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Apply>(op, context);
}

}  // namespace orvane
