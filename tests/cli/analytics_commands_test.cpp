// The schema, demo, bench, entropy-lab, entropy-ladder, rag, gpu and
// dim-stress commands through the real binary on small corpora: what they
// print, report members, the report file and its "wrote" line, exit
// statuses, and the degenerate options that used to divide by zero or read
// empty arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "storage/snapshot.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

// The first JSON object of a command's output (pretty-printed or one line).
nlohmann::ordered_json first_json(const std::string& out) {
  const auto end = out.find("\n}\n");
  if (out.rfind("{\n", 0) == 0 && end != std::string::npos) return nlohmann::ordered_json::parse(out.substr(0, end + 2));
  return nlohmann::ordered_json::parse(out.substr(0, out.find('\n')));
}

std::string keys_of(const nlohmann::ordered_json& j) {
  std::string keys;
  for (const auto& item : j.items()) keys += item.key() + " ";
  return keys;
}

bool all_numbers_finite(const nlohmann::ordered_json& j) {
  if (j.is_number_float()) return std::isfinite(j.get<double>());
  return !j.is_structured() || std::all_of(j.begin(), j.end(), all_numbers_finite);
}

// The schema of the default corpus (corpus options apply, --db never does),
// and the demo's toy graph: 64 persons, 0→1…15, the chain 15→…→63, and 0→1
// again (collapses): 63 relationships, 15 nodes without any. It is already
// in hub order, so the worker changes no statistic.
TEST(SchemaAndDemoCommands, PrintTheSchemaAndIdenticalReachAndStatistics) {
  EXPECT_EQ("front-end schema (this is all a user or AI client sees)\n  node types:\n    - Person\n    - Paper\n"
            "  edge types:\n    - FOLLOWS\n    - AUTHORED\nphysical engine hidden: nodes=12 csr_edges=46\n",
            orvane_output({"schema"}));
  EXPECT_TRUE(orvane_output({"schema", "--people", "4", "--papers", "0", "--db", "/nonexistent.orv"})
                  .ends_with("physical engine hidden: nodes=4 csr_edges=12\n"));
  const std::string stats =
      "  degree entropy:       0.8956\n  mean out-degree:      0.9844\n  max/mean degree:      15.2381\n"
      "  core threshold:       2\n  core node count:      1\n  parallel edge groups: 0\n  reciprocal pairs:     0\n"
      "  mean edge jump:       2.6667\n  layout bandwidth:     15\n  isolates:             15\n";
  const RunResult r = run_orvane({"demo"});
  EXPECT_EQ("", r.err);
  EXPECT_EQ("before entropy worker\n" + stats + "after entropy worker (schema unchanged)\n" + stats +
                "  reachable from hub in 8 hops: 23\nquery results identical; physical layout rewritten.\n",
            r.out);
}

TEST(BenchCommand, ReportsEveryMemberWritesTheFileAndRefusesDegenerateOptions) {
  TempDir dir;
  const std::string out = orvane_output(
      {"bench", "--people", "200", "--papers", "80", "--iters", "2", "--heavy-iters", "1", "--json", "out/b.json"},
      dir.path());
  const auto j = first_json(out);
  EXPECT_EQ(84u, j.size());
  EXPECT_TRUE(keys_of(j).starts_with("engine ") && keys_of(j).ends_with(" retrieve_top10_ids sink ")) << keys_of(j);
  EXPECT_EQ(280, j["nodes"]);
  // The kernels and the query engine agree on a corpus without self-loops.
  EXPECT_EQ(j["hop3_reach_incl_self"], j["ql_hop3"]);
  EXPECT_EQ(j["triangles_from_hub"], j["ql_triangle"]);
  EXPECT_EQ(j["coauthors"], j["ql_coauthors"]);
  EXPECT_NE(std::string::npos, out.find(",\n  \"ql_errors\": {},\n  \"retrieve_k10_expand1_ns\": "));
  EXPECT_NE(std::string::npos, out.find("\nwrote out/b.json\n"));
  EXPECT_EQ(first_json(read_text_file(dir.file("out/b.json"))), j);

  const RunResult hub = run_orvane({"bench", "--people", "20", "--papers", "8", "--hub", "28", "--json", ""});
  EXPECT_EQ(2, hub.status);
  EXPECT_EQ("--hub 28 is out of range (nodes=28)\n", hub.err);
  EXPECT_EQ("error: stoi\n", run_orvane({"bench", "--iters", "x", "--people", "4", "--papers", "0"}).err);

  // The hub of a reciprocal star has 4000 × 3999 paths of three FOLLOWS,
  // beyond the enumerator's work limit; the counting methods answer every
  // statement from it, so no figure is null and ql_errors is empty. Zero
  // runs write finite numbers (they used to divide by zero).
  save_snapshot(star(4000, true), dir.file("star.orv"));
  const std::string zero = orvane_output(
      {"bench", "--db", "star.orv", "--iters", "0", "--heavy-iters", "0", "--hops-only", "--json", ""}, dir.path());
  const auto s = first_json(zero);
  EXPECT_NE(std::string::npos, zero.find("\"ql_coauthors\": 0,\n  \"ql_errors\": {},"));
  EXPECT_EQ((std::vector<int>{4001, 0, 4001}), (std::vector<int>{s["ql_hop3"], s["ql_triangle"], s["hop2_reach_incl_self"]}));
  EXPECT_TRUE(all_numbers_finite(s) && zero.find("wrote") == std::string::npos);
}

