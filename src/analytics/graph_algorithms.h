// Whole-graph algorithms over the FOLLOWS relationships of a compiled graph:
// PageRank, degree centrality, weakly connected components, triangles,
// label-propagation communities and unweighted shortest paths, and the one
// JSON document the console's algorithm statements show.
//
// Every algorithm reads one relationship type, the database's
// `follows_type`, and only the compiled CSR arrays. Results name nodes by
// identity and do not depend on the physical layout: renumbering the graph
// (optimize_layout, scatter_layout) leaves every answer, down to the bits of
// a PageRank score, as it was. All of them are single-threaded and only read
// the Database, so any number may run at once on one graph.
//
// Common contract: every function below first throws std::logic_error
// "graph algorithm requires compiled graph" unless the graph is compiled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class Database;

// One entry of a ranked list.
struct RankedNode {
  std::uint64_t id;  // identity from top_ranked; the id users see in a GraphAlgorithmReport
  double score;
};

inline constexpr std::size_t kRankedListLength = 8;  // entries a ranked list shows
inline constexpr int kPageRankIterations = 12;
inline constexpr double kPageRankDamping = 0.85;
inline constexpr int kLabelPropagationPasses = 8;

// The `limit` highest scores of `by_identity` (entry i is the score of
// identity i) in descending order; equal scores are listed by ascending
// identity, so the list is deterministic.
std::vector<RankedNode> top_ranked(const std::vector<double>& by_identity, std::size_t limit);

// PageRank, indexed by identity: 12 iterations of damping 0.85 from 1/N,
// no convergence test. Nodes without outgoing FOLLOWS keep their rank to
// themselves (it is not redistributed), so the total may fall below 1.
// Empty for an empty graph.
std::vector<double> pagerank_scores(const Database& db);
// top_ranked of pagerank_scores, 8 entries at most.
std::vector<RankedNode> pagerank_top(const Database& db);

// Degree centrality, indexed by identity: FOLLOWS out-degree / (N − 1),
// divided by 1 when N < 2. A self-loop counts as one outgoing relationship.
std::vector<double> degree_scores(const Database& db);
// top_ranked of degree_scores, 8 entries at most.
std::vector<RankedNode> degree_top(const Database& db);

// The number of weakly connected components over FOLLOWS; every node
// without FOLLOWS relationships (every Paper, say) is a component of its
// own. 0 for an empty graph.
std::uint64_t wcc_count(const Database& db);

// Triangles {a, b, c}, counted once from the node of lowest identity a,
// when a follows both others and one of them follows the other. On a graph
// whose relationships come in reciprocal pairs this is the number of
// undirected triangles; a directed cycle a → b → c → a counts only when a
// (the lowest) has both relationships, so it counts 0.
std::uint64_t undirected_triangles(const Database& db);

// Synchronous label propagation over FOLLOWS in both directions, 8 passes:
// every node starts with its identity as label and takes the label most
// frequent among its neighbours (one vote per relationship end, the smaller
// label on equal votes); a node without neighbours keeps its own. Returns
// the number of distinct labels left, which is N on N isolated nodes.
std::uint64_t label_propagation_communities(const Database& db);

// A shortest FOLLOWS path as identities from `source` to `target`, both
// included: [source] when they are equal, empty when either is not below N
// or `target` cannot be reached. Breadth-first over outgoing relationships,
// neighbours taken by ascending identity, so among equally short paths the
// one through smaller identities comes first and the layout has no say.
std::vector<std::uint32_t> shortest_path(const Database& db, std::uint64_t source, std::uint64_t target);

// The sections one algorithm name selects, computed; unselected sections are
// empty optionals. `algo` holds the requested name as given.
struct GraphAlgorithmReport {
  std::string algo;                                     // the requested name
  std::optional<std::vector<RankedNode>> pagerank_top;  // "pagerank", "all"
  std::optional<std::vector<RankedNode>> degree_top;    // "degree", "all"
  std::optional<std::uint64_t> wcc_count;               // "wcc", "all"
  std::optional<std::uint64_t> undirected_triangles;    // "trianglecount", "triangles", "all"
  std::optional<std::uint64_t> communities;             // "labelpropagation", "louvain", "all"
  std::optional<std::vector<std::uint64_t>> shortest_path;  // "shortestpath", "all"
};

// Runs the algorithms that `algorithm` names, matched exactly and
// case-sensitively ("all" runs every one); a name that matches nothing
// selects none. `source` and `target` are node ids as users see them
// (Database::node_id), used by the shortest path only; every node in the
// report is named by that id too.
GraphAlgorithmReport compute_graph_algorithms(const Database& db, std::string_view algorithm,
                                              std::uint64_t source, std::uint64_t target);

// The report as one compact JSON object, members in this order: "algo"
// (the name, escaped as a JSON string; invalid UTF-8 is replaced), then the
// selected sections "pagerank_top", "degree_top" (arrays of {"id","score"},
// scores with six significant digits), "wcc_count", "undirected_triangles",
// "communities", "shortest_path" with "path_len" (ids − 1, 0 when empty),
// and last "note", a fixed sentence.
std::string graph_algorithm_json(const GraphAlgorithmReport& report);

// graph_algorithm_json of compute_graph_algorithms: the document of the
// console's algorithm statements.
std::string run_graph_algorithm(const Database& db, std::string_view algorithm, std::uint64_t source,
                                std::uint64_t target);

}  // namespace orvane
