// CSR compilation, permutation and installation: the arrays' invariants,
// their run order, deduplication, and answers unchanged by renumbering.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "graph/corpus.h"
#include "graph/database.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::check_invariants;
using testing::edges_of;
using testing::GraphBuilder;

std::vector<std::uint32_t> run(NodeRun r) { return {r.begin(), r.end()}; }

TEST(Csr, EmptyGraphCompiles) {
  Database db;
  db.compile();
  EXPECT_TRUE(db.graph.compiled);
  EXPECT_EQ((std::vector<std::uint32_t>{0}), db.graph.out_offsets);
  EXPECT_EQ((std::vector<std::uint32_t>{0}), db.graph.in_offsets);
  EXPECT_TRUE(db.graph.out_targets.empty());
  EXPECT_EQ(0u, db.graph.rel_type_count);
  EXPECT_TRUE(db.graph.typed_out.offsets.empty());
}

TEST(Csr, DuplicatesCollapseButTypesStayDistinct) {
  // A self-loop takes one slot each way.
  Database db = GraphBuilder().people({"a", "b"}).follows("a", "b").follows("a", "b").edge("a", "b", "AUTHORED")
                    .follows("b", "b").compiled();
  check_invariants(db);
  EXPECT_EQ("0->1 0-[AUTHORED]->1 1->1", edges_of(db));
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 0}), run(db.graph.in_neighbors(1)));  // by (type, source)
  EXPECT_EQ((std::vector<std::uint32_t>{1, 1}), run(db.graph.out_neighbors(0)));
  EXPECT_EQ((std::vector<std::uint16_t>{0, 1}),
            std::vector<std::uint16_t>(db.graph.out_edge_types(0).begin(), db.graph.out_edge_types(0).end()));
  EXPECT_EQ(2u, db.graph.out_degree[0]);
}

TEST(Csr, TypedReadersAndRelTypeCount) {
  Database db = testing::triangle();
  EXPECT_EQ(1u, db.graph.rel_type_count);
  EXPECT_TRUE(db.graph.typed_out_neighbors(0, db.authored_type).empty());
  EXPECT_FALSE(db.graph.has_edge(0, 1, db.authored_type));
  EXPECT_TRUE(db.graph.has_edge(0, 1, db.follows_type));
  EXPECT_FALSE(db.graph.has_edge(1, 0, db.follows_type));
  EXPECT_TRUE(db.graph.typed_out_neighbors(0, kAllTypes).empty());
  EXPECT_EQ((std::vector<std::uint32_t>{2}), run(db.graph.typed_in_neighbors(0, 0)));
  EXPECT_EQ((std::vector<std::uint32_t>{1}), run(db.graph.identity_out_neighbors(0)));
  EXPECT_THROW(db.graph.identity_out_neighbors(3), std::out_of_range);
}

TEST(Csr, ReadersAreEmptyWhileUncompiled) {
  Database db = testing::triangle();
  db.add_person("dan", 0);
  EXPECT_TRUE(db.graph.out_neighbors(0).empty());
  EXPECT_TRUE(db.graph.in_neighbors(0).empty());
  EXPECT_TRUE(db.graph.typed_out_neighbors(0, 0).empty());
  EXPECT_TRUE(db.graph.typed_in_neighbors(0, 0).empty());
  EXPECT_FALSE(db.graph.has_edge(0, 1, 0));
}

TEST(Csr, CompileIsIdempotent) {
  Database db;
  generate_corpus(db, 300, 100, 7);
  const PhysicalGraph first = db.graph;
  db.compile();
  EXPECT_EQ(first.edges, db.graph.edges);
  EXPECT_EQ(first.out_targets, db.graph.out_targets);
  EXPECT_EQ(first.in_sources, db.graph.in_sources);
  EXPECT_EQ(first.typed_out.neighbours, db.graph.typed_out.neighbours);
}

