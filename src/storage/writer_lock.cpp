// GraphWriterLock: an advisory flock on snapshot path + ".lock".
//
// flock locks belong to the open file description, so the kernel drops the
// lock when the last descriptor closes, also when the process dies. The
// descriptor is opened close-on-exec: a child that execs another program
// (a bridge script, the browser) must not keep the graph locked after this
// process has gone. O_NOFOLLOW keeps a planted symbolic link from turning the
// lock into a way of creating or truncating some other file.
//
// The lock belongs to the file, not to the name it was opened by: the path
// is resolved first (symbolic links followed, as the save follows them), so
// a snapshot opened through a link and through its real name gets one lock.
// A bind mount of the folder reaches the same lock file through another
// name, and flock sees one inode. A hard link cannot be resolved to one
// name, and an atomic save would replace only the name it was given,
// silently splitting the two: such a file is refused.
#include "storage/writer_lock.h"

#include "storage/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <utility>

namespace orvane {

std::string resolved_snapshot_path(const std::string& snapshot_path) {
  std::string file = real_path(snapshot_path);
  if (!file.empty()) return file;
  // Not there yet (or a link to a missing file): the folder is resolved and
  // the name kept, which is where the first save will put the file.
  const std::filesystem::path path(snapshot_path);
  const std::string parent = path.has_parent_path() ? path.parent_path().string() : std::string(".");
  std::string folder = real_path(parent);
  if (folder.empty()) return std::filesystem::absolute(path).lexically_normal().string();
  return (std::filesystem::path(folder) / path.filename()).string();
}

GraphWriterLock::GraphWriterLock(const std::string& snapshot_path) {
  const std::filesystem::path parent = std::filesystem::path(snapshot_path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  const std::string file = resolved_snapshot_path(snapshot_path);
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1) {
    throw std::runtime_error("cannot open " + snapshot_path + " for writing: the file has " +
                             std::to_string(st.st_nlink) +
                             " hard links, and a save replaces only one of them; copy it to a file of its own");
  }
  const std::string lock_path = file + ".lock";
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot open graph writer lock");
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    throw std::runtime_error("graph is already open for writing by another process");
  }
  fd_ = fd;
  // Only the holder of the lock writes this target, so any temporary file
  // beside it is left over from a writer that died mid-save.
  remove_stale_temporaries(file);
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
