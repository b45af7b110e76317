// export_graph: build the files in a private staging directory beside the
// destination, make them durable, then publish with one no-replace rename.
// Until that rename nothing is visible at the destination, and the rename
// never replaces an entry, so two racing exports cannot mix their files:
// exactly one publishes and the other removes its staging directory.
#include "io/export.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/export_writer.h"
#include "storage/atomic_file.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Removes the staging directory unless release() was called.
class StagingGuard {
 public:
  explicit StagingGuard(std::string path) : path_(std::move(path)) {}
  ~StagingGuard() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  StagingGuard(const StagingGuard&) = delete;
  StagingGuard& operator=(const StagingGuard&) = delete;
  void release() { path_.clear(); }

 private:
  std::string path_;
};

void write_jsonl_files(const Database& db, const fs::path& dir) {
  ExportFile nodes((dir / "nodes.jsonl").string());
  if (!nodes.is_open()) throw std::runtime_error("cannot write nodes.jsonl");
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    nodes.put("{\"id\":");
    nodes.put_number(id);
    nodes.put(",\"label\":");
    nodes.put(nlohmann::json(db.node_type_name(db.graph.labels[id])).dump());
    nodes.put(",\"properties\":");
    nodes.put(db.node_properties(id).dump());
    nodes.put("}\n");
  }
  const bool nodes_ok = nodes.finish();

  ExportFile rels((dir / "rels.jsonl").string());
  if (!rels.is_open()) throw std::runtime_error("cannot write rels.jsonl");
  std::vector<std::string> type_texts;
  for (const std::string& t : db.rel_types) type_texts.push_back(nlohmann::json(t).dump());
  for_each_export_relationship(db, [&](std::uint32_t src, std::uint32_t dst, std::uint16_t type) {
    rels.put("{\"dst\":");
    rels.put_number(dst);
    rels.put(",\"src\":");
    rels.put_number(src);
    rels.put(",\"type\":");
    rels.put(type_texts[type]);
    rels.put("}\n");
  });
  const bool rels_ok = rels.finish();
  if (!nodes_ok || !rels_ok) throw std::runtime_error("JSONL export write failed");
}

// The absolute, lexically normal destination without a trailing separator.
fs::path normal_destination(const std::string& destination) {
  fs::path path = fs::absolute(destination).lexically_normal();
  if (path.filename().empty() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  return path;
}

}  // namespace

void export_graph(const Database& db, const std::string& destination, const std::string& format) {
  if (destination.empty()) throw std::runtime_error("export destination is required");
  if (format != "csv" && format != "jsonl") throw std::runtime_error("export format must be csv or jsonl");
  if (!db.graph.compiled) throw std::runtime_error("compile the graph before exporting");

  const fs::path target = normal_destination(destination);
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) {
    throw std::runtime_error("export destination already exists; choose a new directory");
  }

  std::error_code ec;
  const fs::path parent = target.parent_path();
  fs::create_directories(parent, ec);
  std::string pattern = (parent / ".halvex-export-XXXXXX").string();
  if (ec || ::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create private export staging directory");
  }
  StagingGuard guard(pattern);

  if (format == "csv") {
    write_csv_files(db, pattern, false);
  } else {
    write_jsonl_files(db, pattern);
  }
  publish_directory(pattern, target.string(), "export sync failed",
                    "cannot publish export; destination must not exist", "export directory sync failed");
  guard.release();
}

}  // namespace orvane
