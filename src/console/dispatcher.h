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
// snapshot path. Requires: the engine's exclusive use, or the use
// input_access allows the statement (engine.h: reading, writing).
// With `rows_out`, the rows of a Cypher statement (not under PROFILE or
// EXPLAIN) are written there as they come, as the document `data` would
// hold ({"columns":[...],"rows":[...]}, no line end), without the 10000-row
// cap of an answer built whole; `out.streamed` is then set (from the first
// byte written) and `data` left empty. A failure part way leaves the
// document unfinished.
void dispatch(ConsoleResult& out, Engine& engine, const std::string& statement, const std::string& database,
              const ParamMap* params, std::ostream* rows_out = nullptr);

// How an input may run beside other requests, from what its statements
// (split as dispatch_input splits them) are:
//   kRead: every statement is Cypher that only reads (EXPLAIN and PROFILE
//     included), and `database` (empty: the current one) has arrays its
//     readers can use as they are: the engine lock held shared, beside
//     other readers and the writer, reading pinned versions;
//   kWrite: every statement is Cypher (or a CREATE form of the console),
//     at least one writes, and none needs more than the database it
//     writes: the engine lock held in its writer mode, beside readers;
//   kExclusive: anything else (a console form, no such database, a
//     scheduled optimisation that a statement may start, a transaction the
//     calling thread runs in, a write to a database an open transaction
//     writes): the engine lock held exclusive.
// Reads the engine's settings and registry only.
enum class InputAccess { kRead, kWrite, kExclusive };
InputAccess input_access(const Engine& engine, const std::string& input, const std::string& database = "");

}  // namespace orvane
