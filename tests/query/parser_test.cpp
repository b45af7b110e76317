// Parser: the accepted grammar and every failure message, as tables of
// statement → expectation.
#include <gtest/gtest.h>

#include <string>

#include "query/lexer.h"
#include "query/query.h"

namespace orvane {
namespace {

std::string error_of(const std::string& text) {
  try {
    parse_query(text);
  } catch (const QlError& e) {
    return e.what();
  }
  return "";
}

std::string nested_lists(int depth, const std::string& inner) {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

std::string chain(int relationships) {
  std::string s = "MATCH (a)";
  for (int i = 0; i < relationships; ++i) s += "-[:R]->()";
  return s + " RETURN count(*)";
}

TEST(Lexer, TokensAndSymbols) {
  QlLexer lex("x1 `a``b` -12.5e+3 1..3 'it\\'s' <- -> <> .. != - $ \xC3\xA9 // comment\n end");
  std::vector<std::pair<QlTokenKind, std::string>> got;
  while (lex.current().kind != QlTokenKind::End) {
    got.emplace_back(lex.current().kind, lex.current().text);
    lex.advance();
  }
  lex.advance();
  EXPECT_EQ(QlTokenKind::End, lex.current().kind);
  using K = QlTokenKind;
  const std::vector<std::pair<QlTokenKind, std::string>> expected = {
      {K::Identifier, "x1"}, {K::Identifier, "a`b"}, {K::Number, "-12.5e+3"}, {K::Number, "1"},
      {K::Symbol, ".."},     {K::Number, "3"},       {K::String, "it's"},     {K::Symbol, "<-"},
      {K::Symbol, "->"},     {K::Symbol, "<>"},      {K::Symbol, ".."},       {K::Symbol, "!="},
      {K::Symbol, "-"},      {K::Symbol, "$"},       {K::Symbol, "\xC3"},     {K::Symbol, "\xA9"},
      {K::Identifier, "end"}};
  EXPECT_EQ(expected, got);
  QlLexer strings("\"a'b\\n\\t\\r\\\\\" '-[' -[");
  EXPECT_EQ("a'b\n\t\r\\", strings.current().text);
  strings.advance();
  EXPECT_EQ("-[", strings.current().text);
  strings.advance();
  EXPECT_EQ("-", strings.current().text);
  QlLexer trailing("1.");
  EXPECT_EQ("1.", trailing.current().text);
}

TEST(Parser, AcceptedShapes) {
  QlQuery q = parse_query("match (p:Person {id: 0})-[:FOLLOWS]->(x) return COUNT(*)");
  ASSERT_EQ(2u, q.nodes.size());
  EXPECT_EQ("Person", q.nodes[0].label);
  EXPECT_EQ(0, q.nodes[0].properties.at("id").get<int>());
  EXPECT_EQ("FOLLOWS", q.relationships[0].type);
  EXPECT_TRUE(q.is_count);
  EXPECT_TRUE(q.count_star);
  EXPECT_EQ("count", q.count_alias);

  q = parse_query("MATCH (a)-[:R*0..3]->(b) RETURN count(DISTINCT b)");
  EXPECT_EQ(0, q.relationships[0].min_hops);
  EXPECT_EQ(3, q.relationships[0].max_hops);
  EXPECT_TRUE(q.distinct);
  EXPECT_FALSE(q.count_star);
  EXPECT_EQ("b", q.count_variable);

  q = parse_query("MATCH (a)-[:R*2]-(b) RETURN a.name AS n, b LIMIT 0;");
  EXPECT_EQ(QlDirection::Both, q.relationships[0].direction);
  EXPECT_EQ(2, q.relationships[0].min_hops);
  EXPECT_EQ(2, q.relationships[0].max_hops);
  ASSERT_EQ(2u, q.returns.size());
  EXPECT_EQ("n", q.returns[0].column);
  EXPECT_EQ("name", q.returns[0].property);
  EXPECT_EQ("b", q.returns[1].column);
  EXPECT_EQ(0u, q.limit);
  EXPECT_TRUE(q.has_limit);
  EXPECT_FALSE(q.is_count);

  q = parse_query("MATCH (a)-[:R]->(b)<-[:S]-(c) WHERE a <> c AND b != c RETURN DISTINCT a.name");
  EXPECT_EQ("a.name", q.returns[0].column);
  EXPECT_EQ(QlDirection::In, q.relationships[1].direction);
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"a", "c"}, {"b", "c"}}), q.where_not_equal);
  EXPECT_TRUE(q.distinct);
  EXPECT_EQ(10000u, q.limit);
  EXPECT_FALSE(q.has_limit);

  q = parse_query("MATCH (n {s: 'x', u: 18446744073709551615, i: -3, big: 18446744073709551616, f: 1.5e2, "
                  "t: true, z: NULL, l: [1, [2, []]]}) RETURN count(n) AS total");
  const auto& p = q.nodes[0].properties;
  EXPECT_TRUE(p.at("u").is_number_unsigned());
  EXPECT_TRUE(p.at("i").is_number_integer());
  EXPECT_EQ(-3, p.at("i").get<int>());
  EXPECT_TRUE(p.at("big").is_number_float());
  EXPECT_EQ(150.0, p.at("f").get<double>());
  EXPECT_TRUE(p.at("z").is_null());
  EXPECT_EQ("[1,[2,[]]]", p.at("l").dump());
  EXPECT_EQ("total", q.count_alias);

  q = parse_query("MATCH (`MATCH`:`odd label`)-[:`T T`*0]->(b) RETURN `MATCH`.`x y` LIMIT 10000");
  EXPECT_EQ("MATCH", q.nodes[0].variable);
  EXPECT_EQ("odd label", q.nodes[0].label);
  EXPECT_EQ(0, q.relationships[0].max_hops);
  EXPECT_EQ(10000u, q.limit);
  EXPECT_EQ("MATCH (a) RETURN a // trailing comment", parse_query("MATCH (a) RETURN a // trailing comment").text);
}

