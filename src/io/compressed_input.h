// Input files as neo4j-admin reads them: plain, gzip-compressed, or the one
// file of a zip archive. The kind is read from the file's first bytes
// (1F 8B for gzip, "PK" 03 04 for zip), not its name, so "nodes.csv.gz"
// and a compressed file named "nodes.csv" read the same.
#pragma once

#include <istream>
#include <memory>
#include <string>

namespace orvane {

// A stream of `path`'s contents, decompressed. Throws ImportPositionError
// (io/import_position.h) for the file as a whole: "cannot be opened", "zip
// archive holds no file", "zip archive cannot be read: REASON"; reading a
// damaged gzip or zip stream later throws std::runtime_error "gzip data is
// damaged: REASON" or "zip data is damaged: REASON" from the stream
// buffer, which the CSV reader passes on.
std::unique_ptr<std::istream> open_import_input(const std::string& path);

}  // namespace orvane
