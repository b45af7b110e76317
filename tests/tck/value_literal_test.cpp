// The value literal reader and the text forms of TckValue: every literal
// kind, its display text, the equality the matcher relies on, and the
// texts it refuses.
#include <gtest/gtest.h>

#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

TEST(ValueLiteral, ReadsEveryKindAndWritesItBack) {
  struct Case {
    const char* literal;
    const char* display;  // value_text in display mode
  };
  const std::vector<Case> cases = {
      {"null", "null"},
      {" true ", "true"},
      {"false", "false"},
      {"12", "12"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"1.5", "1.5"},
      {"1.0", "1.0"},
      {"-0.0", "-0.0"},
      {".5", "0.5"},
      {"1e3", "1000.0"},
      {"1.23456789e308", "1.23456789e+308"},
      {"NaN", "NaN"},
      {"Inf", "Infinity"},
      {"-Inf", "-Infinity"},
      {"-Infinity", "-Infinity"},
      {"'text'", "'text'"},
      {R"('it\'s')", R"('it\'s')"},
      {R"("dq")", "'dq'"},
      {R"('a\\b')", R"('a\\b')"},
      {R"('\u00e9\n')", "'\xc3\xa9\n'"},
      {"'🧐'", "'🧐'"},
      {"[]", "[]"},
      {"[1, 'a', [null]]", "[1, 'a', [null]]"},
      {"[true, false]", "[true, false]"},
      {"{}", "{}"},
      {"{b: 1, a: [2]}", "{a: [2], b: 1}"},
      {"{``: null, `a b`: 1}", "{``: null, `a b`: 1}"},
      {"()", "()"},
      {"(:B:A {name: 'x'})", "(:A:B {name: 'x'})"},
      {"(n:A)", "(:A)"},
      {"[:T]", "[:T]"},
      {"[r:T {k: 1.0}]", "[:T {k: 1.0}]"},
      {"[[:T]]", "[[:T]]"},
      {"<()>", "<()>"},
      {"<(:A)-[:T]->(:B)<-[:U]-()>", "<(:A)-[:T]->(:B)<-[:U]-()>"},
      {"[<(:A)-[:T]->(:B)>]", "[<(:A)-[:T]->(:B)>]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    const TckValue v = parse_value_literal(c.literal);
    EXPECT_EQ(c.display, value_text(v));
    EXPECT_TRUE(same_value(v, parse_value_literal(value_text(v))));
  }
}

TEST(ValueLiteral, KindsAreKeptApart) {
  EXPECT_EQ(TckValue::Kind::kInteger, parse_value_literal("1").kind);
  EXPECT_EQ(TckValue::Kind::kFloat, parse_value_literal("1.0").kind);
  EXPECT_EQ(TckValue::Kind::kRelationship, parse_value_literal("[:T]").kind);
  EXPECT_EQ(TckValue::Kind::kList, parse_value_literal("[true]").kind);
  EXPECT_FALSE(parse_value_literal("<(:A)-[:T]->(:B)>").items[1].forward == false);
  EXPECT_FALSE(parse_value_literal("<(:A)<-[:T]-(:B)>").items[1].forward);
}

TEST(ValueLiteral, Equality) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
    bool unordered_lists = false;
  };
  const std::vector<Case> cases = {
      {"1", "1.0", false},
      {"NaN", "NaN", true},
      {"-0.0", "0.0", true},
      {"0.1", "0.10000000000000001", true},
      {"0.1", "0.1000000000000001", false},
      {"'1'", "1", false},
      {"null", "'null'", false},
      {"[1, 2]", "[2, 1]", false},
      {"[1, 2]", "[2, 1]", true, true},
      {"[[1, 2], 3]", "[3, [2, 1]]", true, true},
      {"[1, 1, 2]", "[1, 2, 2]", false, true},
      {"{a: 1, b: 2}", "{b: 2, a: 1}", true},
      {"(:A:B {x: 1})", "(:B:A {x: 1})", true},
      {"(:A {x: 1})", "(:A {x: 1.0})", false},
      {"(:A)", "(:A {x: 1})", false},
      {"[:T {x: 1}]", "[:U {x: 1}]", false},
      {"<(:A)-[:T]->(:B)>", "<(:A)<-[:T]-(:B)>", false},
      {"<(:A)-[:T]->(:B)>", "<(:B)<-[:T]-(:A)>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(c.equal, same_value(parse_value_literal(c.a), parse_value_literal(c.b), c.unordered_lists));
  }
  EXPECT_TRUE(same_value(TckValue::of_typed("Date", "2015-07-21"), parse_value_literal("'2015-07-21'")));
}

TEST(ValueLiteral, RefusesWhatIsNoLiteral) {
  for (const char* bad : {"", "nul", "[1, 2", "{a 1}", "'open", "(:A", "[:T", "<(:A)-[:T]-(:B)>",
                          "<(:A)<-[:T]->(:B)>", "1 2", "99999999999999999999", "1e", "n.name", "-"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(parse_value_literal(bad), LiteralError);
  }
}

}  // namespace
}  // namespace orvane::tck
