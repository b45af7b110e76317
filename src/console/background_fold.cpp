// BackgroundFold (background_fold.h): a thread that wakes every pause,
// looks at each database's delta under the fold mode of the engine lock,
// and folds a copy of one that rested or outgrew its bound.
#include "console/background_fold.h"

#include <algorithm>
#include <memory>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "console/engine.h"
#include "graph/database.h"

namespace orvane {

void prepare_writer_copies(Engine& engine) {
  EngineLock& lock = engine.mutex();
  const std::vector<std::string> wanted = [&] {
    const std::shared_lock<EngineLock> shared(lock);
    return engine.copies_wanted();
  }();
  for (const std::string& name : wanted) {
    // Writers wait for the copy; readers go on. (A copy made holding
    // nothing would leave a writer meanwhile to copy the version it pins.)
    const WriterModeGuard writer(lock);
    if (!engine.has_database(name)) continue;
    auto [pinned, version] = engine.pin_version(name);
    auto copy = std::make_shared<Database>(*pinned);
    pinned.reset();
    engine.adopt_writer_copy(name, std::move(copy), version);
  }
}

BackgroundFold::BackgroundFold(Engine& engine, std::chrono::milliseconds pause)
    : engine_(engine), pause_(pause), thread_([this] { run(); }) {
  // A log past its bound is checkpointed here, beside the readers, rather
  // than by the commit that passed the bound, with every reader waiting.
  engine_.set_background_checkpoints(true);
}

BackgroundFold::~BackgroundFold() {
  engine_.set_background_checkpoints(false);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::uint64_t BackgroundFold::folds() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return folds_;
}

void BackgroundFold::run() {
  std::chrono::steady_clock::duration rest = pause_;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (wake_.wait_for(lock, rest, [this] { return stop_; })) return;
    }
    const std::chrono::steady_clock::duration spent = pass();
    rest = std::max<std::chrono::steady_clock::duration>(pause_, 10 * spent);
  }
}

std::chrono::steady_clock::duration BackgroundFold::pass() {
  using Clock = std::chrono::steady_clock;
  Clock::duration spent{};

  EngineLock& lock = engine_.mutex();
  for (const std::string& name : [&] {
         const std::shared_lock<EngineLock> shared(lock);
         return engine_.database_names();
       }()) {
    lock.lock_fold();
    try {
      const Database* db = engine_.peek_database(name);
      const Clock::time_point now = Clock::now();
      const bool pending = db != nullptr && (!db->graph.compiled || db->graph.has_tombstones());
      auto& [size, since] = seen_[name];
      if (!pending || db->graph.delta_size() != size) {
        size = pending ? db->graph.delta_size() : 0;
        since = now;
      }
      const bool checkpoint = db != nullptr && engine_.checkpoint_due(name);
      // A fold also gives a database that wants a writer's copy its copy
      // (the version it replaces), so it does not wait for the pause.
      const std::vector<std::string> wanted = engine_.copies_wanted();
      const bool wants_copy = std::find(wanted.begin(), wanted.end(), name) != wanted.end();
      if (pending && (now - since >= pause_ || db->graph.delta_past_bound() || checkpoint || wants_copy)) {
        // Writers wait while the copy is made and folded (and written when
        // the log calls for a checkpoint); readers go on, and those under
        // way keep the version they started with.
        const Clock::time_point started = Clock::now();
        Database copy = *db;
        copy.undo_log = nullptr;
        copy.fold();
        if (checkpoint) engine_.write_checkpoint(name, copy);
        engine_.publish_folded(name, std::move(copy));
        spent += Clock::now() - started;
        seen_.erase(name);
        const std::lock_guard<std::mutex> count(mutex_);
        ++folds_;
      } else if (checkpoint) {
        const Clock::time_point started = Clock::now();
        engine_.write_checkpoint(name, *db);  // folded already
        spent += Clock::now() - started;
      }
    } catch (...) {
      // Out of memory for the copy, most likely: the database stays as it
      // was, unfolded, and the readers merge its delta as before.
    }
    lock.unlock_fold();
  }
  // Databases that want a writer's copy and had nothing to fold.
  try {
    const Clock::time_point started = Clock::now();
    prepare_writer_copies(engine_);
    spent += Clock::now() - started;
  } catch (const std::bad_alloc&) {
    // The writes go on exclusively, and the next pass tries again.
  }
  return spent;
}

}  // namespace orvane
