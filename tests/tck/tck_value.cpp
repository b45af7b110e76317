// Text forms of TckValue. One writer serves both display and equality, so
// that what a failure report shows is exactly what was compared.
#include "tck/tck_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orvane::tck {
namespace {

bool is_identifier(const std::string& s) {
  if (s.empty()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

void append_name(std::string& out, const std::string& name) {
  if (is_identifier(name)) {
    out += name;
    return;
  }
  out += '`';
  for (const char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  out += '`';
}

void append_string(std::string& out, const std::string& s) {
  out += '\'';
  for (const char c : s) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  out += '\'';
}

void append_value(std::string& out, const TckValue& v, TextMode mode);

void append_properties(std::string& out, const std::map<std::string, TckValue>& entries, TextMode mode,
                       bool leading_space) {
  if (entries.empty()) return;
  if (leading_space) out += ' ';
  out += '{';
  bool first = true;
  for (const auto& [key, value] : entries) {
    if (!first) out += ", ";
    first = false;
    append_name(out, key);
    out += ": ";
    append_value(out, value, mode);
  }
  out += '}';
}

void append_node(std::string& out, const TckValue& v, TextMode mode) {
  std::vector<std::string> labels = v.labels;
  std::sort(labels.begin(), labels.end());
  labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
  out += '(';
  for (const std::string& label : labels) {
    out += ':';
    append_name(out, label);
  }
  append_properties(out, v.entries, mode, !labels.empty());
  out += ')';
}

void append_relationship(std::string& out, const TckValue& v, TextMode mode) {
  out += "[:";
  append_name(out, v.type);
  append_properties(out, v.entries, mode, true);
  out += ']';
}

void append_path(std::string& out, const TckValue& v, TextMode mode) {
  out += '<';
  for (std::size_t i = 0; i < v.items.size(); ++i) {
    const TckValue& item = v.items[i];
    if (item.kind == TckValue::Kind::kRelationship) {
      out += item.forward ? "-" : "<-";
      append_relationship(out, item, mode);
      out += item.forward ? "->" : "-";
    } else {
      append_node(out, item, mode);
    }
  }
  out += '>';
}

void append_list(std::string& out, const TckValue& v, TextMode mode) {
  std::vector<std::string> texts;
  texts.reserve(v.items.size());
  for (const TckValue& item : v.items) texts.push_back(value_text(item, mode));
  if (mode == TextMode::kCanonicalUnorderedLists) std::sort(texts.begin(), texts.end());
  out += '[';
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += ", ";
    out += texts[i];
  }
  out += ']';
}

void append_value(std::string& out, const TckValue& v, TextMode mode) {
  using Kind = TckValue::Kind;
  switch (v.kind) {
    case Kind::kNull: out += "null"; break;
    case Kind::kBoolean: out += v.boolean ? "true" : "false"; break;
    case Kind::kInteger: out += std::to_string(v.integer); break;
    case Kind::kFloat:
      // Cypher's -0.0 = 0.0 holds and the suite writes the result of -0.0 as 0.0.
      out += float_text(mode != TextMode::kDisplay && v.number == 0 ? 0.0 : v.number);
      break;
    case Kind::kString:
    case Kind::kTyped: append_string(out, v.text); break;
    case Kind::kList: append_list(out, v, mode); break;
    case Kind::kMap:
      if (v.entries.empty()) {
        out += "{}";
      } else {
        append_properties(out, v.entries, mode, false);
      }
      break;
    case Kind::kNode: append_node(out, v, mode); break;
    case Kind::kRelationship: append_relationship(out, v, mode); break;
    case Kind::kPath: append_path(out, v, mode); break;
  }
}

}  // namespace

TckValue TckValue::of_bool(bool b) {
  TckValue v;
  v.kind = Kind::kBoolean;
  v.boolean = b;
  return v;
}

TckValue TckValue::of_int(std::int64_t i) {
  TckValue v;
  v.kind = Kind::kInteger;
  v.integer = i;
  return v;
}

TckValue TckValue::of_float(double d) {
  TckValue v;
  v.kind = Kind::kFloat;
  v.number = d;
  return v;
}

TckValue TckValue::of_string(std::string s) {
  TckValue v;
  v.kind = Kind::kString;
  v.text = std::move(s);
  return v;
}

TckValue TckValue::of_typed(std::string type, std::string text) {
  TckValue v;
  v.kind = Kind::kTyped;
  v.type = std::move(type);
  v.text = std::move(text);
  return v;
}

TckValue TckValue::of_list(std::vector<TckValue> items) {
  TckValue v;
  v.kind = Kind::kList;
  v.items = std::move(items);
  return v;
}

TckValue TckValue::of_map(std::map<std::string, TckValue> entries) {
  TckValue v;
  v.kind = Kind::kMap;
  v.entries = std::move(entries);
  return v;
}

std::string float_text(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

std::string value_text(const TckValue& value, TextMode mode) {
  std::string out;
  append_value(out, value, mode);
  return out;
}

bool same_value(const TckValue& a, const TckValue& b, bool unordered_lists) {
  const TextMode mode = unordered_lists ? TextMode::kCanonicalUnorderedLists : TextMode::kCanonical;
  return value_text(a, mode) == value_text(b, mode);
}

}  // namespace orvane::tck
