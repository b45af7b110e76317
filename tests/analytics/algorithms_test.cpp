// The focus of this file is the graph algorithms as a caller sees them: the
// hand-checkable cases (the isolated node's PageRank share, components,
// triangles before and after mirroring, communities, shortest paths), the
// JSON document and its name table, naive oracles over the edge list on
// random graphs, and answers that stay identical, bit for bit, when the
// layout is scattered, messed up or optimised.
#include "analytics/graph_algorithms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <locale>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;
using testing::random_graph;

// a ↔ b and an isolated c.
Database pair_and_isolated() {
  return GraphBuilder().people({"a", "b", "c"}).follows("a", "b").follows("b", "a").compiled();
}

Database empty_compiled() {
  Database db;
  db.compile();
  return db;
}

// The document without its "note" member, whose sentence is free text.
std::string without_note(const std::string& document) {
  const std::size_t at = document.find(",\"note\":\"");
  if (at == std::string::npos || document.back() != '}') return "no note in " + document;
  return document.substr(0, at) + "}";
}


std::vector<Database> random_graphs() {
  std::vector<Database> graphs;
  graphs.push_back(random_graph(12, 3, 10, 1, true, 1));
  graphs.push_back(random_graph(25, 5, 40, 7, true, 1));
  graphs.push_back(random_graph(30, 0, 120, 11, true, 1));
  graphs.push_back(random_graph(40, 10, 30, 23, true, 1));
  return graphs;
}

// FOLLOWS relationships as identity pairs, from the (deduplicated) edge list.
std::set<std::pair<std::uint32_t, std::uint32_t>> follows_of(const Database& db) {
  std::set<std::pair<std::uint32_t, std::uint32_t>> out;
  for (const Edge& e : db.graph.edges) {
    if (e.type == db.follows_type) out.insert({e.src, e.dst});
  }
  return out;
}

// ---------------------------------------------------------------------------
// Hand-checked cases

TEST(Algorithms, PageRankGivesAnIsolatedNodeItsBaseShare) {
  const Database db = pair_and_isolated();
  const std::vector<double> rank = pagerank_scores(db);
  ASSERT_EQ(3u, rank.size());
  EXPECT_NEAR(0.05, rank[2], 1e-15);  // (1 − 0.85) / 3
  EXPECT_EQ(rank[0], rank[1]);
  EXPECT_NEAR(1.0 / 3.0, rank[0], 1e-12);
  // c's own share is not redistributed: the total stays below 1.
  EXPECT_LT(rank[0] + rank[1] + rank[2], 0.99);
  EXPECT_EQ(
      "{\"algo\":\"pagerank\",\"pagerank_top\":[{\"id\":0,\"score\":0.333333},{\"id\":1,\"score\":0.333333},"
      "{\"id\":2,\"score\":0.05}]}",
      without_note(run_graph_algorithm(db, "pagerank", 0, 0)));
  EXPECT_EQ(2u, wcc_count(db));
}

TEST(Algorithms, DegreeScoreIsOneForANodeFollowingEveryOther) {
  const Database db = testing::star(4);
  EXPECT_EQ((std::vector<double>{1, 0, 0, 0, 0}), degree_scores(db));
  EXPECT_EQ(
      "{\"algo\":\"degree\",\"degree_top\":[{\"id\":0,\"score\":1},{\"id\":1,\"score\":0},{\"id\":2,\"score\":0},"
      "{\"id\":3,\"score\":0},{\"id\":4,\"score\":0}]}",
      without_note(run_graph_algorithm(db, "degree", 0, 0)));
  // One node: the divisor is 1, and its self-loop is one outgoing relationship.
  const Database single = GraphBuilder().people({"solo"}).follows("solo", "solo").compiled();
  EXPECT_EQ((std::vector<double>{1}), degree_scores(single));
  // Only FOLLOWS counts: AUTHORED relationships leave papers' authors at 0.
  const Database authors = GraphBuilder().people({"a"}).papers({"p", "q"}).authored("a", "p").compiled();
  EXPECT_EQ((std::vector<double>{0, 0, 0}), degree_scores(authors));
}

