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

// The toy graph: 64 persons, 0→1…15, the chain 15→…→63, and 0→1 again
// (collapses): 63 relationships, 15 nodes without any. It is already in
// hub order, so the worker changes no statistic.
TEST(DemoCommand, ReportsIdenticalReachAndStatistics) {
  const std::string stats =
      "  degree entropy:       0.8956\n"
      "  mean out-degree:      0.9844\n"
      "  max/mean degree:      15.2381\n"
      "  core threshold:       2\n"
      "  core node count:      1\n"
      "  parallel edge groups: 0\n"
      "  reciprocal pairs:     0\n"
      "  mean edge jump:       2.6667\n"
      "  layout bandwidth:     15\n"
      "  isolates:             15\n";
  const auto r = run_orvane({"demo"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ("before entropy worker\n" + stats + "after entropy worker (schema unchanged)\n" + stats +
                "  reachable from hub in 8 hops: 23\nquery results identical; physical layout rewritten.\n",
            r.out);
}

}  // namespace
}  // namespace orvane::testing
