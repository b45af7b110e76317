// StagingDirectory: mkdtemp, a lock that lives as long as the owner, and
// the sweep of directories whose owner has died.
//
// The lock is an exclusive flock on a descriptor of the directory. The
// kernel drops it when the owner exits, however it exits, so a directory
// whose lock can be taken belongs to nobody. One window remains: between
// mkdtemp and flock a new directory is unlocked. The sweep therefore leaves
// an empty directory alone unless it is older than a minute; nothing has
// been written into a directory in that window, so sparing it loses nothing.
#include "storage/staging_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>

#include "storage/atomic_file.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kYoungSeconds = 60;

bool is_empty_directory(const std::string& path) {
  std::error_code ec;
  return fs::is_empty(path, ec) && !ec;
}

// Removes `path` when it is a staging directory nobody holds.
void remove_if_stale(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    const bool young = std::time(nullptr) - st.st_mtime < kYoungSeconds;
    if (!(young && is_empty_directory(path))) {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  }
  ::close(fd);
}

void remove_stale_staging(const std::string& parent, const std::string& prefix) {
  DIR* d = ::opendir(parent.c_str());
  if (d == nullptr) return;
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
      candidates.push_back((fs::path(parent) / name).string());
    }
  }
  ::closedir(d);
  for (const std::string& path : candidates) remove_if_stale(path);
}

}  // namespace

StagingDirectory::StagingDirectory(const std::string& parent, const std::string& prefix,
                                   const std::string& create_message) {
  remove_stale_staging(parent, prefix);
  std::string pattern = (fs::path(parent) / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error(create_message);
  path_ = pattern;
  lock_fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  // Blocking: a sweep that holds the lock for a moment lets go at once.
  if (lock_fd_ < 0 || ::flock(lock_fd_, LOCK_EX) != 0) {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (lock_fd_ >= 0) ::close(lock_fd_);
    throw std::runtime_error(create_message);
  }
}

StagingDirectory::~StagingDirectory() {
  if (!published_) {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ::close(lock_fd_);
}

void StagingDirectory::publish_as(const std::string& destination, const std::string& sync_message,
                                  const std::string& publish_message, const std::string& directory_sync_message) {
  publish_directory(path_, destination, sync_message, publish_message, directory_sync_message);
  published_ = true;
}

void StagingDirectory::publish_into(const std::string& destination, const std::vector<std::string>& names,
                                    const std::string& sync_message, const std::string& publish_message) {
  for (const std::string& name : names) {
    if (!sync_path((fs::path(path_) / name).string())) throw std::runtime_error(sync_message);
  }
  for (const std::string& name : names) {
    // A link at the name stays a link: the file it names is replaced.
    const std::string file = publish_target((fs::path(destination) / name).string(), publish_message);
    if (::rename((fs::path(path_) / name).c_str(), file.c_str()) != 0) {
      throw std::runtime_error(publish_message + ": " + std::strerror(errno));
    }
  }
  if (!sync_path(destination)) throw std::runtime_error(sync_message);
}

}  // namespace orvane
