// orvane rag, gpu and dim-stress: the retrieval pack benchmark, the GPU
// lane probe (which runs on the CPU: there is no device code) and the
// dimension stress test.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <vector>

#include "analytics/retrieval.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/report.h"
#include "graph/database.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

double elapsed_ns(Clock::time_point start) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

std::vector<std::uint32_t> parse_dims(const std::string& text) {
  std::vector<std::uint32_t> dims;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::uint64_t d = parse_unsigned(text.substr(start, comma - start), "--dims");
    if (d > std::numeric_limits<std::uint32_t>::max()) throw std::runtime_error("invalid value for --dims");
    dims.push_back(static_cast<std::uint32_t>(d));
    start = comma + 1;
  }
  return dims;
}

}  // namespace

int run_rag(int argc, char** argv) {
  const std::uint64_t k = parse_unsigned(option_value(argc, argv, "--k", "10"), "--k");
  const int topics = parse_signed(option_value(argc, argv, "--topics", "8"));
  const int iters = parse_signed(option_value(argc, argv, "--iters", "20"));
  const std::string path = option_value(argc, argv, "--json", "bench/rag_cpu.json");
  check_report_target(path);
  const Database db = load_graph(argc, argv);
  constexpr int kHops = 3;

  double retrieve_sum = 0, pack_sum = 0, own_retrieve = 0, own_expand = 0;
  long long pack_runs = 0;
  RagPack last;
  const std::size_t dims = db.embedding_dim;
  std::vector<float> buffer(dims);
  const float* query = buffer.data();
  for (int t = 0; t < topics; ++t) {
    seed_embedding(buffer.data(), dims, static_cast<std::uint32_t>(t), 7);
    for (int w = 0; w < 2; ++w) {
      retrieve_top_k(db, query, dims, k, db.paper_label, 0);
      last = graphrag_pack(db, query, dims, k, kHops);
    }
    Clock::time_point start = Clock::now();
    for (int i = 0; i < iters; ++i) retrieve_top_k(db, query, dims, k, db.paper_label, 0);
    retrieve_sum += per_run(elapsed_ns(start), iters);
    start = Clock::now();
    for (int i = 0; i < iters; ++i) {
      last = graphrag_pack(db, query, dims, k, kHops);
      own_retrieve += last.retrieve_ns;
      own_expand += last.expand_ns;
      ++pack_runs;
    }
    pack_sum += per_run(elapsed_ns(start), iters);
  }
  // Averages over topics: without topics there is nothing to average, so 0.
  const double retrieve_avg = topics > 0 ? retrieve_sum / topics : 0;
  const double pack_avg = topics > 0 ? pack_sum / topics : 0;
  const double own_retrieve_avg = pack_runs > 0 ? own_retrieve / pack_runs : 0;
  const double own_expand_avg = pack_runs > 0 ? own_expand / pack_runs : 0;

  std::string ids = "[";
  for (std::size_t i = 0; i < last.paper_ids.size(); ++i) ids += (i ? "," : "") + std::to_string(last.paper_ids[i]);
  ids += "]";
  ReportObject r;
  r.add("engine", "orvane").add("gpu", last.gpu).add("topics", topics).add("iters", iters).add("k", k)
      .add("hops", kHops).add("people", db.people).add("papers", db.papers)
      .add("retrieve_k10_ns", retrieve_avg).add("rag_retrieve_k10_ns", retrieve_avg)
      .add("rag_pack_ns", pack_avg).add("graphrag_hybrid_ns", pack_avg)
      .add("graphrag_retrieve_ns", own_retrieve_avg).add("graphrag_expand_ns", own_expand_avg)
      .add("rag_pack_authors", last.authors).add("rag_pack_related_papers", last.related_papers)
      .add("rag_pack_followed", last.followed).add("rag_pack_context", last.context_nodes)
      .add("graphrag_hybrid_nodes", last.subgraph_nodes).add("authors", last.authors)
      .add("related_papers", last.related_papers).add("followed", last.followed)
      .add("context_nodes", last.context_nodes).add_raw("paper_ids", ids)
      .add("note", "hybrid GraphRAG: cosine top-k papers, then their authors, the authors' papers and followed "
                   "people, and a 3-hop subgraph, all on the CPU");
  publish_report(r.compact(), path);
  return 0;
}

