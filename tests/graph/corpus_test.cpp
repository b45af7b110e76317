// Corpus generator: pinned facts of the format (draw order, names, counts)
// and byte-for-byte determinism.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "graph/corpus.h"
#include "graph/database.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

std::uint64_t count_type(const Database& db, std::uint16_t type) {
  std::uint64_t n = 0;
  for (const Edge& e : db.graph.edges) n += e.type == type;
  return n;
}

TEST(Corpus, Seed42TopicsAndNames) {
  Database db;
  generate_corpus(db, 20, 5, 42);
  EXPECT_EQ((std::vector<std::uint32_t>{14, 1, 3, 12, 11}),
            std::vector<std::uint32_t>(db.topics.begin(), db.topics.begin() + 5));
  EXPECT_STREQ("operating systems", topic_name(db.topics[0]));
  EXPECT_EQ("person-0", db.names[0]);
  EXPECT_EQ("person-19", db.names[19]);
  EXPECT_EQ("paper-0", db.names[20]);
  EXPECT_EQ("paper-4", db.names[24]);
  for (std::uint32_t i = 0; i < 25; ++i) EXPECT_EQ(db.names[i], db.node_properties(i)["name"].get<std::string>());
  EXPECT_EQ(20u, db.people);
  EXPECT_EQ(5u, db.papers);
  EXPECT_EQ(db.paper_label, db.graph.labels[20]);
  testing::check_invariants(db);
}

TEST(Corpus, SmallPersonCounts) {
  Database db;
  generate_corpus(db, 0, 6, 42);
  EXPECT_EQ(6u, db.graph.node_count);
  EXPECT_TRUE(db.graph.edges.empty());

  generate_corpus(db, 1, 6, 42);
  EXPECT_EQ(0u, count_type(db, db.follows_type));
  EXPECT_EQ(6u, count_type(db, db.authored_type));  // duplicate authors collapse
  for (const Edge& e : db.graph.edges) EXPECT_EQ(0u, e.src);

  generate_corpus(db, 4, 0, 42);
  EXPECT_EQ(12u, count_type(db, db.follows_type));
  EXPECT_EQ("0->1 0->2 0->3 1->0 1->2 1->3 2->0 2->1 2->3 3->0 3->1 3->2", testing::edges_of(db));

  generate_corpus(db, 5, 0, 42);
  std::set<std::uint32_t> partners;
  for (const Edge& e : db.graph.edges) {
    if (e.src == 4) partners.insert(e.dst);
  }
  EXPECT_GE(partners.size(), 1u);
  EXPECT_LE(partners.size(), 4u);
  for (std::uint32_t p : partners) EXPECT_TRUE(db.graph.has_edge(db.graph.to_physical[p], db.graph.to_physical[4], 0));
}

TEST(Corpus, EveryFollowsHasItsReverse) {
  Database db;
  generate_corpus(db, 500, 100, 9);
  const PhysicalGraph& g = db.graph;
  for (const Edge& e : g.edges) {
    if (e.type == db.follows_type) {
      EXPECT_TRUE(g.has_edge(g.to_physical[e.dst], g.to_physical[e.src], e.type));
    }
  }
}

TEST(Corpus, DeterministicAndSeedZeroEqualsOne) {
  auto render = [](std::uint32_t seed) {
    Database db;
    generate_corpus(db, 300, 120, seed);
    nlohmann::json j;
    j["names"] = db.names;
    j["topics"] = db.topics;
    j["props"] = db.properties;
    j["edges"] = testing::edges_of(db);
    j["to_physical"] = db.graph.to_physical;
    std::string bytes(reinterpret_cast<const char*>(db.embeddings.data()), db.embeddings.size() * sizeof(float));
    j["emb"] = nlohmann::json::binary(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return j.dump();
  };
  EXPECT_EQ(render(42), render(42));
  EXPECT_EQ(render(0), render(1));
  EXPECT_NE(render(1), render(2));
}

TEST(Corpus, IdentityLimitLeavesDatabaseUntouched) {
  Database db = testing::triangle();
  for (auto [p, q] : {std::pair<std::uint64_t, std::uint64_t>{4294967295ull, 0}, {0, 4294967295ull},
                      {4294967294ull, 1}}) {
    try {
      generate_corpus(db, p, q, 1);
      FAIL();
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ("graph exceeds node-ID format limits", e.what());
    }
    EXPECT_EQ(3u, db.graph.node_count);
    EXPECT_EQ("0->1 1->2 2->0", testing::edges_of(db));
  }
}

}  // namespace
}  // namespace orvane
