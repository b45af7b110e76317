// The function table: every family's functions, found by a case-insensitive
// name. Built once, on first use.
#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_map>

#include "query/cypher_error.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

const std::unordered_map<std::string, const ScalarFunction*>& table() {
  static const auto* functions = [] {
    auto* map = new std::unordered_map<std::string, const ScalarFunction*>();
    for (const auto family : {graph_functions(), list_functions(), string_functions(), math_functions(),
                              temporal_functions()}) {
      for (const ScalarFunction& f : family) map->emplace(lower(f.name), &f);
    }
    return map;
  }();
  return *functions;
}

}  // namespace

const ScalarFunction* find_function(std::string_view name) {
  const auto it = table().find(lower(name));
  return it == table().end() ? nullptr : it->second;
}

void invalid_argument(const char* function, const char* expected, const CypherValue& got) {
  throw CypherError("TypeError", "InvalidArgumentValue", ErrorPhase::kRuntime,
                    std::string("Invalid input for function '") + function + "()': Expected " + expected +
                        ", got: " + type_name(got));
}

namespace {

CypherValue checked_row_count(std::span<const CypherValue> args, ExecContext&) {
  const CypherValue& v = args[0];
  if (v.is_null() || (v.kind() == CypherValue::Kind::kInteger && v.as_int() >= 0)) return v;
  throw CypherError("SyntaxError", v.kind() == CypherValue::Kind::kInteger ? "NegativeIntegerArgument" : "InvalidArgumentType",
                    ErrorPhase::kRuntime,
                    "Invalid input. '" + to_text(v) + "' is not a valid value. Must be a non-negative integer.");
}

}  // namespace

const ScalarFunction& row_count_check() {
  static const ScalarFunction function{"rowCount", 1, 1, checked_row_count};
  return function;
}

CypherValue call_function(const ScalarFunction& function, std::span<const CypherValue> args, ExecContext& context) {
  const auto n = static_cast<int>(args.size());
  if (n < function.min_args || (function.max_args >= 0 && n > function.max_args)) {
    throw CypherError("SyntaxError", "InvalidNumberOfArguments", ErrorPhase::kCompileTime,
                      std::string("Invalid number of arguments to ") + function.name);
  }
  return function.body(args, context);
}

}  // namespace orvane
