// The focus of this file is the status code each engine error class is
// reported with, and the GQLSTATUS sent beside it from 5.7.
#include "bolt/status_codes.h"

#include <gtest/gtest.h>

#include "bolt/messages.h"

namespace orvane::bolt {
namespace {

TEST(BoltStatusCodes, MapEngineErrorClasses) {
  struct Case {
    const char* error_class;
    const char* detail;
    bool compile_time;
    const char* code;
    const char* gql_status;
  };
  const Case cases[] = {
      {"SyntaxError", "InvalidSyntax", true, "Neo.ClientError.Statement.SyntaxError", "42000"},
      {"SemanticError", "UndefinedVariable", true, "Neo.ClientError.Statement.SemanticError", "42000"},
      {"TypeError", "InvalidArgumentType", true, "Neo.ClientError.Statement.SyntaxError", "42000"},
      {"TypeError", "InvalidArgumentType", false, "Neo.ClientError.Statement.TypeError", "22000"},
      {"ArgumentError", "NumberOutOfRange", false, "Neo.ClientError.Statement.ArgumentError", "22000"},
      {"ArithmeticError", "DivisionByZero", false, "Neo.ClientError.Statement.ArithmeticError", "22000"},
      {"EntityNotFound", "DeletedEntityAccess", false, "Neo.ClientError.Statement.EntityNotFound", "22000"},
      {"ParameterMissing", "MissingParameter", true, "Neo.ClientError.Statement.ParameterMissing", "22000"},
      {"ProcedureError", "ProcedureNotFound", true, "Neo.ClientError.Procedure.ProcedureCallFailed", "50N42"},
      {"ConstraintVerificationFailed", "", false, "Neo.ClientError.Schema.ConstraintValidationFailed", "50N42"},
      {"ClientError", "ForbiddenOnReadOnlyDatabase", false, "Neo.ClientError.Statement.AccessMode", "50N42"},
      {"TransientError", "MemoryPoolOutOfMemoryError", false, "Neo.TransientError.General.MemoryPoolOutOfMemoryError",
       "50N42"},
      {"TransientError", "WorkLimitExceeded", false,
       "Neo.ClientError.Transaction.TransactionTimedOutClientConfiguration", "50N42"},
      {"DatabaseError", "ShortestPathCommonEndNodes", false, "Neo.DatabaseError.Statement.ExecutionFailed", "50N42"},
      {"SomethingNew", "", true, "Neo.DatabaseError.Statement.ExecutionFailed", "50N42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.error_class) + "/" + c.detail);
    const std::string code = status_code_for(c.error_class, c.detail, c.compile_time);
    EXPECT_EQ(c.code, code);
    EXPECT_EQ(c.gql_status, gql_status_of(code));
  }
}

}  // namespace
}  // namespace orvane::bolt
