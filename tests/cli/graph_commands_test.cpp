// The demo and schema commands through the real binary.
#include <gtest/gtest.h>

#include "support/run_binary.h"

namespace orvane {
namespace {

using testing::run_orvane;

TEST(SchemaCommand, DefaultCorpus) {
  const auto r = run_orvane({"schema"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(
      "front-end schema (this is all a user or AI client sees)\n"
      "  node types:\n"
      "    - Person\n"
      "    - Paper\n"
      "  edge types:\n"
      "    - FOLLOWS\n"
      "    - AUTHORED\n"
      "physical engine hidden: nodes=12 csr_edges=46\n",
      r.out);
}

TEST(SchemaCommand, ReadsCorpusOptionsButNeverDb) {
  const auto r = run_orvane({"schema", "--people", "4", "--papers", "0", "--db", "/nonexistent.orv"});
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, r.out.find("physical engine hidden: nodes=4 csr_edges=12\n"));
}

TEST(DemoCommand, ReportsIdenticalReach) {
  const auto r = run_orvane({"demo"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  const std::string before = "before entropy worker\n";
  const std::string after = "after entropy worker (schema unchanged)\n";
  ASSERT_EQ(0u, r.out.find(before));
  const auto after_at = r.out.find(after);
  ASSERT_NE(std::string::npos, after_at);
  // The toy graph: 64 persons, 0→1…15, chain 15→…→63, 0→1 again (collapses).
  EXPECT_NE(std::string::npos, r.out.find("  mean out-degree:      0.9844\n"));
  EXPECT_NE(std::string::npos, r.out.find("  isolates:             15\n"));
  EXPECT_NE(std::string::npos, r.out.find("  reachable from hub in 8 hops: 23\n"));
  EXPECT_TRUE(r.out.ends_with("query results identical; physical layout rewritten.\n"));
  // Position-free statistics print identically before and after.
  const std::string first = r.out.substr(before.size(), after_at - before.size());
  const std::string second = r.out.substr(after_at + after.size(), first.size());
  for (const char* label : {"  degree entropy:", "  core node count:", "  isolates:"}) {
    const auto a = first.find(label), b = second.find(label);
    ASSERT_NE(std::string::npos, a);
    ASSERT_NE(std::string::npos, b);
    EXPECT_EQ(first.substr(a, first.find('\n', a) - a), second.substr(b, second.find('\n', b) - b));
  }
}

}  // namespace
}  // namespace orvane
