// Graph algorithms and vector retrieval: hand-checkable cases, the JSON
// documents, answers identical bit for bit under every renumbering; top-k against a brute-force sort with any thread
// count, extreme embeddings, the GraphRAG pack and text embeddings.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <locale>
#include <random>
#include <set>
#include <stdexcept>
#include <tuple>

#include <nlohmann/json.hpp>

#include "analytics/graph_algorithms.h"
#include "analytics/parallelism.h"
#include "analytics/retrieval.h"
#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

Database pair_and_isolated() { return GraphBuilder().people({"a", "b", "c"}).follows("a", "b").follows("b", "a").compiled(); }

// The document without its "note" member, whose sentence is free text.
std::string without_note(const std::string& document) {
  const std::size_t at = document.find(",\"note\":\"");
  return at == std::string::npos ? "no note in " + document : document.substr(0, at) + "}";
}

// The definitions at their edges.
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
  // A reciprocal pair swaps labels every pass and is back where it began after eight; ties go to
  // the smallest label (to the largest, this graph would end as two communities).
  EXPECT_EQ(3u, label_propagation_communities(pair));
  const Database ties = GraphBuilder().people({"a", "b", "c", "d"}).follows("a", "b").follows("a", "c")
                            .follows("a", "d").follows("b", "c").follows("b", "d").compiled();
  EXPECT_EQ(1u, label_propagation_communities(ties));
  const Database empty = GraphBuilder().compiled();
  EXPECT_EQ(0u, wcc_count(empty) + undirected_triangles(empty) + label_propagation_communities(empty));
  Database late = testing::triangle();
  late.add_person("late", 0);  // clears `compiled`
  const std::function<void()> calls[] = {
      [&] { pagerank_scores(late); }, [&] { degree_scores(late); }, [&] { wcc_count(late); },
      [&] { undirected_triangles(late); }, [&] { label_propagation_communities(late); },
      [&] { shortest_path(late, 0, 1); }, [&] { run_graph_algorithm(late, "nothing", 0, 1); }};
  for (const auto& call : calls) EXPECT_EQ("graph algorithm requires compiled graph", testing::error_of(call));

  // Shortest paths; among equal routes the smaller identity wins, whatever the positions.
  const Database chain =
      GraphBuilder().people({"a", "b", "c", "d", "e"}).follows("a", "b").follows("b", "c").follows("c", "d").compiled();
  const std::uint64_t far = std::numeric_limits<std::uint64_t>::max();
  const std::tuple<std::uint64_t, std::uint64_t, std::vector<std::uint32_t>> cases[] = {
      {0, 3, {0, 1, 2, 3}}, {2, 2, {2}}, {3, 0, {}}, {0, 4, {}}, {5, 5, {}}, {std::uint64_t{1} << 32, 0, {}}, {far, 3, {}}};
  for (const auto& [s, t, path] : cases) EXPECT_EQ(path, shortest_path(chain, s, t)) << s << "->" << t;
  EXPECT_EQ("{\"algo\":\"shortestpath\",\"shortest_path\":[],\"path_len\":0}",
            without_note(run_graph_algorithm(chain, "shortestpath", 9, 9)));
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

// Every section, from a few (source, target) pairs, as one text.
std::string all_answers(const Database& db) {
  const std::uint64_t n = db.graph.node_count;
  std::string text;
  for (const auto& [s, t] : {std::pair{0ul, n / 2}, {n / 3, n - 1}, {1ul, 2ul}, {n - 1, 0ul}}) {
    text += run_graph_algorithm(db, "all", s, t) + "\n";
  }
  return text;
}

