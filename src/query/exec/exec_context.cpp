// ExecContext: the checks of the work and memory bounds.
//
// Running out of memory is Neo4j's Neo.TransientError.General.
// MemoryPoolOutOfMemoryError: a transient error (the same statement may
// succeed with a higher limit or a narrower pattern), raised while rows are
// produced. It keeps that class and takes the last part of the code as its
// detail, as the work limit keeps TransientError with WorkLimitExceeded.
#include "query/exec/exec_context.h"

#include "graph/database.h"
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

PropertyKeyReader& ExecContext::make_reader(std::vector<std::unique_ptr<PropertyKeyReader>>& readers,
                                            std::uint32_t key, bool relationships) {
  if (key >= readers.size()) readers.resize(std::size_t{key} + 1);
  readers[key] = std::make_unique<PropertyKeyReader>(relationships ? db_.rel_store : db_.node_store, key);
  return *readers[key];
}

void ExecContext::check_clock() const {
  if (std::chrono::steady_clock::now() - started_ > bound_.time) {
    throw CypherError("TransientError", "WorkLimitExceeded", ErrorPhase::kRuntime, kWorkLimitMessage);
  }
}

void ExecContext::memory_exceeded() const {
  throw CypherError("TransientError", "MemoryPoolOutOfMemoryError", ErrorPhase::kRuntime,
                    memory_limit_message(bound_.memory_bytes));
}

std::string memory_limit_message(std::uint64_t limit_bytes) {
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  const std::string limit = limit_bytes % kMiB == 0 ? std::to_string(limit_bytes / kMiB) + " MiB"
                                                    : std::to_string(limit_bytes) + " bytes";
  return "query memory limit exceeded: sort, aggregation, DISTINCT and path searches may hold at most " + limit +
         "; narrow the statement or raise the limit";
}

Database& ExecContext::write_target() const {
  if (writable_ == nullptr) {
    throw CypherError("ClientError", "ForbiddenOnReadOnlyDatabase", ErrorPhase::kRuntime,
                      "Writing in read access mode not allowed");
  }
  return *writable_;
}

}  // namespace orvane
