// A recursive-descent reader of the value literal syntax (see the header).
// It works on bytes: strings are copied through unchanged except for their
// escapes, so UTF-8 text needs no decoding here.
#include "tck/value_literal.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace orvane::tck {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  TckValue whole() {
    TckValue v = value();
    blanks();
    if (i_ != s_.size()) fail("end of value");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& expected) const {
    throw LiteralError("value literal: expected " + expected + " at offset " + std::to_string(i_) + " in: " +
                       std::string(s_));
  }

  void blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }

  bool at(char c) {
    blanks();
    return i_ < s_.size() && s_[i_] == c;
  }

  bool at_text(std::string_view word) {
    blanks();
    return s_.substr(i_, word.size()) == word;
  }

  void expect(char c) {
    if (!at(c)) fail(std::string("'") + c + "'");
    ++i_;
  }

  bool accept(char c) {
    if (!at(c)) return false;
    ++i_;
    return true;
  }

  // A keyword only when no identifier character follows ("nullable" is not null).
  bool accept_word(std::string_view word) {
    if (!at_text(word)) return false;
    const std::size_t after = i_ + word.size();
    if (after < s_.size() && is_name_char(s_[after])) return false;
    i_ = after;
    return true;
  }

  static bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  }

  TckValue value() {
    blanks();
    if (i_ >= s_.size()) fail("a value");
    const char c = s_[i_];
    if (c == '\'' || c == '"') return TckValue::of_string(string_literal());
    if (c == '[') return list_or_relationship();
    if (c == '{') return TckValue::of_map(map_body());
    if (c == '(') return node();
    if (c == '<') return path();
    if (accept_word("null")) return TckValue::null();
    if (accept_word("true")) return TckValue::of_bool(true);
    if (accept_word("false")) return TckValue::of_bool(false);
    if (accept_word("NaN")) return TckValue::of_float(std::numeric_limits<double>::quiet_NaN());
    if (accept_word("Infinity") || accept_word("Inf")) return TckValue::of_float(HUGE_VAL);
    if (c == '-' && (s_.substr(i_ + 1, 3) == "Inf")) {
      ++i_;
      if (accept_word("Infinity") || accept_word("Inf")) return TckValue::of_float(-HUGE_VAL);
      fail("Inf");
    }
    return number();
  }

  TckValue number() {
    const std::size_t begin = i_;
    std::size_t j = i_;
    if (j < s_.size() && (s_[j] == '-' || s_[j] == '+')) ++j;
    bool digits = false;
    bool is_float = false;
    while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) ++j, digits = true;
    if (j < s_.size() && s_[j] == '.') {
      is_float = true;
      ++j;
      while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) ++j, digits = true;
    }
    if (!digits) fail("a value");
    if (j < s_.size() && (s_[j] == 'e' || s_[j] == 'E')) {
      is_float = true;
      ++j;
      if (j < s_.size() && (s_[j] == '-' || s_[j] == '+')) ++j;
      if (j >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[j]))) fail("exponent digits");
      while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) ++j;
    }
    std::string token(s_.substr(begin, j - begin));
    i_ = j;
    if (!token.empty() && token[0] == '+') token.erase(0, 1);
    if (is_float) {
      // strtod rather than from_chars: it takes ".5" and "-.5" as written.
      return TckValue::of_float(std::strtod(token.c_str(), nullptr));
    }
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), n);
    if (ec != std::errc() || end != token.data() + token.size()) fail("an integer within 64 bits");
    return TckValue::of_int(n);
  }

  std::string string_literal() {
    const char quote = s_[i_++];
    std::string out;
    while (true) {
      if (i_ >= s_.size()) fail("closing quote");
      const char c = s_[i_++];
      if (c == quote) return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) fail("escaped character");
      const char e = s_[i_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': out += unicode_escape(); break;
        default: out += e; break;  // \\ \' \" and anything else stand for themselves
      }
    }
  }

  // \uXXXX as UTF-8 (code points of the basic plane are all the suite writes).
  std::string unicode_escape() {
    if (i_ + 4 > s_.size()) fail("four hex digits");
    unsigned code = 0;
    const auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, code, 16);
    if (ec != std::errc() || end != s_.data() + i_ + 4) fail("four hex digits");
    i_ += 4;
    std::string out;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
  }

  std::string name() {
    blanks();
    if (i_ < s_.size() && s_[i_] == '`') {
      ++i_;
      std::string out;
      while (true) {
        if (i_ >= s_.size()) fail("closing backtick");
        const char c = s_[i_++];
        if (c != '`') {
          out += c;
        } else if (i_ < s_.size() && s_[i_] == '`') {
          out += '`';
          ++i_;
        } else {
          return out;
        }
      }
    }
    const std::size_t begin = i_;
    while (i_ < s_.size() && is_name_char(s_[i_])) ++i_;
    if (i_ == begin) fail("a name");
    return std::string(s_.substr(begin, i_ - begin));
  }

  std::map<std::string, TckValue> map_body() {
    expect('{');
    std::map<std::string, TckValue> entries;
    if (accept('}')) return entries;
    do {
      std::string key = name();
      expect(':');
      entries[std::move(key)] = value();
    } while (accept(','));
    expect('}');
    return entries;
  }

  // An optional variable name before the labels or type.
  void skip_variable() {
    blanks();
    if (i_ < s_.size() && (is_name_char(s_[i_]) || s_[i_] == '`')) name();
  }

  TckValue node() {
    expect('(');
    TckValue v;
    v.kind = TckValue::Kind::kNode;
    skip_variable();
    while (accept(':')) v.labels.push_back(name());
    if (at('{')) v.entries = map_body();
    expect(')');
    return v;
  }

  TckValue relationship_body() {
    TckValue v;
    v.kind = TckValue::Kind::kRelationship;
    skip_variable();
    expect(':');
    v.type = name();
    if (at('{')) v.entries = map_body();
    expect(']');
    return v;
  }

  // '[' opens a list, or a relationship when a ':' (after an optional
  // variable) comes first.
  TckValue list_or_relationship() {
    expect('[');
    const std::size_t after_bracket = i_;
    blanks();
    if (at(':')) return relationship_body();
    if (i_ < s_.size() && (std::isalpha(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) {
      const std::size_t save = i_;
      name();
      const bool rel = at(':');
      i_ = save;
      if (rel) return relationship_body();
    }
    i_ = after_bracket;
    std::vector<TckValue> items;
    if (!accept(']')) {
      do items.push_back(value());
      while (accept(','));
      expect(']');
    }
    return TckValue::of_list(std::move(items));
  }

  TckValue path() {
    expect('<');
    TckValue v;
    v.kind = TckValue::Kind::kPath;
    v.items.push_back(node());
    while (!accept('>')) {
      const bool backward = accept('<');
      expect('-');
      expect('[');
      TckValue rel = relationship_body();
      expect('-');
      const bool forward = accept('>');
      if (forward == backward) fail("one direction for the relationship");
      rel.forward = forward;
      v.items.push_back(std::move(rel));
      v.items.push_back(node());
    }
    return v;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

TckValue parse_value_literal(std::string_view text) { return Reader(text).whole(); }

}  // namespace orvane::tck
