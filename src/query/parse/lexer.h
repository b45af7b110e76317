// The Cypher lexer: statement text in, a list of tokens out, each with the
// byte range it covers.
//
// The lexer never throws. A malformed piece of text (a stray character, a
// bad escape, a number with letters in it) becomes one error token, and the
// lexer stops after it: the parser reports it when it reaches it, because
// only the parser knows what was expected there. That order matters for the
// TCK: "{1B2c3e67: 1}" is unexpected syntax (a key was expected), while
// "RETURN 9223372h54775808" is an invalid number literal.
//
// Keywords are not a token kind: every word is an identifier, and the
// parser compares words case-insensitively where it expects a keyword,
// because Cypher lets most keywords serve as names too ("MATCH (end)").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class CypherTokenKind : std::uint8_t {
  kEnd,               // end of the statement; always the last token
  kIdentifier,        // a word: letters, digits, "_"; text is the word
  kQuotedIdentifier,  // `...`: text is the name with `` resolved
  kInteger,           // magnitude holds the value (the sign is the parser's)
  kFloat,             // float_value holds the value
  kString,            // '...' or "...": text is the value, escapes resolved
  kParameter,         // $name or $0: text is the name without "$"
  kSymbol,            // an operator or punctuation: text is the symbol
  kBadNumber,         // digits running into letters, "0x" without digits, ...
  kInvalid,           // anything else the lexer cannot read; see CypherToken
};

struct CypherToken {
  CypherTokenKind kind = CypherTokenKind::kEnd;
  std::size_t offset = 0;  // first byte in the statement
  std::size_t end = 0;     // one past the last byte
  std::string text;        // see CypherTokenKind
  std::uint64_t magnitude = 0;  // kInteger: the value without sign
  bool overflow = false;        // kInteger: above 2^63, too large with either sign
  double float_value = 0;       // kFloat; infinite when the literal is too large

  // kInvalid only: the TCK detail code, and a message of its own for faults
  // inside a token (a bad escape); when `message` is empty the parser reports
  // "Invalid input 'TEXT': expected ...". Offset points at the fault.
  std::string detail;
  std::string message;
};

// Reads one statement's tokens in order. The text must outlive the lexer.
class CypherLexer {
 public:
  explicit CypherLexer(std::string_view text) : text_(text) {}

  // The next token. After kEnd, kBadNumber or kInvalid it answers kEnd
  // forever: nothing after a lexical fault is read.
  CypherToken next();

 private:
  void skip_space_and_comments(CypherToken& fault);
  CypherToken number();
  CypherToken string_literal();
  CypherToken quoted_identifier(std::size_t start);
  CypherToken word(std::size_t start);
  CypherToken symbol();

  std::string_view text_;
  std::size_t at_ = 0;
  bool done_ = false;
};

// Every token of `text`, ending with kEnd (or with the first fault, then kEnd).
std::vector<CypherToken> tokenize_cypher(std::string_view text);

}  // namespace orvane
