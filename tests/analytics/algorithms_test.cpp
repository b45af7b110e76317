// The focus of this file is the graph algorithms as a caller sees them:
// hand-checkable cases, the JSON document, naive oracles over the edge list
// on random graphs, and answers that stay identical, bit for bit, when the
// layout is scattered, messed up or optimised.
#include "analytics/graph_algorithms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <locale>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

// a ↔ b and an isolated c.
Database pair_and_isolated() { return GraphBuilder().people({"a", "b", "c"}).follows("a", "b").follows("b", "a").compiled(); }

// The document without its "note" member, whose sentence is free text.
std::string without_note(const std::string& document) {
  const std::size_t at = document.find(",\"note\":\"");
  return at == std::string::npos ? "no note in " + document : document.substr(0, at) + "}";
}

std::vector<Database> random_graphs() {
  std::vector<Database> graphs;
  const std::uint32_t shapes[][4] = {{12, 3, 10, 1}, {25, 5, 40, 7}, {30, 0, 120, 11}, {40, 10, 30, 23}};
  for (const auto& s : shapes) graphs.push_back(testing::random_graph(s[0], s[1], s[2], s[3], true, 1));
  return graphs;
}

// FOLLOWS relationships as identity pairs.
std::set<std::pair<std::uint32_t, std::uint32_t>> follows_of(const Database& db) {
  std::set<std::pair<std::uint32_t, std::uint32_t>> out;
  for (const Edge& e : db.graph.edges) {
    if (e.type == db.follows_type) out.insert({e.src, e.dst});
  }
  return out;
}

// The definitions at their edges; the oracles below check the rest at large.
TEST(Algorithms, HandCheckedCases) {
  const Database pair = pair_and_isolated();
  const std::vector<double> rank = pagerank_scores(pair);
  EXPECT_NEAR(0.05, rank[2], 1e-15);  // (1 − 0.85) / 3: an isolated node keeps its base share
  EXPECT_NEAR(1.0 / 3.0, rank[0], 1e-12);
  EXPECT_EQ(rank[0], rank[1]);
  EXPECT_EQ((std::vector<double>{1, 0, 0, 0, 0}), degree_scores(testing::star(4)));
  EXPECT_EQ((std::vector<double>{0, 0}), degree_scores(GraphBuilder().people({"a"}).papers({"p"}).authored("a", "p").compiled()));
  // Ranked lists hold eight entries, ties by identity.
  std::string top;
  for (const RankedNode& r : degree_top(testing::star(12))) top += std::to_string(r.id) + " ";
  EXPECT_EQ("0 1 2 3 4 5 6 7 ", top);
  // Nodes without FOLLOWS (papers, p9) are components of their own.
  EXPECT_EQ(8u, wcc_count(testing::mixed_graph()));
  // A directed cycle counts once mirrored, whatever its lowest position; self-loops close none.
  for (std::uint32_t seed = 0; seed <= 6; ++seed) {
    Database cycle = testing::triangle();
    if (seed) scatter_layout(cycle.graph, seed);
    EXPECT_EQ(0u, undirected_triangles(cycle)) << "seed " << seed;
  }
  EXPECT_EQ(1u, undirected_triangles(GraphBuilder().people({"a", "b", "c"}).follows("a", "b").follows("a", "c").follows("c", "b").compiled()));
  EXPECT_EQ(0u, undirected_triangles(GraphBuilder().people({"a", "b"}).follows("a", "a").follows("a", "b").follows("b", "b").compiled()));
  // A reciprocal pair swaps labels every pass and is back where it began after eight.
  EXPECT_EQ(3u, label_propagation_communities(pair));
  const Database empty = GraphBuilder().compiled();
  EXPECT_EQ(0u, wcc_count(empty) + undirected_triangles(empty) + label_propagation_communities(empty));
}

TEST(Algorithms, ShortestPaths) {
  const Database chain =
      GraphBuilder().people({"a", "b", "c", "d", "e"}).follows("a", "b").follows("b", "c").follows("c", "d").compiled();
  const std::uint64_t far = std::numeric_limits<std::uint64_t>::max();
  const struct {
    std::uint64_t s, t;
    std::vector<std::uint32_t> path;
  } cases[] = {{0, 3, {0, 1, 2, 3}}, {2, 2, {2}}, {3, 0, {}}, {0, 4, {}}, {5, 5, {}}, {std::uint64_t{1} << 32, 0, {}}, {far, 3, {}}};
  for (const auto& c : cases) EXPECT_EQ(c.path, shortest_path(chain, c.s, c.t)) << c.s << "->" << c.t;
  EXPECT_EQ("{\"algo\":\"shortestpath\",\"shortest_path\":[0,1,2,3],\"path_len\":3}",
            without_note(run_graph_algorithm(chain, "shortestpath", 0, 3)));
  EXPECT_EQ("{\"algo\":\"shortestpath\",\"shortest_path\":[],\"path_len\":0}",
            without_note(run_graph_algorithm(chain, "shortestpath", 9, 9)));
  // Among equal routes the smaller identity wins, whatever the positions.
  Database db = GraphBuilder().people({"s", "m1", "m2", "t"}).follows("s", "m2").follows("s", "m1").follows("m1", "t").follows("m2", "t").compiled();
  for (std::uint32_t seed = 0; seed <= 8; ++seed) {
    if (seed) scatter_layout(db.graph, seed);
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 3}), shortest_path(db, 0, 3)) << "seed " << seed;
  }
}