TEST(Parser, PatternAndLiteralLimits) {
  EXPECT_EQ("", error_of(chain(16)));
  EXPECT_EQ("pattern limit exceeded", error_of(chain(17)));
  EXPECT_EQ("", error_of("MATCH (n {x: " + nested_lists(16, "1") + "}) RETURN n"));
  EXPECT_EQ("property nesting limit exceeded", error_of("MATCH (n {x: " + nested_lists(17, "1") + "}) RETURN n"));
  EXPECT_EQ("", error_of("MATCH (n {x: " + nested_lists(17, "") + "}) RETURN n"));
  std::string exact = "MATCH (n) RETURN n";
  exact += std::string(kMaxQueryBytes - exact.size(), ' ');
  EXPECT_EQ("", error_of(exact));
  EXPECT_EQ("query exceeds 64 KiB", error_of(exact + " "));
  EXPECT_EQ("query exceeds 64 KiB", error_of(std::string(70000, '\'')));  // before any token
}

TEST(Parser, FailureMessages) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", "query must start with MATCH"},
      {"// only a comment", "query must start with MATCH"},
      {"RETURN 1", "query must start with MATCH"},
      {"MATCH (`a", "invalid quoted identifier"},
      {"MATCH (``)", "invalid quoted identifier"},
      {"MATCH (n {x: 'a", "unterminated string"},
      {"MATCH (n {x: 'a\\", "unterminated escape"},
      {"MATCH (n {x: 'a\\q'}) RETURN n", "unsupported string escape"},
      {"MATCH (n RETURN n", "expected ')', got 'RETURN'"},
      {"MATCH (n", "expected ')', got ''"},
      {"MATCH (a)-[r:T]->(b) RETURN a", "expected ':', got 'r'"},
      {"MATCH (a)-->(b) RETURN a", "expected '[', got '->'"},
      {"MATCH (a)<-[:T]->(b) RETURN a", "expected '-', got '->'"},
      {"MATCH (a)-[:T>(b) RETURN a", "expected ']', got '>'"},
      {"MATCH (a)-[:]->(b) RETURN a", "expected identifier"},
      {"MATCH (a)-[:R*]->(b) RETURN a", "expected hop count"},
      {"MATCH (a)-[:R*..3]->(b) RETURN a", "expected hop count"},
      {"MATCH (a)-[:R*1..]->(b) RETURN a", "expected hop count"},
      {"MATCH (a)-[:R*1.5]->(b) RETURN a", "hop count must be an integer"},
      {"MATCH (a)-[:R*1e0]->(b) RETURN a", "hop count must be an integer"},
      {"MATCH (a)-[:R*17]->(b) RETURN a", "hop count must be between 0 and 16"},
      {"MATCH (a)-[:R*-1]->(b) RETURN a", "hop count must be between 0 and 16"},
      {"MATCH (a)-[:R*3..1]->(b) RETURN a", "invalid hop range"},
      {"MATCH (n {x: 1, x: 2}) RETURN n", "duplicate property: x"},
      {"MATCH (n {'x': 1}) RETURN n", "expected identifier"},
      {"MATCH (n {x: 1, }) RETURN n", "expected identifier"},
      {"MATCH (n {x 1}) RETURN n", "expected ':', got '1'"},
      {"MATCH (n {x: $id}) RETURN n", "expected a string, number, boolean, null, or array"},
      {"MATCH (n {x: {b: 1}}) RETURN n", "expected a string, number, boolean, null, or array"},
      {"MATCH (n {x: 01}) RETURN n", "invalid numeric literal"},
      {"MATCH (n {x: 1.}) RETURN n", "invalid numeric literal"},
      {"MATCH (n {x: 1e}) RETURN n", "invalid numeric literal"},
      {"MATCH (n {x: 1e400}) RETURN n", "invalid numeric literal"},
      {"MATCH (n {x: [1, 2}) RETURN n", "expected ']', got '}'"},
      {"MATCH (a) WHERE a = b RETURN a", "WHERE supports node-variable inequality only"},
      {"MATCH (a) WHERE a.x <> b RETURN a", "WHERE supports node-variable inequality only"},
      {"MATCH (a) WHERE a <> b RETURN a", "WHERE references an unknown variable"},
      {"MATCH (a) WHERE b <> a RETURN a", "WHERE references an unknown variable"},
      {"MATCH (a), (b) RETURN a", "expected RETURN"},
      {"MATCH (a)", "expected RETURN"},
      {"MATCH (a) RETURN count(DISTINCT *)", "count(DISTINCT *) is unsupported"},
      {"MATCH (a) RETURN count(*) LIMIT 5", "LIMIT is supported for row queries only"},
      {"MATCH (a) RETURN a LIMIT 10001", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT -1", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT 5.0", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT '5'", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT [5]", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT", "expected a string, number, boolean, null, or array"},
      {"MATCH (a) RETURN b ORDER BY b", "unsupported or unexpected clause: ORDER"},
      {"MATCH (a) RETURN a;;", "unsupported or unexpected clause: ;"},
      {"MATCH (a) RETURN b", "RETURN references an unknown variable"},
      {"MATCH (a) RETURN count(b)", "count references an unknown variable"},
      {"MATCH (a) RETURN count", "expected '(', got ''"},
      {"MATCH (a) RETURN a.", "expected identifier"},
      // Found by fuzzing: a quoted name with bytes that are not UTF-8 made
      // the answer impossible to render as JSON.
      {"MATCH (a)-[:R*7]-(b) RETURN b.`od\xFF\x09`", "text is not valid UTF-8"},
      {"MATCH (a {s: '\xC3'}) RETURN a", "text is not valid UTF-8"},
      {"MATCH (a) RETURN a \xE9", "text is not valid UTF-8"},
      {"MATCH (a) RETURN a \xC3\xA9", "unsupported or unexpected clause: \xC3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.message, error_of(c.text));
  }
}

TEST(Parser, ErrorsAreQlErrorsOnly) {
  try {
    parse_query("MATCH (");
    FAIL();
  } catch (const QlError& e) {
    const std::runtime_error& base = e;
    EXPECT_STREQ("expected ')', got ''", base.what());
  } catch (...) {
    FAIL() << "not a QlError";
  }
}

}  // namespace
}  // namespace orvane
