// Atomic publication: a file or directory becomes visible under its final
// name only once it is complete and on disk, so a reader (or a process that
// starts after a crash) sees either the old entry or the whole new one.
#pragma once

#include <functional>
#include <string>

namespace orvane {

// The user-facing messages of one kind of durable file, one per step that
// can fail.
struct AtomicWriteErrors {
  std::string refused;         // the target is not something a file may replace
  std::string create;          // the temporary file cannot be created
  std::string sync;            // fsync of the temporary file failed
  std::string close;           // close of the temporary file failed
  std::string rename;          // the rename onto the target failed
  std::string directory_sync;  // the parent directory could not be synced
};

// `path` with every symbolic link, "." and ".." resolved (realpath), or ""
// when some component does not exist or cannot be read.
std::string real_path(const std::string& path);

// Where a file published at `target` lands, checked before any work is
// done: `target` itself when nothing or a regular file is there, or the
// regular file a symbolic link names (the link stays a link). Anything else
// is refused with std::runtime_error `refusal` + " " + target + ": " +
// reason, the reasons being "no path given" (then without the target),
// "is a directory" (also for a path ending in "/"), "is not a regular file"
// (a device, FIFO or socket), "is a symbolic link to a missing file", "a
// parent is not a directory", or the system's reason why the directory
// cannot take a new file (for example "Permission denied"). Missing parent
// directories are allowed: the writers create them.
std::string publish_target(const std::string& target, const std::string& refusal);

// Replaces the file at publish_target(target) atomically: creates a
// temporary file beside it (same name + ".tmp-XXXXXX", mkstemp, mode 0600),
// lets `write_content` write the whole content to the open descriptor,
// fsyncs and closes it, renames it onto the file and fsyncs the parent
// directory. Throws std::runtime_error with the matching message of `errors`
// (the create, sync, close and rename messages followed by ": " and the
// system's reason; a rename refused because the target is a mount point
// adds that it is one);
// an exception from `write_content` propagates unchanged. On every failure
// before the rename the temporary file is removed and the target is
// untouched; the parent directory must already exist.
void replace_file_atomically(const std::string& target, const AtomicWriteErrors& errors,
                             const std::function<void(int fd)>& write_content);

// Removes the temporary files that interrupted replacements of `target`
// left beside it (regular files named as above). Only a process that holds
// the target's writer lock may call this: another writer's temporary file
// would go too. Never throws; what cannot be removed stays.
void remove_stale_temporaries(const std::string& target);

// Writes all `size` bytes to `fd`, retrying short writes and EINTR. Returns
// false when the system refuses (errno tells why).
bool write_all(int fd, const void* data, std::size_t size);

// Opens `path` read-only and fsyncs it; works for files and directories.
// Returns false when either step fails.
bool sync_path(const std::string& path);

// The no-replace variant for directories: fsyncs every regular file directly
// inside `staging` and `staging` itself, renames it to `destination` with
// renameat2(RENAME_NOREPLACE) and fsyncs the destination's parent. Throws
// std::runtime_error `sync_message` when a sync before the rename fails,
// std::system_error (`publish_message` and the system's error) when the
// rename fails (for example because `destination` exists), and
// std::runtime_error `directory_sync_message` when the final sync fails.
// Leaves `staging` in place on failure; removing it is the caller's job.
void publish_directory(const std::string& staging, const std::string& destination,
                       const std::string& sync_message, const std::string& publish_message,
                       const std::string& directory_sync_message);

}  // namespace orvane
