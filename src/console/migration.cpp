// Migration into an Engine. The io library turns the source into a fresh
// compiled Database (io/neo4j_import.h); this file adds what needs the
// engine and the layout library: the entropy worker's renumbering, the save
// to the engine's snapshot path, registration, selection and the change
// events.
//
// All or nothing. The import builds a Database that nothing else sees, so
// a bad record changes nothing. After the import, the snapshot save is the
// last step that can fail for a reason other than memory: everything the
// registry needs (the registry node holding the database, a bucket for it,
// the selected name) is prepared before the save, and what follows the
// save only moves, swaps and links prepared pieces, none of which can
// throw. So a save that fails leaves the engine as it was, and a save that
// succeeds is always followed by a registry that shows the same graph. The
// change events come last: the bounded change list may allocate a block,
// and running out of memory there would lose only the events.
#include "console/migration.h"

#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "console/engine.h"
#include "graph/database.h"
#include "io/neo4j_import.h"
#include "layout/entropy_worker.h"
#include "storage/snapshot.h"

namespace orvane {
namespace {

// The database name a live pull registers its graph under.
constexpr const char* kPulledName = "migrated";

// The registry's own refusal, raised before an import starts rather than
// after a snapshot was already saved.
void check_name(const std::string& name) {
  if (name.empty()) throw std::runtime_error("database name must not be empty");
}

// Lays `db` out, saves it to the engine's snapshot path, registers it under
// `name`, selects it and appends `events`, all or nothing (see the note at
// the top). The registry is changed through its map directly, with the
// effect of register_database and use_database, because those two allocate
// after the point where nothing may fail any more.
void install(Engine& engine, Database db, const std::string& name, std::vector<ChangeEvent> events) {
  check_name(name);
  optimize_layout(db);

  std::unordered_map<std::string, Database> staging;
  staging.emplace(name, std::move(db));
  auto entry = staging.extract(staging.begin());  // a registry node, detached
  engine.databases.reserve(engine.databases.size() + 1);  // inserting one more never rehashes
  std::string selected = name;

  if (!engine.snapshot_path.empty()) save_snapshot(entry.mapped(), engine.snapshot_path);

  // Nothing below throws but the event appends: a move assignment, a node
  // insert into reserved buckets and a swap.
  if (const auto it = engine.databases.find(name); it != engine.databases.end()) {
    it->second = std::move(entry.mapped());
  } else {
    engine.databases.insert(std::move(entry));
  }
  engine.current.swap(selected);
  for (ChangeEvent& event : events) engine.record_change(std::move(event.op), std::move(event.detail));
}

}  // namespace

void migrate_source(Engine& engine, const std::string& source, const std::string& target_name,
                    ReductionReport* reductions) {
  check_name(target_name);
  // The report reaches the caller only with an installed graph.
  ReductionReport report;
  Database db = import_neo4j_source(source, reductions != nullptr ? &report : nullptr);
  std::vector<ChangeEvent> events;
  events.push_back({"migrate", source + " -> " + target_name});
  install(engine, std::move(db), target_name, std::move(events));
  if (reductions != nullptr) *reductions = std::move(report);
}

void pull_from_neo4j(Engine& engine, const std::string& bolt_uri, const std::string& user,
                     const std::string& password, const std::string& database, const std::string& out_directory,
                     ReductionReport* reductions) {
  // The pull refuses a directory that holds an export already and removes
  // its credentials before returning, whatever happened.
  run_neo4j_pull(bolt_uri, user, password, database, out_directory);
  // The bridge wrote a directory, whatever its name ends in: it is imported
  // as one, never taken for a dump archive.
  ReductionReport report;
  Database db = import_neo4j_export(out_directory, reductions != nullptr ? &report : nullptr);
  std::vector<ChangeEvent> events;
  events.push_back({"migrate", out_directory + " -> " + kPulledName});
  events.push_back({"load_from_neo4j", bolt_uri});
  install(engine, std::move(db), kPulledName, std::move(events));
  if (reductions != nullptr) *reductions = std::move(report);
}

}  // namespace orvane
