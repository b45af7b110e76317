// ProcedureCall: for each input row, the procedure's rows for the row's
// arguments, each output written to its slot. The rows of one call are
// collected before they are handed on, since a body produces them by
// callback, and count against the statement's memory bound until the
// next call. Arguments are checked against the inputs' types per call.
#include "query/bind/bound_query.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/value_size.h"
#include "query/procedures.h"

namespace orvane {
namespace {

class ProcedureCall final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    rows_.clear();
    memory_.clear();
    cursor_ = 0;
  }
  bool next(Row& row) override {
    const BoundCall& call = *op_.call;
    for (;;) {
      if (cursor_ < rows_.size()) {
        const std::vector<CypherValue>& values = rows_[cursor_++];
        for (std::size_t i = 0; i < call.output_slots.size() && i < values.size(); ++i) {
          if (call.output_slots[i] != kNoSlot) row[call.output_slots[i]] = values[i];
        }
        return produced();
      }
      if (!children_[0]->next(row)) return false;
      rows_.clear();
      memory_.clear();
      cursor_ = 0;
      std::vector<CypherValue> args;
      for (std::size_t i = 0; i < call.arguments.size(); ++i) {
        args.push_back(evaluate(*call.arguments[i], row, context_));
        const ProcedureField& input = call.procedure->inputs[i];
        if (!fits_procedure_type(args.back(), input.type)) {
          throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                            "Type mismatch for parameter '" + input.name + "': expected " + input.type + " but was " +
                                type_name(args.back()));
        }
      }
      call.procedure->body(args, context_.db(), [this](std::vector<CypherValue> values) {
        context_.step();
        memory_.add(values_bytes(values));
        rows_.push_back(std::move(values));
      });
      // A procedure without outputs passes its input row on once.
      if (call.procedure->outputs.empty()) {
        rows_.clear();
        return produced();
      }
    }
  }

 private:
  std::vector<std::vector<CypherValue>> rows_;
  HeldMemory memory_{context_};  // what rows_ holds
  std::size_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_procedure_call(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<ProcedureCall>(op, context);
}

}  // namespace orvane
