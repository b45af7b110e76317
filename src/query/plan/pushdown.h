// Predicate pushdown: the property tests a node scan can apply itself.
//
// A Filter over a chain of scans and expansions tests every row the chain
// produces; a conjunct that reads only one property of a node the chain
// scans (`n.k OP value` with a constant or parameter, `n.k IS [NOT] NULL`)
// gives the same answer as soon as the scan has bound n, and there the
// scan can read the property straight from its column (exec/scan_filter.h)
// instead of evaluating the expression on a row. Moving it is exact: it
// drops the same rows, earlier, in the same order; the conjuncts left
// behind stay in the Filter, which disappears when none is left.
#pragma once

#include <memory>

#include "query/plan/logical_plan.h"

namespace orvane {

// Moves the pushable conjuncts of every Filter in `plan` (subtrees
// included) into the node scans they test, each written as the scan
// expects it: a comparison with the property on the left, or a null test.
// Returns the plan's new root (the same one unless the root was a Filter
// that disappeared).
std::shared_ptr<LogicalOp> push_scan_filters(std::shared_ptr<LogicalOp> plan);

}  // namespace orvane
