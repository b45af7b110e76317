// Between the engine's JSON answers and TckValue.
//
// An answer's values are typed JSON (graph/value.h): plain JSON where JSON
// keeps the type, {"$type": T, "_value": TEXT} where it does not. Graph
// entities come as objects of a fixed shape:
//
//   node          {"id", "elementId"?, "labels": [...], "properties": {...}}
//   relationship  {"id", "elementId"?, "type", "start", "end", "properties": {...}}
//   path          {"nodes": [node...], "relationships": [relationship...]}
//
// ("elementId" is optional: the answers of today's MATCH rows lack it).
// Any other object is a map. A path's relationship runs forward when its
// "start" is the node before it in the path.
#pragma once

#include <map>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "tck/tck_value.h"

namespace orvane::tck {

// The value `json` stands for. "$type" Integer becomes an integer and Float
// (NaN, Infinity, -Infinity) a float; any other typed value keeps its type
// name and text (TckValue::Kind::kTyped). Throws std::runtime_error for a
// typed value whose text its type cannot hold, or a malformed entity.
TckValue value_of_json(const nlohmann::json& json);

// The typed JSON of `value`, as a statement parameter. Floats that JSON
// cannot write become {"$type":"Float",...}; graph entities cannot be
// parameters and throw std::runtime_error.
nlohmann::json json_of_value(const TckValue& value);

}  // namespace orvane::tck
