// Console input of one or more statements separated by ";"
// (console/statement_scanner.h), the one way every transport runs user
// text: the statement route, the query command and the browser console
// send whole inputs here; the shell scans its lines with the same scanner.
//
// An input of at most one statement runs exactly as dispatch() runs it,
// text unchanged, and answers with that statement's answer. An input of
// several runs them in order, each as its own dispatch() with its own
// answer, and stops at the first that fails; statements before it keep
// their effects (each is saved as it succeeds), as in Neo4j Browser's
// multi-statement mode.
//
// The answer of several statements (batch_json):
//   {"ok": every statement ran and succeeded,
//    "kind": "statements",
//    "count": answers in "results" (the statements run, the failed one included),
//    "statements": statements in the input,
//    "ns": the sum of the answers' "ns",
//    "error": the failed statement's message, "" when ok,
//    ["errorClass", "phase", "detail": the failed statement's, when it has them,]
//    "query": the input, unchanged,
//    "results": [each statement's answer, exactly result_json's object]}
// so a client that reads only "ok" and "error" sees the failure.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console/console_result.h"
#include "console/dispatcher.h"

namespace orvane {

class Engine;

// The most statements one input may hold; more are refused before any runs.
inline constexpr std::size_t kMaxStatementsPerInput = 1000;

struct BatchAnswer {
  std::string input;                   // the text as given
  std::size_t statements = 0;          // statements the input holds
  bool several = false;                // more than one: the answer is the batch form
  std::vector<ConsoleResult> results;  // one per statement run, in order; a failed one is last

  bool ok() const { return results.empty() || results.back().ok; }
};

// Runs `input` on `database` with `params` (as dispatch() takes them) and
// fills `out`. Never throws for a statement that fails; an input of more
// than kMaxStatementsPerInput statements runs none and answers as one
// failed statement with "input holds N statements; at most 1000 run at
// once". Requires: for the whole input, the engine's exclusive use or
// the use input_access allows it (engine.h: reading, writing).
void dispatch_input(BatchAnswer& out, Engine& engine, const std::string& input, const std::string& database,
                    const ParamMap* params);

// The JSON answer: result_json of the one answer for an input of at most
// one statement, else the batch form above.
std::string batch_json(const BatchAnswer& answer);

}  // namespace orvane
