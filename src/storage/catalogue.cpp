// The catalogue is small JSON rather than a binary section: it is read once
// at start, written only when a database gets its file or the selection
// changes, and a user inspecting a data folder can read it. It is read
// with a size bound and every entry checked, since the file names it lists
// are opened and, on replacement, written.
#include "storage/catalogue.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "storage/atomic_file.h"

namespace orvane {
namespace {

constexpr int kVersion = 1;
constexpr std::size_t kMaxCatalogueBytes = 16 << 20;

[[noreturn]] void invalid(const std::string& path, const std::string& reason) {
  throw std::runtime_error("invalid database catalogue " + path + ": " + reason);
}

bool plain_file_name(const std::string& file) {
  return !file.empty() && file != "." && file != ".." && file.find('/') == std::string::npos &&
         file.find('\0') == std::string::npos;
}

}  // namespace

std::string catalogue_path(const std::string& snapshot_path) { return snapshot_path + ".catalog"; }

void write_catalogue(const std::string& path, const Catalogue& catalogue) {
  nlohmann::json list = nlohmann::json::array();
  for (const CatalogueEntry& entry : catalogue.databases) list.push_back({{"name", entry.name}, {"file", entry.file}});
  const std::string text =
      nlohmann::json{{"version", kVersion}, {"current", catalogue.current}, {"databases", std::move(list)}}.dump() +
      "\n";
  static const AtomicWriteErrors errors{"cannot write database catalogue",
                                        "cannot write database catalogue: cannot create a temporary file",
                                        "cannot write database catalogue: sync failed",
                                        "cannot write database catalogue: close failed",
                                        "cannot write database catalogue: replacement failed",
                                        "cannot write database catalogue: directory sync failed"};
  replace_file_atomically(path, errors, [&](int fd) {
    if (!write_all(fd, text.data(), text.size())) {
      throw std::runtime_error(std::string("cannot write database catalogue: ") + std::strerror(errno));
    }
  });
}

std::optional<Catalogue> read_catalogue(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return std::nullopt;
    throw std::runtime_error("cannot read database catalogue " + path + ": " + std::strerror(errno));
  }
  std::string text;
  char block[65536];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    text.append(block, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxCatalogueBytes) invalid(path, "larger than 16 MiB");
  }
  nlohmann::json doc;
  try {
    doc = parse_json_bounded(text);
  } catch (const std::exception& e) {
    invalid(path, e.what());
  }
  if (!doc.is_object()) invalid(path, "not a JSON object");
  const auto version = doc.find("version");
  if (version == doc.end() || !version->is_number_integer() || version->get<int>() != kVersion) {
    invalid(path, "unsupported version");
  }
  const auto current = doc.find("current");
  const auto list = doc.find("databases");
  if (current == doc.end() || !current->is_string()) invalid(path, "no current database");
  if (list == doc.end() || !list->is_array()) invalid(path, "no database list");
  Catalogue out;
  out.current = current->get<std::string>();
  std::set<std::string> names, files;
  for (const nlohmann::json& item : *list) {
    if (!item.is_object() || !item.contains("name") || !item.contains("file") || !item["name"].is_string() ||
        !item["file"].is_string()) {
      invalid(path, "a database entry needs a name and a file");
    }
    CatalogueEntry entry{item["name"].get<std::string>(), item["file"].get<std::string>()};
    if (entry.name.empty() || !names.insert(entry.name).second) invalid(path, "empty or repeated database name");
    if (!plain_file_name(entry.file) || !files.insert(entry.file).second) {
      invalid(path, "file entry \"" + entry.file + "\" is not a plain, unique file name");
    }
    out.databases.push_back(std::move(entry));
  }
  return out;
}

}  // namespace orvane
