// The console statement dispatcher: the one entry point for every statement
// that a user types into the browser console, sends to the statement route,
// passes to the query command or enters in the shell. It classifies the
// statement (colon commands, procedure calls, USE, CREATE, LOAD,
// EXPLAIN/PROFILE, or a MATCH query), runs it against the Engine and keeps
// the engine's counters, query log and auto-entropy schedule.
#pragma once

#include <iosfwd>
#include <map>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

class Engine;
struct ConsoleResult;

// Statement parameters given with a request: name → JSON value.
using ParamMap = std::map<std::string, nlohmann::json>;

// Runs `statement` on the database named `database` (empty: the current
// one) with `params` (null: the engine's :param values) and fills `out`,
// whose `query` is the statement unchanged. Never throws for a statement
// that fails: `out` then has `ok` false, `kind` "error" and the complete
// message in `error`, and the failure is counted and logged. A failed
// CREATE leaves the database as it was, in memory and at the engine's
// snapshot path. Requires: exclusive use of the engine.
// With `rows_out`, the rows of a Cypher statement (not under PROFILE or
// EXPLAIN) are written there as they come, as the document `data` would
// hold ({"columns":[...],"rows":[...]}, no line end), without the 10000-row
// cap of an answer built whole; `out.streamed` is then set (from the first
// byte written) and `data` left empty. A failure part way leaves the
// document unfinished.
void dispatch(ConsoleResult& out, Engine& engine, const std::string& statement, const std::string& database,
              const ParamMap* params, std::ostream* rows_out = nullptr);

// Whether every statement of `input` (split as dispatch_input splits it) is
// a Cypher statement that only reads (EXPLAIN and PROFILE included), none a
// console form, no statement can start a scheduled optimisation, and
// `database` (empty: the current one) exists with arrays its readers can
// use as they are: such an input may be dispatched on `database` with the
// engine lock held shared, beside other readers, outside a transaction.
// Reads the engine's settings and registry only.
bool reads_only(const Engine& engine, const std::string& input, const std::string& database = "");

}  // namespace orvane
