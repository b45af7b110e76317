// JSON text written by hand: the one string escaper behind every document,
// answer and report that is assembled as text in a fixed member order rather
// than through the JSON library, and the one way doubles are written there.
//
// Escaping: `"` → `\"`, `\` → `\\`, line feed → `\n`, tab → `\t`, every other
// byte below 0x20 → `\u00xx` (lower-case hex); a carriage return becomes
// `\r`, or is dropped in the kDropCarriageReturn flavour that messages use.
// All other bytes are copied, so non-ASCII text stays readable.
//
// Invalid UTF-8: a byte that does not begin a well-formed UTF-8 sequence
// (RFC 3629) is written as U+FFFD, one replacement character per such byte.
// Text from a Database is valid already; text from a request or a command
// line may not be, and the output must stay something a JSON parser accepts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class JsonEscape {
  kFull,                 // every string of a document
  kDropCarriageReturn,   // messages: a carriage return is removed, not escaped
};

// `text` escaped for use between double quotes (the quotes not included).
// The default is the message flavour that answers and error bodies use.
std::string json_escape(std::string_view text, JsonEscape flavour = JsonEscape::kDropCarriageReturn);

// Appends `text` to `out` as a complete JSON string, quotes included.
void append_json_string(std::string& out, std::string_view text, JsonEscape flavour = JsonEscape::kFull);

// `text` as a complete JSON string, quotes included, with full escaping.
std::string json_string(std::string_view text);

// A double in the default stream formatting (six significant digits, e.g.
// 1.23457e+06) in the classic locale, so a global locale cannot turn the
// decimal point into a comma; infinities and NaN, which JSON cannot hold,
// are written as 0.
std::string json_number(double value);

// ["a","b",...] with full escaping.
std::string json_string_array(std::initializer_list<std::string_view> items);
std::string json_string_array(const std::vector<std::string>& items);

// One JSON object written as text, members in the order they are added.
// Keys and string values get full escaping; raw values must already be JSON
// text.
class JsonObjectText {
 public:
  JsonObjectText& string(std::string_view key, std::string_view value);
  JsonObjectText& count(std::string_view key, std::uint64_t value);
  JsonObjectText& real(std::string_view key, double value);  // json_number
  JsonObjectText& boolean(std::string_view key, bool value);
  JsonObjectText& raw(std::string_view key, std::string_view json);
  // The object text, closing brace included.
  std::string text() const { return text_ + "}"; }

 private:
  void key(std::string_view name);
  std::string text_ = "{";
};

}  // namespace orvane
