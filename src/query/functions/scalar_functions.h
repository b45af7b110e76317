// The scalar functions of Cypher, found by name at bind time and called per
// row. Each family lives in its own file (graph_functions.cpp for id,
// labels, type, nodes, ...; list_functions.cpp; string_functions.cpp;
// math_functions.cpp; conversion_functions.cpp); function_registry.cpp
// holds the table.
//
// Arguments arrive evaluated. A function returns null for a null argument
// unless Neo4j says otherwise (coalesce; size and the like of a null are
// null too), and throws CypherError for an argument of the wrong type
// ("Type mismatch: expected ... but was ...", class TypeError) or value
// (class ArgumentError).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "graph/cypher_value.h"
#include "query/exec/exec_context.h"
#include "query/parse/ast.h"

namespace orvane {

class Database;

using FunctionBody = CypherValue (*)(std::span<const CypherValue> args, ExecContext& context);

struct ScalarFunction {
  const char* name;  // canonical spelling, as Neo4j lists it ("toInteger", "date.truncate")
  int min_args;
  int max_args;      // -1: any number
  FunctionBody body;
  bool deterministic = true;  // false for rand() and the current-time forms
};

// The function called `name` (case-insensitive, namespaces included), or
// nullptr.
const ScalarFunction* find_function(std::string_view name);

// Calls `function` after checking the argument count (the binder checks it
// already; this guards calls built elsewhere).
CypherValue call_function(const ScalarFunction& function, std::span<const CypherValue> args, ExecContext& context);

// The families' tables, joined by the registry.
std::span<const ScalarFunction> graph_functions();
std::span<const ScalarFunction> list_functions();
std::span<const ScalarFunction> string_functions();
std::span<const ScalarFunction> math_functions();
std::span<const ScalarFunction> temporal_functions();

// A function's argument of a kind it never takes (type(0), toBoolean([])):
// TypeError InvalidArgumentValue at run time, "Invalid input for function
// '<function>()': Expected <expected>, got: <type of got>". The binder
// refuses the same fault at compile time where it knows the argument's
// type; this is what a value only known while running meets.
[[noreturn]] void invalid_argument(const char* function, const char* expected, const CypherValue& got);

// Not callable by name: what the binder puts around a SKIP or LIMIT whose
// value is only known when running (a parameter). It returns its argument
// when that is a non-negative integer or null, and otherwise throws what
// Neo4j throws for such a count at run time: SyntaxError
// NegativeIntegerArgument for a negative integer, SyntaxError
// InvalidArgumentType for any other value ("Invalid input. '1.5' is not a
// valid value. Must be a non-negative integer."). Checking here gives SKIP,
// LIMIT and the sort's top-k one rule.
const ScalarFunction& row_count_check();

// Not callable by name: how the planner matches a relationship list bound
// before, MATCH (a)-[rs*]->(b) with rs from an earlier clause. It walks the
// list from a node, each relationship leaving the node the last one
// reached, and answers [the node reached] when the walk holds (length,
// types, direction, the target when one is given), else [] — a list, so
// that an Unwind binds the far node or drops the row.
const ScalarFunction& relationship_list_walk();

// Helpers the evaluator shares with the functions:
// toString's text of a value (numbers as Cypher prints them, "true", ...).
std::string to_text(const CypherValue& value);
// The properties of a node, relationship or map as a map (null → null).
CypherMap properties_of(const CypherValue& value, const Database& db);
// `value.name` for a temporal value, duration or point (its components);
// throws TypeError for any other kind.
CypherValue component_of(const CypherValue& value, std::string_view name);
// Arithmetic that involves a temporal value or a duration (date + duration,
// duration * 2, -duration, ...); throws TypeError when the operands do not
// meet any rule.
CypherValue temporal_arithmetic(ast::Op op, const CypherValue& a, const CypherValue& b);

}  // namespace orvane
