// Where expressions meet temporal and spatial values: their components
// (d.year, p.x) and the arithmetic with durations. The temporal function
// family (date(), duration.between(), ...) joins the registry here.
#include "query/exec/evaluate.h"
#include "query/functions/scalar_functions.h"

namespace orvane {

std::span<const ScalarFunction> temporal_functions() { return {}; }

CypherValue component_of(const CypherValue& value, std::string_view) {
  type_mismatch("Map, Node, Relationship, Temporal, Duration or Point", value);
}

CypherValue temporal_arithmetic(ast::Op, const CypherValue& a, const CypherValue& b) {
  type_mismatch("Number, String, List, Temporal or Duration", b.is_null() ? a : (a.is_number() ? b : a));
}

}  // namespace orvane
