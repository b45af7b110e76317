// orvane migrate through the real binary: an export of a generated corpus
// (both formats) migrates back to the same labels, relationship types,
// properties and query answers; refusals and failed imports leave an
// existing snapshot byte for byte; --bolt runs the pull bridge (a stand-in
// shell script) with the password in a private file, into a new directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/executor.h"
#include "storage/snapshot.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

void write_file(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// " nodes=N edges=E people=P papers=Q", as the command reports a graph.
std::string counts(const Database& db) {
  return " nodes=" + std::to_string(db.graph.node_count) + " edges=" + std::to_string(db.graph.out_targets.size()) +
         " people=" + std::to_string(db.people) + " papers=" + std::to_string(db.papers);
}

using Relationship = std::tuple<std::uint32_t, std::uint32_t, std::string>;

std::set<Relationship> relationships_of(const Database& db) {
  std::set<Relationship> out;
  for (const Edge& e : db.graph.edges) out.emplace(e.src, e.dst, db.rel_type_name(e.type));
  return out;
}

TEST(MigrateCommand, ExportThenMigrateReproducesTheCorpus) {
  const TempDir dir;
  ASSERT_EQ(0, run_orvane({"snapshot", "--people", "60", "--papers", "25", "--seed", "5", "--out", "g.orv"}, dir.path())
                   .status);
  const Database original = load_snapshot(dir.file("g.orv"));
  const char* queries[] = {
      "MATCH (a) RETURN count(*)",
      "MATCH (a:Person) RETURN count(*)",
      "MATCH (a:Paper) RETURN count(*)",
      "MATCH (a:Person)-[:FOLLOWS]->(b:Person) RETURN count(*)",
      "MATCH (a:Person)-[:AUTHORED]->(p:Paper) RETURN count(DISTINCT p)",
      "MATCH (a {id: 0})-[:FOLLOWS*1..3]->(x) RETURN count(DISTINCT x)",
      "MATCH (a {name: 'person-7'})-[:FOLLOWS*0..2]-(x) RETURN count(*)",
      "MATCH (a)-[:FOLLOWS]->(b)-[:FOLLOWS]->(c) WHERE a <> c RETURN count(*)",
      "MATCH (a)-[:AUTHORED]->(p)<-[:AUTHORED]-(b) WHERE a <> b RETURN count(*)",
  };

  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    const std::string exported = std::string("export-") + format;
    const std::string snapshot = std::string("m-") + format + ".orv";
    ASSERT_EQ(0, run_orvane({"export", "--db", "g.orv", "--out", exported, "--format", format}, dir.path()).status);
    const RunResult r = run_orvane({"migrate", "--from", exported, "--out", snapshot}, dir.path());
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_EQ("migrated from " + exported + counts(original) + "\nsnapshot " + snapshot + "\n", r.out);

    const Database migrated = load_snapshot(dir.file(snapshot));
    ASSERT_EQ(original.graph.node_count, migrated.graph.node_count);
    for (std::uint32_t i = 0; i < original.graph.node_count; ++i) {
      ASSERT_EQ(original.node_type_name(original.graph.labels[original.graph.to_physical[i]]),
                migrated.node_type_name(migrated.graph.labels[migrated.graph.to_physical[i]]))
          << i;
      ASSERT_EQ(original.node_properties(i), migrated.node_properties(i)) << i;
      ASSERT_EQ(original.names[i], migrated.names[i]) << i;
    }
    EXPECT_EQ(relationships_of(original), relationships_of(migrated));
    for (const char* query : queries) {
      const std::uint64_t expected = count_query_text(original, query);
      EXPECT_GT(expected, 0u) << query;  // an answer of 0 would compare nothing
      EXPECT_EQ(expected, count_query_text(migrated, query)) << query;
    }
  }
}

