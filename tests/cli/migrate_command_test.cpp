// orvane migrate through the real binary: an export of a generated corpus
// (both formats) migrates back to the same labels, relationship types and
// properties; refusals and failed imports leave an existing snapshot byte
// for byte; every shared sample migrates with its reduction report; --bolt
// runs the pull bridge (a stand-in shell script) with the password in a
// private file that is gone afterwards, into a directory without an export.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/reductions.h"
#include "storage/snapshot.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

// " nodes=N edges=E people=P papers=Q", as the command reports a graph.
std::string counts(const Database& db) {
  return " nodes=" + std::to_string(db.graph.node_count) + " edges=" + std::to_string(db.graph.out_targets.size()) +
         " people=" + std::to_string(db.people) + " papers=" + std::to_string(db.papers);
}

// A snapshot on the default path, copied, exported in both formats (CSV by
// default) and migrated back.
TEST(MigrateCommand, SnapshotExportThenMigrateReproducesTheCorpus) {
  const TempDir dir;
  const std::string wrote = orvane_output({"snapshot", "--people", "60", "--papers", "25", "--seed", "5"}, dir.path());
  EXPECT_TRUE(fs::exists(dir.file("data/graph.orv.lock")));
  const Database original = load_snapshot(dir.file("data/graph.orv"));
  const std::string edges = std::to_string(original.graph.out_targets.size());
  EXPECT_EQ("wrote data/graph.orv nodes=85 edges=" + edges + "\n", wrote);
  EXPECT_EQ("wrote g.orv nodes=85 edges=" + edges + "\n",
            orvane_output({"snapshot", "--db", "data/graph.orv", "--out", "g.orv"}, dir.path()));
  for (const std::string format : {"csv", "jsonl"}) {
    std::vector<std::string> args{"export", "--db", "g.orv", "--out", format};
    if (format == "jsonl") args.insert(args.end(), {"--format", "jsonl"});
    EXPECT_EQ("exported nodes=85 edges=" + edges + " to " + format + "\n", orvane_output(args, dir.path()));
    EXPECT_TRUE(fs::exists(dir.file(format + "/nodes." + format)));
    // Files the import does not read are named; hidden ones are not.
    const std::string ignored = format == "jsonl" ? "ignored: notes.txt (not read by the import)\n" : "";
    if (format == "jsonl") {
      write_text_file(dir.file("jsonl/notes.txt"), "x");
      write_text_file(dir.file("jsonl/.hidden"), "x");
    }
    EXPECT_EQ("migrated from " + format + counts(original) + "\n" + ignored + "snapshot m.orv\n",
              orvane_output({"migrate", "--from", format, "--out", "m.orv"}, dir.path()));
    const Database migrated = load_snapshot(dir.file("m.orv"));
    for (std::uint32_t i = 0; i < original.graph.node_count; ++i) {
      ASSERT_EQ(original.node_type_name(original.graph.labels[i]), migrated.node_type_name(migrated.graph.labels[i]));
      ASSERT_EQ(original.node_properties(i), migrated.node_properties(i)) << format << " " << i;
      ASSERT_EQ(original.names[i], migrated.names[i]) << format << " " << i;
    }
    EXPECT_EQ(edges_of(original), edges_of(migrated)) << format;
  }
}

