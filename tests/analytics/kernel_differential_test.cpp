// The focus of this file is agreement: every traversal kernel against its
// brute-force oracle on small generated corpora and random graphs with
// self-loops, every kernel's answer across scatter_layout, apply_mess and
// optimize_layout, and the parallel paths against one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "analytics/kernel_oracle.h"
#include "analytics/parallelism.h"
#include "analytics/traversal.h"
#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::KernelOracle;
using testing::random_graph;


struct Corpus {
  std::string name;
  Database db;
};

std::vector<Corpus> corpora() {
  std::vector<Corpus> list;
  for (const auto& [p, q, seed] : {std::tuple{12, 5, 42}, std::tuple{40, 15, 7}, std::tuple{60, 20, 3}}) {
    Database db;
    generate_corpus(db, p, q, seed);
    optimize_layout(db);
    list.push_back({"corpus " + std::to_string(p) + "/" + std::to_string(q), std::move(db)});
  }
  list.push_back({"random 30", random_graph(30, 10, 90, 5, false, 3)});
  list.push_back({"random 15 dense", random_graph(15, 6, 70, 11, false, 3)});
  list.push_back({"mixed", testing::mixed_graph()});
  return list;
}

void expect_kernels_match_oracle(const Database& db, std::uint32_t hub) {
  const PhysicalGraph& g = db.graph;
  const KernelOracle o(db);
  const std::uint16_t F = db.follows_type, A = db.authored_type;
  const auto out = Direction::Outgoing;
  EXPECT_EQ(o.hop1(hub, F), hop1_count(g, hub, F));
  EXPECT_EQ(o.hop1(hub, A), hop1_count(g, hub, A));
  for (int h = -1; h <= 5; ++h) EXPECT_EQ(o.reach(hub, h, F, out), hop_reach(g, hub, h, F)) << "hops " << h;
  EXPECT_EQ(o.reach(hub, 8, kAllTypes, out), hop_reach(g, hub, 8, kAllTypes));
  EXPECT_EQ(o.walks(hub, 2, F, out), paths_len2(g, hub, F));
  EXPECT_EQ(o.walks(hub, 2, kAllTypes, out), paths_len2(g, hub, kAllTypes));
  EXPECT_EQ(o.unique_paths(hub, 3, F), paths_count(g, hub, 3, F, out));
  EXPECT_EQ(o.unique_paths(hub, 4, F), paths_count(g, hub, 4, F, out));
  for (int len : {0, 1, 2, 5}) EXPECT_EQ(o.walks(hub, len, F, out), paths_count(g, hub, len, F, out)) << len;
  for (auto d : {Direction::Incoming, Direction::Both}) {
    for (int len : {1, 2, 3, 4}) EXPECT_EQ(o.walks(hub, len, F, d), paths_count(g, hub, len, F, d)) << len;
  }
  for (int len = 0; len <= 5; ++len) EXPECT_EQ(o.cycles(hub, len, F), cycles_from_hub(g, hub, len, F)) << len;
  for (bool distinct : {true, false}) {
    EXPECT_EQ(o.two_step(hub, F, A, distinct), two_step_targets(g, hub, F, A, distinct));
    EXPECT_EQ(o.two_step(hub, F, F, distinct), two_step_targets(g, hub, F, F, distinct));
    EXPECT_EQ(o.coauthors(hub, A, distinct), coauthors(g, hub, A, distinct));
    EXPECT_EQ(o.wedge(hub, F, distinct), wedge_in_of_out(g, hub, F, distinct));
    EXPECT_EQ(o.mixed_2hop(hub, F, A, distinct), mixed_2hop_targets(g, hub, F, A, distinct));
    EXPECT_EQ(o.followers(hub, F, A, distinct), followers_targets(g, hub, F, A, distinct));
  }
  EXPECT_EQ(o.coauthors_of_followed(hub, F, A), coauthors_of_followed(g, hub, F, A));
  EXPECT_EQ(o.follows_back(hub, A, F), coauthor_follows_back(g, hub, A, F));
  for (auto [lo, hi] : {std::pair{1, 2}, std::pair{0, 3}, std::pair{2, 4}, std::pair{3, 1}}) {
    EXPECT_EQ(o.hop_range(hub, lo, hi, F, A), hop_range_targets(g, hub, lo, hi, F, A)) << lo << ".." << hi;
  }
  for (auto [lo, hi] : {std::pair{2, 4}, std::pair{4, 4}, std::pair{0, 3}, std::pair{-1, 2}, std::pair{3, 2}}) {
    for (auto d : {Direction::Outgoing, Direction::Incoming, Direction::Both}) {
      EXPECT_EQ(o.varlength(hub, lo, hi, F, d), varlength_distinct(g, hub, lo, hi, F, d)) << lo << ".." << hi;
    }
  }
  EXPECT_EQ(o.varlength(hub, 1, 3, kAllTypes, Direction::Both),
            varlength_distinct(g, hub, 1, 3, kAllTypes, Direction::Both));
}

