// The server's Bolt backend (engine_backend.h). Every entry point turns
// what the engine throws into a BoltError with Neo4j's status code at one
// place, to_bolt_error.
#include "bolt/engine_backend.h"

#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>

#include "base/text.h"
#include "bolt/bolt_error.h"
#include "bolt/status_codes.h"
#include "console/cypher_cursor.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "console/query_services.h"
#include "console/transactions.h"

namespace orvane::bolt {
namespace {

using Clock = std::chrono::steady_clock;

double elapsed_ns(Clock::time_point start) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// The BoltError that reports `error` to the client.
BoltError to_bolt_error(const std::exception& error) {
  if (const auto* bolt = dynamic_cast<const BoltError*>(&error)) return *bolt;
  const std::string message = error.what();
  if (const std::optional<ErrorClassification> c = classify_error(error)) {
    return BoltError(status_code_for(c->error_class, c->detail, c->compile_time), message);
  }
  if (message.starts_with("unknown database: ")) return BoltError("Neo.ClientError.Database.DatabaseNotFound", message);
  if (message.starts_with("no open transaction ")) {
    return BoltError("Neo.ClientError.Transaction.TransactionNotFound", message);
  }
  return BoltError(status_code_for("", "", false), message);
}

// Runs `step`, rethrowing whatever it throws as to_bolt_error says.
template <typename Step>
auto reported(Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::exception& e) {
    throw to_bolt_error(e);
  }
}

CypherParameters parameters_of(const CypherMap& parameters) {
  CypherParameters out;
  for (const auto& [name, value] : parameters) out[name] = value;
  return out;
}

std::vector<std::pair<std::string, std::int64_t>> stats_of(const UpdateCounters& c) {
  std::vector<std::pair<std::string, std::int64_t>> stats;
  const auto add = [&](const char* name, std::uint64_t count) {
    if (count != 0) stats.emplace_back(name, static_cast<std::int64_t>(count));
  };
  add("nodes-created", c.nodes_created);
  add("nodes-deleted", c.nodes_deleted);
  add("relationships-created", c.relationships_created);
  add("relationships-deleted", c.relationships_deleted);
  add("properties-set", c.properties_set);
  add("labels-added", c.labels_added);
  add("labels-removed", c.labels_removed);
  return stats;
}

// A statement run to its end: its records, written when it ran.
class FinishedResult : public BoltResult {
 public:
  FinishedResult(std::vector<std::string> columns, std::vector<std::string> records, ResultSummary summary)
      : columns_(std::move(columns)), records_(std::move(records)), summary_(std::move(summary)) {}

  const std::vector<std::string>& columns() const override { return columns_; }
  bool fetch_records(std::size_t n, const ValueFormat&, std::vector<std::string>& records) override {
    for (; n > 0 && next_ < records_.size(); --n) records.push_back(std::move(records_[next_++]));
    if (next_ == records_.size()) std::vector<std::string>().swap(records_);
    return next_ < records_.size();
  }
  ResultSummary finish() override { return summary_; }

 private:
  std::vector<std::string> columns_;
  std::vector<std::string> records_;
  std::size_t next_ = 0;
  ResultSummary summary_;
};

// Runs `cursor` to its end, its records written in `format`, and finishes
// it; counts and logs the statement.
std::unique_ptr<BoltResult> run_to_end(Engine& engine, CypherCursor& cursor, const std::string& text,
                                       const std::string& database, const ValueFormat& format,
                                       Clock::time_point start) {
  std::vector<std::string> records;
  std::vector<std::vector<CypherValue>> rows;
  for (bool more = true; more;) {
    rows.clear();
    more = cursor.fetch(1000, rows);
    for (const auto& row : rows) records.push_back(record_message(row, &cursor.database(), format));
  }
  cursor.finish(text);
  ResultSummary summary;
  summary.type = cursor.writes() ? "rw" : "r";
  summary.db = engine.effective_name(database);
  summary.stats = stats_of(cursor.counters());
  const double ns = elapsed_ns(start);
  engine.count_statement(true, ns);
  engine.log_statement(text, ns, true);
  return std::make_unique<FinishedResult>(cursor.columns(), std::move(records), std::move(summary));
}

void count_failure(Engine& engine, const std::string& text) {
  engine.count_statement(false, 0);
  engine.log_statement(text, 0, false);
}

// An auto-commit read, streamed: each fetch reads the version the cursor
// pinned, with the engine lock shared while it makes its rows.
class StreamedRead : public RowResult {
 public:
  StreamedRead(Engine& engine, std::unique_ptr<CypherCursor> cursor, std::string text, std::string database,
               Clock::time_point start)
      : engine_(engine), cursor_(std::move(cursor)), text_(std::move(text)), database_(std::move(database)),
        start_(start) {}
  ~StreamedRead() override {
    const std::shared_lock<EngineLock> shared(engine_.mutex());
    const ReadingScope reading(engine_);
    cursor_.reset();
  }