TEST(MigrateCommand, RefusalsAndFailedImportsLeaveTheSnapshotAsItWas) {
  const TempDir dir;
  ASSERT_EQ(0, run_orvane({"snapshot", "--people", "5", "--papers", "2", "--out", "m.orv"}, dir.path()).status);
  const std::string before = read_text_file(dir.file("m.orv"));
  write_file(dir.file("bad/nodes.csv"), ":ID,:LABEL\n1,A\n2,A\n");
  write_file(dir.file("bad/rels.csv"), ":START_ID,:END_ID,:TYPE\n1,2,R\n2,1,R\n1,2,R\n");
  fs::create_directories(dir.file("taken.orv"));
  const std::string usage = "error: migrate requires an explicit source and --out SNAP to persist the imported graph\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"migrate", "--from", "bad"}, usage},
      {{"migrate", "--out", "m.orv"}, usage},
      {{"migrate", "--bolt", "bolt://127.0.0.1:7687", "--user", "u"}, usage},
      {{"migrate", "--from", "", "--out", "m.orv"}, usage},
      {{"migrate", "--from", "bad", "--out", "m.orv", "--from", "x"}, "error: duplicate argument: --from\n"},
      {{"migrate", "--from", "bad", "--out", "m.orv", "--format", "csv"}, "error: unknown argument: --format\n"},
      {{"migrate", "--from", "bad", "--out"}, "error: missing value for --out\n"},
      {{"migrate", "--from", "bad", "--out", "m.orv"},
       "error: parallel relationships are not supported; import stopped without changing the destination\n"},
      {{"migrate", "--from", "absent", "--out", "m.orv"},
       "error: CSV/JSONL migration requires an existing export directory: absent\n"},
      {{"migrate", "--from", "bad", "--out", "taken.orv"}, "error: cannot write snapshot taken.orv: is a directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const RunResult r = run_orvane(c.args, dir.path());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ(before, read_text_file(dir.file("m.orv")));
  }

  // A second writer of --out is refused before anything is imported.
  write_file(dir.file("good/nodes.csv"), ":ID,:LABEL\n1,A\n");
  write_file(dir.file("good/rels.csv"), ":START_ID,:END_ID,:TYPE\n");
  const int fd = ::open(dir.file("m.orv.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX));
  const RunResult locked = run_orvane({"migrate", "--from", "good", "--out", "m.orv"}, dir.path());
  ::close(fd);
  EXPECT_EQ(1, locked.status);
  EXPECT_EQ("error: graph is already open for writing by another process\n", locked.err);
  EXPECT_EQ(before, read_text_file(dir.file("m.orv")));
}

// The stand-in pull bridge records its arguments and the credentials file
// (mode and content) and writes a Person who authored a Paper into --out.
const char* kPullBridge =
    "{ printf '%s\\n' \"$@\"; stat -c %a \"$4\"; cat \"$4\"; echo; } > \"$RECORD\"\n"
    "mkdir -p \"$8\" && printf '{\"id\":1,\"label\":\"Person\"}\\n{\"id\":2,\"label\":\"Paper\"}\\n' > \"$8/nodes.jsonl\""
    " && printf '{\"src\":1,\"dst\":2,\"type\":\"AUTHORED\"}\\n' > \"$8/rels.jsonl\"\n";

TEST(MigrateCommand, BoltPullsThroughTheBridgeIntoANewDirectory) {
  const TempDir dir;
  const ScopedEnv home("ORVANE_HOME", dir.file("home"));
  const ScopedEnv python("PYTHON", std::string("/bin/sh"));
  const ScopedEnv record("RECORD", dir.file("record"));
  write_file(dir.file("home/scripts/pull_neo4j.py"), kPullBridge);
  const std::string loaded = "loaded from bolt://127.0.0.1:7687 nodes=2 edges=1 people=1 papers=1"
                             " (CPU load; GPU is retrieve only)\n";

  const RunResult r = run_orvane({"migrate", "--bolt", "bolt://127.0.0.1:7687", "--from", "pulled", "--out", "p.orv",
                                  "--password", "s3cret", "--database", "movies"},
                                 dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(loaded + "snapshot p.orv\n", r.out);
  const std::string args = read_text_file(dir.file("record"));
  const std::string credentials = args.substr(args.find("--credentials-file\n") + 19, args.find("\n--database") -
                                                                                          args.find("--credentials-file\n") - 19);
  EXPECT_EQ("--bolt\nbolt://127.0.0.1:7687\n--credentials-file\n" + credentials +
                "\n--database\nmovies\n--out\npulled\n600\n{\"password\":\"s3cret\",\"user\":\"neo4j\"}\n",
            args);
  EXPECT_FALSE(fs::exists(fs::path(credentials).parent_path()));
  EXPECT_EQ(2u, load_snapshot(dir.file("p.orv")).graph.node_count);

  // The directory now holds an export: a second pull into it is refused
  // before the bridge runs, and the snapshot stays as it was.
  const std::string before = read_text_file(dir.file("p.orv"));
  fs::remove(dir.file("record"));
  const RunResult again = run_orvane({"migrate", "--bolt", "bolt://127.0.0.1:7687", "--from", "pulled", "--out", "p.orv"},
                                     dir.path());
  EXPECT_EQ(1, again.status);
  EXPECT_EQ("error: Neo4j pull directory already holds an export: pulled; choose a new directory\n", again.err);
  EXPECT_FALSE(fs::exists(dir.file("record")));
  EXPECT_EQ(before, read_text_file(dir.file("p.orv")));

  // Without --from the pull goes to data/from-neo4j, with the default
  // user and password.
  const RunResult defaults = run_orvane({"migrate", "--bolt", "bolt://127.0.0.1:7687", "--out", "d.orv"}, dir.path());
  ASSERT_EQ(0, defaults.status) << defaults.err;
  EXPECT_EQ(loaded + "snapshot d.orv\n", defaults.out);
  EXPECT_TRUE(fs::exists(dir.file("data/from-neo4j/nodes.jsonl")));
  EXPECT_TRUE(read_text_file(dir.file("record")).ends_with("\n600\n{\"password\":\"neo4j\",\"user\":\"neo4j\"}\n"));

  // A bridge that fails leaves no snapshot behind.
  write_file(dir.file("home/scripts/pull_neo4j.py"), "echo 'connection refused' >&2\nexit 1\n");
  const RunResult failed =
      run_orvane({"migrate", "--bolt", "bolt://127.0.0.1:1", "--from", "other", "--out", "f.orv"}, dir.path());
  EXPECT_EQ(1, failed.status);
  EXPECT_EQ("connection refused\nerror: Neo4j import failed; destination unchanged. Check source compatibility and the "
            "decoder error above.\n",
            failed.err);
  EXPECT_FALSE(fs::exists(dir.file("f.orv")));
}

}  // namespace
}  // namespace orvane::testing
