// EngineLock (engine_lock.h): a counter of readers, a writer flag and the
// writers waiting, under one mutex; every release wakes every waiter, who
// checks its own condition again.
#include "console/engine_lock.h"

namespace orvane {

void EngineLock::lock() {
  std::unique_lock<std::mutex> guard(mutex_);
  ++waiting_writers_;
  changed_.wait(guard, [this] { return !writer_ && !folder_ && readers_ == 0; });
  --waiting_writers_;
  writer_ = true;
}

void EngineLock::unlock() {
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    writer_ = false;
    folder_ = false;  // an upgraded fold ends here
  }
  changed_.notify_all();
}

void EngineLock::lock_shared() {
  std::unique_lock<std::mutex> guard(mutex_);
  changed_.wait(guard, [this] { return !writer_ && !upgrading_ && (waiting_writers_ == 0 || folder_); });
  ++readers_;
}

void EngineLock::lock_fold() {
  std::unique_lock<std::mutex> guard(mutex_);
  changed_.wait(guard, [this] { return !writer_ && !folder_ && waiting_writers_ == 0; });
  folder_ = true;
}

void EngineLock::upgrade_fold() {
  std::unique_lock<std::mutex> guard(mutex_);
  upgrading_ = true;
  changed_.wait(guard, [this] { return readers_ == 0; });
  upgrading_ = false;
  writer_ = true;
}

void EngineLock::unlock_fold() {
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    folder_ = false;
  }
  changed_.notify_all();
}

void EngineLock::unlock_shared() {
  bool last = false;
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    last = --readers_ == 0;
  }
  if (last) changed_.notify_all();
}

std::uint32_t EngineLock::waiting_writers() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return waiting_writers_;
}

}  // namespace orvane
