// The entropy worker and the statistics it is judged by: the Cuthill–McKee
// order on hand-checked graphs, scatter determinism, the mess levels,
// answers unchanged by every renumbering, and statistics on graphs small
// enough to check by hand, each rendered as one line (the printed form is
// checked through the demo command).
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "analytics/traversal.h"
#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "layout/layout_stats.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

// Layout-free answers: the relationships in identities and reach counts
// from several identities over FOLLOWS and over every type.
std::string answers(const Database& db) {
  std::string out = testing::edges_of(db);
  for (std::uint32_t hub : {0u, 1u, 7u, 42u, 199u}) {
    for (int hops : {1, 2, 3, 6}) {
      out += " " + std::to_string(hop_reach(db.graph, hub, hops, db.follows_type)) + "/" +
             std::to_string(hop_reach(db.graph, hub, hops, kAllTypes));
    }
  }
  return out;
}

TEST(CuthillMcKee, HubsFirstNeighboursByDegreeTiesByPosition) {
  const std::tuple<const char*, Database, std::vector<std::uint32_t>> cases[] = {
      {"empty", GraphBuilder().compiled(), {}},
      // The centre, identity 3, moves to position 0; leaves by position.
      {"star", GraphBuilder().people({"l0", "l1", "l2", "c", "l4"}).follows("c", "l4").follows("c", "l0")
                   .follows("c", "l2").follows("c", "l1").compiled(), {3, 0, 1, 2, 4}},
      // B first (hub degree 4), then A from 0: neighbours 1, 3 (degree 0)
      // before 2 (degree 1), then 4 reached from 2; the isolate last.
      {"components", GraphBuilder().people({"a0", "a1", "a2", "a3", "a4", "b5", "b6", "b7", "b8", "b9", "z"})
                         .follows("a0", "a1").follows("a0", "a2").follows("a0", "a3").follows("a2", "a4")
                         .follows("b5", "b6").follows("b5", "b7").follows("b5", "b8").follows("b5", "b9").compiled(),
       {5, 6, 7, 8, 9, 0, 1, 3, 2, 4, 10}},
      {"a↔b↔c and d→e: b roots", testing::two_components(), {1, 0, 2, 3, 4}},
      {"equal hubs by position", GraphBuilder().people({"a", "b", "c", "d"}).follows("c", "d").follows("a", "b").compiled(),
       {0, 1, 2, 3}},
  };
  for (const auto& [what, db, order] : cases) EXPECT_EQ(order, hub_cuthill_mckee_order(db.graph)) << what;
}

TEST(Scatter, DeterministicSeedZeroEqualsOneCompilesFirstAndMessesTinyGraphs) {
  auto layout = [](std::uint32_t seed) {
    Database db;
    generate_corpus(db, 100, 30, 2);
    scatter_layout(db.graph, seed);
    return db.graph.to_physical;
  };
  EXPECT_EQ(layout(0), layout(1));
  EXPECT_EQ(layout(77), layout(77));
  EXPECT_NE(layout(77), layout(78));
  Database db = GraphBuilder().people({"a", "b", "c"}).follows("a", "b").uncompiled();
  scatter_layout(db.graph, 3);
  testing::check_invariants(db);
  // Mess level 3 on tiny corpora, and an empty graph laid out.
  for (int people : {0, 1, 3}) {
    Database tiny;
    generate_corpus(tiny, people, 2, 1);
    optimize_layout(tiny);
    apply_mess(tiny, 3, 1);
    EXPECT_EQ(static_cast<std::uint64_t>(people + 2 + 128), tiny.graph.node_count);
    testing::check_invariants(tiny);
  }
  Database empty = GraphBuilder().compiled();
  optimize_layout(empty);
  EXPECT_TRUE(empty.graph.compiled);
}

std::string render(const LayoutStats& s) {
  char text[256];
  std::snprintf(text, sizeof text, "H=%.4f mean=%.4f max/mean=%.4f core=%u:%llu iso=%llu recip=%llu par=%llu bw=%u jump=%.4f",
                s.degree_entropy, s.mean_out_degree, s.max_over_mean_degree, s.core_threshold,
                static_cast<unsigned long long>(s.core_node_count), static_cast<unsigned long long>(s.isolates),
                static_cast<unsigned long long>(s.reciprocal_pairs),
                static_cast<unsigned long long>(s.parallel_edge_groups), s.layout_bandwidth, s.mean_edge_jump);
  return text;
}

