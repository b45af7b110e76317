// Typing one CSV text field by the type suffix of its header column. The
// numeric rules are those of strtoll/strtod through std::stoll/std::stod, so
// leading blanks and a sign are accepted, text without a number fails with
// the conversion's own message ("stoll", "stod"), and trailing bytes (a
// blank included) are refused here.
#include <cmath>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "io/csv_reader.h"

namespace orvane {
namespace {

enum class Family { kString, kBoolean, kInteger, kFloating, kNone };

Family family_of(const std::string& type) {
  if (type == "string" || type == "str" || type == "ID" || type.starts_with("ID(")) return Family::kString;
  if (type == "boolean" || type == "bool") return Family::kBoolean;
  if (type == "int" || type == "integer" || type == "long" || type == "short" || type == "byte") {
    return Family::kInteger;
  }
  if (type == "float" || type == "double") return Family::kFloating;
  return Family::kNone;
}

nlohmann::json scalar_value(const std::string& text, Family family) {
  switch (family) {
    case Family::kString:
      return text;
    case Family::kBoolean:
      if (text == "true") return true;
      if (text == "false") return false;
      throw std::runtime_error("invalid boolean property");
    case Family::kInteger: {
      std::size_t used = 0;
      const long long value = std::stoll(text, &used, 10);
      if (used != text.size()) throw std::runtime_error("invalid integer property");
      return static_cast<std::int64_t>(value);
    }
    case Family::kFloating: {
      std::size_t used = 0;
      const double value = std::stod(text, &used);
      if (used != text.size() || !std::isfinite(value)) {
        throw std::runtime_error("invalid floating-point property");
      }
      return value;
    }
    case Family::kNone:
      break;
  }
  throw std::logic_error("scalar_value called without a family");
}

bool component_matches(const nlohmann::json& v, Family family) {
  switch (family) {
    case Family::kString:
      return v.is_string();
    case Family::kBoolean:
      return v.is_boolean();
    case Family::kInteger:
      return v.is_number_integer();
    case Family::kFloating:
      return v.is_number();
    case Family::kNone:
      break;
  }
  return false;
}

nlohmann::json array_value(const std::string& text, const std::string& element_type) {
  const Family family = family_of(element_type);
  if (family == Family::kNone) throw std::runtime_error("unsupported CSV array type: " + element_type);
  if (text.empty()) return nlohmann::json::array();
  if (text.front() == '[') {
    nlohmann::json parsed = parse_json_bounded(text);
    if (!parsed.is_array()) throw std::runtime_error("array property is invalid");
    for (const nlohmann::json& v : parsed) {
      if (!component_matches(v, family)) {
        throw std::runtime_error("array component does not match CSV header type");
      }
    }
    return parsed;
  }
  nlohmann::json out = nlohmann::json::array();
  std::size_t start = 0;
  for (;;) {
    const std::size_t semi = text.find(';', start);
    const std::size_t end = semi == std::string::npos ? text.size() : semi;
    out.push_back(scalar_value(text.substr(start, end - start), family));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return out;
}

}  // namespace

nlohmann::json typed_csv_value(const std::string& text, const std::string& type) {
  if (type == "json") return parse_json_bounded(text);
  const Family family = family_of(type);
  if (family != Family::kNone) return scalar_value(text, family);
  if (type.size() > 2 && type.ends_with("[]")) return array_value(text, type.substr(0, type.size() - 2));
  throw std::runtime_error("unsupported CSV property type: " + type);
}

}  // namespace orvane
