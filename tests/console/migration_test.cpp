// Migration into an Engine: a successful migration or pull is laid out,
// saved, registered, selected and recorded; every failing one leaves the
// registry, the selection, the events and the snapshot file as they were.
// Bridges are stand-in shell scripts run through PYTHON=/bin/sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "console/engine.h"
#include "console/migration.h"
#include "io/transfer_progress.h"
#include "io/neo4j_import.h"
#include "layout/entropy_worker.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"
#include "support/error_text.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::error_of;
using testing::ScopedEnv;
using testing::TempDir;

const std::string kBridgeFailed =
    "Neo4j import failed; destination unchanged. Check source compatibility and the decoder error above.";

// A hub with six followers and a chain: the optimised layout puts the hub first.
void write_export(const std::string& dir) {
  testing::write_text_file(dir + "/nodes.csv",
             ":ID,:LABEL,properties:json\n"
             "a,Person,\"{\"\"name\"\":\"\"a\"\"}\"\nb,Person,{}\nc,Person,{}\nd,Person,{}\n"
             "e,Person,{}\nf,Person,{}\nhub,Paper,\"{\"\"title\"\":\"\"hub\"\"}\"\n");
  testing::write_text_file(dir + "/rels.csv",
             ":START_ID,:END_ID,:TYPE\nhub,a,CITES\nhub,b,CITES\nhub,c,CITES\nhub,d,CITES\nhub,e,CITES\n"
             "hub,f,CITES\na,b,NEXT\nb,c,NEXT\n");
}

// Everything of an engine a migration may touch, in one comparable text.
std::string engine_state(const Engine& e) {
  std::vector<std::string> names;
  for (const auto& [name, db] : e.databases()) names.push_back(name);
  std::sort(names.begin(), names.end());
  std::string out = "current=" + e.current_name() + "\n";
  for (const std::string& name : names) {
    const Database& db = *e.databases().at(name);
    out += name + ": " + std::to_string(db.graph.node_count) + " nodes " + testing::edges_of(db) + "\n";
  }
  for (const ChangeEvent& c : e.changes()) out += c.op + " " + c.detail + "\n";
  return out;
}

// An engine as a server holds it: two databases, one selected, one event, its snapshot on disk.
struct ServerEngine {
  TempDir dir;
  Engine engine;
  ServerEngine() {
    engine.register_database("orvane", testing::triangle());
    engine.register_database("neo", testing::star(3));
    engine.use_database("orvane");
    engine.record_change("boot", "production engine");
    engine.keep_in(dir.file("graph.orv"), GraphWriterLock::acquire(dir.file("graph.orv")), true);
  }
  // The registry, selection and events, and the name and bytes of every file the databases are kept in.
  std::string state() const {
    std::string out = engine_state(engine);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.is_regular_file() && entry.path().extension() != ".lock") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) out += file.filename().string() + "\n" + testing::read_text_file(file.string());
    return out;
  }
};

// Installation root with stand-in bridges; RECORD names the file they report into.
struct StandInBridges {
  TempDir dir;
  ScopedEnv home{"ORVANE_HOME", dir.path()};
  ScopedEnv python{"PYTHON", std::string("/bin/sh")};
  ScopedEnv record{"RECORD", dir.file("record")};
  void script(const std::string& name, const std::string& text) const {
    testing::write_text_file(dir.file("scripts/" + name), text);
  }
  std::string recorded() const { return testing::read_text_file(dir.file("record")); }
};

TEST(Migration, EveryFailureLeavesRegistryCurrentAndSnapshotUnchanged) {
  const std::string nodes = ":ID,:LABEL\n1,A\n2,A\n3,A\n", rels = ":START_ID,:END_ID,:TYPE\n1,2,R\n2,3,R\n3,1,R\n";
  const struct {
    std::vector<std::pair<std::string, std::string>> files;  // path in the work directory, text
    std::string source, target, message;                     // "{src}" stands for the source path
  } cases[] = {
      {{{"x/nodes.csv", nodes}, {"x/rels.csv", rels + "2,3,R\n2,3,R\n3,9,R\n"}}, "x", "neo",
       "rels.csv line 7: relationship references a missing node"},
      {{{"x/nodes.csv", nodes}, {"x/rels.csv", rels + "3,4,R\n"}}, "x", "neo",
       "rels.csv line 5: relationship references a missing node"},
      {{{"x/nodes.csv", ":ID,:LABEL,n:int\n1,A,1\n2,A,1x\n"}, {"x/rels.csv", rels}}, "x", "fresh",
       "nodes.csv line 3, column 3 (n): invalid integer property"},
      {{{"x/nodes.csv", ":ID,:LABEL,value:money\n1,A,x\n"}}, "x", "neo",
       "nodes.csv line 2, column 3 (value): unsupported CSV property type: money"},
      {{}, "absent", "neo", "CSV/JSONL migration requires an existing export directory: {src}"},
      {{}, "absent.dump", "neo", "Neo4j dump file is missing"},
      {{{"g.dump", "archive"}}, "g.dump", "neo", kBridgeFailed},  // the bridge fails
      {{{"x/nodes.csv", nodes}, {"x/rels.csv", rels}}, "x", "", "database name must not be empty"},
  };
  StandInBridges bridges;
  bridges.script("import_neo4j_dump.py", "echo 'cannot decode' >&2\nexit 4\n");
  for (const auto& c : cases) {
    ServerEngine s;
    const TempDir work;
    for (const auto& [path, text] : c.files) {
      fs::create_directories(fs::path(work.file(path)).parent_path());
      testing::write_text_file(work.file(path), text);
    }
    const std::string source = work.file(c.source), state = s.state();
    std::string message = c.message;
    if (const auto at = message.find("{src}"); at != std::string::npos) message.replace(at, 5, source);
    EXPECT_EQ(message, error_of([&] { migrate_source(s.engine, source, c.target); })) << c.message;
    EXPECT_EQ(state, s.state()) << c.message;
  }
}

