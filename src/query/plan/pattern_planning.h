// Internal to the planner: the rules that plan id seeks, shortestPath and
// CALL subqueries, each in a file of its own (id_seeks.cpp,
// plan_shortest_path.cpp, plan_call_subquery.cpp), called from the
// clause-by-clause planner (planner.cpp). Nothing outside plan/ includes
// it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "query/bind/bound_query.h"
#include "query/plan/logical_plan.h"

namespace orvane {

class Database;

// A predicate that names a node or relationship by id: id(x) = v,
// id(x) IN list, elementId(x) = v, elementId(x) IN list, or {id: v} on a
// generated graph; `value` is a copy of v, a constant, a parameter, or a
// list of those.
struct IdSeek {
  SeekForm form = SeekForm::kId;
  std::shared_ptr<BoundExpr> value;
};

// The id predicates among the conjuncts of `where` (null: none), by the
// slot of the variable they name; the first one wins for a slot. `where`
// is left as it is: the planner still filters by it above the seek.
std::map<std::uint32_t, IdSeek> find_id_seeks(const BoundExpr* where);

// The seek {id: v} allows on a generated graph (see Database::generated),
// when `node` has that property with a constant or parameter value.
std::optional<IdSeek> generated_id_seek(const BoundNode& node, const Database& db);

// NodeByIdSeek of `seek` into `slot`, over `input`.
std::shared_ptr<LogicalOp> node_seek(const IdSeek& seek, std::uint32_t slot, std::shared_ptr<LogicalOp> input);

// RelationshipByIdSeek of `seek` for `rel`, its ends into `left` and
// `right` (the nodes before and after it in the pattern), never one of
// the relationships in `distinct_from`; over `input`.
std::shared_ptr<LogicalOp> relationship_seek(const IdSeek& seek, const BoundRel& rel, std::uint32_t left,
                                             std::uint32_t right, std::vector<std::uint32_t> distinct_from,
                                             std::shared_ptr<LogicalOp> input);

// The conjuncts of `where` (its AND operands, nested ANDs flattened).
std::vector<BoundExprPtr> conjuncts_of(BoundExprPtr where);

// Whether `expr` reads any of `slots`; `opaque` is set when it holds a
// subquery, whose reads cannot be seen from here.
bool reads_any(const BoundExpr& expr, const std::set<std::uint32_t>& slots, bool& opaque);

// ShortestPath for `part` (one relationship, both ends bound by `input`):
// a found path must also meet `path_conjuncts` (the WHERE conjuncts that
// read this part's path or relationships); its relationships differ from
// those in `distinct_from`. Moves the relationship's property values out
// of `part`.
std::shared_ptr<LogicalOp> plan_shortest_path(BoundPatternPart& part, std::shared_ptr<LogicalOp> input,
                                              std::vector<BoundExprPtr> path_conjuncts,
                                              std::vector<std::uint32_t> distinct_from);

// Apply (or SubqueryForeach) of `call` over `input`. Moves the bound
// subquery out of `call`.
std::shared_ptr<LogicalOp> plan_call_subquery(BoundCallSubquery& call, std::shared_ptr<LogicalOp> input,
                                              const Database& db);

}  // namespace orvane
