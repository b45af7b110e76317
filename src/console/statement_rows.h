// Inside the dispatcher: the working copies of one statement, the text
// helpers that cut arguments from it, and the handlers of the statement
// rows that need more than one document call. Private to src/console.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "console/dispatcher.h"
#include "query/count_planner.h"

namespace orvane {

class Database;
class Engine;
struct ConsoleResult;

// One statement being handled.
struct StatementContext {
  Engine& engine;
  ConsoleResult& out;
  std::string t;         // trimmed, one trailing ";" and any PROFILE/EXPLAIN prefix removed, parameters substituted
  std::string l;         // t lower-cased (ASCII), for the classification tests
  std::string database;  // the database argument; empty means the current database
  std::string raw = {};  // t before parameters were substituted (the query pipeline binds them typed)
  const ParamMap* params = nullptr;  // the request's parameters; null: the engine's :param values
  std::ostream* rows_out = nullptr;  // where a Cypher statement's rows stream to; null: into `data`

  // The target database: the one named by `database`, else the current one,
  // compiled (Engine::database); live_target() is the same for the query
  // engine, its writes since the last compilation not folded
  // (Engine::live_database). Throw "unknown database: NAME".
  Database& target() const;
  Database& live_target() const;
};


// `t` with every $name outside quotes ('…', "…", `…`) replaced by its
// value: from `params` when given (compact JSON), else from the engine's
// parameters (numbers, booleans and null as JSON, anything else as a JSON
// string). Throws "unknown parameter: NAME" for an empty or unknown name.
std::string substitute_parameters(const std::string& t, const Engine& engine, const ParamMap* params);

// The text between the first two single quotes of `t`; nullopt when `t`
// holds fewer than two.
std::optional<std::string> quoted_arg(const std::string& t);
// The text between the first two double quotes of `t`; nullopt likewise.
std::optional<std::string> double_quoted_arg(const std::string& t);
// The `index`-th (0-based) run of decimal digits in `t` as a number, a run
// too long for 64 bits saturating at the largest value; `fallback` when
// there are fewer runs.
std::uint64_t nth_number(const std::string& t, std::size_t index, std::uint64_t fallback);

// Statement rows. Each fills ctx.out's `data` (and `kind` where it varies)
// or throws with the complete message.
void run_param(StatementContext& ctx);     // :param, :params
void run_style(StatementContext& ctx);     // :style
void run_create(StatementContext& ctx);    // CREATE node or relationship
void run_migrate(StatementContext& ctx);   // LOAD CSV, CALL orvane.migrate
void run_pull(StatementContext& ctx);      // LOAD FROM NEO4J, CALL orvane.loadFromNeo4j
void run_use(StatementContext& ctx);       // USE name
void run_restore(StatementContext& ctx);   // CALL orvane.restore
void run_cutover(StatementContext& ctx);   // CALL orvane.cutover, :cutover
void run_gds(StatementContext& ctx);       // CALL gds.*
void run_explore(StatementContext& ctx);   // CALL orvane.explore, :explore
void run_entropy(StatementContext& ctx);   // CALL orvane.entropy*, :entropy
void run_rag(StatementContext& ctx);       // CALL orvane.rag, :rag

// The plan document of EXPLAIN (`ran` false) and PROFILE: under
// ProduceResults, the enumerator's stages (ProjectionOrCount,
// RelationshipUniqueExpand, NodeScan) for `method` Enumerate, otherwise the
// one counting method that answers the statement.
std::string plan_document(const std::string& query, bool ran, std::uint64_t rows, double ns, CountMethod method);

}  // namespace orvane
