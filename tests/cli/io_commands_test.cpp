// The schema, demo, snapshot, export and generate commands through the real
// binary: output lines, the files they leave, and the failures a user meets
// first.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

std::size_t line_count(const std::string& path) {
  const std::string text = read_text_file(path);
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The schema of the default corpus (corpus options apply, --db never does),
// and the demo's toy graph: 64 persons, 0→1…15, the chain 15→…→63, and 0→1
// again (collapses): 63 relationships, 15 nodes without any. It is already
// in hub order, so the worker changes no statistic.
TEST(SchemaAndDemoCommands, PrintTheSchemaAndIdenticalReachAndStatistics) {
  EXPECT_EQ("front-end schema (this is all a user or AI client sees)\n  node types:\n    - Person\n    - Paper\n"
            "  edge types:\n    - FOLLOWS\n    - AUTHORED\nphysical engine hidden: nodes=12 csr_edges=46\n",
            orvane_output({"schema"}));
  EXPECT_TRUE(orvane_output({"schema", "--people", "4", "--papers", "0", "--db", "/nonexistent.orv"})
                  .ends_with("physical engine hidden: nodes=4 csr_edges=12\n"));
  const std::string stats =
      "  degree entropy:       0.8956\n  mean out-degree:      0.9844\n  max/mean degree:      15.2381\n"
      "  core threshold:       2\n  core node count:      1\n  parallel edge groups: 0\n  reciprocal pairs:     0\n"
      "  mean edge jump:       2.6667\n  layout bandwidth:     15\n  isolates:             15\n";
  const RunResult r = run_orvane({"demo"});
  EXPECT_EQ("", r.err);
  EXPECT_EQ("before entropy worker\n" + stats + "after entropy worker (schema unchanged)\n" + stats +
                "  reachable from hub in 8 hops: 23\nquery results identical; physical layout rewritten.\n",
            r.out);
}

// Export's output and round trip are shown by the migrate tests.
TEST(SnapshotExportAndGenerateCommands, WriteLoadAndRefuse) {
  TempDir dir;
  const std::string wrote = orvane_output({"snapshot", "--people", "40", "--papers", "10"}, dir.path());
  EXPECT_EQ(0u, wrote.find("wrote data/graph.orv nodes=50 edges="));
  EXPECT_TRUE(std::filesystem::exists(dir.file("data/graph.orv.lock")));
  const std::string copy = orvane_output({"snapshot", "--db", "data/graph.orv", "--out", "copy.orv"}, dir.path());
  EXPECT_EQ(wrote.substr(wrote.find(" nodes=")), copy.substr(copy.find(" nodes=")));
  EXPECT_EQ("wrote e.orv nodes=0 edges=0\n", orvane_output({"snapshot", "--empty", "--out", "e.orv"}, dir.path()));
  const std::string usage = "error: export requires --db SNAP --out NEW_DIRECTORY\n";
  expect_refusal(run_orvane({"export", "--db", "copy.orv"}, dir.path()), usage);
  expect_refusal(run_orvane({"export", "--out", "x"}, dir.path()), usage);

  const std::string out =
      orvane_output({"generate", "--people", "50", "--papers", "20", "--seed", "3", "--out", "c/d"}, dir.path());
  ASSERT_EQ(0u, out.find("generated people=50 papers=20 nodes=70 unique_edges=")) << out;
  const std::string pending = out.substr(out.find("pending_before_unique=") + 22);
  EXPECT_NE(std::string::npos, out.find("unique_edges=" + pending.substr(0, pending.find('\n')) + " ")) << out;
  EXPECT_TRUE(out.ends_with("\ncsv_dir=c/d\n")) << out;
  EXPECT_EQ(71u, line_count(dir.file("c/d/nodes.csv")));
  EXPECT_EQ(std::stoul(pending) + 1, line_count(dir.file("c/d/rels.csv")));
}

}  // namespace
}  // namespace orvane::testing
