// The Cypher lexer (see lexer.h).
//
// Words: a letter, "_" or any code point outside ASCII that is not
// punctuation, a symbol or a space starts a word; digits may follow. We
// carry no Unicode tables, so "letter" outside ASCII means "not in one of
// the punctuation, symbol and space blocks listed in classify()". That
// accepts every name a user writes in a natural language and still rejects
// the look-alike operators ("—" for "-") as InvalidUnicodeCharacter.
//
// Numbers: decimal, 0x hexadecimal, 0o octal and the older octal form with
// a leading 0 ("017"), which Neo4j 5 still reads. A "." belongs to a number
// only when a digit follows, so "1..3" is 1, "..", 3 (a range in "*1..3"
// and a slice in "l[1..3]"). Digits running straight into letters make a
// kBadNumber token.
//
// Strings: '...' or "...", escapes \t \b \n \r \f \' \" \\ \uXXXX and
// \UXXXXXXXX; a \u pair of surrogates joins into one code point.
#include "query/parse/lexer.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "graph/utf8.h"

namespace orvane {

namespace {

enum class CharClass { kWord, kSpace, kOther };

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// Decodes the code point at `at`, setting `length` (0 when the bytes there
// are not UTF-8).
char32_t decode(std::string_view text, std::size_t at, std::size_t& length) {
  length = utf8_sequence_length(text, at);
  if (length == 0) return 0;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  if (length == 1) return byte(0);
  char32_t cp = byte(0) & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) cp = (cp << 6) | (byte(i) & 0x3F);
  return cp;
}

// Classifies a code point above ASCII (see the design note).
CharClass classify(char32_t cp) {
  if (cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 ||
      cp == 0x202F || cp == 0x205F || cp == 0x3000 || cp == 0xFEFF)
    return CharClass::kSpace;
  if (cp >= 0xA1 && cp <= 0xBF) return (cp == 0xAA || cp == 0xB5 || cp == 0xBA) ? CharClass::kWord : CharClass::kOther;
  if (cp == 0xD7 || cp == 0xF7) return CharClass::kOther;
  if ((cp >= 0x2000 && cp <= 0x2BFF) || (cp >= 0x2E00 && cp <= 0x2E7F) || (cp >= 0x3000 && cp <= 0x303F) ||
      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF01 && cp <= 0xFF0F) || (cp >= 0xFF1A && cp <= 0xFF20) ||
      (cp >= 0x1F000 && cp <= 0x1FAFF))
    return CharClass::kOther;
  return CharClass::kWord;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

CypherToken fault(std::size_t offset, std::size_t end, std::string text, std::string detail, std::string message = "") {
  CypherToken t;
  t.kind = CypherTokenKind::kInvalid;
  t.offset = offset;
  t.end = end;
  t.text = std::move(text);
  t.detail = std::move(detail);
  t.message = std::move(message);
  return t;
}

// The operators and punctuation, longest first where one is a prefix of another.
constexpr std::string_view kSymbols[] = {"<>", "!=", "<=", ">=", "=~", "+=", "..", "=", "<", ">", "+", "-",
                                         "*",  "/",  "%",  "^",  ".",  ":",  "|",  ",", "(", ")", "[", "]",
                                         "{",  "}",  ";",  "&", "!"};

// True when the character at `at` continues a word; sets its byte `length`.
bool word_character(std::string_view text, std::size_t at, std::size_t& length) {
  char c = text[at];
  if (static_cast<unsigned char>(c) < 0x80) {
    length = 1;
    return is_ascii_letter(c) || is_digit(c) || c == '_';
  }
  char32_t cp = decode(text, at, length);
  return length != 0 && classify(cp) == CharClass::kWord;
}

}  // namespace

void CypherLexer::skip_space_and_comments(CypherToken& problem) {
  while (at_ < text_.size()) {
    char c = text_[at_];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      ++at_;
    } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
      while (at_ < text_.size() && text_[at_] != '\n') ++at_;
    } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '*') {
      std::size_t close = text_.find("*/", at_ + 2);
      if (close == std::string_view::npos) {
        problem = fault(at_, text_.size(), "/*", "UnexpectedSyntax", "Unterminated comment: expected '*/'");
        at_ = text_.size();
        return;
      }
      at_ = close + 2;
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      std::size_t length = 0;
      char32_t cp = decode(text_, at_, length);
      if (length == 0 || classify(cp) != CharClass::kSpace) return;
      at_ += length;
    } else {
      return;
    }
  }
}

