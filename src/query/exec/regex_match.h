// The regular-expression match of Cypher's `=~` operator.
#pragma once

#include <string>

namespace orvane {

// Whether `pattern` matches the whole of `text`. Throws CypherError
// ArgumentError "Invalid regex: PATTERN" for a pattern that does not
// compile.
bool regex_matches(const std::string& text, const std::string& pattern);

}  // namespace orvane
