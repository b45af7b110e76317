// Operations of the HTTP API that reach beyond the console's statements:
// the databases document with connection strings, remote connection
// registration from request fields, the cutover plan, vector retrieval for a
// text and export of the current database. They live here so that the route
// table needs the console alone and never the remote, analytics or export
// libraries directly.
//
// None is thread-safe: callers give the Engine exclusive use (the server
// holds its engine mutex).
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

class Engine;

// {"current":NAME,"names":[…],"connections":[{"database":…,"connection":…},…],
// "files":[{"database":…,"file":…},…]} with every registered name sorted by
// bytes, for each the halvex:// connection string for `host` (HOST or
// HOST:PORT; "127.0.0.1:7475" when empty) and that database, and the file
// it is kept in (null while it lives in memory only). Every name and string
// is JSON-escaped.
std::string databases_document(const Engine& engine, const std::string& host);

// The request fields of a remote connection; an empty field changes nothing.
struct RemoteFields {
  std::string connection;  // halvex:// connection string, parsed first
  std::string name;
  std::string url;  // HOST:PORT or HOST
  std::string password;
  std::string key_file;
  std::string database;
  std::string port;  // decimal text
};

// Builds an endpoint from `fields` (the connection string first, then every
// non-empty field replaces its part), probes it and registers it with
// add_remote_connection. Throws, before anything changes, "invalid
// connection string" when a non-empty connection string does not parse,
// std::invalid_argument / std::out_of_range "stoul" for a port that is not a
// number, and "invalid port: TEXT" for a port outside 1–65535.
void register_remote(Engine& engine, const RemoteFields& fields);

// The cutover runbook for the default options, with each non-empty argument
// replacing the Bolt URI, the dump directory and the Halvex host.
std::string cutover_plan_document(const std::string& bolt, const std::string& dump_dir, const std::string& host);

// The retrieval document for `text` over the current database: the text's
// query embedding, the `k` best papers and a `hops`-level subgraph (a
// negative `hops` reads as 0). Throws "unknown database: NAME" and the
// embedding's "stoul" for a topic number out of range.
std::string retrieval_document(const Engine& engine, const std::string& text, std::uint64_t k, int hops);

// Exports the current database into the new directory `destination` in
// `format` ("csv" or "jsonl"). Throws "unknown database: NAME" and every
// message of the export ("export destination is required", …).
void export_current(const Engine& engine, const std::string& destination, const std::string& format);

}  // namespace orvane
