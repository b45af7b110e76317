// The plan cache (plan_cache.h): an LRU list with an index by key.
#include "query/plan_cache.h"

#include "graph/database.h"
#include "query/bind/binder.h"
#include "query/procedures.h"

namespace orvane {
namespace {

// The text, then each parameter's name and type: plans may differ by the
// types of their parameters, never by their values.
std::string key_of(std::string_view text, const CypherParameters& parameters) {
  std::string key(text);
  key.push_back('\0');
  for (const auto& [name, value] : parameters) {
    key += name;
    key.push_back(':');
    key += std::to_string(static_cast<int>(value.kind()));
    key.push_back(';');
  }
  return key;
}

}  // namespace

PlanCache::PlanCache(std::size_t max_plans, std::size_t max_text_bytes)
    : max_plans_(max_plans), max_text_bytes_(max_text_bytes) {}

std::shared_ptr<const PreparedStatement> PlanCache::prepare(std::string_view text, const Database& db,
                                                            const ProcedureRegistry* procedures,
                                                            const CypherParameters& parameters) {
  const ProcedureRegistry& registry = procedures != nullptr ? *procedures : default_procedures();
  std::string key = key_of(text, parameters);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = index_.find(key);
    if (it != index_.end()) {
      const Entry& e = *it->second;
      if (e.procedures == &registry && e.procedures_version == registry.version() && e.generated == db.generated &&
          catalog_holds(e.statement->catalog, db)) {
        ++hits_;
        entries_.splice(entries_.begin(), entries_, it->second);
        return e.statement;
      }
      text_bytes_ -= e.key.size();
      entries_.erase(it->second);
      index_.erase(it);
    }
    ++misses_;
  }
  // Prepared outside the lock: readers of other statements go on.
  auto statement = std::make_shared<const PreparedStatement>(prepare_statement(text, db, &registry));
  std::lock_guard<std::mutex> lock(mutex_);
  if (index_.count(key) == 0) {
    text_bytes_ += key.size();
    entries_.push_front(Entry{std::move(key), statement, &registry, registry.version(), db.generated});
    index_.emplace(entries_.front().key, entries_.begin());
    evict();
  }
  return statement;
}

void PlanCache::evict() {
  while (!entries_.empty() && (entries_.size() > max_plans_ || text_bytes_ > max_text_bytes_)) {
    text_bytes_ -= entries_.back().key.size();
    index_.erase(entries_.back().key);
    entries_.pop_back();
  }
}

void PlanCache::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  index_.clear();
  entries_.clear();
  text_bytes_ = 0;
}

std::uint64_t PlanCache::hits() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hits_;
}

std::uint64_t PlanCache::misses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return misses_;
}

std::size_t PlanCache::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace orvane
