// orvane bench: every traversal kernel, three query-engine statements and
// the retrieval lane, timed from one hub, reported as one JSON object.
//
// Each kernel runs --iters times (the 5- and 6-hop reach and the length-4
// kernels --heavy-iters times); the time is the mean in whole nanoseconds,
// and the results of the timed runs are summed into `sink` so that no run
// can be optimised away. A run count of 0 or below times nothing and
// divides by 1.
//
// The query-engine statements run through the query pipeline under the
// default statement bound (steps, time and memory), which a large enough
// hub exceeds. Such a statement does not cost
// the report: its figure is null and the ql_errors member maps its field to
// the engine's message ({} when every statement answered).
#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "analytics/retrieval.h"
#include "analytics/traversal.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/report.h"
#include "graph/database.h"
#include "layout/layout_stats.h"
#include "query/cypher_statement.h"
#include "query/ql_error.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

struct Measured {
  std::uint64_t count = 0;
  std::uint64_t ns = 0;
};

class Timer {
 public:
  explicit Timer(std::uint64_t& sink) : sink_(sink) {}
  // Runs `kernel` `runs` times on the steady clock, then once more for its
  // result.
  Measured run(int runs, const std::function<std::uint64_t()>& kernel) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < runs; ++i) sink_ += kernel();
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return Measured{kernel(), static_cast<std::uint64_t>(per_run(static_cast<double>(elapsed), runs))};
  }

 private:
  std::uint64_t& sink_;
};

// Runs the report's query-engine statements, each a count. A QlError (the
// pipeline's CypherError among them) becomes a null figure and an entry in
// `errors`; every other exception propagates.
struct QlFigures {
  // Returns the count as JSON text, or "null" after recording the message.
  std::string run(const Database& db, const std::string& field, const std::string& text) {
    try {
      return std::to_string(run_statement(text, db).rows.at(0).at(0).as_int());
    } catch (const QlError& e) {
      errors.add_string(field, e.what());
      return "null";
    }
  }
  ReportObject errors;  // field name -> message, in statement order
};

std::string id_array(const std::vector<Hit>& hits) {
  std::string out = "[";
  for (std::size_t i = 0; i < hits.size(); ++i) out += (i ? "," : "") + std::to_string(hits[i].id);
  return out + "]";
}

}  // namespace

