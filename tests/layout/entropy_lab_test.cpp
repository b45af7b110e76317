// Entropy lab and ladder: identical counts across every step, the isolated
// nodes that mess level 3 adds, the JSON member order, and the empty corpus
// that used to send the queries into an empty array.
#include "layout/entropy_lab.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "analytics/traversal.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"

namespace orvane {
namespace {

std::vector<std::uint64_t> counts(const LabStep& step) {
  std::vector<std::uint64_t> c;
  for (const auto& q : step.queries) c.push_back(q.count);
  return c;
}

TEST(EntropyLab, QueriesInOrderWithKernelCounts) {
  Database db;
  generate_corpus(db, 200, 80, 42);
  optimize_layout(db);
  const auto rows = run_lab_queries(db, 1);
  ASSERT_EQ(6u, rows.size());
  const char* names[] = {"hop3", "path2", "wedge", "triangle", "papers_followed", "mixed_authored"};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(names[i], rows[i].name);
  EXPECT_EQ(hop_reach(db.graph, 0, 3, db.follows_type), rows[0].count);
  EXPECT_EQ(cycles_from_hub(db.graph, 0, 3, db.follows_type), rows[3].count);
  EXPECT_GT(rows[0].count, 1u);
}

TEST(EntropyLab, LevelsKeepCountsIdentical) {
  for (int level : {0, 1, 2, 3}) {
    SCOPED_TRACE(level);
    const LabResult r = entropy_lab(300, 100, 42, level);
    EXPECT_TRUE(r.counts_identical);
    EXPECT_EQ(counts(r.before), counts(r.after));
    EXPECT_EQ(level >= 3 ? 528u : 400u, r.nodes);
    EXPECT_GT(r.layout_jump_ratio, 0.0);
  }
}

TEST(EntropyLab, LadderAddsIsolatesAtMess3Only) {
  const LadderResult r = entropy_ladder(300, 100, 42);
  EXPECT_TRUE(r.counts_identical);
  EXPECT_EQ(r.clean.stats.isolates + 128, r.mess3.stats.isolates);
  EXPECT_EQ(r.clean.stats.isolates, r.mess2.stats.isolates);
  EXPECT_EQ(counts(r.clean), counts(r.optimized));
  EXPECT_EQ(528u, r.nodes);
}

TEST(EntropyLab, HubWithoutFollowsCountsOneThenZero) {
  // One person and papers: node 0 has no FOLLOWS relationships.
  const LadderResult r = entropy_ladder(1, 5, 42);
  EXPECT_TRUE(r.counts_identical);
  EXPECT_EQ(std::vector<std::uint64_t>({1, 0, 0, 0, 0, 0}), counts(r.mess2));
}

// Regression: an empty corpus made every query read position 0 of empty
// arrays. The hub does not exist, so every count is 0 at every step.
TEST(EntropyLab, EmptyCorpusCountsZero) {
  const LabResult lab = entropy_lab(0, 0, 42, 1);
  EXPECT_TRUE(lab.counts_identical);
  EXPECT_EQ(std::vector<std::uint64_t>(6, 0), counts(lab.before));
  EXPECT_EQ(0u, lab.nodes);
  const LadderResult ladder = entropy_ladder(0, 0, 42);
  EXPECT_TRUE(ladder.counts_identical);
  EXPECT_EQ(std::vector<std::uint64_t>(6, 0), counts(ladder.mess2));
  // Level 3 adds the junk persons; none of them becomes the hub.
  EXPECT_EQ(std::vector<std::uint64_t>(6, 0), counts(ladder.optimized));
  EXPECT_EQ(128u, ladder.nodes);
  EXPECT_EQ(std::vector<std::uint64_t>(6, 0), counts(entropy_lab(0, 0, 42, 3).after));
}

TEST(EntropyLab, JsonMemberOrder) {
  const LabResult lab = entropy_lab(60, 20, 42, 2);
  const auto j = nlohmann::ordered_json::parse(lab_json(lab));
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(std::vector<std::string>({"mess_level", "nodes", "edges", "counts_identical", "hop3_speedup",
                                      "layout_jump_ratio", "before", "after", "queries"}),
            keys);
  EXPECT_EQ(6u, j["queries"].size());
  EXPECT_EQ("hop3", j["queries"][0]["name"]);
  EXPECT_TRUE(j["before"].contains("bandwidth"));

  const auto l = nlohmann::ordered_json::parse(ladder_json(entropy_ladder(60, 20, 42)));
  keys.clear();
  for (auto it = l.begin(); it != l.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(std::vector<std::string>({"people", "papers", "nodes", "edges", "counts_identical",
                                      "hop3_speedup_vs_mess3", "jump_ratio_vs_mess3", "clean", "mess1", "mess2",
                                      "mess3", "optimized"}),
            keys);
  EXPECT_TRUE(l["mess3"]["queries"][0].contains("ns"));
}

}  // namespace
}  // namespace orvane
