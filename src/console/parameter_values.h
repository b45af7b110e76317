// Statement parameters given as text outside a request body: a Cypher
// expression for one value (the command line's --param name=VALUE) and a
// JSON object of several (--params), and the way a typed value is kept in
// the engine's :param table so that both engines read it back as itself.
//
// Every value here is in the typed JSON form of a request's `params`
// member (graph/value.h): numbers, strings, booleans, null, arrays as
// lists, objects as maps, {"$type": …, "_value": …} for temporals, points
// and byte arrays. The query pipeline binds it as a typed value.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "console/dispatcher.h"

namespace orvane {

class Engine;

// The value of Cypher expression `expression` (a literal such as 3, 'a',
// [1, 2], {a: 1, b: date('2020-01-01')}, true or null) in typed JSON,
// evaluated by the query pipeline as "RETURN expression" on an empty graph:
// no text is pasted into any later statement. Throws std::runtime_error
// with the pipeline's message for text that is not one expression
// ("Variable `x` not defined", a syntax error, ...), "a parameter value
// must be one expression" for text that makes more or fewer columns, and
// "a parameter value cannot refer to other parameters" for "$name".
nlohmann::json evaluate_parameter(std::string_view expression);

// The parameters of `text`, a JSON object of name → typed JSON value.
// Throws std::runtime_error with the JSON library's message for text that
// is not JSON, and "a JSON object of parameters is required" for other JSON.
ParamMap parameters_from_json(std::string_view text);

// The text under which :param keeps `value`. The engine's table holds
// texts, read back as JSON where they parse as JSON and as plain text
// otherwise, so a string is kept as it is unless it would read as JSON
// ("3", "true", "[1]"), and everything else as compact JSON.
std::string parameter_text(const nlohmann::json& value);

// Sets every parameter of `params` in the engine's :param table, as
// `:param name => value` would, in name order. Throws Engine::set_param's
// "too many parameters: ..." past its bounds, the parameters before that
// one set.
void set_parameters(Engine& engine, const ParamMap& params);

}  // namespace orvane
