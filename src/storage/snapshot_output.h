// A snapshot file written front to back to an open descriptor, with the
// SHA-256 of every byte computed on a second thread and appended at the end.
// The writer's counterpart of snapshot_input.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "storage/background_digest.h"

namespace orvane {

// Sequential, hashing writer of one snapshot file. Small pieces are copied
// into a few staging buffers; whole arrays that stay put for the duration
// of the save go out from where they lie. Every write to the descriptor is
// at most kWriteSlice bytes. Not copyable; the descriptor stays the
// caller's.
class SnapshotOutput {
 public:
  explicit SnapshotOutput(int fd);

  // Appends `size` bytes, copied before the call returns. Throws
  // std::runtime_error "snapshot write failed: REASON" (REASON from errno,
  // e.g. "No space left on device") when the system refuses a write.
  void put(const void* data, std::size_t size) {
    // An empty piece may come with a null pointer (an empty vector's or
    // store's data()), which memcpy must not be given even for no bytes.
    if (size == 0) return;
    // Most pieces are a few bytes (a length, a name) and fit what is left.
    if (size < kWriteSlice - filled_) {
      std::memcpy(staging_[current_].get() + filled_, data, size);
      filled_ += size;
      return;
    }
    put_slow(data, size);
  }
  void put_u16(std::uint16_t v) { put(&v, sizeof v); }
  void put_u32(std::uint32_t v) { put(&v, sizeof v); }
  void put_u64(std::uint64_t v) { put(&v, sizeof v); }
  // A 4-byte length and the bytes.
  void put_text(const std::string& text) {
    put_u32(static_cast<std::uint32_t>(text.size()));
    put(text.data(), text.size());
  }

  // Appends `size` bytes without copying them. Same errors as put().
  // Requires: the bytes stay valid and unchanged until finish_with_digest()
  // or the destructor has returned (the digest reads them later).
  void put_stable(const void* data, std::size_t size);
  template <typename T>
  void put_block(const std::vector<T>& v) { put_stable(v.data(), v.size() * sizeof(T)); }

  // Writes whatever is staged, then the 32-byte digest of everything
  // written before it. Throws "snapshot write failed: REASON" as above, or
  // "snapshot checksum failed" when libcrypto fails. Call once.
  void finish_with_digest();

  // Largest single write(2): the kernel copies a slice into the page cache
  // at full speed, where one call of hundreds of megabytes was seen to
  // stall for seconds in dirty-page accounting.
  static constexpr std::size_t kWriteSlice = std::size_t{1} << 20;

 private:
  static constexpr std::size_t kStagingBuffers = 4;
  // Bytes written between two starts of writeback.
  static constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;

  void put_slow(const void* data, std::size_t size);
  // Hands the filled staging buffer to the digest and the file, then moves
  // to the next one, waiting until the digest is done with it.
  void flush();
  // Queues `size` bytes at `data` for hashing and writes them, in slices.
  std::uint64_t emit(const char* data, std::size_t size);

  int fd_;
  std::array<std::unique_ptr<char[]>, kStagingBuffers> staging_;  // kWriteSlice bytes each
  std::array<std::uint64_t, kStagingBuffers> last_ticket_{};  // digest ticket that last read each buffer
  std::array<bool, kStagingBuffers> in_flight_{};             // whether that ticket may still be pending
  std::size_t current_ = 0;                                   // the staging buffer being filled
  std::size_t filled_ = 0;                                    // bytes of it filled
  std::uint64_t written_ = 0;                                 // bytes written to the descriptor
  std::uint64_t handed_to_disk_ = 0;                          // bytes whose writeback has been started
  BackgroundDigest digest_;  // last: destroyed first, so its thread is gone before the buffers are
};

}  // namespace orvane
