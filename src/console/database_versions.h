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
// whatever its layout). A write costs its change twice and never a copy
// of the graph, and a reader never waits for a writer.
//
// The second copy exists from the first write that runs beside readers on:
// a database only read, or only written under the engine's exclusive lock
// (the commands, the shell), stays one copy. Changes made to the published
// copy in place under that lock keep the second copy valid when their
// record is given (changed_in_place); a change that comes without one (a
// new layout, a new graph) makes it copied afresh at the next write.
//
// Thread-safety: pin() and published() from any thread; everything else by
// the one thread that holds the right to write the database (the engine
// lock's writer mode or its exclusive mode).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graph/database.h"

namespace orvane {

class DatabaseVersions {
 public:
  explicit DatabaseVersions(Database db);

  // The published copy, pinned: it does not change while the pointer lives.
  std::shared_ptr<Database> pin() const;
  // The published copy, not pinned: valid while no writer publishes (the
  // caller excludes writers, or is the writer and has not published yet).
  Database& published() const { return *published_; }

  // The published copy for a change in place under the engine's exclusive
  // lock: copied first when a reader still holds it, so that no pinned
  // version ever changes.
  Database& for_exclusive_change();
  // Records that the published copy was changed in place by `record` (an
  // empty record: nothing that the second copy needs).
  void changed_in_place(const std::string& record);
  // Forgets the second copy: the published one changed in a way no record
  // describes (renumbered, replaced).
  void forget_copy();
  // Replaces the published copy by `next` (a new version: folded,
  // compacted, renumbered or another graph altogether). Readers holding
  // the old one keep it. The second copy is forgotten, or with
  // `copy_again` made afresh from `next` when there was one (a fold, made
  // beside the readers, then spares the next writer the copy).
  void replace(Database next, bool copy_again = false);

  // The writer's copy, holding everything published: the second copy once
  // its readers are done (waiting at most `patience`, then copying the
  // published one instead) with the records it lacks replayed, or a new
  // copy of the published one when there is none or it differs.
  Database& writable(std::chrono::milliseconds patience = std::chrono::milliseconds(200));
  // The writer's copy as writable() last returned it, for the rest of
  // the same unit.
  Database& writer_copy() { return *copy_; }
  // Publishes the writer's copy, which holds the published copy's graph
  // changed by `records` (its committed units, in order), compiled first
  // when its arrays are not valid. The old published copy becomes the
  // second copy, `records` behind. Requires: writable() was called.
  void publish(std::vector<std::string> records) noexcept;

  // Whether a second copy exists (a diagnostic for tests and benchmarks).
  bool has_copy() const { return copy_ != nullptr; }
  // Second copies made whole since construction (the rest were caught up
  // by records).
  std::uint64_t full_copies() const { return full_copies_; }

 private:
  // A fresh second copy of the published one.
  void copy_published();

  mutable std::mutex mutex_;             // held while published_ is read by pin() or swapped
  std::shared_ptr<Database> published_;  // what readers pin
  std::shared_ptr<Database> copy_;       // the writer's; null until the first write beside readers
  std::vector<std::string> behind_;      // records published_ holds and copy_ lacks, in order
  std::size_t behind_bytes_ = 0;
  std::uint64_t full_copies_ = 0;
};

}  // namespace orvane