TEST(Algorithms, RankedListsHoldEightEntriesTiesByIdentity) {
  const Database db = testing::star(12);  // 13 nodes: the centre, then 12 tied leaves
  const std::vector<RankedNode> top = degree_top(db);
  ASSERT_EQ(8u, top.size());
  EXPECT_EQ(0u, top[0].id);
  for (std::uint32_t i = 1; i < 8; ++i) EXPECT_EQ(i, top[i].id);
  const std::vector<RankedNode> pr = pagerank_top(db);
  ASSERT_EQ(8u, pr.size());
  for (std::size_t i = 1; i < pr.size(); ++i) {
    EXPECT_TRUE(pr[i - 1].score > pr[i].score || (pr[i - 1].score == pr[i].score && pr[i - 1].id < pr[i].id));
  }
  EXPECT_EQ(3u, top_ranked({0.5, 0.25, 0.5}, 10).size());
  EXPECT_EQ(2u, top_ranked({0.5, 0.25, 0.5}, 10)[1].id);
}

TEST(Algorithms, ComponentsCountNodesWithoutFollowsAsTheirOwn) {
  EXPECT_EQ(2u, wcc_count(testing::two_components()));
  // {p0 p1 p2 p3 p8}, {p4 p5 p6}, {p7} (self-loop), {p9}, and the 4 papers.
  EXPECT_EQ(8u, wcc_count(testing::mixed_graph()));
  EXPECT_EQ(1u, wcc_count(testing::star(6)));
  EXPECT_EQ(0u, wcc_count(empty_compiled()));
}

TEST(Algorithms, TrianglesOfADirectedCycleCountOnceMirrored) {
  EXPECT_EQ(0u, undirected_triangles(testing::triangle()));
  const Database mirrored = GraphBuilder()
                                .people({"ann", "bob", "cy"})
                                .follows("ann", "bob").follows("bob", "cy").follows("cy", "ann")
                                .follows("bob", "ann").follows("cy", "bob").follows("ann", "cy")
                                .compiled();
  EXPECT_EQ(1u, undirected_triangles(mirrored));
  // The lowest node follows both others; the third edge may point either way.
  EXPECT_EQ(1u, undirected_triangles(
                    GraphBuilder().people({"a", "b", "c"}).follows("a", "b").follows("a", "c").follows("c", "b").compiled()));
  // Self-loops close no triangle.
  EXPECT_EQ(0u, undirected_triangles(
                    GraphBuilder().people({"a", "b"}).follows("a", "a").follows("a", "b").follows("b", "b").compiled()));
  // Four nodes, every pair reciprocal: C(4,3) = 4.
  GraphBuilder k4;
  k4.people({"a", "b", "c", "d"});
  for (const char* x : {"a", "b", "c", "d"}) {
    for (const char* y : {"a", "b", "c", "d"}) {
      if (std::string(x) != y) k4.follows(x, y);
    }
  }
  EXPECT_EQ(4u, undirected_triangles(k4.compiled()));
}

TEST(Algorithms, TriangleOfADirectedCycleStaysZeroUnderAnyLayout) {
  // By position the lowest node of the cycle changes with the layout; the
  // count must not.
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    Database db = testing::triangle();
    scatter_layout(db.graph, seed);
    EXPECT_EQ(0u, undirected_triangles(db)) << "seed " << seed;
  }
}

TEST(Algorithms, CommunitiesOfTwoReciprocalTrianglesAndIsolatedNodes) {
  GraphBuilder two;
  two.people({"a", "b", "c", "x", "y", "z"});
  for (const auto& [p, q] : std::vector<std::pair<std::string, std::string>>{
           {"a", "b"}, {"b", "c"}, {"c", "a"}, {"x", "y"}, {"y", "z"}, {"z", "x"}}) {
    two.follows(p, q).follows(q, p);
  }
  EXPECT_EQ(2u, label_propagation_communities(two.compiled()));
  Database isolated;
  for (int i = 0; i < 5; ++i) isolated.add_person("n" + std::to_string(i), 0);
  isolated.compile();
  EXPECT_EQ(5u, label_propagation_communities(isolated));
  EXPECT_EQ(0u, label_propagation_communities(empty_compiled()));
  // A reciprocal pair swaps labels every pass (synchronous updates); after
  // an even number of passes both are back where they began.
  EXPECT_EQ(3u, label_propagation_communities(pair_and_isolated()));
}

