// The snapshot file: the one durable form of an orvane::Database. One binary
// file holds the schema, every node's label, the identity/position maps, the
// compiled CSR arrays, topics, embeddings, names and property objects, and
// ends with a SHA-256 digest of everything before it. The byte layout is
// described at the top of snapshot_writer.cpp.
#pragma once

#include <string>

namespace orvane {

class Database;

// Writes `db` to `path` as a version 4 snapshot by atomic replacement
// (temporary file, fsync, rename, directory fsync), creating missing parent
// directories. Requires: the graph is compiled, else std::runtime_error
// "save requires compiled graph" before anything is touched. A path that
// names a directory, device, FIFO or socket, or a link to a missing file, is
// refused with "cannot write snapshot PATH: REASON" before anything is
// written; a link to a regular file has that file replaced. Throws on any
// failure with its message ("graph exceeds snapshot format limits",
// "snapshot write failed: REASON", "snapshot sync failed: REASON", ..., the
// reason being the system's, e.g. "No space left on device"), leaving the previous
// file at `path` untouched and no temporary file behind. The caller keeps
// `db` from being mutated during the call.
void save_snapshot(const Database& db, const std::string& path);

// Reads the snapshot at `path` (versions 2, 3 and 4) and returns the
// compiled Database it describes, with the same identities, positions,
// schema ids, names, topics, embeddings (of the width the file names, 1 to
// 65536 floats) and properties. Every header field, size, mapping, CSR
// array and embedding is checked before it is used, and the digest of a
// version 4 file before the Database is returned; a damaged version 4 file
// fails with "snapshot checksum mismatch" whichever check its damage trips
// first. A path that is not a regular file (a FIFO, a device) is refused
// without blocking, and a file that shrinks while it is read fails with
// "snapshot truncated", never a signal. Throws std::runtime_error with the
// message of the first failed check ("snapshot checksum mismatch", "invalid
// snapshot header", "invalid snapshot embedding dimension", ...), including
// "snapshot sizes exceed file length" when the arrays the header implies
// (embeddings included) would outgrow the file itself, and "text is not
// valid UTF-8" for a node name that is not. A property text that is
// malformed, or nested deeper than 1000 levels, fails with the JSON
// library's parse_error. No partially built Database escapes.
Database load_snapshot(const std::string& path);

// True when `path` names a regular file (a link is followed) that begins
// with the 8-byte snapshot magic, whatever its version or condition: a
// file a snapshot may replace without destroying something else. False
// for anything else, including a path that cannot be read; never blocks
// on a FIFO and never throws.
bool is_snapshot_file(const std::string& path);

}  // namespace orvane
