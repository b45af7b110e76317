// Expression evaluation, one case per bound kind.
//
// Null propagates through every operator and function argument unless the
// operator says otherwise (IS NULL, AND/OR/XOR with a deciding side,
// coalesce, list concatenation). Integer arithmetic is checked: Cypher
// raises an error on overflow where C++ would wrap.
#include "query/exec/evaluate.h"
#include "query/exec/regex_match.h"

#include <cmath>
#include <limits>

#include "graph/database.h"
#include "query/bind/bound_expr.h"
#include "query/cypher_error.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

using Kind = CypherValue::Kind;

[[noreturn]] void arithmetic_error(const char* detail, const std::string& message) {
  throw CypherError("ArithmeticError", detail, ErrorPhase::kRuntime, message);
}

// `overflow` is the result of a __builtin_*_overflow that wrote `value`;
// the two are separate statements at every call, so the write comes first.
CypherValue checked(bool overflow, std::int64_t value) {
  if (overflow) arithmetic_error("IntegerOverflow", "long overflow");
  return value;
}

CypherValue property_of(const BoundExpr& expr, const CypherValue& base, ExecContext& context) {
  const Database& db = context.db();
  switch (base.kind()) {
    case Kind::kNull: return {};
    // A key unknown when the plan was made may have been created since (by
    // this very statement's CREATE): it is then looked up by name.
    case Kind::kNode:
      if (expr.node_key == kUnknownKey) return from_property(db.node_property(base.as_node().identity, expr.name));
      return context.node_reader(expr.node_key).value(base.as_node().identity);
    case Kind::kRelationship: {
      const std::uint32_t rel = base.as_relationship().identity;
      if (rel >= db.rel_store.size()) return {};
      if (expr.rel_key == kUnknownKey) return from_property(db.relationship_property(rel, expr.name));
      return context.rel_reader(expr.rel_key).value(rel);
    }
    case Kind::kMap: {
      const CypherValue* member = base.find(expr.name);
      return member == nullptr ? CypherValue() : *member;
    }
    default:
      return component_of(base, expr.name);
  }
}

CypherValue add(const CypherValue& a, const CypherValue& b) {
  if (a.kind() == Kind::kList || b.kind() == Kind::kList) {
    CypherList out;
    if (a.kind() == Kind::kList) {
      out = a.as_list();
    } else {
      out.push_back(a);
    }
    if (b.kind() == Kind::kList) {
      out.insert(out.end(), b.as_list().begin(), b.as_list().end());
    } else {
      out.push_back(b);
    }
    return out;
  }
  if (a.is_null() || b.is_null()) return {};
  if (a.kind() == Kind::kInteger && b.kind() == Kind::kInteger) {
    std::int64_t r = 0;
    const bool overflow = __builtin_add_overflow(a.as_int(), b.as_int(), &r);
    return checked(overflow, r);
  }
  if (a.is_number() && b.is_number()) return a.as_number() + b.as_number();
  if (a.kind() == Kind::kString || b.kind() == Kind::kString) {
    const auto text = [](const CypherValue& v) -> std::string {
      if (v.kind() == Kind::kString) return v.as_string();
      if (v.is_number() || v.kind() == Kind::kBool) return to_text(v);
      type_mismatch("String or Number", v);
    };
    return text(a) + text(b);
  }
  return temporal_arithmetic(ast::Op::kAdd, a, b);
}

