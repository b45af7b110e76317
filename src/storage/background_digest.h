// A SHA-256 computed on a thread of its own over pieces of memory handed to
// it in order, so that a writer can hash one piece while it writes the next.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "storage/snapshot_digest.h"

namespace orvane {

class BackgroundDigest {
 public:
  // Starts the hashing thread.
  BackgroundDigest();
  // Stops the thread without hashing what is still queued and waits for
  // it, so once the destructor returns no queued memory is touched again.
  ~BackgroundDigest();
  BackgroundDigest(const BackgroundDigest&) = delete;
  BackgroundDigest& operator=(const BackgroundDigest&) = delete;

  // Queues `size` bytes at `data` to be hashed after everything queued
  // before them, and returns the piece's ticket. Never blocks on the
  // hashing. Requires: the bytes stay valid and unchanged until wait() of
  // this ticket or a later one, finish() or the destructor has returned.
  std::uint64_t add(const void* data, std::size_t size);

  // Blocks until the piece of `ticket` and every piece before it are hashed.
  void wait(std::uint64_t ticket);

  // Hashes everything still queued and writes the digest of all pieces to
  // `out`. Returns false when libcrypto failed on any piece or on the
  // final step. Call at most once; add() is not allowed afterwards.
  bool finish(Sha256Digest& out);

 private:
  struct Piece {
    const void* data;
    std::size_t size;
  };
  void run();

  std::mutex mutex_;
  std::condition_variable queued_;  // signalled when a piece arrives or on stop
  std::condition_variable hashed_;  // signalled when a piece has been hashed
  std::deque<Piece> pieces_;        // queued, not yet taken by the thread
  std::uint64_t added_ = 0;         // pieces queued so far; the next ticket
  std::uint64_t done_ = 0;          // pieces hashed so far, in order
  bool closing_ = false;            // finish(): hash the rest, then end
  bool stopping_ = false;           // destructor: end now
  bool ok_ = true;                  // false once libcrypto has failed
  Sha256 hash_;                     // used by the thread only until it ends
  std::thread thread_;              // last: starts once everything it uses exists
};

}  // namespace orvane
