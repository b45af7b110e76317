// Entropy worker: the Cuthill–McKee order on hand-checked graphs, scatter
// determinism, the mess levels, and answers unchanged by every renumbering.
#include <gtest/gtest.h>

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
  const struct {
    const char* what;
    Database db;
    std::vector<std::uint32_t> order;
  } cases[] = {
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
  for (const auto& c : cases) EXPECT_EQ(c.order, hub_cuthill_mckee_order(c.db.graph)) << c.what;
}

TEST(Scatter, DeterministicSeedZeroEqualsOneAndCompilesFirst) {
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
}

TEST(EntropyWorker, RenumberingNeverChangesAnAnswer) {
  Database db;
  generate_corpus(db, 2000, 800, 42);
  optimize_layout(db);
  const std::string expected = answers(db);
  const std::size_t relationships = db.graph.out_targets.size();
  const std::uint64_t isolates = compute_layout_stats(db.graph).isolates;

  for (int level : {0, 1, 2, 3}) {
    SCOPED_TRACE("mess " + std::to_string(level));
    Database messed = db;
    apply_mess(messed, level, 9);
    EXPECT_EQ(level > 0, db.graph.to_physical != messed.graph.to_physical);
    EXPECT_EQ(relationships, messed.graph.out_targets.size());  // duplicates collapse
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
  const double scattered = compute_layout_stats(db.graph).mean_edge_jump;
  optimize_layout(db);
  testing::check_invariants(db);
  EXPECT_EQ(expected, answers(db));
  const double optimised = compute_layout_stats(db.graph).mean_edge_jump;
  EXPECT_LT(optimised, scattered * 0.85) << "scattered " << scattered << " optimised " << optimised;
  // The node with the highest out-degree sits at position 0.
  EXPECT_EQ(*std::max_element(db.graph.out_degree.begin(), db.graph.out_degree.end()), db.graph.out_degree[0]);
}

TEST(Mess, TinyGraphsSurviveEveryLevel) {
  for (int people : {0, 1, 3}) {
    Database db;
    generate_corpus(db, people, 2, 1);
    optimize_layout(db);
    apply_mess(db, 3, 1);
    EXPECT_EQ(static_cast<std::uint64_t>(people + 2 + 128), db.graph.node_count);
    testing::check_invariants(db);
  }
  Database empty = GraphBuilder().compiled();
  optimize_layout(empty);
  EXPECT_TRUE(empty.graph.compiled);
}

}  // namespace
}  // namespace orvane