CypherValue arithmetic(ast::Op op, const CypherValue& a, const CypherValue& b) {
  if (op == ast::Op::kAdd) return add(a, b);
  if (a.is_null() || b.is_null()) return {};
  if (!a.is_number() || !b.is_number()) return temporal_arithmetic(op, a, b);
  if (op == ast::Op::kPower) return std::pow(a.as_number(), b.as_number());
  if (a.kind() == Kind::kInteger && b.kind() == Kind::kInteger) {
    const std::int64_t x = a.as_int(), y = b.as_int();
    std::int64_t r = 0;
    switch (op) {
      case ast::Op::kSubtract: {
        const bool overflow = __builtin_sub_overflow(x, y, &r);
        return checked(overflow, r);
      }
      case ast::Op::kMultiply: {
        const bool overflow = __builtin_mul_overflow(x, y, &r);
        return checked(overflow, r);
      }
      case ast::Op::kDivide:
        if (y == 0) arithmetic_error("DivisionByZero", "/ by zero");
        if (x == std::numeric_limits<std::int64_t>::min() && y == -1) arithmetic_error("IntegerOverflow", "long overflow");
        return x / y;
      case ast::Op::kModulo:
        if (y == 0) arithmetic_error("DivisionByZero", "/ by zero");
        if (y == -1) return std::int64_t{0};
        return x % y;
      default: break;
    }
  }
  const double x = a.as_number(), y = b.as_number();
  switch (op) {
    case ast::Op::kSubtract: return x - y;
    case ast::Op::kMultiply: return x * y;
    case ast::Op::kDivide: return x / y;
    case ast::Op::kModulo: return std::fmod(x, y);
    default: return {};
  }
}

CypherValue string_test(ast::Op op, const CypherValue& a, const CypherValue& b) {
  if (a.kind() != Kind::kString || b.kind() != Kind::kString) return {};
  const std::string& s = a.as_string();
  const std::string& t = b.as_string();
  switch (op) {
    case ast::Op::kStartsWith: return s.starts_with(t);
    case ast::Op::kEndsWith: return s.ends_with(t);
    case ast::Op::kContains: return s.find(t) != std::string::npos;
    default: break;
  }
  return regex_matches(s, t);
}

CypherValue in_list(const CypherValue& a, const CypherValue& b) {
  if (b.is_null()) return {};
  if (b.kind() != Kind::kList) type_mismatch("List", b);
  bool unknown = false;
  for (const CypherValue& element : b.as_list()) {
    const std::optional<bool> e = cypher_equals(a, element);
    if (!e) {
      unknown = true;
    } else if (*e) {
      return true;
    }
  }
  if (unknown) return {};
  return false;
}

// The index of `i` into a sequence of `size`, negative from the end;
// -1 when outside.
std::int64_t index_into(std::int64_t i, std::size_t size) {
  const auto n = static_cast<std::int64_t>(size);
  if (i < 0) i += n;
  return i < 0 || i >= n ? -1 : i;
}

CypherValue subscript(const CypherValue& base, const CypherValue& index, ExecContext& context) {
  if (base.is_null() || index.is_null()) return {};
  if (base.kind() == Kind::kList) {
    if (index.kind() != Kind::kInteger) type_mismatch("Integer", index);
    const std::int64_t i = index_into(index.as_int(), base.as_list().size());
    return i < 0 ? CypherValue() : base.as_list()[static_cast<std::size_t>(i)];
  }
  if (index.kind() != Kind::kString) {
    if (base.kind() == Kind::kMap) {
      throw CypherError("TypeError", "MapElementAccessByNonString", ErrorPhase::kRuntime,
                        std::string("Cannot access a map by a key that is not a String: ") + type_name(index));
    }
    type_mismatch("String", index);
  }
  const std::string& key = index.as_string();
  const Database& db = context.db();
  if (base.kind() == Kind::kMap) {
    const CypherValue* member = base.find(key);
    return member == nullptr ? CypherValue() : *member;
  }
  if (base.kind() == Kind::kNode) return from_property(db.node_property(base.as_node().identity, key));
  if (base.kind() == Kind::kRelationship) return from_property(db.relationship_property(base.as_relationship().identity, key));
  type_mismatch("Map, Node or Relationship", base);
}

