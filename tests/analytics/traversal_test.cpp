// The traversal kernels against a brute-force oracle on small corpora and
// random graphs, before and after every renumbering; the parallel paths
// against one thread; the subtle definitions by hand; refusals.
#include "analytics/traversal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>

#include "analytics/parallelism.h"
#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using Ids = std::vector<std::uint32_t>;
using testing::GraphBuilder;
constexpr auto Out = Direction::Outgoing, In = Direction::Incoming, Both = Direction::Both;
constexpr std::uint16_t F = 0, A = 1;  // FOLLOWS, AUTHORED

// The kernels written from their definitions over the edge list in
// identities: sets instead of mark arrays, recursion with an explicit
// used-relationship set instead of endpoint tests. Slow on purpose.
class Oracle {
 public:
  explicit Oracle(const Database& db) : n_(db.graph.node_count) {
    for (const Edge& e : db.graph.edges) {
      for (std::uint16_t t : {e.type, kAllTypes}) out_[{t, e.src}].push_back(e.dst), in_[{t, e.dst}].push_back(e.src);
    }
  }
  bool has(std::uint32_t hub) const { return hub < n_; }

  Ids step(std::uint32_t v, std::uint16_t t, Direction d) const {
    Ids r;
    for (const Lists* side : {d != In ? &out_ : nullptr, d != Out ? &in_ : nullptr}) {
      const auto it = side ? side->find({t, v}) : out_.end();
      if (side && it != side->end()) r.insert(r.end(), it->second.begin(), it->second.end());
    }
    return r;
  }
  // Ends of every walk from `from` along the steps, with multiplicity.
  Ids chain(std::uint32_t from, std::initializer_list<std::pair<std::uint16_t, Direction>> steps) const {
    Ids ends{from};
    for (auto [t, d] : steps) {
      Ids next;
      for (auto v : ends)
        for (auto w : step(v, t, d)) next.push_back(w);
      ends = next;
    }
    return ends;
  }
  // Walks of exactly `length` steps; `unique` forbids reusing a relationship,
  // `end` (unless kNoNode) keeps only walks ending there.
  std::uint64_t walks(std::uint32_t v, int length, std::uint16_t t, Direction d, bool unique,
                      std::uint32_t end = kNoNode) const {
    std::set<std::tuple<std::uint32_t, std::uint32_t, bool>> used;
    std::function<std::uint64_t(std::uint32_t, int)> go = [&](std::uint32_t at, int left) -> std::uint64_t {
      if (left == 0) return end == kNoNode || at == end;
      std::uint64_t total = 0;
      for (auto w : step(at, t, d)) {
        if (unique && !used.insert({at, w, false}).second) continue;
        total += go(w, left - 1);
        if (unique) used.erase({at, w, false});
      }
      return total;
    };
    return has(v) && length >= 0 ? go(v, length) : 0;
  }
  // Nodes within `hops` levels of the hub (hub included).
  std::uint64_t reach(std::uint32_t hub, int hops, std::uint16_t t, Direction d) const {
    return has(hub) && hops >= 0 ? levels(hub, hops, 0, t, d).size() : 0;
  }
  // The union of the level sets min … max of a walk that may revisit nodes
  // (level 0 is the hub).
  std::set<std::uint32_t> levels(std::uint32_t hub, int max, int min, std::uint16_t t, Direction d,
                                 bool revisit = false) const {
    std::set<std::uint32_t> seen{hub}, level{hub}, picked;
    if (min < 1) picked.insert(hub);
    for (int l = 1; l <= max && !level.empty(); ++l) {
      std::set<std::uint32_t> next;
      for (auto v : level)
        for (auto w : step(v, t, d))
          if (revisit || !seen.count(w)) next.insert(w);
      seen.insert(next.begin(), next.end());
      if (l >= min) picked.insert(next.begin(), next.end());
      level = next;
    }
    return picked;
  }

