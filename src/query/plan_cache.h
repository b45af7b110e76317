// The plan cache: statements prepared once and run many times. A point
// start or a label count runs in microseconds, so parsing, binding and
// planning it again on every request would cost more than running it.
//
// A plan is kept by its statement text and the types of the parameters it
// was given, with what it was bound against: the procedures' version and
// every label, type and property key name the binder resolved, with what it
// found. A lookup re-resolves those names (a few hash lookups) and prepares
// anew when any resolves differently now: names are added by writes and
// forgotten by rollbacks, so an id in a plan may come to mean another name.
// The least recently used plan goes first past a count or a size of text.
//
// Thread-safe: readers running in parallel share plans (an execution never
// changes its plan).
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "query/cypher_statement.h"

namespace orvane {

class PlanCache {
 public:
  // At most `max_plans` plans holding at most `max_text_bytes` of text.
  explicit PlanCache(std::size_t max_plans = 1000, std::size_t max_text_bytes = 16u << 20);

  // prepare_statement(text, db, procedures), or the plan it gave before
  // for the same text and parameter types when that plan still holds for
  // `db` as it is now. Throws what prepare_statement throws (failures are
  // not kept).
  std::shared_ptr<const PreparedStatement> prepare(std::string_view text, const Database& db,
                                                   const ProcedureRegistry* procedures,
                                                   const CypherParameters& parameters);

  void clear();
  std::uint64_t hits() const;
  std::uint64_t misses() const;
  std::size_t size() const;

 private:
  struct Entry {
    std::string key;
    std::shared_ptr<const PreparedStatement> statement;
    const ProcedureRegistry* procedures = nullptr;
    std::uint64_t procedures_version = 0;
    bool generated = false;
  };
  void evict();

  const std::size_t max_plans_, max_text_bytes_;
  mutable std::mutex mutex_;
  std::list<Entry> entries_;  // most recently used first
  std::unordered_map<std::string_view, std::list<Entry>::iterator> index_;  // views into Entry::key
  std::size_t text_bytes_ = 0;
  std::uint64_t hits_ = 0, misses_ = 0;
};

}  // namespace orvane
