// Compile-time type checks: each compares the types the binder knows
// (BoundExpr::known_type, ScopeVariable's kind and type) with what an
// operator or function takes, and refuses only a type it is sure of.
//
// Type names are type_name's ("INTEGER", "LIST<ANY>", "NODE"); a list
// literal is "LIST<ANY>" whatever its elements, so every test on lists
// looks at the "LIST" prefix.
#include "query/bind/type_checks.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

bool is_list(const std::string& type) { return type.starts_with("LIST"); }

// The types with components or properties: x.key reads them.
bool has_properties(const std::string& type) {
  static constexpr std::string_view kTypes[] = {"NODE",        "RELATIONSHIP",   "MAP",           "DATE",
                                                "LOCAL TIME",  "ZONED TIME",     "LOCAL DATETIME", "ZONED DATETIME",
                                                "DURATION",    "POINT"};
  return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

[[noreturn]] void type_error(const BinderState& state, const std::string& message, std::size_t offset) {
  throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kCompileTime, message + state.position_of(offset));
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The argument types a function takes, for the functions whose argument
// is a graph element, path or collection: Neo4j checks these while
// compiling. `accepts` lists the type names; "LIST" stands for any list.
struct Signature {
  const char* function;  // lower case
  const char* expected;  // as the message names it
  std::initializer_list<std::string_view> accepts;
};

const Signature* signature_of(const std::string& name) {
  static const Signature kSignatures[] = {
      {"labels", "Node", {"NODE"}},
      {"type", "Relationship", {"RELATIONSHIP"}},
      {"startnode", "Relationship", {"RELATIONSHIP"}},
      {"endnode", "Relationship", {"RELATIONSHIP"}},
      {"length", "Path", {"PATH"}},
      {"nodes", "Path", {"PATH"}},
      {"relationships", "Path", {"PATH"}},
      {"size", "List<T> or String", {"LIST", "STRING"}},
      {"properties", "Map, Node or Relationship", {"MAP", "NODE", "RELATIONSHIP"}},
      {"keys", "Map, Node or Relationship", {"MAP", "NODE", "RELATIONSHIP"}},
  };
  for (const Signature& s : kSignatures) {
    if (name == s.function) return &s;
  }
  return nullptr;
}

bool is_aggregate_name(const std::string& name) {
  static constexpr std::string_view kNames[] = {"count",  "sum",   "avg",    "min",           "max",
                                                "collect", "stdev", "stdevp", "percentilecont", "percentiledisc"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Calls `visit` on `expr` and every expression inside it (not inside
// subqueries, which are bound on their own).
template <typename Visit>
void walk(const ast::Expr& expr, const Visit& visit) {
  visit(expr);
  for (const auto& child : expr.children) {
    if (child) walk(*child, visit);
  }
  for (const auto& w : expr.whens) walk(*w, visit);
  for (const auto& t : expr.thens) walk(*t, visit);
  for (const ast::MapProjectionItem& item : expr.items) {
    if (item.value) walk(*item.value, visit);
  }
  if (expr.else_expr) walk(*expr.else_expr, visit);
  if (expr.where) walk(*expr.where, visit);
  if (expr.projection) walk(*expr.projection, visit);
}

bool contains_aggregate(const ast::Expr& expr) {
  bool found = false;
  walk(expr, [&found](const ast::Expr& e) {
    found = found || e.kind == ast::ExprKind::kCountStar ||
            (e.kind == ast::ExprKind::kFunction && is_aggregate_name(lower(e.name)));
  });
  return found;
}

// The grouping keys of an aggregating projection: the variables projected
// as themselves and the texts of the other keys.
struct GroupingKeys {
  std::vector<std::string> variables;
  std::vector<std::string> texts;
};

// Finds, in `expr` outside its aggregates, a variable that is no grouping
// key; `locals` are the names the expression binds itself (x in
// [x IN list | ...]). Returns it, or nullptr.
const ast::Expr* ungrouped_variable(const ast::Expr& expr, const GroupingKeys& keys, std::vector<std::string>& locals) {
  using K = ast::ExprKind;
  const auto known = [&](const std::string& name) {
    return std::find(keys.variables.begin(), keys.variables.end(), name) != keys.variables.end() ||
           std::find(locals.begin(), locals.end(), name) != locals.end();
  };
  switch (expr.kind) {
    case K::kCountStar: return nullptr;
    case K::kFunction:
      if (is_aggregate_name(lower(expr.name))) return nullptr;
      break;
    case K::kVariable: return known(expr.name) ? nullptr : &expr;
    case K::kProperty: {
      const ast::Expr& base = *expr.children[0];
      if (base.kind == K::kVariable && !known(base.name)) {
        // me.age stands as a key when some key is written me.age.
        const std::string text = base.name + "." + expr.name;
        if (std::find(keys.texts.begin(), keys.texts.end(), text) != keys.texts.end()) return nullptr;
      }
      break;
    }
    // Forms that bind names of their own, or read a map's variable by
    // name: too rare beside an aggregate to be worth following.
    case K::kPatternComprehension:
    case K::kPatternPredicate:
    case K::kExists:
    case K::kCountSubquery:
    case K::kMapProjection:
    case K::kReduce: return nullptr;
    case K::kListComprehension:
    case K::kQuantifier: {
      if (const ast::Expr* found = ungrouped_variable(*expr.children[0], keys, locals)) return found;
      locals.push_back(expr.name);
      const ast::Expr* found = nullptr;
      if (expr.where) found = ungrouped_variable(*expr.where, keys, locals);
      if (found == nullptr && expr.projection) found = ungrouped_variable(*expr.projection, keys, locals);
      locals.pop_back();
      return found;
    }
    default: break;
  }
  for (const auto& child : expr.children) {
    if (!child) continue;
    if (const ast::Expr* found = ungrouped_variable(*child, keys, locals)) return found;
  }
  for (const auto* list : {&expr.whens, &expr.thens}) {
    for (const auto& e : *list) {
      if (const ast::Expr* found = ungrouped_variable(*e, keys, locals)) return found;
    }
  }
  if (expr.else_expr) return ungrouped_variable(*expr.else_expr, keys, locals);
  return nullptr;
}

}  // namespace

void check_aggregation_grouping(const BinderState& state, const ast::Projection& projection) {
  if (projection.star) return;  // every variable in scope is a key
  GroupingKeys keys;
  bool aggregating = false;
  for (const ast::ProjectionItem& item : projection.items) {
    if (contains_aggregate(*item.expr)) {
      aggregating = true;
    } else if (item.expr->kind == ast::ExprKind::kVariable) {
      keys.variables.push_back(item.expr->name);
    } else {
      keys.texts.push_back(item.text);
    }
  }
  if (!aggregating) return;
  // `only_among`, when given: refuse only variables named there.
  const auto check = [&state](const ast::Expr& expr, const GroupingKeys& allowed,
                              const std::vector<std::string>* only_among) {
    if (!contains_aggregate(expr)) return;
    std::vector<std::string> locals;
    const ast::Expr* variable = ungrouped_variable(expr, allowed, locals);
    if (variable != nullptr && only_among != nullptr &&
        std::find(only_among->begin(), only_among->end(), variable->name) == only_among->end()) {
      return;
    }
    if (variable != nullptr) {
      state.fail("AmbiguousAggregationExpression",
                 "Aggregation column contains implicit grouping expressions. Aggregation expressions with implicit "
                 "grouping keys are not supported. Illegal expression(s): " + variable->name,
                 variable->offset);
    }
  };
  for (const ast::ProjectionItem& item : projection.items) check(*item.expr, keys, nullptr);
  // ORDER BY after an aggregation also reads the projected columns by
  // name. A variable it names that no key mentions is simply not in scope
  // there (UndefinedVariable, raised when it is bound); one that a key
  // mentions inside a larger expression is the ambiguous case.
  GroupingKeys sort_keys = keys;
  std::vector<std::string> mentioned;
  for (const ast::ProjectionItem& item : projection.items) {
    if (!item.alias.empty()) sort_keys.variables.push_back(item.alias);
    if (contains_aggregate(*item.expr)) continue;
    walk(*item.expr, [&mentioned](const ast::Expr& e) {
      if (e.kind == ast::ExprKind::kVariable) mentioned.push_back(e.name);
    });
  }
  for (const ast::SortItem& sort : projection.order_by) check(*sort.expr, sort_keys, &mentioned);
}

std::string variable_type(const ScopeVariable& variable) {
  switch (variable.kind) {
    case VarKind::kNode: return "NODE";
    case VarKind::kRelationship: return "RELATIONSHIP";
    case VarKind::kRelationshipList: return "LIST<RELATIONSHIP>";
    case VarKind::kPath: return "PATH";
    case VarKind::kValue: return variable.type;
  }
  return {};
}

std::string element_type(const BoundExpr& list) {
  if (list.kind != BoundKind::kList || list.children.empty()) return {};
  const std::string& first = list.children[0]->known_type;
  for (const auto& child : list.children) {
    if (child->known_type.empty() || child->known_type != first) return {};
  }
  return first;
}

void check_property_base(const BinderState& state, const BoundExpr& base, const ast::Expr& written) {
  const std::string& type = base.known_type;
  if (type.empty() || has_properties(type)) return;
  const std::string message =
      "Type mismatch: expected Map, Node, Relationship, Point, Duration, Date, Time, LocalTime, LocalDateTime or "
      "DateTime but was " + type;
  // Neo4j classes a path variable's fault as syntax, a literal's as type.
  if (type == "PATH") state.fail("InvalidArgumentType", message, written.offset);
  type_error(state, message, written.offset);
}

void check_subscript_base(const BinderState& state, const BoundExpr& base, const ast::Expr& written) {
  const std::string& type = base.known_type;
  if (type.empty() || is_list(type) || type == "MAP" || type == "NODE" || type == "RELATIONSHIP") return;
  type_error(state, "Type mismatch: expected List<T>, Map, Node or Relationship but was " + type, written.offset);
}

void check_in_list(const BinderState& state, const BoundExpr& list, const ast::Expr& written) {
  const std::string& type = list.known_type;
  if (type.empty() || is_list(type)) return;
  state.fail("InvalidArgumentType", "Type mismatch: expected List<T> but was " + type, written.offset);
}

void check_arithmetic_operand(const BinderState& state, const BoundExpr& operand, const ast::Expr& written) {
  // Numbers, durations and temporal values (date - duration) pass: the
  // evaluator decides among those.
  const std::string& type = operand.known_type;
  const bool refused = type == "BOOLEAN" || type == "STRING" || is_list(type) || type == "MAP" || type == "NODE" ||
                       type == "RELATIONSHIP" || type == "PATH";
  if (!refused) return;
  state.fail("InvalidArgumentType", "Type mismatch: expected Integer, Float or Duration but was " + type,
             written.offset);
}

void check_function_arguments(const BinderState& state, const BoundExpr& call, const ast::Expr& written) {
  const Signature* signature = signature_of(lower(written.name));
  if (signature == nullptr || call.children.empty()) return;
  const std::string& type = call.children[0]->known_type;
  if (type.empty()) return;
  for (const std::string_view accepted : signature->accepts) {
    if (type == accepted || (accepted == "LIST" && is_list(type))) return;
  }
  state.fail("InvalidArgumentType", std::string("Type mismatch: expected ") + signature->expected + " but was " + type,
             written.children[0]->offset);
}

void check_row_count(const BinderState& state, const BoundExpr& count, const ast::Expr& written) {
  const BoundExpr* value = &count;
  bool negated = false;
  if (count.kind == BoundKind::kNegate && count.children[0]->kind == BoundKind::kConstant) {
    value = count.children[0].get();
    negated = true;
  }
  if (value->kind != BoundKind::kConstant || value->constant.is_null()) return;
  const CypherValue& v = value->constant;
  const std::string text = (negated ? "-" : "") + to_text(v);
  const std::string message = "Invalid input. '" + text + "' is not a valid value. Must be a non-negative integer.";
  if (v.kind() != CypherValue::Kind::kInteger) state.fail("InvalidArgumentType", message, written.offset);
  if (negated ? v.as_int() > 0 : v.as_int() < 0) state.fail("NegativeIntegerArgument", message, written.offset);
}

void check_pattern_uses(const BinderState& state, const ast::Expr& expr, bool boolean_place) {
  using K = ast::ExprKind;
  switch (expr.kind) {
    case K::kPatternPredicate:
      if (!boolean_place && expr.pattern && expr.pattern->parts.size() == 1 &&
          expr.pattern->parts[0].function == ast::PathFunction::kNone) {
        state.fail("UnexpectedSyntax",
                   "A pattern expression should only be used in order to test the existence of a pattern. It should "
                   "therefore only be used in contexts that evaluate to a boolean, e.g. inside the function exists() "
                   "or in a WHERE-clause. No other uses are allowed, instead they should be replaced by a pattern "
                   "comprehension.",
                   expr.offset);
      }
      return;
    case K::kExists:
    case K::kCountSubquery:
    case K::kPatternComprehension: return;  // their bodies are checked where they are bound
    default: break;
  }
  const bool logical = (expr.kind == K::kUnary && expr.op == ast::Op::kNot) ||
                       (expr.kind == K::kBinary &&
                        (expr.op == ast::Op::kAnd || expr.op == ast::Op::kOr || expr.op == ast::Op::kXor)) ||
                       (expr.kind == K::kFunction && lower(expr.name) == "exists");
  for (const auto& child : expr.children) {
    if (child) check_pattern_uses(state, *child, logical);
  }
  for (const auto& w : expr.whens) check_pattern_uses(state, *w, !expr.has_subject);
  for (const auto& t : expr.thens) check_pattern_uses(state, *t, false);
  for (const ast::MapProjectionItem& item : expr.items) {
    if (item.value) check_pattern_uses(state, *item.value, false);
  }
  if (expr.else_expr) check_pattern_uses(state, *expr.else_expr, false);
  if (expr.where) check_pattern_uses(state, *expr.where, true);
  if (expr.projection) check_pattern_uses(state, *expr.projection, false);
}

void check_aggregate_argument(const BinderState& state, const ast::Expr& argument) {
  walk(argument, [&state](const ast::Expr& e) {
    if (e.kind == ast::ExprKind::kCountStar || (e.kind == ast::ExprKind::kFunction && is_aggregate_name(lower(e.name)))) {
      state.fail("NestedAggregation", "Can't use aggregate functions inside of aggregate functions.", e.offset);
    }
    if (e.kind == ast::ExprKind::kFunction && lower(e.name) == "rand") {
      state.fail("NonConstantExpression", "Can't use non-deterministic (random) functions inside of aggregate functions.",
                 e.offset);
    }
  });
}

}  // namespace orvane
