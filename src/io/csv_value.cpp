// Typing one CSV text field by the type suffix of its header column. The
// numeric rules are those of strtoll/strtod through std::stoll/std::stod, so
// leading blanks and a sign are accepted, text without a number fails with
// the conversion's own message ("stoll", "stod"), and trailing bytes (a
// blank included) are refused here.
//
// The temporal and spatial columns (date, localtime, time, localdatetime,
// datetime, duration, point, and their arrays) read the texts the export
// writes (io/csv_types.h): the ISO forms of graph/temporal.h, and for
// points Neo4j's map form "{crs:'wgs-84',longitude:..,latitude:..}" or
// the WKT of the typed JSON. Their values come out as typed JSON, which is
// how every property enters a Database.
#include <cmath>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "graph/temporal.h"
#include "graph/value.h"
#include "io/csv_reader.h"
#include "io/csv_types.h"

namespace orvane {
namespace {

enum class Family {
  kString, kBoolean, kInteger, kFloating,
  kDate, kLocalTime, kTime, kLocalDateTime, kDateTime, kDuration, kPoint,
  kNone
};

Family family_of(const std::string& type) {
  if (type == "string" || type == "str" || type == "char" || type == "ID" || type.starts_with("ID(")) {
    return Family::kString;
  }
  if (type == "boolean" || type == "bool") return Family::kBoolean;
  if (type == "int" || type == "integer" || type == "long" || type == "short" || type == "byte") {
    return Family::kInteger;
  }
  if (type == "float" || type == "double") return Family::kFloating;
  if (type == "date") return Family::kDate;
  if (type == "localtime") return Family::kLocalTime;
  if (type == "time") return Family::kTime;
  if (type == "localdatetime") return Family::kLocalDateTime;
  if (type == "datetime") return Family::kDateTime;
  if (type == "duration") return Family::kDuration;
  if (type == "point") return Family::kPoint;
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
    case Family::kDate:
      return to_typed_json(parse_date(text));
    case Family::kLocalTime:
      return to_typed_json(parse_local_time(text));
    case Family::kTime:
      return to_typed_json(parse_time(text));
    case Family::kLocalDateTime:
      return to_typed_json(parse_local_date_time(text));
    case Family::kDateTime:
      return to_typed_json(parse_date_time(text));
    case Family::kDuration:
      return to_typed_json(parse_duration(text));
    case Family::kPoint: {
      const std::size_t first = text.find_first_not_of(" \t");
      return to_typed_json(first != std::string::npos && text[first] == '{' ? parse_point_map(text) : parse_point(text));
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
    default:
      break;
  }
  return false;
}

nlohmann::json array_value(const std::string& text, const std::string& element_type, const CsvValueOptions& options) {
  const Family family = family_of(element_type);
  if (family == Family::kNone) throw std::runtime_error("unsupported CSV array type: " + element_type);
  if (text.empty()) return nlohmann::json::array();
  const bool json_family = family == Family::kString || family == Family::kBoolean || family == Family::kInteger ||
                           family == Family::kFloating;
  if (json_family && options.json_arrays && text.front() == '[') {
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
    const std::size_t semi = text.find(options.array_delimiter, start);
    const std::size_t end = semi == std::string::npos ? text.size() : semi;
    out.push_back(scalar_value(text.substr(start, end - start), family));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return out;
}

}  // namespace

nlohmann::json typed_csv_value(const std::string& text, const std::string& type) {
  return typed_csv_value(text, type, CsvValueOptions{});
}

nlohmann::json typed_csv_value(const std::string& text, const std::string& type, const CsvValueOptions& options) {
  if (type == "json") return parse_json_bounded(text);
  const Family family = family_of(type);
  if (family != Family::kNone) return scalar_value(text, family);
  if (type.size() > 2 && type.ends_with("[]")) return array_value(text, type.substr(0, type.size() - 2), options);
  throw std::runtime_error("unsupported CSV property type: " + type);
}

}  // namespace orvane
