// BackgroundFold: folds the writes a server's databases hold in their
// deltas into new compiled arrays on a thread of its own, so that reads
// after a burst of writes soon run at the speed of a freshly compiled graph
// (the counting methods answer again, scans no longer merge) without a
// writer or a reader paying for the fold.
//
// A fold copies the database and folds the copy while holding the engine
// lock in its writer mode (readers go on; writers wait, so the copy stays
// the database), then publishes the copy as a new version, which moves
// pointers: readers under way finish on the version they started with
// (console/database_versions.h). A database is folded once it has held an unfolded
// delta for a pause without a write, or at once past its bound; after a
// fold that took T, the next waits at least ten times T, so folding takes
// at most a tenth of a core however fast writes come.
//
// It also makes the writer's copies of the databases that want one
// (console/database_versions.h: after their first write, which ran
// exclusively), in the lock's writer mode: readers go on, writers wait
// for the copy once.
//
// It also writes the checkpoints of databases whose write-ahead log has
// passed its bound: the folded copy (or the database, already folded) is
// written as the new snapshot while the writer mode holds, so readers go
// on and the snapshot holds exactly what the retired log did.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace orvane {

class Engine;

// Makes the writer's copy of every database of `engine` that wants one
// (Engine::copies_wanted), taking the engine lock itself in its writer
// mode for each. Call it holding no lock. Throws std::bad_alloc.
void prepare_writer_copies(Engine& engine);

class BackgroundFold {
 public:
  // Starts the thread; `pause` is how long a delta rests before it is
  // folded. `engine` must outlive this object.
  explicit BackgroundFold(Engine& engine, std::chrono::milliseconds pause = std::chrono::milliseconds(200));
  // Stops and joins the thread (a fold under way finishes first).
  ~BackgroundFold();
  BackgroundFold(const BackgroundFold&) = delete;
  BackgroundFold& operator=(const BackgroundFold&) = delete;

  // Folds done so far.
  std::uint64_t folds() const;

 private:
  void run();
  // One pass over the databases; the time of the folds it made.
  std::chrono::steady_clock::duration pass();

  Engine& engine_;
  const std::chrono::milliseconds pause_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::uint64_t folds_ = 0;
  // Per database: the delta size last seen, and since when it has not grown.
  std::unordered_map<std::string, std::pair<std::uint64_t, std::chrono::steady_clock::time_point>> seen_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace orvane
