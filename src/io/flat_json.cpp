// The flat-object fast path. It accepts a strict subset of JSON on which
// the general parser's answer is known in advance: printable ASCII strings
// need no escape or UTF-8 handling, and integers of at most 18 digits fit
// a signed 64-bit value whatever their sign. Everything outside the subset
// is declined rather than guessed at, so the general parser stays the one
// authority on what is valid JSON and on its error messages.
#include "io/flat_json.h"

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace orvane {
namespace {

class FlatReader {
 public:
  explicit FlatReader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool at_end() const { return p_ == end_; }
  bool take(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }
  bool take_word(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word) return false;
    p_ += word.size();
    return true;
  }
  // A string of printable ASCII other than '"' and '\', after its opening quote.
  bool string(std::string& out) {
    const char* start = p_;
    while (p_ != end_ && *p_ != '"') {
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c < 0x20 || c > 0x7E || c == '\\') return false;
      ++p_;
    }
    if (p_ == end_) return false;
    out.assign(start, p_);
    ++p_;
    return true;
  }
  bool value(nlohmann::json& out) {
    if (take('"')) {
      std::string s;
      if (!string(s)) return false;
      out = std::move(s);
      return true;
    }
    if (take_word("true")) return out = true, true;
    if (take_word("false")) return out = false, true;
    if (take_word("null")) return out = nullptr, true;
    return integer(out);
  }

 private:
  bool integer(nlohmann::json& out) {
    const bool negative = take('-');
    const char* start = p_;
    std::int64_t value = 0;
    while (p_ != end_ && *p_ >= '0' && *p_ <= '9') value = value * 10 + (*p_++ - '0');
    const std::size_t digits = static_cast<std::size_t>(p_ - start);
    if (digits == 0 || digits > 18 || (digits > 1 && *start == '0') || (negative && value == 0)) return false;
    if (negative) {
      out = -value;
    } else {
      out = static_cast<std::uint64_t>(value);
    }
    return true;
  }

  const char* p_;
  const char* const end_;
};

}  // namespace

bool parse_flat_json_object(std::string_view text, nlohmann::json& out) {
  FlatReader in(text);
  if (!in.take('{')) return false;
  out = nlohmann::json::object();
  if (in.take('}')) return in.at_end();
  std::string key;
  do {
    if (!in.take('"') || !in.string(key) || !in.take(':')) return false;
    nlohmann::json value;
    if (!in.value(value)) return false;
    out[key] = std::move(value);
  } while (in.take(','));
  return in.take('}') && in.at_end();
}

}  // namespace orvane
