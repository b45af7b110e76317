// GraphWriterLock: at most one process writes a given snapshot file. Every
// command that will save to a snapshot path takes this lock first and keeps
// it until it exits; a second writer fails at once instead of waiting.
// Readers that only load a snapshot take no lock.
#pragma once

#include <memory>
#include <string>

namespace orvane {

// The file a save to `snapshot_path` replaces, as an absolute path with
// every symbolic link resolved: the path itself resolved when it exists,
// else its resolved folder joined with its name (the path made absolute
// when even the folder is missing). Never throws for a missing file.
std::string resolved_snapshot_path(const std::string& snapshot_path);

class GraphWriterLock {
 public:
  // Takes the lock on resolved_snapshot_path(snapshot_path) + ".lock":
  // creates missing parent directories (filesystem errors propagate),
  // refuses a regular file with more than one hard link ("cannot open PATH
  // for writing: the file has N hard links, ..."), opens or creates the lock
  // file with mode 0600 without following a symbolic link, close-on-exec, and
  // requests an exclusive non-blocking flock. Throws std::runtime_error
  // "cannot open graph writer lock" when the file cannot be opened and "graph
  // is already open for writing by another process" when another holder
  // exists; nothing stays open after a failure. Once held, removes the
  // temporary files that interrupted saves of the resolved file left behind.
  explicit GraphWriterLock(const std::string& snapshot_path);

  // The same, returning the lock in an owning heap pointer.
  static std::unique_ptr<GraphWriterLock> acquire(const std::string& snapshot_path);

  // Closing the descriptor releases the lock; the lock file stays in place.
  ~GraphWriterLock();
  GraphWriterLock(const GraphWriterLock&) = delete;
  GraphWriterLock& operator=(const GraphWriterLock&) = delete;
  GraphWriterLock(GraphWriterLock&& other) noexcept;
  GraphWriterLock& operator=(GraphWriterLock&& other) noexcept;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;  // descriptor of the open lock file; -1 when nothing is held
};

}  // namespace orvane
