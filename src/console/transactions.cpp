// The transaction registry (transactions.h). Ids are not guessable from
// one another (a counter and random bits), so one HTTP client cannot end
// another's transaction by counting.
#include "console/transactions.h"

#include <random>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "console/engine.h"
#include "console/statement_batch.h"
#include "graph/change_record.h"
#include "query/cypher_error.h"

namespace orvane {
namespace {

std::string new_id(std::uint64_t counter) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char text[40];
  std::snprintf(text, sizeof text, "%llu-%016llx", static_cast<unsigned long long>(counter),
                static_cast<unsigned long long>(random()));
  return text;
}

// Takes back what `tx` wrote into the writer's copy lent to it, which
// others write after it; a private copy is simply dropped with it.
void take_back(Transaction& tx) {
  if (!tx.lent || !tx.work) return;
  tx.work->undo_log = &tx.undo;
  tx.work->rollback(tx.start);
  tx.work->undo_log = nullptr;
  tx.work.reset();
}

}  // namespace

void refuse_other_writer(Engine& engine, const std::string& database, const Transaction* self) {
  engine.transactions().expire(TxClock::now());
  const Transaction* holder = engine.transactions().writer(database);
  if (holder == nullptr || holder == self) return;
  throw CypherError("TransientError", "LockAcquisitionTimeout", ErrorPhase::kCompileTime,
                    "database " + database + " is being written by an open transaction; retry when it commits or "
                    "rolls back");
}

TransactionForm transaction_form(const std::string& statement) {
  std::string word(trim(statement));
  if (!word.empty() && word.back() == ';') word.pop_back();
  word = ascii_lower(std::string(trim(word)));
  if (word == "begin") return TransactionForm::kBegin;
  if (word == "commit") return TransactionForm::kCommit;
  if (word == "rollback") return TransactionForm::kRollback;
  return TransactionForm::kNone;
}

TransactionScope::TransactionScope(Engine& engine, Transaction& tx) : engine_(engine), previous_(engine.transaction()) {
  engine.set_transaction(&tx);
}

TransactionScope::~TransactionScope() { engine_.set_transaction(previous_); }

bool Transactions::run(Engine& engine, const std::string& id, const std::string& input, const ParamMap* params,
                       BatchAnswer& out) {
  Transaction& tx = find(id);
  {
    const TransactionScope scope(engine, tx);
    dispatch_input(out, engine, input, tx.database, params);
  }
  if (tx.failed || !out.ok()) {
    take_back(tx);
    open_.erase(id);
    return false;
  }
  return true;
}

std::string Transactions::begin(Engine& engine, const std::string& database) {
  expire(TxClock::now());
  const std::string name = engine.effective_name(database);
  engine.database(name);  // refuses an unknown name
  Transaction tx;
  tx.id = new_id(next_++);
  tx.database = name;
  tx.last_used = TxClock::now();
  const std::string id = tx.id;
  open_.emplace(id, std::move(tx));
  return id;
}

Transaction& Transactions::find(const std::string& id) {
  expire(TxClock::now());
  const auto it = open_.find(id);
  if (it == open_.end()) {
    throw std::runtime_error("no open transaction " + id + ": it was committed, rolled back or timed out");
  }
  it->second.last_used = TxClock::now();
  return it->second;
}

void Transactions::commit(Engine& engine, const std::string& id) {
  find(id);
  auto node = open_.extract(id);  // ended whatever the save does
  Transaction& done = node.mapped();
  if (!done.work) return;
  done.work->undo_log = nullptr;
  try {
    engine.commit_transaction(done.database, make_change_record(*done.work, done.start, done.undo), *done.work);
  } catch (...) {
    take_back(done);
    throw;
  }
  engine.record_change("cypher", "transaction of " + std::to_string(done.statements) + " statements");
}

void Transactions::rollback(const std::string& id) {
  take_back(find(id));
  open_.erase(id);
}

const Transaction* Transactions::writer(const std::string& database) const {
  for (const auto& [id, tx] : open_) {
    if (tx.work && tx.database == database) return &tx;
  }
  return nullptr;
}

std::size_t Transactions::expire(TxClock::time_point now) {
  std::size_t expired = 0;
  for (auto it = open_.begin(); it != open_.end();) {
    if (now - it->second.last_used <= idle_bound_) {
      ++it;
      continue;
    }
    take_back(it->second);
    it = open_.erase(it);
    ++expired;
  }
  return expired;
}

}  // namespace orvane
