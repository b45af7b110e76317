// Migration from Neo4j: an export directory (a node file and a relationship
// file, each in Neo4j's bulk CSV layout or as JSON lines) becomes a fresh,
// compiled Database; a ".dump" archive and a live server go through the
// bridge scripts (io/bridge.h) into such a directory first.
//
// Every function here builds a new Database and returns it only when the
// whole input was valid, so the caller's graphs, registry and snapshot files
// are untouched by a failed import: the caller replaces or registers the
// result. Laying the graph out (optimize_layout) is the caller's step.
#pragma once

#include <array>
#include <string>
#include <vector>


namespace orvane {

class Database;

// The node and relationship file names of an export directory, in the order
// they are looked for.
inline constexpr std::array<const char*, 4> kNeo4jNodeFiles = {"nodes.csv", "nodes.jsonl", "nodes.ndjson",
                                                               "nodes.csv.txt"};
inline constexpr std::array<const char*, 4> kNeo4jRelationshipFiles = {"rels.csv", "relationships.csv",
                                                                       "rels.jsonl", "relationships.jsonl"};

// Imports the export directory `directory` into a new compiled Database
// (positions equal to identities). The first node file and the first
// relationship file that can be opened are read, as JSON lines when the
// name ends in ".jsonl"/".ndjson" or the first non-blank byte is "{",
// otherwise as CSV. Source identities are matched as exact strings.
// Throws on the first invalid record with its complete message, among them
// "CSV/JSONL migration requires an existing export directory: PATH",
// "cannot read nodes.csv or nodes.jsonl in PATH", "cannot read
// relationships.csv or rels.jsonl in PATH", and the messages of one
// record: the CSV reader's and typing messages (io/csv_reader.h), the JSON
// library's parse errors and the import's own, each after the record's
// position in the form "FILE line L: " (JSON lines, or a whole CSV record)
// or "FILE line L, column C (NAME): " (one CSV field's value), FILE being
// the file's name in the directory and L the 1-based line the record
// starts on ("nodes.csv line 17, column 3 (born): invalid integer
// property"). A file without a CSV header fails as "FILE: node CSV header
// is missing" (relationship likewise).
//
// Every label, property, relationship property and parallel relationship
// is imported.
//
// With `ignored`, a successful import sets it to the names of the other
// entries of the directory (files it did not read: a second node file, a
// file of another name, a folder), sorted, hidden names left out, so that
// the caller can say what was not imported.
Database import_neo4j_export(const std::string& directory, std::vector<std::string>* ignored = nullptr);

// Imports a single-file APOC export: a file whose name ends in ".json" or
// ".jsonl" as apoc.export.json output (JSON lines), any other as
// apoc.export.csv.all output; the node, label, property and relationship
// rules are those of an export directory. Throws the
// readers' messages, "APOC CSV export requires the columns _id, _labels,
// _start, _end and _type", "APOC JSON line is neither a node nor a
// relationship (...)" and "APOC JSON export must be JSON lines; ...", each
// after its position as for an export directory, FILE being `file` as
// given; a relationship added after the last line because it named a node
// defined later, or never, fails at its own line.
Database import_apoc_export(const std::string& file);

// The engine-free half of a migration: a source path ending in ".dump"
// must be an existing regular file ("Neo4j dump file is missing"); it is
// converted by the "import_neo4j_dump.py" bridge into "export" inside a new
// private import directory, imported, and the private directory removed on
// every exit. A regular file ending in ".json", ".jsonl" or ".csv" is an
// APOC export (import_apoc_export). Any other path is imported as an export
// directory. `ignored` as for import_neo4j_export (a dump
// and an APOC file ignore nothing). Throws the bridge's and the import's
// messages; a dump's record errors name the dump and the decoded file,
// "DUMP: decoded nodes.jsonl line 5: MESSAGE", where the bridge writes one
// record a line in the dump's order.
Database import_neo4j_source(const std::string& source, std::vector<std::string>* ignored = nullptr);

// Refuses an output directory of a live pull that already holds any node or
// relationship file name above (a dangling link counts), so stale files can
// never be imported as fresh ones: throws "Neo4j pull directory already
// holds an export: " + directory + "; choose a new directory". A missing
// directory is accepted.
void check_pull_directory(const std::string& directory);

// The engine-free half of a live pull: checks `out_directory`
// (check_pull_directory), writes the user and password into a private
// credentials file (io/bridge.h) and runs the "pull_neo4j.py" bridge with
// "--bolt URI --credentials-file FILE --database NAME --out DIR", so the
// password never appears on a command line. The private directory with the
// credentials is removed on every exit. The caller then imports
// `out_directory`. Throws the check's, the credentials' or the bridge's
// message.
void run_neo4j_pull(const std::string& bolt_uri, const std::string& user, const std::string& password,
                    const std::string& database, const std::string& out_directory);

}  // namespace orvane
