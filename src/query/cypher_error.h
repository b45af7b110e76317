// orvane::CypherError: a query-language error with its classification, as
// Neo4j reports it and the openCypher TCK checks it: a class (SyntaxError,
// SemanticError, TypeError, ArgumentError, EntityNotFound, ...), the phase
// in which it was raised (compile time: before any row was produced; run
// time: while rows were produced) and a detail code naming the exact fault
// (the TCK's codes: "UnknownFunction", "InvalidArgumentType",
// "IntegerOverflow", ...). The message is the complete user-facing text.
//
// It is a QlError, so every place that reports a QlError's message reports
// this one unchanged; transports that can say more (the JSON answer, Bolt's
// FAILURE) read the classification too.
#pragma once

#include <string>
#include <utility>

#include "query/ql_error.h"

namespace orvane {

enum class ErrorPhase { kCompileTime, kRuntime };

class CypherError : public QlError {
 public:
  CypherError(std::string error_class, std::string detail, ErrorPhase phase, const std::string& message)
      : QlError(message), class_(std::move(error_class)), detail_(std::move(detail)), phase_(phase) {}

  const std::string& error_class() const { return class_; }  // "SyntaxError", "TypeError", ...
  const std::string& detail() const { return detail_; }      // "UnknownFunction", ...; may be empty
  ErrorPhase phase() const { return phase_; }

 private:
  std::string class_;
  std::string detail_;
  ErrorPhase phase_;
};

// "compile time" or "runtime", as the TCK names the phases.
inline const char* phase_name(ErrorPhase phase) {
  return phase == ErrorPhase::kCompileTime ? "compile time" : "runtime";
}

}  // namespace orvane
