// Sort, Top and Distinct: the operators that must see rows before they
// can pass any on.
//
// Sort keeps every row; Top keeps only the best `limit` in a heap, so
// ORDER BY ... LIMIT 10 over a million rows holds ten. Both are stable:
// rows with equal keys keep their input order. Distinct passes a row the
// first time its values appear, keeping one copy of each.
//
// Every kept row (its sort keys and all its slots) or DISTINCT key counts
// against the statement's memory bound; Top gives a row's bytes back when
// a better one replaces it, so it holds k rows' worth however many pass.
#include <algorithm>
#include <optional>
#include <unordered_set>

#include "graph/database.h"
#include "graph/property_key_reader.h"
#include "query/bind/bound_expr.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/value_keys.h"
#include "query/exec/value_size.h"

namespace orvane {
namespace {

struct Keyed {
  std::vector<CypherValue> keys;
  std::uint64_t sequence = 0;  // input order, for stability
  Row row;
};

std::uint64_t kept_bytes(const Keyed& k) { return values_bytes(k.keys) + values_bytes(k.row) + sizeof(k.sequence); }

class Sort final : public Operator {
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
    if (!done_) consume(row);
    if (cursor_ >= rows_kept_.size()) return false;
    row = std::move(rows_kept_[cursor_++].row);
    return produced();
  }

 private:
  bool before(const Keyed& a, const Keyed& b) const {
    for (std::size_t i = 0; i < a.keys.size(); ++i) {
      const int c = order_compare(a.keys[i], b.keys[i]);
      if (c != 0) return op_.sort_keys[i].second ? c > 0 : c < 0;
    }
    return a.sequence < b.sequence;
  }

  void consume(Row& row) {
    done_ = true;
    std::int64_t limit = -1;
    if (op_.kind == LogicalKind::kTop) {
      const CypherValue v = evaluate(*op_.limit, row, context_);
      if (v.kind() != CypherValue::Kind::kInteger || v.as_int() < 0) {
        throw CypherError("SyntaxError", "InvalidArgumentType", ErrorPhase::kRuntime,
                          "Invalid input. LIMIT must be a non-negative integer.");
      }
      limit = v.as_int();
    }
    const auto less = [this](const Keyed& a, const Keyed& b) { return before(a, b); };
    std::uint64_t sequence = 0;
    Keyed k;  // the row at hand; its key vector is reused while rows are dropped
    std::optional<PropertyKeyReader> reader = column_key();
    while (limit != 0 && children_[0]->next(row)) {
      if (reader && static_cast<std::int64_t>(rows_kept_.size()) == limit &&
          cannot_beat(*reader, row, rows_kept_.front().keys[0])) {
        ++sequence;
        continue;
      }
      k.sequence = sequence++;
      k.keys.clear();
      for (const auto& key : op_.sort_keys) k.keys.push_back(evaluate(*key.first, row, context_));
      if (limit > 0 && static_cast<std::int64_t>(rows_kept_.size()) == limit) {
        // A max-heap of the kept rows: replace the worst when this one is better.
        if (!less(k, rows_kept_.front())) continue;
        std::pop_heap(rows_kept_.begin(), rows_kept_.end(), less);
        memory_.remove(kept_bytes(rows_kept_.back()));
        k.row = row;
        memory_.add(kept_bytes(k));
        std::swap(rows_kept_.back(), k);
        std::push_heap(rows_kept_.begin(), rows_kept_.end(), less);
        continue;
      }
      k.row = row;
      memory_.add(kept_bytes(k));
      rows_kept_.push_back(std::move(k));
      k = Keyed();
      if (limit > 0) std::push_heap(rows_kept_.begin(), rows_kept_.end(), less);
    }
    std::sort(rows_kept_.begin(), rows_kept_.end(), less);
  }

  // A reader of the only sort key when it is a property of a node (`n.k`
  // with the key known), for cannot_beat; none otherwise.
  std::optional<PropertyKeyReader> column_key() const {
    if (op_.kind != LogicalKind::kTop || op_.sort_keys.size() != 1) return std::nullopt;
    const BoundExpr& key = *op_.sort_keys[0].first;
    if (key.kind != BoundKind::kProperty || key.node_key == kUnknownKey ||
        key.children[0]->kind != BoundKind::kSlot) {
      return std::nullopt;
    }
    return PropertyKeyReader(context_.db().node_store, key.node_key);
  }

  // Whether the row's key, read straight from its column, would rank
  // after `worst` (the worst kept key): equal ranks after too, as the
  // later row. Only integers and strings against a key of their own type
  // are decided here; anything else is evaluated as usual.
  bool cannot_beat(PropertyKeyReader& reader, const Row& row, const CypherValue& worst) {
    const CypherValue& base = row[op_.sort_keys[0].first->children[0]->slot];
    if (base.kind() != CypherValue::Kind::kNode) return false;
    const std::uint32_t node = base.as_node().identity;
    if (node >= context_.db().node_store.size() || reader.find(node) != PropertyKeyReader::Found::kWord) return false;
    int c = 0;
    if (reader.kind() == PropertyStore::Kind::kInteger && worst.kind() == CypherValue::Kind::kInteger) {
      const auto v = static_cast<std::int64_t>(reader.word());
      c = v < worst.as_int() ? -1 : v > worst.as_int() ? 1 : 0;
    } else if (reader.kind() == PropertyStore::Kind::kString && worst.kind() == CypherValue::Kind::kString) {
      const int r = reader.text().compare(worst.as_string());
      c = r < 0 ? -1 : r > 0 ? 1 : 0;
    } else {
      return false;
    }
    return op_.sort_keys[0].second ? c <= 0 : c >= 0;
  }

  std::vector<Keyed> rows_kept_;
  HeldMemory memory_{context_};  // what rows_kept_ holds
  bool done_ = false;
  std::size_t cursor_ = 0;
};

class Distinct final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    seen_.clear();
    memory_.clear();
  }
  bool next(Row& row) override {
    while (children_[0]->next(row)) {
      std::vector<CypherValue> key;
      key.reserve(op_.slots.size());
      for (const std::uint32_t s : op_.slots) key.push_back(row[s]);
      const auto [kept, fresh] = seen_.insert(std::move(key));
      if (fresh) {
        memory_.add(values_bytes(*kept) + kHashEntryBytes);
        return produced();
      }
    }
    return false;
  }

 private:
  std::unordered_set<std::vector<CypherValue>, ValuesHash, ValuesEqual> seen_;
  HeldMemory memory_{context_};  // what seen_ holds
};

}  // namespace

std::unique_ptr<Operator> make_sort(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Sort>(op, context);
}

std::unique_ptr<Operator> make_distinct(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Distinct>(op, context);
}

}  // namespace orvane
