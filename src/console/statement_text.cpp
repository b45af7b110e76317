// The text side of the dispatcher: trimming, case folding, parameter
// substitution and the small argument cutters the statement rows share.
//
// Substitution works on the statement text before it is parsed, so a
// parameter becomes a literal of the statement: a number stays a number, a
// text becomes a quoted and escaped JSON string, which the query lexer reads
// as a string literal. Quoted stretches are copied untouched, so "$id"
// inside a string literal stays text.
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "base/decimal.h"
#include "console/engine.h"
#include "console/statement_rows.h"
#include "graph/json_limits.h"
#include "graph/json_text.h"

namespace orvane {
namespace {

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A stored :param text as statement text: JSON numbers, booleans, null and
// strings as themselves (a string kept as JSON is the string it spells, as
// the query pipeline reads it too), every other text (valid JSON or not) as
// a JSON string.
std::string engine_value(const std::string& stored) {
  try {
    const nlohmann::json value = parse_json_bounded(stored);
    if (value.is_number() || value.is_boolean() || value.is_null() || value.is_string()) return value.dump();
  } catch (const std::exception&) {
    // not JSON at all: a plain text
  }
  return json_string(stored);
}

std::string parameter_value(const std::string& name, const Engine& engine, const ParamMap* params) {
  if (params != nullptr) {
    const auto it = params->find(name);
    if (it != params->end() && !name.empty()) return it->second.dump();
  } else if (const auto it = engine.params().find(name); it != engine.params().end() && !name.empty()) {
    return engine_value(it->second);
  }
  throw std::runtime_error("unknown parameter: " + name);
}

std::optional<std::string> between_first_two(const std::string& t, char quote) {
  const std::size_t open = t.find(quote);
  if (open == std::string::npos) return std::nullopt;
  const std::size_t close = t.find(quote, open + 1);
  if (close == std::string::npos) return std::nullopt;
  return t.substr(open + 1, close - open - 1);
}

}  // namespace

Database& StatementContext::target() const { return engine.database(database); }
Database& StatementContext::live_target() const { return engine.live_database(database); }

std::string substitute_parameters(const std::string& t, const Engine& engine, const ParamMap* params) {
  std::string out;
  out.reserve(t.size());
  char quote = 0;
  for (std::size_t i = 0; i < t.size();) {
    const char c = t[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      out += c;
      ++i;
    } else if (c == '\'' || c == '"' || c == '`') {
      quote = c;
      out += c;
      ++i;
    } else if (c == '$') {
      std::size_t end = i + 1;
      while (end < t.size() && is_name_byte(t[end])) ++end;
      out += parameter_value(t.substr(i + 1, end - i - 1), engine, params);
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::optional<std::string> quoted_arg(const std::string& t) { return between_first_two(t, '\''); }

std::optional<std::string> double_quoted_arg(const std::string& t) { return between_first_two(t, '"'); }

std::uint64_t nth_number(const std::string& t, std::size_t index, std::uint64_t fallback) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < t.size();) {
    if (t[i] < '0' || t[i] > '9') {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    if (seen++ == index) return parse_decimal_saturating(std::string_view(t).substr(start, i - start));
  }
  return fallback;
}

}  // namespace orvane
