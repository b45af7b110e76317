// A small evaluator for the Cypher expressions the temporal and spatial
// function tables are written in, so that each case reads as the query
// text it stands for ("date({year: 1984, week: 10})") and its expected
// result as Neo4j's clients print it ("'1984-03-05'").
//
// It knows literals, maps and lists, the temporal and spatial functions
// (through temporal_functions.h and spatial_functions.h), member access
// (d.year), + - * / and the comparisons. It is no query engine: there are
// no variables, and precedence is the usual two levels.
#pragma once

#include <span>
#include <string>

#include "query/functions/temporal_functions.h"

namespace orvane::testing {

// The statement clock every table uses: 2020-06-15T10:30:45.5Z, default
// zone "Z" unless changed.
StatementClock table_clock();

// The comma-separated expressions of `text`, each evaluated and rendered,
// joined by " | ": a temporal as Java prints it in quotes
// ('12:00', '1984-10-11T12:31:14.645+01:00[Europe/Stockholm]'), a string
// in quotes, numbers, booleans and null as Cypher writes them. A thrown
// CypherError renders as "CLASS/DETAIL: MESSAGE".
std::string eval_text(const std::string& text, const StatementClock& clock = table_clock());

// One row of a table: the expression text and its rendering.
struct Case {
  const char* expression;
  const char* expected;
};

// Checks every row with EXPECT_EQ, naming the row that failed.
void expect_cases(std::span<const Case> cases, const StatementClock& clock = table_clock());

}  // namespace orvane::testing