// On random graphs and a corpus, answers identical (PageRank bit for bit)
// under every renumbering.
TEST(AlgorithmsLayout, AnswersUnchangedByRenumbering) {
  std::vector<Database> graphs;
  for (const auto& s : {std::array{12, 3, 10, 1}, {25, 5, 40, 7}, {30, 0, 120, 11}, {40, 10, 30, 23}}) {
    graphs.push_back(testing::random_graph(s[0], s[1], s[2], s[3], true, 1));
  }
  graphs.emplace_back();
  generate_corpus(graphs.back(), 300, 120, 42);
  for (Database& db : graphs) {
    const std::string before = all_answers(db);
    const std::vector<double> rank = pagerank_scores(db);
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
      scatter_layout(db.graph, seed);
      EXPECT_EQ(before, all_answers(db)) << "scatter " << seed;
      EXPECT_EQ(rank, pagerank_scores(db)) << "scatter " << seed;
    }
    apply_mess(db, 2, 5);  // duplicates collapse at compile: the same graph, renumbered
    EXPECT_EQ(before, all_answers(db)) << "mess 2";
    optimize_layout(db);
    EXPECT_EQ(before, all_answers(db)) << "optimize";
    EXPECT_EQ(rank, pagerank_scores(db)) << "optimize";
  }
}

std::vector<float> topic_query(std::uint32_t topic) {
  std::vector<float> q(32);
  seed_embedding(q.data(), q.size(), topic, 7);
  return q;
}

// Every node of the label with its cosine in double, best first.
std::vector<Hit> brute_force(const Database& db, const std::vector<float>& q, std::uint16_t label) {
  std::vector<Hit> all;
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
    if (db.graph.labels[i] != label) continue;
    double dot = 0, a = 0, b = 0;
    for (std::size_t c = 0; c < db.embedding_dim; ++c) {
      const double x = q[c], y = db.embedding(i)[c];
      dot += x * y, a += x * x, b += y * y;
    }
    all.push_back({i, a * b > 0 ? float(dot / std::sqrt(a * b)) : 0.0f});
  }
  std::stable_sort(all.begin(), all.end(), [](const Hit& x, const Hit& y) { return x.score > y.score; });
  return all;
}

void expect_same_scores(const std::vector<Hit>& expected, const std::vector<Hit>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(expected[i].score, actual[i].score, 1e-5) << i;
}

class RetrievalTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { optimize_layout(generate_corpus(corpus_, 200, 80, 42)); }
  static Database corpus_;
};
Database RetrievalTest::corpus_;

TEST_F(RetrievalTest, TopKEqualsBruteForceSortWithAnyThreadCount) {
  for (std::uint32_t topic : {0u, 3u, 11u}) {
    const auto q = topic_query(topic);
    for (std::uint16_t label : {corpus_.paper_label, corpus_.person_label}) {
      auto expected = brute_force(corpus_, q, label);
      expect_same_scores(expected, retrieve_top_k(corpus_, q.data(), 32, 1000, label, 0));  // k above the count
      expected.resize(10);
      for (int threads : {1, 2, 7}) {
        set_kernel_threads(threads);
        const auto hits = retrieve_top_k(corpus_, q.data(), 32, 10, label, 0);
        expect_same_scores(expected, hits);
        for (std::size_t i = 0; i < hits.size(); ++i) EXPECT_EQ(expected[i].id, hits[i].id) << i;
      }
      set_kernel_threads(0);
    }
  }
  const auto q = topic_query(0);
  EXPECT_EQ(200u, retrieve_top_k(corpus_, q.data(), 32, ~0ull, corpus_.person_label, 0).size());
  EXPECT_TRUE(retrieve_top_k(corpus_, q.data(), 31, 10, corpus_.paper_label, 0).empty());
  EXPECT_TRUE(retrieve_top_k(corpus_, q.data(), 32, 0, corpus_.paper_label, 0).empty());
  EXPECT_EQ(0u, graphrag_pack(corpus_, q.data(), 64, 10, 2).papers);
}

