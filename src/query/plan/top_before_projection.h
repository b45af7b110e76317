// Top before Projection: ORDER BY ... LIMIT k over a projection that
// keeps every row (no aggregation, DISTINCT or WHERE) needs the projected
// values of only the k rows it keeps. Sorting first and projecting after
// gives the same rows in the same order, as long as each sort key can be
// read from the rows before the projection: a key naming a projected
// column is replaced by the column's expression when that expression is a
// plain read (a variable, a property of one, a constant or a parameter),
// so evaluating it twice cannot give two answers. On a million scanned
// nodes `RETURN p.name ORDER BY p.name LIMIT 10` then builds ten names
// instead of a million.
#pragma once

#include <memory>
#include <vector>

#include "query/plan/logical_plan.h"

namespace orvane {

// The sort keys of `top` rewritten to read the input of `projection`
// (a kProjection), in `keys`; false (and `keys` unspecified) when some key
// reads a projected column that is not a plain read, or holds a subquery.
bool keys_before_projection(const LogicalOp& projection,
                            const std::vector<std::pair<std::shared_ptr<BoundExpr>, bool>>& sort_keys,
                            std::vector<std::pair<std::shared_ptr<BoundExpr>, bool>>& keys);

}  // namespace orvane
