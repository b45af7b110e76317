// Aggregation: rows grouped by the values of the grouping expressions
// (equivalence: null groups with null, 1 with 1.0), each group folding its
// aggregates; then one row per group, in the order the groups first
// appeared. Without grouping keys there is exactly one group, so
// `RETURN count(*)` over nothing answers 0.
//
// Grouping keeps what it must: per group its key values and one
// accumulator per aggregate; DISTINCT aggregates also keep the values
// seen, collect() and the percentiles and deviations every value. The
// memory this takes counts against the statement's bound: a group when it
// is made, a value when an accumulator keeps it, a minimum or maximum when
// it is replaced.
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "graph/database.h"
#include "graph/property_key_reader.h"
#include "query/bind/bound_query.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/value_keys.h"
#include "query/exec/value_size.h"

namespace orvane {
namespace {

using Kind = CypherValue::Kind;

struct Accumulator {
  std::int64_t count = 0;
  std::int64_t int_sum = 0;
  double float_sum = 0;
  bool floats = false;
  bool overflow_to_float = false;
  CypherValue best;  // min / max
  CypherList values;  // collect, percentiles, stDev
  CypherValue duration_sum;
  std::unordered_set<CypherValue, ValueHash, ValueEqual> seen;  // DISTINCT
};

// Folds the aggregate's value of `row` into `acc`, counting what `acc`
// keeps more in `memory`.
void fold(const BoundAggregate& a, Accumulator& acc, Row& row, ExecContext& context, HeldMemory& memory) {
  if (a.kind == AggregateKind::kCountStar) {
    ++acc.count;
    return;
  }
  CypherValue v = evaluate(*a.argument, row, context);
  if (v.is_null()) return;
  if (a.distinct) {
    if (!acc.seen.insert(v).second) return;
    memory.add(value_bytes(v) + kHashEntryBytes);
  }
  ++acc.count;
  switch (a.kind) {
    case AggregateKind::kCount: break;
    case AggregateKind::kSum:
    case AggregateKind::kAvg:
      if (v.kind() == Kind::kDuration) {
        throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                          "sum() and avg() of durations are not supported by this query engine yet");
      }
      if (!v.is_number()) type_mismatch("Number", v);
      if (v.kind() == Kind::kInteger && !acc.floats) {
        std::int64_t r = 0;
        if (__builtin_add_overflow(acc.int_sum, v.as_int(), &r)) {
          if (a.kind == AggregateKind::kSum) {
            throw CypherError("ArithmeticError", "IntegerOverflow", ErrorPhase::kRuntime, "long overflow");
          }
          acc.floats = true;
          acc.float_sum = static_cast<double>(acc.int_sum) + static_cast<double>(v.as_int());
        } else {
          acc.int_sum = r;
        }
      } else {
        if (!acc.floats) {
          acc.floats = true;
          acc.float_sum = static_cast<double>(acc.int_sum);
        }
        acc.float_sum += v.as_number();
      }
      break;
    case AggregateKind::kMin:
    case AggregateKind::kMax: {
      if (!acc.best.is_null()) {
        const int c = order_compare(v, acc.best);
        if (a.kind == AggregateKind::kMin ? c >= 0 : c <= 0) break;
      }
      memory.remove(value_heap_bytes(acc.best));
      memory.add(value_heap_bytes(v));
      acc.best = std::move(v);
      break;
    }
    case AggregateKind::kCollect:
    case AggregateKind::kStDev:
    case AggregateKind::kStDevP:
    case AggregateKind::kPercentileCont:
    case AggregateKind::kPercentileDisc:
      if (a.kind != AggregateKind::kCollect && !v.is_number()) type_mismatch("Number", v);
      memory.add(value_bytes(v));
      acc.values.push_back(std::move(v));
      break;
    case AggregateKind::kCountStar: break;
  }
}

CypherValue percentile(const BoundAggregate& a, Accumulator& acc, Row& row, ExecContext& context) {
  const CypherValue p = evaluate(*a.percentile, row, context);
  if (!p.is_number() || p.as_number() < 0 || p.as_number() > 1) {
    throw CypherError("ArgumentError", "NumberOutOfRange", ErrorPhase::kRuntime,
                      "Invalid input '" + (p.is_number() ? std::to_string(p.as_number()) : std::string(type_name(p))) +
                          "' is not a valid argument, must be a number in the range 0.0 to 1.0");
  }
  if (acc.values.empty()) return {};
  std::vector<double> xs;
  for (const CypherValue& v : acc.values) xs.push_back(v.as_number());
  std::sort(xs.begin(), xs.end());
  const double q = p.as_number();
  if (a.kind == AggregateKind::kPercentileDisc) {
    const auto index = static_cast<std::size_t>(std::max(0.0, std::ceil(q * static_cast<double>(xs.size())) - 1));
    const CypherValue* original = nullptr;
    for (const CypherValue& v : acc.values) {
      if (v.as_number() == xs[std::min(index, xs.size() - 1)]) original = &v;
    }
    return original != nullptr ? *original : CypherValue(xs[index]);
  }
  const double position = q * static_cast<double>(xs.size() - 1);
  const auto lower = static_cast<std::size_t>(std::floor(position));
  const std::size_t upper = std::min(lower + 1, xs.size() - 1);
  return xs[lower] + (position - static_cast<double>(lower)) * (xs[upper] - xs[lower]);
}

CypherValue result(const BoundAggregate& a, Accumulator& acc, Row& row, ExecContext& context) {
  switch (a.kind) {
    case AggregateKind::kCountStar:
    case AggregateKind::kCount: return acc.count;
    case AggregateKind::kSum:
      if (acc.floats) return acc.float_sum;
      return acc.int_sum;
    case AggregateKind::kAvg:
      if (acc.count == 0) return {};
      return (acc.floats ? acc.float_sum : static_cast<double>(acc.int_sum)) / static_cast<double>(acc.count);
    case AggregateKind::kMin:
    case AggregateKind::kMax: return acc.best;
    case AggregateKind::kCollect: return acc.values;
    case AggregateKind::kStDev:
    case AggregateKind::kStDevP: {
      const std::size_t n = acc.values.size();
      if (n < 2) return 0.0;
      double mean = 0;
      for (const CypherValue& v : acc.values) mean += v.as_number();
      mean /= static_cast<double>(n);
      double squares = 0;
      for (const CypherValue& v : acc.values) squares += (v.as_number() - mean) * (v.as_number() - mean);
      return std::sqrt(squares / static_cast<double>(a.kind == AggregateKind::kStDev ? n - 1 : n));
    }
    case AggregateKind::kPercentileCont:
    case AggregateKind::kPercentileDisc: return percentile(a, acc, row, context);
  }
  return {};
}

// Hashes strings and views of them alike, for lookups by view.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

class Aggregation final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    groups_.clear();
    order_.clear();
    memory_.clear();
    done_ = false;
    cursor_ = 0;
  }
  bool next(Row& row) override {
    if (!done_) consume(row);
    if (cursor_ >= order_.size()) return false;
    Group& g = *order_[cursor_++];
    row = g.row;
    for (std::size_t i = 0; i < op_.slots.size(); ++i) row[op_.slots[i]] = g.key[i];
    for (std::size_t i = 0; i < op_.aggregates.size(); ++i) {
      row[op_.aggregates[i]->slot] = result(*op_.aggregates[i], g.accumulators[i], row, context_);
    }
    return produced();
  }

 private:
  struct Group {
    std::vector<CypherValue> key;
    std::vector<Accumulator> accumulators;
    Row row;  // the group's first row, so slots outside the projection keep a width
  };

  void consume(Row& row) {
    done_ = true;
    if (op_.expressions.empty()) return consume_ungrouped(row);
    if (column_key()) return consume_by_column(row);
    std::vector<CypherValue> key;
    while (children_[0]->next(row)) fold_row(group_of(key, row), row);
  }

  void fold_row(Group& g, Row& row) {
    for (std::size_t i = 0; i < op_.aggregates.size(); ++i) {
      fold(*op_.aggregates[i], g.accumulators[i], row, context_, memory_);
    }
  }

  // The group of `row` (made when new), its key evaluated into `key`.
  Group& group_of(std::vector<CypherValue>& key, Row& row) {
    key.clear();
    for (const auto& e : op_.expressions) key.push_back(evaluate(*e, row, context_));
    auto it = groups_.find(key);
    if (it == groups_.end()) {
      // The key twice (the table's and the group's), the accumulators,
      // the first row, the table entry and the order's pointer.
      memory_.add(2 * values_bytes(key) + sizeof(Group) + op_.aggregates.size() * sizeof(Accumulator) +
                  values_bytes(row) + kHashEntryBytes + sizeof(Group*));
      Group g{key, std::vector<Accumulator>(op_.aggregates.size()), row};
      it = groups_.emplace(key, std::move(g)).first;
      order_.push_back(&it->second);
    }
    return it->second;
  }

  // Whether the only grouping key is a property of the node the input
  // scans (`n.k`), which consume_by_column reads from its column.
  bool column_key() const {
    if (op_.expressions.size() != 1 || !children_[0]->batches_nodes()) return false;
    const BoundExpr& e = *op_.expressions[0];
    return e.kind == BoundKind::kProperty && e.node_key != kUnknownKey && e.children[0]->kind == BoundKind::kSlot &&
           e.children[0]->slot == children_[0]->logical().slot;
  }

  // Grouping by `n.k` over batches of scanned nodes: a node whose value is
  // an integer or a string in a column finds its group by that value in a
  // table of its own, without building the key; any other goes the usual
  // way. The tables only remember what group_of answered, so values that
  // group together (1 and 1.0) still share a group.
  void consume_by_column(Row& row) {
    Operator& input = *children_[0];
    const std::uint32_t slot = input.logical().slot;
    const PropertyStore& store = context_.db().node_store;
    PropertyKeyReader reader(store, op_.expressions[0]->node_key);
    // Small non-negative integers (topics, years, ratings) index a table
    // directly; other integers and strings go through a hash table.
    static constexpr std::int64_t kDirect = 4096;
    std::vector<Group*> small;
    std::unordered_map<std::int64_t, Group*> by_integer;
    std::unordered_map<std::string, Group*, TextHash, std::equal_to<>> by_text;
    std::vector<CypherValue> key;
    // With only count(*) to fold, a row is needed only to make a group.
    bool counts_only = true;
    for (const auto& a : op_.aggregates) counts_only = counts_only && a->kind == AggregateKind::kCountStar;
    const auto made = [&](std::uint32_t node) -> Group* {
      row[slot] = NodeRef{node};
      return &group_of(key, row);
    };
    for (auto nodes = input.next_nodes(row); !nodes.empty(); nodes = input.next_nodes(row)) {
      for (const std::uint32_t node : nodes) {
        Group* g = nullptr;
        if (node < store.size() && reader.find(node) == PropertyKeyReader::Found::kWord) {
          if (reader.kind() == PropertyStore::Kind::kInteger) {
            const auto v = static_cast<std::int64_t>(reader.word());
            if (v >= 0 && v < kDirect) {
              if (small.empty()) small.assign(kDirect, nullptr);
              Group*& cached = small[static_cast<std::size_t>(v)];
              if (cached == nullptr) cached = made(node);
              g = cached;
            } else {
              const auto it = by_integer.find(v);
              g = it != by_integer.end() ? it->second : by_integer.emplace(v, made(node)).first->second;
            }
          } else if (reader.kind() == PropertyStore::Kind::kString) {
            const std::string_view v = reader.text();
            const auto it = by_text.find(v);
            g = it != by_text.end() ? it->second : by_text.emplace(std::string(v), made(node)).first->second;
          }
        }
        if (g == nullptr) g = made(node);
        if (counts_only) {
          for (Accumulator& acc : g->accumulators) ++acc.count;
        } else {
          row[slot] = NodeRef{node};
          fold_row(*g, row);
        }
      }
    }
  }

  // No grouping keys and only count(*) (or the count of the scanned node
  // itself, never null) over batches of scanned nodes: the count is the
  // sum of the batches' sizes.
  bool counts_scan_only() const {
    if (!children_[0]->batches_nodes()) return false;
    for (const auto& a : op_.aggregates) {
      const bool count_of_node = a->kind == AggregateKind::kCount && !a->distinct &&
                                 a->argument->kind == BoundKind::kSlot &&
                                 a->argument->slot == children_[0]->logical().slot;
      if (a->kind != AggregateKind::kCountStar && !count_of_node) return false;
    }
    return true;
  }

  // No grouping keys: one group, even over no rows, folded without a
  // table lookup per row. Its first row is the first input row, or the
  // row as it was when there was none.
  void consume_ungrouped(Row& row) {
    Group* g = nullptr;
    const auto make_group = [&] {
      memory_.add(sizeof(Group) + op_.aggregates.size() * sizeof(Accumulator) + values_bytes(row) +
                  kHashEntryBytes + sizeof(Group*));
      Group fresh{{}, std::vector<Accumulator>(op_.aggregates.size()), row};
      g = &groups_.emplace(std::vector<CypherValue>{}, std::move(fresh)).first->second;
      order_.push_back(g);
    };
    if (counts_scan_only()) {
      // The group's row keeps its width only: nothing after an
      // aggregation reads the scanned node.
      const auto count = static_cast<std::int64_t>(children_[0]->count_nodes(row));
      make_group();
      for (Accumulator& acc : g->accumulators) acc.count = count;
      return;
    }
    while (children_[0]->next(row)) {
      if (g == nullptr) make_group();
      fold_row(*g, row);
    }
    if (g == nullptr) make_group();
  }

  std::unordered_map<std::vector<CypherValue>, Group, ValuesHash, ValuesEqual> groups_;
  std::vector<Group*> order_;
  HeldMemory memory_{context_};  // what groups_ and order_ hold
  bool done_ = false;
  std::size_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_aggregation(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Aggregation>(op, context);
}

}  // namespace orvane