TEST(Algorithms, ShortestPathCases) {
  const Database chain =
      GraphBuilder().people({"a", "b", "c", "d", "e"}).follows("a", "b").follows("b", "c").follows("c", "d").compiled();
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 3}), shortest_path(chain, 0, 3));
  EXPECT_EQ((std::vector<std::uint32_t>{2}), shortest_path(chain, 2, 2));
  EXPECT_TRUE(shortest_path(chain, 3, 0).empty());  // against the direction
  EXPECT_TRUE(shortest_path(chain, 0, 4).empty());  // isolated target
  EXPECT_TRUE(shortest_path(chain, 5, 5).empty());  // at N
  EXPECT_TRUE(shortest_path(chain, 0, 5).empty());
  EXPECT_TRUE(shortest_path(chain, std::uint64_t{1} << 32, 0).empty());  // would wrap to 0 as 32 bits
  EXPECT_TRUE(shortest_path(chain, std::numeric_limits<std::uint64_t>::max(), 3).empty());

  EXPECT_EQ("{\"algo\":\"shortestpath\",\"shortest_path\":[2],\"path_len\":0}",
            without_note(run_graph_algorithm(chain, "shortestpath", 2, 2)));
  EXPECT_EQ("{\"algo\":\"shortestpath\",\"shortest_path\":[],\"path_len\":0}",
            without_note(run_graph_algorithm(chain, "shortestpath", 3, 0)));
  EXPECT_EQ("{\"algo\":\"shortestpath\",\"shortest_path\":[],\"path_len\":0}",
            without_note(run_graph_algorithm(chain, "shortestpath", 9, 9)));
  EXPECT_EQ("{\"algo\":\"shortestpath\",\"shortest_path\":[0,1,2,3],\"path_len\":3}",
            without_note(run_graph_algorithm(chain, "shortestpath", 0, 3)));
}

TEST(Algorithms, ShortestPathAmongEqualRoutesIgnoresTheLayout) {
  // 0 → 1 → 3 and 0 → 2 → 3 are equally short; the smaller identity wins,
  // whatever positions the nodes have.
  Database db = GraphBuilder()
                    .people({"s", "m1", "m2", "t"})
                    .follows("s", "m2").follows("s", "m1").follows("m1", "t").follows("m2", "t")
                    .compiled();
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 3}), shortest_path(db, 0, 3));
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    scatter_layout(db.graph, seed);
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 3}), shortest_path(db, 0, 3)) << "seed " << seed;
  }
}

// ---------------------------------------------------------------------------
// The document

TEST(Algorithms, WholeDocumentForAll) {
  EXPECT_EQ(
      "{\"algo\":\"all\",\"pagerank_top\":[{\"id\":0,\"score\":0.333333},{\"id\":1,\"score\":0.333333},"
      "{\"id\":2,\"score\":0.05}],\"degree_top\":[{\"id\":0,\"score\":0.5},{\"id\":1,\"score\":0.5},"
      "{\"id\":2,\"score\":0}],\"wcc_count\":2,\"undirected_triangles\":0,\"communities\":3,"
      "\"shortest_path\":[0,1],\"path_len\":1}",
      without_note(run_graph_algorithm(pair_and_isolated(), "all", 0, 1)));
  EXPECT_EQ(
      "{\"algo\":\"all\",\"pagerank_top\":[],\"degree_top\":[],\"wcc_count\":0,\"undirected_triangles\":0,"
      "\"communities\":0,\"shortest_path\":[],\"path_len\":0}",
      without_note(run_graph_algorithm(empty_compiled(), "all", 0, 0)));
}

TEST(Algorithms, NamesSelectSectionsExactly) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"pagerank", {"algo", "pagerank_top", "note"}},
      {"degree", {"algo", "degree_top", "note"}},
      {"wcc", {"algo", "wcc_count", "note"}},
      {"trianglecount", {"algo", "undirected_triangles", "note"}},
      {"triangles", {"algo", "undirected_triangles", "note"}},
      {"labelpropagation", {"algo", "communities", "note"}},
      {"louvain", {"algo", "communities", "note"}},
      {"shortestpath", {"algo", "shortest_path", "path_len", "note"}},
      {"all",
       {"algo", "pagerank_top", "degree_top", "wcc_count", "undirected_triangles", "communities", "shortest_path",
        "path_len", "note"}},
      {"TriangleCount", {"algo", "note"}},
      {"Triangles", {"algo", "note"}},
      {"PageRank", {"algo", "note"}},
      {"ALL", {"algo", "note"}},
      {"", {"algo", "note"}},
      {"pagerank ", {"algo", "note"}},
  };
  const Database db = testing::mixed_graph();
  for (const auto& [name, members] : cases) {
    SCOPED_TRACE(name);
    const nlohmann::ordered_json doc = nlohmann::ordered_json::parse(run_graph_algorithm(db, name, 0, 2));
    std::vector<std::string> keys;
    for (const auto& item : doc.items()) keys.push_back(item.key());
    EXPECT_EQ(members, keys);
    EXPECT_EQ(name, doc["algo"].get<std::string>());
    EXPECT_FALSE(doc["note"].get<std::string>().empty());
  }
  std::string a = run_graph_algorithm(db, "trianglecount", 0, 0);
  std::string b = run_graph_algorithm(db, "triangles", 0, 0);
  EXPECT_EQ(a.substr(a.find(",\"undirected")), b.substr(b.find(",\"undirected")));
}

