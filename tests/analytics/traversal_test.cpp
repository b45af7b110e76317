// The focus of this file is the traversal kernels on hand-built graphs whose
// answers can be checked by hand, hubs out of range and uncompiled graphs.
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

TEST(Traversal, HandCheckedCounts) {
  const PhysicalGraph cycle = GraphBuilder().people({"a", "b"}).follows("a", "b").follows("b", "a").compiled().graph;
  const PhysicalGraph star = testing::star(4).graph;
  const PhysicalGraph loop = GraphBuilder().people({"a", "b"}).follows("a", "a").follows("a", "b").compiled().graph;
  // p0 and p1 wrote q0, p1 and p2 wrote q1; p0 → p1, p2 → p0, p1 → p0.
  const PhysicalGraph two = GraphBuilder()
                                .people({"p0", "p1", "p2"})
                                .papers({"q0", "q1"})
                                .authored("p0", "q0").authored("p1", "q0").authored("p1", "q1").authored("p2", "q1")
                                .follows("p0", "p1").follows("p2", "p0").follows("p1", "p0")
                                .compiled()
                                .graph;
  const struct {
    const char* what;
    std::uint64_t got, want;
  } cases[] = {
      {"2-cycle: closed walk of 2", cycles_from_hub(cycle, 0, 2, F), 1},
      {"2-cycle: a→b→a→b reuses a→b", paths_count(cycle, 0, 3, F, Out), 0},
      {"2-cycle: cycle of 4 reuses both", cycles_from_hub(cycle, 0, 4, F), 0},
      {"2-cycle: closed walks count from length 5", cycles_from_hub(cycle, 0, 6, F), 1},
      {"2-cycle: varlength 2..4", varlength_distinct(cycle, 0, 2, 4, F, Out), 2},
      {"star: reach, no hops", hop_reach(star, 0, 0, F), 1},
      {"star: reach beyond depth", hop_reach(star, 0, 9, F), 5},
      {"star: leaf reach", hop_reach(star, 3, 4, F), 1},
      {"star: negative hops", hop_reach(star, 0, -1, F), 0},
      {"star: type without relationships", hop1_count(star, 0, A), 0},
      {"star: type beyond the schema", hop1_count(star, 0, 7), 0},
      {"star: path of length 0", paths_count(star, 0, 0, F, Out), 1},
      {"star: leaf, both directions", paths_count(star, 1, 2, F, Direction::Both), 4},
      {"star: wedge, distinct", wedge_in_of_out(star, 0, F, true), 0},
      {"star: wedge, all", wedge_in_of_out(star, 0, F, false), 4},
      {"self-loop: reach", hop_reach(loop, 0, 3, F), 2},
      {"self-loop: a→a→a→a is a walk", cycles_from_hub(loop, 0, 3, F), 1},
      {"self-loop: cycle of 4 would reuse a→a", cycles_from_hub(loop, 0, 4, F), 0},
      {"self-loop: paths of 2", paths_len2(loop, 0, F), 2},
      {"two types: papers of followed", two_step_targets(two, 0, F, A, true), 2},
      {"two types: coauthors without hub", coauthors(two, 0, A, true), 1},
      {"two types: coauthors of followed", coauthors_of_followed(two, 0, F, A), 1},
      {"two types: followers' papers", followers_targets(two, 0, F, A, false), 3},
      {"two types: coauthor follows back", coauthor_follows_back(two, 0, A, F), 1},
      {"two types: mixed 2-hop", mixed_2hop_targets(two, 0, F, A, true), 1},
      {"two types: hop range 1..2", hop_range_targets(two, 0, 1, 2, F, A), 2},
      {"two types: hop range 2..2", hop_range_targets(two, 0, 2, 2, F, A), 1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, c.got) << c.what;
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
