// The binder: a syntax tree (parse/ast.h) and the Database it will run on
// in, a bound statement (bind/bound_query.h) out, or a semantic error.
//
// Scopes follow Cypher's rules: MATCH and UNWIND add variables, WITH and
// RETURN replace the scope with their projection (WITH * keeps it),
// comprehensions and quantifiers add their variable for their own
// expression only, and UNION joins parts that must return the same
// columns. Each new variable gets a fresh slot; nothing is ever rebound to
// an old slot, so operators never overwrite a value another still reads.
//
// Semantic errors are CypherError of class SyntaxError at compile time
// with the TCK's detail codes (UndefinedVariable, VariableAlreadyBound,
// VariableTypeConflict, UnknownFunction, InvalidAggregation,
// NoExpressionAlias, ColumnNameConflict, DifferentColumnsInUnion,
// InvalidNumberOfArguments, NegativeIntegerArgument, ...), and messages
// that name the place in the statement.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "query/bind/bound_query.h"

namespace orvane {

class Database;
class ProcedureRegistry;

// Binds `statement`, parsed from `text`, against `db`, with the procedures
// of `procedures`. The result holds ids of `db` and shares the procedures
// it calls; it refers to neither otherwise.
BoundStatement bind_statement(const ast::Statement& statement, std::string_view text, const Database& db,
                              const ProcedureRegistry& procedures);

// The id `name` of `kind` has in `db` now: a label's or type's id, a
// property key's in its store; kUnknownKey when `db` has no such name.
std::uint32_t resolve_catalog_name(CatalogKind kind, const std::string& name, const Database& db);

// Whether every name of `catalog` resolves in `db` as it did when bound:
// then a plan bound against another state of `db` is valid for this one.
bool catalog_holds(const std::vector<CatalogRead>& catalog, const Database& db);

}  // namespace orvane