TEST(Algorithms, RequestedNameCannotBreakTheDocument) {
  const Database db = testing::triangle();
  const std::string injected = "x\",\"wcc_count\":99,\"y\":\"\\";
  const nlohmann::json doc = nlohmann::json::parse(run_graph_algorithm(db, injected, 0, 0));
  EXPECT_EQ(2u, doc.size());
  EXPECT_EQ(injected, doc["algo"].get<std::string>());
  // Invalid UTF-8 is replaced, so the document still parses.
  EXPECT_NO_THROW(nlohmann::json::parse(run_graph_algorithm(db, "bad\xff", 0, 0)));
}

// A locale whose numbers use a decimal comma, built in so that the test
// does not depend on the locales a machine has installed.
struct DecimalComma : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(Algorithms, ScoresUseAPointWhateverTheGlobalLocale) {
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new DecimalComma));
  const std::string doc = run_graph_algorithm(pair_and_isolated(), "pagerank", 0, 0);
  std::locale::global(previous);
  EXPECT_NE(std::string::npos, doc.find("\"score\":0.05}")) << doc;
}

TEST(Algorithms, UncompiledGraphIsRefused) {
  Database db = testing::triangle();
  db.add_person("late", 0);  // clears `compiled`
  const std::string message = "graph algorithm requires compiled graph";
  auto expect_refused = [&](auto&& call) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& e) {
      EXPECT_EQ(message, e.what());
    }
  };
  expect_refused([&] { pagerank_scores(db); });
  expect_refused([&] { degree_scores(db); });
  expect_refused([&] { wcc_count(db); });
  expect_refused([&] { undirected_triangles(db); });
  expect_refused([&] { label_propagation_communities(db); });
  expect_refused([&] { shortest_path(db, 0, 1); });
  expect_refused([&] { run_graph_algorithm(db, "all", 0, 1); });
  expect_refused([&] { run_graph_algorithm(db, "nothing", 0, 1); });
}

// ---------------------------------------------------------------------------
// Naive oracles over the edge list, in identities

std::vector<double> pagerank_oracle(const Database& db) {
  const std::size_t n = db.graph.node_count;
  const auto follows = follows_of(db);
  std::vector<double> degree(n, 0);
  for (const auto& [s, d] : follows) degree[s] += 1;
  std::vector<double> rank(n, 1.0 / static_cast<double>(n));
  for (int it = 0; it < 12; ++it) {
    std::vector<double> next(n, 0.15 / static_cast<double>(n));
    for (const auto& [s, d] : follows) next[d] += 0.85 * rank[s] / degree[s];
    rank = next;
  }
  return rank;
}

std::uint64_t components_oracle(const Database& db) {
  const std::size_t n = db.graph.node_count;
  std::vector<std::vector<std::uint32_t>> adjacent(n);
  for (const auto& [s, d] : follows_of(db)) {
    adjacent[s].push_back(d);
    adjacent[d].push_back(s);
  }
  std::vector<bool> seen(n);
  std::uint64_t count = 0;
  for (std::uint32_t start = 0; start < n; ++start) {
    if (seen[start]) continue;
    ++count;
    std::vector<std::uint32_t> stack{start};
    seen[start] = true;
    while (!stack.empty()) {
      const std::uint32_t v = stack.back();
      stack.pop_back();
      for (const std::uint32_t w : adjacent[v]) {
        if (!seen[w]) seen[w] = true, stack.push_back(w);
      }
    }
  }
  return count;
}

std::uint64_t triangles_oracle(const Database& db) {
  const std::uint32_t n = static_cast<std::uint32_t>(db.graph.node_count);
  const auto f = follows_of(db);
  auto has = [&f](std::uint32_t a, std::uint32_t b) { return f.count({a, b}) > 0; };
  std::uint64_t count = 0;
  for (std::uint32_t a = 0; a < n; ++a) {
    for (std::uint32_t b = a + 1; b < n; ++b) {
      for (std::uint32_t c = b + 1; c < n; ++c) {
        if (has(a, b) && has(a, c) && (has(b, c) || has(c, b))) ++count;
      }
    }
  }
  return count;
}

