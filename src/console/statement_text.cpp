// The text side of the dispatcher: trimming, case folding, parameter
// substitution and the small argument cutters the statement rows share.
//
// Substitution works on the statement text before it is parsed, so a
// parameter becomes a literal of the statement: a number stays a number, a
// text becomes a quoted and escaped JSON string, which the query lexer reads
// as a string literal. Quoted stretches are copied untouched, so "$id"
// inside a string literal stays text.
#include <limits>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "console/engine.h"
#include "console/statement_rows.h"
#include "graph/json_limits.h"
#include "graph/json_text.h"

namespace orvane {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A stored :param text as statement text: JSON numbers, booleans and null
// as themselves, every other text (valid JSON or not) as a JSON string.
std::string engine_value(const std::string& stored) {
  try {
    const nlohmann::json value = parse_json_bounded(stored);
    if (value.is_number() || value.is_boolean() || value.is_null()) return value.dump();
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

std::string trim(std::string_view text) {
  std::size_t first = 0, last = text.size();
  while (first < last && is_space(text[first])) ++first;
  while (last > first && is_space(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

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
    std::uint64_t value = 0;
    bool saturated = false;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
      const auto digit = static_cast<std::uint64_t>(t[i] - '0');
      if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) saturated = true;
      if (!saturated) value = value * 10 + digit;
    }
    if (seen++ == index) return saturated ? std::numeric_limits<std::uint64_t>::max() : value;
  }
  return fallback;
}

}  // namespace orvane
