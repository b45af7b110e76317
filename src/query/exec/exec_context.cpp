// ExecContext: the work bound's check.
#include "query/exec/exec_context.h"

#include "query/cypher_error.h"

namespace orvane {

ExecContext::ExecContext(const Database& db, std::vector<CypherValue> parameters, WorkBound bound)
    : db_(db),
      parameters_(std::move(parameters)),
      bound_(bound),
      started_(std::chrono::steady_clock::now()),
      started_wall_(std::chrono::system_clock::now()) {}

void ExecContext::check_bound() const {
  if (steps_ > bound_.steps || std::chrono::steady_clock::now() - started_ > bound_.time) {
    throw CypherError("TransientError", "WorkLimitExceeded", ErrorPhase::kRuntime, kWorkLimitMessage);
  }
}

}  // namespace orvane