CypherToken CypherLexer::next() {
  CypherToken token;
  token.offset = token.end = text_.size();
  if (done_) return token;
  skip_space_and_comments(token);
  if (token.kind == CypherTokenKind::kInvalid || at_ >= text_.size()) {
    done_ = true;
    return token;
  }
  std::size_t start = at_;
  char c = text_[at_];
  if (is_digit(c) || (c == '.' && at_ + 1 < text_.size() && is_digit(text_[at_ + 1]))) {
    token = number();
  } else if (c == '\'' || c == '"') {
    token = string_literal();
  } else if (c == '`') {
    token = quoted_identifier(start);
  } else if (c == '$') {
    ++at_;
    if (at_ < text_.size() && text_[at_] == '`') {
      token = quoted_identifier(at_);
    } else {
      token = word(at_);
    }
    if (token.kind == CypherTokenKind::kIdentifier || token.kind == CypherTokenKind::kQuotedIdentifier) {
      token.kind = CypherTokenKind::kParameter;
    } else if (token.kind != CypherTokenKind::kInvalid) {
      token = fault(start, start + 1, "$", "UnexpectedSyntax");
    }
    token.offset = start;
  } else {
    std::size_t length = 0;
    if (word_character(text_, at_, length)) {
      token = word(start);
    } else {
      token = symbol();
    }
  }
  if (token.kind == CypherTokenKind::kInvalid || token.kind == CypherTokenKind::kBadNumber) done_ = true;
  return token;
}

CypherToken CypherLexer::word(std::size_t start) {
  at_ = start;
  std::size_t length = 0;
  while (at_ < text_.size() && word_character(text_, at_, length)) at_ += length;
  if (at_ == start) {
    // "$" followed by no name: let the caller report it.
    CypherToken empty;
    empty.kind = CypherTokenKind::kSymbol;
    empty.offset = empty.end = start;
    return empty;
  }
  CypherToken t;
  t.kind = CypherTokenKind::kIdentifier;
  t.offset = start;
  t.end = at_;
  t.text = std::string(text_.substr(start, at_ - start));
  return t;
}

CypherToken CypherLexer::quoted_identifier(std::size_t start) {
  CypherToken t;
  t.kind = CypherTokenKind::kQuotedIdentifier;
  t.offset = start;
  at_ = start + 1;
  while (true) {
    if (at_ >= text_.size()) {
      return fault(start, text_.size(), "`", "UnexpectedSyntax", "Unterminated quoted name: expected '`'");
    }
    if (text_[at_] == '`') {
      if (at_ + 1 < text_.size() && text_[at_ + 1] == '`') {
        t.text += '`';
        at_ += 2;
        continue;
      }
      ++at_;
      break;
    }
    t.text += text_[at_++];
  }
  t.end = at_;
  return t;
}

CypherToken CypherLexer::number() {
  std::size_t start = at_;
  CypherToken t;
  t.offset = start;
  auto bad_number = [&]() {
    std::size_t length = 0;
    while (at_ < text_.size() && word_character(text_, at_, length)) at_ += length;
    t.kind = CypherTokenKind::kBadNumber;
    t.end = at_;
    t.text = std::string(text_.substr(start, at_ - start));
    return t;
  };
  auto followed_by_word = [&]() {
    std::size_t length = 0;
    return at_ < text_.size() && word_character(text_, at_, length);
  };
  // Accumulates digits of `base` into t.magnitude, flagging values above 2^63.
  auto digits = [&](int base) {
    std::size_t first = at_;
    while (at_ < text_.size()) {
      char c = text_[at_];
      int digit = is_hex_digit(c) ? hex_value(c) : 99;
      if (digit >= base) break;
      if (t.magnitude > (UINT64_C(1) << 63) / base) {
        t.overflow = true;
      } else {
        t.magnitude = t.magnitude * base + digit;
        if (t.magnitude > (UINT64_C(1) << 63)) t.overflow = true;
      }
      ++at_;
    }
    return at_ > first;
  };

  if (text_[at_] == '0' && at_ + 1 < text_.size() && (text_[at_ + 1] == 'x' || text_[at_ + 1] == 'X' ||
                                                       text_[at_ + 1] == 'o' || text_[at_ + 1] == 'O')) {
    int base = (text_[at_ + 1] | 0x20) == 'x' ? 16 : 8;
    at_ += 2;
    if (!digits(base) || followed_by_word()) return bad_number();
    t.kind = CypherTokenKind::kInteger;
  } else {
    bool integer = true;
    while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
    if (at_ + 1 < text_.size() && text_[at_] == '.' && is_digit(text_[at_ + 1])) {
      integer = false;
      ++at_;
      while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      std::size_t mark = at_ + 1;
      if (mark < text_.size() && (text_[mark] == '+' || text_[mark] == '-')) ++mark;
      if (mark >= text_.size() || !is_digit(text_[mark])) {
        at_ = mark;
        return bad_number();
      }
      integer = false;
      at_ = mark;
      while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
    }
    if (followed_by_word()) return bad_number();
    std::string written(text_.substr(start, at_ - start));
    if (integer) {
      t.kind = CypherTokenKind::kInteger;
      std::size_t end = at_;
      at_ = start;
      // A leading 0 followed by more digits is the older octal form.
      int base = (written.size() > 1 && written[0] == '0') ? 8 : 10;
      if (base == 8) ++at_;
      digits(base);
      if (at_ != end) {
        at_ = end;
        return bad_number();  // "09": not octal, and not decimal either
      }
    } else {
      t.kind = CypherTokenKind::kFloat;
      t.float_value = std::strtod(written.c_str(), nullptr);
    }
  }
  t.end = at_;
  t.text = std::string(text_.substr(start, at_ - start));
  return t;
}

