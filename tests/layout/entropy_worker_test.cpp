// Entropy worker: the Cuthill–McKee order on hand-checked graphs, scatter
// determinism, the mess levels, and answers unchanged by every renumbering.
#include <gtest/gtest.h>

#include <set>

#include "analytics/traversal.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "layout/layout_stats.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

// Layout-free answers: reach counts from several identities and types, and
// the relationship set in identities.
std::string answers(const Database& db) {
  std::string out = testing::edges_of(db);
  const std::uint32_t probes[] = {0, 1, 7, 42, 199};
  for (std::uint32_t hub : probes) {
    if (hub >= db.graph.node_count) continue;
    for (int hops : {1, 2, 3, 6}) {
      out += " " + std::to_string(hop_reach(db.graph, hub, hops, db.follows_type));
      out += "/" + std::to_string(hop_reach(db.graph, hub, hops, kAllTypes));
    }
  }
  return out;
}

TEST(CuthillMcKee, StarPutsCentreFirstThenLeavesByPosition) {
  // Centre is identity 3, so the order must move it to position 0.
  Database db = GraphBuilder()
                    .people({"l0", "l1", "l2", "c", "l4"})
                    .follows("c", "l4").follows("c", "l0").follows("c", "l2").follows("c", "l1")
                    .compiled();
  EXPECT_EQ((std::vector<std::uint32_t>{3, 0, 1, 2, 4}), hub_cuthill_mckee_order(db.graph));
  optimize_layout(db);
  EXPECT_EQ(0u, db.graph.to_physical[3]);
}

TEST(CuthillMcKee, NeighboursByDegreeThenComponentsByHubDegree) {
  // Component A: hub 0 (degree 3) → 1, 2, 3; 2 → 4 gives 2 degree 1.
  // Component B: hub 5 (degree 4) → 6 … 9. Node 10 is isolated.
  Database db = GraphBuilder()
                    .people({"a0", "a1", "a2", "a3", "a4", "b5", "b6", "b7", "b8", "b9", "z"})
                    .follows("a0", "a1").follows("a0", "a2").follows("a0", "a3").follows("a2", "a4")
                    .follows("b5", "b6").follows("b5", "b7").follows("b5", "b8").follows("b5", "b9")
                    .compiled();
  // B first (hub degree 4), then A from 0: neighbours 1, 3 (degree 0) before
  // 2 (degree 1); then 4 reached from 2; the isolate last.
  EXPECT_EQ((std::vector<std::uint32_t>{5, 6, 7, 8, 9, 0, 1, 3, 2, 4, 10}), hub_cuthill_mckee_order(db.graph));
}

TEST(CuthillMcKee, EqualHubDegreesTieByPosition) {
  Database db = testing::two_components();  // a↔b↔c and d→e
  // Degrees: a 1, b 2, c 1, d 1, e 0. b roots the first component.
  EXPECT_EQ((std::vector<std::uint32_t>{1, 0, 2, 3, 4}), hub_cuthill_mckee_order(db.graph));
  Database twins = GraphBuilder().people({"a", "b", "c", "d"}).follows("c", "d").follows("a", "b").compiled();
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 3}), hub_cuthill_mckee_order(twins.graph));
}

TEST(CuthillMcKee, EmptyGraph) {
  Database db;
  db.compile();
  EXPECT_TRUE(hub_cuthill_mckee_order(db.graph).empty());
  optimize_layout(db);
  EXPECT_TRUE(db.graph.compiled);
}

TEST(Scatter, DeterministicAndSeedZeroEqualsOne) {
  auto layout = [](std::uint32_t seed) {
    Database db;
    generate_corpus(db, 100, 30, 2);
    scatter_layout(db.graph, seed);
    return db.graph.to_physical;
  };
  EXPECT_EQ(layout(0), layout(1));
  EXPECT_EQ(layout(77), layout(77));
  EXPECT_NE(layout(77), layout(78));
  Database single = GraphBuilder().people({"a"}).compiled();
  scatter_layout(single.graph, 5);
  EXPECT_EQ((std::vector<std::uint32_t>{0}), single.graph.to_physical);
}

TEST(Scatter, CompilesFirstWhenNeeded) {
  Database db = GraphBuilder().people({"a", "b", "c"}).follows("a", "b").uncompiled();
  scatter_layout(db.graph, 3);
  EXPECT_TRUE(db.graph.compiled);
  testing::check_invariants(db);
}

TEST(EntropyWorker, NeverChangesAnAnswerWhileLoweringMeanJump) {
  Database db;
  generate_corpus(db, 2000, 800, 42);
  optimize_layout(db);
  const std::string expected = answers(db);
  scatter_layout(db.graph, 1234);
  EXPECT_EQ(expected, answers(db));
  const double scattered = compute_layout_stats(db.graph).mean_edge_jump;
  optimize_layout(db);
  testing::check_invariants(db);
  EXPECT_EQ(expected, answers(db));
  const double optimised = compute_layout_stats(db.graph).mean_edge_jump;
  EXPECT_LT(optimised, scattered * 0.85) << "scattered " << scattered << " optimised " << optimised;
  // The node with the highest out-degree (lowest identity among equals, as
  // the scatter is undone by the ordering's own tie-break) sits at position 0.
  const std::uint32_t hub = db.graph.to_logical[0];
  for (std::uint32_t p = 1; p < db.graph.node_count; ++p) {
    EXPECT_LE(db.graph.out_degree[p], db.graph.out_degree[0]) << "position " << p << " outranks the hub " << hub;
  }
}

TEST(Mess, LevelsKeepRelationshipsAndAddOnlyIsolatedJunk) {
  Database db;
  generate_corpus(db, 1500, 500, 42);
  optimize_layout(db);
  const std::string expected = answers(db);
  const std::size_t relationships = db.graph.out_targets.size();
  const std::uint64_t isolates = compute_layout_stats(db.graph).isolates;

  Database level0 = db;
  apply_mess(level0, 0, 9);
  EXPECT_EQ(db.graph.to_physical, level0.graph.to_physical);

  Database level1 = db;
  apply_mess(level1, 1, 9);
  EXPECT_NE(db.graph.to_physical, level1.graph.to_physical);
  EXPECT_EQ(expected, answers(level1));

  Database level2 = db;
  apply_mess(level2, 2, 9);
  EXPECT_EQ(relationships, level2.graph.out_targets.size());
  EXPECT_EQ(expected, answers(level2));
  testing::check_invariants(level2);

  Database level3 = db;
  apply_mess(level3, 3, 9);
  EXPECT_EQ(relationships, level3.graph.out_targets.size());
  EXPECT_EQ(db.graph.node_count + 128, level3.graph.node_count);
  EXPECT_EQ(isolates + 128, compute_layout_stats(level3.graph).isolates);
  EXPECT_EQ("junk-0", level3.names[db.graph.node_count]);
  EXPECT_EQ("junk-127", level3.names.back());
  EXPECT_EQ(db.people + 128, level3.people);
  testing::check_invariants(level3);
  // Reach counts from existing nodes ignore the isolated junk.
  EXPECT_EQ(hop_reach(db.graph, 0, 4, kAllTypes), hop_reach(level3.graph, 0, 4, kAllTypes));
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
}

}  // namespace
}  // namespace orvane
