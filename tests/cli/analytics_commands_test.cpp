// The bench, entropy-lab, entropy-ladder, rag, gpu and dim-stress commands
// through the real binary on small corpora: report members and order, the
// report file and its "wrote" line, exit statuses, and the degenerate
// options that used to divide by zero or read empty arrays.
#include <gtest/gtest.h>


#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "storage/snapshot.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using testing::read_text_file;
using testing::run_orvane;
using testing::TempDir;

// The first line-delimited JSON object of a command's output.
nlohmann::ordered_json first_json(const std::string& out) {
  const auto end = out.find("\n}\n");
  if (out.rfind("{\n", 0) == 0 && end != std::string::npos) return nlohmann::ordered_json::parse(out.substr(0, end + 2));
  return nlohmann::ordered_json::parse(out.substr(0, out.find('\n')));
}

std::vector<std::string> keys_of(const nlohmann::ordered_json& j) {
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  return keys;
}

bool all_numbers_finite(const nlohmann::ordered_json& j) {
  if (j.is_number_float()) return std::isfinite(j.get<double>());
  if (j.is_structured()) {
    for (const auto& v : j) {
      if (!all_numbers_finite(v)) return false;
    }
  }
  return true;
}

TEST(BenchCommand, ReportsEveryMemberInOrderAndWritesFile) {
  TempDir dir;
  const auto r = run_orvane({"bench", "--people", "200", "--papers", "80", "--iters", "2", "--heavy-iters", "1",
                             "--json", "out/b.json"},
                            dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  const auto j = first_json(r.out);
  const auto keys = keys_of(j);
  ASSERT_EQ(84u, keys.size());
  EXPECT_EQ("engine", keys.front());
  EXPECT_EQ("sink", keys.back());
  EXPECT_EQ("retrieve_top10_ids", keys[keys.size() - 2]);
  EXPECT_EQ("orvane", j["engine"]);
  EXPECT_EQ(280, j["nodes"]);
  EXPECT_EQ(10u, j["retrieve_top10_ids"].size());
  EXPECT_NE(std::string::npos, r.out.find("\n  \"load_ms\": "));
  // The kernels and the query engine agree on a corpus without self-loops.
  EXPECT_EQ(j["hop3_reach_incl_self"], j["ql_hop3"]);
  EXPECT_EQ(j["triangles_from_hub"], j["ql_triangle"]);
  EXPECT_EQ(j["coauthors"], j["ql_coauthors"]);
  EXPECT_NE(std::string::npos, r.out.find(",\n  \"ql_errors\": {},\n  \"retrieve_k10_expand1_ns\": "));
  EXPECT_NE(std::string::npos, r.out.find("\nwrote out/b.json\n"));
  EXPECT_EQ(first_json(read_text_file(dir.file("out/b.json"))), j);
}

// A statement past the query work limit (4000 × 3999 paths of three FOLLOWS
// from the hub of a reciprocal star) is null and named in ql_errors; the
// rest of the report is still printed and written.
TEST(BenchCommand, QueryOverItsLimitIsReportedAsNull) {
  TempDir dir;
  Database star;
  star.add_person("hub", 0);
  for (std::uint32_t leaf = 1; leaf <= 4000; ++leaf) {
    star.add_person("leaf-" + std::to_string(leaf), 0);
    star.add_follows(0, leaf);
    star.add_follows(leaf, 0);
  }
  star.compile();
  save_snapshot(star, dir.file("star.orv"));
  const auto r = run_orvane({"bench", "--db", "star.orv", "--iters", "0", "--heavy-iters", "0", "--hops-only",
                             "--json", "b.json"},
                            dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  const auto j = first_json(r.out);
  EXPECT_EQ(j, first_json(read_text_file(dir.file("b.json"))));
  EXPECT_NE(std::string::npos, r.out.find("\"ql_coauthors\": 0,\n  \"ql_errors\": {\""));
  for (const auto& [field, message] : j["ql_errors"].items()) {
    EXPECT_TRUE(j[field].is_null()) << field;
    EXPECT_EQ("query work limit exceeded; narrow the pattern or add LIMIT", message);
  }
  EXPECT_EQ(4001, j["hop2_reach_incl_self"]);
}

TEST(BenchCommand, HubOutOfRangeReturns2) {
  const auto r = run_orvane({"bench", "--people", "20", "--papers", "8", "--hub", "28", "--json", ""});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("--hub 28 is out of range (nodes=28)\n", r.err);
  const auto ok = run_orvane({"bench", "--people", "20", "--papers", "8", "--hub", "27", "--json", "", "--iters", "1"});
  EXPECT_EQ(0, ok.status);
  EXPECT_EQ(std::string::npos, ok.out.find("wrote"));
}

// Regression: zero runs divided by zero.
TEST(BenchCommand, ZeroIterationsWriteFiniteNumbers) {
  const auto r = run_orvane(
      {"bench", "--people", "60", "--papers", "20", "--iters", "0", "--heavy-iters", "0", "--hops-only", "--json", ""});
  ASSERT_EQ(0, r.status) << r.err;
  const auto j = first_json(r.out);
  EXPECT_TRUE(all_numbers_finite(j));
  EXPECT_EQ(0, j["follows_paths_len4"]);
  EXPECT_EQ(0, j["sink"]);
  EXPECT_EQ(true, j["hops_only"]);
  const auto bad = run_orvane({"bench", "--iters", "x", "--people", "4", "--papers", "0"});
  EXPECT_EQ(1, bad.status);
  EXPECT_EQ("error: stoi\n", bad.err);
}

TEST(EntropyLabCommand, IdenticalAnswersAndSummary) {
  TempDir dir;
  const auto r = run_orvane({"entropy-lab", "--people", "200", "--papers", "80", "--mess", "3", "--json", "lab.json"},
                            dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  const auto j = first_json(r.out);
  EXPECT_EQ(true, j["counts_identical"]);
  EXPECT_EQ(408, j["nodes"]);
  EXPECT_NE(std::string::npos, r.out.find("\nwrote lab.json identical=true hop3_speedup="));
  EXPECT_EQ(j, first_json(read_text_file(dir.file("lab.json"))));
}

// Regression: an empty corpus made every query read position 0 of empty arrays.
TEST(EntropyLabCommand, EmptyCorpusCountsZero) {
  const auto lab = run_orvane({"entropy-lab", "--people", "0", "--papers", "0", "--mess", "1", "--json", ""});
  ASSERT_EQ(0, lab.status) << lab.err;
  const auto report = first_json(lab.out);  // keep it alive through the loop
  for (const auto& q : report["queries"]) EXPECT_EQ(0, q["count"]);
  const auto ladder = run_orvane({"entropy-ladder", "--people", "0", "--papers", "0", "--json", ""});
  ASSERT_EQ(0, ladder.status) << ladder.err;
  const auto j = first_json(ladder.out);
  EXPECT_EQ(true, j["counts_identical"]);
  for (const char* step : {"clean", "mess1", "mess2", "mess3", "optimized"}) {
    for (const auto& q : j[step]["queries"]) EXPECT_EQ(0, q["count"]) << step;
  }
}

TEST(EntropyLadderCommand, FiveStepsAndSummary) {
  TempDir dir;
  const auto r = run_orvane({"entropy-ladder", "--people", "200", "--papers", "80"}, dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  const auto j = first_json(r.out);
  EXPECT_EQ(j["clean"]["isolates"].get<int>() + 128, j["mess3"]["isolates"].get<int>());
  EXPECT_NE(std::string::npos,
            r.out.find("\nwrote bench/entropy_ladder.json identical=true hop3_speedup_vs_mess3="));
}

TEST(RagCommand, ReportMembersInOrder) {
  TempDir dir;
  const auto r = run_orvane({"rag", "--people", "200", "--papers", "80", "--iters", "2", "--topics", "2"}, dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  const auto j = first_json(r.out);
  EXPECT_EQ(std::vector<std::string>({"engine", "gpu", "topics", "iters", "k", "hops", "people", "papers",
                                      "retrieve_k10_ns", "rag_retrieve_k10_ns", "rag_pack_ns", "graphrag_hybrid_ns",
                                      "graphrag_retrieve_ns", "graphrag_expand_ns", "rag_pack_authors",
                                      "rag_pack_related_papers", "rag_pack_followed", "rag_pack_context",
                                      "graphrag_hybrid_nodes", "authors", "related_papers", "followed",
                                      "context_nodes", "paper_ids", "note"}),
            keys_of(j));
  EXPECT_EQ(10u, j["paper_ids"].size());
  EXPECT_EQ(3, j["hops"]);
  EXPECT_GT(j["retrieve_k10_ns"].get<double>(), 0.0);
  EXPECT_NE(std::string::npos, r.out.find("\nwrote bench/rag_cpu.json\n"));
}

// Regression: --topics 0 and --iters 0 divided by zero.
TEST(RagCommand, NoTopicsOrRunsReportZeroTimings) {
  for (const char* topics : {"0", "-3"}) {
    const auto r = run_orvane({"rag", "--people", "40", "--papers", "10", "--topics", topics, "--json", ""});
    ASSERT_EQ(0, r.status) << r.err;
    const auto j = first_json(r.out);
    EXPECT_EQ(0.0, j["retrieve_k10_ns"].get<double>());
    EXPECT_EQ(0.0, j["graphrag_expand_ns"].get<double>());
  }
  const auto r = run_orvane({"rag", "--people", "40", "--papers", "10", "--iters", "0", "--json", ""});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(all_numbers_finite(first_json(r.out)));
}

TEST(GpuCommand, ProbeRunsOnCpu) {
  const auto r = run_orvane({"gpu", "--people", "40", "--papers", "10", "--iters", "0"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, r.out.find("gpu_available=false device=none (CPU SIMD fallback; GPU kernels compile when CUDA is "
                           "present) resident_bytes=0 retrieve_ns="));
  EXPECT_NE(std::string::npos, r.out.find(" hits=10 neo4j_gpu=false\n"));
  EXPECT_NE(std::string::npos, r.err.find("CPU"));
}

TEST(DimStressCommand, TableAndReport) {
  TempDir dir;
  const auto r = run_orvane({"dim-stress", "--n", "500", "--k", "5", "--iters", "1", "--dims", "32,0,48"}, dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, r.out.find("dim-stress n=500 k=5 iters=1 gpu=false device=none crossover_dim=0\n"
                           "dim        cpu_ms     gpu_ms   cosine_ms    topk_ms  winner\n32 "));
  const auto j = first_json(r.out.substr(r.out.find("\n{") + 1));
  EXPECT_EQ(2u, j["rows"].size());
  EXPECT_EQ(48, j["rows"][1]["dim"]);
  EXPECT_NE(std::string::npos, r.out.find("\nwrote bench/dim_stress.json\n"));
}

// Regression: n × dim wrapped to a small allocation.
TEST(DimStressCommand, RefusesOverflowingMatrix) {
  const auto r = run_orvane({"dim-stress", "--n", "4611686018427387904", "--dims", "1536", "--json", ""});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: dimension sweep matrix of 4611686018427387904 x 1536 floats is too large\n", r.err);
  const auto bad = run_orvane({"dim-stress", "--dims", "32,,64"});
  EXPECT_EQ("error: invalid value for --dims\n", bad.err);
}

}  // namespace
}  // namespace orvane
