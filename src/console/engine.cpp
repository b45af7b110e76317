// The registry is a hash map keyed by the exact bytes of a name: no case
// folding, trimming or prefix matching, so "Social" and "social" are two
// databases. Lookups never create an entry (no operator[]), which keeps a
// mistyped name from registering an empty graph.
//
// The bounded lists are bounded in bytes as well as entries: each entry is
// cut to a fixed size when it is stored, so a client that sends large
// values cannot grow the server through its history.
#include "console/engine.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "console/database_versions.h"

namespace orvane {
namespace {

// `text` cut to at most `bytes` bytes, never inside a UTF-8 sequence.
std::string cut(std::string text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

}  // namespace

std::string unknown_database_message(const std::string& name) { return "unknown database: " + name; }


DatabaseVersions& Engine::versions_of(const std::string& name) const {
  const auto it = databases_.find(name);
  if (it == databases_.end()) throw std::runtime_error(unknown_database_message(name));
  return *it->second;
}

Database& Engine::pinned(RequestState& state, const std::string& name, bool folded) const {
  auto it = std::find_if(state.pins.begin(), state.pins.end(), [&](const auto& pin) { return pin.first == name; });
  if (it == state.pins.end()) {
    state.pins.emplace_back(name, versions_of(name).pin());
    it = state.pins.end() - 1;
  }
  const PhysicalGraph& g = it->second->graph;
  if (!g.csr_valid || (folded && (!g.compiled || g.has_tombstones()))) {
    // Others read the published version as it is; this reader folds its own.
    auto own = std::make_shared<Database>(*it->second);
    own->undo_log = nullptr;
    own->fold();
    it->second = std::move(own);
  }
  return *it->second;
}

Database& Engine::claimed(RequestState& state, const std::string& name) {
  DatabaseVersions& versions = versions_of(name);
  const bool known = std::any_of(state.writing.begin(), state.writing.end(),
                                 [&](const Writing& w) { return w.name == name; });
  if (known) return versions.writer_copy();
  throw std::logic_error("database " + name + " is written beside readers without its copy claimed");
}

Database& Engine::live_database(const std::string& name) {
  const std::string effective = effective_name(name);
  RequestState& state = request();
  Database* db = nullptr;
  switch (state.access) {
    case Access::kRead: return pinned(state, effective, false);
    case Access::kWrite: db = &claimed(state, effective); break;
    case Access::kExclusive: db = &versions_of(effective).for_exclusive_change(); break;
  }
  if (!db->graph.csr_valid) db->compile();
  return *db;
}

Database& Engine::database(const std::string& name) {
  RequestState& state = request();
  if (state.access == Access::kRead) return pinned(state, effective_name(name), true);
  Database& db = live_database(name);
  db.fold();
  return db;
}

const Database& Engine::database(const std::string& name) const {
  // Folding keeps what the database holds; only its arrays are rebuilt.
  return const_cast<Engine&>(*this).database(name);
}

const Database* Engine::peek_database(const std::string& name) const {
  if (!databases_.contains(name)) return nullptr;
  RequestState& state = request();
  if (state.access == Access::kRead) return &pinned(state, name, false);
  return &versions_of(name).published();
}

std::map<std::string, const Database*> Engine::databases() const {
  std::map<std::string, const Database*> out;
  for (const auto& entry : databases_) out.emplace(entry.first, &database(entry.first));
  return out;
}

void Engine::replace_folded(const std::string& name, Database& folded) {
  const auto it = databases_.find(name);
  if (it == databases_.end()) return;
  RequestState& state = request();
  if (state.access == Access::kWrite) {
    std::swap(claimed(state, name), folded);
  } else {
    it->second->replace(std::move(folded));
  }
}

void Engine::publish_folded(const std::string& name, Database folded) {
  const auto it = databases_.find(name);
  if (it != databases_.end()) it->second->replace(std::move(folded), true);
}

void Engine::begin_reading() { request().access = Access::kRead; }

void Engine::end_reading() noexcept {
  RequestState& state = request();
  state.pins.clear();
  state.access = Access::kExclusive;
}

std::shared_ptr<const Database> Engine::reading_pin(const std::string& name) const {
  const RequestState& state = request();
  if (state.access != Access::kRead) return nullptr;
  const std::string& effective = effective_name(name);
  for (const auto& [pinned_name, version] : state.pins) {
    if (pinned_name == effective) return version;
  }
  return nullptr;
}

bool Engine::begin_writing(const std::string& name) {
  const std::string effective = effective_name(name);
  Database* copy = versions_of(effective).writable();
  if (copy == nullptr) return false;
  RequestState& state = request();
  state.writing.push_back({effective, {}});
  state.access = Access::kWrite;
  return true;
}

void Engine::end_writing() noexcept {
  RequestState& state = request();
  for (Writing& w : state.writing) {
    const auto it = databases_.find(w.name);
    if (it != databases_.end() && !w.records.empty()) it->second->publish(std::move(w.records));
  }
  state.writing.clear();
  state.access = Access::kExclusive;
}

std::vector<std::string> Engine::copies_wanted() const {
  std::vector<std::string> out;
  for (const auto& [name, versions] : databases_) {
    if (versions->copy_wanted()) out.push_back(name);
  }
  return out;
}

std::pair<std::shared_ptr<Database>, std::uint64_t> Engine::pin_version(const std::string& name) const {
  return versions_of(name).pin_version();
}

bool Engine::adopt_writer_copy(const std::string& name, std::shared_ptr<Database> copy, std::uint64_t version) {
  const auto it = databases_.find(name);
  return it != databases_.end() && it->second->adopt(std::move(copy), version);
}

std::uint64_t Engine::writer_copies(const std::string& name) const { return versions_of(name).copies(); }

std::vector<std::string> Engine::database_names() const {
  std::vector<std::string> names;
  names.reserve(databases_.size());
  for (const auto& entry : databases_) names.push_back(entry.first);
  std::sort(names.begin(), names.end());
  return names;
}

void Engine::register_database(const std::string& name, Database db) {
  if (name.empty()) throw std::runtime_error("database name must not be empty");
  if (files_.contains(name)) {
    throw std::runtime_error("database " + name + " is kept in " + file_of(name) + "; replace it through install");
  }
  databases_.insert_or_assign(name, std::make_unique<DatabaseVersions>(std::move(db)));
}

void Engine::count_statement(bool ok, double ns) {
  const std::lock_guard<std::mutex> lock(stats_mutex());
  if (ok) {
    ++statement_count_;
    total_statement_ns_ += ns;
  } else {
    ++error_count_;
  }
}

void Engine::record_change(std::string op, std::string detail) {
  const std::lock_guard<std::mutex> lock(stats_mutex());
  changes_.push_back({std::move(op), cut(std::move(detail), kChangeDetailBytes)});
  ++change_count_;
  while (changes_.size() > kChangeEventCapacity) changes_.pop_front();
}

void Engine::log_statement(const std::string& cypher, double ns, bool ok) {
  const std::lock_guard<std::mutex> lock(stats_mutex());
  query_log_.push_back({cut(cypher, kQueryLogTextBytes), ns, ok});
  while (query_log_.size() > kQueryLogCapacity) query_log_.pop_front();
}

void Engine::set_param(const std::string& name, const std::string& value) {
  const auto it = params_.find(name);
  const std::size_t freed = it == params_.end() ? 0 : name.size() + it->second.size();
  const std::size_t count = params_.size() + (it == params_.end() ? 1 : 0);
  if (count > kMaxParams || param_bytes_ - freed + name.size() + value.size() > kMaxParamBytes) {
    throw std::runtime_error("too many parameters: at most " + std::to_string(kMaxParams) + " names and " +
                             std::to_string(kMaxParamBytes) + " bytes of names and values");
  }
  params_.insert_or_assign(name, value);
  param_bytes_ = param_bytes_ - freed + name.size() + value.size();
}

bool Engine::optimisation_due() {
  const std::lock_guard<std::mutex> lock(stats_mutex());
  return auto_entropy_every_ > 0 && ++statements_since_optimize_ >= auto_entropy_every_;
}

void Engine::add_remote(const RemoteEndpoint& endpoint) {
  if (remotes_.size() >= kMaxRemotes) {
    throw std::runtime_error("too many remote connections: at most " + std::to_string(kMaxRemotes));
  }
  remotes_.push_back(endpoint);
}

}  // namespace orvane
