// Finding installed files and running the bridge scripts.
//
// A bridge runs through the system shell because the interpreter is found
// on the user's PATH. The shell never interprets an argument: every word is
// wrapped in single quotes, inside which the shell expands nothing, and a
// single quote inside a word closes the quotes, adds an escaped quote and
// reopens them ('\''). Paths and URIs therefore reach the bridge byte for
// byte, whatever they hold.
//
// Credentials never travel on a command line, which every user of the
// machine can read in /proc; they go into a file that is private from the
// moment it exists, inside a directory that is private too.
#include "io/bridge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "storage/atomic_file.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// The directory holding the running executable ("" when it cannot be told).
fs::path executable_directory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

bool entry_exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// `word` single-quoted for the shell, each ' inside written as '\''.
std::string shell_quote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

}  // namespace

std::string installation_path(const std::string& name) {
  std::vector<fs::path> candidates;
  if (const char* home = std::getenv("ORVANE_HOME"); home != nullptr && *home != '\0') {
    candidates.push_back(fs::path(home) / "share" / "halvex" / name);
    candidates.push_back(fs::path(home) / name);
  }
  if (const fs::path exe_dir = executable_directory(); !exe_dir.empty()) {
    candidates.push_back(exe_dir.parent_path() / "share" / "halvex" / name);
    // A build tree keeps the executable at its top and assembles the
    // installed data tree beside it, so `build/orvane` run from anywhere
    // finds build/share/halvex/web with its vendored libraries.
    candidates.push_back(exe_dir / "share" / "halvex" / name);
  }
  for (const fs::path& candidate : candidates) {
    if (entry_exists(candidate)) return fs::absolute(candidate).string();
  }
  return fs::absolute(name).string();
}

std::string make_private_import_directory() {
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) throw std::runtime_error("cannot create private import directory");
  std::string pattern = (temp / "corvadd-import-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create private import directory");
  return pattern;
}

PrivateImportDirectory::~PrivateImportDirectory() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string write_private_credentials(const std::string& directory, const std::string& user,
                                      const std::string& password) {
  const std::string path = directory + "/credentials.json";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot write private migration credentials");
  const std::string text = nlohmann::json{{"user", user}, {"password", password}}.dump();
  // The umask may only have narrowed the mode; fchmod makes it exactly 0600.
  const bool written = ::fchmod(fd, 0600) == 0 && write_all(fd, text.data(), text.size());
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) throw std::runtime_error("cannot save private migration credentials");
  return path;
}

void run_bridge(const std::string& script_name, const std::vector<std::string>& arguments) {
  const std::string script = installation_path("scripts/" + script_name);
  std::error_code ec;
  if (!fs::is_regular_file(script, ec)) {
    throw std::runtime_error(script + " not found; set ORVANE_HOME to the installation root");
  }
  const char* python = std::getenv("PYTHON");
  std::string command = shell_quote(python != nullptr && *python != '\0' ? python : "python3");
  command += ' ';
  command += shell_quote(script);
  for (const std::string& argument : arguments) {
    command += ' ';
    command += shell_quote(argument);
  }
  // What this program printed so far comes before the bridge's own output.
  std::cout.flush();
  std::fflush(stdout);
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error(
        "Neo4j import failed; destination unchanged. Check source compatibility and the decoder error above.");
  }
}

}  // namespace orvane
