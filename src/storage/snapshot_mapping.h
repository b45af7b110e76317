// A snapshot file held in memory for reading: opened read-only and mapped
// private, so that the loader (and the writer's own checks) read it as one
// byte block without copying it first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane {

// Minimum size of anything that can be a snapshot: the fixed header.
inline constexpr std::size_t kSnapshotHeaderSize = 48;

// Owns the descriptor and the mapping; both are released by the destructor
// on every path. Not copyable; moving transfers ownership.
class SnapshotMapping {
 public:
  // Opens `path` read-only and maps all of it. Throws std::runtime_error
  // "open snapshot: PATH: REASON" (REASON from errno), "fstat snapshot
  // failed", "snapshot is not a regular, complete file" (not a regular file,
  // or shorter than 48 bytes) or "mmap snapshot failed".
  explicit SnapshotMapping(const std::string& path);
  ~SnapshotMapping();
  SnapshotMapping(const SnapshotMapping&) = delete;
  SnapshotMapping& operator=(const SnapshotMapping&) = delete;
  SnapshotMapping(SnapshotMapping&& other) noexcept;
  SnapshotMapping& operator=(SnapshotMapping&& other) noexcept;

  const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(address_); }
  std::size_t size() const { return length_; }

 private:
  void release() noexcept;

  int fd_ = -1;             // open read-only descriptor, -1 when none
  std::size_t length_ = 0;  // mapped bytes (the whole file)
  void* address_ = nullptr; // start of the mapping, nullptr when none
};

}  // namespace orvane
