// The planner: a bound statement in, a logical plan (plan/logical_plan.h)
// out. Rule-based: a pattern starts at a node that is already bound, else
// at a node no node can match; a lone pattern without WHERE then starts at
// its first node (so its rows come in the order of that node's ids, as
// they always have); any other at a node or relationship the WHERE names by
// id (a seek, id_seeks.cpp), else at the labelled node with the fewest
// nodes of its label, else at its first node. It expands outwards along
// its chain; predicates on a node or relationship are applied as soon as it
// is bound; shortestPath parts search once their ends are bound
// (plan_shortest_path.cpp); CALL subqueries run under an Apply
// (plan_call_subquery.cpp); ORDER BY with LIMIT becomes a top-k. A count
// that a counting method may answer gets a CountPattern in place of its
// aggregation (count_pattern.h), unless the options turn the rewrite off.
#pragma once

#include <memory>

#include "query/bind/bound_query.h"
#include "query/plan/logical_plan.h"

namespace orvane {

class Database;

// What the planner may do beyond the plain plan.
struct PlanOptions {
  bool count_rewrite = true;  // off: a count is always its aggregation over the listed paths
};

// The plan of a whole statement, ProduceResults at its root. Moves the
// bound expressions out of `statement`.
std::shared_ptr<LogicalOp> plan_statement(BoundStatement& statement, const Database& db,
                                          const PlanOptions& options = {});

// The plan of a pattern used as an expression (EXISTS, COUNT, pattern
// predicates and comprehensions): its operators over an Argument leaf and
// its WHERE. Moves the expressions out of `match`.
std::shared_ptr<LogicalOp> plan_pattern(BoundMatch& match, const Database& db);

// The plan of a subquery's clauses over an Argument leaf, without
// ProduceResults.
std::shared_ptr<LogicalOp> plan_subquery(BoundSingleQuery&& query, const Database& db);

}  // namespace orvane
