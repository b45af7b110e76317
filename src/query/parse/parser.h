// The Cypher parser: statement text in, syntax tree (parse/ast.h) out.
//
// Hand-written recursive descent over the openCypher grammar, one function
// per rule, with the operator precedence of Neo4j 5 (lowest first): OR,
// XOR, AND, NOT, comparison (chained), the string, list and null
// predicates (STARTS WITH, ENDS WITH, CONTAINS, IN, =~, IS [NOT] NULL),
// + and -, *, / and %, ^, unary + and -, then postfix property access,
// indexing, slicing and label tests. Keywords are case-insensitive;
// identifiers may be back-quoted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "query/parse/ast.h"

namespace orvane {

// Parses one statement, optionally ended by ";". Throws CypherError of
// class "SyntaxError", phase compile time, with the TCK's detail code where
// one applies (e.g. "InvalidNumberLiteral", "UnexpectedSyntax",
// "InvalidUnicodeLiteral", "IntegerOverflow") and a message that names the
// position as Neo4j does: "Invalid input 'X': expected ... (line L, column
// C (offset: O))". Text that is not UTF-8 or longer than kMaxStatementBytes
// is refused the same way.
ast::Statement parse_statement(std::string_view text);

// " (line L, column C (offset: O))" for byte `offset` of `text`: lines and
// columns count from 1, columns in characters.
std::string position_text(std::string_view text, std::size_t offset);

inline constexpr std::size_t kMaxStatementBytes = 65536;

}  // namespace orvane
