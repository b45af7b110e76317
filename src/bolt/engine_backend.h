// The Bolt backend of a server: statements, transactions and routing over
// the console's Engine, as the HTTP routes use it.
//
// An auto-commit read runs beside the other readers and the writer and
// streams: its cursor keeps the version it started on, and each PULL takes
// the engine lock shared only while it makes its records. An auto-commit
// write runs to its end at RUN, as the HTTP statement route runs it (in the
// lock's writer mode beside readers when the writer's copy is ready, else
// exclusively), and is durable before RUN is answered; its records are
// kept until pulled. In an explicit transaction (the console's unit of
// work, console/transactions.h), a read before the transaction's first
// write streams as an auto-commit read does; every other statement runs
// exclusively, to its end at its RUN. The transaction commits or rolls back
// with COMMIT, ROLLBACK, RESET, a failure or the connection's end.
//
// Errors reach the session as BoltError with Neo4j's status code: query
// errors by their class (status_codes.h), "unknown database" as
// Neo.ClientError.Database.DatabaseNotFound, a transaction that timed out
// as Neo.ClientError.Transaction.TransactionNotFound.
#pragma once

#include <memory>
#include <string>

#include "bolt/backend.h"

namespace orvane {
class Engine;
}

namespace orvane::bolt {

struct EngineBackendOptions {
  std::string api_key;  // the password every user must give; "" accepts any credentials
  std::string address;  // "host:port" routing tables name when the driver does not say its own
};

class EngineBackend : public BoltBackend {
 public:
  // Requires: `engine` outlives the backend and every result it returns.
  EngineBackend(Engine& engine, EngineBackendOptions options);
  ~EngineBackend() override;

  void authenticate(const AuthToken& auth) override;
  std::unique_ptr<BoltResult> run(const std::string& text, const CypherMap& parameters, const TxSettings& settings,
                                  bool in_transaction, const ValueFormat& format) override;
  void begin(const TxSettings& settings) override;
  std::string commit() override;
  void rollback() override;
  RoutingTable route(const RouteRequest& request) override;
  ZoneOffsetResolver zone_resolver() const override;

 private:
  std::unique_ptr<BoltResult> run_auto_commit(const std::string& text, const CypherMap& parameters,
                                              const std::string& database, const ValueFormat& format);
  std::unique_ptr<BoltResult> run_in_transaction(const std::string& text, const CypherMap& parameters,
                                                 const ValueFormat& format);

  Engine& engine_;
  EngineBackendOptions options_;
  std::string transaction_;  // the id of the open transaction; "" when none
};

}  // namespace orvane::bolt
