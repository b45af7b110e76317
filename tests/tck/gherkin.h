// A reader of the Gherkin feature files the conformance suite is written
// in: Feature, Background, Scenario, Scenario Outline with Examples, steps
// with doc strings and data tables, tags and comments.
//
// A Scenario Outline becomes one scenario per row of its Examples tables
// (rows numbered from 1 across all its tables), with every <placeholder>
// of the title, the step texts, the doc strings and the table cells
// replaced by the row's cell. Background steps are copied in front of the
// steps of every scenario of the feature.
//
// Every scenario gets a name stable across runs:
//   <id>:<title>            for a Scenario
//   <id>:<title> #<row>     for each row of a Scenario Outline
// where <id> is what the caller passes (the runner passes the file's path
// under the features folder, "clauses/match/Match1.feature").
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::tck {

class GherkinError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using GherkinTable = std::vector<std::vector<std::string>>;  // rows of cells, escapes resolved

struct GherkinStep {
  std::string keyword;          // "Given", "When", "Then", "And", "But" or "*"
  std::string text;             // the rest of the line, trimmed
  bool has_doc_string = false;  // a """ block followed the step
  std::string doc_string;       // its lines, the opening delimiter's indentation removed, joined by '\n'
  GherkinTable table;           // the data table that followed the step; empty when none
  int line = 0;                 // 1-based line of the step in the file
};

struct GherkinScenario {
  std::string name;               // the stable name (see the top of this file)
  std::string title;              // the title after substitution
  std::vector<std::string> tags;  // the scenario's and the feature's tags, without '@'
  std::vector<GherkinStep> steps; // background steps first
  int line = 0;                   // 1-based line of the Scenario keyword
  int example_row = 0;            // the outline row, from 1; 0 for a plain scenario
};

struct GherkinFeature {
  std::string name;  // the text after "Feature:"
  std::vector<GherkinScenario> scenarios;
};

// Reads one feature file. `id` prefixes the scenario names. Throws
// GherkinError "ID:LINE: REASON" for a file that is not well formed: no
// Feature, a step outside a scenario, an unterminated doc string, a table
// row with another cell count than its first row, an outline without
// Examples. Text between < and > that names no Examples column is left as
// it is ("a <> b", "<-[:T]-").
GherkinFeature parse_feature(std::string_view text, const std::string& id);

// The cells of one table row ("| a | b\\|c |" → {"a", "b|c"}): split at
// unescaped '|', trimmed, with \| \\ and \n resolved. Throws GherkinError
// when the row does not start and end with '|'.
std::vector<std::string> table_cells(std::string_view line);

}  // namespace orvane::tck
