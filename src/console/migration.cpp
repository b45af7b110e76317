// Migration into an Engine. The io library turns the source into a fresh
// compiled Database (io/neo4j_import.h); this file adds what needs the
// engine and the layout library: the entropy worker's renumbering, the save
// to the engine's snapshot path, registration, selection and the change
// events.
//
// All or nothing. The import builds a Database that nothing else sees, so
// a bad record changes nothing; the engine's install then writes and
// registers it as one step.
#include "console/migration.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/engine.h"
#include "graph/database.h"
#include "io/admin_import.h"
#include "io/transfer_progress.h"
#include "query/functions/time_zones.h"
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

// Lays `db` out and installs it under `name` with `events` (all or
// nothing: Engine::install).
void install(Engine& engine, Database db, const std::string& name, std::vector<ChangeEvent> events) {
  check_name(name);
  optimize_layout(db);
  engine.install(name, std::move(db), std::move(events));
}

}  // namespace

PreparedGraph prepare_migration(const std::string& source, const std::string& target_name) {
  check_name(target_name);
  PreparedGraph prepared;
  {
    const MigrationRun run(source);
    prepared.db = import_neo4j_source(source, &prepared.ignored);
  }
  optimize_layout(prepared.db);
  prepared.name = target_name;
  prepared.events.push_back({"migrate", source + " -> " + target_name});
  return prepared;
}

PreparedGraph prepare_admin_migration(const AdminImportOptions& options, const std::string& target_name,
                                      AdminImportReport* report) {
  check_name(target_name);
  PreparedGraph prepared;
  AdminImportOptions with_zones = options;
  with_zones.resolve_zone = [](const std::string& zone, std::int64_t local_seconds) {
    const ZonedInstant at = time_zone_resolve_local(zone, local_seconds);
    return std::pair<std::int64_t, std::int32_t>{at.utc_seconds, at.offset};
  };
  {
    const MigrationRun run(options.nodes.empty() || options.nodes.front().files.empty() ? std::string("file groups")
                                                                                        : options.nodes.front().files.front());
    prepared.db = import_admin_groups(with_zones, report);
  }
  optimize_layout(prepared.db);
  prepared.name = target_name;
  std::string files;
  for (const auto* groups : {&options.nodes, &options.relationships}) {
    for (const ImportFileGroup& group : *groups) files += (files.empty() ? "" : ",") + group.files.front();
  }
  prepared.events.push_back({"migrate", files + " -> " + target_name});
  return prepared;
}

std::string migrate_file_groups(Engine& engine, const std::string& name, const nlohmann::json& request) {
  AdminImportReport report;
  PreparedGraph prepared = prepare_admin_migration(admin_import_options(request), name, &report);
  {
    const std::lock_guard<EngineLock> lock(engine.mutex());
    install_prepared(engine, std::move(prepared));
  }
  const nlohmann::json answer{{"ok", true},
                              {"database", name},
                              {"nodes", report.nodes},
                              {"relationships", report.relationships},
                              {"skipped",
                               {{"nodes", report.skipped_nodes},
                                {"relationships", report.skipped_relationships},
                                {"entries", report.skipped}}}};
  return answer.dump();
}

namespace {

struct RunningMigration {
  std::shared_ptr<TransferProgress> progress;
  std::string what;
  std::chrono::steady_clock::time_point start;
};

std::mutex running_mutex;
std::shared_ptr<const RunningMigration> running;  // guarded by running_mutex

}  // namespace

struct MigrationRun::State {
  std::shared_ptr<const RunningMigration> run;
  std::optional<ProgressScope> scope;
};

MigrationRun::MigrationRun(std::string what) : state_(std::make_unique<State>()) {
  // A caller that counts already (the command's progress line) keeps its
  // progress, which outlives the run; otherwise the run counts its own.
  TransferProgress* const counting = current_progress();
  std::shared_ptr<TransferProgress> progress =
      counting != nullptr ? std::shared_ptr<TransferProgress>(std::shared_ptr<void>(), counting)
                          : std::make_shared<TransferProgress>();
  auto run = std::make_shared<RunningMigration>(
      RunningMigration{std::move(progress), std::move(what), std::chrono::steady_clock::now()});
  if (counting == nullptr) state_->scope.emplace(run->progress.get());
  state_->run = run;
  const std::lock_guard<std::mutex> lock(running_mutex);
  running = std::move(run);
}

MigrationRun::~MigrationRun() {
  state_->scope.reset();
  const std::lock_guard<std::mutex> lock(running_mutex);
  if (running == state_->run) running.reset();
}

std::string migration_progress_document() {
  std::shared_ptr<const RunningMigration> run;
  {
    const std::lock_guard<std::mutex> lock(running_mutex);
    run = running;
  }
  if (run == nullptr) return R"({"running":false})";
  const TransferProgress& p = *run->progress;
  return nlohmann::json{{"running", true},
                        {"source", run->what},
                        {"records", p.records.load()},
                        {"bytes", p.bytes.load()},
                        {"totalBytes", p.total_bytes.load()},
                        {"seconds", std::chrono::duration<double>(std::chrono::steady_clock::now() - run->start).count()}}
      .dump();
}

PreparedGraph prepare_restore(const std::string& path) {
  PreparedGraph prepared;
  prepared.db = load_snapshot(path);
  prepared.name = "restored";
  prepared.events.push_back({"restore", path});
  return prepared;
}

void install_prepared(Engine& engine, PreparedGraph prepared) {
  engine.install(prepared.name, std::move(prepared.db), std::move(prepared.events));
}

void migrate_source(Engine& engine, const std::string& source, const std::string& target_name) {
  install_prepared(engine, prepare_migration(source, target_name));
}

void pull_from_neo4j(Engine& engine, const std::string& bolt_uri, const std::string& user,
                     const std::string& password, const std::string& database, const std::string& out_directory) {
  // The pull refuses a directory that holds an export already and removes
  // its credentials before returning, whatever happened.
  std::optional<MigrationRun> run(std::in_place, bolt_uri);
  run_neo4j_pull(bolt_uri, user, password, database, out_directory);
  // The bridge wrote a directory, whatever its name ends in: it is imported
  // as one, never taken for a dump archive.
  Database db = import_neo4j_export(out_directory);
  run.reset();
  std::vector<ChangeEvent> events;
  events.push_back({"migrate", out_directory + " -> " + kPulledName});
  events.push_back({"load_from_neo4j", bolt_uri});
  install(engine, std::move(db), kPulledName, std::move(events));
}

}  // namespace orvane
