// SnapshotInput: a buffered front-to-back reader that hashes what it hands
// out.
//
// The first bytes (magic and version) come from one 1 MiB buffer fill on
// the caller's thread. An unhashed file (versions 2 and 3) goes on like
// that: small pieces from the buffer, large blocks read straight into the
// caller's vector. A hashed file (version 4 on) is read ahead from there on
// by FilePrefetch, whose thread reads and hashes 1 MiB chunks while this
// one copies out of the chunks it has been given; the bytes of the first
// fill are hashed here before the thread starts, so the digest still sees
// every data byte once, in file order. Pieces are hashed a chunk at a time,
// never one four-byte length at a time: a snapshot of a million nodes holds
// millions of them.
//
// The file size is taken once, at open. A file that another process
// shortens while it is read makes a read come back short, which fails the
// load with "snapshot truncated"; one that changes in place fails the digest
// of a version 4 file, which the loader checks before it returns.
#include "storage/snapshot_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace orvane {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;
// Reads at least this long bypass the buffer.
constexpr std::size_t kDirectRead = std::size_t{64} << 10;

}  // namespace

SnapshotInput::SnapshotInput(const std::string& path) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the
  // type check below then refuses it.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) throw std::runtime_error("open snapshot: " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    ::close(fd_);
    throw std::runtime_error("fstat snapshot failed");
  }
  if (!S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(kSnapshotHeaderSize)) {
    ::close(fd_);
    throw std::runtime_error("snapshot is not a regular, complete file");
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);  // advice only
  file_size_ = static_cast<std::uint64_t>(st.st_size);
  data_end_ = file_size_;
  buffer_.resize(kBufferSize);
  window_ = buffer_.data();
}

SnapshotInput::~SnapshotInput() {
  prefetch_.reset();  // the thread reads fd_
  ::close(fd_);
}

void SnapshotInput::set_data_end(std::uint64_t data_end, bool hashed) {
  data_end_ = data_end;
  if (!hashed) return;
  // buffer_ still holds the file from its first byte (the first fill).
  assert(buffer_end_ == file_offset_);
  const std::uint64_t held = std::min<std::uint64_t>(file_offset_, data_end);
  hash_ok_ = hash_.update(buffer_.data(), static_cast<std::size_t>(held));
  prefetch_ = std::make_unique<FilePrefetch>(fd_, file_offset_, file_size_, data_end, hash_);
}

void SnapshotInput::truncated() { throw std::runtime_error("snapshot truncated"); }

void SnapshotInput::fill(std::uint8_t* out, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::read(fd_, out, std::min<std::size_t>(size, std::size_t{1} << 30));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) truncated();  // shortened since open, or unreadable
    out += got;
    size -= static_cast<std::size_t>(got);
    file_offset_ += static_cast<std::uint64_t>(got);
  }
}

void SnapshotInput::buffer_at_least(std::size_t size) {
  const std::size_t held = buffer_end_ - buffer_begin_;
  std::memmove(buffer_.data(), buffer_.data() + buffer_begin_, held);
  buffer_begin_ = 0;
  buffer_end_ = held;
  if (buffer_.size() < size) buffer_.resize(size);
  window_ = buffer_.data();
  const std::uint64_t unread = file_size_ - file_offset_;
  const std::size_t more = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size() - held, unread));
  if (held + more < size) truncated();
  fill(buffer_.data() + held, more);
  buffer_end_ = held + more;
}

void SnapshotInput::next_chunk() {
  const std::span<const std::uint8_t> chunk = prefetch_->next();
  if (chunk.empty()) truncated();  // the callers stay below the file size taken at open
  window_ = chunk.data();
  buffer_begin_ = 0;
  buffer_end_ = chunk.size();
}

void SnapshotInput::read_ahead(std::uint8_t* out, std::uint64_t size) {
  while (size > 0) {
    if (buffer_begin_ == buffer_end_) next_chunk();
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer_end_ - buffer_begin_));
    if (out != nullptr) {
      std::memcpy(out, window_ + buffer_begin_, piece);
      out += piece;
    }
    consume(piece);
    size -= piece;
  }
}

void SnapshotInput::read_slow(void* out, std::uint64_t size) {
  if (size > remaining()) truncated();
  auto* dst = static_cast<std::uint8_t*>(out);
  if (prefetch_) {
    read_ahead(dst, size);
    return;
  }
  const std::size_t held = buffer_end_ - buffer_begin_;
  if (size > held && size - held >= kDirectRead) {
    // A large block: what the buffer holds, then the rest straight from the
    // file.
    std::memcpy(dst, window_ + buffer_begin_, held);
    fill(dst + held, static_cast<std::size_t>(size - held));
    buffer_begin_ = buffer_end_ = 0;
    position_ += size;
    return;
  }
  if (size > held) buffer_at_least(static_cast<std::size_t>(size));
  if (size > 0) std::memcpy(dst, window_ + buffer_begin_, size);
  buffer_begin_ += size;
  position_ += size;
}

std::string_view SnapshotInput::read_view_slow(std::uint64_t size) {
  if (size > remaining()) truncated();
  if (prefetch_) {
    // Bytes split between chunks are put together; the view lasts until
    // the next call, as promised.
    if (size > buffer_end_ - buffer_begin_) {
      straddle_.resize(static_cast<std::size_t>(size));
      read_ahead(straddle_.data(), size);
      return {reinterpret_cast<const char*>(straddle_.data()), static_cast<std::size_t>(size)};
    }
  } else if (size > buffer_end_ - buffer_begin_) {
    buffer_at_least(static_cast<std::size_t>(size));
  }
  const std::string_view view(reinterpret_cast<const char*>(window_ + buffer_begin_), size);
  consume(size);
  return view;
}

bool SnapshotInput::digest_matches() {
  // The data not parsed still counts: the read-ahead thread hashes it as
  // it is passed over.
  if (!prefetch_) return false;
  read_ahead(nullptr, remaining());
  Sha256Digest computed;
  if (!prefetch_->wait_hashed() || !hash_ok_ || !hash_.finish(computed)) return false;
  data_end_ = file_size_;
  std::uint8_t stored[sizeof(Sha256Digest)];
  if (remaining() != sizeof stored) return false;
  read(stored, sizeof stored);
  return std::memcmp(stored, computed.data(), sizeof stored) == 0;
}

}  // namespace orvane
