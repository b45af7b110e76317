// Entropy lab and ladder: the entropy worker demonstrated end to end on a
// fresh corpus. Every mess level and the optimisation only renumber
// positions or add isolated nodes, and every query starts at identity 0, so
// a false `counts_identical` means a renumbering changed an answer.
#include "layout/entropy_lab.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "analytics/traversal.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "graph/json_text.h"
#include "layout/entropy_worker.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

struct LabQuery {
  const char* name;
  std::function<std::uint64_t(const Database&, std::uint32_t)> run;
};

const std::vector<LabQuery>& lab_queries() {
  static const std::vector<LabQuery> queries = {
      {"hop3", [](const Database& db, std::uint32_t hub) { return hop_reach(db.graph, hub, 3, db.follows_type); }},
      {"path2", [](const Database& db, std::uint32_t hub) { return paths_len2(db.graph, hub, db.follows_type); }},
      {"wedge", [](const Database& db, std::uint32_t hub) { return wedge_in_of_out(db.graph, hub, db.follows_type, true); }},
      {"triangle", [](const Database& db, std::uint32_t hub) { return cycles_from_hub(db.graph, hub, 3, db.follows_type); }},
      {"papers_followed",
       [](const Database& db, std::uint32_t hub) { return two_step_targets(db.graph, hub, db.follows_type, db.authored_type, true); }},
      {"mixed_authored",
       [](const Database& db, std::uint32_t hub) { return mixed_2hop_targets(db.graph, hub, db.follows_type, db.authored_type, true); }},
  };
  return queries;
}

LabStep measure(const Database& db, int iterations, std::uint32_t hub) {
  return LabStep{compute_layout_stats(db.graph), run_lab_queries(db, iterations, hub)};
}

// Identity 0 of the freshly generated corpus. Without nodes there is no hub
// at all: mess level 3 later adds isolated nodes, and taking the first of
// them as the hub would change the answers between steps.
std::uint32_t corpus_hub(const Database& db) { return db.graph.node_count > 0 ? 0 : kNoNode; }

bool same_counts(const LabStep& a, const LabStep& b) {
  if (a.queries.size() != b.queries.size()) return false;
  for (std::size_t i = 0; i < a.queries.size(); ++i) {
    if (a.queries[i].count != b.queries[i].count) return false;
  }
  return true;
}

double hop3_time(const LabStep& step) {
  for (const LabQueryRow& row : step.queries) {
    if (row.name == "hop3") return row.time_ns;
  }
  return 0;
}

double ratio_or_one(double numerator, double denominator) {
  return denominator > 0 ? numerator / denominator : 1.0;
}

// The layout statistics as members of `out`.
JsonObjectText& stats_members(JsonObjectText& out, const LayoutStats& s) {
  return out.real("degree_entropy", s.degree_entropy)
      .real("mean_edge_jump", s.mean_edge_jump)
      .count("bandwidth", s.layout_bandwidth)
      .count("isolates", s.isolates);
}

JsonObjectText stats_object(const LayoutStats& s) {
  JsonObjectText out;
  stats_members(out, s);
  return out;
}

// A JSON array of `items`, each written by `write`.
template <typename T, typename Write>
std::string json_array(const std::vector<T>& items, Write write) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + write(i, items[i]);
  return out + "]";
}

}  // namespace

std::vector<LabQueryRow> run_lab_queries(const Database& db, int iterations, std::uint32_t hub) {
  require_compiled(db.graph);
  // Results go into a sum nothing reads, so that the runs cannot be
  // optimised away.
  volatile std::uint64_t sink = 0;
  std::vector<LabQueryRow> rows;
  for (const LabQuery& query : lab_queries()) {
    for (int i = 0; i < 2; ++i) sink = sink + query.run(db, hub);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < iterations; ++i) sink = sink + query.run(db, hub);
    const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    rows.push_back(LabQueryRow{query.name, query.run(db, hub), elapsed / std::max(iterations, 1)});
  }
  return rows;
}