CypherValue slice(const CypherValue& base, const CypherValue& from, const CypherValue& to) {
  if (base.is_null()) return {};
  if (base.kind() != Kind::kList) type_mismatch("List", base);
  const CypherList& list = base.as_list();
  const auto n = static_cast<std::int64_t>(list.size());
  const auto bound = [n](const CypherValue& v, std::int64_t absent) -> std::optional<std::int64_t> {
    if (v.is_null()) return std::nullopt;
    if (v.kind() != Kind::kInteger) type_mismatch("Integer", v);
    std::int64_t i = v.as_int();
    if (i < 0) i += n;
    (void)absent;
    return std::clamp<std::int64_t>(i, 0, n);
  };
  const std::optional<std::int64_t> lo = from.is_null() ? std::optional<std::int64_t>(0) : bound(from, 0);
  const std::optional<std::int64_t> hi = to.is_null() ? std::optional<std::int64_t>(n) : bound(to, n);
  if (!lo || !hi) return {};
  if (*lo >= *hi) return CypherList{};
  return CypherList(list.begin() + *lo, list.begin() + *hi);
}

CypherValue map_projection(const BoundExpr& expr, Row& row, ExecContext& context) {
  const CypherValue base = evaluate(*expr.children[0], row, context);
  if (base.is_null()) return {};
  CypherMap out;
  const auto put = [&out](std::string key, CypherValue value) {
    for (auto& [k, v] : out) {
      if (k == key) {
        v = std::move(value);
        return;
      }
    }
    out.emplace_back(std::move(key), std::move(value));
  };
  if (expr.all_properties) {
    if (base.kind() == Kind::kMap) {
      for (const auto& [k, v] : base.as_map()) put(k, v);
    } else {
      for (auto& [k, v] : properties_of(base, context.db())) put(k, v);
    }
  }
  for (std::size_t i = 0; i < expr.keys.size(); ++i) put(expr.keys[i], evaluate(*expr.children[i + 1], row, context));
  return out;
}

CypherValue list_comprehension(const BoundExpr& expr, Row& row, ExecContext& context) {
  const CypherValue list = evaluate(*expr.children[0], row, context);
  if (list.is_null()) return {};
  if (list.kind() != Kind::kList) type_mismatch("List", list);
  CypherList out;
  for (const CypherValue& element : list.as_list()) {
    context.step();
    row[expr.slot] = element;
    if (expr.where && !is_true(evaluate(*expr.where, row, context))) continue;
    out.push_back(expr.projection ? evaluate(*expr.projection, row, context) : element);
  }
  return out;
}

CypherValue quantifier(const BoundExpr& expr, Row& row, ExecContext& context) {
  const CypherValue list = evaluate(*expr.children[0], row, context);
  if (list.is_null()) return {};
  if (list.kind() != Kind::kList) type_mismatch("List", list);
  std::size_t yes = 0, unknown = 0;
  for (const CypherValue& element : list.as_list()) {
    context.step();
    row[expr.slot] = element;
    const CypherValue v = expr.where ? evaluate(*expr.where, row, context) : CypherValue(true);
    if (v.is_null()) {
      ++unknown;
    } else if (is_true(v)) {
      ++yes;
    }
  }
  const std::size_t n = list.as_list().size();
  const std::size_t no = n - yes - unknown;
  switch (expr.quantifier) {
    case ast::Quantifier::kAll:
      if (no > 0) return false;
      return unknown > 0 ? CypherValue() : CypherValue(true);
    case ast::Quantifier::kAny:
      if (yes > 0) return true;
      return unknown > 0 ? CypherValue() : CypherValue(false);
    case ast::Quantifier::kNone:
      if (yes > 0) return false;
      return unknown > 0 ? CypherValue() : CypherValue(true);
    case ast::Quantifier::kSingle:
      if (yes > 1) return false;
      if (unknown > 0) return {};
      return yes == 1;
  }
  return {};
}

CypherValue case_of(const BoundExpr& expr, Row& row, ExecContext& context) {
  if (expr.has_subject) {
    const CypherValue subject = evaluate(*expr.children[0], row, context);
    for (std::size_t i = 0; i < expr.whens.size(); ++i) {
      if (cypher_equals(subject, evaluate(*expr.whens[i], row, context)).value_or(false)) {
        return evaluate(*expr.thens[i], row, context);
      }
    }
  } else {
    for (std::size_t i = 0; i < expr.whens.size(); ++i) {
      if (is_true(evaluate(*expr.whens[i], row, context))) return evaluate(*expr.thens[i], row, context);
    }
  }
  return expr.else_expr ? evaluate(*expr.else_expr, row, context) : CypherValue();
}

