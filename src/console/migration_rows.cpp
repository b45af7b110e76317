// The two statement rows that bring a Neo4j graph in: LOAD CSV / CALL
// orvane.migrate (an export directory or a ".dump" file) and LOAD FROM NEO4J
// / CALL orvane.loadFromNeo4j (a running server through the pull bridge).
// Both import into the database "migrated" and select it; the work, its
// checks and its change events belong to the migration module.
//
// The pull's answer echoes the Bolt URI, which comes from the statement, so
// it is written through the JSON text writer like every other user text.
#include <stdexcept>

#include "console/console_result.h"
#include "console/document_support.h"
#include "console/engine.h"
#include "console/migration.h"
#include "console/statement_rows.h"
#include "graph/json_text.h"

namespace orvane {
namespace {

constexpr const char* kTarget = "migrated";

}  // namespace

void run_migrate(StatementContext& ctx) {
  const std::string source = quoted_arg(ctx.t).value_or("data");
  migrate_source(ctx.engine, source, kTarget);
  ctx.engine.use_database(kTarget);
  const Database& db = ctx.engine.database();
  ctx.out.data = JsonObjectText()
                     .boolean("migrated", true)
                     .string("database", kTarget)
                     .count("nodes", db.graph.node_count)
                     .count("edges", relationship_count(db))
                     .text();
}

void run_pull(StatementContext& ctx) {
  std::string uri = quoted_arg(ctx.t).value_or("");
  if (uri.empty()) uri = double_quoted_arg(ctx.t).value_or("");
  if (uri.empty()) throw std::runtime_error("LOAD FROM NEO4J needs a Bolt URI");
  // The console's pull has no way to ask for credentials: Neo4j's initial ones.
  pull_from_neo4j(ctx.engine, uri, kNeo4jDefaultUser, kNeo4jDefaultPassword, kNeo4jDefaultDatabase,
                  kDefaultPullDirectory);
  ctx.out.data = JsonObjectText()
                     .boolean("loaded_from_neo4j", true)
                     .string("bolt", uri)
                     .string("database", kTarget)
                     .count("nodes", ctx.engine.database().graph.node_count)
                     .boolean("gpu_load", false)
                     .string("note", "Loading runs on the processor; the graphics processor is used only for retrieval and search.")
                     .text();
}

}  // namespace orvane
