// Merge and Foreach, the write operators that run a plan of their own per
// input row.
//
// Merge: per input row, the MERGE pattern read from the graph as it is
// now, writes of earlier rows included (the readers merge them with the
// compiled graph); every match passes with the ON MATCH items applied,
// and when nothing matches the pattern is made and passes with the ON
// CREATE items applied. The matches are gathered before any ON MATCH
// write, so a write cannot change what the same row matches.
//
// A property the pattern gives as null could never be matched, and a
// node or relationship made with it would not hold it, so it is refused
// before anything is read, as Neo4j refuses it.
#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/write_steps.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

class Merge final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    children_[0]->open(argument);
    found_.clear();
    at_ = 0;
  }
  bool next(Row& row) override {
    for (;;) {
      if (at_ < found_.size()) {
        row = std::move(found_[at_++]);
        return produced();
      }
      if (!children_[0]->next(row)) return false;
      Database& db = context_.write_target();
      refuse_null_properties(row);
      found_.clear();
      at_ = 0;
      Row match = row;
      children_[1]->open(match);
      while (children_[1]->next(match)) found_.push_back(match);
      if (found_.empty()) {
        create_part(db, op_.merge->create, row, context_);
        if (op_.merge->on_create) {
          for (const BoundSetItem& item : op_.merge->on_create->items) apply_set_item(db, item, row, context_);
        }
        return produced();
      }
      if (op_.merge->on_match) {
        for (Row& r : found_) {
          for (const BoundSetItem& item : op_.merge->on_match->items) apply_set_item(db, item, r, context_);
        }
      }
    }
  }

 private:
  void refuse_null_properties(Row& row) {
    const BoundCreatePart& part = op_.merge->create;
    const auto check = [&](const std::vector<std::pair<std::string, BoundExprPtr>>& properties, const char* what) {
      for (const auto& [key, expr] : properties) {
        if (evaluate(*expr, row, context_).is_null()) {
          throw CypherError("SemanticError", "MergeReadOwnWrites", ErrorPhase::kRuntime,
                            std::string("Cannot merge the following ") + what +
                                " because of null property value for '" + key + "'");
        }
      }
    };
    for (const BoundCreateNode& n : part.nodes) {
      if (!n.existing) check(n.properties, "node");
    }
    for (const BoundCreateRel& r : part.rels) check(r.properties, "relationship");
  }

  std::vector<Row> found_;
  std::size_t at_ = 0;
};

// Foreach: the update clauses of children[1] once per element, each run
// from the input row with the element in `slot`; the input row passes
// as it came.
class Foreach final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    if (!children_[0]->next(row)) return false;
    const CypherValue list = evaluate(*op_.expressions[0], row, context_);
    if (list.is_null()) return produced();
    if (list.kind() != CypherValue::Kind::kList) {
      throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                        std::string("Type mismatch: expected List but was ") + type_name(list));
    }
    for (const CypherValue& element : list.as_list()) {
      Row inner = row;
      inner[op_.slot] = element;
      children_[1]->open(inner);
      while (children_[1]->next(inner)) {
      }
    }
    return produced();
  }
};

}  // namespace

std::unique_ptr<Operator> make_foreach(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Foreach>(op, context);
}

std::unique_ptr<Operator> make_merge(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Merge>(op, context);
}

}  // namespace orvane
