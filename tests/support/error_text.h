// The message a call fails with, so that a test can compare it with one
// expectation instead of a try block.
#pragma once

#include <exception>
#include <string>

namespace orvane::testing {

// The what() of the exception `call` throws, or "" when it returns.
template <typename Call>
std::string error_of(Call&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace orvane::testing
