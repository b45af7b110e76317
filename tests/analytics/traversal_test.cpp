// The focus of this file is the traversal kernels on hand-built graphs whose
// answers can be checked by hand: the two-node cycle, stars, self-loops,
// hubs out of range and uncompiled graphs.
#include "analytics/traversal.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

constexpr std::uint16_t F = 0;  // FOLLOWS
constexpr std::uint16_t A = 1;  // AUTHORED

Database two_cycle() { return GraphBuilder().people({"a", "b"}).follows("a", "b").follows("b", "a").compiled(); }

TEST(Traversal, TwoNodeCycleFacts) {
  const Database db = two_cycle();
  EXPECT_EQ(1u, cycles_from_hub(db.graph, 0, 2, F));
  EXPECT_EQ(0u, paths_count(db.graph, 0, 3, F, Direction::Outgoing));  // a→b→a→b reuses a→b
  EXPECT_EQ(0u, paths_count(db.graph, 0, 4, F, Direction::Outgoing));
  EXPECT_EQ(1u, paths_len2(db.graph, 0, F));
  EXPECT_EQ(2u, varlength_distinct(db.graph, 0, 2, 4, F, Direction::Outgoing));
  EXPECT_EQ(1u, varlength_distinct(db.graph, 0, 4, 4, F, Direction::Outgoing));
  EXPECT_EQ(0u, cycles_from_hub(db.graph, 0, 3, F));
  EXPECT_EQ(0u, cycles_from_hub(db.graph, 0, 4, F));  // a→b→a→b→a reuses both
  EXPECT_EQ(1u, cycles_from_hub(db.graph, 0, 6, F));  // closed walks count from length 5 on
  EXPECT_EQ(0u, cycles_from_hub(db.graph, 0, 5, F));
}

TEST(Traversal, HopReachLimits) {
  const Database db = testing::star(5);
  EXPECT_EQ(0u, hop_reach(db.graph, 0, -1, F));
  EXPECT_EQ(1u, hop_reach(db.graph, 0, 0, F));
  EXPECT_EQ(6u, hop_reach(db.graph, 0, 1, F));
  EXPECT_EQ(6u, hop_reach(db.graph, 0, 9, F));
  // A leaf has no outgoing relationships: 1 for every positive hop count.
  for (int hops = 1; hops < 5; ++hops) EXPECT_EQ(1u, hop_reach(db.graph, 3, hops, F));
  EXPECT_EQ(5u, hop1_count(db.graph, 0, F));
  EXPECT_EQ(0u, hop1_count(db.graph, 0, A));  // registered type without relationships
  EXPECT_EQ(0u, hop1_count(db.graph, 0, 7));  // type beyond the schema
}

TEST(Traversal, StarPathsAndWedges) {
  const Database db = testing::star(4);
  EXPECT_EQ(0u, paths_len2(db.graph, 0, F));
  EXPECT_EQ(4u, paths_count(db.graph, 0, 1, F, Direction::Outgoing));
  EXPECT_EQ(1u, paths_count(db.graph, 0, 0, F, Direction::Outgoing));
  EXPECT_EQ(0u, paths_count(db.graph, 0, -2, F, Direction::Outgoing));
  // From a leaf, both directions: leaf→centre (incoming list), then 4 leaves.
  EXPECT_EQ(4u, paths_count(db.graph, 1, 2, F, Direction::Both));
  EXPECT_EQ(0u, wedge_in_of_out(db.graph, 0, F, true));  // the only source of every leaf is the hub
  EXPECT_EQ(4u, wedge_in_of_out(db.graph, 0, F, false));
  EXPECT_EQ(4u, followers_targets(db.graph, 1, F, F, true));
}

TEST(Traversal, SelfLoopCountsOnce) {
  const Database db = GraphBuilder().people({"a", "b"}).follows("a", "a").follows("a", "b").compiled();
  EXPECT_EQ(2u, hop_reach(db.graph, 0, 3, F));
  EXPECT_EQ(1u, cycles_from_hub(db.graph, 0, 2, F));
  EXPECT_EQ(1u, cycles_from_hub(db.graph, 0, 3, F));  // a→a→a→a: walks, no exclusions
  EXPECT_EQ(0u, cycles_from_hub(db.graph, 0, 4, F));  // would reuse a→a
  EXPECT_EQ(2u, paths_len2(db.graph, 0, F));
  EXPECT_EQ(0u, paths_count(db.graph, 0, 3, F, Direction::Outgoing));
}

