// Compares a query's rows with the table a scenario expects.
//
// Columns match by name: the expected header and the engine's columns
// must name the same set, and each actual row is read in the header's
// order. Rows then match as a sequence ("in order") or as a multiset ("in
// any order"); values match by TckValue equality, with list elements
// unordered on request ("ignoring element order for lists").
#pragma once

#include <string>

#include "tck/gherkin.h"
#include "tck/tck_engine.h"

namespace orvane::tck {

enum class RowOrder { kAnyOrder, kInOrder };

struct RowExpectation {
  RowOrder order = RowOrder::kAnyOrder;
  bool unordered_lists = false;  // list elements compare as multisets, at every depth
};

// "" when `actual` matches `expected` (header row, then one row of value
// literals per expected row); otherwise why not, with both tables written
// out in literal syntax. An expected cell that is not a value literal is
// reported as such (the feature file is wrong, or the reader is).
std::string match_rows(const GherkinTable& expected, const QueryResult& actual, const RowExpectation& how);

// The rows of `result` as a Gherkin-style table in literal syntax, one row
// per line, each line indented by `indent` blanks.
std::string result_table_text(const QueryResult& result, int indent);

}  // namespace orvane::tck
