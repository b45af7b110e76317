// A fresh private temporary directory for one test, removed with everything
// in it when the test ends, and whole text files read and written.
// Header-only and apart from the binary runner, so that suites that never run
// the program (the HTTP core) can use it without waiting for the whole
// program to build.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace orvane::testing {

class TempDir {
 public:
  TempDir() : path_((std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string()) {
    if (!mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The whole content of the file at `path` ("" when it cannot be read).
inline std::string read_text_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes `text` as the whole file at `path`, creating its parent directories.
inline void write_text_file(const std::string& path, const std::string& text) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace orvane::testing
