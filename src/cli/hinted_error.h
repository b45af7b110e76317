// A command failure that comes with advice. The entry point prints the
// message as every failure's "error: " line and the hint on the line after
// it, so that the advice always follows the error it belongs to and no
// handler writes to standard error itself.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace orvane {

class HintedError : public std::runtime_error {
 public:
  // `hint` is one whole line without its line break.
  HintedError(const std::string& message, std::string hint)
      : std::runtime_error(message), hint_(std::move(hint)) {}

  const std::string& hint() const { return hint_; }

 private:
  std::string hint_;
};

}  // namespace orvane