CypherValue has_labels(const BoundExpr& expr, Row& row, ExecContext& context) {
  const CypherValue v = evaluate(*expr.children[0], row, context);
  if (v.is_null()) return {};
  const Database& db = context.db();
  if (v.kind() == Kind::kNode) {
    if (expr.any_label) return !db.graph.labels_of(v.as_node().identity).empty();
    if (expr.unknown_label) return false;
    for (const std::uint16_t label : expr.label_ids) {
      if (!db.graph.has_label(v.as_node().identity, label)) return false;
    }
    return true;
  }
  if (v.kind() == Kind::kRelationship) {
    // r:T tests the type, by name: the names were resolved as labels.
    const std::string& type = db.rel_type_name(db.graph.edges[v.as_relationship().identity].type);
    for (const std::string& name : expr.keys) {
      if (name != type) return false;
    }
    return true;
  }
  type_mismatch("Node or Relationship", v);
}

CypherValue subquery(const BoundExpr& expr, Row& row, ExecContext& context) {
  std::int64_t count = 0;
  CypherList collected;
  context.run_subplan(*expr.plan, row, [&](Row& inner) {
    ++count;
    if (expr.subquery_kind == SubqueryKind::kCollect) collected.push_back(evaluate(*expr.projection, inner, context));
    return expr.subquery_kind != SubqueryKind::kExists;
  });
  switch (expr.subquery_kind) {
    case SubqueryKind::kExists: return count > 0;
    case SubqueryKind::kCount: return count;
    case SubqueryKind::kCollect: return collected;
  }
  return {};
}

}  // namespace

void type_mismatch(const char* expected, const CypherValue& got) {
  throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                    std::string("Type mismatch: expected ") + expected + " but was " + type_name(got));
}

CypherValue compare_values(ast::Op op, const CypherValue& a, const CypherValue& b) {
  if (op == ast::Op::kEqual || op == ast::Op::kNotEqual) {
    const std::optional<bool> e = cypher_equals(a, b);
    if (!e) return {};
    return op == ast::Op::kEqual ? *e : !*e;
  }
  const std::optional<std::partial_ordering> c = cypher_compare(a, b);
  if (!c) return {};
  switch (op) {
    case ast::Op::kLess: return *c < 0;
    case ast::Op::kLessEqual: return *c <= 0;
    case ast::Op::kGreater: return *c > 0;
    case ast::Op::kGreaterEqual: return *c >= 0;
    default: return {};
  }
}


bool is_true(const CypherValue& value) {
  if (value.kind() == Kind::kBool) return value.as_bool();
  if (value.is_null()) return false;
  type_mismatch("Boolean", value);
}

