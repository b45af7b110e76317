// orvane::Engine: the state a server and its console share — the open
// databases (the registry) and the current one, the statement counters,
// the query log, the change events, the console settings (parameters,
// style, auto-entropy interval) and the remote connections.
//
// One Engine per server process, owned by whoever serves it and lent by
// reference. It has no lock: a server uses it under one engine mutex, a
// command from its single thread.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "graph/database.h"
#include "remote/remote_endpoint.h"

namespace orvane {

// The graph style of a new engine: captions and colours per label and type.
inline constexpr const char* kDefaultStyle =
    R"({"node":{"caption":"{name}","Person":"#0b1f33","Paper":"#1a4f8b"},)"
    R"("rel":{"FOLLOWS":"#1a4f8b","AUTHORED":"#0b1f33"}})";

inline constexpr std::size_t kQueryLogCapacity = 200;  // entries kept; older ones are dropped
// Change events kept. Every :param records its whole value, so an unbounded
// list would grow a long-running server's memory without limit.
inline constexpr std::size_t kChangeEventCapacity = 10000;

struct ChangeEvent {
  std::string op;      // what changed, e.g. "create_node"
  std::string detail;  // the operation's argument text
};

struct QueryLogEntry {
  std::string cypher;  // the statement exactly as given
  double ns = 0;       // elapsed nanoseconds; 0 for a statement that failed
  bool ok = false;     // the statement succeeded
};

class Engine {
 public:
  std::string web_root;                 // console web files; empty means "web"
  std::string site_root = "site";       // product site files; empty also means "site"
  std::string snapshot_path;            // where a mutated graph is saved; empty: nowhere
  std::string instance_id;              // identity of this server process
  std::uint64_t statement_count = 0;    // statements that succeeded
  std::uint64_t error_count = 0;        // statements that failed
  double total_statement_ns = 0;        // sum of the succeeded statements' times
  std::deque<ChangeEvent> changes;      // the latest kChangeEventCapacity mutations, oldest first
  std::uint64_t change_count = 0;       // every change event ever recorded
  std::deque<QueryLogEntry> query_log;  // the latest kQueryLogCapacity statements, oldest first
  std::int32_t auto_entropy_every = 0;  // optimise every this many statements; 0: never
  std::int32_t statements_since_optimize = 0;
  std::vector<RemoteEndpoint> remotes;  // registered remote connections
  std::unordered_map<std::string, Database> databases;  // the registry: name → database
  std::string current = "orvane";       // selected database; need not be registered
  std::unordered_map<std::string, std::string> params{{"id", "0"}, {"other", "12"}};  // :param values as text
  std::string style = kDefaultStyle;    // JSON text set with :style

  // The database registered under `name`, or under the current name when
  // `name` is empty. Throws std::runtime_error "unknown database: NAME" (the
  // effective name) when there is none. The reference stays valid until a
  // database is registered under the same name.
  Database& database(const std::string& name = "");
  const Database& database(const std::string& name = "") const;

  // Registers `db` under `name`, destroying a database already registered
  // there; the current database does not change. Throws std::runtime_error
  // "database name must not be empty": the empty name always means the
  // current database, so a database registered under it could never be
  // addressed.
  void register_database(const std::string& name, Database db);

  // Makes `name` the current database. Throws "unknown database: NAME" and
  // leaves the selection as it was when `name` is not registered.
  void use_database(const std::string& name);

  // Appends a change event, dropping the oldest beyond
  // kChangeEventCapacity, and counts it in change_count.
  void record_change(std::string op, std::string detail);

  // Appends a query log entry, dropping the oldest beyond kQueryLogCapacity.
  void log_statement(std::string cypher, double ns, bool ok);
};

// "unknown database: " + name, the registry's one failure message.
std::string unknown_database_message(const std::string& name);

}  // namespace orvane
