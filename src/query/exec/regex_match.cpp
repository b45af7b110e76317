// `=~`: a whole-string match of a regular expression, with std::regex's
// ECMAScript grammar (Java's, which Neo4j uses, differs in corners such as
// possessive quantifiers; the common forms agree).
//
// libstdc++'s regex compiler trips GCC 12's maybe-uninitialized analysis
// in optimised and sanitized builds alike (a false positive inside
// std::function); the warning is silenced for this file's include only,
// so that warnings stay errors everywhere else.
#include "query/exec/regex_match.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

#include "query/cypher_error.h"

namespace orvane {

bool regex_matches(const std::string& text, const std::string& pattern) {
  try {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    return std::regex_match(text, std::regex(pattern, std::regex::ECMAScript));
#pragma GCC diagnostic pop
  } catch (const std::regex_error&) {
    throw CypherError("ArgumentError", "InvalidArgumentValue", ErrorPhase::kRuntime, "Invalid regex: " + pattern);
  }
}

}  // namespace orvane
