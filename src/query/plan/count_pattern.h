// The count rewrite: a statement that only counts the matches of one
// linear pattern (`MATCH <chain> RETURN count(*)`, or count(DISTINCT x);
// or `MATCH (n) OPTIONAL MATCH (n)-<chain> RETURN count(x)`, x a node of
// the chain, which counts the matches of the whole chain) may be answered by a counting method (count_planner.h)
// without listing its paths: sums of degree products, a breadth-first
// reach, a level count from an anchor, or a label's size. The planner plans
// such a statement as usual and puts a CountPattern operator in place of
// its aggregation, keeping the aggregation as the operator's input: at run
// time the operator asks the counting planner, which decides on the graph
// as it is then (a cached plan may outlive changes to the graph), and pulls
// the aggregation's one row only when every method declines.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "query/bind/bound_query.h"
#include "query/count_planner.h"

namespace orvane {

class Database;

// The longest variable length a counting method takes (its breadth-first
// distances fit a byte).
inline constexpr std::int32_t kMaxCountedHops = 16;

enum class CountDirection : std::int32_t { Out = 0, In = 1, Both = 2 };

// One node position of a counted pattern. Names stay text: the counting
// planner resolves them against the graph it counts on.
struct CountNode {
  std::string variable;  // "v<slot>" when the pattern names it again or counts it; else empty
  std::string label;     // empty when none was written
  std::map<std::string, nlohmann::json> properties;  // equality filters, scalar literals
};

// One relationship position: exactly one type, a direction, a length.
struct CountHop {
  std::string type;
  CountDirection direction = CountDirection::Out;
  std::int32_t min_hops = 1;  // 0 … kMaxCountedHops
  std::int32_t max_hops = 1;  // min_hops … kMaxCountedHops
};

// The pattern of a count the counting methods read: a chain of nodes and
// relationships (relationship i joins nodes[i] and nodes[i + 1]) and what
// is counted.
struct CountedPattern {
  std::vector<CountNode> nodes;          // one more than relationships
  std::vector<CountHop> relationships;
  bool count_star = true;                // count(*) or count(x): every match
  bool distinct = false;                 // count(DISTINCT x)
  std::string count_variable;            // x of count(DISTINCT x)
};

// A property of the pattern whose value is a parameter, bound per run.
struct CountParameter {
  std::size_t node = 0;        // node position in `pattern`
  std::string key;
  std::uint32_t index = 0;     // the parameter's index in the execution
};

struct CountPattern {
  CountedPattern pattern;              // the pattern as the counting methods read it
  std::vector<CountParameter> parameters;
  std::uint32_t count_slot = kNoSlot;  // where the count goes (the aggregation's slot)
  CountMethod planned = CountMethod::Enumerate;  // the method on the graph it was planned for
};

// The count shape of `statement` when it is one (see above), resolved
// against `db` for the planned method; null otherwise. Reads `statement`
// only: call it before planning moves the expressions out.
std::shared_ptr<CountPattern> count_pattern_of(const BoundStatement& statement, const Database& db);

// Whether, on the graph it was planned for, a method answers `count`
// (a label's size included), so EXPLAIN shows the method and not the
// aggregation.
bool count_planned(const CountPattern& count);

// The operator name a count shows in EXPLAIN and PROFILE: the method's name
// ("CountByDegree", "BreadthFirstReach", "LevelCount", "CycleCount", "NodeCountFromCountStore")
// or "EagerAggregation" when the count is enumerated.
const char* count_operator_name(CountMethod method, const CountedPattern& pattern);

}  // namespace orvane
