// The focus of this file is what the Cypher parser refuses and how it says
// so: every error is a compile-time SyntaxError with the exact message,
// position and TCK detail code; hostile input (deep nesting, huge or
// non-UTF-8 text) fails the same way and never takes the process down.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/cypher_error.h"
#include "query/parse/parser.h"

namespace orvane {
namespace {

struct ErrorCase {
  std::string_view statement;
  std::string_view detail;
  std::string_view message;
};

void check_errors(const std::vector<ErrorCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    try {
      parse_statement(c.statement);
      ADD_FAILURE() << "parsed";
    } catch (const CypherError& e) {
      EXPECT_EQ("SyntaxError", e.error_class());
      EXPECT_EQ(ErrorPhase::kCompileTime, e.phase());
      EXPECT_EQ(c.detail, e.detail());
      EXPECT_EQ(c.message, e.what());
    }
  }
}

TEST(CypherParserErrors, NumberLiterals) {
  check_errors({
      {"RETURN 9223372036854775808 AS literal", "IntegerOverflow",
       "integer, 9223372036854775808, is too large (line 1, column 8 (offset: 7))"},
      {"RETURN -9223372036854775809", "IntegerOverflow",
       "integer, -9223372036854775809, is too large (line 1, column 8 (offset: 7))"},
      {"RETURN 0x8000000000000000", "IntegerOverflow",
       "integer, 0x8000000000000000, is too large (line 1, column 8 (offset: 7))"},
      {"RETURN -0o1000000000000000000001", "IntegerOverflow",
       "integer, -0o1000000000000000000001, is too large (line 1, column 8 (offset: 7))"},
      {"RETURN 9223372h54775808", "InvalidNumberLiteral",
       "Invalid input '9223372h54775808': expected a number literal (line 1, column 8 (offset: 7))"},
      {"RETURN 0x", "InvalidNumberLiteral", "Invalid input '0x': expected a number literal (line 1, column 8 (offset: 7))"},
      {"RETURN 0x1A2b3j4D5E6f7", "InvalidNumberLiteral",
       "Invalid input '0x1A2b3j4D5E6f7': expected a number literal (line 1, column 8 (offset: 7))"},
      {"RETURN 09", "InvalidNumberLiteral", "Invalid input '09': expected a number literal (line 1, column 8 (offset: 7))"},
      {"RETURN 1.34E999", "FloatingPointOverflow",
       "floating point number, 1.34E999, is too large (line 1, column 8 (offset: 7))"},
      // Where a name is expected, a malformed number is plain unexpected syntax.
      {"RETURN {1B2c3e67:1}", "UnexpectedSyntax",
       "Invalid input '1B2c3e67': expected a property key name or \"}\" (line 1, column 9 (offset: 8))"},
      {"RETURN 9223372#54775808", "UnexpectedSyntax",
       "Invalid input '#': expected a clause, \"UNION\", \";\" or the end of the statement (line 1, column 15 (offset: 14))"},
  });
}

TEST(CypherParserErrors, StringsCommentsAndCharacters) {
  check_errors({
      {R"(RETURN '\uH')", "InvalidUnicodeLiteral",
       R"(Invalid input '\uH': expected four hexadecimal digits specifying a unicode character (line 1, column 9 (offset: 8)))"},
      {R"(RETURN '\U0001F6')", "InvalidUnicodeLiteral",
       R"(Invalid input '\U0001F6': expected eight hexadecimal digits specifying a unicode character (line 1, column 9 (offset: 8)))"},
      {R"(RETURN '\q')", "UnexpectedSyntax",
       R"(Invalid input '\q': expected an escape sequence (\t, \b, \n, \r, \f, \', \", \\, \uXXXX or \UXXXXXXXX) (line 1, column 9 (offset: 8)))"},
      {"RETURN 'abc", "UnexpectedSyntax", "Unterminated string: expected a closing ' (line 1, column 8 (offset: 7))"},
      {"RETURN `abc", "UnexpectedSyntax", "Unterminated quoted name: expected '`' (line 1, column 8 (offset: 7))"},
      {"RETURN 1 /* open", "UnexpectedSyntax", "Unterminated comment: expected '*/' (line 1, column 10 (offset: 9))"},
      {"RETURN 42 \u2014 41", "InvalidUnicodeCharacter",
       "Invalid input '\u2014': expected a clause, \"UNION\", \";\" or the end of the statement (line 1, column 11 (offset: "
       "10))"},
      {"RETURN $", "UnexpectedSyntax", "Invalid input '$': expected an expression (line 1, column 8 (offset: 7))"},
  });
}

TEST(CypherParserErrors, Structure) {
  check_errors({
      {"RETUR 1", "UnexpectedSyntax", "Invalid input 'RETUR': expected a clause (line 1, column 1 (offset: 0))"},
      {"", "UnexpectedSyntax", "Invalid input '': expected a clause (line 1, column 1 (offset: 0))"},
      {"MATCH (n) RETURN", "UnexpectedSyntax",
       "Invalid input '': expected an expression (line 1, column 17 (offset: 16))"},
      {"MATCH (n) WHERE RETURN n", "UnexpectedSyntax",
       "Invalid input 'RETURN': expected an expression (line 1, column 17 (offset: 16))"},
      {"MATCH (n RETURN n", "UnexpectedSyntax",
       "Invalid input 'RETURN': expected \":\", \"{\", a parameter or \")\" (line 1, column 10 (offset: 9))"},
      {"RETURN [, ] AS literal", "UnexpectedSyntax",
       "Invalid input ',': expected an expression (line 1, column 9 (offset: 8))"},
      {"RETURN [[[]] AS literal", "UnexpectedSyntax",
       "Invalid input 'AS': expected \",\" or \"]\" (line 1, column 14 (offset: 13))"},
      {"RETURN {k1.k: 1}", "UnexpectedSyntax", "Invalid input '.': expected \":\" (line 1, column 11 (offset: 10))"},
      {"RETURN {, }", "UnexpectedSyntax",
       "Invalid input ',': expected a property key name or \"}\" (line 1, column 9 (offset: 8))"},
      {"RETURN CASE WHEN true THEN 1", "UnexpectedSyntax",
       "Invalid input '': expected \"WHEN\", \"ELSE\" or \"END\" (line 1, column 29 (offset: 28))"},
      {"MATCH (n) RETURN n.x AS", "UnexpectedSyntax",
       "Invalid input '': expected a variable name (line 1, column 24 (offset: 23))"},
      {"MATCH (n) SET n = 1 + 2, 3 = 4", "UnexpectedSyntax",
       "Invalid input '3': expected a property, a variable or a label assignment (line 1, column 26 (offset: 25))"},
      {"MERGE (n) ON DELETE SET n.x = 1", "UnexpectedSyntax",
       "Invalid input 'DELETE': expected \"CREATE\" or \"MATCH\" (line 1, column 14 (offset: 13))"},
      {"RETURN 1\nRETURN 2 3", "UnexpectedSyntax",
       "Invalid input '3': expected a clause, \"UNION\", \";\" or the end of the statement (line 2, column 10 (offset: "
       "18))"},
  });
}

TEST(CypherParserErrors, RelationshipPatterns) {
  check_errors({
      {"MATCH (a)-[:LIKES..]->(c) RETURN c", "InvalidRelationshipPattern",
       "Invalid input '..': a range of hops must follow \"*\" (as in \"*1..3\") (line 1, column 18 (offset: 17))"},
      {"MATCH (a)-[:LIKES*-2]->(c) RETURN c", "InvalidRelationshipPattern",
       "Invalid input '-': expected a non-negative integer, \"..\" or \"]\" (line 1, column 19 (offset: 18))"},
      {"MATCH (n) WHERE (n)-[:T*-1]->() RETURN n", "InvalidRelationshipPattern",
       "Invalid input '-': expected a non-negative integer, \"..\" or \"]\" (line 1, column 25 (offset: 24))"},
      {"MATCH (a)-[r:T x]->(b) RETURN a", "UnexpectedSyntax",
       "Invalid input 'x': expected \"]\" (line 1, column 16 (offset: 15))"},
  });
}

TEST(CypherParserErrors, PatternsOnlyWhereABooleanIsWanted) {
  check_errors({
      {"MATCH (n) RETURN (n)-[]->()", "UnexpectedSyntax",
       "Invalid input '(n)-[]->()': a pattern can only be used as a predicate; use EXISTS { ... } or COUNT { ... } for "
       "its value (line 1, column 18 (offset: 17))"},
      {"MATCH (a) RETURN size((a)--())", "UnexpectedSyntax",
       "Invalid input '(a)--()': a pattern can only be used as a predicate; use EXISTS { ... } or COUNT { ... } for its "
       "value (line 1, column 23 (offset: 22))"},
      {"MATCH (n) WHERE (n)-->() = true RETURN n", "UnexpectedSyntax",
       "Invalid input '(n)-->()': a pattern can only be used as a predicate; use EXISTS { ... } or COUNT { ... } for "
       "its value (line 1, column 17 (offset: 16))"},
  });
}

TEST(CypherParserErrors, YieldStarOnlyInAStandaloneCall) {
  check_errors({
      {"CALL test.my.proc('Stefan', 1) YIELD * RETURN city", "UnexpectedSyntax",
       "Invalid input '*': YIELD * is only allowed in a procedure call that is the whole query (line 1, column 38 "
       "(offset: 37))"},
      {"MATCH (n) CALL p() YIELD *", "UnexpectedSyntax",
       "Invalid input '*': YIELD * is only allowed in a procedure call that is the whole query (line 1, column 26 "
       "(offset: 25))"},
  });
}

// A keyword is a name wherever the keyword could not stand (MATCH (end)
// RETURN end parses, keyword_names_test.cpp); where it could, it is the
// keyword, and the error is at it.
TEST(CypherParserErrors, KeywordsWhereTheyCanStandAreNotVariables) {
  check_errors({
      {"MATCH (n) WHERE RETURN n", "UnexpectedSyntax",
       "Invalid input 'RETURN': expected an expression (line 1, column 17 (offset: 16))"},
      {"MATCH (n) RETURN n ORDER BY LIMIT 1", "UnexpectedSyntax",
       "Invalid input 'LIMIT': expected an expression (line 1, column 29 (offset: 28))"},
  });
}

TEST(CypherParserErrors, DeepNestingFailsWithoutExhaustingTheStack) {
  for (std::string opener : {"(", "[", "-", "NOT ", "{a: ", "[x IN ", "f(", "CASE WHEN ", "[(a)--(b {k: "}) {
    SCOPED_TRACE(opener);
    std::string text = "RETURN ";
    while (text.size() + opener.size() < kMaxStatementBytes) text += opener;
    try {
      parse_statement(text);
      ADD_FAILURE() << "parsed";
    } catch (const CypherError& e) {
      EXPECT_EQ("SyntaxError", e.error_class());
      EXPECT_NE(std::string(e.what()).find("nests more than 500 levels deep"), std::string::npos) << e.what();
    }
  }
  std::string text = "MATCH ";
  text.append(60000, '(');
  EXPECT_THROW(parse_statement(text), CypherError);
}

TEST(CypherParserErrors, ModerateNestingParses) {
  std::string text = "RETURN " + std::string(200, '(') + "1" + std::string(200, ')');
  EXPECT_NO_THROW(parse_statement(text));
  text = "RETURN " + std::string(200, '[') + std::string(200, ']');
  EXPECT_NO_THROW(parse_statement(text));
}

TEST(CypherParserErrors, RefusesOversizedAndNonUtf8Text) {
  std::string huge = "RETURN '" + std::string(kMaxStatementBytes, 'x') + "'";
  check_errors({
      {huge, "", "Invalid input: the statement has 65545 bytes, more than the limit of 65536"},
      {"RETURN 'a\xff'", "", "Invalid input: the statement is not valid UTF-8 (line 1, column 10 (offset: 9))"},
      {"RETURN 'é\xc3'", "", "Invalid input: the statement is not valid UTF-8 (line 1, column 10 (offset: 10))"},
  });
}

TEST(PositionText, CountsLinesAndCharacters) {
  EXPECT_EQ(" (line 1, column 1 (offset: 0))", position_text("RETURN", 0));
  EXPECT_EQ(" (line 2, column 3 (offset: 11))", position_text("MATCH ()\nRET", 11));
  EXPECT_EQ(" (line 1, column 4 (offset: 4))", position_text("éab", 4));
  EXPECT_EQ(" (line 3, column 1 (offset: 2))", position_text("\n\nx", 2));
}

}  // namespace
}  // namespace orvane