// The stand-in pull bridge records its arguments, copies the export in its
// installation root into --out and exits with PULL_STATUS.
const char* kPullBridge =
    "printf '%s\\n' \"$@\" > \"$RECORD\"\n"
    "mkdir -p \"$8\" && cp \"$ORVANE_HOME\"/export/*.csv \"$8\"\n"
    "exit \"${PULL_STATUS:-0}\"\n";

TEST(Migration, PullLaysOutSavesRegistersSelectsAndRecordsOrChangesNothing) {
  StandInBridges bridges;
  bridges.script("pull_neo4j.py", kPullBridge);
  write_export(bridges.dir.file("export"));
  ServerEngine s;
  const std::string state = s.state();
  {
    const ScopedEnv fails("PULL_STATUS", std::string("1"));
    EXPECT_EQ(kBridgeFailed, error_of([&] { pull_from_neo4j(s.engine, "bolt://h", "u", "p", "d", s.dir.file("a")); }));
  }
  EXPECT_EQ(state, s.state());
  // The failed pull left its files in "a": pulling there again would import
  // them, so the directory is refused before the bridge runs.
  fs::remove(bridges.dir.file("record"));
  EXPECT_EQ("Neo4j pull directory already holds an export: " + s.dir.file("a") + "; choose a new directory",
            error_of([&] { pull_from_neo4j(s.engine, "bolt://h", "u", "p", "d", s.dir.file("a")); }));
  EXPECT_FALSE(fs::exists(bridges.dir.file("record")));
  EXPECT_EQ(state, s.state());

  const std::string out = s.dir.file("pulled");
  pull_from_neo4j(s.engine, "bolt://127.0.0.1:7687", "neo", "secret", "movies", out);
  Database expected = import_neo4j_export(out);
  optimize_layout(expected);
  EXPECT_NE(expected.graph.to_logical[0], 0u);  // the hub leads: the layout was optimised
  EXPECT_EQ("current=migrated\nmigrated: 7 nodes " + testing::edges_of(expected) + "\nneo: 4 nodes 0->1 0->2 0->3\n"
            "orvane: 3 nodes 0->1 1->2 2->0\nboot production engine\nmigrate " + out + " -> migrated\n"
            "load_from_neo4j bolt://127.0.0.1:7687\n",
            engine_state(s.engine));
  const Database saved = load_snapshot(s.engine.file_of("migrated"));
  EXPECT_EQ(expected.graph.to_logical, s.engine.database().graph.to_logical);
  EXPECT_EQ(testing::edges_of(expected), testing::edges_of(saved));
  EXPECT_EQ(expected.graph.to_logical, saved.graph.to_logical);
  EXPECT_TRUE(bridges.recorded().ends_with("--database\nmovies\n--out\n" + out + "\n--typed\n")) << bridges.recorded();
}

// The running migration's progress, as the progress route reports it:
// the thread's import counts into it while it runs, and nothing is
// reported before or after.
TEST(Migration, ProgressOfTheRunningMigration) {
  EXPECT_EQ(R"({"running":false})", migration_progress_document());
  {
    const MigrationRun run("export/");
    count_record(current_progress());
    count_record(current_progress());
    const nlohmann::json doc = nlohmann::json::parse(migration_progress_document());
    EXPECT_EQ(true, doc["running"]);
    EXPECT_EQ("export/", doc["source"]);
    EXPECT_EQ(2, doc["records"]);
  }
  EXPECT_EQ(nullptr, current_progress());
  EXPECT_EQ(R"({"running":false})", migration_progress_document());
}

}  // namespace
}  // namespace orvane
