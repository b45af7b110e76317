// Expression evaluation: a bound expression (bind/bound_expr.h) over one
// row, with Cypher's semantics — three-valued logic, null propagation,
// integer overflow as an error, Neo4j's coercions for + (strings, lists,
// temporals) — and its errors (TypeError, ArithmeticError, ...) as
// CypherError at run time.
#pragma once

#include "query/exec/exec_context.h"
#include "query/parse/ast.h"

namespace orvane {

struct BoundExpr;

// The value of `expr` over `row`. `row` is not changed, except that
// comprehensions, quantifiers and reduce write their own variables' slots
// while they run (hence non-const) and restore nothing: those slots belong
// to the expression alone.
CypherValue evaluate(const BoundExpr& expr, Row& row, ExecContext& context);

// The boolean reading of a predicate: true only for the boolean true
// (false and null filter a row out). Throws TypeError for a value that is
// neither boolean nor null.
bool is_true(const CypherValue& value);

// `a OP b` for a comparison operator (=, <>, <, <=, >, >=): true, false, or
// null when the two are not comparable or either is null.
CypherValue compare_values(ast::Op op, const CypherValue& a, const CypherValue& b);

// Helpers the functions share: "Type mismatch: expected X but was Y"
// as a TypeError at run time.
[[noreturn]] void type_mismatch(const char* expected, const CypherValue& got);

}  // namespace orvane
