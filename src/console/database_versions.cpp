// DatabaseVersions (database_versions.h): two copies of a graph, one
// pinned by readers, one written, swapped at each publish.
#include "console/database_versions.h"

#include <atomic>
#include <thread>
#include <utility>

#include "graph/change_record.h"

namespace orvane {
namespace {

// Past this many bytes of records behind, a second copy is dropped rather
// than replayed: a long run of writes under the exclusive lock (a shell
// session, an import of statements) would otherwise keep their records.
constexpr std::size_t kMaxBehindBytes = std::size_t{64} << 20;

// The sizes two copies holding the same graph share, whatever their
// layout: names, entities and property keys in the order they were made.
bool same_sizes(const Database& a, const Database& b) {
  return a.node_types.size() == b.node_types.size() && a.rel_types.size() == b.rel_types.size() &&
         a.graph.node_count == b.graph.node_count && a.graph.edges.size() == b.graph.edges.size() &&
         a.node_store.key_count() == b.node_store.key_count() && a.rel_store.key_count() == b.rel_store.key_count() &&
         a.people == b.people && a.papers == b.papers && a.stored_id_nodes == b.stored_id_nodes;
}

}  // namespace

DatabaseVersions::DatabaseVersions(Database db) : published_(std::make_shared<Database>(std::move(db))) {}

std::shared_ptr<Database> DatabaseVersions::pin() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return published_;
}

Database& DatabaseVersions::for_exclusive_change() {
  if (published_.use_count() > 1) {
    auto fresh = std::make_shared<Database>(*published_);
    const std::lock_guard<std::mutex> lock(mutex_);
    published_ = std::move(fresh);
  }
  return *published_;
}

void DatabaseVersions::changed_in_place(const std::string& record) {
  if (!copy_ || record.empty()) return;
  behind_bytes_ += record.size();
  if (behind_bytes_ > kMaxBehindBytes) {
    forget_copy();
    return;
  }
  behind_.push_back(record);
}

void DatabaseVersions::forget_copy() {
  copy_.reset();
  behind_.clear();
  behind_bytes_ = 0;
}

void DatabaseVersions::replace(Database next, bool copy_again) {
  auto fresh = std::make_shared<Database>(std::move(next));
  const bool had_copy = copy_ != nullptr;
  forget_copy();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    published_.swap(fresh);
  }
  fresh.reset();  // the old version, freed unless a reader still holds it
  if (had_copy && copy_again) copy_published();
}

void DatabaseVersions::copy_published() {
  behind_.clear();
  behind_bytes_ = 0;
  copy_ = std::make_shared<Database>(*published_);
  copy_->undo_log = nullptr;
  ++full_copies_;
}

Database& DatabaseVersions::writable(std::chrono::milliseconds patience) {
  if (!copy_) {
    copy_published();
    return *copy_;
  }
  // The readers of the copy pinned it when it was published; none can pin
  // it now, so once the count falls to one it stays there.
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (int spin = 0; copy_.use_count() > 1; ++spin) {
    if (std::chrono::steady_clock::now() >= deadline) {
      // A long reader holds it: it keeps that version, and the writer
      // takes a fresh copy rather than wait.
      copy_published();
      return *copy_;
    }
    if (spin < 64) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  }
  // The last reader's release of its pin happens before what follows.
  std::atomic_thread_fence(std::memory_order_acquire);
  try {
    for (const std::string& record : behind_) apply_change_record(*copy_, record);
  } catch (const std::exception&) {
    copy_published();
    return *copy_;
  }
  behind_.clear();
  behind_bytes_ = 0;
  if (!same_sizes(*copy_, *published_)) copy_published();
  copy_->undo_log = nullptr;
  return *copy_;
}

void DatabaseVersions::publish(std::vector<std::string> records) noexcept {
  try {
    if (!copy_->graph.csr_valid) copy_->compile();
  } catch (const std::exception&) {
    // Out of memory: published as it is; a reader that finds its arrays
    // not valid compiles a copy of its own.
  }
  copy_->undo_log = nullptr;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    published_.swap(copy_);
  }
  behind_ = std::move(records);
  behind_bytes_ = 0;
  for (const std::string& record : behind_) behind_bytes_ += record.size();
}

}  // namespace orvane
