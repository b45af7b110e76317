// Migration into an Engine: a Neo4j export directory, a ".dump" archive or
// a live Neo4j server becomes a registered, selected and laid-out database
// of the engine, saved to the engine's snapshot path when it has one.
//
// Both operations are all or nothing for the engine: the registry, the
// current database, the change events and the snapshot file either all
// show the migrated graph or are exactly as they were.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "console/engine.h"
#include "graph/database.h"

namespace orvane {

struct AdminImportOptions;
struct AdminImportReport;


// The defaults of a live pull that names nothing else: Neo4j's initial user,
// password and database, and the directory the pulled export lands in.
inline constexpr const char* kNeo4jDefaultUser = "neo4j";
inline constexpr const char* kNeo4jDefaultPassword = "neo4j";
inline constexpr const char* kNeo4jDefaultDatabase = "neo4j";
inline constexpr const char* kDefaultPullDirectory = "data/from-neo4j";

// A graph read and laid out for installation, with everything the install
// records. It is built without the engine, so a server builds it without
// holding the engine mutex: a slow or hostile source stalls only its own
// request.
struct PreparedGraph {
  Database db;
  std::string name;                 // the database name it is installed under
  std::vector<ChangeEvent> events;  // the change events the install records
  std::vector<std::string> ignored;  // entries of an export directory the import did not read
};

// The import half of migrate_source: reads `source` and lays the graph
// out, touching no engine. Throws as migrate_source does.
PreparedGraph prepare_migration(const std::string& source, const std::string& target_name);

// The same for neo4j-admin's file groups (io/admin_import.h): the graph
// they give, laid out, with a "migrate" event naming the groups' first
// files; `report` says what was skipped. Throws as import_admin_groups.
PreparedGraph prepare_admin_migration(const AdminImportOptions& options, const std::string& target_name,
                                      AdminImportReport* report);

// POST /v1/migrate with neo4j-admin's file groups as JSON
// (admin_import_options in io/admin_import.h): imports them without the
// engine lock, installs the graph as `name` under it (held exclusively
// meanwhile), and returns the answer: {"ok": true, "database": NAME,
// "nodes": N, "relationships": R, "skipped": {"nodes": N, "relationships":
// R, "entries": ["FILE line L: REASON", ...]}}. Throws as
// prepare_admin_migration and admin_import_options.
std::string migrate_file_groups(Engine& engine, const std::string& name, const nlohmann::json& request);

// While it lives, the calling thread's import is the server's running
// migration, described as `what` (its source): its progress counts there
// and migration_progress_document reports it. The prepare_* imports and
// the live pull run under one, whichever front end calls them. One runs at a time; a
// second beside it replaces the first in the report until it ends.
class MigrationRun {
 public:
  explicit MigrationRun(std::string what);
  ~MigrationRun();
  MigrationRun(const MigrationRun&) = delete;
  MigrationRun& operator=(const MigrationRun&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// GET /v1/migrate/progress: {"running": false} when no migration runs,
// else {"running": true, "source": WHAT, "records": N, "bytes": B,
// "totalBytes": T (0: not known), "seconds": S}.
std::string migration_progress_document();

// The snapshot at `path` prepared as restore installs it: the name
// "restored" and a "restore" event with the path. Throws the loader's
// messages.
PreparedGraph prepare_restore(const std::string& path);

// Installs `prepared` into `engine` (Engine::install: written, registered,
// selected, events recorded; all or nothing). Requires: exclusive use of
// the engine.
void install_prepared(Engine& engine, PreparedGraph prepared);

// Imports `source` (an export directory, or a file ending in ".dump" that
// the dump bridge converts in a private import directory removed on every
// exit) with the strict import, lays the graph out with the entropy worker
// and installs it under `target_name` (install_prepared: written to a file
// of its own when the engine keeps its databases, registered replacing a
// database of that name, selected, the change event "migrate" with the
// detail source + " -> " + target_name recorded). Throws, before anything
// changes, "database name must not be empty" for an empty `target_name`;
// otherwise the import's, the bridge's and the save's messages
// ("CSV/JSONL migration requires an existing export directory: PATH",
// "Neo4j dump file is missing", "cannot write snapshot PATH: REASON", ...).
// A failure leaves the engine and
// every file unchanged. Requires: exclusive use of the engine.
void migrate_source(Engine& engine, const std::string& source, const std::string& target_name);

// Pulls a running Neo4j server into the new export directory
// `out_directory` through the pull bridge, handing it `user` and `password`
// in a private credentials file that never outlives the call (never on a
// command line), then migrates that directory as migrate_source does under
// the name "migrated" (events "migrate" and then "load_from_neo4j" with
// `bolt_uri` as detail). Throws "Neo4j pull directory already holds an
// export: " + out_directory + "; choose a new directory" before running
// anything when the directory already holds a node or relationship file,
// and the credentials', bridge's, import's and save's messages otherwise.
// A failure leaves the engine and the snapshot file unchanged; files the
// bridge wrote into `out_directory` stay. Requires: exclusive use of the
// engine.
void pull_from_neo4j(Engine& engine, const std::string& bolt_uri, const std::string& user,
                     const std::string& password, const std::string& database, const std::string& out_directory);

}  // namespace orvane
