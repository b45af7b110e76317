// A snapshot file read front to back through read(2), hashing what it
// reads. The loader never maps the file: a mapped file that another process
// truncates (a backup copied over it with cp) kills the reader with SIGBUS,
// while a read simply comes back short and the load fails with a message.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "storage/snapshot_digest.h"

namespace orvane {

// Minimum size of anything that can be a snapshot: the fixed header.
inline constexpr std::size_t kSnapshotHeaderSize = 48;

// Sequential, buffered, hashing reader of one snapshot file. Every byte
// handed out below the data end is hashed once, in file order, when a digest
// is wanted. Not copyable; the descriptor is closed by the destructor.
class SnapshotInput {
 public:
  // Opens `path` read-only without blocking (a FIFO or device is refused,
  // never waited on) and checks it. Throws std::runtime_error "open
  // snapshot: PATH: REASON" (REASON from errno), "fstat snapshot failed" or
  // "snapshot is not a regular, complete file" (not a regular file, or
  // shorter than the header).
  explicit SnapshotInput(const std::string& path);
  ~SnapshotInput();
  SnapshotInput(const SnapshotInput&) = delete;
  SnapshotInput& operator=(const SnapshotInput&) = delete;

  // Size of the file when it was opened.
  std::uint64_t file_size() const { return file_size_; }

  // Declares where the data ends (the bytes after it are a digest trailer)
  // and whether the data is hashed. Call once, before the data end is
  // crossed; the default is the whole file, unhashed. Requires
  // `data_end` <= file_size() and not below what has been read.
  void set_data_end(std::uint64_t data_end, bool hashed);

  // Data bytes not yet read.
  std::uint64_t remaining() const { return data_end_ - position_; }
  bool at_end() const { return position_ == data_end_; }

  // Copies the next `size` bytes to `out`. Throws "snapshot truncated"
  // when the data ends first or when the file turns out shorter than it was
  // at open (it changed while being read).
  void read(void* out, std::uint64_t size) {
    // An empty vector's data() may be null, and memcpy from or to null is
    // undefined even for no bytes.
    if (size == 0) return;
    if (size <= buffer_end_ - buffer_begin_ && size <= remaining()) {  // most reads: a few buffered bytes
      std::memcpy(out, buffer_.data() + buffer_begin_, size);
      consume(size);
      return;
    }
    read_slow(out, size);
  }

  // The next `size` bytes, consumed; the view stays valid until the next
  // call on this object. Same errors as read.
  std::string_view read_view(std::uint64_t size) {
    if (size > buffer_end_ - buffer_begin_ || size > remaining()) return read_view_slow(size);
    const std::string_view view(reinterpret_cast<const char*>(buffer_.data() + buffer_begin_), size);
    consume(size);
    return view;
  }

  // The next `count` elements as a vector. The count is checked against
  // the remaining data before anything is allocated.
  template <typename T>
  std::vector<T> read_block(std::uint64_t count) {
    if (count > remaining() / sizeof(T)) truncated();
    std::vector<T> v;
    v.reserve(count);
    // The vector zeroes what it grows by; growing it one piece at a time,
    // just before the read overwrites that piece, keeps the zeroing in the
    // cache instead of making it a pass of its own over memory.
    constexpr std::size_t piece = kBlockPiece / sizeof(T);
    while (v.size() < count) {
      const std::size_t at = v.size();
      v.resize(at + static_cast<std::size_t>(std::min<std::uint64_t>(piece, count - at)));
      read(v.data() + at, (v.size() - at) * sizeof(T));
    }
    return v;
  }

  // Bytes a block grows by before each read (read_block).
  static constexpr std::size_t kBlockPiece = std::size_t{512} << 10;

  // Hashes any data not yet read, reads the digest trailer and compares.
  // Returns false on a mismatch or when hashing fails; throws "snapshot
  // truncated" when the file is shorter than at open. Only for a hashed
  // input whose trailer is exactly one digest.
  bool digest_matches();

 private:
  [[noreturn]] static void truncated();
  void consume(std::uint64_t size) {
    buffer_begin_ += size;
    position_ += size;
  }
  void read_slow(void* out, std::uint64_t size);
  std::string_view read_view_slow(std::uint64_t size);
  // Reads `size` bytes of the file at the current file offset into `out`,
  // hashing the data part of them.
  void fill(std::uint8_t* out, std::size_t size);
  // Makes at least `size` bytes available in the buffer.
  void buffer_at_least(std::size_t size);
  // Hashes the buffer bytes consumed since the last call.
  void hash_consumed();

  int fd_ = -1;
  std::uint64_t file_size_ = 0;
  std::uint64_t data_end_ = 0;
  std::uint64_t position_ = 0;     // data bytes handed out
  std::uint64_t file_offset_ = 0;  // bytes read from the file
  bool hashed_ = false;
  bool hash_ok_ = true;  // false once libcrypto has failed
  Sha256 hash_;
  std::vector<std::uint8_t> buffer_;
  std::size_t buffer_begin_ = 0;  // next unread byte in buffer_
  std::size_t buffer_end_ = 0;    // end of the filled part of buffer_
  std::size_t hash_from_ = 0;     // first consumed byte of buffer_ not yet hashed
};

}  // namespace orvane
