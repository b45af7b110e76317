// The database catalogue: which named databases a server keeps on disk,
// in which files, and which of them is current. A server that serves
// several databases keeps each one in a file of its own beside its main
// snapshot, so that saving one never replaces another; the catalogue ties
// the names to the files and is replaced atomically, so a reader sees either
// the old set or the new one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct CatalogueEntry {
  std::string name;  // the database name, exactly as registered
  std::string file;  // a plain file name in the catalogue's folder (no '/')
};

struct Catalogue {
  std::string current;                    // the selected database; may name one without a file
  std::vector<CatalogueEntry> databases;  // in the order they got their files
};

// Where the catalogue of the snapshot at `snapshot_path` lives:
// snapshot_path + ".catalog".
std::string catalogue_path(const std::string& snapshot_path);

// Writes `catalogue` to `path` by atomic replacement as one JSON object
// {"version":1,"current":NAME,"databases":[{"name":N,"file":F},...]}.
// Throws the atomic writer's messages, prefixed "cannot write database
// catalogue".
void write_catalogue(const std::string& path, const Catalogue& catalogue);

// The catalogue at `path`, or nullopt when no file is there. Throws
// std::runtime_error "invalid database catalogue PATH: REASON" for a file
// that is not one (bad JSON, another version, an empty or repeated name, a
// file entry that is empty, "." or "..", or holds a '/'), and "cannot read
// database catalogue PATH: REASON" when it cannot be read. Never follows a
// file entry out of the folder.
std::optional<Catalogue> read_catalogue(const std::string& path);

}  // namespace orvane