TEST(LabAndRetrievalCommands, ReportOnCpuWithIdenticalAnswersAndSurviveDegenerateRuns) {
  TempDir dir;
  const std::string lab = orvane_output(
      {"entropy-lab", "--people", "200", "--papers", "80", "--mess", "3", "--json", "lab.json"}, dir.path());
  const auto j = first_json(lab);
  EXPECT_EQ(408, j["nodes"]);
  EXPECT_NE(std::string::npos, lab.find("\nwrote lab.json identical=true hop3_speedup="));
  EXPECT_EQ(j, first_json(read_text_file(dir.file("lab.json"))));
  EXPECT_EQ("mess_level nodes edges counts_identical hop3_speedup layout_jump_ratio before after queries ", keys_of(j));
  const std::string ladder = orvane_output({"entropy-ladder", "--people", "200", "--papers", "80"}, dir.path());
  const auto l = first_json(ladder);
  EXPECT_EQ(l["clean"]["isolates"].get<int>() + 128, l["mess3"]["isolates"].get<int>());
  EXPECT_NE(std::string::npos, ladder.find("\nwrote bench/entropy_ladder.json identical=true hop3_speedup_vs_mess3="));
  // Regression: an empty corpus made every query read position 0 of empty arrays.
  EXPECT_EQ(true, first_json(orvane_output({"entropy-ladder", "--people", "0", "--papers", "0", "--json", ""}))
                      ["counts_identical"]);

  const std::string rag =
      orvane_output({"rag", "--people", "200", "--papers", "80", "--iters", "2", "--topics", "2"}, dir.path());
  const auto r = first_json(rag);
  EXPECT_EQ(0u, keys_of(r).find("engine gpu topics iters k hops people papers retrieve_k10_ns ")) << keys_of(r);
  EXPECT_EQ(10u, r["paper_ids"].size());
  EXPECT_GT(r["retrieve_k10_ns"].get<double>(), 0.0);
  EXPECT_NE(std::string::npos, rag.find("\nwrote bench/rag_cpu.json\n"));
  for (const char* option : {"--topics", "--iters"}) {  // regression: zero divided by zero
    const std::string zero = orvane_output({"rag", "--people", "40", "--papers", "10", option, "0", "--json", ""});
    EXPECT_TRUE(all_numbers_finite(first_json(zero))) << option;
  }

  const std::string gpu = orvane_output({"gpu", "--people", "40", "--papers", "10", "--iters", "0"});
  EXPECT_EQ(0u, gpu.find("gpu_available=false device=none (CPU SIMD fallback; GPU kernels compile when CUDA is "
                         "present) resident_bytes=0 retrieve_ns="));
  EXPECT_NE(std::string::npos, gpu.find(" hits=10 neo4j_gpu=false\n"));
  const std::string out =
      orvane_output({"dim-stress", "--n", "500", "--k", "5", "--iters", "1", "--dims", "32,0,48"}, dir.path());
  EXPECT_EQ(0u, out.find("dim-stress n=500 k=5 iters=1 gpu=false device=none crossover_dim=0\n"
                         "dim        cpu_ms     gpu_ms   cosine_ms    topk_ms  winner\n32 "));
  EXPECT_EQ(48, first_json(out.substr(out.find("\n{") + 1))["rows"][1]["dim"]);
  EXPECT_NE(std::string::npos, out.find("\nwrote bench/dim_stress.json\n"));
  // Regression: n × dim wrapped to a small allocation.
  expect_refusal(run_orvane({"dim-stress", "--n", "4611686018427387904", "--dims", "1536", "--json", ""}),
                 "error: dimension sweep matrix of 4611686018427387904 x 1536 floats is too large\n");
  EXPECT_EQ("error: invalid value for --dims\n", run_orvane({"dim-stress", "--dims", "32,,64"}).err);
}

}  // namespace
}  // namespace orvane::testing
