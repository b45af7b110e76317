// Runs one scenario's steps against a TckEngine and decides whether it
// passes. The step vocabulary of the conformance suite:
//
//   Given an empty graph | Given any graph        reset the engine (any graph may be empty)
//   Given the NAME graph                          reset, then run GRAPHS/NAME/NAME.cypher
//   And having executed: """Q"""                  run a setup statement; its failure fails the scenario
//   And parameters are: | name | literal |        parameters of the following statements
//   And there exists a procedure SIG: | table |   declare a test procedure (engine must register it)
//   When executing query: """Q"""                 run Q, measuring side effects around it
//   When executing control query: """Q"""         run Q without measuring side effects
//   Then the result should be, in any order: |…|  rows as a multiset; "in order" as a sequence;
//                                                 "(ignoring element order for lists)" alone or after
//                                                 either: lists compare as multisets
//   Then the result should be empty               no rows
//   Then a CLASS should be raised at PHASE: CODE  the query failed with that class, phase (compile
//                                                 time, runtime, any time) and detail code ("*": any)
//   And the side effects should be: | +nodes | 1 | side effects of the last "executing query"
//   And no side effects                           all of them 0
//
// Any other step fails the scenario as unsupported, so a gap in the
// runner shows up as failures rather than as false passes.
#pragma once

#include <string>

#include "tck/gherkin.h"
#include "tck/tck_engine.h"

namespace orvane::tck {

// A scenario whose outcome is rows (or no rows), or one that expects an error.
enum class ScenarioKind { kResult, kError };

struct Verdict {
  bool passed = false;
  std::string reason;  // why it failed: the step and what was expected and got; empty when passed
};

// kError when some step expects an error to be raised, else kResult.
ScenarioKind scenario_kind(const GherkinScenario& scenario);

// Runs every step in order on `engine`, stopping at the first that fails.
// `graphs_dir` holds the named graphs. Never throws: a malformed step
// fails the scenario with its reason.
Verdict run_scenario(const GherkinScenario& scenario, TckEngine& engine, const std::string& graphs_dir);

}  // namespace orvane::tck
