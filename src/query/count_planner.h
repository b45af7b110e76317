// The counting planner: for a count query whose pattern has a shape that
// can be counted without listing its paths, it computes the exact count
// that the path enumerator (executor.h) would give; for every other query
// it declines and the enumerator runs unchanged.
//
// Methods, each exact under relationship uniqueness:
// - CountByDegree: count(*) of one or two single-hop relationships over the
//   whole graph (labels only), as sums of degree products at the middle
//   node, less the pairs that would use one relationship twice.
// - BreadthFirstReach: count(DISTINCT x) over one variable-length
//   relationship of at least 0 or 1 hops: the nodes within breadth-first
//   distance, with filters on x applied to the reached set.
// - LevelCount: count(*) of a chain of at most three fixed hops from a start
//   anchored by {id: N} (a cycle back to it included): the paths of all but
//   the last hop are listed, the last hop is counted from degrees less the
//   relationships the path already holds.
// - CycleCount: count(*) of a closed chain of three single hops over the
//   whole graph (triangles and their kin) by intersecting sorted adjacency
//   runs, bounded by O(E·√E) instead of the two-hop paths.
// Every method counts a relationship between two nodes by their adjacency,
// so none runs on a graph with parallel relationships (two or more of one
// type between the same nodes, in the same direction): the enumerator
// counts those, one path per relationship.
// A method's work is bounded by the size of the graph (each node and
// relationship read a bounded number of times) and the 5-second clock; the
// enumerator's 10,000,000-step budget does not apply to it.
#pragma once

#include <cstdint>
#include <optional>

namespace orvane {

class Database;
struct QlQuery;

enum class CountMethod { Enumerate, CountByDegree, BreadthFirstReach, LevelCount, CycleCount };

// The operator name a plan shows for a method: "CountByDegree",
// "BreadthFirstReach", "LevelCount", "CycleCount"; "RelationshipUniqueExpand" for the
// enumerator.
const char* count_method_name(CountMethod method);

// The method execute_query uses for `query` on `db`, decided from the
// pattern's shape and the schema before any counting: Enumerate for row
// queries, uncompiled graphs, graphs with parallel relationships, names the
// schema lacks and every shape no method recognises. Never throws for a parsed query.
CountMethod choose_count_method(const Database& db, const QlQuery& query);

// The count of `query` by its counting method, or nullopt when the
// enumerator must run (choose_count_method gives Enumerate). Requires: a
// count query on a compiled graph whose names all resolve. Throws QlError
// with the work-limit message when the 5-second clock runs out, and "count
// overflow" past 2^64-1.
// With `method`, also the method that counted (Enumerate for nullopt).
std::optional<std::uint64_t> planned_count(const Database& db, const QlQuery& query, CountMethod* method = nullptr);

}  // namespace orvane
