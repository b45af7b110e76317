// GraphWriterLock: an advisory flock on snapshot path + ".lock".
//
// flock locks belong to the open file description, so the kernel drops the
// lock when the last descriptor closes, also when the process dies. The
// descriptor is opened close-on-exec: a child that execs another program
// (a bridge script, the browser) must not keep the graph locked after this
// process has gone. O_NOFOLLOW keeps a planted symbolic link from turning the
// lock into a way of creating or truncating some other file.
#include "storage/writer_lock.h"

#include "storage/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <utility>

namespace orvane {

GraphWriterLock::GraphWriterLock(const std::string& snapshot_path) {
  const std::filesystem::path parent = std::filesystem::path(snapshot_path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  const std::string lock_path = snapshot_path + ".lock";
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot open graph writer lock");
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    throw std::runtime_error("graph is already open for writing by another process");
  }
  fd_ = fd;
  // Only the holder of the lock writes this target, so any temporary file
  // beside it is left over from a writer that died mid-save.
  remove_stale_temporaries(snapshot_path);
}

std::unique_ptr<GraphWriterLock> GraphWriterLock::acquire(const std::string& snapshot_path) {
  return std::make_unique<GraphWriterLock>(snapshot_path);
}

GraphWriterLock::~GraphWriterLock() {
  if (fd_ >= 0) ::close(fd_);
}

GraphWriterLock::GraphWriterLock(GraphWriterLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

GraphWriterLock& GraphWriterLock::operator=(GraphWriterLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

}  // namespace orvane
