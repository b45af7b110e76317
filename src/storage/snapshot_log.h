// A snapshot and the write-ahead log beside it, as one durable state.
//
// The log at log_path_of(S) holds the change records (graph/change_record.h)
// committed since snapshot S was written, and names S by the digest S ends
// with, so a log never replays onto a snapshot it was not written after.
// A checkpoint writes a new snapshot and ends the old log:
//   1. the log is renamed to retired_log_path_of(S) (a crash here leaves
//      the old snapshot with its records under the retired name, which
//      still names it and so is replayed),
//   2. the new snapshot replaces S atomically (from here the retired log
//      names another snapshot and is ignored: its records are in S),
//   3. the retired log is removed.
// A new log is created beside S at the next commit.
// A snapshot copied without its log loads as of its last checkpoint.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "storage/snapshot_digest.h"

namespace orvane {

class Database;
class WriteAheadLog;

// The digest the version 4 snapshot at `path` ends with (all zero for an
// older version, which no log can name). Throws "snapshot truncated" or
// the system's reason when it cannot be read.
Sha256Digest stored_snapshot_digest(const std::string& path);

// Applies to `db`, just loaded from the snapshot at `path` with digest
// `digest`, the records of the log beside it, or when there is none of the
// retired log, that name it, changing no file: a torn tail is left for the
// writer to cut. A retired log that names another snapshot is ignored. Throws
// read_log's messages (a log beside it that names another snapshot: "...
// belongs to another snapshot"; "... is corrupt at offset N") and
// apply_change_record's, prefixed by the log's path.
void replay_logs_beside(Database& db, const std::string& path, const Sha256Digest& digest);

// Whether a log or a retired log lies beside the snapshot at `path`.
bool has_log_beside(const std::string& path);

// The log to append to beside the snapshot at `path` (which must exist):
// the one there when it names the snapshot (its torn tail cut), else a
// new one. Throws the log's and the snapshot's messages.
std::unique_ptr<WriteAheadLog> open_log_beside(const std::string& path);

// Steps 1 and 3 of a checkpoint around `write_snapshot` (step 2). When
// `write_snapshot` throws, the log is put back and the exception goes on.
void checkpoint_with(const std::string& path, const std::function<void()>& write_snapshot);

}  // namespace orvane
