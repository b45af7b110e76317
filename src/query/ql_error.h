// orvane::QlError: the single exception type of the query language. Its
// message is shown to the user unchanged by the shell, the query command and
// the HTTP API.
#pragma once

#include <stdexcept>

namespace orvane {

// Messages raised from more than one place in the query engine.
inline constexpr const char* kWorkLimitMessage = "query work limit exceeded; narrow the pattern or add LIMIT";
inline constexpr const char* kCountOverflowMessage = "count overflow";

class QlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orvane
