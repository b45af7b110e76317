// The focus of this file is the parser against every query of the openCypher
// TCK: the doc strings after "When executing query:", "having executed:" and
// "executing control query:", with Scenario Outline placeholders filled from
// each Examples row.
//
// A query must parse unless its scenario expects a SyntaxError that a parser
// can see (kParserDetails); then parsing must fail with that detail. A
// SyntaxError the TCK names for a semantic fault (VariableAlreadyBound,
// UndefinedVariable, ...) is the binder's, so those queries must parse.
//
// The TCK lives beside the checkout (../shared/opencypher-tck); without it
// the test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "query/cypher_error.h"
#include "query/parse/parser.h"

namespace orvane {
namespace {

const std::set<std::string> kParserDetails = {
    "UnexpectedSyntax",    "InvalidNumberLiteral",    "IntegerOverflow",          "InvalidUnicodeLiteral",
    "InvalidUnicodeCharacter", "FloatingPointOverflow", "InvalidRelationshipPattern"};

struct TckQuery {
  std::string where;            // file:line and scenario, for failure reports
  std::string text;
  std::string expected_detail;  // SyntaxError detail the scenario expects, or empty
};

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

bool starts_with(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

// The cells of a Gherkin table row "| a | b\|c |".
std::vector<std::string> cells(const std::string& row) {
  std::vector<std::string> out;
  std::string cell;
  std::string body = trim(row);
  for (std::size_t i = 1; i < body.size(); ++i) {
    if (body[i] == '\\' && i + 1 < body.size()) {
      char next = body[++i];
      cell += next == 'n' ? '\n' : next;
    } else if (body[i] == '|') {
      out.push_back(trim(cell));
      cell.clear();
    } else {
      cell += body[i];
    }
  }
  return out;
}

std::string substitute(std::string text, const std::vector<std::string>& names, const std::vector<std::string>& values) {
  for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
    std::string key = "<" + names[i] + ">";
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + values[i].size())) {
      text.replace(at, key.size(), values[i]);
    }
  }
  return text;
}

struct Scenario {
  std::string where;
  std::vector<std::string> queries;
  std::vector<bool> under_test;  // a "When" query, to which the expected error applies
  std::string error_line;        // the "Then a SyntaxError ..." line, placeholders unresolved
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

void expand(const Scenario& s, std::vector<TckQuery>& out) {
  auto emit = [&](const std::vector<std::string>& values) {
    std::string error = substitute(s.error_line, s.columns, values);
    std::string detail;
    const std::string marker = "SyntaxError should be raised at compile time: ";
    if (std::size_t at = error.find(marker); at != std::string::npos) detail = trim(error.substr(at + marker.size()));
    for (std::size_t i = 0; i < s.queries.size(); ++i) {
      out.push_back({s.where, substitute(s.queries[i], s.columns, values), s.under_test[i] ? detail : ""});
    }
  };
  if (s.rows.empty()) {
    emit({});
  } else {
    for (const auto& row : s.rows) emit(row);
  }
}

std::vector<TckQuery> load_tck(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().extension() == ".feature") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<TckQuery> out;
  for (const auto& file : files) {
    std::ifstream in(file);
    std::string line;
    std::size_t number = 0;
    Scenario scenario;
    bool have_scenario = false;
    bool in_doc = false, want_doc = false, doc_is_test = false, in_examples = false;
    std::string doc;
    while (std::getline(in, line)) {
      ++number;
      std::string t = trim(line);
      if (in_doc) {
        if (t == "\"\"\"") {
          in_doc = false;
          scenario.queries.push_back(doc);
          scenario.under_test.push_back(doc_is_test);
        } else {
          doc += line + "\n";
        }
        continue;
      }
      if (starts_with(t, "#")) continue;
      if (starts_with(t, "Scenario")) {
        if (have_scenario) expand(scenario, out);
        scenario = Scenario{};
        scenario.where = file.filename().string() + ":" + std::to_string(number) + " " + t;
        have_scenario = true;
        in_examples = false;
      } else if (t == "\"\"\"" && want_doc) {
        in_doc = true;
        want_doc = false;
        doc.clear();
      } else if (t.find("executing query:") != std::string::npos || t.find("having executed:") != std::string::npos ||
                 t.find("executing control query:") != std::string::npos) {
        want_doc = true;
        doc_is_test = t.find("When executing query:") != std::string::npos;
      } else if (t.find("should be raised") != std::string::npos) {
        scenario.error_line = t;
      } else if (starts_with(t, "Examples:")) {
        in_examples = true;
      } else if (in_examples && starts_with(t, "|")) {
        if (scenario.columns.empty()) {
          scenario.columns = cells(t);
        } else {
          scenario.rows.push_back(cells(t));
        }
      }
    }
    if (have_scenario) expand(scenario, out);
  }
  return out;
}

TEST(TckCorpus, EveryQueryParsesUnlessItsScenarioExpectsASyntaxError) {
  std::filesystem::path root = std::filesystem::path(ORVANE_SOURCE_DIR) / ".." / "shared" / "opencypher-tck" / "features";
  if (!std::filesystem::exists(root)) GTEST_SKIP() << "no TCK at " << root;
  std::vector<TckQuery> queries = load_tck(root);
  ASSERT_GT(queries.size(), 1000u);

  std::size_t parsed = 0, rejected_as_expected = 0;
  std::vector<std::string> failures;
  for (const auto& q : queries) {
    bool must_fail = kParserDetails.count(q.expected_detail) > 0;
    try {
      parse_statement(q.text);
      if (must_fail) {
        failures.push_back(q.where + ": parsed, expected " + q.expected_detail + "\n" + q.text);
      } else {
        ++parsed;
      }
    } catch (const CypherError& e) {
      if (!must_fail) {
        failures.push_back(q.where + ": " + e.what() + "\n" + q.text);
      } else if (e.error_class() != "SyntaxError" || e.detail() != q.expected_detail) {
        failures.push_back(q.where + ": expected " + q.expected_detail + ", got " + e.error_class() + " " +
                           e.detail() + ": " + e.what() + "\n" + q.text);
      } else {
        ++rejected_as_expected;
      }
    }
  }
  std::cout << "TCK corpus: " << queries.size() << " queries, " << parsed << " parsed, " << rejected_as_expected
            << " rejected with the expected SyntaxError, " << failures.size() << " wrong\n";
  for (const auto& f : failures) ADD_FAILURE() << f;
}

}  // namespace
}  // namespace orvane
