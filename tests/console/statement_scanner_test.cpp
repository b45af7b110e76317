// The statement scanner: where ";" ends a statement and where it does not
// (quotes, escapes, comments, backtick names), colon commands ended by
// their line, empty statements, and the same cuts whether the input comes
// whole or a line at a time.
#include <gtest/gtest.h>

#include <sstream>

#include "console/statement_scanner.h"

namespace orvane {
namespace {

// The statements joined by " | ", each in brackets, so blanks at the ends
// show.
std::string cuts(const std::vector<std::string>& statements) {
  std::string out;
  for (const std::string& s : statements) out += (out.empty() ? "[" : " | [") + s + "]";
  return out;
}

struct Case {
  const char* input;
  const char* statements;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Plain cuts, empty statements, the trailing ";".
      {"RETURN 1", "[RETURN 1]"},
      {"RETURN 1;", "[RETURN 1]"},
      {"  RETURN 1 ;  \n", "[RETURN 1]"},
      {"RETURN 1; RETURN 2", "[RETURN 1] | [RETURN 2]"},
      {"RETURN 1;;; ;\n;RETURN 2;", "[RETURN 1] | [RETURN 2]"},
      {"", ""},
      {" ;\n ; ", ""},
      {"MATCH (n)\nRETURN n;\nRETURN 2", "[MATCH (n)\nRETURN n] | [RETURN 2]"},
      // Quotes hide ";", span lines, and a backslash escapes in '…' and "…".
      {"RETURN 'a;b'; RETURN \"c;d\"", "[RETURN 'a;b'] | [RETURN \"c;d\"]"},
      {"RETURN 'it\\'s;'; RETURN 2", "[RETURN 'it\\'s;'] | [RETURN 2]"},
      {"RETURN \"say \\\"x;\\\"\";RETURN 2", "[RETURN \"say \\\"x;\\\"\"] | [RETURN 2]"},
      {"RETURN 'a\nb;\nc'; RETURN 2", "[RETURN 'a\nb;\nc'] | [RETURN 2]"},
      {"RETURN '\\\\'; RETURN 2", "[RETURN '\\\\'] | [RETURN 2]"},
      // Backticks: no escape inside; a doubled backtick closes and reopens.
      {"MATCH (`a;b`) RETURN 1; RETURN 2", "[MATCH (`a;b`) RETURN 1] | [RETURN 2]"},
      {"RETURN 1 AS `x\\`; RETURN 2", "[RETURN 1 AS `x\\`] | [RETURN 2]"},
      {"RETURN 1 AS `a``;b`; RETURN 2", "[RETURN 1 AS `a``;b`] | [RETURN 2]"},
      // Comments hide ";" and quotes; one before a statement is dropped, one
      // inside it stays; a statement of comments alone is none.
      {"RETURN 1 // one; two\n; RETURN 2", "[RETURN 1 // one; two] | [RETURN 2]"},
      {"// don't; really\nRETURN 1; RETURN 2", "[RETURN 1] | [RETURN 2]"},
      {"RETURN /* ; ' */ 1; /* a;\nb */ RETURN 2", "[RETURN /* ; ' */ 1] | [RETURN 2]"},
      {"RETURN 1; // done", "[RETURN 1]"},
      {"RETURN 1; /* done; */ ;", "[RETURN 1]"},
      {"RETURN 1 /**/; RETURN 2 /*/ still; */", "[RETURN 1 /**/] | [RETURN 2 /*/ still; */]"},
      {"RETURN 4/2; RETURN 2 /", "[RETURN 4/2] | [RETURN 2 /]"},
      {"RETURN '//'; RETURN \"/*\"; RETURN 3", "[RETURN '//'] | [RETURN \"/*\"] | [RETURN 3]"},
      {"RETURN 1 /* open; ", "[RETURN 1 /* open;]"},
      // Colon commands end with their line; ";" inside one is its own.
      {":help", "[:help]"},
      {":param x => 1\nRETURN $x", "[:param x => 1] | [RETURN $x]"},
      {":param s => 'a;b'\n:params\nRETURN $s;", "[:param s => 'a;b'] | [:params] | [RETURN $s]"},
      {":param x => 1;\nRETURN $x", "[:param x => 1;] | [RETURN $x]"},
      {"RETURN 1; :help\nRETURN 2", "[RETURN 1] | [:help] | [RETURN 2]"},
      {"  // note\n  :help  \n", "[:help]"},
      {"MATCH (n:Person)\n:RETURN n;", "[MATCH (n:Person)\n:RETURN n]"},  // a colon inside a statement
      {"RETURN '\n:help\n'; :play intro", "[RETURN '\n:help\n'] | [:play intro]"},
  };
  return table;
}

TEST(StatementScanner, CutsStatementsWhole) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(c.statements, cuts(split_statements(c.input)));
  }
}

// The shell feeds lines; the cuts must not depend on where lines end.
TEST(StatementScanner, CutsStatementsLineByLine) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.input);
    StatementScanner scanner;
    std::vector<std::string> out;
    const auto emit = [&](const std::string& s) { out.push_back(s); };
    std::istringstream lines(c.input);
    std::string line;
    while (std::getline(lines, line)) scanner.feed_line(line, emit);
    scanner.finish(emit);
    EXPECT_EQ(c.statements, cuts(out));
  }
}

TEST(StatementScanner, PendingWhileAStatementOrBlockCommentIsOpen) {
  struct Pending {
    const char* fed;
    bool pending;
  };
  const Pending table[] = {
      {"", false},          {"RETURN 1", true},    {"RETURN 1;", false}, {"RETURN 'a;", true},
      {"// note", false},   {"/* note", true},     {"/* note */", false}, {"RETURN 1; ", false},
      {":help", false},     {"/", true},
  };
  for (const Pending& p : table) {
    SCOPED_TRACE(p.fed);
    StatementScanner scanner;
    scanner.feed_line(p.fed, [](const std::string&) {});
    EXPECT_EQ(p.pending, scanner.pending());
  }
}

// A statement that throws while it runs leaves the scanner between
// statements: the next one is cut cleanly.
TEST(StatementScanner, AThrowingStatementLeavesTheScannerBetweenStatements) {
  StatementScanner scanner;
  std::vector<std::string> out;
  EXPECT_THROW(scanner.feed("RETURN 'x'; RETURN", [](const std::string&) { throw std::runtime_error("no"); }),
               std::runtime_error);
  EXPECT_FALSE(scanner.pending());
  scanner.feed("RETURN 2;", [&](const std::string& s) { out.push_back(s); });
  EXPECT_EQ("[RETURN 2]", cuts(out));
}

}  // namespace
}  // namespace orvane
