// EngineLock: the lock a server holds around every use of its Engine.
// Statements that only read take it shared and run in parallel with each
// other; everything else (a write, a console form, a document that folds a
// database, an install) takes it exclusive. A reader holds it for its whole
// statement, so it reads one version of the graph from its start to its
// end, and no write is ever half seen.
//
// A writer waiting for the readers to finish stops new readers from
// starting (writer preference): a stream of reads from many clients could
// otherwise keep one writer waiting for ever. std::shared_mutex makes no
// such promise (glibc's prefers readers).
//
// A third mode, the writer mode, serves the one writer that runs beside the
// readers: a statement that writes (which writes a copy of its database
// no reader reads, console/database_versions.h) and the background fold
// (console/background_fold.h). It excludes the exclusive mode and other
// writers; an exclusive waiter waits for it, and while it is held, waiting
// exclusive writers (who could not start anyway) do not hold readers
// back. upgrade_fold() makes it exclusive.
//
// Meets Lockable and SharedLockable, for std::lock_guard, std::unique_lock
// and std::shared_lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace orvane {

class EngineLock {
 public:
  void lock();
  void unlock();
  void lock_shared();
  void unlock_shared();
  // The writer mode; waits for an exclusive holder, an exclusive waiter or
  // another writer. upgrade_fold() makes it exclusive (waiting for the
  // readers under way, letting no new one start), ended by unlock();
  // unlock_fold() ends a writer mode that did not upgrade.
  void lock_fold();
  void upgrade_fold();
  void unlock_fold();
  // Writers waiting for the lock now (a diagnostic: it may change at once).
  std::uint32_t waiting_writers() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::uint32_t readers_ = 0;          // holding it shared
  std::uint32_t waiting_writers_ = 0;  // waiting to hold it exclusive
  bool writer_ = false;                // held exclusive
  bool folder_ = false;                // held by a fold (exclusive too once upgraded)
  bool upgrading_ = false;             // a fold waits for the readers to finish
};

// Holds an EngineLock in its writer mode while it lives.
class WriterModeGuard {
 public:
  explicit WriterModeGuard(EngineLock& lock) : lock_(lock) { lock_.lock_fold(); }
  ~WriterModeGuard() { lock_.unlock_fold(); }
  WriterModeGuard(const WriterModeGuard&) = delete;
  WriterModeGuard& operator=(const WriterModeGuard&) = delete;

 private:
  EngineLock& lock_;
};

}  // namespace orvane
