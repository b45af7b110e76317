// Binding expressions: names to slots, parameters to indexes, property
// keys to store key ids, functions to implementations, aggregates to slots
// of their own (where the place allows them), and pattern expressions to
// subquery plans.
#include <algorithm>
#include <cctype>

#include "graph/database.h"
#include "query/bind/binder_state.h"
#include "query/bind/type_checks.h"
#include "query/functions/scalar_functions.h"
#include "query/parse/parser.h"
#include "query/plan/planner.h"

namespace orvane {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

BoundExprPtr make(BoundKind kind) {
  auto e = std::make_unique<BoundExpr>();
  e->kind = kind;
  return e;
}

BoundExprPtr constant(CypherValue value) {
  BoundExprPtr e = make(BoundKind::kConstant);
  if (!value.is_null()) e->known_type = type_name(value);
  e->constant = std::move(value);
  return e;
}

bool aggregate_kind(const std::string& name, AggregateKind& kind) {
  static const std::pair<const char*, AggregateKind> kAggregates[] = {
      {"count", AggregateKind::kCount},       {"sum", AggregateKind::kSum},
      {"avg", AggregateKind::kAvg},           {"min", AggregateKind::kMin},
      {"max", AggregateKind::kMax},           {"collect", AggregateKind::kCollect},
      {"stdev", AggregateKind::kStDev},       {"stdevp", AggregateKind::kStDevP},
      {"percentilecont", AggregateKind::kPercentileCont},
      {"percentiledisc", AggregateKind::kPercentileDisc},
  };
  for (const auto& [n, k] : kAggregates) {
    if (name == n) {
      kind = k;
      return true;
    }
  }
  return false;
}

}  // namespace

std::uint32_t BinderState::parameter_index(const std::string& name) {
  const auto it = std::find(parameters_.begin(), parameters_.end(), name);
  if (it != parameters_.end()) return static_cast<std::uint32_t>(it - parameters_.begin());
  parameters_.push_back(name);
  return static_cast<std::uint32_t>(parameters_.size() - 1);
}

void BinderState::fail(const char* detail, const std::string& message, std::size_t offset) const {
  throw CypherError("SyntaxError", detail, ErrorPhase::kCompileTime, message + position_text(text_, offset));
}

std::string BinderState::position_of(std::size_t offset) const { return position_text(text_, offset); }

std::string BinderState::text(std::size_t offset, std::size_t end) const {
  if (offset >= text_.size() || end <= offset) return {};
  return std::string(text_.substr(offset, std::min(end, text_.size()) - offset));
}