  const std::vector<std::string>& columns() const override { return cursor_->columns(); }
  const Database* database() const override { return &cursor_->database(); }
  bool fetch(std::size_t n, std::vector<std::vector<CypherValue>>& rows) override {
    return reported([&] {
      const std::shared_lock<EngineLock> shared(engine_.mutex());
      const ReadingScope reading(engine_);
      try {
        return cursor_->fetch(n, rows);
      } catch (...) {
        count_failure(engine_, text_);
        throw;
      }
    });
  }
  ResultSummary finish() override {
    return reported([&] {
      const std::shared_lock<EngineLock> shared(engine_.mutex());
      const ReadingScope reading(engine_);
      cursor_->finish(text_);
      const double ns = elapsed_ns(start_);
      engine_.count_statement(true, ns);
      engine_.log_statement(text_, ns, true);
      ResultSummary summary;
      summary.db = database_;
      return summary;
    });
  }

 private:
  Engine& engine_;
  std::unique_ptr<CypherCursor> cursor_;
  std::string text_;
  std::string database_;  // its effective name
  Clock::time_point start_;
};

}  // namespace

EngineBackend::EngineBackend(Engine& engine, EngineBackendOptions options)
    : engine_(engine), options_(std::move(options)) {}

EngineBackend::~EngineBackend() { rollback(); }

void EngineBackend::authenticate(const AuthToken& auth) {
  if (options_.api_key.empty()) return;
  if (auth.scheme != "basic" || !same_secret(auth.credentials, options_.api_key)) {
    throw BoltError(kUnauthorized, "The client is unauthorized due to authentication failure.");
  }
}

std::unique_ptr<BoltResult> EngineBackend::run(const std::string& text, const CypherMap& parameters,
                                               const TxSettings& settings, bool in_transaction,
                                               const ValueFormat& format) {
  return reported([&] {
    return in_transaction ? run_in_transaction(text, parameters, format)
                          : run_auto_commit(text, parameters, settings.db, format);
  });
}

std::unique_ptr<BoltResult> EngineBackend::run_auto_commit(const std::string& text, const CypherMap& parameters,
                                                           const std::string& database, const ValueFormat& format) {
  const Clock::time_point start = Clock::now();
  const CypherParameters typed = parameters_of(parameters);
  const auto to_end = [&] {
    try {
      CypherCursor cursor(engine_, text, database, typed);
      return run_to_end(engine_, cursor, text, database, format, start);
    } catch (...) {
      count_failure(engine_, text);
      throw;
    }
  };
  InputAccess access = InputAccess::kExclusive;
  {
    const std::shared_lock<EngineLock> shared(engine_.mutex());
    const ReadingScope reading(engine_);
    if (!database.empty() && !engine_.has_database(database)) {
      throw std::runtime_error("unknown database: " + database);
    }
    access = input_access(engine_, text, database);
    if (access == InputAccess::kRead) {
      try {
        auto cursor = std::make_unique<CypherCursor>(engine_, text, database, typed);
        if (!cursor->writes()) {
          return std::unique_ptr<BoltResult>(
              new StreamedRead(engine_, std::move(cursor), text, engine_.effective_name(database), start));
        }
      } catch (...) {
        count_failure(engine_, text);
        throw;
      }
      access = InputAccess::kExclusive;
    }
  }
  std::unique_ptr<BoltResult> result;
  if (access == InputAccess::kWrite) {
    // As the HTTP statement route: beside the readers on the writer's copy
    // when it is ready, its record made durable after the lock is released
    // so that concurrent writers share the sync.
    const WriterModeGuard writer(engine_.mutex());
    if (input_access(engine_, text, database) == InputAccess::kWrite) {
      const WritingScope writing(engine_, database);
      if (writing.ready()) {
        const DeferredSyncScope deferred(engine_);
        result = to_end();
      }
    }
  }
  if (result == nullptr) {
    const std::lock_guard<EngineLock> exclusive(engine_.mutex());
    const DeferredSyncScope deferred(engine_);
    result = to_end();
  }
  engine_.await_durable();
  return result;
}

