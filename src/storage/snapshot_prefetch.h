// Read-ahead for the snapshot loader: a thread of its own reads the file in
// chunks ahead of the parser and hashes each chunk as it arrives, so that
// the parser finds the bytes waiting and never pays for the digest itself.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "storage/snapshot_digest.h"

namespace orvane {

class FilePrefetch {
 public:
  // Starts reading `fd` with pread(2) from `offset` to `end`, chunk by
  // chunk, into a ring of kChunks buffers, and feeds the bytes below
  // `hash_end` to `hash`, in file order after whatever `hash` has seen.
  // Requires: offset <= end; `fd` and `hash` outlive this object, and
  // nothing else touches `hash` until wait_hashed() has returned.
  FilePrefetch(int fd, std::uint64_t offset, std::uint64_t end, std::uint64_t hash_end, Sha256& hash);
  // Stops the thread and waits for it; chunks handed out become invalid.
  ~FilePrefetch();
  FilePrefetch(const FilePrefetch&) = delete;
  FilePrefetch& operator=(const FilePrefetch&) = delete;

  // The next chunk of the file, in order, once it has been read and hashed;
  // empty once `end` has been reached. The bytes stay valid until the next
  // call of next() or the destructor. Throws std::runtime_error "snapshot
  // truncated" when the file turned out to end before `end` or a read
  // failed.
  std::span<const std::uint8_t> next();

  // Waits until every byte below `hash_end` has been fed to `hash`, after
  // which the thread never touches `hash` again. Returns false when
  // libcrypto failed on any of them or the reading stopped before (then
  // next() reports why).
  bool wait_hashed();

  static constexpr std::size_t kChunkSize = std::size_t{1} << 20;
  static constexpr std::size_t kChunks = 8;

 private:
  void run();
  // Fills `buffer` with the `size` bytes at file `offset`; false when the
  // file ends first or a read fails.
  bool read_at(std::uint8_t* buffer, std::size_t size, std::uint64_t offset) const;

  const int fd_;
  const std::uint64_t begin_;     // file offset of the first chunk
  const std::uint64_t end_;       // file offset where reading stops
  const std::uint64_t hash_end_;  // bytes below this file offset are hashed
  Sha256& hash_;

  std::array<std::unique_ptr<std::uint8_t[]>, kChunks> ring_;  // chunk i lives in ring_[i % kChunks]
  std::array<std::size_t, kChunks> filled_{};                 // bytes of each slot's chunk

  std::mutex mutex_;
  std::condition_variable changed_;  // any of the fields below changed
  std::uint64_t produced_ = 0;       // chunks read and hashed
  std::uint64_t released_ = 0;       // chunks the reader is done with
  bool handed_out_ = false;          // whether chunk released_ is being read now
  bool hashed_ = false;              // everything below hash_end_ has been hashed
  bool hash_ok_ = true;              // false once libcrypto has failed
  bool short_file_ = false;          // the file ended early or a read failed
  bool finished_ = false;            // the thread has stopped producing
  bool stopping_ = false;            // destructor: end now
  std::thread thread_;               // last: starts once everything it uses exists
};

}  // namespace orvane
