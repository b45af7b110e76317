// A fixed set of threads that run jobs from one bounded queue, in the order
// they were submitted. The connection loop hands them complete messages, so
// a worker is never held by a client that is slow to send or to read.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane::net {

class WorkerPool {
 public:
  // Starts `workers` threads (at least one) sharing a queue of at most
  // `queue_limit` jobs waiting for a thread. Throws std::system_error when a
  // thread cannot start (the ones started are joined first).
  WorkerPool(int workers, size_t queue_limit);
  // Runs every job still queued, then joins the threads.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues `job`; false, without queuing, when the queue is full. A job
  // must not throw.
  bool try_submit(std::function<void()> job);

 private:
  void run();
  void stop_and_join();

  const size_t queue_limit_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;  // jobs no thread has taken yet
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace orvane::net
