// The operators that pass rows through one at a time: Filter, Projection,
// Unwind, Skip, Limit, Optional, Union and ProduceResults.
#include "query/bind/bound_expr.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

class Filter final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    while (children_[0]->next(row)) {
      if (is_true(evaluate(*op_.expressions[0], row, context_))) return produced();
    }
    return false;
  }
};

class Projection final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    if (!children_[0]->next(row)) return false;
    for (std::size_t i = 0; i < op_.slots.size(); ++i) row[op_.slots[i]] = evaluate(*op_.expressions[i], row, context_);
    return produced();
  }
};

class Unwind final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    list_ = CypherValue();
    cursor_ = 0;
  }
  bool next(Row& row) override {
    for (;;) {
      if (list_.kind() == CypherValue::Kind::kList && cursor_ < list_.as_list().size()) {
        context_.step();
        row[op_.slot] = list_.as_list()[cursor_++];
        return produced();
      }
      if (!children_[0]->next(row)) return false;
      list_ = evaluate(*op_.expressions[0], row, context_);
      cursor_ = 0;
      // A value that is not a list unwinds to itself; null to nothing.
      if (!list_.is_null() && list_.kind() != CypherValue::Kind::kList) list_ = CypherList{list_};
    }
  }

 private:
  CypherValue list_;
  std::size_t cursor_ = 0;
};

// SKIP and LIMIT take a non-negative integer, evaluated once per opening.
std::uint64_t count_of(const BoundExpr& expr, Row& row, ExecContext& context, const char* clause) {
  const CypherValue v = evaluate(expr, row, context);
  if (v.kind() == CypherValue::Kind::kFloat && v.as_float() == static_cast<double>(static_cast<std::int64_t>(v.as_float()))) {
    throw CypherError("SyntaxError", "InvalidArgumentType", ErrorPhase::kRuntime,
                      std::string("Invalid input. '") + to_text(v) + "' is not a valid value. Must be a non-negative integer.");
  }
  if (v.kind() != CypherValue::Kind::kInteger || v.as_int() < 0) {
    throw CypherError("SyntaxError", v.kind() == CypherValue::Kind::kInteger ? "NegativeIntegerArgument" : "InvalidArgumentType",
                      ErrorPhase::kRuntime,
                      std::string("Invalid input. '") + to_text(v) + "' is not a valid value. Must be a non-negative integer.");
  }
  (void)clause;
  return static_cast<std::uint64_t>(v.as_int());
}

class Skip final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    started_ = false;
  }
  bool next(Row& row) override {
    if (!started_) {
      started_ = true;
      std::uint64_t n = count_of(*op_.expressions[0], row, context_, "SKIP");
      while (n > 0) {
        if (!children_[0]->next(row)) return false;
        --n;
      }
    }
    if (!children_[0]->next(row)) return false;
    return produced();
  }

 private:
  bool started_ = false;
};

class Limit final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    remaining_ = -1;
  }
  bool next(Row& row) override {
    if (remaining_ < 0) remaining_ = static_cast<std::int64_t>(count_of(*op_.expressions[0], row, context_, "LIMIT"));
    if (remaining_ == 0) {
      // Writes below must all run, whatever the LIMIT keeps.
      if (op_.drains) {
        Row rest = row;
        while (children_[0]->next(rest)) {
        }
      }
      return false;
    }
    if (!children_[0]->next(row)) return false;
    --remaining_;
    return produced();
  }

 private:
  std::int64_t remaining_ = -1;
};

// For each input row, the inner plan's rows with the row as their
// argument; when it has none, the row itself with the inner slots null.
class Optional final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    children_[0]->open(argument);
    have_input_ = false;
  }
  bool next(Row& row) override {
    for (;;) {
      if (have_input_) {
        if (children_[1]->next(row)) {
          matched_ = true;
          return produced();
        }
        have_input_ = false;
        if (!matched_) {
          row = input_;
          for (const std::uint32_t slot : op_.slots) row[slot] = CypherValue();
          return produced();
        }
      }
      if (!children_[0]->next(row)) return false;
      input_ = row;
      // The inner plan starts from `row` itself, so its Argument leaf, which
      // yields the argument into the row within this very call, copies
      // nothing; input_ keeps the row for a null-extended answer.
      children_[1]->open(row);
      have_input_ = true;
      matched_ = false;
    }
  }

 private:
  Row input_;
  bool have_input_ = false;
  bool matched_ = false;
};

class Union final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    part_ = 0;
  }
  bool next(Row& row) override {
    while (part_ < children_.size()) {
      if (children_[part_]->next(row)) {
        // Every part leaves its columns in its own slots; the output reads the first part's.
        const auto& from = op_.column_slots[part_];
        for (std::size_t i = 0; i < op_.slots.size(); ++i) {
          if (from[i] != op_.slots[i]) row[op_.slots[i]] = row[from[i]];
        }
        return produced();
      }
      ++part_;
    }
    return false;
  }

 private:
  std::size_t part_ = 0;
};

class ProduceResults final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    if (!children_[0]->next(row)) return false;
    return produced();
  }
};

}  // namespace

std::unique_ptr<Operator> make_filter(const LogicalOp& op, ExecContext& c) { return std::make_unique<Filter>(op, c); }
std::unique_ptr<Operator> make_projection(const LogicalOp& op, ExecContext& c) {
  return std::make_unique<Projection>(op, c);
}
std::unique_ptr<Operator> make_unwind(const LogicalOp& op, ExecContext& c) { return std::make_unique<Unwind>(op, c); }
std::unique_ptr<Operator> make_skip(const LogicalOp& op, ExecContext& c) { return std::make_unique<Skip>(op, c); }
std::unique_ptr<Operator> make_limit(const LogicalOp& op, ExecContext& c) { return std::make_unique<Limit>(op, c); }
std::unique_ptr<Operator> make_optional(const LogicalOp& op, ExecContext& c) {
  return std::make_unique<Optional>(op, c);
}
std::unique_ptr<Operator> make_union(const LogicalOp& op, ExecContext& c) { return std::make_unique<Union>(op, c); }
std::unique_ptr<Operator> make_produce_results(const LogicalOp& op, ExecContext& c) {
  return std::make_unique<ProduceResults>(op, c);
}

}  // namespace orvane
