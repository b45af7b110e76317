// The demo and schema commands through the real binary.
#include <gtest/gtest.h>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

TEST(SchemaCommand, DefaultCorpusAndCorpusOptionsButNeverDb) {
  const auto r = run_orvane({"schema"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(
      "front-end schema (this is all a user or AI client sees)\n"
      "  node types:\n    - Person\n    - Paper\n"
      "  edge types:\n    - FOLLOWS\n    - AUTHORED\n"
      "physical engine hidden: nodes=12 csr_edges=46\n",
      r.out);
  const auto options = run_orvane({"schema", "--people", "4", "--papers", "0", "--db", "/nonexistent.orv"});
  EXPECT_EQ(0, options.status);
  EXPECT_TRUE(options.out.ends_with("physical engine hidden: nodes=4 csr_edges=12\n")) << options.out;
}

TEST(DemoCommand, ReportsIdenticalReach) {
  const auto r = run_orvane({"demo"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  const std::string after = "after entropy worker (schema unchanged)\n";
  ASSERT_EQ(0u, r.out.find("before entropy worker\n"));
  ASSERT_NE(std::string::npos, r.out.find(after));
  // The toy graph: 64 persons, 0→1…15, chain 15→…→63, 0→1 again (collapses).
  EXPECT_NE(std::string::npos, r.out.find("  mean out-degree:      0.9844\n"));
  EXPECT_NE(std::string::npos, r.out.find("  reachable from hub in 8 hops: 23\n"));
  EXPECT_TRUE(r.out.ends_with("query results identical; physical layout rewritten.\n"));
  // Position-free statistics print identically before and after.
  const std::string second = r.out.substr(r.out.find(after));
  for (const char* line : {"  degree entropy:       ", "  core node count:      ", "  isolates:             15\n"}) {
    const std::string first_line = r.out.substr(r.out.find(line), r.out.find('\n', r.out.find(line)) - r.out.find(line));
    EXPECT_NE(std::string::npos, second.find(first_line)) << line;
  }
}

}  // namespace
}  // namespace orvane::testing