std::uint64_t communities_oracle(const Database& db) {
  const std::uint32_t n = static_cast<std::uint32_t>(db.graph.node_count);
  const auto f = follows_of(db);
  std::vector<std::uint32_t> label(n);
  for (std::uint32_t i = 0; i < n; ++i) label[i] = i;
  for (int pass = 0; pass < 8; ++pass) {
    std::vector<std::map<std::uint32_t, int>> votes(n);
    for (const auto& [s, d] : f) {
      ++votes[s][label[d]];
      ++votes[d][label[s]];
    }
    for (std::uint32_t u = 0; u < n; ++u) {
      int best = 0;
      for (const auto& [l, count] : votes[u]) {  // ascending labels: the first maximum is the smallest
        if (count > best) best = count, label[u] = l;
      }
    }
  }
  return std::set<std::uint32_t>(label.begin(), label.end()).size();
}

// Distances by Floyd–Warshall; kFar when unreachable.
constexpr std::uint32_t kFar = 1u << 30;
std::vector<std::vector<std::uint32_t>> distances_oracle(const Database& db) {
  const std::size_t n = db.graph.node_count;
  std::vector<std::vector<std::uint32_t>> dist(n, std::vector<std::uint32_t>(n, kFar));
  for (std::size_t i = 0; i < n; ++i) dist[i][i] = 0;
  for (const auto& [s, d] : follows_of(db)) dist[s][d] = std::min(dist[s][d], 1u);
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) dist[i][j] = std::min(dist[i][j], dist[i][k] + dist[k][j]);
  return dist;
}

TEST(AlgorithmsOracle, AgreeOnRandomGraphs) {
  int index = 0;
  for (const Database& db : random_graphs()) {
    SCOPED_TRACE("graph " + std::to_string(index++));
    const std::vector<double> rank = pagerank_scores(db);
    const std::vector<double> expected = pagerank_oracle(db);
    ASSERT_EQ(expected.size(), rank.size());
    for (std::size_t i = 0; i < rank.size(); ++i) EXPECT_NEAR(expected[i], rank[i], 1e-12) << "node " << i;
    EXPECT_EQ(components_oracle(db), wcc_count(db));
    EXPECT_EQ(triangles_oracle(db), undirected_triangles(db));
    EXPECT_EQ(communities_oracle(db), label_propagation_communities(db));
  }
}

TEST(AlgorithmsOracle, ShortestPathsAreValidAndShortestForEveryPair) {
  for (const Database& db : random_graphs()) {
    const auto f = follows_of(db);
    const auto dist = distances_oracle(db);
    const std::uint32_t n = static_cast<std::uint32_t>(db.graph.node_count);
    for (std::uint32_t s = 0; s < n; ++s) {
      for (std::uint32_t t = 0; t < n; ++t) {
        const std::vector<std::uint32_t> path = shortest_path(db, s, t);
        if (dist[s][t] == kFar) {
          EXPECT_TRUE(path.empty()) << s << "->" << t;
          continue;
        }
        ASSERT_EQ(dist[s][t] + 1, path.size()) << s << "->" << t;
        EXPECT_EQ(s, path.front());
        EXPECT_EQ(t, path.back());
        for (std::size_t i = 1; i < path.size(); ++i) EXPECT_TRUE(f.count({path[i - 1], path[i]}) > 0);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Layout independence

// Every section, from a few (source, target) pairs, as one text.
std::string all_answers(const Database& db) {
  std::string text;
  const std::uint64_t n = db.graph.node_count;
  for (const auto& [s, t] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
           {0, n / 2}, {n / 3, n - 1}, {1, 2}, {n - 1, 0}}) {
    text += run_graph_algorithm(db, "all", s, t) + "\n";
  }
  return text;
}

void expect_layout_independent(Database db) {
  const std::string before = all_answers(db);
  const std::vector<double> rank = pagerank_scores(db);
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    scatter_layout(db.graph, seed);
    EXPECT_EQ(before, all_answers(db)) << "scatter " << seed;
    EXPECT_EQ(rank, pagerank_scores(db)) << "scatter " << seed;  // bit for bit
  }
  apply_mess(db, 2, 5);  // duplicates collapse at compile: the same graph, renumbered
  EXPECT_EQ(before, all_answers(db)) << "mess 2";
  optimize_layout(db);
  EXPECT_EQ(before, all_answers(db)) << "optimize";
  EXPECT_EQ(rank, pagerank_scores(db)) << "optimize";
}

TEST(AlgorithmsLayout, AnswersUnchangedByRenumberingRandomGraphs) {
  for (Database& db : random_graphs()) expect_layout_independent(std::move(db));
}

TEST(AlgorithmsLayout, AnswersUnchangedByRenumberingACorpus) {
  Database db;
  generate_corpus(db, 300, 120, 42);
  expect_layout_independent(std::move(db));
}

}  // namespace
}  // namespace orvane
