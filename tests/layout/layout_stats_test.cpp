// Layout statistics on graphs small enough to check by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "layout/layout_stats.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

TEST(LayoutStats, EmptyGraphIsAllZero) {
  Database db;
  db.compile();
  const LayoutStats s = compute_layout_stats(db.graph);
  EXPECT_EQ(0, s.degree_entropy);
  EXPECT_EQ(0, s.mean_out_degree);
  EXPECT_EQ(0u, s.core_threshold);
  EXPECT_EQ(0u, s.core_node_count);
  EXPECT_EQ(0u, s.isolates);
  EXPECT_EQ(0, s.mean_edge_jump);
}

TEST(LayoutStats, RegularDegreeTwo) {
  // A 4-cycle with chords: every node has out-degree 2.
  Database db = GraphBuilder()
                    .people({"a", "b", "c", "d"})
                    .follows("a", "b").follows("a", "c").follows("b", "c").follows("b", "d")
                    .follows("c", "d").follows("c", "a").follows("d", "a").follows("d", "b")
                    .compiled();
  const LayoutStats s = compute_layout_stats(db.graph);
  EXPECT_EQ(0, s.degree_entropy);
  EXPECT_EQ(2, s.mean_out_degree);
  EXPECT_EQ(1, s.max_over_mean_degree);
  EXPECT_EQ(2u, s.core_threshold);
  EXPECT_EQ(4u, s.core_node_count);
  EXPECT_EQ(0u, s.isolates);
  EXPECT_EQ(2u, s.reciprocal_pairs);  // a↔c, b↔d
}

TEST(LayoutStats, SkewedDegrees) {
  // Degrees {0, 0, 0, 4}: the last node has a self-loop and three targets.
  Database db = GraphBuilder()
                    .people({"a", "b", "c", "d"})
                    .follows("d", "a").follows("d", "b").follows("d", "c").follows("d", "d")
                    .compiled();
  const LayoutStats s = compute_layout_stats(db.graph);
  EXPECT_EQ(1, s.mean_out_degree);
  EXPECT_EQ(4, s.max_over_mean_degree);
  EXPECT_EQ(2u, s.core_threshold);  // floor(1 + sqrt(3))
  EXPECT_EQ(1u, s.core_node_count);
  EXPECT_EQ(3u, s.isolates);
  EXPECT_NEAR(0.8113, s.degree_entropy, 1e-4);
  EXPECT_EQ(0u, s.reciprocal_pairs);  // a self-loop is never reciprocal
  EXPECT_EQ(0u, s.parallel_edge_groups);
  EXPECT_EQ(3u, s.layout_bandwidth);
  EXPECT_DOUBLE_EQ((3 + 2 + 1 + 0) / 4.0, s.mean_edge_jump);
}

TEST(LayoutStats, LowThresholdBecomesOne) {
  Database db = GraphBuilder().people({"a", "b", "c"}).follows("a", "b").compiled();
  const LayoutStats s = compute_layout_stats(db.graph);
  EXPECT_EQ(1u, s.core_threshold);
  EXPECT_EQ(1u, s.core_node_count);
}

TEST(LayoutStats, ReciprocityAndParallelGroups) {
  struct Case {
    const char* what;
    Database db;
    std::uint64_t reciprocal, parallel;
  };
  Case cases[] = {
      {"a->b R, b->a R", GraphBuilder().people({"a", "b"}).edge("a", "b", "R").edge("b", "a", "R").compiled(), 1, 0},
      {"a->b R, b->a S", GraphBuilder().people({"a", "b"}).edge("a", "b", "R").edge("b", "a", "S").compiled(), 0, 0},
      {"a->b R, a->b S", GraphBuilder().people({"a", "b"}).edge("a", "b", "R").edge("a", "b", "S").compiled(), 0, 1},
      {"a->a R, a->a S", GraphBuilder().people({"a"}).edge("a", "a", "R").edge("a", "a", "S").compiled(), 0, 1},
      {"a->b x3 types, a->c x2", GraphBuilder()
                                      .people({"a", "b", "c"})
                                      .edge("a", "b", "R").edge("a", "b", "S").edge("a", "b", "FOLLOWS")
                                      .edge("a", "c", "R").edge("a", "c", "S")
                                      .compiled(),
       0, 2},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    const LayoutStats s = compute_layout_stats(c.db.graph);
    EXPECT_EQ(c.reciprocal, s.reciprocal_pairs);
    EXPECT_EQ(c.parallel, s.parallel_edge_groups);
  }
}

TEST(LayoutStats, RenumberingKeepsPositionFreeFields) {
  Database db;
  generate_corpus(db, 600, 200, 4);
  db.add_rel_type("CITES");
  db.graph.add_edge(650, 700, 2);
  db.graph.add_edge(650, 700, 1);
  db.compile();
  const LayoutStats a = compute_layout_stats(db.graph);
  scatter_layout(db.graph, 99);
  const LayoutStats b = compute_layout_stats(db.graph);
  EXPECT_EQ(a.degree_entropy, b.degree_entropy);
  EXPECT_EQ(a.mean_out_degree, b.mean_out_degree);
  EXPECT_EQ(a.max_over_mean_degree, b.max_over_mean_degree);
  EXPECT_EQ(a.core_threshold, b.core_threshold);
  EXPECT_EQ(a.core_node_count, b.core_node_count);
  EXPECT_EQ(a.isolates, b.isolates);
  EXPECT_EQ(a.parallel_edge_groups, b.parallel_edge_groups);
  EXPECT_EQ(1u, a.parallel_edge_groups);
  EXPECT_EQ(a.reciprocal_pairs, b.reciprocal_pairs);
  EXPECT_NE(a.mean_edge_jump, b.mean_edge_jump);
}

TEST(LayoutStats, PrintFormat) {
  LayoutStats s;
  s.degree_entropy = 0.81127812;
  s.mean_out_degree = 1;
  s.max_over_mean_degree = 4;
  s.core_node_count = 1;
  s.core_threshold = 2;
  s.reciprocal_pairs = 5;
  s.mean_edge_jump = 1.5;
  s.layout_bandwidth = 3;
  s.isolates = 3;
  std::ostringstream captured;
  auto* old = std::cout.rdbuf(captured.rdbuf());
  const auto old_flags = std::cout.flags();
  const auto old_precision = std::cout.precision();
  print_layout_stats("before entropy worker", s);
  std::cout.rdbuf(old);
  std::cout.flags(old_flags);
  std::cout.precision(old_precision);
  EXPECT_EQ(
      "before entropy worker\n"
      "  degree entropy:       0.8113\n"
      "  mean out-degree:      1.0000\n"
      "  max/mean degree:      4.0000\n"
      "  core threshold:       2\n"
      "  core node count:      1\n"
      "  parallel edge groups: 0\n"
      "  reciprocal pairs:     5\n"
      "  mean edge jump:       1.5000\n"
      "  layout bandwidth:     3\n"
      "  isolates:             3\n",
      captured.str());
}

}  // namespace
}  // namespace orvane
