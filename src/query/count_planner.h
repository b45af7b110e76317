// The counting planner: for a counted pattern (plan/count_pattern.h) whose
// shape can be counted without listing its paths, it computes the exact
// count that listing the relationship-unique paths would give (the plan
// without the count rewrite); for every other pattern it declines and the
// plan's aggregation counts.
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
// type between the same nodes, in the same direction): listing the paths
// counts those, one path per relationship.
// A method's work is bounded by the size of the graph (each node and
// relationship read a bounded number of times); it runs under the
// statement's work bound like any operator: a node or relationship read is
// a step, and the arrays it keeps per node are held memory.
#pragma once

#include <cstdint>
#include <optional>

namespace orvane {

class Database;
class ExecContext;
struct CountedPattern;

enum class CountMethod { Enumerate, CountByDegree, BreadthFirstReach, LevelCount, CycleCount };

// The operator name a plan shows for a method: "CountByDegree",
// "BreadthFirstReach", "LevelCount", "CycleCount"; "RelationshipUniqueExpand"
// when the paths are listed.
const char* count_method_name(CountMethod method);

// The method that counts `pattern` on `db`, decided from the pattern's
// shape and the schema before any counting: Enumerate for uncompiled
// graphs, graphs with parallel relationships, patterns without a
// relationship, names the schema lacks and every shape no method
// recognises. Never throws.
CountMethod choose_count_method(const Database& db, const CountedPattern& pattern);

// The count of `pattern` on `context`'s Database by its counting method,
// or nullopt when the paths must be listed (choose_count_method gives
// Enumerate). Throws CypherError with the work-limit or memory-limit
// message when the method passes the statement's bound (ExecContext::step
// and hold), and QlError "count overflow" past 2^64-1. With `method`, also
// the method that counted (Enumerate for nullopt).
std::optional<std::uint64_t> planned_count(ExecContext& context, const CountedPattern& pattern,
                                           CountMethod* method = nullptr);

}  // namespace orvane
