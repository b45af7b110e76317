// The focus of this file is the Cypher lexer: which tokens a text makes,
// their byte ranges, literal values, and the fault tokens it leaves for the
// parser to report.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "query/parse/lexer.h"

namespace orvane {
namespace {

// "kind:text@offset-end" for every token but the final kEnd.
std::string tokens_of(std::string_view text) {
  static const char* const kKinds[] = {"end", "word", "quoted", "int", "float", "string", "param", "sym", "badnum",
                                       "invalid"};
  std::string out;
  for (const CypherToken& t : tokenize_cypher(text)) {
    if (t.kind == CypherTokenKind::kEnd) break;
    if (!out.empty()) out += " ";
    out += std::string(kKinds[static_cast<int>(t.kind)]) + ":" + t.text + "@" + std::to_string(t.offset) + "-" +
           std::to_string(t.end);
  }
  return out;
}

TEST(CypherLexer, SplitsTextIntoTokensWithByteRanges) {
  struct Case {
    std::string_view text, expected;
  } cases[] = {
      {"MATCH (n)", "word:MATCH@0-5 sym:(@6-7 word:n@7-8 sym:)@8-9"},
      {"a<>b!=c<=d>=e=~f+=g", "word:a@0-1 sym:<>@1-3 word:b@3-4 sym:!=@4-6 word:c@6-7 sym:<=@7-9 word:d@9-10 "
                              "sym:>=@10-12 word:e@12-13 sym:=~@13-15 word:f@15-16 sym:+=@16-18 word:g@18-19"},
      {"(a)<-[r]->(b)", "sym:(@0-1 word:a@1-2 sym:)@2-3 sym:<@3-4 sym:-@4-5 sym:[@5-6 word:r@6-7 sym:]@7-8 "
                        "sym:-@8-9 sym:>@9-10 sym:(@10-11 word:b@11-12 sym:)@12-13"},
      {"*1..3", "sym:*@0-1 int:1@1-2 sym:..@2-4 int:3@4-5"},
      {"l[..2]", "word:l@0-1 sym:[@1-2 sym:..@2-4 int:2@4-5 sym:]@5-6"},
      {"$name $0 $`a b`", "param:name@0-5 param:0@6-8 param:a b@9-15"},
      {"`a``b` _x1 été", "quoted:a`b@0-6 word:_x1@7-10 word:été@11-16"},
      {"a // note\nb /* block\n */ c", "word:a@0-1 word:b@10-11 word:c@25-26"},
      {"a\u00a0b", "word:a@0-1 word:b@3-4"},  // a no-break space separates words
      {"{k: 1}, x % y ^ z | w; n.p", "sym:{@0-1 word:k@1-2 sym::@2-3 int:1@4-5 sym:}@5-6 sym:,@6-7 word:x@8-9 "
                                     "sym:%@10-11 word:y@12-13 sym:^@14-15 word:z@16-17 sym:|@18-19 word:w@20-21 "
                                     "sym:;@21-22 word:n@23-24 sym:.@24-25 word:p@25-26"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.expected, tokens_of(c.text));
  }
}

TEST(CypherLexer, ReadsNumberLiteralsInEveryBase) {
  struct Case {
    std::string_view text;
    std::uint64_t magnitude;
  } integers[] = {{"0", 0},           {"42", 42},   {"0x1F", 31}, {"0XfF", 255},
                  {"0o17", 15},       {"017", 15},  {"00", 0},    {"9223372036854775808", UINT64_C(9223372036854775808)},
                  {"0x7FFFFFFFFFFFFFFF", UINT64_C(9223372036854775807)}};
  for (const auto& c : integers) {
    SCOPED_TRACE(c.text);
    auto tokens = tokenize_cypher(c.text);
    ASSERT_EQ(CypherTokenKind::kInteger, tokens[0].kind);
    EXPECT_EQ(c.magnitude, tokens[0].magnitude);
    EXPECT_FALSE(tokens[0].overflow);
  }
  EXPECT_TRUE(tokenize_cypher("9223372036854775809")[0].overflow);
  EXPECT_TRUE(tokenize_cypher("99999999999999999999999")[0].overflow);

  struct FloatCase {
    std::string_view text;
    double value;
  } floats[] = {{"1.5", 1.5}, {".5", 0.5}, {"1e3", 1000}, {"1.5e-3", 0.0015}, {"2E+2", 200}};
  for (const auto& c : floats) {
    SCOPED_TRACE(c.text);
    auto tokens = tokenize_cypher(c.text);
    ASSERT_EQ(CypherTokenKind::kFloat, tokens[0].kind);
    EXPECT_DOUBLE_EQ(c.value, tokens[0].float_value);
  }
  EXPECT_TRUE(std::isinf(tokenize_cypher("1.34E999")[0].float_value));
}

TEST(CypherLexer, MalformedNumbersBecomeOneBadNumberToken) {
  for (std::string_view text : {"0x", "0x1g", "12abc", "1e", "1.5e+", "09", "0o8"}) {
    SCOPED_TRACE(text);
    auto tokens = tokenize_cypher(text);
    ASSERT_EQ(2u, tokens.size());
    EXPECT_EQ(CypherTokenKind::kBadNumber, tokens[0].kind);
    EXPECT_EQ(text, tokens[0].text);
  }
}

TEST(CypherLexer, ResolvesStringEscapes) {
  struct Case {
    std::string_view text, value;
  } cases[] = {
      {R"('a\tb\bc\nd\re\ff')", "a\tb\bc\nd\re\ff"},
      {R"('it\'s' )", "it's"},
      {R"("say \"hi\"")", "say \"hi\""},
      {R"('back\\slash')", "back\\slash"},
      {R"('\u00e9\U0001F600')", "é😀"},
      {R"('\uD83D\uDE00')", "😀"},  // a surrogate pair joins into one character
      {R"("it's")", "it's"},
      {"'multi\nline'", "multi\nline"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto tokens = tokenize_cypher(c.text);
    ASSERT_EQ(CypherTokenKind::kString, tokens[0].kind);
    EXPECT_EQ(c.value, tokens[0].text);
  }
}

TEST(CypherLexer, FaultsCarryTheirDetailAndStopTheLexer) {
  struct Case {
    std::string_view text, detail, fault_text;
    std::size_t offset;
  } cases[] = {
      {"RETURN '\\uH'", "InvalidUnicodeLiteral", "\\uH", 8},
      {"RETURN '\\uDC00'", "InvalidUnicodeLiteral", "\\uDC00", 8},
      {"RETURN '\\q'", "UnexpectedSyntax", "\\q", 8},
      {"RETURN 'open", "UnexpectedSyntax", "'", 7},
      {"RETURN `open", "UnexpectedSyntax", "`", 7},
      {"a /* open", "UnexpectedSyntax", "/*", 2},
      {"1 # 2", "UnexpectedSyntax", "#", 2},
      {"42 \u2014 41", "InvalidUnicodeCharacter", "\u2014", 3},
      {"$ x", "UnexpectedSyntax", "$", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto tokens = tokenize_cypher(c.text);
    ASSERT_GE(tokens.size(), 2u);
    const CypherToken& fault = tokens[tokens.size() - 2];
    EXPECT_EQ(CypherTokenKind::kInvalid, fault.kind);
    EXPECT_EQ(c.detail, fault.detail);
    EXPECT_EQ(c.fault_text, fault.text);
    EXPECT_EQ(c.offset, fault.offset);
    EXPECT_EQ(CypherTokenKind::kEnd, tokens.back().kind);
  }
}

}  // namespace
}  // namespace orvane
