// Typed JSON conversion. Writing picks the plain JSON form whenever a
// reader that knows nothing of this system would still get the value
// right; reading accepts both forms and checks what a property may hold:
// no maps, no nulls inside lists, one type per list.
//
// append_typed_json writes the same text as the JSON library would for
// to_typed_json's value, for exports that write millions of values: the
// library's own escapes (\b \f \n \r \t, \u00xx for the other bytes
// below 0x20), its float text (its shortest round-trip routine, the one
// dump() calls) and its decimal integers.
#include "graph/value.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <cstring>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orvane {
namespace {

using json = nlohmann::json;

constexpr std::int64_t kExactInJson = std::int64_t{1} << 53;  // larger integers lose digits in many JSON readers
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

[[noreturn]] void invalid(const std::string& reason) {
  throw std::runtime_error("invalid property value: " + reason);
}

json typed(const char* type, std::string text) { return json{{"$type", type}, {"_value", std::move(text)}}; }

std::string base64_encode(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t chunk = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      chunk = chunk << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kBase64[chunk >> (18 - 6 * k) & 63] : '=';
  }
  return out;
}

std::string base64_decode(std::string_view text) {
  if (text.size() % 4 != 0) invalid("byte array text is not base64");
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t chunk = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      const char* at = c == '\0' ? nullptr : std::strchr(kBase64, c);
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++padding;
        chunk <<= 6;
        continue;
      }
      if (at == nullptr || padding > 0) invalid("byte array text is not base64");
      chunk = chunk << 6 | static_cast<std::uint32_t>(at - kBase64);
    }
    for (int k = 0; k < 3 - padding; ++k) out += static_cast<char>(chunk >> (16 - 8 * k) & 0xFF);
  }
  return out;
}

json float_json(double value) {
  if (std::isnan(value)) return typed("Float", "NaN");
  if (std::isinf(value)) return typed("Float", value > 0 ? "Infinity" : "-Infinity");
  return value;
}

double float_from_text(const std::string& text) {
  if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
  if (text == "Infinity") return std::numeric_limits<double>::infinity();
  if (text == "-Infinity") return -std::numeric_limits<double>::infinity();
  invalid("Float text must be NaN, Infinity or -Infinity: " + text);
}

std::int64_t integer_from_text(const std::string& text) {
  std::size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(text, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) invalid("Integer text is not a 64-bit integer: " + text);
  return value;
}

Value from_typed_object(const json& object) {
  const auto type = object.find("$type");
  const auto text = object.find("_value");
  if (object.size() != 2 || type == object.end() || text == object.end() || !type->is_string() ||
      !text->is_string()) {
    invalid("a map is not a property value");
  }
  const std::string& name = type->get_ref<const std::string&>();
  const std::string& value = text->get_ref<const std::string&>();
  if (name == "Integer") return integer_from_text(value);
  if (name == "Float") return float_from_text(value);
  if (name == "String") return value;
  if (name == "Boolean" && (value == "true" || value == "false")) return value == "true";
  if (name == "Base64") return Bytes{base64_decode(value)};
  if (name == "Date") return parse_date(value);
  if (name == "LocalTime") return parse_local_time(value);
  if (name == "Time") return parse_time(value);
  if (name == "LocalDateTime") return parse_local_date_time(value);
  if (name == "OffsetDateTime" || name == "ZonedDateTime") return parse_date_time(value);
  if (name == "Duration") return parse_duration(value);
  if (name == "Point") return parse_point(value);
  invalid("unknown $type " + name);
}

Value scalar_from_json(const json& value) {
  switch (value.type()) {
    case json::value_t::boolean:
      return value.get<bool>();
    case json::value_t::number_integer:
      return value.get<std::int64_t>();
    case json::value_t::number_unsigned:
      if (value.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        invalid("integer beyond 64 bits: " + value.dump());
      }
      return static_cast<std::int64_t>(value.get<std::uint64_t>());
    case json::value_t::number_float:
      return value.get<double>();
    case json::value_t::string:
      return value.get<std::string>();
    case json::value_t::object:
      return from_typed_object(value);
    default:
      invalid("null inside a list");
  }
}

// Appends {"$type":TYPE,"_value":TEXT}, as dump() orders the two members.
void append_typed_form(std::string& out, std::string_view type, std::string_view text) {
  out += R"({"$type":")";
  out += type;
  out += R"(","_value":)";
  append_json_text(out, text);
  out += '}';
}

void append_integer(std::string& out, std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

}  // namespace

