// Differential test: the executor's counts against the simplest possible
// enumeration — recursion over the raw edge list in identities, with a flag
// per relationship for uniqueness — on small generated corpora.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "query/executor.h"
#include "query/query.h"

namespace orvane {
namespace {

struct Step {
  std::uint16_t type;
  int dir;  // 0 out, 1 in, 2 both
  int min_hops, max_hops;
};

struct Pattern {
  std::uint32_t hub;
  std::vector<Step> steps;
  std::vector<int> labels;       // per node position: -1 any, else label id
  bool close_cycle = false;      // last node position reuses the first variable
};

struct Oracle {
  const Database& db;
  const Pattern& pat;
  std::vector<bool> used;
  std::vector<std::uint32_t> bound;
  std::uint64_t paths = 0;
  std::set<std::uint32_t> ends;

  bool fits(std::size_t k, std::uint32_t v) const { return pat.labels[k] < 0 || db.graph.labels[v] == pat.labels[k]; }

  void rec(std::size_t i, int h, std::uint32_t cur) {
    if (i == pat.steps.size()) {
      ++paths;
      ends.insert(cur);
      return;
    }
    const Step& s = pat.steps[i];
    if (h >= s.min_hops && fits(i + 1, cur) && !(pat.close_cycle && i + 1 == pat.steps.size() && cur != bound[0])) {
      bound[i + 1] = cur;
      rec(i + 1, 0, cur);
    }
    if (h == s.max_hops) return;
    const auto& edges = db.graph.edges;
    for (std::size_t e = 0; e < edges.size(); ++e) {
      if (used[e] || edges[e].type != s.type) continue;
      std::uint32_t next;
      if (s.dir != 1 && edges[e].src == cur) {
        next = edges[e].dst;
      } else if (s.dir != 0 && edges[e].dst == cur) {
        next = edges[e].src;
      } else {
        continue;
      }
      used[e] = true;
      rec(i, h + 1, next);
      used[e] = false;
    }
  }
};

std::string statement(const Database& db, const Pattern& p, bool distinct) {
  auto node = [&](std::size_t k) {
    std::string var = k == 0 || (p.close_cycle && k == p.steps.size()) ? "n0" : "n" + std::to_string(k);
    std::string s = "(" + var;
    if (p.labels[k] >= 0) s += ":" + db.node_types[p.labels[k]];
    if (k == 0) s += " {id: " + std::to_string(p.hub) + "}";
    return s + ")";
  };
  std::string text = "MATCH " + node(0);
  for (std::size_t i = 0; i < p.steps.size(); ++i) {
    const Step& s = p.steps[i];
    std::string inner = "[:" + db.rel_types[s.type] + "*" + std::to_string(s.min_hops) + ".." +
                        std::to_string(s.max_hops) + "]";
    text += (s.dir == 1 ? "<-" : "-") + inner + (s.dir == 0 ? "->" : "-") + node(i + 1);
  }
  const std::string last = p.close_cycle ? "n0" : "n" + std::to_string(p.steps.size());
  return text + (distinct ? " RETURN count(DISTINCT " + last + ")" : " RETURN count(*)");
}

TEST(Differential, CountsMatchBruteForceEnumeration) {
  std::mt19937 rng(2024);
  int compared = 0;
  for (std::uint32_t seed : {1u, 7u}) {
    Database db;
    generate_corpus(db, 120, 60, seed);
    optimize_layout(db);
    if (seed == 7) scatter_layout(db.graph, 3);
    for (int trial = 0; trial < 120; ++trial) {
      Pattern p;
      p.hub = rng() % (trial % 3 == 0 ? 8 : db.graph.node_count);
      const int steps = 1 + rng() % 3;
      for (int i = 0; i < steps; ++i) {
        Step s;
        s.type = static_cast<std::uint16_t>(rng() % 2);
        s.dir = static_cast<int>(rng() % 3);
        s.min_hops = static_cast<int>(rng() % 2);
        s.max_hops = s.min_hops + static_cast<int>(rng() % (steps == 1 ? 3 : 2));
        p.steps.push_back(s);
      }
      for (int k = 0; k <= steps; ++k) p.labels.push_back(rng() % 3 == 0 ? static_cast<int>(rng() % 2) : -1);
      p.close_cycle = rng() % 4 == 0;
      if (p.close_cycle) p.labels.back() = -1;

      Oracle oracle{db, p, std::vector<bool>(db.graph.edges.size()), std::vector<std::uint32_t>(steps + 1), 0, {}};
      if (oracle.fits(0, p.hub)) {
        oracle.bound[0] = p.hub;
        oracle.rec(0, 0, p.hub);
      }
      const std::string all = statement(db, p, false), distinct = statement(db, p, true);
      SCOPED_TRACE(all);
      try {
        EXPECT_EQ(oracle.paths, count_query_text(db, all));
        EXPECT_EQ(oracle.ends.size(), count_query_text(db, distinct));
        ++compared;
      } catch (const QlError& e) {
        EXPECT_STREQ("query work limit exceeded; narrow the pattern or add LIMIT", e.what());
      }
    }
  }
  EXPECT_GT(compared, 200);
}

}  // namespace
}  // namespace orvane