TEST(MigrateCommand, RefusalsAndFailedImportsLeaveTheSnapshotAsItWas) {
  const TempDir dir;
  EXPECT_EQ("wrote m.orv nodes=0 edges=0\n", orvane_output({"snapshot", "--empty", "--out", "m.orv"}, dir.path()));
  const std::string before = read_text_file(dir.file("m.orv"));
  write_text_file(dir.file("bad/nodes.csv"), ":ID,:LABEL\n1,A\n2,A\n");
  write_text_file(dir.file("bad/rels.csv"), ":START_ID,:END_ID,:TYPE\n1,2,R\n2,1,R\n1,2,R\n1,3,R\n");
  write_text_file(dir.file("good/nodes.csv"), ":ID,:LABEL\n1,A\n");
  write_text_file(dir.file("good/rels.csv"), ":START_ID,:END_ID,:TYPE\n");
  fs::create_directories(dir.file("taken.orv"));
  // Another writer holds l.orv: a second writer is refused before anything is imported.
  const int fd = ::open(dir.file("l.orv.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX));
  const std::string usage = "error: migrate requires an explicit source and --out SNAP to persist the imported graph\n";
  const std::string export_usage = "error: export requires --db SNAP --out NEW_DIRECTORY\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"export", "--db", "m.orv"}, export_usage},
      {{"export", "--out", "x"}, export_usage},
      {{"migrate", "--from", "bad"}, usage},
      {{"migrate", "--out", "m.orv"}, usage},
      {{"migrate", "--from", "bad", "--out", "m.orv", "--from", "x"}, "error: duplicate argument: --from\n"},
      {{"migrate", "--from", "bad", "--out", "m.orv"}, "error: rels.csv line 5: relationship references a missing node\n"},
      {{"migrate", "--from", "bad", "--out", "taken.orv"}, "error: cannot write snapshot taken.orv: is a directory\n"},
      {{"migrate", "--from", "good", "--out", "l.orv"}, "error: graph is already open for writing by another process\n"},
  };
  for (const auto& [args, err] : cases) {
    SCOPED_TRACE(args.back());
    expect_refusal(run_orvane(args, dir.path()), err);
  }
  ::close(fd);
  EXPECT_EQ(before, read_text_file(dir.file("m.orv")));
  EXPECT_FALSE(fs::exists(dir.file("l.orv")));
}

// The real exports of the shared samples directory, read in place: each
// migrates whole, with the counts its provenance gives, and --reduce, still
// accepted, says that it reduced nothing. Relationship properties and
// every label come over.
TEST(MigrateCommand, EverySampleMigratesWhole) {
  const fs::path samples = fs::path(ORVANE_SOURCE_DIR) / ".." / "shared" / "neo4j-samples";
  if (!fs::is_directory(samples)) GTEST_SKIP() << "the shared neo4j-samples directory is absent";
  const TempDir dir;
  // The build tree's own copy of the dump bridge, found from any working
  // directory without ORVANE_HOME.
  const ScopedEnv home("ORVANE_HOME", std::nullopt);
  const std::string movies = " nodes=171 edges=253 people=133 papers=0\n";
  const std::string northwind = " nodes=1035 edges=3139 people=0 papers=0\n";
  const struct {
    std::string file;
    std::string counts;       // the rest of the "migrated from FILE" line
    std::uint64_t rel_props;  // relationships with properties
    std::uint64_t extra;      // further labels
  } cases[] = {
      {"movies/movies-35.dump", movies, 181, 0},
      {"movies/movies-40.dump", movies, 181, 0},
      {"movies/movies-41.dump", movies, 181, 0},
      {"movies/movies-43.dump", movies, 181, 0},
      {"movies/movies-50.dump", movies, 181, 0},
      {"northwind/northwind-43.dump", northwind, 2155, 0},
      {"northwind/northwind-50.dump", northwind, 2155, 0},
      {"apoc-json/all.json", " nodes=3 edges=1 people=0 papers=0\n", 1, 0},
      {"apoc-json/multiLabels.json", " nodes=16 edges=4 people=0 papers=0\n", 4, 7},
      {"apoc-csv/example.csv", " nodes=8 edges=7 people=7 papers=0\n", 4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string source = (samples / c.file).string();
    for (const bool reduce : {false, true}) {
      std::vector<std::string> args = {"migrate", "--from", source, "--out", "s.orv"};
      if (reduce) args.push_back("--reduce");
      std::string out = orvane_output(args, dir.path());
      if (out.starts_with("decoded ")) out.erase(0, out.find('\n') + 1);  // the dump bridge's own line
      EXPECT_EQ("migrated from " + source + c.counts + (reduce ? "reduced: " + std::string(kNothingReduced) + "\n" : "") +
                    "snapshot s.orv\n",
                out);
    }
    const Database db = load_snapshot(dir.file("s.orv"));
    std::uint64_t with_properties = 0;
    for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) with_properties += !db.relationship_properties(r).empty();
    EXPECT_EQ(c.rel_props, with_properties);
    EXPECT_EQ(c.extra, db.graph.extra_labels.size());
    if (c.file.starts_with("movies")) {
      EXPECT_EQ("{\"columns\":[\"count(*)\"],\"rows\":[[172]]}\n",
                orvane_output({"query", "--db", "s.orv", "--gql",
                               "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN count(*)"},
                              dir.path()));
    }
  }
}

// Embeddings of another width than 32: the report line names it, the
// snapshot keeps it, and retrieval from that snapshot queries at it (topic
// 1's query vector is hot at component 1 of 3).
// A benchmark kit's layout, as LDBC's writes it: "|" between fields,
// header files apart from the data, upper-case types, id spaces, labels
// and types given only on the command line, in neo4j-admin's argument
// forms; skipped entries are reported with their positions.
TEST(MigrateCommand, TakesNeo4jAdminArguments) {
  const TempDir dir;
  testing::write_text_file(dir.file("person_header.csv"), "id:ID(Person)|firstName:STRING|birthday:DATE|speaks:STRING[]\n");
  testing::write_text_file(dir.file("person_0.csv"), "1|Ann|1990-05-01|en;fr\n2|Bob|1985-01-31|de\n");
  testing::write_text_file(dir.file("person_1.csv"), "3|Cid|2000-12-24|\n3|Dup|2000-12-24|\n");
  testing::write_text_file(dir.file("knows_header.csv"), ":START_ID(Person)|:END_ID(Person)|creationDate:DATETIME\n");
  testing::write_text_file(dir.file("knows_0.csv"), "1|2|2010-01-01T10:00:00.000+0000\n2|3|2011-01-01T10:00:00.000+0000\n9|1|2012-01-01T00:00Z\n");
  const std::string out = orvane_output(
      {"migrate", "--delimiter=|", "--skip-duplicate-nodes=true", "--skip-bad-relationships",
       "--nodes=Person=person_header.csv,person_0.csv,person_1.csv",
       "--relationships", "KNOWS=knows_header.csv,knows_0.csv", "--out", "l.orv"},
      dir.path());
  EXPECT_EQ("migrated from 1 node and 1 relationship file groups nodes=3 edges=2 people=3 papers=0\n"
            "skipped: 1 duplicate nodes, 1 relationships to missing nodes\n"
            "  person_1.csv line 2: duplicate node id 3 in id space Person\n"
            "  knows_0.csv line 3: relationship to a missing node: :START_ID 9 in id space Person\n"
            "snapshot l.orv\n",
            out);
  EXPECT_EQ(R"({"columns":["a.firstName","b.firstName","r.creationDate.year","a.speaks","a.birthday.month"],)"
            R"("rows":[["Ann","Bob",2010,["en","fr"],5],["Bob","Cid",2011,["de"],1]]})" "\n",
            orvane_output({"query", "--db", "l.orv", "--gql",
                           "MATCH (a:Person)-[r:KNOWS]->(b) RETURN a.firstName, b.firstName, r.creationDate.year, "
                           "a.speaks, a.birthday.month ORDER BY a.firstName"},
                          dir.path()));
  // A named zone of a datetime column, resolved by the system's zone
  // database: summer time in Stockholm.
  testing::write_text_file(dir.file("zoned.csv"), ":ID,at:datetime{timezone:Europe/Stockholm}\n1,2024-07-01T12:00\n");
  orvane_output({"migrate", "--nodes=zoned.csv", "--out", "z.orv"}, dir.path());
  EXPECT_EQ(R"({"columns":["n.at"],"rows":[[{"$type":"ZonedDateTime","_value":"2024-07-01T12:00:00+02:00[Europe/Stockholm]"}]]})"
            "\n",
            orvane_output({"query", "--db", "z.orv", "--gql", "MATCH (n) RETURN n.at"}, dir.path()));
  // The argument forms are the admin import's own; every other command
  // still refuses a repeated option.
  expect_refusal(run_orvane({"migrate", "--nodes=x.csv", "--from", "d", "--out", "o.orv"}, dir.path()),
                 "error: migrate takes --from, --bolt or --nodes/--relationships groups, not several\n");
  expect_refusal(run_orvane({"migrate", "--nodes=none.csv", "--out", "o.orv"}, dir.path()),
                 "error: none.csv: cannot be opened\n");
  expect_refusal(run_orvane({"export", "--db", "l.orv", "--db", "l.orv", "--out", "e"}, dir.path()),
                 "error: duplicate argument: --db\n");
}

TEST(MigrateCommand, ImportedEmbeddingWidthIsReportedSavedAndRetrieved) {
  const TempDir dir;
  write_text_file(dir.file("in/nodes.jsonl"),
                  "{\"id\":1,\"label\":\"Person\",\"embedding\":\"see notes\"}\n"
                  "{\"id\":2,\"label\":\"Paper\",\"embedding\":[0.9,0.1,0]}\n"
                  "{\"id\":3,\"label\":\"Paper\",\"embedding\":[0,1,0.1]}\n"
                  "{\"id\":4,\"label\":\"Paper\",\"embedding\":[0.5,0.5,0.5,0.5]}\n");
  write_text_file(dir.file("in/rels.jsonl"), "{\"src\":1,\"dst\":3,\"type\":\"AUTHORED\"}\n");
  EXPECT_EQ("migrated from in nodes=4 edges=1 people=1 papers=3 embedding_dim=3\nsnapshot s.orv\n",
            orvane_output({"migrate", "--from", "in", "--out", "s.orv"}, dir.path()));
  const Database db = load_snapshot(dir.file("s.orv"));
  EXPECT_EQ(3u, db.embedding_dim);
  EXPECT_EQ("[0.5,0.5,0.5,0.5]", db.node_properties(3).at("embedding").dump());
  orvane_output({"rag", "--db", "s.orv", "--topics", "2", "--iters", "1", "--k", "2", "--json", "r.json"}, dir.path());
  EXPECT_EQ("[2,1]", nlohmann::json::parse(read_text_file(dir.file("r.json"))).at("paper_ids").dump());
}

// The stand-in pull bridge records its arguments, the modes of the
// credentials file and its directory and the file's content, and writes a
// Person who authored a Paper into --out.
const char* kPullBridge =
    "{ printf '%s\\n' \"$@\"; stat -c %a \"$4\" \"$(dirname \"$4\")\"; cat \"$4\"; echo; } > \"$RECORD\"\n"
    "mkdir -p \"$8\" && printf '{\"id\":1,\"label\":\"Person\"}\\n{\"id\":2,\"label\":\"Paper\"}\\n' > \"$8/nodes.jsonl\""
    " && printf '{\"src\":1,\"dst\":2,\"type\":\"AUTHORED\"}\\n' > \"$8/rels.jsonl\"\n";

TEST(MigrateCommand, BoltPullsThroughTheBridgeIntoANewDirectory) {
  const TempDir dir;
  const ScopedEnv home("ORVANE_HOME", dir.file("home"));
  const ScopedEnv python("PYTHON", std::string("/bin/sh"));
  const ScopedEnv record("RECORD", dir.file("record"));
  write_text_file(dir.file("home/scripts/pull_neo4j.py"), kPullBridge);
  const std::string loaded = "loaded from bolt://127.0.0.1:7687 nodes=2 edges=1 people=1 papers=1"
                             " (CPU load; GPU is retrieve only)\n";
  // The credentials file the bridge was given, from its record.
  const auto credentials = [&dir] {
    const std::string args = read_text_file(dir.file("record"));
    const std::size_t at = args.find("--credentials-file\n") + 19;
    return fs::path(args.substr(at, args.find('\n', at) - at));
  };

  EXPECT_EQ(loaded + "snapshot p.orv\n",
            orvane_output({"migrate", "--bolt", "bolt://127.0.0.1:7687", "--from", "pulled", "--out", "p.orv",
                           "--password", "s3cret", "--database", "movies"},
                          dir.path()));
  EXPECT_EQ("--bolt\nbolt://127.0.0.1:7687\n--credentials-file\n" + credentials().string() +
                "\n--database\nmovies\n--out\npulled\n--typed\n600\n700\n{\"password\":\"s3cret\",\"user\":\"neo4j\"}\n",
            read_text_file(dir.file("record")));
  EXPECT_FALSE(fs::exists(credentials().parent_path()));
  EXPECT_EQ(2u, load_snapshot(dir.file("p.orv")).graph.node_count);

  // A directory that holds an export already, even as a dangling link, is
  // refused before the bridge runs, and the snapshot stays as it was.
  const std::string before = read_text_file(dir.file("p.orv"));
  fs::remove(dir.file("record"));
  fs::create_directory(dir.file("linked"));
  fs::create_symlink("/nonexistent", dir.file("linked/relationships.jsonl"));
  for (const std::string held : {"pulled", "linked"}) {
    expect_refusal(run_orvane({"migrate", "--bolt", "bolt://127.0.0.1:7687", "--from", held, "--out", "p.orv"}, dir.path()),
                   "error: Neo4j pull directory already holds an export: " + held + "; choose a new directory\n");
  }
  EXPECT_FALSE(fs::exists(dir.file("record")));
  EXPECT_EQ(before, read_text_file(dir.file("p.orv")));

  // Without --from the pull goes to data/from-neo4j, with the default
  // user and password.
  EXPECT_EQ(loaded + "snapshot d.orv\n",
            orvane_output({"migrate", "--bolt", "bolt://127.0.0.1:7687", "--out", "d.orv"}, dir.path()));
  EXPECT_TRUE(fs::exists(dir.file("data/from-neo4j/nodes.jsonl")));
  EXPECT_TRUE(read_text_file(dir.file("record")).ends_with("\n600\n700\n{\"password\":\"neo4j\",\"user\":\"neo4j\"}\n"));

  // A bridge that fails leaves neither credentials nor a snapshot behind.
  write_text_file(dir.file("home/scripts/pull_neo4j.py"),
                  "printf -- '--credentials-file\\n%s\\n' \"$4\" > \"$RECORD\"\necho 'connection refused' >&2\nexit 1\n");
  const RunResult failed =
      run_orvane({"migrate", "--bolt", "bolt://127.0.0.1:1", "--from", "other", "--out", "f.orv"}, dir.path());
  EXPECT_EQ(1, failed.status);
  EXPECT_EQ("connection refused\nerror: Neo4j import failed; destination unchanged. Check source compatibility and the "
            "decoder error above.\n",
            failed.err);
  EXPECT_FALSE(fs::exists(credentials().parent_path()));
  EXPECT_FALSE(fs::exists(dir.file("f.orv")));
}

}  // namespace
}  // namespace orvane::testing
