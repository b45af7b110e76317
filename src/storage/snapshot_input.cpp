// SnapshotInput: a buffered front-to-back reader that hashes what it hands
// out.
//
// Small pieces (lengths, names, property texts) come from a 1 MiB buffer;
// large blocks are read straight into the caller's vector, 1 MiB at a time,
// and each piece is hashed right after it arrives, while it is still in the
// cache. Consumed buffer bytes are hashed in one call when the buffer is
// refilled, not piece by piece: a snapshot of a million nodes holds millions
// of four-byte lengths, and one digest call per length would cost more than
// the reading itself.
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
}

SnapshotInput::~SnapshotInput() { ::close(fd_); }

void SnapshotInput::set_data_end(std::uint64_t data_end, bool hashed) {
  data_end_ = data_end;
  hashed_ = hashed;
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

void SnapshotInput::hash_consumed() {
  if (hashed_ && buffer_begin_ > hash_from_) {
    hash_ok_ &= hash_.update(buffer_.data() + hash_from_, buffer_begin_ - hash_from_);
  }
  hash_from_ = buffer_begin_;
}

void SnapshotInput::buffer_at_least(std::size_t size) {
  hash_consumed();
  const std::size_t held = buffer_end_ - buffer_begin_;
  std::memmove(buffer_.data(), buffer_.data() + buffer_begin_, held);
  buffer_begin_ = hash_from_ = 0;
  buffer_end_ = held;
  if (buffer_.size() < size) buffer_.resize(size);
  const std::uint64_t unread = file_size_ - file_offset_;
  const std::size_t more = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size() - held, unread));
  if (held + more < size) truncated();
  fill(buffer_.data() + held, more);
  buffer_end_ = held + more;
}

void SnapshotInput::read_slow(void* out, std::uint64_t size) {
  if (size > remaining()) truncated();
  auto* dst = static_cast<std::uint8_t*>(out);
  const std::size_t held = buffer_end_ - buffer_begin_;
  if (size > held && size - held >= kDirectRead) {
    // A large block: what the buffer holds, then the rest straight from the
    // file, hashed piece by piece while the piece is still cached.
    std::memcpy(dst, buffer_.data() + buffer_begin_, held);
    buffer_begin_ = buffer_end_;
    hash_consumed();
    std::uint64_t left = size - held;
    dst += held;
    while (left > 0) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBufferSize));
      fill(dst, piece);
      if (hashed_) hash_ok_ &= hash_.update(dst, piece);
      dst += piece;
      left -= piece;
    }
    buffer_begin_ = buffer_end_ = hash_from_ = 0;
    position_ += size;
    return;
  }
  if (size > held) buffer_at_least(static_cast<std::size_t>(size));
  if (size > 0) std::memcpy(dst, buffer_.data() + buffer_begin_, size);
  buffer_begin_ += size;
  position_ += size;
}

std::string_view SnapshotInput::read_view_slow(std::uint64_t size) {
  if (size > remaining()) truncated();
  if (size > buffer_end_ - buffer_begin_) buffer_at_least(static_cast<std::size_t>(size));
  const std::string_view view(reinterpret_cast<const char*>(buffer_.data() + buffer_begin_), size);
  buffer_begin_ += size;
  position_ += size;
  return view;
}

bool SnapshotInput::digest_matches() {
  while (remaining() > 0) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(remaining(), kBufferSize));
    read_view(piece);
  }
  hash_consumed();
  Sha256Digest computed;
  if (!hash_ok_ || !hash_.finish(computed)) return false;
  hashed_ = false;
  data_end_ = file_size_;
  std::uint8_t stored[sizeof(Sha256Digest)];
  if (remaining() != sizeof stored) return false;
  read(stored, sizeof stored);
  return std::memcmp(stored, computed.data(), sizeof stored) == 0;
}

}  // namespace orvane
