// The pool's queue is guarded by one mutex; jobs run outside it. Stopping
// lets the threads empty the queue first, so every message the loop has
// accepted for work is answered.
#include "net/worker_pool.h"

#include <utility>

namespace orvane::net {

WorkerPool::WorkerPool(int workers, size_t queue_limit) : queue_limit_(queue_limit) {
  try {
    for (int i = 0; i < (workers > 0 ? workers : 1); ++i) threads_.emplace_back(&WorkerPool::run, this);
  } catch (...) {
    stop_and_join();
    throw;
  }
}

WorkerPool::~WorkerPool() { stop_and_join(); }

bool WorkerPool::try_submit(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.size() >= queue_limit_) return false;
    queue_.push_back(std::move(job));
  }
  ready_.notify_one();
  return true;
}

void WorkerPool::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and the queue is drained
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    job();
  }
}

void WorkerPool::stop_and_join() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

}  // namespace orvane::net
