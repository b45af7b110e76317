// The query lexer: one token of lookahead over a statement text that it
// views but does not own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane {

enum class QlTokenKind { End = 0, Identifier = 1, Number = 2, String = 3, Symbol = 4 };

struct QlToken {
  QlTokenKind kind = QlTokenKind::End;
  std::string text;  // name (unquoted), number as written, string contents, or symbol
};

class QlLexer {
 public:
  // Views `text`, which must outlive the lexer; reads the first token.
  // Throws QlError for a malformed first token.
  explicit QlLexer(std::string_view text);

  const QlToken& current() const { return current_; }
  // Reads the next token into current(); End repeats at the end of input.
  // Throws QlError "invalid quoted identifier", "unterminated string",
  // "unterminated escape" or "unsupported string escape".
  void advance();

  // Symbol `s` as the current token: consume it and answer true.
  bool accept(std::string_view s);
  // As accept, else throws "expected 'S', got 'TEXT'".
  void expect(std::string_view s);
  // The current token is an identifier equal to `word` (ASCII upper-cased).
  bool is_keyword(std::string_view word) const;
  // Returns the current identifier's text and advances; throws "expected
  // identifier" for any other token.
  std::string expect_identifier();

 private:
  void skip_space_and_comments();
  std::string_view text_;
  std::size_t offset_ = 0;
  QlToken current_;
};

}  // namespace orvane
