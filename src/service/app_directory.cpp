// Application directory lookup and creation. The lookup reads only the
// environment and the password database; the creation checks ownership with
// lstat so that a symbolic link planted in place of the directory is refused
// rather than followed.
#include "service/app_directory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvane {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string home_directory() {
  const std::string home = environment("HOME");
  if (!home.empty()) {
    if (home.front() != '/') throw std::runtime_error("HOME must be an absolute directory");
    return home;
  }
  const passwd* entry = getpwuid(getuid());
  if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] == '\0') {
    throw std::runtime_error("Cannot find your home directory");
  }
  return entry->pw_dir;
}

}  // namespace

std::string application_directory() {
  const std::string data_home = environment("XDG_DATA_HOME");
  if (!data_home.empty()) {
    if (data_home.front() != '/') throw std::runtime_error("XDG_DATA_HOME must be an absolute directory");
    return data_home + "/halvex";
  }
  return home_directory() + "/.local/share/halvex";
}

void ensure_private_directory(const std::string& path) {
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
    throw std::runtime_error("Application directory must be a directory owned by your user: " + path);
  }
  if (chmod(path.c_str(), 0700) != 0) throw std::runtime_error("Cannot protect the application directory");
}

std::string read_text_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace orvane
