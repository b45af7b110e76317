// The focus of this file is vector retrieval: top-k against a brute-force
// sort, thread-count independence, finite scores for extreme embeddings,
// the GraphRAG pack, the retrieval document and text embeddings.
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
      const double x = q[c], y = db.embeddings[32 * i + c];
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

TEST_F(RetrievalTest, ExpandAppendsOutgoingNeighboursOnce) {
  const auto q = topic_query(1);
  const auto hits = retrieve_top_k(corpus_, q.data(), 32, 3, corpus_.person_label, 1);
  ASSERT_GT(hits.size(), 3u);
  std::vector<std::uint32_t> ids;
  for (const auto& h : hits) ids.push_back(h.id);
  std::sort(ids.begin(), ids.end());
  EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end()) == ids.end());
  for (std::size_t i = 3; i < hits.size(); ++i) EXPECT_EQ(0.0f, hits[i].score);
}

// Equal scores come out by ascending identity, whatever the thread count.
TEST(Retrieval, TiesByIdentity) {
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
}

// Regression: components near the float limit overflowed the product of
// the norms to infinity and the score to NaN.
TEST(Retrieval, ExtremeEmbeddingsAndZeroQueryScoreFinite) {
  Database db;
  for (int i = 0; i < 4; ++i) db.add_paper("q" + std::to_string(i), 0);
  db.set_embedding(0, std::vector<float>(32, FLT_MAX));
  db.set_embedding(1, std::vector<float>(32, 1e-30f));
  db.set_embedding(2, std::vector<float>(32, 0.0f));
  std::vector<float> big(32, 0.0f);
  big[0] = 3e38f;
  db.set_embedding(3, big);
  db.compile();
  const std::vector<float> ones(32, 1.0f), huge(32, FLT_MAX), zero(32, 0.0f);
  const float expected[] = {1.0f, 1.0f, 0.0f, float(1.0 / std::sqrt(32.0))};
  const auto hits = retrieve_top_k(db, ones.data(), 32, 4, db.paper_label, 0);
  ASSERT_EQ(4u, hits.size());
  for (const Hit& h : hits) EXPECT_NEAR(expected[h.id], h.score, 1e-5) << h.id;
  for (const Hit& h : retrieve_top_k(db, huge.data(), 32, 4, db.paper_label, 0)) EXPECT_TRUE(std::isfinite(h.score));
  for (const Hit& h : retrieve_top_k(db, zero.data(), 32, 4, db.paper_label, 0)) EXPECT_EQ(0.0f, h.score);
  const std::string doc = retrieval_document_json(db, huge.data(), 4, 1);
  EXPECT_TRUE(doc.find("nan") == std::string::npos && doc.find("inf") == std::string::npos) << doc;
  EXPECT_NO_THROW(nlohmann::json::parse(doc));
}

TEST_F(RetrievalTest, PackAndDocument) {
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
  ASSERT_EQ(3u, j["hits"].size());
  ASSERT_EQ(3u, j["documents"].size());
  EXPECT_EQ(1, j["expand_hops"]);
  const std::string text = j["documents"][0]["text"];
  EXPECT_NE(std::string::npos, text.find("-hop subgraph has ")) << text;
  EXPECT_TRUE(text.ends_with(" Retrieved by Halvex cosine on CPU.")) << text;
}

TEST(TextEmbedding, ChoosesHotComponent) {
  auto embed = [](const std::string& text) {
    std::vector<float> v(32);
    text_embedding(v.data(), text);
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
  seed_embedding(expected.data(), 0, 7);
  EXPECT_EQ(expected, embed(""));
  EXPECT_EQ(embed("Hello World"), embed("hello world"));  // the hash folds case
  EXPECT_THROW(embed("topic 99999999999999999999999"), std::out_of_range);
}

}  // namespace
}  // namespace orvane
