// Internal to the binder: the faults it can see in an expression from the
// types it knows before running, raised at compile time as Neo4j raises
// them. What the binder knows is little and certain: a literal's type, a
// list or map literal, a node, relationship or path variable, and a
// variable projected from one of those (WITH 1 AS x). Where it knows
// nothing (a parameter, a property, a function's result) it refuses
// nothing: the evaluator and the functions raise the run-time form of the
// same fault.
#pragma once

#include <string>

#include "query/bind/binder_state.h"

namespace orvane {

// The type name ("INTEGER", "NODE", "LIST<ANY>", as type_name gives them)
// the binder knows a variable has, or empty.
std::string variable_type(const ScopeVariable& variable);

// The element type of list literal `list` when every element has one and
// the same known type; empty otherwise.
std::string element_type(const BoundExpr& list);

// Each refuses its fault with the exception Neo4j raises for it; each
// passes silently when the types involved are not known. `written` is the
// expression as parsed, for the position in the message.
//
// x.key on a value that has no properties (an integer, a string, a list):
// TypeError InvalidArgumentType.
void check_property_base(const BinderState& state, const BoundExpr& base, const ast::Expr& written);
// x[i] on a value that cannot be indexed: TypeError InvalidArgumentType.
void check_subscript_base(const BinderState& state, const BoundExpr& base, const ast::Expr& written);
// x IN y where y is known and is no list: SyntaxError InvalidArgumentType.
void check_in_list(const BinderState& state, const BoundExpr& list, const ast::Expr& written);
// Arithmetic (- * / % ^) on a boolean, string, list, map or graph element:
// SyntaxError InvalidArgumentType.
void check_arithmetic_operand(const BinderState& state, const BoundExpr& operand, const ast::Expr& written);
// A graph or list function given an argument of a type it never takes
// (labels of a path, type of a node, length of a node, size of a path,
// properties of an integer): SyntaxError InvalidArgumentType.
void check_function_arguments(const BinderState& state, const BoundExpr& call, const ast::Expr& written);
// SKIP or LIMIT written as a literal: a float is SyntaxError
// InvalidArgumentType, a negative integer NegativeIntegerArgument.
void check_row_count(const BinderState& state, const BoundExpr& count, const ast::Expr& written);

// A relationship pattern used as a value rather than as a test
// (RETURN (n)-->(), size((a)--())): SyntaxError UnexpectedSyntax.
// `boolean_place` when `expr` stands where a boolean is wanted (WHERE).
void check_pattern_uses(const BinderState& state, const ast::Expr& expr, bool boolean_place);

// Aggregates inside an aggregate's argument (count(count(*))):
// SyntaxError NestedAggregation; rand() there: NonConstantExpression.
void check_aggregate_argument(const BinderState& state, const ast::Expr& argument);

// An item of an aggregating WITH or RETURN that mixes an aggregate with a
// variable that is not itself a grouping key (RETURN me.age +
// count(you.age) without `me` among the keys): SyntaxError
// AmbiguousAggregationExpression. A variable outside the aggregates must
// be a key projected as itself, or be read through a property that is a
// key (me.age when me.age is projected). ORDER BY items that aggregate
// are held to the same rule, the projected columns' names added.
void check_aggregation_grouping(const BinderState& state, const ast::Projection& projection);

}  // namespace orvane
