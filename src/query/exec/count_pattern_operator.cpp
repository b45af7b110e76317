// CountPattern: the count of one linear pattern by a counting method
// (plan/count_pattern.h), decided on the graph at hand when the operator
// opens; the aggregation below it runs only when every method declines.
#include <optional>

#include "graph/database.h"
#include "query/exec/operator.h"
#include "query/plan/count_pattern.h"

namespace orvane {
namespace {

class CountPatternOperator final : public Operator {
 public:
  using Operator::Operator;

  void open(const Row& argument) override {
    argument_ = &argument;
    emitted_ = false;
    count_ = counted();
    if (!count_) Operator::open(argument);
  }

  bool next(Row& row) override {
    if (!count_) return children_[0]->next(row) && produced();
    if (emitted_) return false;
    emitted_ = true;
    row = *argument_;
    row.resize(row.size() < op_.count_pattern->count_slot + 1 ? op_.count_pattern->count_slot + 1 : row.size());
    row[op_.count_pattern->count_slot] = CypherValue(static_cast<std::int64_t>(*count_));
    return produced();
  }

  const char* name() const override { return count_operator_name(method_, op_.count_pattern->pattern); }
  Shown shown() const override { return count_ ? Shown::kLeaf : Shown::kChild; }

 private:
  // The count by a method, or nullopt when the aggregation must count.
  std::optional<std::uint64_t> counted() {
    const CountPattern& pattern = *op_.count_pattern;
    const Database& db = context_.db();
    // Nodes alone are counted over writes not yet folded too; the counting
    // methods of patterns read the compiled arrays alone, so a graph with
    // such writes (or deletions) is enumerated.
    if (pattern.pattern.relationships.empty() && pattern.pattern.nodes[0].properties.empty() &&
        pattern.parameters.empty() && db.graph.csr_valid) {
      const CountNode& node = pattern.pattern.nodes[0];
      if (node.label.empty()) return db.graph.live_node_count();
      const auto it = db.node_type_ids.find(node.label);
      return it == db.node_type_ids.end() ? 0 : db.graph.label_count_now(it->second);
    }
    if (!db.graph.compiled || db.graph.has_tombstones()) return std::nullopt;
    const CountedPattern* query = &pattern.pattern;
    CountedPattern bound;
    if (!pattern.parameters.empty()) {
      bound = pattern.pattern;
      for (const CountParameter& p : pattern.parameters) {
        const CypherValue& v = context_.parameter(p.index);
        nlohmann::json& literal = bound.nodes[p.node].properties[p.key];
        switch (v.kind()) {
          case CypherValue::Kind::kBool: literal = v.as_bool(); break;
          case CypherValue::Kind::kInteger: literal = v.as_int(); break;
          case CypherValue::Kind::kFloat: literal = v.as_float(); break;
          case CypherValue::Kind::kString: literal = v.as_string(); break;
          default: return std::nullopt;
        }
      }
      query = &bound;
    }
    if (db.generated) {
      // The generated graphs' reading of {id: N} (the node whose id is N
      // when none stores one) is the methods' for whole numbers only.
      for (const CountNode& node : query->nodes) {
        const auto it = node.properties.find("id");
        if (it != node.properties.end() && !it->second.is_number_integer()) return std::nullopt;
      }
    }
    if (query->relationships.empty()) {
      const CountNode& node = query->nodes[0];
      if (!node.properties.empty()) return std::nullopt;
      if (node.label.empty()) return db.graph.node_count;
      const auto it = db.node_type_ids.find(node.label);
      return it == db.node_type_ids.end() ? 0 : db.graph.nodes_with_label(it->second).size();
    }
    return planned_count(context_, *query, &method_);
  }

  const Row* argument_ = nullptr;
  std::optional<std::uint64_t> count_;
  CountMethod method_ = CountMethod::Enumerate;
  bool emitted_ = false;
};

}  // namespace

std::unique_ptr<Operator> make_count_pattern(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<CountPatternOperator>(op, context);
}

}  // namespace orvane
