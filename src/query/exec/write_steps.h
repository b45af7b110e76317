// Internal to the executor: the writes more than one write operator makes
// (CREATE's and MERGE's new patterns, SET's and MERGE's ON CREATE / ON
// MATCH items), counted in the context's update counters.
#pragma once

#include "query/bind/bound_query.h"
#include "query/exec/exec_context.h"

namespace orvane {

class Database;

// Makes the nodes (those not bound already) and relationships of `part`
// for `row`, binding their slots and the path's (create_operator.cpp).
// Throws CypherError for a property value no property can hold, a map
// parameter that is no map, or a relationship end that is null.
void create_part(Database& db, const BoundCreatePart& part, Row& row, ExecContext& context);

// Applies one SET or REMOVE item to `row`'s target (set_operator.cpp); a
// null target is left alone. Throws CypherError for a target that is no
// node or relationship, a value no property can hold, or labels on a
// relationship.
void apply_set_item(Database& db, const BoundSetItem& item, Row& row, ExecContext& context);

}  // namespace orvane