// Widths other than 32 (an import's) take the general kernel: the same
// answers as the naive cosine, a query of another width finds nothing, and
// text queries come at the database's width.
TEST(Retrieval, AnyEmbeddingWidthMatchesTheNaiveCosine) {
  std::mt19937 random(1536);
  std::uniform_real_distribution<float> component(-1.0f, 1.0f);
  const auto random_vector = [&](std::size_t dim) {
    std::vector<float> v(dim);
    for (float& x : v) x = component(random);
    return v;
  };
  for (const std::size_t dim : {1, 3, 7, 1536}) {
    SCOPED_TRACE(dim);
    Database db;
    optimize_layout(generate_corpus(db, 200, 80, 42));
    db.set_embedding_dim(dim);
    for (std::uint32_t i = 0; i < db.graph.node_count; ++i) db.set_embedding(i, random_vector(dim));
    const std::vector<float> q = random_vector(dim);
    for (std::uint16_t label : {db.paper_label, db.person_label}) {
      std::vector<Hit> expected = brute_force(db, q, label);
      expect_same_scores(expected, retrieve_top_k(db, q.data(), dim, 1000, label, 0));
      expected.resize(10);
      for (int threads : {1, 2, 7}) {
        set_kernel_threads(threads);
        const auto hits = retrieve_top_k(db, q.data(), dim, 10, label, 0);
        expect_same_scores(expected, hits);
        for (std::size_t i = 0; i < hits.size() && dim > 1; ++i) EXPECT_EQ(expected[i].id, hits[i].id) << i;
      }
      set_kernel_threads(0);
    }
    const std::vector<float> other(32, 1.0f);
    EXPECT_TRUE(retrieve_top_k(db, other.data(), 32, 10, db.paper_label, 0).empty());
    EXPECT_EQ(0u, graphrag_pack(db, other.data(), 32, 10, 1).papers);
    std::vector<float> text(dim);
    text_embedding(text.data(), dim, "graph algorithms");
    EXPECT_EQ(2u % dim, static_cast<std::size_t>(std::max_element(text.begin(), text.end()) - text.begin()));
    const auto doc = nlohmann::json::parse(retrieval_document_json(db, text.data(), 4, 1));
    EXPECT_EQ(4u, doc["hits"].size());
  }
}

// Equal scores come out by ascending identity, whatever the thread count.
// Regression: components near the float limit overflowed the product of
// the norms to infinity and the score to NaN.
TEST(Retrieval, TiesByIdentityAndFiniteScoresForExtremeEmbeddings) {
  Database db;
  for (int i = 0; i < 40; ++i) db.add_paper("q" + std::to_string(i), 0);
  for (std::uint32_t i = 0; i < 40; ++i) db.set_embedding(i, std::vector<float>(32, i % 2 ? 2.0f : 1.0f));
  db.compile();
  const std::vector<float> q(32, 1.0f);
  for (int threads : {1, 3}) {
    set_kernel_threads(threads);
    std::string ids;
    for (const Hit& h : retrieve_top_k(db, q.data(), 32, 5, db.paper_label, 0)) ids += std::to_string(h.id) + " ";
    EXPECT_EQ("0 1 2 3 4 ", ids) << threads << " threads";
  }
  set_kernel_threads(0);
  db = Database();
  for (int i = 0; i < 4; ++i) db.add_paper("q" + std::to_string(i), 0);
  std::vector<float> big(32, 0.0f);
  big[0] = 3e38f;
  for (const auto& [id, values] : {std::pair{0u, std::vector<float>(32, FLT_MAX)}, {1u, std::vector<float>(32, 1e-30f)},
                                  {2u, std::vector<float>(32, 0.0f)}, {3u, big}}) {
    db.set_embedding(id, values);
  }
  db.compile();
  const std::vector<float> huge(32, FLT_MAX), zero(32, 0.0f);
  const float expected[] = {1.0f, 1.0f, 0.0f, float(1.0 / std::sqrt(32.0))};
  const auto hits = retrieve_top_k(db, q.data(), 32, 4, db.paper_label, 0);
  ASSERT_EQ(4u, hits.size());
  for (const Hit& h : hits) EXPECT_NEAR(expected[h.id], h.score, 1e-5) << h.id;
  for (const Hit& h : retrieve_top_k(db, huge.data(), 32, 4, db.paper_label, 0)) EXPECT_TRUE(std::isfinite(h.score));
  for (const Hit& h : retrieve_top_k(db, zero.data(), 32, 4, db.paper_label, 0)) EXPECT_EQ(0.0f, h.score);
  const std::string doc = retrieval_document_json(db, huge.data(), 4, 1);
  EXPECT_TRUE(doc.find("nan") == std::string::npos && doc.find("inf") == std::string::npos) << doc;
  EXPECT_NO_THROW(nlohmann::json::parse(doc));
}