// The statistics that do not depend on positions: everything before "bw=".
std::string position_free_stats(const PhysicalGraph& g) {
  const std::string text = render(compute_layout_stats(g));
  return text.substr(0, text.find(" bw="));
}

TEST(EntropyWorker, RenumberingNeverChangesAnAnswer) {
  Database db;
  generate_corpus(db, 2000, 800, 42);
  db.graph.add_edge(650, 700, db.add_rel_type("CITES"));  // a parallel group
  db.graph.add_edge(650, 700, db.authored_type);
  optimize_layout(db);
  const std::string expected = answers(db);
  const std::string stats = position_free_stats(db.graph);
  EXPECT_NE(std::string::npos, stats.find(" par=1"));
  const std::uint64_t isolates = compute_layout_stats(db.graph).isolates;

  for (int level : {0, 1, 2, 3}) {
    SCOPED_TRACE("mess " + std::to_string(level));
    Database messed = db;
    apply_mess(messed, level, 9);
    EXPECT_EQ(level > 0, db.graph.to_physical != messed.graph.to_physical);
    EXPECT_EQ(db.graph.out_targets.size(), messed.graph.out_targets.size());  // duplicates collapse
    testing::check_invariants(messed);
    if (level < 3) {
      EXPECT_EQ(expected, answers(messed));
      continue;
    }
    // Level 3 adds 128 isolated persons; reach from existing nodes ignores them.
    EXPECT_EQ(db.graph.node_count + 128, messed.graph.node_count);
    EXPECT_EQ(isolates + 128, compute_layout_stats(messed.graph).isolates);
    EXPECT_EQ("junk-0", messed.names[db.graph.node_count]);
    EXPECT_EQ(db.people + 128, messed.people);
    EXPECT_EQ(hop_reach(db.graph, 0, 4, kAllTypes), hop_reach(messed.graph, 0, 4, kAllTypes));
  }

  scatter_layout(db.graph, 1234);
  EXPECT_EQ(expected, answers(db));
  EXPECT_EQ(stats, position_free_stats(db.graph));
  const double scattered = compute_layout_stats(db.graph).mean_edge_jump;
  optimize_layout(db);
  testing::check_invariants(db);
  EXPECT_EQ(expected, answers(db));
  EXPECT_LT(compute_layout_stats(db.graph).mean_edge_jump, scattered * 0.85);
  // The node with the highest out-degree sits at position 0.
  EXPECT_EQ(*std::max_element(db.graph.out_degree.begin(), db.graph.out_degree.end()), db.graph.out_degree[0]);
}

TEST(LayoutStats, HandCheckedGraphs) {
  const auto two = [] { return GraphBuilder().people({"a", "b", "c"}); };
  const std::tuple<const char*, Database, const char*> cases[] = {
      {"empty", GraphBuilder().compiled(),
       "H=0.0000 mean=0.0000 max/mean=0.0000 core=0:0 iso=0 recip=0 par=0 bw=0 jump=0.0000"},
      // A 4-cycle with chords: every out-degree 2; a↔c and b↔d.
      {"regular", GraphBuilder().people({"a", "b", "c", "d"}).follows("a", "b").follows("a", "c").follows("b", "c")
                      .follows("b", "d").follows("c", "d").follows("c", "a").follows("d", "a").follows("d", "b").compiled(),
       "H=0.0000 mean=2.0000 max/mean=1.0000 core=2:4 iso=0 recip=2 par=0 bw=3 jump=1.7500"},
      // Degrees {0, 0, 0, 4}, d's self-loop among them: floor(1 + sqrt(3)) = 2;
      // a self-loop is never reciprocal.
      {"skewed", GraphBuilder().people({"a", "b", "c", "d"}).follows("d", "a").follows("d", "b").follows("d", "c")
                     .follows("d", "d").compiled(),
       "H=0.8113 mean=1.0000 max/mean=4.0000 core=2:1 iso=3 recip=0 par=0 bw=3 jump=1.5000"},
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
  for (const auto& [what, db, expected] : cases) EXPECT_EQ(expected, render(compute_layout_stats(db.graph))) << what;
}

}  // namespace
}  // namespace orvane