std::unique_ptr<BoltResult> EngineBackend::run_in_transaction(const std::string& text, const CypherMap& parameters,
                                                              const ValueFormat& format) {
  const Clock::time_point start = Clock::now();
  std::string unwritten;  // the database of a transaction that has not written yet
  {
    const std::lock_guard<EngineLock> exclusive(engine_.mutex());
    Transaction& tx = engine_.transactions().find(transaction_);
    if (tx.work == nullptr) unwritten = tx.database;
  }
  if (!unwritten.empty()) {
    // Until its first write a transaction reads the committed graph, as
    // any reader does (read committed, as in Neo4j): a statement that only
    // reads streams from the version it starts on, beside the writer.
    const CypherParameters typed = parameters_of(parameters);
    const std::shared_lock<EngineLock> shared(engine_.mutex());
    const ReadingScope reading(engine_);
    if (input_access(engine_, text, unwritten) == InputAccess::kRead) {
      try {
        auto cursor = std::make_unique<CypherCursor>(engine_, text, unwritten, typed);
        if (!cursor->writes()) {
          return std::unique_ptr<BoltResult>(new StreamedRead(engine_, std::move(cursor), text, unwritten, start));
        }
      } catch (...) {
        count_failure(engine_, text);
        throw;
      }
    }
  }
  const std::lock_guard<EngineLock> exclusive(engine_.mutex());
  Transaction& tx = engine_.transactions().find(transaction_);
  const TransactionScope scope(engine_, tx);
  try {
    CypherCursor cursor(engine_, text, "", parameters_of(parameters));
    return run_to_end(engine_, cursor, text, "", format, start);
  } catch (...) {
    count_failure(engine_, text);
    throw;
  }
}

void EngineBackend::begin(const TxSettings& settings) {
  reported([&] {
    const std::lock_guard<EngineLock> exclusive(engine_.mutex());
    if (!settings.db.empty() && !engine_.has_database(settings.db)) {
      throw std::runtime_error("unknown database: " + settings.db);
    }
    transaction_ = engine_.transactions().begin(engine_, settings.db);
  });
}

std::string EngineBackend::commit() {
  reported([&] {
    {
      const std::lock_guard<EngineLock> exclusive(engine_.mutex());
      const DeferredSyncScope deferred(engine_);
      const std::string id = std::exchange(transaction_, std::string());
      engine_.transactions().commit(engine_, id);
    }
    engine_.await_durable();
  });
  return "";
}

void EngineBackend::rollback() {
  if (transaction_.empty()) return;
  const std::string id = std::exchange(transaction_, std::string());
  const std::lock_guard<EngineLock> exclusive(engine_.mutex());
  try {
    engine_.transactions().rollback(id);
  } catch (const std::exception&) {
    // Rolled back already: it timed out, or a failure ended it.
  }
}

RoutingTable EngineBackend::route(const RouteRequest& request) {
  RoutingTable table;
  std::string address = options_.address;
  for (const PackEntry& entry : request.routing) {
    if (entry.key == "address" && entry.value.is<std::string>()) address = entry.value.as<std::string>();
  }
  table.routers = table.readers = table.writers = {address};
  {
    const std::shared_lock<EngineLock> shared(engine_.mutex());
    if (!request.db.empty() && !engine_.has_database(request.db)) {
      throw BoltError("Neo.ClientError.Database.DatabaseNotFound", "unknown database: " + request.db);
    }
    table.db = request.db.empty() ? engine_.current_name() : request.db;
  }
  return table;
}

ZoneOffsetResolver EngineBackend::zone_resolver() const { return zone_offset_at; }

}  // namespace orvane::bolt