CypherValue evaluate(const BoundExpr& expr, Row& row, ExecContext& context) {
  switch (expr.kind) {
    case BoundKind::kConstant: return expr.constant;
    case BoundKind::kParameter: return context.parameter(expr.slot);
    case BoundKind::kSlot:
    case BoundKind::kAggregate: return row[expr.slot];
    case BoundKind::kProperty: return property_of(expr, evaluate(*expr.children[0], row, context), context);
    case BoundKind::kList: {
      CypherList out;
      out.reserve(expr.children.size());
      for (const auto& child : expr.children) out.push_back(evaluate(*child, row, context));
      return out;
    }
    case BoundKind::kMap: {
      CypherMap out;
      out.reserve(expr.children.size());
      for (std::size_t i = 0; i < expr.children.size(); ++i) {
        out.emplace_back(expr.keys[i], evaluate(*expr.children[i], row, context));
      }
      return out;
    }
    case BoundKind::kMapProjection: return map_projection(expr, row, context);
    case BoundKind::kIndex:
      return subscript(evaluate(*expr.children[0], row, context), evaluate(*expr.children[1], row, context), context);
    case BoundKind::kSlice:
      return slice(evaluate(*expr.children[0], row, context), evaluate(*expr.children[1], row, context),
                   evaluate(*expr.children[2], row, context));
    case BoundKind::kNot: {
      const CypherValue v = evaluate(*expr.children[0], row, context);
      if (v.is_null()) return {};
      return !is_true(v);
    }
    case BoundKind::kNegate: {
      const CypherValue v = evaluate(*expr.children[0], row, context);
      if (v.is_null()) return {};
      if (v.kind() == Kind::kInteger) {
        if (v.as_int() == std::numeric_limits<std::int64_t>::min()) arithmetic_error("IntegerOverflow", "long overflow");
        return -v.as_int();
      }
      if (v.kind() == Kind::kFloat) return -v.as_float();
      return temporal_arithmetic(ast::Op::kNegate, v, CypherValue());
    }
    case BoundKind::kBinary: {
      const CypherValue a = evaluate(*expr.children[0], row, context);
      const CypherValue b = evaluate(*expr.children[1], row, context);
      switch (expr.op) {
        case ast::Op::kIn: return in_list(a, b);
        case ast::Op::kStartsWith:
        case ast::Op::kEndsWith:
        case ast::Op::kContains:
        case ast::Op::kRegexMatch: return string_test(expr.op, a, b);
        default: return arithmetic(expr.op, a, b);
      }
    }
    case BoundKind::kAnd: {
      bool unknown = false;
      for (const auto& child : expr.children) {
        const CypherValue v = evaluate(*child, row, context);
        if (v.is_null()) {
          unknown = true;
        } else if (!is_true(v)) {
          return false;
        }
      }
      return unknown ? CypherValue() : CypherValue(true);
    }
    case BoundKind::kOr: {
      bool unknown = false;
      for (const auto& child : expr.children) {
        const CypherValue v = evaluate(*child, row, context);
        if (v.is_null()) {
          unknown = true;
        } else if (is_true(v)) {
          return true;
        }
      }
      return unknown ? CypherValue() : CypherValue(false);
    }
    case BoundKind::kXor: {
      const CypherValue a = evaluate(*expr.children[0], row, context);
      const CypherValue b = evaluate(*expr.children[1], row, context);
      if (a.is_null() || b.is_null()) return {};
      return is_true(a) != is_true(b);
    }
    case BoundKind::kComparison: {
      // a < b <= c is a < b AND b <= c, each operand evaluated once.
      CypherValue left = evaluate(*expr.children[0], row, context);
      bool unknown = false;
      for (std::size_t i = 0; i < expr.ops.size(); ++i) {
        CypherValue right = evaluate(*expr.children[i + 1], row, context);
        const CypherValue r = compare_values(expr.ops[i], left, right);
        if (r.is_null()) {
          unknown = true;
        } else if (!r.as_bool()) {
          return false;
        }
        left = std::move(right);
      }
      return unknown ? CypherValue() : CypherValue(true);
    }
    case BoundKind::kIsNull: return evaluate(*expr.children[0], row, context).is_null();
    case BoundKind::kIsNotNull: return !evaluate(*expr.children[0], row, context).is_null();
    case BoundKind::kHasLabels: return has_labels(expr, row, context);
    case BoundKind::kFunction: {
      std::vector<CypherValue> args;
      args.reserve(expr.children.size());
      for (const auto& child : expr.children) args.push_back(evaluate(*child, row, context));
      return call_function(*expr.function, args, context);
    }
    case BoundKind::kCase: return case_of(expr, row, context);
    case BoundKind::kListComprehension: return list_comprehension(expr, row, context);
    case BoundKind::kQuantifier: return quantifier(expr, row, context);
    case BoundKind::kReduce: {
      row[expr.slot] = evaluate(*expr.children[0], row, context);
      const CypherValue list = evaluate(*expr.children[1], row, context);
      if (list.is_null()) return {};
      if (list.kind() != Kind::kList) type_mismatch("List", list);
      for (const CypherValue& element : list.as_list()) {
        context.step();
        row[expr.slot2] = element;
        row[expr.slot] = evaluate(*expr.projection, row, context);
      }
      return row[expr.slot];
    }
    case BoundKind::kSubquery: return subquery(expr, row, context);
  }
  return {};
}

}  // namespace orvane
