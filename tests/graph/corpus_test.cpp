// Corpus generator: pinned facts of the format (draw order, names, counts)
// and byte-for-byte determinism.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "graph/corpus.h"
#include "graph/database.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

TEST(Corpus, Seed42TopicsNamesAndSmallCounts) {
  Database db;
  generate_corpus(db, 20, 5, 42);
  EXPECT_EQ((std::vector<std::uint32_t>{14, 1, 3, 12, 11}), std::vector<std::uint32_t>(db.topics.begin(), db.topics.begin() + 5));
  EXPECT_EQ("person-0 person-19 paper-0 paper-4", db.names[0] + " " + db.names[19] + " " + db.names[20] + " " + db.names[24]);
  for (std::uint32_t i = 0; i < 25; ++i) EXPECT_EQ(db.names[i], db.node_properties(i)["name"]);
  EXPECT_EQ(20u, db.people);
  EXPECT_EQ(5u, db.papers);
  EXPECT_EQ(db.paper_label, db.graph.labels[20]);
  testing::check_invariants(db);

  generate_corpus(db, 0, 6, 42);
  EXPECT_EQ(6u, db.graph.node_count);
  EXPECT_EQ("", testing::edges_of(db));
  generate_corpus(db, 1, 6, 42);  // duplicate authors collapse
  EXPECT_EQ("0-[AUTHORED]->1 0-[AUTHORED]->2 0-[AUTHORED]->3 0-[AUTHORED]->4 0-[AUTHORED]->5 0-[AUTHORED]->6",
            testing::edges_of(db));
  generate_corpus(db, 4, 0, 42);
  EXPECT_EQ("0->1 0->2 0->3 1->0 1->2 1->3 2->0 2->1 2->3 3->0 3->1 3->2", testing::edges_of(db));
}

TEST(Corpus, EveryFollowsHasItsReverse) {
  Database db;
  generate_corpus(db, 500, 100, 9);
  const PhysicalGraph& g = db.graph;
  for (const Edge& e : g.edges) {
    EXPECT_TRUE(e.type != db.follows_type || g.has_edge(g.to_physical[e.dst], g.to_physical[e.src], e.type));
  }
}

TEST(Corpus, DeterministicAndSeedZeroEqualsOne) {
  auto render = [](std::uint32_t seed) {
    Database db;
    generate_corpus(db, 300, 120, seed);
    const std::string bytes(reinterpret_cast<const char*>(db.embeddings.data()), db.embeddings.size() * sizeof(float));
    return nlohmann::json{db.names, db.topics, db.properties, testing::edges_of(db), db.graph.to_physical, bytes.size(),
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
    try {
      generate_corpus(db, p, q, 1);
      FAIL();
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ("graph exceeds node-ID format limits", e.what());
    }
    EXPECT_EQ("0->1 1->2 2->0", testing::edges_of(db));
  }
}

}  // namespace
}  // namespace orvane