json to_typed_json(const Value& value) {
  return std::visit(
      [](const auto& v) -> json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          if (v > kExactInJson || v < -kExactInJson) return typed("Integer", std::to_string(v));
          return v;
        } else if constexpr (std::is_same_v<T, double>) {
          return float_json(v);
        } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, Bytes>) {
          return typed("Base64", base64_encode(v.data));
        } else if constexpr (std::is_same_v<T, Date>) {
          return typed("Date", format_date(v));
        } else if constexpr (std::is_same_v<T, LocalTime>) {
          return typed("LocalTime", format_local_time(v));
        } else if constexpr (std::is_same_v<T, Time>) {
          return typed("Time", format_time(v));
        } else if constexpr (std::is_same_v<T, LocalDateTime>) {
          return typed("LocalDateTime", format_local_date_time(v));
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return typed(v.zone.empty() ? "OffsetDateTime" : "ZonedDateTime", format_date_time(v));
        } else if constexpr (std::is_same_v<T, Duration>) {
          return typed("Duration", format_duration(v));
        } else if constexpr (std::is_same_v<T, Point>) {
          return typed("Point", format_point(v));
        } else {
          json out = json::array();
          for (const Value& item : v) out.push_back(to_typed_json(item));
          return out;
        }
      },
      value.storage());
}

Value from_typed_json(const json& value) {
  if (value.is_null()) return Value();
  if (!value.is_array()) return scalar_from_json(value);
  ValueList items;
  items.reserve(value.size());
  bool integers = false, floats = false;
  for (const json& element : value) {
    if (element.is_array()) invalid("a list inside a list");
    items.push_back(scalar_from_json(element));
    integers = integers || items.back().is<std::int64_t>();
    floats = floats || items.back().is<double>();
  }
  // Integers and floats together make a list of floats, as Neo4j stores
  // them; any other mixture is refused.
  if (integers && floats) {
    for (Value& item : items) {
      if (item.is<std::int64_t>()) item = static_cast<double>(item.as<std::int64_t>());
    }
  }
  for (const Value& item : items) {
    if (item.storage().index() != items.front().storage().index()) invalid("a list of mixed types");
  }
  return items;
}

Value property_value_of(const json& value) {
  try {
    return from_typed_json(value);
  } catch (const std::runtime_error&) {
    if (value.is_object() && value.contains("$type")) throw;
    return value.dump();
  }
}

}  // namespace orvane

namespace orvane {

void append_json_text(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.data() + run, i - run);
    run = i + 1;
    out += '\\';
    switch (c) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '\b': out += 'b'; break;
      case '\f': out += 'f'; break;
      case '\n': out += 'n'; break;
      case '\r': out += 'r'; break;
      case '\t': out += 't'; break;
      default:
        out += "u00";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
  }
  out.append(text.data() + run, text.size() - run);
  out += '"';
}

void append_typed_json(std::string& out, const Value& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          out += "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          out += v ? "true" : "false";
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          if (v > kExactInJson || v < -kExactInJson) {
            append_typed_form(out, "Integer", std::to_string(v));
          } else {
            append_integer(out, v);
          }
        } else if constexpr (std::is_same_v<T, double>) {
          if (std::isnan(v)) {
            append_typed_form(out, "Float", "NaN");
          } else if (std::isinf(v)) {
            append_typed_form(out, "Float", v > 0 ? "Infinity" : "-Infinity");
          } else {
            char digits[64];
            const char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, v);
            out.append(digits, static_cast<std::size_t>(end - digits));
          }
        } else if constexpr (std::is_same_v<T, std::string>) {
          append_json_text(out, v);
        } else if constexpr (std::is_same_v<T, Bytes>) {
          append_typed_form(out, "Base64", base64_encode(v.data));
        } else if constexpr (std::is_same_v<T, Date>) {
          append_typed_form(out, "Date", format_date(v));
        } else if constexpr (std::is_same_v<T, LocalTime>) {
          append_typed_form(out, "LocalTime", format_local_time(v));
        } else if constexpr (std::is_same_v<T, Time>) {
          append_typed_form(out, "Time", format_time(v));
        } else if constexpr (std::is_same_v<T, LocalDateTime>) {
          append_typed_form(out, "LocalDateTime", format_local_date_time(v));
        } else if constexpr (std::is_same_v<T, DateTime>) {
          append_typed_form(out, v.zone.empty() ? "OffsetDateTime" : "ZonedDateTime", format_date_time(v));
        } else if constexpr (std::is_same_v<T, Duration>) {
          append_typed_form(out, "Duration", format_duration(v));
        } else if constexpr (std::is_same_v<T, Point>) {
          append_typed_form(out, "Point", format_point(v));
        } else {
          out += '[';
          for (std::size_t i = 0; i < v.size(); ++i) {
            if (i != 0) out += ',';
            append_typed_json(out, v[i]);
          }
          out += ']';
        }
      },
      value.storage());
}

}  // namespace orvane
