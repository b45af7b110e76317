// The write-ahead log file: every change made since a snapshot was saved,
// appended as one record each, so that a restart replays them onto that
// snapshot. The log names the snapshot it extends by its SHA-256 digest and
// is replaced by an empty one whenever a checkpoint saves a new snapshot.
//
// Byte layout (all integers little-endian):
//
//   Header, 48 bytes:
//     0  magic "ORVWAL01"                           8 bytes
//     8  format version, u32 = 1                    4 bytes
//    12  SHA-256 digest of the snapshot            32 bytes
//    44  CRC-32C of bytes 0..43, u32                4 bytes
//
//   Record, 13 + N bytes, repeated to the end of the data; the writer
//   extends the file with zeros ahead of its records (a sync that only
//   overwrites need not record a new size), so the data ends at the
//   file's last byte that is not zero:
//     0  payload length N, u32 (at most 1 GiB)      4 bytes
//     4  CRC-32C of the payload, u32                4 bytes
//     8  CRC-32C of bytes 0..7 of this record, u32  4 bytes
//    12  payload                                    N bytes
//  12+N  end mark 0xA5                              1 byte
//
// The record header carries its own checksum so that a damaged length is
// recognised as damage and never makes the reader skip over, or cut away,
// good records. Records are appended in order and only acknowledged once
// synced, so after a crash only the last record can be incomplete: a "torn
// tail". Reading classifies each record start as:
//   - fewer than 12 bytes left, or a record header that fails its checksum
//     with only zero bytes from there to the end (a file extended by the
//     filesystem whose data never arrived): torn tail;
//   - a record header that fails its checksum but is still recognisably the
//     last record's (its length field reaches exactly the end of the file,
//     or its payload checksum matches all the bytes after it): torn tail;
//   - a record header that fails its checksum otherwise: corrupt;
//   - a good header whose payload runs past the end of the file: torn tail;
//   - a payload that fails its checksum, or a missing end mark: torn tail
//     when only zero bytes (or none) follow the record, else corrupt.
// Damage confined to the last record cannot be told apart from a write the
// crash interrupted, so it is dropped like one; damage anywhere else means
// acknowledged data is lost, and reading stops with an error instead of
// silently dropping what follows.
//
// Sequence numbers (1, 2, ... per open log) are counted in memory only; they
// let a caller wait for its own record to become durable.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/snapshot_digest.h"

namespace orvane {

// The log beside the snapshot at `snapshot_path`: snapshot_path + "-wal".
std::string log_path_of(const std::string& snapshot_path);

// Where a log is moved while a checkpoint replaces its snapshot:
// snapshot_path + "-wal.old".
std::string retired_log_path_of(const std::string& snapshot_path);

struct LogContents {
  std::vector<std::string> records;  // payloads, oldest first
  std::uint64_t whole_bytes = 0;     // file offset just past the last whole record (header included)
  std::uint64_t file_bytes = 0;      // the end of the data: the file's size less its tail of zeros
  bool torn() const { return file_bytes != whole_bytes; }
};

// Reads the log at `path` written for the snapshot whose digest is
// `snapshot`, changing nothing. std::nullopt when there is no file at
// `path`. A torn tail is left out of `records` and reported by torn().
// Throws std::runtime_error:
//   "write-ahead log PATH is not a write-ahead log" (shorter than the header,
//     wrong magic or version, or a header checksum that does not match),
//   "write-ahead log PATH belongs to another snapshot" (the digest differs),
//   "write-ahead log PATH is corrupt at offset N" (a damaged record that is
//     not the tail; N is the offset where that record starts),
//   "write-ahead log PATH: " + the system's reason when opening or reading fails.
std::optional<LogContents> read_log(const std::string& path, const Sha256Digest& snapshot);

// One log open for appending. Owned by the single writer of its snapshot
// (which holds the snapshot's writer lock); append and sync may be called
// from many threads at once.
class WriteAheadLog {
 public:
  // Publishes a new log at `path` holding only the header for `snapshot`,
  // atomically (temporary file, fsync, rename over any old file, fsync of the
  // directory; the directory must exist), and opens it to append. Throws
  // std::runtime_error "cannot create write-ahead log PATH: " + reason when
  // the path cannot take a file or the file cannot be written or opened, and
  // "write-ahead log PATH could not be made durable" (+ ": " + reason when the
  // file's own fsync failed) when a sync fails.
  static std::unique_ptr<WriteAheadLog> create(const std::string& path, const Sha256Digest& snapshot);

  // Opens the existing log at `path` to append and fills `records` with its
  // whole records. Cuts a torn tail (truncates the file to whole_bytes), then
  // fdatasyncs, so what is replayed is on disk before anyone relies on it.
  // Throws read_log's errors ("write-ahead log PATH: No such file or
  // directory" when it is missing), "write-ahead log PATH: " + reason when the
  // tail cannot be cut and "write-ahead log PATH could not be made durable: "
  // + reason when the sync fails.
  static std::unique_ptr<WriteAheadLog> open(const std::string& path, const Sha256Digest& snapshot,
                                             std::vector<std::string>& records);

  // Closes the file without syncing; never throws.
  ~WriteAheadLog();
  WriteAheadLog(const WriteAheadLog&) = delete;
  WriteAheadLog& operator=(const WriteAheadLog&) = delete;

  // Appends one record without syncing and returns its sequence number (1,
  // 2, ... since create or open). Throws std::runtime_error "write-ahead log
  // record too large" for a payload over 1 GiB, "write-ahead log PATH: " +
  // reason when the write fails (for example "No space left on device" or
  // "File too large") after cutting the file back to where the record
  // started, so the log stays usable. Once a sync has failed it throws that
  // failure's message (see sync); should the cut itself fail, the write's
  // message is thrown by this and every later append and sync.
  std::uint64_t append(std::string_view payload);

  // Returns once every record up to `sequence` (a number append returned) is
  // durable. Concurrent callers share fdatasync calls: one sync covers every
  // record appended before it started, and callers arriving while it runs
  // wait for it and then share one more. Returns at once while set_sync(false)
  // is in effect. When fdatasync fails the log is broken: this call and every
  // later append or sync throws std::runtime_error "write-ahead log PATH could
  // not be made durable: " + reason, and records written since the last good
  // sync may or may not be on disk.
  void sync(std::uint64_t sequence);

  // Whether sync waits for the disk (the default, true).
  void set_sync(bool durable);

  // The end of the last record in bytes (the file may be longer: zeros).
  std::uint64_t bytes() const;

  // The fdatasync calls sync() has made so far (tests and benchmarks read it).
  std::uint64_t syncs() const;

  const std::string& path() const;

 private:
  WriteAheadLog(std::string path, int fd, std::uint64_t bytes);
  // Extends the file with zeros to at least `end`. Throws as append().
  void extend(std::uint64_t end);

  const std::string path_;
  const int fd_;
  std::mutex write_mutex_;         // serialises write(2) and the cut after a failed one
  std::atomic<std::uint64_t> bytes_;  // the end of the last record
  std::uint64_t allocated_;           // the file's size: zeros from bytes_ on; under write_mutex_
  std::mutex state_mutex_;         // guards the fields below; never held across a system call
  std::condition_variable synced_changed_;
  std::uint64_t appended_ = 0;     // last sequence written
  std::uint64_t synced_ = 0;       // last sequence known durable
  bool syncing_ = false;           // an fdatasync is in flight
  bool durable_ = true;
  std::string broken_;             // the error every call throws once non-empty
  std::atomic<std::uint64_t> syncs_{0};
};

}  // namespace orvane