const ScopeVariable* BinderState::find(const Scope& scope, std::string_view name) {
  for (auto it = scope.rbegin(); it != scope.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

void BinderState::require_boolean(const BoundExpr& bound, const ast::Expr& written) const {
  const std::string& type = bound.known_type;
  if (!type.empty() && type != "BOOLEAN") {
    fail("InvalidArgumentType", "Type mismatch: expected Boolean but was " + type, written.offset);
  }
}

BoundExprPtr BinderState::bind_function(const ast::Expr& expr, Scope& scope, const ExprPlace& place) {
  const std::string name = lower(expr.name);
  AggregateKind kind{};
  if (aggregate_kind(name, kind)) {
    if (place.aggregates == nullptr) {
      fail("InvalidAggregation", "Invalid use of aggregating function " + expr.name + "(...) in this context",
           expr.offset);
    }
    const std::size_t wanted = kind == AggregateKind::kPercentileCont || kind == AggregateKind::kPercentileDisc ? 2 : 1;
    if (expr.children.size() != wanted) {
      fail("InvalidNumberOfArguments", "Insufficient parameters for function '" + expr.name + "'", expr.offset);
    }
    BoundAggregate aggregate;
    aggregate.kind = kind;
    aggregate.distinct = expr.distinct;
    for (const auto& argument : expr.children) check_aggregate_argument(*this, *argument);
    const ExprPlace inner;  // no aggregate inside an aggregate
    aggregate.argument = bind_expr(*expr.children[0], scope, inner);
    if (wanted == 2) aggregate.percentile = bind_expr(*expr.children[1], scope, inner);
    aggregate.slot = new_slot();
    BoundExprPtr e = make(BoundKind::kAggregate);
    e->slot = aggregate.slot;
    e->name = expr.name;
    place.aggregates->push_back(std::move(aggregate));
    return e;
  }
  if (name == "exists" && expr.children.size() == 1 && expr.children[0]->kind == ast::ExprKind::kProperty) {
    BoundExprPtr e = make(BoundKind::kIsNotNull);
    e->children.push_back(bind_expr(*expr.children[0], scope, place));
    return e;
  }
  const ScalarFunction* function = find_function(expr.name);
  if (function == nullptr) fail("UnknownFunction", "Unknown function '" + expr.name + "'", expr.offset);
  const auto n = static_cast<int>(expr.children.size());
  if (n < function->min_args || (function->max_args >= 0 && n > function->max_args)) {
    fail("InvalidNumberOfArguments",
         std::string(n < function->min_args ? "Insufficient" : "Too many") + " parameters for function '" +
             function->name + "'",
         expr.offset);
  }
  if (expr.distinct) fail("InvalidArgumentPassingMode", "DISTINCT is only allowed in aggregating functions", expr.offset);
  BoundExprPtr e = make(BoundKind::kFunction);
  e->function = function;
  e->name = function->name;
  for (const auto& child : expr.children) e->children.push_back(bind_expr(*child, scope, place));
  check_function_arguments(*this, *e, expr);
  return e;
}

BoundExprPtr BinderState::bind_subquery_expression(const ast::Expr& expr, Scope& scope) {
  BoundExprPtr e = make(BoundKind::kSubquery);
  Scope inner = scope;
  if (expr.pattern && expr.kind == ast::ExprKind::kPatternPredicate) {
    // A pattern used as a test only refers to variables bound before it.
    for (const ast::PatternPart& part : expr.pattern->parts) {
      if (part.function != ast::PathFunction::kNone) continue;
      for (const ast::NodePattern& node : part.nodes) {
        if (!node.variable.empty() && find(scope, node.variable) == nullptr) {
          fail("UndefinedVariable", "Variable `" + node.variable + "` not defined", node.offset);
        }
      }
      for (const ast::RelPattern& rel : part.rels) {
        if (!rel.variable.empty() && find(scope, rel.variable) == nullptr) {
          fail("UndefinedVariable", "Variable `" + rel.variable + "` not defined", rel.offset);
        }
      }
    }
  }
  if (expr.pattern) {
    BoundMatch match;
    match.parts = bind_pattern(*expr.pattern, inner, match.new_slots);
    if (expr.where) match.where = bind_expr(*expr.where, inner, ExprPlace{});
    if (expr.kind == ast::ExprKind::kPatternPredicate && match.parts.size() == 1 &&
        match.parts[0].function != ast::PathFunction::kNone) {
      // shortestPath(...) as a value: the path (null when there is none);
      // allShortestPaths(...): the list of them.
      BoundPatternPart& part = match.parts[0];
      if (part.path_slot == kNoSlot) part.path_slot = new_slot();
      e->subquery_kind = SubqueryKind::kCollect;
      e->projection = make(BoundKind::kSlot);
      e->projection->slot = part.path_slot;
      e->plan = plan_pattern(match, db_);
      if (part.function == ast::PathFunction::kAllShortest) return e;
      BoundExprPtr first = make(BoundKind::kFunction);
      first->function = find_function("head");
      first->name = "head";
      first->children.push_back(std::move(e));
      return first;
    }
    if (expr.kind == ast::ExprKind::kPatternComprehension) {
      // [p = (a)-->(b) WHERE ... | projection]: the path variable is in the pattern part.
      e->subquery_kind = SubqueryKind::kCollect;
      e->projection = bind_expr(*expr.projection, inner, ExprPlace{});
    } else {
      e->subquery_kind = expr.kind == ast::ExprKind::kCountSubquery ? SubqueryKind::kCount : SubqueryKind::kExists;
    }
    e->plan = plan_pattern(match, db_);
    return e;
  }
  for (const ast::Clause& clause : expr.subquery->parts.at(0).clauses) {
    switch (clause.kind) {
      case ast::ClauseKind::kCreate:
      case ast::ClauseKind::kMerge:
      case ast::ClauseKind::kSet:
      case ast::ClauseKind::kRemove:
      case ast::ClauseKind::kDelete:
      case ast::ClauseKind::kForeach:
        fail("InvalidClauseComposition",
             std::string(expr.kind == ast::ExprKind::kCountSubquery ? "A Count" : "An Exists") +
                 " Expression cannot contain any updates",
             clause.offset);
      default: break;
    }
  }
  BoundSingleQuery query = bind_single_query(expr.subquery->parts.at(0), inner, true);
  e->subquery_kind = expr.kind == ast::ExprKind::kCountSubquery ? SubqueryKind::kCount : SubqueryKind::kExists;
  e->plan = plan_subquery(std::move(query), db_);
  return e;
}

BoundExprPtr BinderState::bind_expr(const ast::Expr& expr, Scope& scope, const ExprPlace& place) {
  using K = ast::ExprKind;
  if (!projected_texts_.empty() && expr.end > expr.offset) {
    const std::string written = text(expr.offset, expr.end);
    for (const auto& [projected, slot] : projected_texts_) {
      if (written != projected) continue;
      BoundExprPtr e = make(BoundKind::kSlot);
      e->slot = slot;
      return e;
    }
  }
  switch (expr.kind) {
    case K::kNull: return constant(CypherValue());
    case K::kBool: return constant(expr.bool_value);
    case K::kInteger: return constant(expr.int_value);
    case K::kFloat: return constant(expr.float_value);
    case K::kString: return constant(expr.text);
    case K::kParameter: {
      BoundExprPtr e = make(BoundKind::kParameter);
      e->name = expr.name;
      e->slot = parameter_index(expr.name);
      return e;
    }
    case K::kVariable: {
      const ScopeVariable* v = find(scope, expr.name);
      if (v == nullptr) fail("UndefinedVariable", "Variable `" + expr.name + "` not defined", expr.offset);
      BoundExprPtr e = make(BoundKind::kSlot);
      e->slot = v->slot;
      e->name = expr.name;
      e->known_type = variable_type(*v);
      return e;
    }
    case K::kProperty: {
      BoundExprPtr e = make(BoundKind::kProperty);
      e->name = expr.name;
      e->node_key = node_key(expr.name);
      e->rel_key = rel_key(expr.name);
      e->children.push_back(bind_expr(*expr.children[0], scope, place));
      check_property_base(*this, *e->children[0], expr);
      return e;
    }
    case K::kList:
    case K::kMap: {
      BoundExprPtr e = make(expr.kind == K::kList ? BoundKind::kList : BoundKind::kMap);
      e->known_type = expr.kind == K::kList ? "LIST<ANY>" : "MAP";
      e->keys = expr.keys;
      for (const auto& child : expr.children) e->children.push_back(bind_expr(*child, scope, place));
      return e;
    }
    case K::kMapProjection: {
      BoundExprPtr e = make(BoundKind::kMapProjection);
      ast::Expr base;
      base.kind = K::kVariable;
      base.name = expr.name;
      base.offset = expr.offset;
      e->children.push_back(bind_expr(base, scope, place));
      for (const ast::MapProjectionItem& item : expr.items) {
        switch (item.kind) {
          case ast::MapProjectionItem::Kind::kAllProperties: e->all_properties = true; break;
          case ast::MapProjectionItem::Kind::kProperty: {
            ast::Expr property;
            property.kind = K::kProperty;
            property.name = item.key;
            property.offset = expr.offset;
            auto holder = std::make_unique<ast::Expr>();
            holder->kind = K::kVariable;
            holder->name = expr.name;
            holder->offset = expr.offset;
            property.children.push_back(std::move(holder));
            e->keys.push_back(item.key);
            e->children.push_back(bind_expr(property, scope, place));
            break;
          }
          case ast::MapProjectionItem::Kind::kVariable: {
            ast::Expr variable;
            variable.kind = K::kVariable;
            variable.name = item.key;
            variable.offset = expr.offset;
            e->keys.push_back(item.key);
            e->children.push_back(bind_expr(variable, scope, place));
            break;
          }
          case ast::MapProjectionItem::Kind::kLiteral:
            e->keys.push_back(item.key);
            e->children.push_back(bind_expr(*item.value, scope, place));
            break;
        }
      }
      return e;
    }
    case K::kIndex:
    case K::kSlice: {
      BoundExprPtr e = make(expr.kind == K::kIndex ? BoundKind::kIndex : BoundKind::kSlice);
      for (const auto& child : expr.children) {
        e->children.push_back(child ? bind_expr(*child, scope, place) : constant(CypherValue()));
      }
      while (expr.kind == K::kSlice && e->children.size() < 3) e->children.push_back(constant(CypherValue()));
      check_subscript_base(*this, *e->children[0], expr);
      return e;
    }
    case K::kUnary: {
      BoundExprPtr operand = bind_expr(*expr.children[0], scope, place);
      if (expr.op == ast::Op::kPlus) return operand;
      if (expr.op == ast::Op::kNot) require_boolean(*operand, *expr.children[0]);
      BoundExprPtr e = make(expr.op == ast::Op::kNot ? BoundKind::kNot : BoundKind::kNegate);
      if (expr.op == ast::Op::kNot) e->known_type = "BOOLEAN";
      if (expr.op != ast::Op::kNot) {
        check_arithmetic_operand(*this, *operand, *expr.children[0]);
        if (operand->known_type == "INTEGER" || operand->known_type == "FLOAT") e->known_type = operand->known_type;
      }
      e->children.push_back(std::move(operand));
      return e;
    }
    case K::kBinary: {
      BoundKind kind = BoundKind::kBinary;
      if (expr.op == ast::Op::kAnd) kind = BoundKind::kAnd;
      if (expr.op == ast::Op::kOr) kind = BoundKind::kOr;
      if (expr.op == ast::Op::kXor) kind = BoundKind::kXor;
      BoundExprPtr e = make(kind);
      e->op = expr.op;
      for (const auto& child : expr.children) {
        e->children.push_back(bind_expr(*child, scope, place));
        if (kind != BoundKind::kBinary) require_boolean(*e->children.back(), *child);
      }
      switch (expr.op) {
        case ast::Op::kIn: check_in_list(*this, *e->children[1], *expr.children[1]); break;
        case ast::Op::kSubtract:
        case ast::Op::kMultiply:
        case ast::Op::kDivide:
        case ast::Op::kModulo:
        case ast::Op::kPower:
          for (std::size_t i = 0; i < 2; ++i) check_arithmetic_operand(*this, *e->children[i], *expr.children[i]);
          break;
        default: break;
      }
      return e;
    }
    case K::kComparison: {
      BoundExprPtr e = make(BoundKind::kComparison);
      e->ops = expr.ops;
      for (const auto& child : expr.children) e->children.push_back(bind_expr(*child, scope, place));
      return e;
    }
    case K::kIsNull:
    case K::kIsNotNull: {
      BoundExprPtr e = make(expr.kind == K::kIsNull ? BoundKind::kIsNull : BoundKind::kIsNotNull);
      e->children.push_back(bind_expr(*expr.children[0], scope, place));
      return e;
    }
    case K::kHasLabels: {
      if (expr.label_expr) {
        return label_predicate(*expr.label_expr, [&]() { return bind_expr(*expr.children[0], scope, place); });
      }
      BoundExprPtr e = make(BoundKind::kHasLabels);
      e->children.push_back(bind_expr(*expr.children[0], scope, place));
      e->keys = expr.labels;  // relationship types are compared by name
      for (const std::string& label : expr.labels) {
        const std::uint32_t id = label_id(label);
        if (id == kUnknownKey) {
          e->unknown_label = true;
        } else {
          e->label_ids.push_back(static_cast<std::uint16_t>(id));
        }
      }
      return e;
    }
    case K::kFunction: return bind_function(expr, scope, place);
    case K::kCountStar: {
      if (place.aggregates == nullptr) {
        fail("InvalidAggregation", "Invalid use of aggregating function count(...) in this context", expr.offset);
      }
      BoundAggregate aggregate;
      aggregate.kind = AggregateKind::kCountStar;
      aggregate.slot = new_slot();
      BoundExprPtr e = make(BoundKind::kAggregate);
      e->slot = aggregate.slot;
      place.aggregates->push_back(std::move(aggregate));
      return e;
    }
    case K::kCase: {
      BoundExprPtr e = make(BoundKind::kCase);
      e->has_subject = expr.has_subject;
      if (expr.has_subject) e->children.push_back(bind_expr(*expr.children[0], scope, place));
      for (const auto& w : expr.whens) e->whens.push_back(bind_expr(*w, scope, place));
      for (const auto& t : expr.thens) e->thens.push_back(bind_expr(*t, scope, place));
      if (expr.else_expr) e->else_expr = bind_expr(*expr.else_expr, scope, place);
      return e;
    }
    case K::kListComprehension:
    case K::kQuantifier: {
      BoundExprPtr e = make(expr.kind == K::kQuantifier ? BoundKind::kQuantifier : BoundKind::kListComprehension);
      e->quantifier = expr.quantifier;
      e->children.push_back(bind_expr(*expr.children[0], scope, place));
      Scope inner = scope;
      e->slot = new_slot();
      inner.push_back({expr.name, e->slot, VarKind::kValue, element_type(*e->children[0])});
      const ExprPlace none;
      if (expr.where) e->where = bind_expr(*expr.where, inner, none);
      if (expr.projection) e->projection = bind_expr(*expr.projection, inner, none);
      return e;
    }
    case K::kReduce: {
      BoundExprPtr e = make(BoundKind::kReduce);
      e->children.push_back(bind_expr(*expr.children[0], scope, place));
      e->children.push_back(bind_expr(*expr.children[1], scope, place));
      Scope inner = scope;
      e->slot = new_slot();
      e->slot2 = new_slot();
      inner.push_back({expr.name, e->slot, VarKind::kValue, {}});
      inner.push_back({expr.name2, e->slot2, VarKind::kValue, {}});
      e->projection = bind_expr(*expr.projection, inner, ExprPlace{});
      return e;
    }
    case K::kPatternComprehension:
    case K::kPatternPredicate:
    case K::kExists:
    case K::kCountSubquery: return bind_subquery_expression(expr, scope);
  }
  fail("UnexpectedSyntax", "Unsupported expression", expr.offset);
}

}  // namespace orvane
