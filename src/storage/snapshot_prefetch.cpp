// FilePrefetch: the snapshot loader's read-ahead and digest thread.
//
// Loading a snapshot reads every byte, hashes every byte and parses every
// byte. On one thread these add up; here this thread does the reading and
// the hashing (what sha256sum would do with the file) while the loader
// parses the chunks it has already been given. Eight chunks of 1 MiB make
// the ring: the thread runs at most seven chunks ahead and then waits, so
// memory stays at 8 MiB however large the file is.
//
// A chunk is hashed before it is handed out and the loader only copies out
// of it, so the digest covers exactly the bytes that were parsed, in file
// order, as when one thread did both. A read that comes back short (the
// file was shortened while it was read) or fails ends the thread; the
// loader then fails with "snapshot truncated" once it reaches that point,
// as the single-threaded reader did.
#include "storage/snapshot_prefetch.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace orvane {

FilePrefetch::FilePrefetch(int fd, std::uint64_t offset, std::uint64_t end, std::uint64_t hash_end, Sha256& hash)
    : fd_(fd), begin_(offset), end_(end), hash_end_(hash_end), hash_(hash) {
  for (std::unique_ptr<std::uint8_t[]>& slot : ring_) slot = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize);
  hashed_ = hash_end_ <= begin_;
  thread_ = std::thread([this] { run(); });
}

FilePrefetch::~FilePrefetch() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool FilePrefetch::read_at(std::uint8_t* buffer, std::size_t size, std::uint64_t offset) const {
  while (size > 0) {
    const ssize_t got = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // shortened since open, or unreadable
    buffer += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

void FilePrefetch::run() {
  std::uint64_t chunk = 0;
  for (std::uint64_t offset = begin_; offset < end_; offset += kChunkSize, ++chunk) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return chunk < released_ + kChunks || stopping_; });
      if (stopping_) break;
    }
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, end_ - offset));
    std::uint8_t* buffer = ring_[chunk % kChunks].get();
    if (!read_at(buffer, size, offset)) {
      const std::lock_guard<std::mutex> lock(mutex_);
      short_file_ = true;
      break;
    }
    bool ok = true;
    if (offset < hash_end_) ok = hash_.update(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, hash_end_ - offset)));
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      filled_[chunk % kChunks] = size;
      hash_ok_ = hash_ok_ && ok;
      hashed_ = hashed_ || offset + size >= hash_end_;
      ++produced_;
    }
    changed_.notify_all();
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

std::span<const std::uint8_t> FilePrefetch::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (handed_out_) {
    ++released_;
    handed_out_ = false;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] { return produced_ > released_ || finished_; });
  if (produced_ == released_) {
    if (short_file_) throw std::runtime_error("snapshot truncated");
    return {};
  }
  handed_out_ = true;
  const std::size_t slot = released_ % kChunks;
  return {ring_[slot].get(), filled_[slot]};
}

bool FilePrefetch::wait_hashed() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return hashed_ || finished_; });
  return hashed_ && hash_ok_;
}

}  // namespace orvane
