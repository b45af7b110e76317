// The table of status codes is in status_codes.h.
#include "bolt/status_codes.h"

namespace orvane::bolt {

std::string status_code_for(const std::string& error_class, const std::string& detail, bool compile_time) {
  const std::string statement = "Neo.ClientError.Statement.";
  if (error_class == "SyntaxError" || error_class == "SemanticError" || error_class == "ArgumentError" ||
      error_class == "ArithmeticError" || error_class == "EntityNotFound" || error_class == "ParameterMissing") {
    return statement + error_class;
  }
  if (error_class == "TypeError") return statement + (compile_time ? "SyntaxError" : "TypeError");
  if (error_class == "ProcedureError") return "Neo.ClientError.Procedure.ProcedureCallFailed";
  if (error_class == "ConstraintVerificationFailed") return "Neo.ClientError.Schema.ConstraintValidationFailed";
  if (error_class == "ClientError" && detail == "ForbiddenOnReadOnlyDatabase") return statement + "AccessMode";
  if (error_class == "TransientError" && detail == "MemoryPoolOutOfMemoryError") {
    return "Neo.TransientError.General.MemoryPoolOutOfMemoryError";
  }
  if (error_class == "TransientError" && detail == "LockAcquisitionTimeout") {
    return "Neo.TransientError.Transaction.LockAcquisitionTimeout";
  }
  if (error_class == "TransientError" && detail == "WorkLimitExceeded") {
    return "Neo.ClientError.Transaction.TransactionTimedOutClientConfiguration";
  }
  return "Neo.DatabaseError.Statement.ExecutionFailed";
}

}  // namespace orvane::bolt