// A decimal-comma locale, built in so that no installed locale is needed.
struct DecimalComma : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(Algorithms, Document) {
  EXPECT_EQ(
      "{\"algo\":\"all\",\"pagerank_top\":[{\"id\":0,\"score\":0.333333},{\"id\":1,\"score\":0.333333},"
      "{\"id\":2,\"score\":0.05}],\"degree_top\":[{\"id\":0,\"score\":0.5},{\"id\":1,\"score\":0.5},"
      "{\"id\":2,\"score\":0}],\"wcc_count\":2,\"undirected_triangles\":0,\"communities\":3,"
      "\"shortest_path\":[0,1],\"path_len\":1}",
      without_note(run_graph_algorithm(pair_and_isolated(), "all", 0, 1)));
  // Scores use a point whatever the global locale.
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new DecimalComma));
  const std::string pagerank = run_graph_algorithm(pair_and_isolated(), "pagerank", 0, 0);
  std::locale::global(previous);
  EXPECT_NE(std::string::npos, pagerank.find("\"score\":0.05}")) << pagerank;
  // Names select sections exactly and case-sensitively.
  const std::pair<std::string, std::string> cases[] = {
      {"pagerank", "pagerank_top"}, {"trianglecount", "undirected_triangles"}, {"triangles", "undirected_triangles"},
      {"louvain", "communities"},   {"shortestpath", "shortest_path,path_len"}, {"TriangleCount", ""}, {"pagerank ", ""},
  };
  const Database db = testing::mixed_graph();
  for (const auto& [name, members] : cases) {
    const auto doc = nlohmann::ordered_json::parse(run_graph_algorithm(db, name, 0, 2));
    std::string keys;
    for (const auto& item : doc.items()) keys += item.key() == "algo" || item.key() == "note" ? "" : "," + item.key();
    EXPECT_EQ(members, keys.empty() ? "" : keys.substr(1)) << name;
    EXPECT_EQ(name, doc["algo"]);
    EXPECT_FALSE(doc["note"].get<std::string>().empty());
  }
  // The requested name is escaped; invalid UTF-8 in it is replaced.
  const std::string injected = "x\",\"wcc_count\":99,\"y\":\"\\";
  const auto doc = nlohmann::json::parse(run_graph_algorithm(db, injected, 0, 0));
  EXPECT_EQ(2u, doc.size());
  EXPECT_EQ(injected, doc["algo"]);
  EXPECT_NO_THROW(nlohmann::json::parse(run_graph_algorithm(db, "bad\xff", 0, 0)));
}

TEST(Algorithms, UncompiledGraphIsRefused) {
  Database db = testing::triangle();
  db.add_person("late", 0);  // clears `compiled`
  const std::function<void()> calls[] = {
      [&] { pagerank_scores(db); }, [&] { degree_scores(db); }, [&] { wcc_count(db); },
      [&] { undirected_triangles(db); }, [&] { label_propagation_communities(db); },
      [&] { shortest_path(db, 0, 1); }, [&] { run_graph_algorithm(db, "nothing", 0, 1); }};
  for (const auto& call : calls) EXPECT_EQ("graph algorithm requires compiled graph", testing::error_of(call));
}

// Naive oracles over the edge list, in identities.
std::vector<double> pagerank_oracle(const Database& db) {
  const std::size_t n = db.graph.node_count;
  const auto follows = follows_of(db);
  std::vector<double> degree(n, 0), rank(n, 1.0 / static_cast<double>(n));
  for (const auto& [s, d] : follows) degree[s] += 1;
  for (int it = 0; it < 12; ++it) {
    std::vector<double> next(n, 0.15 / static_cast<double>(n));
    for (const auto& [s, d] : follows) next[d] += 0.85 * rank[s] / degree[s];
    rank = next;
  }
  return rank;
}

