// CSR compilation and permutation: the arrays' invariants, their run order,
// deduplication, and relationships unchanged by renumbering (installation
// from a file is checked through the snapshot loader); and the corpus
// generator that fills them: pinned facts of the format (draw order, names,
// counts) and byte-for-byte determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::check_invariants;
using testing::edges_of;
using testing::GraphBuilder;

std::vector<std::uint32_t> run(NodeRun r) { return {r.begin(), r.end()}; }
std::vector<std::uint16_t> types(TypeRun r) { return {r.begin(), r.end()}; }

TEST(Csr, DuplicatesCollapseButTypesStayDistinct) {
  // A self-loop takes one slot each way.
  Database db = GraphBuilder().people({"a", "b"}).follows("a", "b").follows("a", "b").edge("a", "b", "AUTHORED")
                    .follows("b", "b").compiled();
  check_invariants(db);
  EXPECT_EQ("0->1 0-[AUTHORED]->1 1->1", edges_of(db));
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 0}), run(db.graph.in_neighbors(1)));  // by (type, source)
  EXPECT_EQ((std::vector<std::uint16_t>{0, 1}), types(db.graph.out_edge_types(0)));
  EXPECT_EQ(2u, db.graph.out_degree[0]);
}

TEST(Csr, TypedReadersAndEmptyReadersWhileUncompiled) {
  Database db = testing::triangle();
  EXPECT_EQ(1u, db.graph.rel_type_count);
  EXPECT_TRUE(db.graph.typed_out_neighbors(0, db.authored_type).empty());
  EXPECT_TRUE(db.graph.typed_out_neighbors(0, kAllTypes).empty());
  EXPECT_EQ((std::vector<std::uint32_t>{2}), run(db.graph.typed_in_neighbors(0, 0)));
  EXPECT_EQ((std::vector<std::uint32_t>{1}), run(db.graph.identity_out_neighbors(0)));
  EXPECT_THROW(db.graph.identity_out_neighbors(3), std::out_of_range);
  EXPECT_TRUE(db.graph.has_edge(0, 1, db.follows_type));
  EXPECT_FALSE(db.graph.has_edge(0, 1, db.authored_type));
  EXPECT_FALSE(db.graph.has_edge(1, 0, db.follows_type));
  db.add_person("dan", 0);  // clears `compiled`
  EXPECT_TRUE(db.graph.out_neighbors(0).empty());
  EXPECT_TRUE(db.graph.in_neighbors(0).empty());
  EXPECT_TRUE(db.graph.typed_out_neighbors(0, 0).empty());
  EXPECT_TRUE(db.graph.typed_in_neighbors(0, 0).empty());
  EXPECT_FALSE(db.graph.has_edge(0, 1, 0));
}

// The counting-sort path (large lists) must give exactly the order of one
// global sort by (src, dst, type), with duplicates removed; compiling again
// changes nothing.
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
  testing::sort_edges(expected);
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  db.compile();
  EXPECT_EQ(expected, db.graph.edges);
  check_invariants(db);
  const PhysicalGraph first = db.graph;
  db.compile();
  EXPECT_EQ(first.out_targets, db.graph.out_targets);
  EXPECT_EQ(first.in_sources, db.graph.in_sources);
  EXPECT_EQ(first.typed_out.neighbours, db.graph.typed_out.neighbours);
}

TEST(Csr, PermutationRenumbersWithoutChangingRelationships) {
  Database db;
  generate_corpus(db, 200, 60, 3);
  const std::string before = edges_of(db);
  std::vector<std::uint32_t> order(db.graph.node_count);
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::mt19937 rng(11);
  std::shuffle(order.begin(), order.end(), rng);
  // An order of the wrong length changes nothing.
  const PhysicalGraph unchanged = db.graph;
  EXPECT_THROW(db.graph.apply_permutation({0, 1}), std::invalid_argument);
  EXPECT_EQ(unchanged.to_physical, db.graph.to_physical);
  EXPECT_EQ(unchanged.out_targets, db.graph.out_targets);
  db.graph.apply_permutation(order);
  check_invariants(db);
  // Positions equalled identities before the shuffle, so the node now at
  // position k is the one that was at position order[k].
  for (std::uint32_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], db.graph.to_logical[k]);
  EXPECT_EQ(before, edges_of(db));
}

TEST(Corpus, Seed42TopicsNamesAndSmallCounts) {
  Database db;
  generate_corpus(db, 20, 5, 42);
  EXPECT_EQ((std::vector<std::uint32_t>{14, 1, 3, 12, 11}), std::vector<std::uint32_t>(db.topics.begin(), db.topics.begin() + 5));
  EXPECT_EQ("person-0 person-19 paper-0 paper-4", db.names[0] + " " + db.names[19] + " " + db.names[20] + " " + db.names[24]);
  for (std::uint32_t i = 0; i < 25; ++i) EXPECT_EQ(db.names[i], db.node_properties(i)["name"]);
  EXPECT_EQ(20u, db.people);
  EXPECT_EQ(5u, db.papers);
  EXPECT_EQ(db.paper_label, db.graph.labels[20]);
  check_invariants(db);

  generate_corpus(db, 0, 6, 42);
  EXPECT_EQ(6u, db.graph.node_count);
  EXPECT_EQ("", edges_of(db));
  generate_corpus(db, 1, 6, 42);  // duplicate authors collapse
  EXPECT_EQ("0-[AUTHORED]->1 0-[AUTHORED]->2 0-[AUTHORED]->3 0-[AUTHORED]->4 0-[AUTHORED]->5 0-[AUTHORED]->6",
            edges_of(db));
  generate_corpus(db, 4, 0, 42);
  EXPECT_EQ("0->1 0->2 0->3 1->0 1->2 1->3 2->0 2->1 2->3 3->0 3->1 3->2", edges_of(db));
}

// Every FOLLOWS has its reverse; the same seed gives the same corpus.
TEST(Corpus, DeterministicReciprocalAndSeedZeroEqualsOne) {
  auto render = [](std::uint32_t seed) {
    Database db;
    generate_corpus(db, 300, 120, seed);
    const PhysicalGraph& g = db.graph;
    for (const Edge& e : g.edges) {
      EXPECT_TRUE(e.type != db.follows_type || g.has_edge(g.to_physical[e.dst], g.to_physical[e.src], e.type));
    }
    const std::string bytes(reinterpret_cast<const char*>(db.embeddings.data()), db.embeddings.size() * sizeof(float));
    return nlohmann::json{db.names, db.topics, db.properties, edges_of(db), g.to_physical, bytes.size(),
                          std::hash<std::string>()(bytes)}
        .dump();
  };
  EXPECT_EQ(render(42), render(42));
  EXPECT_EQ(render(0), render(1));
  EXPECT_NE(render(1), render(2));
}

TEST(Corpus, IdentityLimitLeavesDatabaseUntouched) {
  Database db = testing::triangle();
  for (auto [p, q] : {std::pair<std::uint64_t, std::uint64_t>{4294967295ull, 0}, {0, 4294967295ull}, {4294967294ull, 1}}) {
    EXPECT_EQ("graph exceeds node-ID format limits", testing::error_of([&] { generate_corpus(db, p, q, 1); }));
    EXPECT_EQ("0->1 1->2 2->0", edges_of(db));
  }
}

}  // namespace
}  // namespace orvane
