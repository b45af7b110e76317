// The external import bridges: Python programs installed with orvane that
// turn a Neo4j ".dump" archive or a live Neo4j server into an export
// directory, which the importer (io/neo4j_import.h) then reads. This module
// finds installed files, makes the private directories the bridges write
// into, hands credentials over in a private file, and runs a bridge.
#pragma once

#include <string>
#include <vector>

namespace orvane {

// The installed location of `name` (such as "web" or "scripts/pull_neo4j.py"):
// the first existing entry of ORVANE_HOME/share/halvex/NAME and
// ORVANE_HOME/NAME (when ORVANE_HOME is set and non-empty) and
// PREFIX/share/halvex/NAME, PREFIX being the parent of the directory that
// holds the running executable, then EXEDIR/share/halvex/NAME, EXEDIR being
// that directory itself (a build tree, which assembles its share/halvex
// beside the executable); made absolute. When none exists, `name` made
// absolute against the current directory. Never throws for a missing entry.
std::string installation_path(const std::string& name);

// Creates a new directory "corvadd-import-XXXXXX" (mkdtemp, mode 0700) in
// the system temporary directory and returns its path. Throws
// std::runtime_error "cannot create private import directory".
std::string make_private_import_directory();

// A private import directory that is removed with everything in it when
// this object is destroyed, whatever way the work inside ended; errors
// while removing are ignored.
class PrivateImportDirectory {
 public:
  PrivateImportDirectory() : path_(make_private_import_directory()) {}
  ~PrivateImportDirectory();
  PrivateImportDirectory(const PrivateImportDirectory&) = delete;
  PrivateImportDirectory& operator=(const PrivateImportDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes {"password":…,"user":…} to DIRECTORY/credentials.json, created
// with mode 0600 from the start (O_CREAT | O_EXCL | O_NOFOLLOW: never an
// existing file or link), and returns the file's path. Throws
// "cannot write private migration credentials" when the file cannot be
// created and "cannot save private migration credentials" when it cannot be
// written completely.
std::string write_private_credentials(const std::string& directory, const std::string& user,
                                      const std::string& password);

// Runs installation_path("scripts/" + script_name) with the interpreter
// named by PYTHON (when set and non-empty, else "python3" from PATH) and
// `arguments`, through the system shell, and waits for it. Every word is
// single-quoted on the command line, so quotes, blanks and "$(...)" in an
// argument reach the script unchanged and are never run. The bridge's
// output goes to this program's standard output and error. Throws
// "SCRIPT not found; set ORVANE_HOME to the installation root" when the
// script is not a regular file, and "Neo4j import failed; destination
// unchanged. Check source compatibility and the decoder error above." when
// it does not exit with status 0.
void run_bridge(const std::string& script_name, const std::vector<std::string>& arguments);

}  // namespace orvane
