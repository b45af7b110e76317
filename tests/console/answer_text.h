// The rows of a statement as the console tests compare them: run through
// a CypherCursor on the engine's current database to its end, each row a
// JSON array of its values (cypher_json). Throws what the statement throws.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/cypher_answer.h"
#include "console/cypher_cursor.h"
#include "console/engine.h"

namespace orvane::testing {

inline std::string rows_json(Engine& engine, const std::string& statement) {
  CypherCursor cursor(engine, statement, "", {});
  std::vector<std::vector<CypherValue>> rows;
  while (cursor.fetch(256, rows)) {
  }
  cursor.finish("test");
  nlohmann::json out = nlohmann::json::array();
  for (const auto& row : rows) {
    nlohmann::json r = nlohmann::json::array();
    for (const CypherValue& v : row) r.push_back(cypher_json(v, cursor.database()));
    out.push_back(std::move(r));
  }
  return out.dump();
}

}  // namespace orvane::testing