 private:
  using Lists = std::map<std::pair<std::uint16_t, std::uint32_t>, Ids>;
  std::uint64_t n_;
  Lists out_, in_;
};

std::uint64_t count(const Ids& ids, bool distinct, std::uint32_t without = kNoNode) {
  std::set<std::uint32_t> s(ids.begin(), ids.end());
  s.erase(without);
  return distinct ? s.size() : ids.size();
}

void expect_kernels_match_oracle(const Database& db, std::uint32_t hub) {
  const PhysicalGraph& g = db.graph;
  const Oracle o(db);
  const bool ok = o.has(hub);
  for (auto t : {F, A}) EXPECT_EQ(ok ? o.step(hub, t, Out).size() : 0, hop1_count(g, hub, t));
  for (int h = -1; h <= 5; ++h) EXPECT_EQ(o.reach(hub, h, F, Out), hop_reach(g, hub, h, F)) << "hops " << h;
  EXPECT_EQ(o.reach(hub, 8, kAllTypes, Out), hop_reach(g, hub, 8, kAllTypes));
  for (auto t : {F, kAllTypes}) EXPECT_EQ(o.walks(hub, 2, t, Out, false), paths_len2(g, hub, t));
  for (int len : {0, 1, 2, 3, 4, 5}) {
    EXPECT_EQ(o.walks(hub, len, F, Out, len == 3 || len == 4), paths_count(g, hub, len, F, Out)) << len;
    EXPECT_EQ(len < 2 ? 0 : o.walks(hub, len, F, Out, len == 4, hub), cycles_from_hub(g, hub, len, F)) << len;
  }
  for (int len : {1, 2, 3, 4}) {
    for (auto d : {In, Both}) EXPECT_EQ(o.walks(hub, len, F, d, false), paths_count(g, hub, len, F, d)) << len;
  }
  const auto chain = [&](std::initializer_list<std::pair<std::uint16_t, Direction>> steps) {
    return ok ? o.chain(hub, steps) : Ids{};
  };
  for (bool distinct : {true, false}) {
    SCOPED_TRACE(distinct ? "distinct" : "all");
    EXPECT_EQ(count(chain({{F, Out}, {A, Out}}), distinct), two_step_targets(g, hub, F, A, distinct));
    EXPECT_EQ(count(chain({{F, Out}, {F, Out}}), distinct), two_step_targets(g, hub, F, F, distinct));
    EXPECT_EQ(count(chain({{A, Out}, {A, In}}), true, distinct ? hub : kNoNode), coauthors(g, hub, A, distinct));
    EXPECT_EQ(count(chain({{F, Out}, {F, In}}), distinct, hub), wedge_in_of_out(g, hub, F, distinct));
    EXPECT_EQ(count(chain({{F, Out}, {F, Out}, {A, Out}}), distinct), mixed_2hop_targets(g, hub, F, A, distinct));
    EXPECT_EQ(count(chain({{F, In}, {A, Out}}), distinct), followers_targets(g, hub, F, A, distinct));
  }
  std::set<std::uint32_t> coauthors_of_followed_set;
  std::uint64_t follows_back = 0;
  for (auto x : chain({{F, Out}}))
    for (auto y : o.chain(x, {{A, Out}, {A, In}}))
      if (y != hub && y != x) coauthors_of_followed_set.insert(y);
  for (auto p : chain({{A, Out}}))
    for (auto y : o.step(p, A, In))
      if (y != hub) follows_back += std::ranges::count(o.step(y, F, Out), hub);
  EXPECT_EQ(coauthors_of_followed_set.size(), coauthors_of_followed(g, hub, F, A));
  EXPECT_EQ(follows_back, coauthor_follows_back(g, hub, A, F));
  for (auto [lo, hi] : {std::pair{1, 2}, std::pair{0, 3}, std::pair{2, 4}, std::pair{3, 1}}) {
    std::set<std::uint32_t> papers;
    if (ok)
      for (auto v : o.levels(hub, hi, lo, F, Out, true))
        for (auto p : o.step(v, A, Out)) papers.insert(p);
    EXPECT_EQ(papers.size(), hop_range_targets(g, hub, lo, hi, F, A)) << lo << ".." << hi;
  }
  for (auto [lo, hi] : {std::pair{2, 4}, std::pair{4, 4}, std::pair{0, 3}, std::pair{-1, 2}, std::pair{3, 2}}) {
    for (auto d : {Out, In, Both}) {
      const std::uint64_t expected = !ok || hi < std::max(lo, 0) ? 0
                                     : lo < 1                    ? o.reach(hub, hi, F, d)
                                                                 : o.levels(hub, hi, lo, F, d, true).size();
      EXPECT_EQ(expected, varlength_distinct(g, hub, lo, hi, F, d)) << lo << ".." << hi;
    }
  }
  EXPECT_EQ(ok ? o.levels(hub, 3, 1, kAllTypes, Both, true).size() : 0,
            varlength_distinct(g, hub, 1, 3, kAllTypes, Both));
}

