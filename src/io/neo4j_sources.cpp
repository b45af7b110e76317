// Which importer a migration source goes to (an APOC export file, an export
// directory), and the sources that reach it through a bridge: a ".dump" archive,
// converted into a private directory that is removed afterwards, and a live
// server, pulled into a caller-named directory with the credentials in a
// private file.
//
// A pull's directory must not already hold an export: the importer reads
// whichever node file it finds first, so stale files left from an earlier
// pull (or anything else) would be imported and reported as success even
// when the bridge wrote its files under other names.
//
// A dump's import errors name the dump as the user gave it and the file and
// line of the decoded export, "DUMP: decoded nodes.jsonl line 5: MESSAGE":
// the user never sees that file, but the bridge writes one record per line
// in the dump's order, so line 5 is the dump's fifth node.
#include <filesystem>
#include <stdexcept>

#include "graph/database.h"
#include "io/bridge.h"
#include "io/import_position.h"
#include "io/neo4j_import.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

bool entry_exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

Database import_neo4j_source(const std::string& source, std::vector<std::string>* ignored) {
  const std::string extension = fs::path(source).extension().string();
  std::error_code ec;
  if (extension == ".dump") {
    if (!fs::is_regular_file(source, ec)) throw std::runtime_error("Neo4j dump file is missing");
    const PrivateImportDirectory work;
    const std::string export_directory = work.path() + "/export";
    run_bridge("import_neo4j_dump.py", {"--dump", source, "--out", export_directory, "--typed"});
    // The bridge writes everything the dump holds, every value with its type
    // (dates, datetimes with their zones, points, temporal lists), which the
    // import reads as typed values. Its errors name the dump and the line of
    // the decoded file, the dump's Nth node or relationship.
    try {
      return import_neo4j_export(export_directory);
    } catch (const ImportPositionError& e) {
      throw ImportPositionError(source + ": decoded " + e.file(), e.line(), e.column(), e.message());
    }
  }
  if ((extension == ".json" || extension == ".jsonl" || extension == ".csv") && fs::is_regular_file(source, ec)) {
    return import_apoc_export(source);
  }
  return import_neo4j_export(source, ignored);
}

void check_pull_directory(const std::string& directory) {
  for (const auto& names : {kNeo4jNodeFiles, kNeo4jRelationshipFiles}) {
    for (const char* name : names) {
      if (entry_exists(fs::path(directory) / name)) {
        throw std::runtime_error("Neo4j pull directory already holds an export: " + directory +
                                 "; choose a new directory");
      }
    }
  }
}

void run_neo4j_pull(const std::string& bolt_uri, const std::string& user, const std::string& password,
                    const std::string& database, const std::string& out_directory) {
  check_pull_directory(out_directory);
  const PrivateImportDirectory work;
  const std::string credentials = write_private_credentials(work.path(), user, password);
  run_bridge("pull_neo4j.py",
             {"--bolt", bolt_uri, "--credentials-file", credentials, "--database", database, "--out", out_directory,
              "--typed"});
}

}  // namespace orvane
