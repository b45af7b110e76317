// The rows of a statement as the console tests compare them: run through
// a CypherCursor on the engine's current database to its end, each row a
// JSON array of its values (cypher_json). Throws what the statement throws.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/background_fold.h"
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

// What `run` returns, run as a server runs a write beside readers: on the
// writer's copy in the engine lock's writer mode when that copy is ready,
// else exclusively, after which the copy is made as the background fold
// makes it.
template <typename Run>
auto as_server_writes(Engine& engine, Run run) {
  {
    const WriterModeGuard writer(engine.mutex());
    const WritingScope writing(engine);
    if (writing.ready()) return run();
  }
  struct Then {
    Engine& engine;
    ~Then() { prepare_writer_copies(engine); }
  } then{engine};
  const std::lock_guard<EngineLock> exclusive(engine.mutex());
  return run();
}

}  // namespace orvane::testing