CypherToken CypherLexer::string_literal() {
  std::size_t start = at_;
  char quote = text_[at_++];
  CypherToken t;
  t.kind = CypherTokenKind::kString;
  t.offset = start;
  auto unterminated = [&]() {
    return fault(start, text_.size(), std::string(1, quote), "UnexpectedSyntax",
                 std::string("Unterminated string: expected a closing ") + quote);
  };
  // Reads `count` hex digits after a \u or \U at `escape`; answers the code
  // point or, through `bad`, the fault token.
  auto hex_escape = [&](std::size_t escape, int count, CypherToken& bad) -> std::optional<char32_t> {
    char32_t cp = 0;
    for (int i = 0; i < count; ++i) {
      std::size_t at = escape + 2 + i;
      if (at >= text_.size() || !is_hex_digit(text_[at])) {
        std::size_t stop = at < text_.size() && text_[at] != quote ? at + 1 : at;
        bad = fault(escape, stop, std::string(text_.substr(escape, stop - escape)), "InvalidUnicodeLiteral",
                    std::string("Invalid input '") + std::string(text_.substr(escape, stop - escape)) +
                        "': expected " + (count == 4 ? "four" : "eight") +
                        " hexadecimal digits specifying a unicode character");
        return std::nullopt;
      }
      cp = cp * 16 + hex_value(text_[at]);
    }
    return cp;
  };
  while (true) {
    if (at_ >= text_.size()) return unterminated();
    char c = text_[at_];
    if (c == quote) {
      ++at_;
      break;
    }
    if (c != '\\') {
      t.text += c;
      ++at_;
      continue;
    }
    if (at_ + 1 >= text_.size()) return unterminated();
    std::size_t escape = at_;
    char e = text_[at_ + 1];
    switch (e) {
      case 't': t.text += '\t'; at_ += 2; continue;
      case 'b': t.text += '\b'; at_ += 2; continue;
      case 'n': t.text += '\n'; at_ += 2; continue;
      case 'r': t.text += '\r'; at_ += 2; continue;
      case 'f': t.text += '\f'; at_ += 2; continue;
      case '\'': t.text += '\''; at_ += 2; continue;
      case '"': t.text += '"'; at_ += 2; continue;
      case '\\': t.text += '\\'; at_ += 2; continue;
      case 'u':
      case 'U': {
        CypherToken bad;
        int count = e == 'u' ? 4 : 8;
        std::optional<char32_t> cp = hex_escape(escape, count, bad);
        if (!cp) return bad;
        at_ = escape + 2 + count;
        if (*cp >= 0xD800 && *cp <= 0xDBFF && at_ + 1 < text_.size() && text_[at_] == '\\' &&
            text_[at_ + 1] == 'u') {
          std::optional<char32_t> low = hex_escape(at_, 4, bad);
          if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
            cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
            at_ += 6;
          }
        }
        if ((*cp >= 0xD800 && *cp <= 0xDFFF) || *cp > 0x10FFFF) {
          std::string written(text_.substr(escape, at_ - escape));
          return fault(escape, at_, written, "InvalidUnicodeLiteral",
                       "Invalid input '" + written + "': not a unicode character");
        }
        append_utf8(t.text, *cp);
        continue;
      }
      default: {
        std::size_t length = 1;
        if (static_cast<unsigned char>(e) >= 0x80) decode(text_, at_ + 1, length);
        std::string written(text_.substr(escape, 1 + std::max<std::size_t>(length, 1)));
        return fault(escape, escape + written.size(), written, "UnexpectedSyntax",
                     "Invalid input '" + written +
                         "': expected an escape sequence (\\t, \\b, \\n, \\r, \\f, \\', \\\", \\\\, \\uXXXX or "
                         "\\UXXXXXXXX)");
      }
    }
  }
  t.end = at_;
  return t;
}

CypherToken CypherLexer::symbol() {
  std::size_t start = at_;
  for (std::string_view s : kSymbols) {
    if (text_.substr(at_, s.size()) == s) {
      at_ += s.size();
      CypherToken t;
      t.kind = CypherTokenKind::kSymbol;
      t.offset = start;
      t.end = at_;
      t.text = std::string(s);
      return t;
    }
  }
  std::size_t length = 0;
  char32_t cp = decode(text_, at_, length);
  if (length == 0) length = 1;
  std::string written(text_.substr(at_, length));
  at_ += length;
  return fault(start, at_, written, cp >= 0x80 ? "InvalidUnicodeCharacter" : "UnexpectedSyntax");
}

std::vector<CypherToken> tokenize_cypher(std::string_view text) {
  CypherLexer lexer(text);
  std::vector<CypherToken> tokens;
  while (true) {
    tokens.push_back(lexer.next());
    if (tokens.back().kind == CypherTokenKind::kEnd) break;
  }
  return tokens;
}

}  // namespace orvane
