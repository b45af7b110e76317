// A private directory in which files are built before they are published.
//
// A process that is killed while it builds leaves its staging directory
// behind; without a way to tell a live one from a dead one, every
// interrupted export would leak its files for good. Each staging directory
// is therefore locked (flock on the directory itself) for as long as its
// owner lives, and the next writer that stages beside it removes every one
// that nobody holds.
#pragma once

#include <string>
#include <vector>

namespace orvane {

class StagingDirectory {
 public:
  // Removes the stale staging directories named `prefix` + six characters
  // in `parent` (see the note above), then creates a new one there with
  // mkdtemp (mode 0700) and locks it. `parent` must exist. Throws
  // std::runtime_error `create_message` when the directory cannot be made.
  StagingDirectory(const std::string& parent, const std::string& prefix, const std::string& create_message);
  // Removes the directory and everything in it unless it was published.
  ~StagingDirectory();
  StagingDirectory(const StagingDirectory&) = delete;
  StagingDirectory& operator=(const StagingDirectory&) = delete;

  const std::string& path() const { return path_; }

  // Publishes the whole directory as `destination`, which must not exist
  // (publish_directory in atomic_file.h, with its messages).
  void publish_as(const std::string& destination, const std::string& sync_message,
                  const std::string& publish_message, const std::string& directory_sync_message);

  // Moves each of `names` from this directory into the existing directory
  // `destination`, each by one atomic rename over whatever regular file has
  // that name there, after syncing them all; then syncs `destination`.
  // Until the first rename `destination` is untouched; a crash between two
  // renames leaves each file whole, old or new. Throws std::runtime_error
  // `sync_message` or `publish_message` (with the system's reason).
  void publish_into(const std::string& destination, const std::vector<std::string>& names,
                    const std::string& sync_message, const std::string& publish_message);

 private:
  std::string path_;
  int lock_fd_ = -1;
  bool published_ = false;
};

}  // namespace orvane
