// Layout statistics on graphs small enough to check by hand, each rendered
// as one line (the printed form is checked through the demo command).
#include <gtest/gtest.h>

#include <cstdio>

#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "layout/layout_stats.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

std::string render(const LayoutStats& s) {
  char text[256];
  std::snprintf(text, sizeof text, "H=%.4f mean=%.4f max/mean=%.4f core=%u:%llu iso=%llu recip=%llu par=%llu bw=%u jump=%.4f",
                s.degree_entropy, s.mean_out_degree, s.max_over_mean_degree, s.core_threshold,
                static_cast<unsigned long long>(s.core_node_count), static_cast<unsigned long long>(s.isolates),
                static_cast<unsigned long long>(s.reciprocal_pairs),
                static_cast<unsigned long long>(s.parallel_edge_groups), s.layout_bandwidth, s.mean_edge_jump);
  return text;
}

// Degrees {0, 0, 0, 4}: the last node has a self-loop and three targets.
Database skewed() {
  return GraphBuilder().people({"a", "b", "c", "d"}).follows("d", "a").follows("d", "b").follows("d", "c").follows("d", "d").compiled();
}

TEST(LayoutStats, HandCheckedGraphs) {
  const auto two = [] { return GraphBuilder().people({"a", "b", "c"}); };
  const struct {
    const char* what;
    Database db;
    const char* expected;
  } cases[] = {
      {"empty", GraphBuilder().compiled(),
       "H=0.0000 mean=0.0000 max/mean=0.0000 core=0:0 iso=0 recip=0 par=0 bw=0 jump=0.0000"},
      // A 4-cycle with chords: every out-degree 2; a↔c and b↔d.
      {"regular", GraphBuilder().people({"a", "b", "c", "d"}).follows("a", "b").follows("a", "c").follows("b", "c")
                      .follows("b", "d").follows("c", "d").follows("c", "a").follows("d", "a").follows("d", "b").compiled(),
       "H=0.0000 mean=2.0000 max/mean=1.0000 core=2:4 iso=0 recip=2 par=0 bw=3 jump=1.7500"},
      // floor(1 + sqrt(3)) = 2; a self-loop is never reciprocal.
      {"skewed", skewed(), "H=0.8113 mean=1.0000 max/mean=4.0000 core=2:1 iso=3 recip=0 par=0 bw=3 jump=1.5000"},
      {"threshold below 1", two().follows("a", "b").compiled(),
       "H=0.9183 mean=0.3333 max/mean=3.0000 core=1:1 iso=2 recip=0 par=0 bw=1 jump=1.0000"},
      {"reciprocal of one type", two().edge("a", "b", "R").edge("b", "a", "R").compiled(),
       "H=0.9183 mean=0.6667 max/mean=1.5000 core=1:2 iso=1 recip=1 par=0 bw=1 jump=1.0000"},
      {"reciprocal of two types", two().edge("a", "b", "R").edge("b", "a", "S").compiled(),
       "H=0.9183 mean=0.6667 max/mean=1.5000 core=1:2 iso=1 recip=0 par=0 bw=1 jump=1.0000"},
      {"parallel", two().edge("a", "b", "R").edge("a", "b", "S").compiled(),
       "H=0.9183 mean=0.6667 max/mean=3.0000 core=1:1 iso=2 recip=0 par=1 bw=1 jump=1.0000"},
      {"parallel self-loops", two().edge("a", "a", "R").edge("a", "a", "S").compiled(),
       "H=0.9183 mean=0.6667 max/mean=3.0000 core=1:1 iso=2 recip=0 par=1 bw=0 jump=0.0000"},
      {"two groups", two().edge("a", "b", "R").edge("a", "b", "S").edge("a", "b", "FOLLOWS").edge("a", "c", "R")
                         .edge("a", "c", "S").compiled(),
       "H=0.9183 mean=1.6667 max/mean=3.0000 core=4:1 iso=2 recip=0 par=2 bw=2 jump=1.4000"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, render(compute_layout_stats(c.db.graph))) << c.what;
}

TEST(LayoutStats, RenumberingKeepsPositionFreeFields) {
  Database db;
  generate_corpus(db, 600, 200, 4);
  db.add_rel_type("CITES");
  db.graph.add_edge(650, 700, 2);
  db.graph.add_edge(650, 700, 1);
  db.compile();
  const auto position_free = [&db] {
    const std::string text = render(compute_layout_stats(db.graph));
    return text.substr(0, text.find(" bw="));
  };
  const std::string before = position_free();
  EXPECT_NE(std::string::npos, before.find(" par=1"));
  scatter_layout(db.graph, 99);
  EXPECT_EQ(before, position_free());
}

}  // namespace
}  // namespace orvane
