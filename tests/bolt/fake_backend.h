// A scripted BoltBackend for session tests: statements answer from a
// table (columns, rows, an error at the start or after some rows), and
// every call the session makes is logged as one line, so a test states
// both what the client saw and what the backend was asked to do.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bolt/backend.h"
#include "bolt/bolt_error.h"

namespace orvane::bolt::testing {

struct Script {
  std::vector<std::string> columns;
  std::vector<std::vector<CypherValue>> rows;
  std::optional<BoltError> at_run;  // thrown by run()
  std::optional<BoltError> at_row;  // thrown by fetch() once `fail_after` rows are out
  std::size_t fail_after = 0;
  std::string type = "r";
};

// A script that answers `rows` under `columns`.
Script rows_script(std::vector<std::string> columns, std::vector<std::vector<CypherValue>> rows,
                   std::string type = "r");

class FakeBackend : public BoltBackend {
 public:
  std::map<std::string, Script> scripts;  // by statement text
  std::vector<std::string> log;           // "auth neo4j", "run RETURN 1 auto", "begin", "commit", ...
  std::string password = "secret";
  std::optional<BoltError> at_commit;

  void authenticate(const AuthToken& auth) override;
  std::unique_ptr<BoltResult> run(const std::string& text, const CypherMap& parameters, const TxSettings& settings,
                                  bool in_transaction, const ValueFormat& format) override;
  void begin(const TxSettings& settings) override;
  std::string commit() override;
  void rollback() override;
  RoutingTable route(const RouteRequest& request) override;
};

}  // namespace orvane::bolt::testing
