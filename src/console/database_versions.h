// DatabaseVersions: one registered database as its readers and its one
// writer see it, so that reads run beside a write instead of queueing
// behind it.
//
// Two copies of the graph take turns (the left-right scheme). Readers pin
// the published copy, a shared pointer they hold to the end of their
// request: whatever is published meanwhile, they read the version that was
// current when they started, to its end. The writer works on the other
// copy, which no reader holds, and publishes it when its unit of work
// commits by swapping two pointers. The copy it leaves behind lacks the
// units just published; before the next write it waits for that copy's
// last readers to finish and replays the units' change records into it
// (graph/change_record.h: the same records the write-ahead log keeps,
// which name entities by the ids users see, so they apply to either copy
// whatever its layout). A write costs its change twice, never a copy of
// the graph, and a reader never waits for a writer.
//
// Every change to the published graph counts a version, and the records
// since the second copy's version are kept (up to a bound of bytes), so
// that it catches up by the records after its version. Until a
// database has a second copy (the background fold makes one after its
// first write, background_fold.h), or when its copy cannot be had at once
// (a long reader still holds it), a write runs exclusively on the
// published copy, as a command's does; such a change in place comes with
// its record, which the second copy replays.
// Replacing the published copy by the same graph in another layout (a
// fold, a compaction, a new layout, a committed transaction whose record
// was counted) keeps the versions; nothing else replaces it.
//
// Thread-safety: pin(), pin_version() and published() from any thread;
// everything else by the one thread that holds the right to write the
// database (the engine lock's writer mode or its exclusive mode).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "graph/database.h"

namespace orvane {

class DatabaseVersions {
 public:
  explicit DatabaseVersions(Database db);

  // The published copy, pinned: it does not change while the pointer lives.
  std::shared_ptr<Database> pin() const;
  // The same with its version, for a copy made beside the writer.
  std::pair<std::shared_ptr<Database>, std::uint64_t> pin_version() const;
  // The published copy, not pinned: valid while no writer publishes (the
  // caller excludes writers, or is the writer and has not published yet).
  Database& published() const { return *published_; }

  // The published copy for a change in place under the engine's exclusive
  // lock: copied first when a reader still holds it, so that no pinned
  // version ever changes.
  Database& for_exclusive_change();
  // Counts a change made to the published copy (in place, or about to be
  // put in its place by replace()) by `record`; empty: nothing changed.
  void changed_in_place(const std::string& record);
  // Puts `next`, the published graph in another layout (folded,
  // compacted, renumbered) or with the changes changed_in_place counted,
  // in the published copy's place. Readers holding the old one keep it,
  // and the writer's copy stays valid. With `old_is_current` (a fold: the
  // old copy holds every change counted), the old copy becomes the
  // writer's when one is wanted: a fold makes the copy that way for free.
  void replace(Database next, bool old_is_current = false);

  // The writer's copy, holding everything published: the second copy once
  // its readers are done (waiting at most `patience`) with the records it
  // lacks replayed. Null when there is none, or it cannot be had in time
  // or caught up: the write then runs exclusively, and a copy is wanted.
  Database* writable(std::chrono::milliseconds patience = std::chrono::milliseconds(100));
  // The writer's copy as writable() last returned it, for the rest of
  // the same unit.
  Database& writer_copy() { return *copy_; }
  // The same, shared with a unit that outlives one request (a
  // transaction): publish() publishes it while it is still this copy
  // (is_writer_copy), and a unit that ends without publishing takes its
  // changes back first. Requires: writable() returned it.
  std::shared_ptr<Database> lend_writer_copy() { return copy_; }
  bool is_writer_copy(const Database* db) const { return db != nullptr && db == copy_.get(); }
  // Publishes the writer's copy, which holds the published copy's graph
  // changed by `records` (its committed units, in order), compiled first
  // when its arrays are not valid. The old published copy becomes the
  // second copy, `records` behind. Requires: writable() returned it.
  void publish(std::vector<std::string> records) noexcept;

  // Whether a (fresh) second copy should be made and adopted.
  bool copy_wanted() const { return wanted_; }
  // Takes `copy`, a copy of the published graph at `version` made beside
  // the writer, as the second copy. False, dropping it, when the records
  // after `version` are no longer kept.
  bool adopt(std::shared_ptr<Database> copy, std::uint64_t version);

  // Second copies adopted or made since construction: a figure for tests.
  std::uint64_t copies() const { return copies_; }

 private:
  mutable std::mutex mutex_;             // held while published_ and version_ are read by a pin or changed
  std::shared_ptr<Database> published_;  // what readers pin
  std::uint64_t version_ = 0;            // changes counted to published_
  std::shared_ptr<Database> copy_;       // the writer's; null until adopted
  std::uint64_t copy_version_ = 0;       // the version copy_ holds
  std::deque<std::pair<std::uint64_t, std::string>> history_;  // (version it makes, record), oldest first
  std::size_t history_bytes_ = 0;
  std::uint64_t oldest_ = 0;  // the oldest version the history catches up from
  std::atomic<bool> wanted_{false};  // read beside the writer (copies_wanted)
  std::atomic<std::uint64_t> copies_{0};  // read by tests beside the writer
};

}  // namespace orvane
