// The traversal kernels on hand-built graphs, hubs out of range and
// uncompiled graphs.
#include "analytics/traversal.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;
constexpr std::uint16_t F = 0, A = 1;  // FOLLOWS, AUTHORED
constexpr auto Out = Direction::Outgoing;

// The subtle definitions, by hand; the oracle in kernel_differential_test
// checks every kernel at large.
TEST(Traversal, HandCheckedCounts) {
  const PhysicalGraph cycle = GraphBuilder().people({"a", "b"}).follows("a", "b").follows("b", "a").compiled().graph;
  const PhysicalGraph loop = GraphBuilder().people({"a", "b"}).follows("a", "a").follows("a", "b").compiled().graph;
  const PhysicalGraph star = testing::star(4).graph;
  EXPECT_EQ(0u, paths_count(cycle, 0, 3, F, Out));      // a→b→a→b reuses a→b
  EXPECT_EQ(0u, cycles_from_hub(cycle, 0, 4, F));       // reuses both
  EXPECT_EQ(1u, cycles_from_hub(cycle, 0, 6, F));       // closed walks from length 5 on
  EXPECT_EQ(1u, cycles_from_hub(loop, 0, 3, F));        // a→a→a→a: a walk, no exclusions
  EXPECT_EQ(0u, cycles_from_hub(loop, 0, 4, F));        // would reuse a→a
  EXPECT_EQ(2u, hop_reach(loop, 0, 3, F));
  EXPECT_EQ(4u, paths_count(star, 1, 2, F, Direction::Both));  // leaf→centre over the incoming list, then 4 leaves
  EXPECT_EQ(0u, wedge_in_of_out(star, 0, F, true));     // the only source of every leaf is the hub
  // From level 0 on, the hub's own papers count, even when no walk returns to it.
  const PhysicalGraph wrote = GraphBuilder().people({"a", "b"}).papers({"q"}).authored("a", "q").follows("a", "b")
                                  .compiled().graph;
  EXPECT_EQ(1u, hop_range_targets(wrote, 0, 0, 1, F, A));
}

TEST(Traversal, EveryKernelRefusesUncompiledAndCountsZeroForAMissingHub) {
  using Kernel = std::function<std::uint64_t(const PhysicalGraph&, std::uint32_t)>;
  const Kernel kernels[] = {
      [](auto& g, auto h) { return hop1_count(g, h, F); },
      [](auto& g, auto h) { return hop_reach(g, h, 3, F); },
      [](auto& g, auto h) { return paths_len2(g, h, F); },
      [](auto& g, auto h) { return paths_count(g, h, 0, F, Direction::Both); },
      [](auto& g, auto h) { return two_step_targets(g, h, F, A, true); },
      [](auto& g, auto h) { return coauthors(g, h, A, true); },
      [](auto& g, auto h) { return wedge_in_of_out(g, h, F, true); },
      [](auto& g, auto h) { return coauthors_of_followed(g, h, F, A); },
      [](auto& g, auto h) { return mixed_2hop_targets(g, h, F, A, true); },
      [](auto& g, auto h) { return followers_targets(g, h, F, A, true); },
      [](auto& g, auto h) { return coauthor_follows_back(g, h, A, F); },
      [](auto& g, auto h) { return hop_range_targets(g, h, 0, 2, F, A); },
      [](auto& g, auto h) { return cycles_from_hub(g, h, 4, F); },
      [](auto& g, auto h) { return varlength_distinct(g, h, 0, 2, F, Out); },
  };
  const Database db = testing::triangle(), empty = GraphBuilder().compiled();
  Database late = testing::triangle();
  late.add_person("late", 0);  // clears `compiled`
  for (std::size_t k = 0; k < std::size(kernels); ++k) {
    SCOPED_TRACE("kernel " + std::to_string(k));
    // Regression: the hub used to become a position without a range check.
    EXPECT_EQ(0u, kernels[k](db.graph, 3));
    EXPECT_EQ(0u, kernels[k](db.graph, kNoNode));
    EXPECT_EQ(0u, kernels[k](empty.graph, 0));
    try {
      kernels[k](late.graph, 0);
      ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& e) {
      EXPECT_STREQ("query requires compiled physical graph", e.what());
    }
  }
  std::vector<std::uint8_t> marks(late.graph.node_count, 0);
  std::vector<std::uint32_t> next;
  EXPECT_THROW(expand_frontier(late.graph, {0}, F, Out, marks, next), std::logic_error);
}

TEST(Traversal, ExpandFrontierMarksEachNeighbourOnce) {
  const Database db = testing::two_components();
  std::vector<std::uint8_t> marks(db.graph.node_count, 0);
  const std::uint32_t b = db.graph.to_physical[1];
  marks[b] = 1;
  std::vector<std::uint32_t> next{99};
  expand_frontier(db.graph, {b, b}, F, Direction::Both, marks, next);
  // a and c, each once, the stale entry gone.
  EXPECT_EQ(std::vector<std::uint32_t>({db.graph.to_physical[0], db.graph.to_physical[2]}), next);
}

}  // namespace
}  // namespace orvane