LabResult entropy_lab(std::uint64_t people, std::uint64_t papers, std::uint32_t seed, std::int32_t level) {
  LabResult result;
  result.mess_level = level;
  result.people = people;
  result.papers = papers;
  Database db;
  generate_corpus(db, people, papers, seed);
  optimize_layout(db);
  const std::uint32_t hub = corpus_hub(db);
  apply_mess(db, level, seed + 17);
  if (!db.graph.compiled) db.compile();
  result.nodes = db.graph.node_count;
  result.edges = db.graph.out_targets.size();
  result.before = measure(db, 6, hub);
  optimize_layout(db);
  result.after = measure(db, 6, hub);
  result.counts_identical = same_counts(result.before, result.after);
  result.hop3_speedup = ratio_or_one(hop3_time(result.before), hop3_time(result.after));
  result.layout_jump_ratio = ratio_or_one(result.before.stats.mean_edge_jump, result.after.stats.mean_edge_jump);
  return result;
}

LadderResult entropy_ladder(std::uint64_t people, std::uint64_t papers, std::uint32_t seed) {
  LadderResult result;
  result.people = people;
  result.papers = papers;
  Database db;
  generate_corpus(db, people, papers, seed);
  optimize_layout(db);
  const std::uint32_t hub = corpus_hub(db);
  result.clean = measure(db, 4, hub);
  if (!db.graph.compiled) db.compile();
  scatter_layout(db.graph, (seed + 1) ^ 0x9e3779b9u);
  result.mess1 = measure(db, 4, hub);
  apply_mess(db, 2, seed + 2);
  result.mess2 = measure(db, 4, hub);
  apply_mess(db, 3, seed + 3);
  result.mess3 = measure(db, 4, hub);
  optimize_layout(db);
  result.optimized = measure(db, 4, hub);
  result.nodes = db.graph.node_count;
  result.edges = db.graph.out_targets.size();
  result.counts_identical = same_counts(result.clean, result.mess1) && same_counts(result.mess1, result.mess2) &&
                            same_counts(result.mess2, result.mess3) && same_counts(result.mess3, result.optimized);
  result.hop3_speedup_vs_mess3 = ratio_or_one(hop3_time(result.mess3), hop3_time(result.optimized));
  result.jump_ratio_vs_mess3 = ratio_or_one(result.mess3.stats.mean_edge_jump, result.optimized.stats.mean_edge_jump);
  return result;
}

std::string lab_json(const LabResult& r) {
  const std::string queries = json_array(r.before.queries, [&](std::size_t i, const LabQueryRow& b) {
    const double after_ns = i < r.after.queries.size() ? r.after.queries[i].time_ns : 0;
    return JsonObjectText().string("name", b.name).count("count", b.count).real("before_ns", b.time_ns)
        .real("after_ns", after_ns).text();
  });
  return JsonObjectText()
      .raw("mess_level", std::to_string(r.mess_level))
      .count("nodes", r.nodes)
      .count("edges", r.edges)
      .boolean("counts_identical", r.counts_identical)
      .real("hop3_speedup", r.hop3_speedup)
      .real("layout_jump_ratio", r.layout_jump_ratio)
      .raw("before", stats_object(r.before.stats).text())
      .raw("after", stats_object(r.after.stats).text())
      .raw("queries", queries)
      .text();
}

std::string ladder_json(const LadderResult& r) {
  JsonObjectText out;
  out.count("people", r.people)
      .count("papers", r.papers)
      .count("nodes", r.nodes)
      .count("edges", r.edges)
      .boolean("counts_identical", r.counts_identical)
      .real("hop3_speedup_vs_mess3", r.hop3_speedup_vs_mess3)
      .real("jump_ratio_vs_mess3", r.jump_ratio_vs_mess3);
  const std::pair<const char*, const LabStep*> steps[] = {
      {"clean", &r.clean}, {"mess1", &r.mess1}, {"mess2", &r.mess2}, {"mess3", &r.mess3}, {"optimized", &r.optimized}};
  for (const auto& [name, step] : steps) {
    JsonObjectText object;
    stats_members(object, step->stats).raw("queries", json_array(step->queries, [](std::size_t, const LabQueryRow& q) {
      return JsonObjectText().string("name", q.name).count("count", q.count).real("ns", q.time_ns).text();
    }));
    out.raw(name, object.text());
  }
  return out.text();
}

}  // namespace orvane
