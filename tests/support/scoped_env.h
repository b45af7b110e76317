// An environment variable set (or unset) for the life of one object, so a
// test can point ORVANE_HOME or PYTHON somewhere without leaking the change
// into the tests after it.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace orvane::testing {

class ScopedEnv {
 public:
  // Sets `name` to `value`, or unsets it when `value` is nullopt; the
  // destructor restores the value from before (or unsets it again).
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace orvane::testing
