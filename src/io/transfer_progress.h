// How far an import or export has come: records and bytes done, and the
// bytes in all when they are known. The thread that imports or exports
// counts; another (a progress line on the terminal, a progress route)
// reads, so every count is atomic.
//
// Counting needs no parameter threaded through every reader: the caller
// installs its progress for the calling thread with a ProgressScope, and
// the import context and the writers count into the installed one, if any.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvane {

struct TransferProgress {
  std::atomic<std::uint64_t> records{0};
  std::atomic<std::uint64_t> bytes{0};        // input read (uncompressed) or output written
  std::atomic<std::uint64_t> total_bytes{0};  // 0: not known
  std::atomic<std::uint64_t> total_records{0};  // 0: not known (an export knows it)
};

// Counts one record into `progress` when there is one.
inline void count_record(TransferProgress* progress) {
  if (progress != nullptr) progress->records.fetch_add(1, std::memory_order_relaxed);
}

// The progress installed for the calling thread, or null.
TransferProgress* current_progress();

// While it lives, `progress` is the calling thread's current progress.
class ProgressScope {
 public:
  explicit ProgressScope(TransferProgress* progress);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  TransferProgress* previous_;
};

}  // namespace orvane