int run_gpu(int argc, char** argv) {
  const int iters = parse_signed(option_value(argc, argv, "--iters", "10"));
  const Database db = load_graph(argc, argv);
  std::vector<float> query(db.embedding_dim);
  seed_embedding(query.data(), query.size(), 0, 7);
  std::size_t hits = gpu_retrieve_top_k(db, query.data(), query.size(), 10, db.paper_label, 0).size();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < iters; ++i) hits = gpu_retrieve_top_k(db, query.data(), query.size(), 10, db.paper_label, 0).size();
  const auto ns = static_cast<std::uint64_t>(per_run(elapsed_ns(start), iters));
  if (!gpu_available()) std::cerr << "gpu: no device present; retrieval ran on the CPU\n";
  std::cout << "gpu_available=" << (gpu_available() ? "true" : "false") << " device=" << gpu_device_name()
            << " resident_bytes=0 retrieve_ns=" << ns << " hits=" << hits << " neo4j_gpu=false\n";
  return 0;
}

int run_dim_stress(int argc, char** argv) {
  const std::uint64_t n = parse_unsigned(option_value(argc, argv, "--n", "250000"), "--n");
  const std::uint64_t k = parse_unsigned(option_value(argc, argv, "--k", "10"), "--k");
  const int iters = parse_signed(option_value(argc, argv, "--iters", "8"));
  const std::vector<std::uint32_t> dims = parse_dims(option_value(argc, argv, "--dims", "32,256,384,768,1024,1536"));
  const std::string path = option_value(argc, argv, "--json", "bench/dim_stress.json");
  check_report_target(path);
  const std::vector<DimSweepRow> rows = dimension_sweep(n, k, dims, iters);
  const bool gpu = gpu_available();
  const std::uint32_t crossover = sweep_crossover_dim(rows);

  std::cout << "dim-stress n=" << n << " k=" << k << " iters=" << iters << " gpu=" << (gpu ? "true" : "false")
            << " device=" << (gpu ? gpu_device_name() : "none") << " crossover_dim=" << crossover << '\n';
  std::cout << "dim        cpu_ms     gpu_ms   cosine_ms    topk_ms  winner\n";
  std::string row_json = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const DimSweepRow& row = rows[i];
    const bool gpu_wins = row.gpu && row.gpu_ns > 0 && row.gpu_ns < row.cpu_ns;
    char line[160];
    std::snprintf(line, sizeof line, "%-5u %12.3f %10.3f %11.3f %10.3f  %s\n", row.dim, row.cpu_ns / 1e6,
                  row.gpu_ns / 1e6, row.gpu_cosine_ns / 1e6, row.gpu_topk_ns / 1e6, gpu_wins ? "gpu" : "cpu");
    std::cout << line;
    ReportObject o;
    o.add("dim", static_cast<std::uint64_t>(row.dim)).add("n", row.n).add("cpu_ns", row.cpu_ns)
        .add("gpu_ns", row.gpu_ns).add("gpu_cosine_ns", row.gpu_cosine_ns).add("gpu_topk_ns", row.gpu_topk_ns);
    row_json += (i ? "," : "") + o.compact();
  }
  row_json += "]";
  ReportObject r;
  r.add("n", n).add("k", k).add("iters", iters).add("gpu", gpu).add("gpu_name", gpu ? gpu_device_name() : "none")
      .add("crossover_dim", static_cast<std::uint64_t>(crossover)).add_raw("rows", row_json)
      .add("note", "cosine similarity of a random n x dim matrix against one query, then a bounded top-k, on all "
                   "CPU threads; no GPU device code is built");
  publish_report(r.compact(), path);
  return 0;
}

}  // namespace orvane