TEST_F(RetrievalTest, ExpandPackAndDocument) {
  // Expanding appends outgoing neighbours, each once, with score 0.
  const auto hits = retrieve_top_k(corpus_, topic_query(1).data(), 32, 3, corpus_.person_label, 1);
  ASSERT_GT(hits.size(), 3u);
  std::set<std::uint32_t> ids;
  for (std::size_t i = 0; i < hits.size(); ++i) {
    EXPECT_TRUE(ids.insert(hits[i].id).second && (i < 3 || hits[i].score == 0.0f)) << i;
  }
  const auto q = topic_query(0);
  const RagPack flat = graphrag_pack(corpus_, q.data(), 32, 5, 0);
  EXPECT_EQ(5u, flat.papers);
  EXPECT_EQ(flat.paper_ids, flat.subgraph);
  const RagPack deep = graphrag_pack(corpus_, q.data(), 32, 5, 2);
  EXPECT_EQ(deep.paper_ids, flat.paper_ids);
  EXPECT_GT(deep.subgraph_nodes, flat.subgraph_nodes);
  EXPECT_EQ(deep.subgraph_nodes, deep.subgraph_people + deep.subgraph_papers);
  EXPECT_EQ(0, graphrag_pack(corpus_, q.data(), 32, 5, -3).hops);
  std::string keys;
  const auto pack = nlohmann::ordered_json::parse(rag_pack_json(deep));
  for (const auto& item : pack.items()) keys += item.key() + " ";
  EXPECT_EQ("k hops papers authors related_papers followed context_nodes subgraph_nodes subgraph_people "
            "subgraph_papers retrieve_ns expand_ns e2e_ns gpu paper_ids note ",
            keys);

  const auto j = nlohmann::ordered_json::parse(retrieval_document_json(corpus_, topic_query(4).data(), 3, 1));
  ASSERT_TRUE(j["hits"].size() == 3 && j["documents"].size() == 3 && j["expand_hops"] == 1);
  const std::string text = j["documents"][0]["text"];
  EXPECT_NE(std::string::npos, text.find("-hop subgraph has ")) << text;
  EXPECT_TRUE(text.ends_with(" Retrieved by Halvex cosine on CPU.")) << text;
}

TEST(TextEmbedding, ChoosesHotComponent) {
  auto embed = [](const std::string& text) {
    std::vector<float> v(32);
    text_embedding(v.data(), v.size(), text);
    return v;
  };
  auto hot = [&](const std::string& text) {
    const auto v = embed(text);
    return std::max_element(v.begin(), v.end()) - v.begin();
  };
  EXPECT_EQ(5, hot("papers about databases and compilers"));
  EXPECT_EQ(3, hot("topic 19"));
  EXPECT_EQ(0, hot("topic without a number"));
  std::vector<float> expected(32);
  seed_embedding(expected.data(), expected.size(), 0, 7);
  EXPECT_EQ(expected, embed(""));
  // A wider vector begins with the 32-float one when the hot component falls in it.
  std::vector<float> wide(1536);
  text_embedding(wide.data(), wide.size(), "databases");
  EXPECT_EQ(embed("databases"), std::vector<float>(wide.begin(), wide.begin() + 32));
  EXPECT_EQ(embed("Hello World"), embed("hello world"));  // the hash folds case
  EXPECT_THROW(embed("topic 99999999999999999999999"), std::out_of_range);
}

// The kernels' team follows OMP_NUM_THREADS as OpenMP users expect; unset, every processor.
TEST(Parallelism, KernelThreadsFollowOmpNumThreadsWhenSet) {
  const char* before = std::getenv("OMP_NUM_THREADS");
  const std::string saved = before ? before : "";
  const int runtime = omp_get_max_threads();
  omp_set_num_threads(3);
  setenv("OMP_NUM_THREADS", "3", 1);
  EXPECT_EQ(3, kernel_threads());
  unsetenv("OMP_NUM_THREADS");
  EXPECT_EQ(std::max(1, omp_get_num_procs()), kernel_threads());
  omp_set_num_threads(runtime);
  if (before) setenv("OMP_NUM_THREADS", saved.c_str(), 1);
}

}  // namespace
}  // namespace orvane
