// DatabaseVersions (database_versions.h): two copies of a graph, one
// pinned by readers, one written, swapped at each publish; the records of
// the latest versions catch a copy up.
#include "console/database_versions.h"

#include <atomic>
#include <thread>

#include "graph/change_record.h"

namespace orvane {
namespace {

// The records kept to catch copies up. A copy older than they reach is
// dropped and made again beside the writer.
constexpr std::size_t kMaxHistoryBytes = std::size_t{64} << 20;

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

std::pair<std::shared_ptr<Database>, std::uint64_t> DatabaseVersions::pin_version() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return {published_, version_};
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
  if (record.empty()) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  ++version_;
  if (!copy_ && !wanted_) {
    // No copy to catch up, none being made (a command's graph): the next
    // copy starts from this version.
    history_.clear();
    history_bytes_ = 0;
    oldest_ = version_;
    return;
  }
  history_.emplace_back(version_, record);
  history_bytes_ += record.size();
  while (history_bytes_ > kMaxHistoryBytes) {
    history_bytes_ -= history_.front().second.size();
    oldest_ = history_.front().first;
    history_.pop_front();
  }
}

void DatabaseVersions::replace(Database next, bool old_is_current) {
  auto fresh = std::make_shared<Database>(std::move(next));
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    published_.swap(fresh);
  }
  if (old_is_current && wanted_ && !copy_) {
    copy_ = std::move(fresh);
    copy_version_ = version_;
    wanted_ = false;
    ++copies_;
  }
  fresh.reset();  // the old version, freed unless a reader still holds it
}

Database* DatabaseVersions::writable(std::chrono::milliseconds patience) {
  const auto drop = [this] {
    copy_.reset();
    wanted_ = true;
    return nullptr;
  };
  if (!copy_) return drop();
  // The readers of the copy pinned it when it was published; none can pin
  // it now, so once the count falls to one it stays there.
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (int spin = 0; copy_.use_count() > 1; ++spin) {
    // A long reader holds it: it keeps that version, and a new copy is
    // made beside the writer.
    if (std::chrono::steady_clock::now() >= deadline) return drop();
    if (spin < 64) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  }
  // The last reader's release of its pin happens before what follows.
  std::atomic_thread_fence(std::memory_order_acquire);
  if (copy_version_ < oldest_) return drop();
  try {
    for (const auto& [version, record] : history_) {
      if (version > copy_version_) apply_change_record(*copy_, record);
    }
  } catch (const std::exception&) {
    return drop();
  }
  copy_version_ = version_;
  // No copy is ever older than this one again: what it replayed goes.
  history_.clear();
  history_bytes_ = 0;
  oldest_ = version_;
  // Units that failed leave the property keys they interned: a copy that
  // holds other keys than the published one is made again.
  if (!same_sizes(*copy_, *published_)) return drop();
  copy_->undo_log = nullptr;
  return copy_.get();
}

void DatabaseVersions::publish(std::vector<std::string> records) noexcept {
  try {
    if (!copy_->graph.csr_valid) copy_->compile();
  } catch (const std::exception&) {
    // Out of memory: published as it is; a reader that finds its arrays
    // not valid compiles a copy of its own.
  }
  copy_->undo_log = nullptr;
  const std::uint64_t before = version_;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    published_.swap(copy_);
  }
  copy_version_ = before;
  for (std::string& record : records) {
    try {
      changed_in_place(record);
    } catch (const std::exception&) {
      // Out of memory for the history: the copy left behind cannot catch
      // up and is made again.
      copy_.reset();
      wanted_ = true;
    }
  }
}

bool DatabaseVersions::adopt(std::shared_ptr<Database> copy, std::uint64_t version) {
  if (version < oldest_) return false;
  copy->undo_log = nullptr;
  copy_ = std::move(copy);
  copy_version_ = version;
  wanted_ = false;
  ++copies_;
  return true;
}

}  // namespace orvane
