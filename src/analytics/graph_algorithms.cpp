// The graph algorithm dispatcher: which algorithms a name selects, and the
// JSON document that reports them.
//
// Names are matched exactly and case-sensitively, so "TriangleCount" selects
// nothing; "all" selects every section. The document is written member by
// member in a fixed order, as the console shows it: "algo", the selected
// sections in table order, then "note". The requested name is escaped as a
// JSON string — it may come from a user's statement, and writing it raw
// would let a quote or a backslash break (or inject members into) the
// document. Scores use the default stream formatting (six significant
// digits) in the classic locale, so a global locale cannot turn the decimal
// point into a comma.
#include "analytics/graph_algorithms.h"

#include <algorithm>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "analytics/algorithm_support.h"
#include "graph/database.h"
#include "graph/json_text.h"

namespace orvane {
namespace detail {

void require_compiled_for_algorithm(const PhysicalGraph& csr) {
  if (!csr.compiled) throw std::logic_error(kAlgorithmNeedsCompiledGraph);
}

}  // namespace detail

namespace {

constexpr const char* kNote =
    "Graph algorithms run single-threaded over the FOLLOWS relationships of the compiled graph; "
    "ids are node identities.";

bool selects(std::string_view algorithm, std::initializer_list<std::string_view> names) {
  if (algorithm == "all") return true;
  return std::find(names.begin(), names.end(), algorithm) != names.end();
}

void append_ranked(std::string& out, const char* member, const std::vector<RankedNode>& list) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << ",\"" << member << "\":[";
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0) text << ',';
    text << "{\"id\":" << list[i].id << ",\"score\":" << list[i].score << '}';
  }
  text << ']';
  out += text.str();
}

void append_count(std::string& out, const char* member, std::uint64_t value) {
  out += ",\"";
  out += member;
  out += "\":";
  out += std::to_string(value);
}

}  // namespace

std::vector<RankedNode> top_ranked(const std::vector<double>& by_identity, std::size_t limit) {
  std::vector<RankedNode> all;
  all.reserve(by_identity.size());
  for (std::size_t i = 0; i < by_identity.size(); ++i) {
    all.push_back({static_cast<std::uint32_t>(i), by_identity[i]});
  }
  const std::size_t keep = std::min(limit, all.size());
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep), all.end(),
                    [](const RankedNode& a, const RankedNode& b) {
                      return a.score != b.score ? a.score > b.score : a.id < b.id;
                    });
  all.resize(keep);
  return all;
}

GraphAlgorithmReport compute_graph_algorithms(const Database& db, std::string_view algorithm,
                                              std::uint64_t source, std::uint64_t target) {
  // Checked here as well, so that a name selecting nothing still refuses an
  // uncompiled graph instead of answering as if it were fine.
  detail::require_compiled_for_algorithm(db.graph);
  GraphAlgorithmReport report;
  report.algo = std::string(algorithm);
  if (selects(algorithm, {"pagerank"})) report.pagerank_top = pagerank_top(db);
  if (selects(algorithm, {"degree"})) report.degree_top = degree_top(db);
  if (selects(algorithm, {"wcc"})) report.wcc_count = wcc_count(db);
  if (selects(algorithm, {"trianglecount", "triangles"})) report.undirected_triangles = undirected_triangles(db);
  if (selects(algorithm, {"labelpropagation", "louvain"})) {
    report.communities = label_propagation_communities(db);
  }
  if (selects(algorithm, {"shortestpath"})) {
    // An id no node has is a source or target beyond the nodes.
    const std::uint32_t from = db.node_of_id(source), to = db.node_of_id(target);
    const std::uint64_t beyond = db.graph.node_count;
    std::vector<std::uint64_t> path;
    for (const std::uint32_t identity : shortest_path(db, from == kNoNode ? beyond : from, to == kNoNode ? beyond : to)) {
      path.push_back(db.node_id(identity));
    }
    report.shortest_path = std::move(path);
  }
  for (auto* list : {&report.pagerank_top, &report.degree_top}) {
    if (!*list) continue;
    for (RankedNode& r : **list) r.id = db.node_id(static_cast<std::uint32_t>(r.id));
  }
  return report;
}

std::string graph_algorithm_json(const GraphAlgorithmReport& report) {
  std::string out = "{\"algo\":";
  out += json_string(report.algo);
  if (report.pagerank_top) append_ranked(out, "pagerank_top", *report.pagerank_top);
  if (report.degree_top) append_ranked(out, "degree_top", *report.degree_top);
  if (report.wcc_count) append_count(out, "wcc_count", *report.wcc_count);
  if (report.undirected_triangles) append_count(out, "undirected_triangles", *report.undirected_triangles);
  if (report.communities) append_count(out, "communities", *report.communities);
  if (report.shortest_path) {
    const std::vector<std::uint64_t>& path = *report.shortest_path;
    out += ",\"shortest_path\":[";
    for (std::size_t i = 0; i < path.size(); ++i) {
      if (i > 0) out += ',';
      out += std::to_string(path[i]);
    }
    out += ']';
    append_count(out, "path_len", path.empty() ? 0 : path.size() - 1);
  }
  out += ",\"note\":\"";
  out += kNote;
  out += "\"}";
  return out;
}

std::string run_graph_algorithm(const Database& db, std::string_view algorithm, std::uint64_t source,
                                std::uint64_t target) {
  return graph_algorithm_json(compute_graph_algorithms(db, algorithm, source, target));
}

}  // namespace orvane
