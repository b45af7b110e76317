// The escaper walks the text once. ASCII bytes that need no escape are
// copied in runs; every byte from 0x80 up is checked as the start of a
// UTF-8 sequence, so one pass both escapes and repairs.
#include "graph/json_text.h"

#include <cmath>
#include <locale>
#include <sstream>

#include "graph/utf8.h"

namespace orvane {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void append_escaped(std::string& out, std::string_view text, JsonEscape flavour) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t len = utf8_sequence_length(text, i);
      if (len == 0) {
        out += kReplacement;
        ++i;
      } else {
        out.append(text, i, len);
        i += len;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r':
        if (flavour == JsonEscape::kFull) out += "\\r";
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
}

}  // namespace

std::string json_escape(std::string_view text, JsonEscape flavour) {
  std::string out;
  out.reserve(text.size());
  append_escaped(out, text, flavour);
  return out;
}

void append_json_string(std::string& out, std::string_view text, JsonEscape flavour) {
  out += '"';
  append_escaped(out, text, flavour);
  out += '"';
}

std::string json_string(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  append_json_string(out, text, JsonEscape::kFull);
  return out;
}

std::string json_number(double value) {
  if (!std::isfinite(value)) return "0";
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << value;
  return out.str();
}

std::string json_string_array(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) {
    if (out.size() > 1) out += ',';
    append_json_string(out, item);
  }
  return out + "]";
}

std::string json_string_array(std::initializer_list<std::string_view> items) {
  std::string out = "[";
  for (const std::string_view item : items) {
    if (out.size() > 1) out += ',';
    append_json_string(out, item);
  }
  return out + "]";
}

void JsonObjectText::key(std::string_view name) {
  if (text_.size() > 1) text_ += ',';
  append_json_string(text_, name);
  text_ += ':';
}

JsonObjectText& JsonObjectText::string(std::string_view key_name, std::string_view value) {
  key(key_name);
  append_json_string(text_, value);
  return *this;
}

JsonObjectText& JsonObjectText::count(std::string_view key_name, std::uint64_t value) {
  key(key_name);
  text_ += std::to_string(value);
  return *this;
}

JsonObjectText& JsonObjectText::real(std::string_view key_name, double value) {
  key(key_name);
  text_ += json_number(value);
  return *this;
}

JsonObjectText& JsonObjectText::boolean(std::string_view key_name, bool value) {
  key(key_name);
  text_ += value ? "true" : "false";
  return *this;
}

JsonObjectText& JsonObjectText::raw(std::string_view key_name, std::string_view json) {
  key(key_name);
  text_ += json;
  return *this;
}

}  // namespace orvane
