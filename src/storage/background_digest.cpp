// BackgroundDigest: the snapshot writer's digest, off the writing thread.
//
// Writing a large snapshot is two passes over the same bytes: the copy into
// the page cache and SHA-256. Done in turn on one thread they add up; here
// the writer queues each piece (a pointer and a length, nothing copied) and
// goes on writing while this thread hashes what was queued, in order. The
// queue holds only descriptors; the memory they point to is the caller's,
// which is why the caller keeps each piece unchanged until it has waited
// for its ticket. Tickets count pieces: ticket t is done once the first
// t + 1 pieces are hashed.
#include "storage/background_digest.h"

namespace orvane {

BackgroundDigest::BackgroundDigest() : thread_([this] { run(); }) {}

BackgroundDigest::~BackgroundDigest() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_one();
  if (thread_.joinable()) thread_.join();  // finish() may have joined it
}

std::uint64_t BackgroundDigest::add(const void* data, std::size_t size) {
  std::uint64_t ticket;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    pieces_.push_back(Piece{data, size});
    ticket = added_++;
  }
  queued_.notify_one();
  return ticket;
}

void BackgroundDigest::wait(std::uint64_t ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  hashed_.wait(lock, [&] { return done_ > ticket || stopping_; });
}

bool BackgroundDigest::finish(Sha256Digest& out) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  queued_.notify_one();
  thread_.join();
  return ok_ && hash_.finish(out);
}

void BackgroundDigest::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_.wait(lock, [&] { return !pieces_.empty() || closing_ || stopping_; });
    if (stopping_ || pieces_.empty()) return;  // stopped, or closing with everything hashed
    const Piece piece = pieces_.front();
    pieces_.pop_front();
    lock.unlock();
    // After a failure the remaining pieces are only counted: the digest is
    // lost either way, and waiters must still be released.
    if (ok_) ok_ = hash_.update(piece.data, piece.size);
    lock.lock();
    ++done_;
    hashed_.notify_all();
  }
}

}  // namespace orvane