int run_bench(int argc, char** argv) {
  const std::string json_path = option_value(argc, argv, "--json", "bench/orvane.json");
  check_report_target(json_path);
  const int iters = parse_signed(option_value(argc, argv, "--iters", "20"));
  const int heavy = parse_signed(option_value(argc, argv, "--heavy-iters", "5"));
  const bool hops_only = has_flag(argc, argv, "--hops-only");
  const std::uint64_t hub_option = parse_unsigned(option_value(argc, argv, "--hub", "0"), "--hub");

  const Clock::time_point load_start = Clock::now();
  const Database db = load_graph(argc, argv);
  const double load_ms = std::chrono::duration<double, std::milli>(Clock::now() - load_start).count();
  const PhysicalGraph& g = db.graph;
  if (hub_option >= g.node_count) {
    std::cout.flush();
    std::cerr << "--hub " << hub_option << " is out of range (nodes=" << g.node_count << ")\n";
    return 2;
  }
  const auto hub = static_cast<std::uint32_t>(hub_option);
  const std::uint16_t F = db.follows_type, A = db.authored_type;
  const LayoutStats stats = compute_layout_stats(g);

  volatile std::uint64_t warm = 0;
  for (int round = 0; round < 3; ++round) {
    warm = warm + hop1_count(g, hub, F) + hop_reach(g, hub, 2, F) + hop_reach(g, hub, 3, F) + paths_len2(g, hub, F);
  }

  std::uint64_t sink = 0;
  Timer t(sink);
  const Measured hop1 = t.run(iters, [&] { return hop1_count(g, hub, F); });
  Measured hop[7];
  for (int h = 2; h <= 6; ++h) hop[h] = t.run(h >= 5 ? heavy : iters, [&] { return hop_reach(g, hub, h, F); });
  const Measured path2 = t.run(iters, [&] { return paths_len2(g, hub, F); });
  Measured path3, path4, four_cycles;
  if (!hops_only) {
    path3 = t.run(iters, [&] { return paths_count(g, hub, 3, F, Direction::Outgoing); });
    path4 = t.run(heavy, [&] { return paths_count(g, hub, 4, F, Direction::Outgoing); });
  }
  const Measured authored = t.run(iters, [&] { return hop1_count(g, hub, A); });
  const Measured papers_followed = t.run(iters, [&] { return two_step_targets(g, hub, F, A, true); });
  const Measured coauthor = t.run(iters, [&] { return coauthors(g, hub, A, true); });
  const Measured wedge = t.run(iters, [&] { return wedge_in_of_out(g, hub, F, true); });
  const Measured triangles = t.run(iters, [&] { return cycles_from_hub(g, hub, 3, F); });
  if (!hops_only) four_cycles = t.run(heavy, [&] { return cycles_from_hub(g, hub, 4, F); });
  const Measured papers_hop12 = t.run(iters, [&] { return hop_range_targets(g, hub, 1, 2, F, A); });
  const Measured coauthors_followed = t.run(iters, [&] { return coauthors_of_followed(g, hub, F, A); });
  const Measured mixed = t.run(iters, [&] { return mixed_2hop_targets(g, hub, F, A, true); });
  const Measured followers = t.run(iters, [&] { return followers_targets(g, hub, F, A, true); });
  const Measured follows_back = t.run(iters, [&] { return coauthor_follows_back(g, hub, A, F); });
  const Measured vl24 = t.run(heavy, [&] { return varlength_distinct(g, hub, 2, 4, F, Direction::Outgoing); });
  const Measured exact4 = t.run(heavy, [&] { return varlength_distinct(g, hub, 4, 4, F, Direction::Outgoing); });

  const std::string id = std::to_string(hub);
  QlFigures ql;
  const std::string ql_hop3 =
      ql.run(db, "ql_hop3", "MATCH (p:Person {id: " + id + "})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)");
  const std::string ql_triangle = ql.run(
      db, "ql_triangle", "MATCH (p:Person {id: " + id + "})-[:FOLLOWS]->()-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)");
  const std::string ql_coauthors = ql.run(
      db, "ql_coauthors",
      "MATCH (p:Person {id: " + id + "})-[:AUTHORED]->()<-[:AUTHORED]-(co) WHERE co <> p RETURN count(DISTINCT co)");

  // Retrieval lane: topic 0's query vector, k = 10, three-hop packs.
  const std::size_t dims = db.embedding_dim;
  std::vector<float> buffer(dims);
  seed_embedding(buffer.data(), dims, 0, 7);
  const float* query = buffer.data();
  const Measured expand1 = t.run(iters, [&] { return retrieve_top_k(db, query, dims, 10, db.person_label, 1).size(); });
  const Measured rag_retrieve = t.run(iters, [&] { return retrieve_top_k(db, query, dims, 10, db.paper_label, 0).size(); });
  RagPack pack;
  double pack_retrieve = 0, pack_expand = 0;
  const Measured rag_pack = t.run(iters, [&] {
    pack = graphrag_pack(db, query, dims, 10, 3);
    pack_retrieve += pack.retrieve_ns;
    pack_expand += pack.expand_ns;
    return pack.context_nodes;
  });
  const Measured gpu_retrieve =
      t.run(iters, [&] { return gpu_retrieve_top_k(db, query, dims, 10, db.paper_label, 0).size(); });
  const std::vector<Hit> top10 = retrieve_top_k(db, query, dims, 10, db.paper_label, 0);
  // The pack timed above ran iters + 1 times; its own timings are averaged
  // over those runs.
  const long long pack_runs = static_cast<long long>(std::max(iters, 0)) + 1;

  ReportObject r;
  r.add("engine", "orvane").add("people", db.people).add("papers", db.papers).add("nodes", g.node_count)
      .add("edges", static_cast<std::uint64_t>(g.out_targets.size())).add("load_ms", load_ms)
      .add("degree_entropy", stats.degree_entropy).add("core_nodes", stats.core_node_count)
      .add("mean_edge_jump", stats.mean_edge_jump).add("bandwidth", static_cast<std::uint64_t>(stats.layout_bandwidth))
      .add("reciprocal_pairs", stats.reciprocal_pairs).add("gpu_available", gpu_available())
      .add("gpu_name", gpu_device_name()).add("gpu_resident_bytes", std::uint64_t{0}).add("neo4j_gpu", false)
      .add("hub", static_cast<std::uint64_t>(hub)).add("hops_only", hops_only).add("iters", iters)
      .add("hop1_count", hop1.count).add("hop1_ns", hop1.ns);
  for (int h = 2; h <= 6; ++h) {
    r.add("hop" + std::to_string(h) + "_reach_incl_self", hop[h].count).add("hop" + std::to_string(h) + "_ns", hop[h].ns);
  }
  r.add("follows_paths_len2", path2.count).add("path2_ns", path2.ns)
      .add("follows_paths_len3", path3.count).add("path3_ns", path3.ns)
      .add("follows_paths_len4", path4.count).add("path4_ns", path4.ns)
      .add("authored_from_hub", authored.count).add("authored_ns", authored.ns)
      .add("papers_of_followed", papers_followed.count).add("papers_of_followed_ns", papers_followed.ns)
      .add("coauthors", coauthor.count).add("coauthors_ns", coauthor.ns)
      .add("wedge_in_of_out", wedge.count).add("wedge_ns", wedge.ns)
      .add("triangles_from_hub", triangles.count).add("triangle_ns", triangles.ns)
      .add("four_cycles_from_hub", four_cycles.count).add("four_cycle_ns", four_cycles.ns)
      .add("papers_of_hop1_2", papers_hop12.count).add("papers_of_hop1_2_ns", papers_hop12.ns)
      .add("coauthors_of_followed", coauthors_followed.count).add("coauthors_of_followed_ns", coauthors_followed.ns)
      .add("mixed_2hop_authored", mixed.count).add("mixed_2hop_authored_ns", mixed.ns)
      .add("followers_papers", followers.count).add("followers_papers_ns", followers.ns)
      .add("coauthor_follows_back", follows_back.count).add("coauthor_follows_back_ns", follows_back.ns)
      .add("vl_2_4_distinct", vl24.count).add("vl_2_4_ns", vl24.ns)
      .add("exact4_distinct", exact4.count).add("exact4_distinct_ns", exact4.ns)
      .add_raw("ql_hop3", ql_hop3).add_raw("ql_triangle", ql_triangle).add_raw("ql_coauthors", ql_coauthors)
      .add_raw("ql_errors", ql.errors.compact())
      .add("retrieve_k10_expand1_ns", expand1.ns).add("rag_retrieve_k10_ns", rag_retrieve.ns)
      .add("rag_pack_ns", rag_pack.ns).add("rag_pack_authors", pack.authors)
      .add("rag_pack_related_papers", pack.related_papers).add("rag_pack_followed", pack.followed)
      .add("rag_pack_context", pack.context_nodes).add("graphrag_hybrid_ns", rag_pack.ns)
      .add("graphrag_retrieve_ns", per_run(pack_retrieve, pack_runs))
      .add("graphrag_expand_ns", per_run(pack_expand, pack_runs))
      .add("graphrag_hybrid_nodes", pack.subgraph_nodes).add("graphrag_hybrid_people", pack.subgraph_people)
      .add("graphrag_hybrid_papers", pack.subgraph_papers).add("graphrag_hops", static_cast<int>(pack.hops))
      .add("graphrag_gpu", pack.gpu).add("retrieve_gpu_ns", gpu_retrieve.ns)
      .add_raw("retrieve_top10_ids", id_array(top10)).add("sink", sink);
  publish_report(r.pretty(), json_path);
  return 0;
}

}  // namespace orvane
