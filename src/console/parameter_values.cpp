// Parameter values from text. A --param value is a Cypher expression, and
// the query pipeline already parses and evaluates every literal form
// (numbers in every base, both quotes with their escapes, lists, maps,
// temporal and spatial functions); a second literal parser here would only
// drift from it. So the value is "RETURN <text>" run on an empty Database,
// and its one column is written in the typed JSON a request's `params` use.
#include "console/parameter_values.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "console/cypher_answer.h"
#include "console/engine.h"
#include "graph/database.h"
#include "graph/json_limits.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"

namespace orvane {

nlohmann::json evaluate_parameter(std::string_view expression) {
  Database empty;
  empty.compile();
  const std::string text = "RETURN " + std::string(expression);
  CypherResult result;
  try {
    result = run_statement(text, empty);
  } catch (const CypherError& e) {
    if (e.error_class() == "ParameterMissing") throw std::runtime_error("a parameter value cannot refer to other parameters");
    throw std::runtime_error(e.what());
  }
  if (result.columns.size() != 1 || result.rows.size() != 1) {
    throw std::runtime_error("a parameter value must be one expression");
  }
  return cypher_json(result.rows[0][0], empty);
}

ParamMap parameters_from_json(std::string_view text) {
  nlohmann::json value;
  try {
    value = parse_json_bounded(text);
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error(e.what());
  }
  if (!value.is_object()) throw std::runtime_error("a JSON object of parameters is required");
  return value.get<ParamMap>();
}

std::string parameter_text(const nlohmann::json& value) {
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    // accept() builds no value, so deep nesting in a string costs nothing.
    if (!nlohmann::json::accept(text)) return text;
  }
  return value.dump();
}

void set_parameters(Engine& engine, const ParamMap& params) {
  for (const auto& [name, value] : params) engine.set_param(name, parameter_text(value));
}

}  // namespace orvane
