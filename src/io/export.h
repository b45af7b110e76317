// Export of a compiled graph to a new directory: Neo4j bulk-import CSV
// (nodes.csv, rels.csv) or JSON lines (nodes.jsonl, rels.jsonl), and the
// benchmark CSV layout of generated corpora.
//
// Both formats carry the whole graph so that an import gives it back:
// nodes in identity order with their identities as numbers and every label
// in order, relationships in relationship identity order (parallel ones
// included), and every property of both with its type.
//
//   nodes.csv     :ID,:LABEL,KEY:TYPE,...[,properties:json]
//   rels.csv      :START_ID,:END_ID,:TYPE,KEY:TYPE,...[,properties:json]
//   nodes.jsonl   {"id":N,"labels":[...],"properties":{typed JSON}}
//   rels.jsonl    {"id":R,"src":S,"dst":T,"type":"X","properties":{typed JSON}}
//
// The CSV column types and texts are neo4j-admin's (io/csv_types.h); the
// column rules are at the top of csv_writer.cpp.
#pragma once

#include <string>

namespace orvane {

class Database;

// Writes `db` into the new directory `destination` in `format` ("csv" or
// "jsonl"). The files are built in a private staging directory
// ".halvex-export-XXXXXX" beside the destination (locked while this
// process builds it, and removed by a later export if this one is killed),
// synced with the staging directory, published by a rename that never replaces anything, and the
// parent is synced after it, so the destination is either absent or complete
// and durable. Throws "export destination is required", "export format must
// be csv or jsonl", "compile the graph before exporting", "export
// destination already exists; choose a new directory" (anything at the path,
// a dangling link included), "cannot create private export staging
// directory", the writers' messages, or std::system_error "cannot publish
// export; destination must not exist" with the system's error. Every failure
// removes the staging directory.
void export_graph(const Database& db, const std::string& destination, const std::string& format);

// The checks of export_graph that need no graph (destination given and
// free, format known), for commands to run before they load one; the same
// messages.
void check_export_request(const std::string& destination, const std::string& format);

// Refuses, before any work, a corpus directory that publish_corpus_files
// would refuse: an empty path, a path that is not a directory, a nodes.csv
// or rels.csv in it that is not a regular file, or a missing directory
// whose parent cannot take it. Returns true when the directory exists.
bool check_corpus_target(const std::string& directory);

// The corpus files of the generate command: nodes.csv and rels.csv of `db`
// in the benchmark layout, published in `directory` so that a crash or a
// full disk never leaves a file cut short. A missing directory is created
// whole, as an export is; in an existing directory (which may hold other
// files) both files are built in a staging directory inside it and each
// replaces its old version by one rename. Stale staging directories of
// killed exports or generations beside the files are removed first. Throws
// "cannot write corpus files to DIR: not a directory", publish_target's
// refusals for the two file names ("cannot write corpus files ..."),
// write_csv_files' messages, or "cannot publish corpus files".
void publish_corpus_files(const Database& db, const std::string& directory);

// Creates `directory` with its parents and writes nodes.csv and rels.csv: in
// the export layout (one typed column per property key, see the top of this
// file) or, with
// `benchmark_layout`, the generated-corpus layout
// ("id:ID,name,topic:int,emb:float[],:LABEL", relationships grouped by start
// node in position order, without properties), which accepts only Person and
// Paper nodes ("benchmark layout is for generated Person/Paper corpora
// only", checked before any file is written). Throws "compile the graph
// before exporting", "cannot write nodes.csv", "cannot write rels.csv" or
// "CSV export write failed".
void write_csv_files(const Database& db, const std::string& directory, bool benchmark_layout);

}  // namespace orvane
