// orvane::QlError: the single exception type of the query language. Its
// message is shown to the user unchanged by the shell, the query command and
// the HTTP API.
#pragma once

#include <stdexcept>

namespace orvane {

class QlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orvane
