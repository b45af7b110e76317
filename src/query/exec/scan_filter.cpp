// ScanFilter (see scan_filter.h).
#include "query/exec/scan_filter.h"

#include <bit>
#include <cmath>
#include <functional>

#include "graph/database.h"
#include "query/bind/bound_expr.h"
#include "query/exec/evaluate.h"

namespace orvane {
namespace {

using Found = PropertyKeyReader::Found;
using StoreKind = PropertyStore::Kind;

template <typename T>
bool ordered(ast::Op op, const T& a, const T& b) {
  switch (op) {
    case ast::Op::kEqual: return a == b;
    case ast::Op::kNotEqual: return a != b;
    case ast::Op::kLess: return a < b;
    case ast::Op::kLessEqual: return a <= b;
    case ast::Op::kGreater: return a > b;
    case ast::Op::kGreaterEqual: return a >= b;
    default: return false;
  }
}

}  // namespace

ScanFilter::ScanFilter(const std::vector<std::shared_ptr<BoundExpr>>& predicates, ExecContext& context)
    : context_(context) {
  const PropertyStore& store = context.db().node_store;
  Row none;
  for (const auto& p : predicates) {
    const BoundExpr& property = *p->children[0];
    // A key unknown when the plan was made may exist by now.
    const std::uint32_t key = property.node_key != kUnknownKey ? property.node_key : store.find_key(property.name);
    Test t{PropertyKeyReader(store, key), ast::Op::kEqual, CypherValue()};
    if (p->kind == BoundKind::kComparison) {
      t.op = p->ops[0];
      t.value = evaluate(*p->children[1], none, context);
    } else {
      t.null_test = true;
      t.is_null = p->kind == BoundKind::kIsNull;
    }
    tests_.push_back(std::move(t));
  }
}

void ScanFilter::select(const std::uint32_t* nodes, std::size_t n, std::vector<std::uint32_t>& out) {
  out.assign(nodes, nodes + n);
  for (Test& t : tests_) {
    std::size_t kept = 0;
    if (!t.null_test && t.value.kind() == CypherValue::Kind::kInteger) {
      // The common case of a range or equality on an integer column: one
      // loop per operator, the comparison inline.
      const std::int64_t c = t.value.as_int();
      const auto keep = [&](auto cmp) {
        kept = t.reader.select_integers(
            out.data(), out.size(), out.data(), [&](std::int64_t v) { return cmp(v, c); },
            [&](std::uint32_t node) { return pass(t, node); });
      };
      switch (t.op) {
        case ast::Op::kEqual: keep(std::equal_to<>()); break;
        case ast::Op::kNotEqual: keep(std::not_equal_to<>()); break;
        case ast::Op::kLess: keep(std::less<>()); break;
        case ast::Op::kLessEqual: keep(std::less_equal<>()); break;
        case ast::Op::kGreater: keep(std::greater<>()); break;
        case ast::Op::kGreaterEqual: keep(std::greater_equal<>()); break;
        default:
          for (const std::uint32_t node : out) {
            if (pass(t, node)) out[kept++] = node;
          }
      }
    } else {
      for (const std::uint32_t node : out) {
        if (pass(t, node)) out[kept++] = node;
      }
    }
    out.resize(kept);
    if (kept == 0) return;
  }
}

bool ScanFilter::pass(Test& t, std::uint32_t node) {
  const Found found = t.reader.find(node);
  if (t.null_test) {
    const bool absent = found == Found::kAbsent ||
                        (found == Found::kOther && context_.db().node_store.get(node, t.reader.key()).is_null());
    return absent == t.is_null;
  }
  if (found == Found::kAbsent || t.value.is_null()) return false;
  if (found == Found::kWord) {
    const StoreKind kind = t.reader.kind();
    const CypherValue::Kind other = t.value.kind();
    if (kind == StoreKind::kInteger && other == CypherValue::Kind::kInteger) {
      return ordered(t.op, static_cast<std::int64_t>(t.reader.word()), t.value.as_int());
    }
    if (kind == StoreKind::kString && other == CypherValue::Kind::kString) {
      return ordered(t.op, t.reader.text(), std::string_view(t.value.as_string()));
    }
    if (kind == StoreKind::kFloat && other == CypherValue::Kind::kFloat) {
      const double a = std::bit_cast<double>(t.reader.word()), b = t.value.as_float();
      if (!std::isnan(a) && !std::isnan(b)) return ordered(t.op, a, b);
    }
  }
  const CypherValue r =
      compare_values(t.op, from_property(context_.db().node_store.get(node, t.reader.key())), t.value);
  return r.kind() == CypherValue::Kind::kBool && r.as_bool();
}

}  // namespace orvane