// The counting-sort path (large lists) must give exactly the order of one
// global sort by (src, dst, type), with duplicates removed.
TEST(Csr, LargeEdgeListSortsLikeAGlobalSort) {
  Database db;
  for (int i = 0; i < 500; ++i) db.add_person("p" + std::to_string(i), 0);
  db.add_rel_type("KNOWS");
  std::mt19937 rng(5);
  std::vector<Edge> expected;
  for (int i = 0; i < 20000; ++i) {
    const Edge e{static_cast<std::uint32_t>(rng() % 500), static_cast<std::uint32_t>(rng() % 500),
                 static_cast<std::uint16_t>(rng() % 3)};
    db.graph.add_edge(e.src, e.dst, e.type);
    expected.push_back(e);
  }
  std::sort(expected.begin(), expected.end(),
            [](const Edge& a, const Edge& b) { return std::tie(a.src, a.dst, a.type) < std::tie(b.src, b.dst, b.type); });
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  db.compile();
  EXPECT_EQ(expected, db.graph.edges);
  check_invariants(db);
}

TEST(Csr, PermutationRenumbersWithoutChangingRelationships) {
  Database db;
  generate_corpus(db, 200, 60, 3);
  check_invariants(db);
  const std::string before = edges_of(db);
  std::vector<std::uint32_t> order(db.graph.node_count);
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  db.graph.apply_permutation(order);  // identity permutation changes nothing
  EXPECT_EQ(before, edges_of(db));
  std::mt19937 rng(11);
  std::shuffle(order.begin(), order.end(), rng);
  db.graph.apply_permutation(order);
  check_invariants(db);
  // Positions equalled identities before the shuffle, so the node now at
  // position k is the one that was at position order[k].
  for (std::uint32_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], db.graph.to_logical[k]);
  EXPECT_EQ(before, edges_of(db));
}

TEST(Csr, PermutationOfWrongLengthChangesNothing) {
  Database db = testing::triangle();
  const PhysicalGraph before = db.graph;
  EXPECT_THROW(db.graph.apply_permutation({0, 1}), std::invalid_argument);
  EXPECT_EQ(before.to_physical, db.graph.to_physical);
  EXPECT_EQ(before.out_targets, db.graph.out_targets);
}

TEST(Csr, InstallCompiledSortsRunsAndRebuildsEdges) {
  // 0 → {2 (type 1), 1 (type 0), 2 (type 0)}, 1 → {0 (type 0)}, runs unsorted.
  Database db;
  db.add_person("a", 0);
  db.add_person("b", 0);
  db.add_paper("c", 0);
  PhysicalGraph& g = db.graph;
  g.install_compiled({0, 0, 1}, {0, 1, 2}, {0, 1, 2}, {0, 3, 4, 4}, {2, 1, 2, 0}, {1, 0, 0, 0}, {0, 1, 2, 4},
                     {1, 0, 0, 0}, {0, 0, 1, 0});
  EXPECT_TRUE(g.compiled);
  EXPECT_EQ(2u, g.rel_type_count);
  EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 2}), run(g.out_neighbors(0)));
  EXPECT_EQ((std::vector<std::uint16_t>{0, 0, 1}),
            std::vector<std::uint16_t>(g.out_edge_types(0).begin(), g.out_edge_types(0).end()));
  EXPECT_EQ((std::vector<std::uint32_t>{0, 0}), run(g.in_neighbors(2)));
  EXPECT_EQ((std::vector<std::uint16_t>{0, 1}),
            std::vector<std::uint16_t>(g.in_edge_types(2).begin(), g.in_edge_types(2).end()));
  EXPECT_EQ(3u, g.out_degree[0]);
  ASSERT_EQ(4u, g.edges.size());
  EXPECT_EQ((Edge{0, 1, 0}), g.edges[0]);
  EXPECT_EQ((Edge{0, 2, 1}), g.edges[2]);
  EXPECT_EQ((Edge{1, 0, 0}), g.edges[3]);
  EXPECT_TRUE(g.has_edge(0, 2, 1));
  db.compile();
  check_invariants(db);
}

}  // namespace
}  // namespace orvane