std::uint64_t components_oracle(const Database& db) {
  std::vector<std::uint32_t> id(db.graph.node_count);
  for (std::uint32_t i = 0; i < id.size(); ++i) id[i] = i;
  for (bool changed = true; changed;) {  // spread the smallest identity until nothing changes
    changed = false;
    for (const auto& [s, d] : follows_of(db)) {
      const std::uint32_t low = std::min(id[s], id[d]);
      changed |= id[s] != low || id[d] != low;
      id[s] = id[d] = low;
    }
  }
  return std::set<std::uint32_t>(id.begin(), id.end()).size();
}

std::uint64_t triangles_oracle(const Database& db) {
  const std::uint32_t n = static_cast<std::uint32_t>(db.graph.node_count);
  const auto f = follows_of(db);
  auto has = [&f](std::uint32_t a, std::uint32_t b) { return f.count({a, b}) > 0; };
  std::uint64_t count = 0;
  for (std::uint32_t a = 0; a < n; ++a)
    for (std::uint32_t b = a + 1; b < n; ++b)
      for (std::uint32_t c = b + 1; c < n; ++c) count += has(a, b) && has(a, c) && (has(b, c) || has(c, b));
  return count;
}

std::uint64_t communities_oracle(const Database& db) {
  const std::uint32_t n = static_cast<std::uint32_t>(db.graph.node_count);
  std::vector<std::uint32_t> label(n);
  for (std::uint32_t i = 0; i < n; ++i) label[i] = i;
  for (int pass = 0; pass < 8; ++pass) {
    std::vector<std::map<std::uint32_t, int>> votes(n);
    for (const auto& [s, d] : follows_of(db)) ++votes[s][label[d]], ++votes[d][label[s]];
    for (std::uint32_t u = 0; u < n; ++u) {
      int best = 0;
      for (const auto& [l, count] : votes[u]) {  // ascending labels: the first maximum is the smallest
        if (count > best) best = count, label[u] = l;
      }
    }
  }
  return std::set<std::uint32_t>(label.begin(), label.end()).size();
}

TEST(AlgorithmsOracle, AgreeOnRandomGraphs) {
  for (const Database& db : random_graphs()) {
    SCOPED_TRACE(testing::edges_of(db));
    const std::vector<double> rank = pagerank_scores(db), expected = pagerank_oracle(db);
    for (std::size_t i = 0; i < rank.size(); ++i) EXPECT_NEAR(expected.at(i), rank[i], 1e-12) << "node " << i;
    EXPECT_EQ(components_oracle(db), wcc_count(db));
    EXPECT_EQ(triangles_oracle(db), undirected_triangles(db));
    EXPECT_EQ(communities_oracle(db), label_propagation_communities(db));
    // Shortest paths: valid FOLLOWS steps, and as long as a breadth-first search says.
    const auto f = follows_of(db);
    const std::uint32_t n = static_cast<std::uint32_t>(db.graph.node_count);
    for (std::uint32_t s = 0; s < n; ++s) {
      std::vector<std::uint32_t> dist(n, kNoNode), queue{s};
      dist[s] = 0;
      for (std::size_t i = 0; i < queue.size(); ++i) {
        for (const auto& [a, b] : f) {
          if (a == queue[i] && dist[b] == kNoNode) dist[b] = dist[a] + 1, queue.push_back(b);
        }
      }
      for (std::uint32_t t = 0; t < n; ++t) {
        const std::vector<std::uint32_t> path = shortest_path(db, s, t);
        ASSERT_EQ(dist[t] == kNoNode ? 0 : dist[t] + 1, path.size()) << s << "->" << t;
        for (std::size_t i = 1; i < path.size(); ++i) EXPECT_TRUE(f.count({path[i - 1], path[i]})) << s << "->" << t;
        EXPECT_TRUE(path.empty() || (path.front() == s && path.back() == t)) << s << "->" << t;
      }
    }
  }
}

// Every section, from a few (source, target) pairs, as one text.
std::string all_answers(const Database& db) {
  std::string text;
  const std::uint64_t n = db.graph.node_count;
  const std::uint64_t pairs[][2] = {{0, n / 2}, {n / 3, n - 1}, {1, 2}, {n - 1, 0}};
  for (const auto& st : pairs) text += run_graph_algorithm(db, "all", st[0], st[1]) + "\n";
  return text;
}

TEST(AlgorithmsLayout, AnswersUnchangedByRenumbering) {
  std::vector<Database> graphs = random_graphs();
  graphs.emplace_back();
  generate_corpus(graphs.back(), 300, 120, 42);
  for (Database& db : graphs) {
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
}

}  // namespace
}  // namespace orvane
