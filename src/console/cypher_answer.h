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

// The typed JSON of `value`, entities read from `db`.
nlohmann::json cypher_json(const CypherValue& value, const Database& db);

// Runs ctx.t through the query pipeline on the target database and fills
// ctx.out ("rows", data {"columns","rows"}, count = rows). Throws the
// pipeline's CypherError, and "result exceeds 10000 rows; add an explicit
// LIMIT" past that many rows.
void run_cypher(StatementContext& ctx);

// Whether the pipeline's parser accepts `text` (a statement the console
// classifies by its first word otherwise).
bool cypher_parses(const std::string& text);

}  // namespace orvane
