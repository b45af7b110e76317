// The row matcher: columns by name, rows in order or as a multiset, lists
// in order unless told otherwise, and the report of a mismatch.
#include <gtest/gtest.h>

#include "tck/result_matcher.h"
#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

QueryResult result(std::vector<std::string> columns, const std::vector<std::vector<const char*>>& rows) {
  QueryResult r;
  r.columns = std::move(columns);
  for (const auto& row : rows) {
    std::vector<TckValue> values;
    for (const char* cell : row) values.push_back(parse_value_literal(cell));
    r.rows.push_back(std::move(values));
  }
  return r;
}

TEST(ResultMatcher, OrdersMultisetsAndColumns) {
  constexpr RowExpectation kAny{RowOrder::kAnyOrder, false};
  constexpr RowExpectation kOrdered{RowOrder::kInOrder, false};
  constexpr RowExpectation kLoose{RowOrder::kAnyOrder, true};
  struct Case {
    const char* what;
    GherkinTable expected;
    QueryResult actual;
    RowExpectation how;
    bool match;
  };
  const std::vector<Case> cases = {
      {"same rows", {{"a"}, {"1"}, {"2"}}, result({"a"}, {{"1"}, {"2"}}), kOrdered, true},
      {"swapped rows, any order", {{"a"}, {"1"}, {"2"}}, result({"a"}, {{"2"}, {"1"}}), kAny, true},
      {"swapped rows, in order", {{"a"}, {"1"}, {"2"}}, result({"a"}, {{"2"}, {"1"}}), kOrdered, false},
      {"duplicates count", {{"a"}, {"1"}, {"1"}, {"2"}}, result({"a"}, {{"1"}, {"2"}, {"2"}}), kAny, false},
      {"one row too many", {{"a"}, {"1"}}, result({"a"}, {{"1"}, {"1"}}), kAny, false},
      {"no rows both", {{"a"}}, result({"a"}, {}), kAny, true},
      {"columns by name", {{"a", "b"}, {"1", "'x'"}}, result({"b", "a"}, {{"'x'", "1"}}), kOrdered, true},
      {"column missing", {{"a", "b"}, {"1", "2"}}, result({"a", "c"}, {{"1", "2"}}), kAny, false},
      {"column name exact", {{"n.name"}, {"1"}}, result({"n.Name"}, {{"1"}}), kAny, false},
      {"integer is not float", {{"a"}, {"1"}}, result({"a"}, {{"1.0"}}), kAny, false},
      {"NaN matches NaN", {{"a"}, {"NaN"}}, result({"a"}, {{"NaN"}}), kAny, true},
      {"list order kept", {{"l"}, {"[1, 2]"}}, result({"l"}, {{"[2, 1]"}}), kAny, false},
      {"list order ignored", {{"l"}, {"[1, 2]"}}, result({"l"}, {{"[2, 1]"}}), kLoose, true},
      {"nested list order ignored", {{"l"}, {"{k: [1, [2, 3]]}"}}, result({"l"}, {{"{k: [[3, 2], 1]}"}}), kLoose,
       true},
      {"node labels as a set", {{"n"}, {"(:A:B {k: 1})"}}, result({"n"}, {{"(:B:A {k: 1})"}}), kOrdered, true},
      {"node properties differ", {{"n"}, {"(:A {k: 1})"}}, result({"n"}, {{"(:A {k: 2})"}}), kAny, false},
      {"relationship type", {{"r"}, {"[:T]"}}, result({"r"}, {{"[:U]"}}), kAny, false},
      {"path direction", {{"p"}, {"<(:A)-[:T]->(:B)>"}}, result({"p"}, {{"<(:A)<-[:T]-(:B)>"}}), kAny, false},
      {"path equal", {{"p"}, {"<(:A)-[:T]->(:B)>"}}, result({"p"}, {{"<(:A)-[:T]->(:B)>"}}), kAny, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string why = match_rows(c.expected, c.actual, c.how);
    EXPECT_EQ(c.match, why.empty()) << why;
  }
}

TEST(ResultMatcher, ReportsWhatDiffers) {
  const std::string why =
      match_rows({{"a"}, {"1"}, {"2"}}, result({"a"}, {{"1"}, {"3"}}), RowExpectation{RowOrder::kAnyOrder, false});
  EXPECT_EQ(
      "rows differ (any order): 1 expected not found, 1 not expected\n"
      "expected:\n  | a |\n  | 1 |\n  | 2 |\n"
      "got:\n  | a |\n  | 1 |\n  | 3 |\n"
      "missing (canonical):\n  | 2 |\n"
      "unexpected (canonical):\n  | 3 |\n",
      why);
  EXPECT_EQ("columns differ: expected [a], got [b]\ngot:\n  | b |\n",
            match_rows({{"a"}}, result({"b"}, {}), RowExpectation{}));
  EXPECT_NE(std::string::npos, match_rows({{"a"}, {"n.x"}}, result({"a"}, {{"1"}}), RowExpectation{})
                                   .find("expected table: value literal: expected a value at offset 0"));
}

}  // namespace
}  // namespace orvane::tck
