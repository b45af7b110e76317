// A snapshot and its write-ahead log (snapshot_log.h): recovery's replay,
// the log a writer appends to, and the checkpoint's retirement of a log.
#include "storage/snapshot_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "graph/change_record.h"
#include "graph/database.h"
#include "storage/snapshot_format.h"
#include "storage/write_ahead_log.h"

namespace orvane {

namespace {

namespace fmt = snapshot_format;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

void sync_directory_of(const std::string& path) {
  std::string dir = std::filesystem::path(path).parent_path().string();
  if (dir.empty()) dir = ".";
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void replay(Database& db, const std::string& log, const LogContents& contents) {
  for (const std::string& record : contents.records) {
    try {
      apply_change_record(db, record);
    } catch (const std::exception& e) {
      throw std::runtime_error("write-ahead log " + log + ": " + e.what());
    }
  }
}

}  // namespace

Sha256Digest stored_snapshot_digest(const std::string& path) {
  Sha256Digest digest{};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot read snapshot " + path + ": " + std::strerror(errno));
  char head[sizeof fmt::kMagic + 4];
  const off_t size = ::lseek(fd, 0, SEEK_END);
  const bool whole = ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head);
  std::uint32_t version = 0;
  if (whole) std::memcpy(&version, head + sizeof fmt::kMagic, 4);  // little-endian, as written
  if (whole && version >= 4) {
    if (size < static_cast<off_t>(sizeof head + fmt::kDigestSize) ||
        ::pread(fd, digest.data(), digest.size(), size - static_cast<off_t>(fmt::kDigestSize)) !=
            static_cast<ssize_t>(digest.size())) {
      ::close(fd);
      throw std::runtime_error("snapshot truncated");
    }
  }
  ::close(fd);
  return digest;
}

void replay_logs_beside(Database& db, const std::string& path, const Sha256Digest& digest) {
  const std::string retired = retired_log_path_of(path), log = log_path_of(path);
  // The log first: a checkpoint that starts meanwhile renames it to the
  // retired name, where it is looked for next. Both never name the same
  // snapshot.
  if (const std::optional<LogContents> contents = read_log(log, digest)) {
    replay(db, log, *contents);
    return;
  }
  std::optional<LogContents> contents;
  try {
    contents = read_log(retired, digest);
  } catch (const std::exception&) {
    // A retired log that does not name this snapshot was folded into it.
  }
  if (contents) replay(db, retired, *contents);
}

bool has_log_beside(const std::string& path) {
  return exists(log_path_of(path)) || exists(retired_log_path_of(path));
}

std::unique_ptr<WriteAheadLog> open_log_beside(const std::string& path) {
  const Sha256Digest digest = stored_snapshot_digest(path);
  const std::string log = log_path_of(path);
  if (exists(log)) {
    std::vector<std::string> records;
    return WriteAheadLog::open(log, digest, records);
  }
  return WriteAheadLog::create(log, digest);
}

void checkpoint_with(const std::string& path, const std::function<void()>& write_snapshot) {
  const std::string log = log_path_of(path), retired = retired_log_path_of(path);
  // A retired log left by a checkpoint that crashed after its snapshot
  // landed names another snapshot; one that names this snapshot holds
  // records it lacks, and must not be overwritten before the new one lands.
  bool keep_retired = false;
  if (exists(retired)) {
    try {
      keep_retired = read_log(retired, stored_snapshot_digest(path)).has_value();
    } catch (const std::exception&) {
    }
    if (!keep_retired) ::unlink(retired.c_str());
  }
  const bool moved = !keep_retired && exists(log) && ::rename(log.c_str(), retired.c_str()) == 0;
  if (moved) sync_directory_of(path);
  try {
    write_snapshot();
  } catch (...) {
    if (moved) ::rename(retired.c_str(), log.c_str());
    throw;
  }
  // Every record of both is in the snapshot now.
  ::unlink(retired.c_str());
  ::unlink(log.c_str());
  sync_directory_of(path);
}

}  // namespace orvane
