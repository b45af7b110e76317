// Query lexer.
//
// A token is decided by its first character, tested in this order: letter
// or '_' (identifier), back-quote (quoted identifier, `` for a back-quote),
// digit or '-' followed by a digit (number, as written; "1..3" is 1 .. 3),
// quote character (string with \n \r \t \" \' \\ escapes), anything else (a
// symbol: "<-", "->", "<>", ".." and "!=" are the two-character ones).
// White space and // comments are skipped before every token.
#include "query/lexer.h"

#include "query/ql_error.h"

namespace orvane {
namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

QlLexer::QlLexer(std::string_view text) : text_(text) { advance(); }

void QlLexer::skip_space_and_comments() {
  for (;;) {
    while (offset_ < text_.size() && is_space(text_[offset_])) ++offset_;
    if (offset_ + 1 < text_.size() && text_[offset_] == '/' && text_[offset_ + 1] == '/') {
      while (offset_ < text_.size() && text_[offset_] != '\n') ++offset_;
      continue;
    }
    return;
  }
}

void QlLexer::advance() {
  skip_space_and_comments();
  current_.text.clear();
  const std::size_t n = text_.size();
  if (offset_ >= n) {
    current_.kind = QlTokenKind::End;
    return;
  }
  const char c = text_[offset_];
  if (is_letter(c)) {
    const std::size_t start = offset_;
    while (offset_ < n && (is_letter(text_[offset_]) || is_digit(text_[offset_]))) ++offset_;
    current_.kind = QlTokenKind::Identifier;
    current_.text.assign(text_.substr(start, offset_ - start));
    return;
  }
  if (c == '`') {
    ++offset_;
    std::string name;
    for (;;) {
      if (offset_ >= n) throw QlError("invalid quoted identifier");
      if (text_[offset_] == '`') {
        if (offset_ + 1 < n && text_[offset_ + 1] == '`') {
          name += '`';
          offset_ += 2;
          continue;
        }
        ++offset_;
        break;
      }
      name += text_[offset_++];
    }
    if (name.empty()) throw QlError("invalid quoted identifier");
    current_.kind = QlTokenKind::Identifier;
    current_.text = std::move(name);
    return;
  }
  if (is_digit(c) || (c == '-' && offset_ + 1 < n && is_digit(text_[offset_ + 1]))) {
    const std::size_t start = offset_;
    if (c == '-') ++offset_;
    while (offset_ < n && is_digit(text_[offset_])) ++offset_;
    if (offset_ < n && text_[offset_] == '.' && !(offset_ + 1 < n && text_[offset_ + 1] == '.')) {
      ++offset_;
      while (offset_ < n && is_digit(text_[offset_])) ++offset_;
    }
    if (offset_ < n && (text_[offset_] == 'e' || text_[offset_] == 'E')) {
      ++offset_;
      if (offset_ < n && (text_[offset_] == '+' || text_[offset_] == '-')) ++offset_;
      while (offset_ < n && is_digit(text_[offset_])) ++offset_;
    }
    current_.kind = QlTokenKind::Number;
    current_.text.assign(text_.substr(start, offset_ - start));
    return;
  }
  if (c == '\'' || c == '"') {
    ++offset_;
    std::string value;
    for (;;) {
      if (offset_ >= n) throw QlError("unterminated string");
      const char d = text_[offset_++];
      if (d == c) break;
      if (d != '\\') {
        value += d;
        continue;
      }
      if (offset_ >= n) throw QlError("unterminated escape");
      const char e = text_[offset_++];
      switch (e) {
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case '"': case '\'': case '\\': value += e; break;
        default: throw QlError("unsupported string escape");
      }
    }
    current_.kind = QlTokenKind::String;
    current_.text = std::move(value);
    return;
  }
  current_.kind = QlTokenKind::Symbol;
  if (offset_ + 1 < n) {
    const std::string_view two = text_.substr(offset_, 2);
    if (two == "<-" || two == "->" || two == "<>" || two == ".." || two == "!=") {
      current_.text.assign(two);
      offset_ += 2;
      return;
    }
  }
  current_.text.assign(1, c);
  ++offset_;
}

bool QlLexer::accept(std::string_view s) {
  if (current_.kind != QlTokenKind::Symbol || current_.text != s) return false;
  advance();
  return true;
}

void QlLexer::expect(std::string_view s) {
  if (!accept(s)) throw QlError("expected '" + std::string(s) + "', got '" + current_.text + "'");
}

bool QlLexer::is_keyword(std::string_view word) const {
  if (current_.kind != QlTokenKind::Identifier || current_.text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char ch = current_.text[i];
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    if (ch != word[i]) return false;
  }
  return true;
}

std::string QlLexer::expect_identifier() {
  if (current_.kind != QlTokenKind::Identifier) throw QlError("expected identifier");
  std::string name = current_.text;
  advance();
  return name;
}

}  // namespace orvane
