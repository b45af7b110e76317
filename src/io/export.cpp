// export_graph: build the files in a private staging directory beside the
// destination, make them durable, then publish with one no-replace rename.
// Until that rename nothing is visible at the destination, and the rename
// never replaces an entry, so two racing exports cannot mix their files:
// exactly one publishes and the other removes its staging directory.
#include "io/transfer_progress.h"
#include "io/export.h"

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "graph/database.h"
#include "io/export_writer.h"
#include "storage/atomic_file.h"
#include "storage/staging_directory.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

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
  if (TransferProgress* progress = current_progress()) {
    progress->total_records = db.graph.node_count + db.graph.edges.size();
  }
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
