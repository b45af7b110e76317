// The scripted backend (see fake_backend.h).
#include "fake_backend.h"

#include <algorithm>

namespace orvane::bolt::testing {

namespace {

class FakeResult : public RowResult {
 public:
  FakeResult(const Script& script, std::vector<std::string>& log, std::string name, bool auto_commit)
      : script_(script), log_(log), name_(std::move(name)), auto_commit_(auto_commit) {}
  ~FakeResult() override {
    if (!finished_) log_.push_back("drop " + name_);
  }

  const std::vector<std::string>& columns() const override { return script_.columns; }
  bool fetch(std::size_t n, std::vector<std::vector<CypherValue>>& rows) override {
    for (std::size_t taken = 0; taken < n; ++taken) {
      if (script_.at_row && next_ == script_.fail_after) throw *script_.at_row;
      if (next_ >= script_.rows.size()) break;
      rows.push_back(script_.rows[next_++]);
    }
    return next_ < script_.rows.size();
  }
  const Database* database() const override { return nullptr; }
  ResultSummary finish() override {
    finished_ = true;
    log_.push_back("finish " + name_ + " after " + std::to_string(next_) + " rows");
    ResultSummary summary;
    summary.type = script_.type;
    summary.db = "neo4j";
    if (auto_commit_) summary.bookmark = "bm-auto";
    return summary;
  }

 private:
  const Script& script_;
  std::vector<std::string>& log_;
  std::string name_;
  bool auto_commit_;
  std::size_t next_ = 0;
  bool finished_ = false;
};

}  // namespace

Script rows_script(std::vector<std::string> columns, std::vector<std::vector<CypherValue>> rows, std::string type) {
  Script script;
  script.columns = std::move(columns);
  script.rows = std::move(rows);
  script.type = std::move(type);
  return script;
}

void FakeBackend::authenticate(const AuthToken& auth) {
  log.push_back("auth " + auth.principal);
  if (auth.credentials != password) {
    throw BoltError(kUnauthorized, "The client is unauthorized due to authentication failure.");
  }
}

std::unique_ptr<BoltResult> FakeBackend::run(const std::string& text, const CypherMap& parameters,
                                             const TxSettings& settings, bool in_transaction, const ValueFormat&) {
  std::string line = "run " + text;
  for (const auto& [key, value] : parameters) line += " $" + key + "=" + type_name(value);
  if (!settings.db.empty()) line += " db=" + settings.db;
  line += in_transaction ? " tx" : " auto";
  log.push_back(line);
  const auto it = scripts.find(text);
  if (it == scripts.end()) throw BoltError("Neo.ClientError.Statement.SyntaxError", "no script for " + text);
  if (it->second.at_run) throw *it->second.at_run;
  return std::make_unique<FakeResult>(it->second, log, text, !in_transaction);
}

void FakeBackend::begin(const TxSettings& settings) { log.push_back(settings.read_only ? "begin read" : "begin"); }

std::string FakeBackend::commit() {
  log.push_back("commit");
  if (at_commit) throw *at_commit;
  return "bm-tx";
}

void FakeBackend::rollback() { log.push_back("rollback"); }

RoutingTable FakeBackend::route(const RouteRequest& request) {
  log.push_back("route " + request.db);
  RoutingTable table;
  table.db = request.db.empty() ? "neo4j" : request.db;
  table.routers = {"127.0.0.1:7687"};
  table.readers = {"127.0.0.1:7687"};
  table.writers = {"127.0.0.1:7687"};
  return table;
}

}  // namespace orvane::bolt::testing