std::vector<std::pair<std::string, Database>> graphs() {
  std::vector<std::pair<std::string, Database>> list;
  for (auto [p, q, seed] : {std::tuple{12, 5, 42}, std::tuple{40, 15, 7}, std::tuple{60, 20, 3}}) {
    Database db;
    generate_corpus(db, p, q, seed);
    optimize_layout(db);
    list.push_back({"corpus " + std::to_string(p) + "/" + std::to_string(q), std::move(db)});
  }
  list.push_back({"random 30", testing::random_graph(30, 10, 90, 5, false, 3)});
  list.push_back({"random 15 dense", testing::random_graph(15, 6, 70, 11, false, 3)});
  list.push_back({"mixed", testing::mixed_graph()});
  return list;
}

TEST(KernelDifferential, MatchesBruteForceBeforeAndAfterRenumbering) {
  for (auto& [name, db] : graphs()) {
    const std::uint32_t last = static_cast<std::uint32_t>(db.graph.node_count - 1);
    for (std::uint32_t hub : {0u, 1u, 3u, 7u, last, last + 1}) {
      SCOPED_TRACE(name + " hub " + std::to_string(hub));
      expect_kernels_match_oracle(db, hub);
    }
    scatter_layout(db.graph, 99);
    apply_mess(db, 3, 17);
    for (std::uint32_t hub : {0u, 2u, 5u}) {
      SCOPED_TRACE(name + " messed, hub " + std::to_string(hub));
      expect_kernels_match_oracle(db, hub);
    }
    optimize_layout(db);
    SCOPED_TRACE(name + " optimised");
    expect_kernels_match_oracle(db, 2);
  }
}

// A centre followed by, and following, 20000 leaves that each follow two
// others: the second level's frontier passes the parallel threshold.
TEST(KernelDifferential, ParallelFrontierMatchesSerialOracle) {
  Database db;
  const std::uint32_t leaves = 20000;
  for (std::uint32_t i = 0; i <= leaves; ++i) db.add_person("p", 0);
  for (std::uint32_t i = 1; i <= leaves; ++i) {
    db.add_follows(0, i);
    db.add_follows(i, 1 + (i * 7919u) % leaves);
    db.add_follows(i, 1 + (i * 104729u + 13) % leaves);
  }
  db.compile();
  scatter_layout(db.graph, 5);
  const Oracle o(db);
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    set_kernel_threads(threads);
    for (int hops = 1; hops <= 4; ++hops) EXPECT_EQ(o.reach(0, hops, 0, Out), hop_reach(db.graph, 0, hops, 0));
    EXPECT_EQ(o.reach(5, 4, 0, Both), varlength_distinct(db.graph, 5, 0, 4, 0, Both));
    EXPECT_EQ(o.walks(0, 4, 0, Out, true, 0), cycles_from_hub(db.graph, 0, 4, 0));
    std::vector<std::uint8_t> marks(db.graph.node_count, 0);
    Ids frontier(db.graph.node_count), next;
    for (std::uint32_t v = 0; v < db.graph.node_count; ++v) frontier[v] = v;
    expand_frontier(db.graph, frontier, 0, Out, marks, next);
    std::sort(next.begin(), next.end());
    EXPECT_TRUE(std::adjacent_find(next.begin(), next.end()) == next.end()) << "a node was claimed twice";
  }
  set_kernel_threads(0);
}

