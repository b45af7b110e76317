// Atomic publication of files and directories.
//
// A file is replaced in five steps: create a private temporary file beside
// the target, write it, fsync it, rename it over the target, fsync the
// directory. Until the rename the target is untouched; after it the target
// holds the whole new content, and the directory sync makes the rename itself
// survive a power loss. Every failure before the rename removes the temporary
// file, so only a crash can leave one behind (target + ".tmp-" + six
// characters, never read by anyone).
//
// Directories are published the same way with renameat2(RENAME_NOREPLACE),
// which refuses to replace anything: an export never lands on an existing
// entry, and of two racing publishers exactly one wins.
#include "storage/atomic_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace orvane {
namespace {

std::string parent_of(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

std::string with_reason(const std::string& message) { return message + ": " + std::strerror(errno); }

// The refusal of publish_target.
[[noreturn]] void refuse(const std::string& refusal, const std::string& target, const std::string& reason) {
  throw std::runtime_error(refusal + " " + target + ": " + reason);
}

// True when a new entry can be made in the directory `dir`, or in its
// nearest existing ancestor when `dir` does not exist yet (the writers
// create missing parents). Sets `reason` otherwise.
bool directory_takes_new_file(std::string dir, std::string& reason) {
  for (;;) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        reason = "a parent is not a directory";
        return false;
      }
      if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        reason = std::strerror(errno);
        return false;
      }
      return true;
    }
    if (errno != ENOENT) {
      reason = errno == ENOTDIR ? "a parent is not a directory" : std::strerror(errno);
      return false;
    }
    const std::string up = parent_of(dir);
    if (up == dir) return true;
    dir = up;
  }
}

// Closes the temporary descriptor and removes the temporary file unless the
// rename has consumed it; runs on every exit from replace_file_atomically.
class TemporaryFile {
 public:
  TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!published_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Linux closes the descriptor even when close reports an error, so it is
  // never closed twice.
  bool close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }
  void mark_published() { published_ = true; }

 private:
  int fd_;
  std::string path_;
  bool published_ = false;
};

}  // namespace

bool write_all(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    // Large blocks go in pieces of at most 1 GiB: a single write of more
    // than 0x7ffff000 bytes is cut short by the kernel anyway.
    const std::size_t chunk = size < (1u << 30) ? size : (1u << 30);
    const ssize_t w = ::write(fd, p, chunk);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) {
      errno = EIO;
      return false;
    }
    p += w;
    size -= static_cast<std::size_t>(w);
  }
  return true;
}

bool sync_path(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

std::string real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string out = resolved;
  std::free(resolved);
  return out;
}

std::string publish_target(const std::string& target, const std::string& refusal) {
  if (target.empty()) throw std::runtime_error(refusal + ": no path given");
  if (target.back() == '/') refuse(refusal, target, "is a directory");
  std::string file = target;
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // A link is followed to the file it names, which is replaced in place.
    file = real_path(target);
    if (file.empty()) {
      refuse(refusal, target, errno == ENOENT ? "is a symbolic link to a missing file" : std::strerror(errno));
    }
  }
  if (::lstat(file.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) refuse(refusal, target, "is a directory");
    if (!S_ISREG(st.st_mode)) refuse(refusal, target, "is not a regular file");
  } else if (errno != ENOENT) {
    refuse(refusal, target, errno == ENOTDIR ? "a parent is not a directory" : std::strerror(errno));
  }
  std::string reason;
  if (!directory_takes_new_file(parent_of(file), reason)) refuse(refusal, target, reason);
  return file;
}

void replace_file_atomically(const std::string& target, const AtomicWriteErrors& errors,
                             const std::function<void(int fd)>& write_content) {
  const std::string file = publish_target(target, errors.refused);
  std::string name = file + ".tmp-XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(with_reason(errors.create));
  TemporaryFile temp(fd, std::move(name));
  write_content(temp.fd());
  if (::fsync(temp.fd()) != 0) throw std::runtime_error(with_reason(errors.sync));
  if (!temp.close()) throw std::runtime_error(with_reason(errors.close));
  // Checked again just before the rename, which would replace a device or
  // FIFO made at the path meanwhile as readily as a file.
  struct stat st {};
  if (::lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) refuse(errors.refused, target, "is not a regular file");
  if (::rename(temp.path().c_str(), file.c_str()) != 0) {
    // A file that is itself a mount point (a bind-mounted file) cannot be
    // renamed over; the system's "Device or resource busy" alone does not
    // tell a user that.
    if (errno == EBUSY) {
      throw std::runtime_error(with_reason(errors.rename) + " (" + target +
                               " is a mount point, which cannot be replaced; mount its folder instead)");
    }
    throw std::runtime_error(with_reason(errors.rename));
  }
  temp.mark_published();
  if (!sync_path(parent_of(file))) throw std::runtime_error(errors.directory_sync);
}

void remove_stale_temporaries(const std::string& target) {
  std::string file;
  try {
    file = publish_target(target, "");
  } catch (const std::exception&) {
    return;  // nothing can have been published there
  }
  const std::string dir = parent_of(file);
  const std::string prefix = std::filesystem::path(file).filename().string() + ".tmp-";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = dir + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
  }
  ::closedir(d);
}

void publish_directory(const std::string& staging, const std::string& destination,
                       const std::string& sync_message, const std::string& publish_message,
                       const std::string& directory_sync_message) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(staging, ec)) {
    if (entry.is_regular_file(ec) && !sync_path(entry.path().string())) {
      throw std::runtime_error(sync_message);
    }
  }
  if (ec || !sync_path(staging)) throw std::runtime_error(sync_message);
  if (::syscall(SYS_renameat2, AT_FDCWD, staging.c_str(), AT_FDCWD, destination.c_str(),
                RENAME_NOREPLACE) != 0) {
    throw std::system_error(errno, std::generic_category(), publish_message);
  }
  if (!sync_path(parent_of(destination))) throw std::runtime_error(directory_sync_message);
}

}  // namespace orvane
