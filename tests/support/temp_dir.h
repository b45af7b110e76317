// A fresh private temporary directory for one test, removed with everything
// in it when the test ends. Kept apart from the binary runner so that suites
// that never run the program (the HTTP core) can use it without waiting for
// the whole program to build.
#pragma once

#include <string>

namespace orvane::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace orvane::testing
