// The focus of this file is vector retrieval: top-k against a brute-force
// sort, thread-count independence, finite scores for extreme embeddings,
// the GraphRAG pack, the retrieval document, text embeddings and the
// dimension sweep's limits.
#include "analytics/retrieval.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "analytics/parallelism.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"

namespace orvane {
namespace {

std::vector<float> topic_query(std::uint32_t topic) {
  std::vector<float> q(32);
  seed_embedding(q.data(), topic, 7);
  return q;
}

// Every node of the label with its cosine in double, best first.
std::vector<Hit> brute_force(const Database& db, const std::vector<float>& q, std::uint16_t label) {
  std::vector<Hit> all;
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
    if (db.graph.labels[i] != label) continue;
    double dot = 0, a = 0, b = 0;
    for (std::size_t c = 0; c < 32; ++c) {
      dot += double(q[c]) * db.embeddings[32 * i + c];
      a += double(q[c]) * q[c];
      b += double(db.embeddings[32 * i + c]) * db.embeddings[32 * i + c];
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

TEST_F(RetrievalTest, TopKEqualsBruteForceSort) {
  for (std::uint32_t topic : {0u, 3u, 11u}) {
    const auto q = topic_query(topic);
    for (std::uint16_t label : {corpus_.paper_label, corpus_.person_label}) {
      auto expected = brute_force(corpus_, q, label);
      expected.resize(10);
      expect_same_scores(expected, retrieve_top_k(corpus_, q.data(), 32, 10, label, 0));
    }
  }
}

TEST_F(RetrievalTest, KAboveLabelCountReturnsAllBestFirst) {
  const auto q = topic_query(2);
  const auto hits = retrieve_top_k(corpus_, q.data(), 32, 1000, corpus_.paper_label, 0);
  ASSERT_EQ(80u, hits.size());
  EXPECT_TRUE(std::is_sorted(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) { return a.score > b.score; }));
  expect_same_scores(brute_force(corpus_, q, corpus_.paper_label), hits);
  EXPECT_EQ(200u, retrieve_top_k(corpus_, q.data(), 32, ~0ull, corpus_.person_label, 0).size());
}

TEST_F(RetrievalTest, SameResultsFromOneAndTwoThreads) {
  const auto q = topic_query(5);
  set_kernel_threads(1);
  const auto one = retrieve_top_k(corpus_, q.data(), 32, 15, corpus_.person_label, 0);
  set_kernel_threads(2);
  const auto two = retrieve_top_k(corpus_, q.data(), 32, 15, corpus_.person_label, 0);
  set_kernel_threads(7);
  const auto seven = retrieve_top_k(corpus_, q.data(), 32, 15, corpus_.person_label, 0);
  set_kernel_threads(0);
  expect_same_scores(one, two);
  expect_same_scores(one, seven);
  for (std::size_t i = 0; i < one.size(); ++i) EXPECT_EQ(one[i].id, two[i].id);
}

// OMP_NUM_THREADS, when set, is what the runtime answers (the runtime parses
// it at start-up; omp_set_num_threads stands in for that here).
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

TEST_F(RetrievalTest, WrongDimensionsGiveNothing) {
  const auto q = topic_query(0);
  EXPECT_TRUE(retrieve_top_k(corpus_, q.data(), 31, 10, corpus_.paper_label, 0).empty());
  EXPECT_TRUE(retrieve_top_k(corpus_, q.data(), 32, 0, corpus_.paper_label, 0).empty());
  EXPECT_EQ(0u, graphrag_pack(corpus_, q.data(), 64, 10, 2).papers);
}

TEST_F(RetrievalTest, ExpandAppendsOutgoingNeighboursOnce) {
  const auto q = topic_query(1);
  const auto hits = retrieve_top_k(corpus_, q.data(), 32, 3, corpus_.person_label, 1);
  ASSERT_GE(hits.size(), 3u);
  std::vector<std::uint32_t> ids;
  for (const auto& h : hits) ids.push_back(h.id);
  std::sort(ids.begin(), ids.end());
  EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end()) == ids.end());
  for (std::size_t i = 3; i < hits.size(); ++i) EXPECT_EQ(0.0f, hits[i].score);
  EXPECT_EQ(gpu_retrieve_top_k(corpus_, q.data(), 32, 3, corpus_.person_label, 1).size(), hits.size());
}

// Regression: components near the float limit overflowed the product of
// the norms to infinity and the score to NaN.
TEST(Retrieval, ExtremeEmbeddingsScoreFinite) {
  Database db;
  for (int i = 0; i < 4; ++i) db.add_paper("q" + std::to_string(i), 0);
  db.set_embedding(0, std::vector<float>(32, FLT_MAX));
  db.set_embedding(1, std::vector<float>(32, 1e-30f));
  db.set_embedding(2, std::vector<float>(32, 0.0f));
  std::vector<float> big(32, 0.0f);
  big[0] = 3e38f;
  db.set_embedding(3, big);
  db.compile();
  std::vector<float> q(32, 1.0f);
  const auto hits = retrieve_top_k(db, q.data(), 32, 4, db.paper_label, 0);
  ASSERT_EQ(4u, hits.size());
  for (const Hit& h : hits) {
    EXPECT_TRUE(std::isfinite(h.score)) << h.id;
    if (h.id == 0 || h.id == 1) { EXPECT_NEAR(1.0f, h.score, 1e-5); }
    if (h.id == 2) { EXPECT_EQ(0.0f, h.score); }
    if (h.id == 3) { EXPECT_NEAR(1.0 / std::sqrt(32.0), h.score, 1e-5); }
  }
  std::vector<float> huge_query(32, FLT_MAX);
  for (const Hit& h : retrieve_top_k(db, huge_query.data(), 32, 4, db.paper_label, 0)) EXPECT_TRUE(std::isfinite(h.score));
  const std::string doc = retrieval_document_json(db, huge_query.data(), 4, 1);
  EXPECT_EQ(std::string::npos, doc.find("nan"));
  EXPECT_EQ(std::string::npos, doc.find("inf"));
  EXPECT_NO_THROW(nlohmann::json::parse(doc));
}

TEST(Retrieval, ZeroQueryScoresZero) {
  Database db;
  generate_corpus(db, 10, 5, 1);
  optimize_layout(db);
  std::vector<float> zero(32, 0.0f);
  const auto hits = retrieve_top_k(db, zero.data(), 32, 5, db.paper_label, 0);
  ASSERT_EQ(5u, hits.size());
  for (const Hit& h : hits) EXPECT_EQ(0.0f, h.score);
}

TEST_F(RetrievalTest, PackCountsAndSubgraph) {
  const auto q = topic_query(0);
  const RagPack flat = graphrag_pack(corpus_, q.data(), 32, 5, 0);
  EXPECT_EQ(5u, flat.papers);
  EXPECT_EQ(flat.paper_ids, flat.subgraph);
  EXPECT_EQ(5u, flat.subgraph_papers);
  EXPECT_GE(flat.related_papers, flat.papers);
  EXPECT_FALSE(flat.gpu);
  EXPECT_GT(flat.authors, 0u);
  const RagPack deep = graphrag_pack(corpus_, q.data(), 32, 5, 2);
  EXPECT_EQ(deep.paper_ids, flat.paper_ids);
  EXPECT_GT(deep.subgraph_nodes, flat.subgraph_nodes);
  EXPECT_EQ(deep.subgraph_nodes, deep.subgraph_people + deep.subgraph_papers);
  EXPECT_EQ(0, graphrag_pack(corpus_, q.data(), 32, 5, -3).hops);

  const auto j = nlohmann::ordered_json::parse(rag_pack_json(deep));
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(std::vector<std::string>({"k", "hops", "papers", "authors", "related_papers", "followed", "context_nodes",
                                      "subgraph_nodes", "subgraph_people", "subgraph_papers", "retrieve_ns",
                                      "expand_ns", "e2e_ns", "gpu", "paper_ids", "note"}),
            keys);
}

TEST_F(RetrievalTest, DocumentDescribesEveryHit) {
  const auto q = topic_query(4);
  const auto j = nlohmann::ordered_json::parse(retrieval_document_json(corpus_, q.data(), 3, 1));
  ASSERT_EQ(3u, j["hits"].size());
  ASSERT_EQ(3u, j["documents"].size());
  EXPECT_EQ(1, j["expand_hops"]);
  EXPECT_EQ(gpu_device_name(), j["gpu_name"]);
  const auto& d = j["documents"][0];
  const std::string text = d["text"];
  const std::string name = d["name"];
  EXPECT_EQ(0u, text.find(name + " is a " + std::string(topic_name(d["topic"])) + " paper (topic "));
  EXPECT_NE(std::string::npos, text.find("-hop subgraph has "));
  EXPECT_NE(std::string::npos, text.find(" Retrieved by Halvex cosine on CPU."));
  if (!d["authors"].empty()) { EXPECT_NE(std::string::npos, text.find(" Authors: " + std::string(d["authors"][0]))); }
}

TEST(TextEmbedding, ChoosesHotComponent) {
  auto hot = [](const std::string& text) {
    std::vector<float> v(32);
    text_embedding(v.data(), text);
    return std::max_element(v.begin(), v.end()) - v.begin();
  };
  EXPECT_EQ(5, hot("papers about databases and compilers"));
  EXPECT_EQ(3, hot("topic 19"));
  EXPECT_EQ(0, hot("topic without a number"));
  std::vector<float> empty(32), expected(32);
  text_embedding(empty.data(), "");
  seed_embedding(expected.data(), 0, 7);
  EXPECT_EQ(expected, empty);
  std::vector<float> v(32);
  EXPECT_THROW(text_embedding(v.data(), "topic 99999999999999999999999"), std::out_of_range);
  std::vector<float> a(32), b(32);
  text_embedding(a.data(), "Hello World");
  text_embedding(b.data(), "hello world");
  EXPECT_EQ(a, b);  // the hash folds case
}

TEST(DimensionSweep, RowsAndLimits) {
  EXPECT_TRUE(dimension_sweep(0, 10, {32}, 1).empty());
  EXPECT_TRUE(dimension_sweep(100, 0, {32}, 1).empty());
  EXPECT_TRUE(dimension_sweep(100, 10, {}, 1).empty());
  const auto rows = dimension_sweep(50, 80, {8, 0, 3}, 0);
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ(8u, rows[0].dim);
  EXPECT_EQ(3u, rows[1].dim);
  EXPECT_EQ(50u, rows[0].k);
  EXPECT_GT(rows[0].cpu_ns, 0.0);
  EXPECT_FALSE(rows[0].gpu);
  EXPECT_EQ(0u, sweep_crossover_dim(rows));
}

// Regression: n × dim from the command line wrapped to a small allocation.
TEST(DimensionSweep, RefusesMatrixBeyondAddressSpace) {
  try {
    dimension_sweep(1ull << 62, 10, {1536}, 1);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("dimension sweep matrix of 4611686018427387904 x 1536 floats is too large", e.what());
  }
}

}  // namespace
}  // namespace orvane
