// export_graph: build the files in a private staging directory beside the
// destination, make them durable, then publish with one no-replace rename.
// Until that rename nothing is visible at the destination, and the rename
// never replaces an entry, so two racing exports cannot mix their files:
// exactly one publishes and the other removes its staging directory.
#include "io/export.h"

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/export_writer.h"
#include "storage/atomic_file.h"
#include "storage/staging_directory.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// One JSON object per line, in identity order; properties in typed JSON.
void write_jsonl_files(const Database& db, const fs::path& dir) {
  const PhysicalGraph& g = db.graph;
  ExportFile nodes((dir / "nodes.jsonl").string());
  if (!nodes.is_open()) throw std::runtime_error("cannot write nodes.jsonl");
  std::vector<std::string> label_texts;
  for (const std::string& label : db.node_types) label_texts.push_back(nlohmann::json(label).dump());
  std::size_t extra = 0;  // cursor into extra_label_nodes, which is ascending by identity
  for (std::uint32_t id = 0; id < g.node_count; ++id) {
    nodes.put("{\"id\":");
    nodes.put_number(db.node_id(id));
    nodes.put(",\"labels\":[");
    if (g.labels[id] != kNoLabel) {
      nodes.put(label_texts[g.labels[id]]);
      for (; extra < g.extra_label_nodes.size() && g.extra_label_nodes[extra] <= id; ++extra) {
        if (g.extra_label_nodes[extra] != id) continue;
        nodes.put(',');
        nodes.put(label_texts[g.extra_labels[extra]]);
      }
    }
    nodes.put("],\"properties\":");
    nodes.put(db.node_properties(id).dump());
    nodes.put("}\n");
  }
  const bool nodes_ok = nodes.finish();

  ExportFile rels((dir / "rels.jsonl").string());
  if (!rels.is_open()) throw std::runtime_error("cannot write rels.jsonl");
  std::vector<std::string> type_texts;
  for (const std::string& t : db.rel_types) type_texts.push_back(nlohmann::json(t).dump());
  for (std::uint32_t rel = 0; rel < g.edges.size(); ++rel) {
    rels.put("{\"id\":");
    rels.put_number(db.relationship_id(rel));
    rels.put(",\"src\":");
    rels.put_number(db.node_id(g.edges[rel].src));
    rels.put(",\"dst\":");
    rels.put_number(db.node_id(g.edges[rel].dst));
    rels.put(",\"type\":");
    rels.put(type_texts[g.edges[rel].type]);
    // Most relationships have no properties: no JSON object for them.
    if (rel < db.rel_store.size() && db.rel_store.count(rel) != 0) {
      rels.put(",\"properties\":");
      rels.put(db.relationship_properties(rel).dump());
      rels.put("}\n");
    } else {
      rels.put(",\"properties\":{}}\n");
    }
  }
  const bool rels_ok = rels.finish();
  if (!nodes_ok || !rels_ok) throw std::runtime_error("JSONL export write failed");
}

constexpr const char* kStagingPrefix = ".halvex-export-";
constexpr const char* kStagingMessage = "cannot create private export staging directory";

// The absolute, lexically normal destination without a trailing separator.
fs::path normal_destination(const std::string& destination) {
  fs::path path = fs::absolute(destination).lexically_normal();
  if (path.filename().empty() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  return path;
}

}  // namespace

void check_export_request(const std::string& destination, const std::string& format) {
  if (destination.empty()) throw std::runtime_error("export destination is required");
  if (format != "csv" && format != "jsonl") throw std::runtime_error("export format must be csv or jsonl");
  const fs::path target = normal_destination(destination);
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) {
    throw std::runtime_error("export destination already exists; choose a new directory");
  }
}

void export_graph(const Database& db, const std::string& destination, const std::string& format) {
  check_export_request(destination, format);
  if (!db.graph.compiled) throw std::runtime_error("compile the graph before exporting");
  const fs::path target = normal_destination(destination);

  std::error_code ec;
  const fs::path parent = target.parent_path();
  fs::create_directories(parent, ec);
  if (ec) throw std::runtime_error(kStagingMessage);
  StagingDirectory staging(parent.string(), kStagingPrefix, kStagingMessage);
  if (format == "csv") {
    write_csv_files(db, staging.path(), false);
  } else {
    write_jsonl_files(db, staging.path());
  }
  staging.publish_as(target.string(), "export sync failed", "cannot publish export; destination must not exist",
                     "export directory sync failed");
}

bool check_corpus_target(const std::string& directory) {
  if (directory.empty()) throw std::runtime_error("cannot write corpus files: no path given");
  const fs::path target = normal_destination(directory);
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    // A new directory: its parent must be able to take it.
    publish_target(target.string(), "cannot write corpus files to");
    return false;
  }
  if (!S_ISDIR(st.st_mode)) throw std::runtime_error("cannot write corpus files to " + directory + ": not a directory");
  for (const char* name : {"nodes.csv", "rels.csv"}) {
    publish_target((target / name).string(), "cannot write corpus files");
  }
  return true;
}

void publish_corpus_files(const Database& db, const std::string& directory) {
  const fs::path target = normal_destination(directory);
  if (!check_corpus_target(directory)) {
    // A new directory appears whole, as an export does.
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) throw std::runtime_error(kStagingMessage);
    StagingDirectory staging(target.parent_path().string(), kStagingPrefix, kStagingMessage);
    write_csv_files(db, staging.path(), true);
    staging.publish_as(target.string(), "corpus files sync failed", "cannot publish corpus files",
                       "corpus files sync failed");
    return;
  }
  // An existing directory may hold other files (snapshots, reports): the two
  // files are built in a staging directory inside it and renamed over the
  // old ones.
  StagingDirectory staging(target.string(), kStagingPrefix, kStagingMessage);
  write_csv_files(db, staging.path(), true);
  staging.publish_into(target.string(), {"nodes.csv", "rels.csv"}, "corpus files sync failed",
                       "cannot publish corpus files");
}

}  // namespace orvane
