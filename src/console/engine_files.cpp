// Where an Engine keeps its databases on disk, and its one save point.
//
// The current database at start lives in the snapshot the server was given
// (`--db FILE`); every other database that gets written gets a file of its
// own beside it, named after the database, and the catalogue beside the
// snapshot lists which name lives in which file and which is selected.
// Saving one database therefore never replaces another's file, and a file
// that the engine did not make is never chosen for a new database.
//
// Order of writes. A database that gets a file (first save, or an install
// that replaces one) is written completely into a new file first, which
// nothing lists yet; the catalogue's atomic replacement is what makes it
// part of the engine's state, and the old file is removed only after that.
// A crash at any point leaves a catalogue that names complete files. The
// current database's own snapshot is replaced in place, since its name is
// the one the user gave; an install over it that then fails to record its
// selection writes the previous graph back.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>

#include "console/database_versions.h"
#include "console/engine.h"
#include "console/transactions.h"
#include "query/plan_cache.h"
#include "query/procedures.h"
#include "storage/catalogue.h"
#include "storage/snapshot.h"
#include "storage/snapshot_log.h"
#include "storage/write_ahead_log.h"
#include "storage/writer_lock.h"

namespace orvane {

struct Engine::KeptFile {
  std::string path;  // resolved, absolute
  std::unique_ptr<GraphWriterLock> lock;
  std::shared_ptr<WriteAheadLog> log;  // opened at the first commit after a checkpoint; shared
                                       // with deferred syncs, which may outlive its retirement
};

namespace {

constexpr int kMaxFileCandidates = 1000;

std::string folder_of(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }
std::string name_in_folder(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// A file name stem for database `name`: letters, digits, '-' and '_' kept,
// every other byte '_', at most 64 bytes, never empty or hidden.
std::string file_stem(const std::string& name) {
  std::string stem;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_';
    stem += plain ? c : '_';
    if (stem.size() == 64) break;
  }
  return stem.empty() ? std::string("db") : stem;
}

bool exists_at(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

// Readers holding the engine lock shared run on several threads at once:
// each finds its own request state here, and they count and log under
// `stats`.
struct Engine::Guarded {
  std::mutex requests_mutex;
  std::unordered_map<std::thread::id, RequestState> requests;  // never erased: a state's address stays
  std::mutex stats;
};

Engine::RequestState& Engine::request() const {
  const std::lock_guard<std::mutex> lock(guarded_->requests_mutex);
  return guarded_->requests[std::this_thread::get_id()];
}

std::mutex& Engine::stats_mutex() const { return guarded_->stats; }

// Here, where a kept file and the guarded state are complete types.
Engine::Engine()
    : lock_(std::make_unique<EngineLock>()),
      guarded_(std::make_unique<Guarded>()),
      procedures_(std::make_unique<ProcedureRegistry>()),
      plan_cache_(std::make_unique<PlanCache>()),
      transactions_(std::make_unique<Transactions>()) {
  for (const auto& [name, value] : params_) param_bytes_ += name.size() + value.size();
}
Engine::~Engine() = default;
Engine::Engine(Engine&&) noexcept = default;
Engine& Engine::operator=(Engine&&) noexcept = default;

std::string Engine::file_of(const std::string& name) const {
  const auto it = files_.find(name);
  return it == files_.end() ? std::string() : it->second->path;
}

std::string Engine::database_in_file(const std::string& path) const {
  if (path.empty()) return std::string();
  const std::string resolved = resolved_snapshot_path(path);
  for (const auto& [name, file] : files_) {
    if (file->path == resolved) return name;
  }
  return std::string();
}

Engine::KeptFile Engine::new_file(const std::string& name) const {
  const std::string folder = folder_of(snapshot_path_);
  const std::string stem = file_stem(name);
  for (int n = 1; n <= kMaxFileCandidates; ++n) {
    const std::string candidate = folder + "/" + stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".orv";
    if (!database_in_file(candidate).empty() || exists_at(candidate) || candidate == snapshot_path_) continue;
    std::unique_ptr<GraphWriterLock> lock;
    try {
      lock = GraphWriterLock::acquire(candidate);
    } catch (const std::exception&) {
      continue;  // another process writes there
    }
    if (exists_at(candidate)) continue;  // made meanwhile by someone else
    return KeptFile{candidate, std::move(lock), nullptr};
  }
  throw std::runtime_error("cannot find a free file name for database " + name + " in " + folder);
}

void Engine::write_catalogue_with(const std::string& current, const std::string* added_name,
                                  const std::string* added_file) const {
  Catalogue catalogue;
  catalogue.current = current;
  for (const auto& [name, file] : files_) {
    if (added_name != nullptr && name == *added_name) continue;
    catalogue.databases.push_back({name, name_in_folder(file->path)});
  }
  if (added_name != nullptr) catalogue.databases.push_back({*added_name, name_in_folder(*added_file)});
  write_catalogue(catalogue_path(snapshot_path_), catalogue);
}

void Engine::keep_in(const std::string& path, std::unique_ptr<GraphWriterLock> lock, bool save_now) {
  const Database& current = database();
  const std::string resolved = resolved_snapshot_path(path);
  auto file = std::make_unique<KeptFile>(KeptFile{resolved, std::move(lock), nullptr});
  if (save_now) save_snapshot(current, resolved);
  snapshot_path_ = resolved;
  files_.emplace(current_, std::move(file));
  if (save_now) write_catalogue_with(current_, nullptr, nullptr);
}

void Engine::open_kept(const std::string& path, std::unique_ptr<GraphWriterLock> lock) {
  const std::string resolved = resolved_snapshot_path(path);
  const std::optional<Catalogue> catalogue = read_catalogue(catalogue_path(resolved));
  if (!catalogue) {
    register_database("restored", load_snapshot(resolved));
    current_ = "restored";
    record_change("restore", path);
    keep_in(path, std::move(lock), true);
    return;
  }
  std::string primary;
  std::map<std::string, std::unique_ptr<KeptFile>> files;
  for (const CatalogueEntry& entry : catalogue->databases) {
    const std::string file = folder_of(resolved) + "/" + entry.file;
    auto kept = std::make_unique<KeptFile>();
    kept->path = resolved_snapshot_path(file);
    if (kept->path == resolved) {
      primary = entry.name;
      kept->lock = std::move(lock);
    } else {
      kept->lock = GraphWriterLock::acquire(file);
    }
    databases_.insert_or_assign(entry.name, std::make_unique<DatabaseVersions>(load_snapshot(kept->path)));
    files.emplace(entry.name, std::move(kept));
  }
  if (primary.empty()) {
    throw std::runtime_error("database catalogue " + catalogue_path(resolved) + " does not list " + path);
  }
  files_ = std::move(files);
  snapshot_path_ = resolved;
  current_ = files_.contains(catalogue->current) ? catalogue->current : primary;
  // Each database was loaded with the log beside its file replayed; a
  // checkpoint folds the log into the file before anything is appended.
  for (const auto& [name, kept] : files_) {
    if (name != primary && has_log_beside(kept->path)) save(name);
  }
  save(primary);
  write_catalogue_with(current_, nullptr, nullptr);
}

void Engine::use_database(const std::string& name) {
  if (!databases_.contains(name)) throw std::runtime_error(unknown_database_message(name));
  if (name == current_) return;
  if (!snapshot_path_.empty()) write_catalogue_with(name, nullptr, nullptr);
  current_ = name;
}

void Engine::save(const std::string& name) {
  const std::string effective = effective_name(name);
  Database& db = live_database(effective);  // refuses an unknown name
  if (snapshot_path_.empty()) return;
  // Compacting makes a new version, which replaces the old one only once
  // it is saved.
  if (db.graph.has_tombstones()) {
    save_version(effective, db.compacted());
    return;
  }
  db.fold();
  save_as(effective, db);
}

bool Engine::log_record(RequestState& state, const std::string& effective, const std::string& record) {
  if (snapshot_path_.empty()) return false;
  const auto it = files_.find(effective);
  if (it == files_.end()) {
    save(effective);
    return false;
  }
  KeptFile& kept = *it->second;
  if (!kept.log) kept.log = open_log_beside(kept.path);
  kept.log->set_sync(durable_commits_);
  const std::uint64_t sequence = kept.log->append(record);
  if (state.defer_syncs) {
    state.pending.emplace_back(kept.log, sequence);
  } else {
    kept.log->sync(sequence);
  }
  return kept.log->bytes() > log_bound_ && !background_checkpoints_;
}

void Engine::commit(const std::string& name, const std::string& record) {
  if (record.empty()) return;
  const std::string effective = effective_name(name);
  RequestState& state = request();
  const bool checkpoint = log_record(state, effective, record);
  // Committed (a failure above takes the unit back, and the record must
  // then never reach the other copy): the second copy of the database
  // catches up by the same record.
  const auto written = std::find_if(state.writing.begin(), state.writing.end(),
                                    [&](const Writing& w) { return w.name == effective; });
  if (state.access == Access::kWrite && written != state.writing.end()) {
    written->records.push_back(record);
  } else if (const auto it = databases_.find(effective); it != databases_.end()) {
    it->second->changed_in_place(record);
  }
  if (!checkpoint) return;
  // A checkpoint that fails now is tried again at the next commit, and the
  // log keeps everything meanwhile.
  try {
    save(effective);
  } catch (const std::exception&) {
  }
}

std::shared_ptr<Database> Engine::lend_writer_copy(const std::string& name) {
  // Without the background fold (a command, the shell) no copy is ever
  // made, and none is to be asked for.
  if (!background_checkpoints_) return nullptr;
  DatabaseVersions& versions = versions_of(effective_name(name));
  return versions.writable() != nullptr ? versions.lend_writer_copy() : nullptr;
}

void Engine::commit_transaction(const std::string& name, const std::string& record, Database& work) {
  const std::string effective = effective_name(name);
  DatabaseVersions& versions = versions_of(effective);
  if (!versions.is_writer_copy(&work)) {
    commit(effective, record);
    Database next = std::move(work);
    if (next.graph.delta_past_bound()) next.fold();
    replace_folded(effective, next);
    return;
  }
  if (record.empty()) return;
  const bool checkpoint = log_record(request(), effective, record);
  if (work.graph.delta_past_bound()) {
    try {
      work.compile();
    } catch (const std::bad_alloc&) {
      // Committed all the same; the background fold folds it.
    }
  }
  versions.publish({record});
  if (!checkpoint) return;
  try {
    save(effective);
  } catch (const std::exception&) {
  }
}

bool Engine::checkpoint_due(const std::string& name) const {
  const auto it = files_.find(name);
  if (it == files_.end()) return false;
  const std::shared_ptr<WriteAheadLog> log = it->second->log;
  return log && log->bytes() > log_bound_;
}

void Engine::write_checkpoint(const std::string& name, const Database& folded) {
  if (files_.contains(name)) save_as(name, folded);
}

void Engine::await_durable() {
  RequestState& state = request();
  const auto pending = std::move(state.pending);
  state.pending.clear();
  for (const auto& [log, sequence] : pending) log->sync(sequence);
}

void Engine::checkpoint() {
  for (auto& [name, kept] : files_) {
    if (has_log_beside(kept->path)) save(name);
  }
}

void Engine::save_version(const std::string& name, Database next) {
  const std::string effective = effective_name(name);
  Database& db = live_database(effective);
  if (!snapshot_path_.empty()) next.fold();
  save_as(effective, next);
  db = std::move(next);
}

void Engine::save_as(const std::string& effective, const Database& db) {
  if (snapshot_path_.empty()) return;
  if (const auto it = files_.find(effective); it != files_.end()) {
    save_snapshot(db, it->second->path);  // a checkpoint: it retires the log
    it->second->log.reset();
    return;
  }
  // The binding's map node is made before anything is written, so that
  // nothing after the catalogue's replacement can fail.
  std::map<std::string, std::unique_ptr<KeptFile>> staging;
  staging.emplace(effective, std::make_unique<KeptFile>(new_file(effective)));
  auto node = staging.extract(staging.begin());
  const std::string& file = node.mapped()->path;
  try {
    save_snapshot(db, file);
    write_catalogue_with(current_, &effective, &file);
  } catch (...) {
    ::unlink(file.c_str());
    throw;
  }
  files_.insert(std::move(node));
}

void Engine::install(const std::string& name, Database db, std::vector<ChangeEvent> events) {
  if (name.empty()) throw std::runtime_error("database name must not be empty");
  // Everything the registry needs is prepared before anything is written:
  // what follows the writes only moves, swaps and links prepared pieces.
  std::unordered_map<std::string, std::unique_ptr<DatabaseVersions>> staging;
  staging.emplace(name, std::make_unique<DatabaseVersions>(std::move(db)));
  auto entry = staging.extract(staging.begin());
  const Database& installed = entry.mapped()->published();
  databases_.reserve(databases_.size() + 1);  // inserting one more never rehashes
  std::string selected = name;
  std::unique_ptr<KeptFile> old_file;

  const auto kept = files_.find(name);
  if (snapshot_path_.empty()) {
    // Nothing on disk to keep in step.
  } else if (kept != files_.end() && kept->second->path == snapshot_path_) {
    save_snapshot(installed, snapshot_path_);
    if (current_ != name) {
      try {
        write_catalogue_with(name, nullptr, nullptr);
      } catch (...) {
        try {
          save_snapshot(databases_.at(name)->published(), snapshot_path_);
        } catch (...) {
          // The first failure is the one to report.
        }
        throw;
      }
    }
  } else {
    std::map<std::string, std::unique_ptr<KeptFile>> file_staging;
    file_staging.emplace(name, std::make_unique<KeptFile>(new_file(name)));
    auto file_node = file_staging.extract(file_staging.begin());
    const std::string& file = file_node.mapped()->path;
    try {
      save_snapshot(installed, file);
      write_catalogue_with(name, &name, &file);
    } catch (...) {
      ::unlink(file.c_str());
      throw;
    }
    if (kept != files_.end()) {
      old_file = std::move(kept->second);
      kept->second = std::move(file_node.mapped());
    } else {
      files_.insert(std::move(file_node));
    }
  }

  // Nothing below throws but the event appends.
  if (const auto it = databases_.find(name); it != databases_.end()) {
    it->second = std::move(entry.mapped());
  } else {
    databases_.insert(std::move(entry));
  }
  current_.swap(selected);
  if (old_file) ::unlink(old_file->path.c_str());
  for (ChangeEvent& event : events) record_change(std::move(event.op), std::move(event.detail));
}

}  // namespace orvane