TEST(Traversal, TwoTypePatterns) {
  // p0 and p1 wrote q0, p1 and p2 wrote q1; p0 follows p1, p2 follows p0.
  const Database db = GraphBuilder()
                          .people({"p0", "p1", "p2"})
                          .papers({"q0", "q1"})
                          .authored("p0", "q0").authored("p1", "q0").authored("p1", "q1").authored("p2", "q1")
                          .follows("p0", "p1").follows("p2", "p0").follows("p1", "p0")
                          .compiled();
  EXPECT_EQ(1u, hop1_count(db.graph, 0, A));
  EXPECT_EQ(2u, two_step_targets(db.graph, 0, F, A, true));  // p1 wrote q0 and q1
  EXPECT_EQ(1u, coauthors(db.graph, 0, A, true));            // p1
  EXPECT_EQ(2u, coauthors(db.graph, 0, A, false));           // p0, p1
  EXPECT_EQ(1u, coauthors_of_followed(db.graph, 0, F, A));   // p2 via q1; p0 and p1 left out
  EXPECT_EQ(2u, followers_targets(db.graph, 0, F, A, true)); // followers p1 and p2 wrote q0, q1
  EXPECT_EQ(3u, followers_targets(db.graph, 0, F, A, false));
  EXPECT_EQ(1u, coauthor_follows_back(db.graph, 0, A, F));   // p1 follows p0 back
  EXPECT_EQ(1u, mixed_2hop_targets(db.graph, 0, F, A, true)); // p0→p1→p0 wrote q0
  EXPECT_EQ(2u, hop_range_targets(db.graph, 0, 1, 2, F, A));  // p1 at level 1, p0 at level 2
  EXPECT_EQ(1u, hop_range_targets(db.graph, 0, 2, 2, F, A));
}

using Kernel = std::function<std::uint64_t(const PhysicalGraph&, std::uint32_t)>;

const std::vector<std::pair<std::string, Kernel>>& every_kernel() {
  static const std::vector<std::pair<std::string, Kernel>> kernels = {
      {"hop1_count", [](const PhysicalGraph& g, std::uint32_t h) { return hop1_count(g, h, F); }},
      {"hop_reach", [](const PhysicalGraph& g, std::uint32_t h) { return hop_reach(g, h, 3, F); }},
      {"paths_len2", [](const PhysicalGraph& g, std::uint32_t h) { return paths_len2(g, h, F); }},
      {"paths_count", [](const PhysicalGraph& g, std::uint32_t h) { return paths_count(g, h, 0, F, Direction::Both); }},
      {"two_step_targets", [](const PhysicalGraph& g, std::uint32_t h) { return two_step_targets(g, h, F, A, true); }},
      {"coauthors", [](const PhysicalGraph& g, std::uint32_t h) { return coauthors(g, h, A, true); }},
      {"wedge_in_of_out", [](const PhysicalGraph& g, std::uint32_t h) { return wedge_in_of_out(g, h, F, true); }},
      {"coauthors_of_followed", [](const PhysicalGraph& g, std::uint32_t h) { return coauthors_of_followed(g, h, F, A); }},
      {"mixed_2hop_targets", [](const PhysicalGraph& g, std::uint32_t h) { return mixed_2hop_targets(g, h, F, A, true); }},
      {"followers_targets", [](const PhysicalGraph& g, std::uint32_t h) { return followers_targets(g, h, F, A, true); }},
      {"coauthor_follows_back", [](const PhysicalGraph& g, std::uint32_t h) { return coauthor_follows_back(g, h, A, F); }},
      {"hop_range_targets", [](const PhysicalGraph& g, std::uint32_t h) { return hop_range_targets(g, h, 0, 2, F, A); }},
      {"cycles_from_hub", [](const PhysicalGraph& g, std::uint32_t h) { return cycles_from_hub(g, h, 4, F); }},
      {"varlength_distinct", [](const PhysicalGraph& g, std::uint32_t h) { return varlength_distinct(g, h, 0, 2, F, Direction::Outgoing); }},
  };
  return kernels;
}

TEST(Traversal, EveryKernelRefusesUncompiledGraph) {
  Database db = testing::triangle();
  db.add_person("late", 0);
  for (const auto& [name, kernel] : every_kernel()) {
    SCOPED_TRACE(name);
    try {
      kernel(db.graph, 0);
      ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& e) {
      EXPECT_STREQ("query requires compiled physical graph", e.what());
    }
  }
  std::vector<std::uint8_t> marks(db.graph.node_count, 0);
  std::vector<std::uint32_t> next;
  EXPECT_THROW(expand_frontier(db.graph, {0}, F, Direction::Outgoing, marks, next), std::logic_error);
}

// Regression: the hub used to become a position without a range check.
TEST(Traversal, HubOutOfRangeCountsZeroOnEveryKernel) {
  const Database db = testing::triangle();
  Database empty;
  empty.compile();
  for (const auto& [name, kernel] : every_kernel()) {
    SCOPED_TRACE(name);
    EXPECT_EQ(0u, kernel(db.graph, 3));
    EXPECT_EQ(0u, kernel(db.graph, kNoNode));
    EXPECT_EQ(0u, kernel(empty.graph, 0));
  }
}

TEST(Traversal, ExpandFrontierMarksEachNeighbourOnce) {
  const Database db = testing::two_components();
  std::vector<std::uint8_t> marks(db.graph.node_count, 0);
  const std::uint32_t b = db.graph.to_physical[1];
  marks[b] = 1;
  std::vector<std::uint32_t> next{99};
  expand_frontier(db.graph, {b, b}, F, Direction::Both, marks, next);
  ASSERT_EQ(2u, next.size());  // a and c, each once, the stale entry gone
  EXPECT_EQ(std::vector<std::uint32_t>({db.graph.to_physical[0], db.graph.to_physical[2]}), next);
}

}  // namespace
}  // namespace orvane
