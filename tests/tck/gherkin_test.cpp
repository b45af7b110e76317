// The feature-file reader: table cells and their escapes, doc strings,
// backgrounds, outlines and their names, and the malformed files it refuses.
#include <gtest/gtest.h>

#include "tck/gherkin.h"

namespace orvane::tck {
namespace {

TEST(Gherkin, TableCellsResolveEscapes) {
  struct Case {
    const char* line;
    std::vector<std::string> cells;
  };
  const std::vector<Case> cases = {
      {"| a | b |", {"a", "b"}},
      {"  |a|  b  |  ", {"a", "b"}},
      {R"(| a\|b | c |)", {"a|b", "c"}},
      {R"(| \\ |)", {"\\"}},
      {R"(| x\ny |)", {"x\ny"}},
      {R"(| '\'' |)", {R"('\'')"}},
      {R"(| 'a\\\\b' |)", {R"('a\\b')"}},
      {"|", {}},
      {"| |", {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(c.cells, table_cells(c.line));
  }
  for (const char* bad : {"| a", "a |", R"(| a \|)"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(table_cells(bad), GherkinError);
  }
}

constexpr const char* kFeature = R"(# a comment
@featureTag
Feature: Demo - a feature
  Some description.

  Background:
    Given an empty graph

  @skipStyleCheck
  Scenario: [1] Plain
    When executing query:
      """
      MATCH (n)
        RETURN n
      # not a comment here
      | nor a table |
      """
    Then the result should be, in any order:
      | n    |
      | null |
    And no side effects

  Scenario Outline: [2] Outline <what>
    When executing query:
      """
      RETURN <value> AS v, 1 <> 2 AS x
      """
    Then the result should be, in order:
      | v       |
      | <value> |

    Examples:
      | what | value |
      | one  | 1     |
      | pipe | 'a\|' |

    Examples:
      | what  | value |
      | three | 3     |
)";

TEST(Gherkin, ReadsScenariosOutlinesAndBackground) {
  const GherkinFeature f = parse_feature(kFeature, "dir/Demo.feature");
  EXPECT_EQ("Demo - a feature", f.name);
  ASSERT_EQ(4u, f.scenarios.size());

  const GherkinScenario& plain = f.scenarios[0];
  EXPECT_EQ("dir/Demo.feature:[1] Plain", plain.name);
  EXPECT_EQ((std::vector<std::string>{"featureTag", "skipStyleCheck"}), plain.tags);
  EXPECT_EQ(0, plain.example_row);
  ASSERT_EQ(4u, plain.steps.size());
  EXPECT_EQ("Given", plain.steps[0].keyword);
  EXPECT_EQ("an empty graph", plain.steps[0].text);
  EXPECT_EQ("executing query:", plain.steps[1].text);
  EXPECT_EQ(11, plain.steps[1].line);
  EXPECT_TRUE(plain.steps[1].has_doc_string);
  EXPECT_EQ("MATCH (n)\n  RETURN n\n# not a comment here\n| nor a table |", plain.steps[1].doc_string);
  EXPECT_EQ((GherkinTable{{"n"}, {"null"}}), plain.steps[2].table);
  EXPECT_EQ("no side effects", plain.steps[3].text);

  const std::vector<std::string> names = {"dir/Demo.feature:[2] Outline one #1", "dir/Demo.feature:[2] Outline pipe #2",
                                          "dir/Demo.feature:[2] Outline three #3"};
  const std::vector<std::string> values = {"1", "'a|'", "3"};
  for (std::size_t i = 0; i < 3; ++i) {
    const GherkinScenario& s = f.scenarios[i + 1];
    SCOPED_TRACE(s.name);
    EXPECT_EQ(names[i], s.name);
    EXPECT_EQ(static_cast<int>(i + 1), s.example_row);
    ASSERT_EQ(3u, s.steps.size());
    EXPECT_EQ("an empty graph", s.steps[0].text);
    EXPECT_EQ("RETURN " + values[i] + " AS v, 1 <> 2 AS x", s.steps[1].doc_string);
    EXPECT_EQ((GherkinTable{{"v"}, {values[i]}}), s.steps[2].table);
  }
}

TEST(Gherkin, RefusesMalformedFiles) {
  struct Case {
    const char* text;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"Scenario: x\n  Given any graph\n", "f:1: scenario before Feature"},
      {"", "f:1: no Feature"},
      {"Feature: f\n  Given any graph\n", "f:2: step outside a scenario"},
      {"Feature: f\n Scenario: s\n  When executing query:\n   \"\"\"\n   RETURN 1\n", "f:4: doc string not closed"},
      {"Feature: f\n Scenario: s\n  Given x:\n   | a | b |\n   | 1 |\n",
       "f:5: table row has 1 cells, the first row 2"},
      {"Feature: f\n Scenario Outline: s\n  Given any graph\n", "f:2: Scenario Outline without Examples rows"},
      {"Feature: f\n Scenario: s\n  Given any graph\n  whatever\n", "f:4: unexpected line: whatever"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parse_feature(c.text, "f");
      ADD_FAILURE() << "no error";
    } catch (const GherkinError& e) {
      EXPECT_EQ(c.error, std::string(e.what()));
    }
  }
}

TEST(Gherkin, EmptyTableAndCrLfLines) {
  const GherkinFeature f = parse_feature(
      "Feature: f\r\n  Scenario: s\r\n    And there exists a procedure p() :: ():\r\n      |\r\n", "f");
  ASSERT_EQ(1u, f.scenarios.size());
  ASSERT_EQ(1u, f.scenarios[0].steps.size());
  EXPECT_EQ("there exists a procedure p() :: ():", f.scenarios[0].steps[0].text);
  EXPECT_EQ((GherkinTable{{}}), f.scenarios[0].steps[0].table);
}

}  // namespace
}  // namespace orvane::tck
