// Row estimates for EXPLAIN: how many rows each operator of a plan is
// expected to produce on the graph it was planned for, from the sizes the
// compiled graph keeps (nodes, label lists, relationships by type) and
// fixed selectivities where nothing better is known (a filter keeps a
// quarter of its rows, a DISTINCT half). They guide the reader of a plan;
// the planner's rules do not depend on them.
#pragma once

#include "query/plan/logical_plan.h"

namespace orvane {

class Database;

// Sets estimated_rows on every operator of `plan` (its Argument leaves
// yield one row).
void estimate_rows(LogicalOp& plan, const Database& db);

}  // namespace orvane
