// Parser: the accepted grammar and every failure message, as tables of
// statement → expectation.
#include <gtest/gtest.h>

#include <string>

#include "query/lexer.h"
#include "query/query.h"
#include "support/error_text.h"

namespace orvane {
namespace {

std::string error_of(const std::string& text) { return testing::error_of([&] { parse_query(text); }); }

std::string nested_lists(int depth, const std::string& inner) {
  return "MATCH (n {x: " + std::string(depth, '[') + inner + std::string(depth, ']') + "}) RETURN n";
}

// Every token of `text` as "kind:text " (I identifier, N number, S string,
// Y symbol), up to the end token.
std::string tokens(const std::string& text) {
  std::string out;
  for (QlLexer lex(text); lex.current().kind != QlTokenKind::End; lex.advance()) {
    out += std::string(1, " INSY"[static_cast<int>(lex.current().kind)]) + ":" + lex.current().text + " ";
  }
  return out;
}

TEST(Lexer, TokensAndSymbols) {
  EXPECT_EQ("I:x1 I:a`b N:-12.5e+3 N:1 Y:.. N:3 S:it's Y:<- Y:-> Y:<> Y:.. Y:!= Y:- Y:$ Y:\xC3 Y:\xA9 I:end ",
            tokens("x1 `a``b` -12.5e+3 1..3 'it\\'s' <- -> <> .. != - $ \xC3\xA9 // comment\n end"));
  EXPECT_EQ("S:a'b\n\t\r\\ S:-[ Y:- Y:[ N:1. ", tokens("\"a'b\\n\\t\\r\\\\\" '-[' -[ 1."));
}

// A parsed statement as one line: nodes "(var:Label {name=json/kind})",
// relationships "[TYPE min..max out|in|both]", then WHERE, the projection
// and the limit ("!" when written).
std::string render(const QlQuery& q) {
  static const char* directions[] = {"out", "in", "both"};
  std::string s;
  for (std::size_t k = 0; k < q.nodes.size(); ++k) {
    if (k > 0) {
      const QlRelPattern& r = q.relationships[k - 1];
      s += "[" + r.type + " " + std::to_string(r.min_hops) + ".." + std::to_string(r.max_hops) + " " +
           directions[static_cast<int>(r.direction)] + "]";
    }
    s += "(" + q.nodes[k].variable + ":" + q.nodes[k].label;
    for (const auto& [name, v] : q.nodes[k].properties) {
      s += " " + name + "=" + v.dump() + (v.is_number_unsigned() ? "/u" : v.is_number_integer() ? "/i" : "");
    }
    s += ")";
  }
  for (const auto& [a, b] : q.where_not_equal) s += " " + a + "<>" + b;
  if (q.is_count) {
    s += std::string(" COUNT(") + (q.distinct ? "DISTINCT " : "") + (q.count_star ? "*" : q.count_variable) + ")" +
         " AS " + q.count_alias;
  } else {
    s += q.distinct ? " DISTINCT" : "";
    for (const QlReturnItem& item : q.returns) s += " " + item.variable + "." + item.property + " AS " + item.column;
  }
  return s + " LIMIT " + std::to_string(q.limit) + (q.has_limit ? "!" : "");
}

TEST(Parser, AcceptedShapes) {
  const std::pair<const char*, const char*> cases[] = {
      {"match (p:Person {id: 0})-[:FOLLOWS]->(x) return COUNT(*)",
       "(p:Person id=0/u)[FOLLOWS 1..1 out](x:) COUNT(*) AS count LIMIT 10000"},
      {"MATCH (a)-[:R*0..3]->(b) RETURN count(DISTINCT b)", "(a:)[R 0..3 out](b:) COUNT(DISTINCT b) AS count LIMIT 10000"},
      {"MATCH (a)-[:R*2]-(b) RETURN a.name AS n, b LIMIT 0;", "(a:)[R 2..2 both](b:) a.name AS n b. AS b LIMIT 0!"},
      {"MATCH (a)-[:R]->(b)<-[:S]-(c) WHERE a <> c AND b != c RETURN DISTINCT a.name",
       "(a:)[R 1..1 out](b:)[S 1..1 in](c:) a<>c b<>c DISTINCT a.name AS a.name LIMIT 10000"},
      {"MATCH (n {s: 'x', u: 18446744073709551615, i: -3, big: 18446744073709551616, f: 1.5e2, t: true, z: NULL, "
       "l: [1, [2, []]]}) RETURN count(n) AS total",
       "(n: big=1.8446744073709552e+19 f=150.0 i=-3/i l=[1,[2,[]]] s=\"x\" t=true u=18446744073709551615/u z=null) "
       "COUNT(n) AS total LIMIT 10000"},
      {"MATCH (`MATCH`:`odd label`)-[:`T T`*0]->(b) RETURN `MATCH`.`x y` LIMIT 10000",
       "(MATCH:odd label)[T T 0..0 out](b:) MATCH.x y AS MATCH.x y LIMIT 10000!"},
  };
  for (const auto& [text, parsed] : cases) EXPECT_EQ(parsed, render(parse_query(text))) << text;
  EXPECT_EQ("MATCH (a) RETURN a // trailing comment", parse_query("MATCH (a) RETURN a // trailing comment").text);
}

TEST(Parser, FailureMessagesAndLimits) {
  std::string chain = "MATCH (a)", exact = "MATCH (n) RETURN n";
  for (int i = 0; i < 16; ++i) chain += "-[:R]->()";
  exact += std::string(kMaxQueryBytes - exact.size(), ' ');
  const std::pair<std::string, std::string> cases[] = {
      {chain + " RETURN count(*)", ""}, {chain + "-[:R]->() RETURN count(*)", "pattern limit exceeded"},
      {nested_lists(16, "1"), ""}, {nested_lists(17, "1"), "property nesting limit exceeded"},
      {nested_lists(17, ""), ""}, {exact, ""}, {exact + " ", "query exceeds 64 KiB"},
      {std::string(70000, '\''), "query exceeds 64 KiB"},  // before any token
      {"", "query must start with MATCH"}, {"// only a comment", "query must start with MATCH"},
      {"MATCH (`a", "invalid quoted identifier"}, {"MATCH (``)", "invalid quoted identifier"},
      {"MATCH (n {x: 'a", "unterminated string"}, {"MATCH (n {x: 'a\\", "unterminated escape"},
      {"MATCH (n {x: 'a\\q'}) RETURN n", "unsupported string escape"}, {"MATCH (n", "expected ')', got ''"},
      {"MATCH (a)-[r:T]->(b) RETURN a", "expected ':', got 'r'"},
      {"MATCH (a)-->(b) RETURN a", "expected '[', got '->'"},
      {"MATCH (a)<-[:T]->(b) RETURN a", "expected '-', got '->'"},
      {"MATCH (a)-[:T>(b) RETURN a", "expected ']', got '>'"}, {"MATCH (a)-[:]->(b) RETURN a", "expected identifier"},
      {"MATCH (a)-[:R*]->(b) RETURN a", "expected hop count"},
      {"MATCH (a)-[:R*1..]->(b) RETURN a", "expected hop count"},
      {"MATCH (a)-[:R*1.5]->(b) RETURN a", "hop count must be an integer"},
      {"MATCH (a)-[:R*17]->(b) RETURN a", "hop count must be between 0 and 16"},
      {"MATCH (a)-[:R*-1]->(b) RETURN a", "hop count must be between 0 and 16"},
      {"MATCH (a)-[:R*3..1]->(b) RETURN a", "invalid hop range"},
      {"MATCH (n {x: 1, x: 2}) RETURN n", "duplicate property: x"},
      {"MATCH (n {x: 1, }) RETURN n", "expected identifier"}, {"MATCH (n {x 1}) RETURN n", "expected ':', got '1'"},
      {"MATCH (n {x: $id}) RETURN n", "expected a string, number, boolean, null, or array"},
      {"MATCH (n {x: {b: 1}}) RETURN n", "expected a string, number, boolean, null, or array"},
      {"MATCH (n {x: 01}) RETURN n", "invalid numeric literal"},
      {"MATCH (n {x: 1e400}) RETURN n", "invalid numeric literal"},
      {"MATCH (n {x: [1, 2}) RETURN n", "expected ']', got '}'"},
      {"MATCH (a) WHERE a = b RETURN a", "WHERE supports node-variable inequality only"},
      {"MATCH (a) WHERE a <> b RETURN a", "WHERE references an unknown variable"},
      {"MATCH (a), (b) RETURN a", "expected RETURN"},
      {"MATCH (a) RETURN count(DISTINCT *)", "count(DISTINCT *) is unsupported"},
      {"MATCH (a) RETURN count(*) LIMIT 5", "LIMIT is supported for row queries only"},
      {"MATCH (a) RETURN a LIMIT 10001", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT -1", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT '5'", "LIMIT must be between 0 and 10000"},
      {"MATCH (a) RETURN a LIMIT", "expected a string, number, boolean, null, or array"},
      {"MATCH (a) RETURN b ORDER BY b", "unsupported or unexpected clause: ORDER"},
      {"MATCH (a) RETURN a;;", "unsupported or unexpected clause: ;"},
      {"MATCH (a) RETURN b", "RETURN references an unknown variable"},
      {"MATCH (a) RETURN count(b)", "count references an unknown variable"},
      {"MATCH (a) RETURN count", "expected '(', got ''"}, {"MATCH (a) RETURN a.", "expected identifier"},
      // Found by fuzzing: a quoted name with bytes that are not UTF-8 made
      // the answer impossible to render as JSON.
      {"MATCH (a)-[:R*7]-(b) RETURN b.`od\xFF\x09`", "text is not valid UTF-8"},
      {"MATCH (a) RETURN a \xE9", "text is not valid UTF-8"},
      {"MATCH (a) RETURN a \xC3\xA9", "unsupported or unexpected clause: \xC3"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(message, error_of(text)) << text.substr(0, 80);
}

}  // namespace
}  // namespace orvane
