// The JSON answer of a statement run by the query pipeline
// (query/cypher_statement.h): columns and rows of typed values, where a
// node is {"id","elementId","labels","properties"}, a relationship
// {"id","elementId","type","start","end","properties"} (start and end are
// node ids) and a path {"nodes":[...],"relationships":[...]}; every other
// value is its typed JSON (graph/value.h), maps as objects, lists as arrays.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "graph/cypher_value.h"

namespace orvane {

class Database;
struct StatementContext;
struct OperatorProfile;

// The typed JSON of `value`, entities read from `db`.
nlohmann::json cypher_json(const CypherValue& value, const Database& db);

// Runs ctx.t through the query pipeline on the target database and fills
// ctx.out ("rows", data {"columns","rows"}, count = rows, and the graph
// arrays with the entities the rows carry: console/graph_arrays.h). Throws the
// pipeline's CypherError, and "result exceeds 10000 rows; add an explicit
// LIMIT" past that many rows.
// With `profile`, also what each operator did.
void run_cypher(StatementContext& ctx, OperatorProfile* profile = nullptr);

// The EXPLAIN (ran false, rows 0) or PROFILE document of a statement the
// pipeline runs: {"operator": "ProduceResults", "query", "ran", "rows", "ns",
// "runtime", "children": [...]}, each operator {"operator", "rows",
// "children"}, as its plan ran. For EXPLAIN the statement is planned on
// ctx's target database and not run.
std::string cypher_plan_document(StatementContext& ctx, const OperatorProfile* ran, std::uint64_t rows, double ns);

// Whether the pipeline's parser accepts `text` (a statement the console
// classifies by its first word otherwise).
bool cypher_parses(const std::string& text);

}  // namespace orvane
