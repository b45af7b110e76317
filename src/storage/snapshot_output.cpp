// SnapshotOutput: buffered, sliced writes with the digest on a second thread.
//
// The writing thread copies small pieces (lengths, names, property store
// blocks) into one of four 1 MiB staging buffers and passes large arrays
// straight through. Each piece is queued on the BackgroundDigest before it
// is written, so the page-cache copy of one slice and the hashing of the
// one before run side by side. A staging buffer is filled again only after
// the digest has finished with it, which bounds the memory to the four
// buffers however large the file; the arrays passed through are the
// Database's own and stay put for the whole save.
//
// Every 8 MiB written are handed to the disk at once (sync_file_range with
// SYNC_FILE_RANGE_WRITE, which starts the writeback without waiting for
// it), so the writeback runs beside the serialisation and the caller's
// fsync only waits for the tail. Durability is the fsync's as before; this
// changes when the disk starts, not what is promised.
//
// The digest lags behind the writes but covers the same bytes in the same
// order, so the file ends exactly as a single-threaded writer would end it.
// On a failure the exception leaves through the writing thread with the
// same message as ever; the digest thread is stopped by the destructor
// before the staging buffers go away.
#include "storage/snapshot_output.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "storage/atomic_file.h"

namespace orvane {

SnapshotOutput::SnapshotOutput(int fd) : fd_(fd) {
  for (std::unique_ptr<char[]>& buffer : staging_) buffer = std::make_unique_for_overwrite<char[]>(kWriteSlice);
}

void SnapshotOutput::put_slow(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const std::size_t room = kWriteSlice - filled_;
    const std::size_t piece = size < room ? size : room;
    std::memcpy(staging_[current_].get() + filled_, p, piece);
    filled_ += piece;
    p += piece;
    size -= piece;
    if (filled_ == kWriteSlice) flush();
  }
}

void SnapshotOutput::put_stable(const void* data, std::size_t size) {
  if (size == 0) return;
  // Whatever is staged goes first; a small array is simply copied.
  if (size < kWriteSlice / 4) {
    put(data, size);
    return;
  }
  if (filled_ > 0) flush();
  emit(static_cast<const char*>(data), size);
}

void SnapshotOutput::flush() {
  if (filled_ > 0) {
    last_ticket_[current_] = emit(staging_[current_].get(), filled_);
    in_flight_[current_] = true;
  }
  current_ = (current_ + 1) % kStagingBuffers;
  if (in_flight_[current_]) {
    digest_.wait(last_ticket_[current_]);
    in_flight_[current_] = false;
  }
  filled_ = 0;
}

std::uint64_t SnapshotOutput::emit(const char* data, std::size_t size) {
  std::uint64_t ticket = 0;
  while (size > 0) {
    const std::size_t slice = size < kWriteSlice ? size : kWriteSlice;
    ticket = digest_.add(data, slice);
    // The system's reason (no space left, quota, I/O error) is the one a
    // user can act on.
    if (!write_all(fd_, data, slice)) {
      throw std::runtime_error(std::string("snapshot write failed: ") + std::strerror(errno));
    }
    data += slice;
    size -= slice;
    written_ += slice;
    if (written_ - handed_to_disk_ >= kWritebackStep) {
      // Only a start: the disk writes this range while the rest is
      // serialised, so the fsync at the end has little left to wait for.
      // A failure here changes nothing; the fsync reports real errors.
      ::sync_file_range(fd_, static_cast<off_t>(handed_to_disk_), static_cast<off_t>(written_ - handed_to_disk_),
                        SYNC_FILE_RANGE_WRITE);
      handed_to_disk_ = written_;
    }
  }
  return ticket;
}

void SnapshotOutput::finish_with_digest() {
  flush();
  Sha256Digest digest;
  if (!digest_.finish(digest)) throw std::runtime_error("snapshot checksum failed");
  if (!write_all(fd_, digest.data(), digest.size())) {
    throw std::runtime_error(std::string("snapshot write failed: ") + std::strerror(errno));
  }
}

}  // namespace orvane
