// What a Bolt session runs statements on. The session owns the protocol
// (states, messages, streaming, failures); a backend owns everything a
// statement needs (users, databases, the engine, transactions). The
// server's wiring is an implementation of BoltBackend over the console's
// Engine and CypherCursor; the tests use a scripted one.
//
// Errors: a backend throws BoltError with the status code to report (an
// engine error mapped through status_codes.h, Neo.ClientError.Security.
// Unauthorized for refused credentials); any other exception is reported
// as Neo.DatabaseError.General.UnknownError with its message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bolt/messages.h"
#include "bolt/value_mapping.h"
#include "graph/cypher_value.h"

namespace orvane {
class Database;
}

namespace orvane::bolt {

// How a finished statement went, for the SUCCESS that ends its stream.
struct ResultSummary {
  std::string type = "r";  // "r" read, "w" write, "rw" both, "s" schema
  std::string db;          // the database it ran on; "" when unnamed
  std::string bookmark;    // auto-commit only: the bookmark of its commit; "" for none
  // What a write changed, by Neo4j's counter names ("nodes-created", ...);
  // counters that stayed 0 are left out.
  std::vector<std::pair<std::string, std::int64_t>> stats;
};

// One running statement: its columns, then its records in batches.
class BoltResult {
 public:
  virtual ~BoltResult() = default;
  virtual const std::vector<std::string>& columns() const = 0;
  // Appends up to `n` records (n ≥ 1), each the PackStream bytes of a
  // RECORD message in `format`, to `records`; returns whether more may
  // follow. Throws the statement's run-time errors; the result is then
  // dropped and the statement rolled back by its destructor.
  virtual bool fetch_records(std::size_t n, const ValueFormat& format, std::vector<std::string>& records) = 0;
  // Ends the statement, dropping the records not fetched; an auto-commit
  // statement commits its writes here. Throws as fetch_records().
  virtual ResultSummary finish() = 0;
};

// A result whose rows are values, written as records when fetched: the
// nodes, relationships and paths they hold are read from database().
class RowResult : public BoltResult {
 public:
  // Appends up to `n` rows (n ≥ 1) to `rows`; returns whether more may
  // follow. Throws as fetch_records().
  virtual bool fetch(std::size_t n, std::vector<std::vector<CypherValue>>& rows) = 0;
  // The database the rows' nodes and relationships belong to; null when no
  // row can hold one.
  virtual const Database* database() const = 0;
  bool fetch_records(std::size_t n, const ValueFormat& format, std::vector<std::string>& records) override;
};

// The PackStream bytes of the RECORD message of `row`, its graph values
// read from `db` (value_mapping.h).
std::string record_message(const std::vector<CypherValue>& row, const Database* db, const ValueFormat& format);

// Where a routing driver sends its work: addresses "host:port".
struct RoutingTable {
  std::int64_t ttl = 300;  // seconds the driver may keep it
  std::string db;
  std::vector<std::string> routers, readers, writers;
};

class BoltBackend {
 public:
  virtual ~BoltBackend() = default;
  // Accepts or refuses `auth` (throws BoltError with
  // Neo.ClientError.Security.Unauthorized to refuse).
  virtual void authenticate(const AuthToken& auth) = 0;
  // Starts `text` with `parameters`: in the open transaction when
  // `in_transaction`, else as its own auto-commit transaction under
  // `settings`; its records are written in `format`. Throws compile-time
  // errors.
  virtual std::unique_ptr<BoltResult> run(const std::string& text, const CypherMap& parameters,
                                          const TxSettings& settings, bool in_transaction,
                                          const ValueFormat& format) = 0;
  virtual void begin(const TxSettings& settings) = 0;
  // Commits the open transaction and returns its bookmark ("" for none).
  virtual std::string commit() = 0;
  // Rolls the open transaction back. Must not throw when none is open.
  virtual void rollback() = 0;
  virtual RoutingTable route(const RouteRequest& request) = 0;
  // Resolves zone ids of parameters (value_mapping.h); empty: refused.
  virtual ZoneOffsetResolver zone_resolver() const { return {}; }
};

}  // namespace orvane::bolt