TEST(KernelDifferential, MatchesBruteForceOnSmallGraphs) {
  for (const Corpus& c : corpora()) {
    for (std::uint32_t hub : {0u, 1u, 3u, 7u, static_cast<std::uint32_t>(c.db.graph.node_count - 1)}) {
      SCOPED_TRACE(c.name + " hub " + std::to_string(hub));
      expect_kernels_match_oracle(c.db, hub);
    }
  }
}

TEST(KernelDifferential, CountsUnchangedByRenumbering) {
  for (Corpus& c : corpora()) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint32_t> hubs{0, 2, 5};
    std::vector<std::vector<std::uint64_t>> expected;
    for (auto hub : hubs) expected.push_back(testing::all_kernel_counts(c.db, hub));
    auto check = [&](const char* step) {
      SCOPED_TRACE(step);
      for (std::size_t i = 0; i < hubs.size(); ++i) EXPECT_EQ(expected[i], testing::all_kernel_counts(c.db, hubs[i]));
    };
    scatter_layout(c.db.graph, 99);
    check("scatter_layout");
    apply_mess(c.db, 3, 17);
    check("apply_mess 3");
    optimize_layout(c.db);
    check("optimize_layout");
  }
}

// A centre followed by, and following, 20000 leaves that each follow two
// others: the second level's frontier passes the parallel threshold.
Database wide_graph() {
  Database db;
  const std::uint32_t leaves = 20000;
  db.add_person("centre", 0);
  for (std::uint32_t i = 1; i <= leaves; ++i) db.add_person("leaf", 0);
  for (std::uint32_t i = 1; i <= leaves; ++i) {
    db.add_follows(0, i);
    db.add_follows(i, 1 + (i * 7919u) % leaves);
    db.add_follows(i, 1 + (i * 104729u + 13) % leaves);
  }
  db.compile();
  scatter_layout(db.graph, 5);
  return db;
}

TEST(KernelDifferential, ParallelFrontierMatchesSerialOracle) {
  const Database db = wide_graph();
  const KernelOracle o(db);
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    set_kernel_threads(threads);
    for (int hops = 1; hops <= 4; ++hops) EXPECT_EQ(o.reach(0, hops, 0, Direction::Outgoing), hop_reach(db.graph, 0, hops, 0));
    EXPECT_EQ(o.reach(5, 4, 0, Direction::Both), varlength_distinct(db.graph, 5, 0, 4, 0, Direction::Both));
    EXPECT_EQ(o.cycles(0, 4, 0), cycles_from_hub(db.graph, 0, 4, 0));
    std::vector<std::uint8_t> marks(db.graph.node_count, 0);
    std::vector<std::uint32_t> frontier(db.graph.node_count), next;
    for (std::uint32_t v = 0; v < db.graph.node_count; ++v) frontier[v] = v;
    expand_frontier(db.graph, frontier, 0, Direction::Outgoing, marks, next);
    std::sort(next.begin(), next.end());
    EXPECT_TRUE(std::adjacent_find(next.begin(), next.end()) == next.end()) << "a node was claimed twice";
  }
  set_kernel_threads(0);
}

}  // namespace
}  // namespace orvane
