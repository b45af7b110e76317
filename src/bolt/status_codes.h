// Neo4j status codes for the engine's errors. The engine classifies each
// error by a class ("SyntaxError", "TypeError", ...), a detail naming the
// exact fault ("UnknownFunction", "WorkLimitExceeded", ...) and the phase it
// was raised in; Bolt reports a status code ("Neo.ClientError.Statement.
// SyntaxError") that drivers read to decide whether a retry can help.
// The classification arrives as strings, so this library needs nothing
// from the query library.
#pragma once

#include <string>

namespace orvane::bolt {

// The status code for an engine error of `error_class` and `detail`,
// raised at compile time (before any row) when `compile_time`:
//   SyntaxError                       Neo.ClientError.Statement.SyntaxError
//   SemanticError                     Neo.ClientError.Statement.SemanticError
//   TypeError                         Neo.ClientError.Statement.TypeError, at compile time
//                                     ...SyntaxError as Neo4j reports type mismatches it finds early
//   ArgumentError                     Neo.ClientError.Statement.ArgumentError
//   ArithmeticError                   Neo.ClientError.Statement.ArithmeticError
//   EntityNotFound                    Neo.ClientError.Statement.EntityNotFound
//   ParameterMissing                  Neo.ClientError.Statement.ParameterMissing
//   ProcedureError                    Neo.ClientError.Procedure.ProcedureCallFailed
//   ConstraintVerificationFailed      Neo.ClientError.Schema.ConstraintValidationFailed
//   ClientError/ForbiddenOnReadOnlyDatabase  Neo.ClientError.Statement.AccessMode
//   TransientError/MemoryPoolOutOfMemoryError Neo.TransientError.General.MemoryPoolOutOfMemoryError
//   TransientError/WorkLimitExceeded  Neo.ClientError.Transaction.TransactionTimedOutClientConfiguration
//   anything else                     Neo.DatabaseError.Statement.ExecutionFailed
// A statement over its work limit is a client error, not a transient one:
// drivers retry transient errors, and the same statement would only run
// into the same limit again.
std::string status_code_for(const std::string& error_class, const std::string& detail, bool compile_time);

}  // namespace orvane::bolt