// The subtle definitions by hand (the oracle above checks every kernel at
// large); refusals, missing hubs, and a frontier that marks each node once.
TEST(Traversal, HandCheckedCountsAndRefusals) {
  const PhysicalGraph cycle = GraphBuilder().people({"a", "b"}).follows("a", "b").follows("b", "a").compiled().graph;
  const PhysicalGraph loop = GraphBuilder().people({"a", "b"}).follows("a", "a").follows("a", "b").compiled().graph;
  const PhysicalGraph star = testing::star(4).graph;
  EXPECT_EQ(0u, paths_count(cycle, 0, 3, F, Out));      // a→b→a→b reuses a→b
  EXPECT_EQ(0u, cycles_from_hub(cycle, 0, 4, F));       // reuses both
  EXPECT_EQ(1u, cycles_from_hub(cycle, 0, 6, F));       // closed walks from length 5 on
  EXPECT_EQ(1u, cycles_from_hub(loop, 0, 3, F));        // a→a→a→a: a walk, no exclusions
  EXPECT_EQ(0u, cycles_from_hub(loop, 0, 4, F));        // would reuse a→a
  EXPECT_EQ(2u, hop_reach(loop, 0, 3, F));
  EXPECT_EQ(4u, paths_count(star, 1, 2, F, Both));  // leaf→centre over the incoming list, then 4 leaves
  EXPECT_EQ(0u, wedge_in_of_out(star, 0, F, true));     // the only source of every leaf is the hub
  // From level 0 on, the hub's own papers count, even when no walk returns to it.
  const PhysicalGraph wrote = GraphBuilder().people({"a", "b"}).papers({"q"}).authored("a", "q").follows("a", "b")
                                  .compiled().graph;
  EXPECT_EQ(1u, hop_range_targets(wrote, 0, 0, 1, F, A));

  // Regression: the hub used to become a position without a range check.
  using Kernel = std::function<std::uint64_t(const PhysicalGraph&, std::uint32_t)>;
  const Kernel kernels[] = {
      [](auto& g, auto h) { return hop1_count(g, h, F); }, [](auto& g, auto h) { return hop_reach(g, h, 3, F); },
      [](auto& g, auto h) { return paths_len2(g, h, F); },
      [](auto& g, auto h) { return paths_count(g, h, 0, F, Both); },
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
    EXPECT_EQ(0u, kernels[k](db.graph, 3) + kernels[k](db.graph, kNoNode) + kernels[k](empty.graph, 0)) << k;
    EXPECT_EQ("query requires compiled physical graph", testing::error_of([&] { kernels[k](late.graph, 0); })) << k;
  }
  std::vector<std::uint8_t> marks(late.graph.node_count, 0);
  std::vector<std::uint32_t> next;
  EXPECT_THROW(expand_frontier(late.graph, {0}, F, Out, marks, next), std::logic_error);
  // One frontier entry per neighbour, none for the marked b or for b twice, the stale entry gone.
  const Database two = testing::two_components();
  marks.assign(two.graph.node_count, 0);
  const std::uint32_t b = two.graph.to_physical[1];
  marks[b] = 1;
  next = {99};
  expand_frontier(two.graph, {b, b}, F, Both, marks, next);
  EXPECT_EQ(std::vector<std::uint32_t>({two.graph.to_physical[0], two.graph.to_physical[2]}), next);
}

}  // namespace
}  // namespace orvane
