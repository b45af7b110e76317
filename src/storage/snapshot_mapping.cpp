// SnapshotMapping: open, check, map, and release on every exit.
//
// The mapping is private and read-only; the loader copies every block it
// keeps, so nothing refers to the mapping once loading returns. The kernel is
// told that the file will be read front to back, which lets it read ahead
// while the digest is computed.
#include "storage/snapshot_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace orvane {

SnapshotMapping::SnapshotMapping(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    throw std::runtime_error("open snapshot: " + path + ": " + std::strerror(errno));
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    release();
    throw std::runtime_error("fstat snapshot failed");
  }
  if (!S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(kSnapshotHeaderSize)) {
    release();
    throw std::runtime_error("snapshot is not a regular, complete file");
  }
  length_ = static_cast<std::size_t>(st.st_size);
  void* address = ::mmap(nullptr, length_, PROT_READ, MAP_PRIVATE, fd_, 0);
  if (address == MAP_FAILED) {
    release();
    throw std::runtime_error("mmap snapshot failed");
  }
  address_ = address;
  // Advice only; a refusal changes nothing but speed.
  ::madvise(address_, length_, MADV_SEQUENTIAL);
  ::madvise(address_, length_, MADV_WILLNEED);
}

SnapshotMapping::~SnapshotMapping() { release(); }

SnapshotMapping::SnapshotMapping(SnapshotMapping&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      length_(std::exchange(other.length_, 0)),
      address_(std::exchange(other.address_, nullptr)) {}

SnapshotMapping& SnapshotMapping::operator=(SnapshotMapping&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    length_ = std::exchange(other.length_, 0);
    address_ = std::exchange(other.address_, nullptr);
  }
  return *this;
}

void SnapshotMapping::release() noexcept {
  if (address_ != nullptr) ::munmap(address_, length_);
  if (fd_ >= 0) ::close(fd_);
  address_ = nullptr;
  fd_ = -1;
  length_ = 0;
}

}  // namespace orvane
