// The server state machine (the table is in session.h).
//
// Every request is checked and run inside one try block: whatever a
// request throws, a BoltError with its status code or anything else as an
// unknown database error, becomes one FAILURE and a state change, so a
// backend's fault never leaves the session half-way between states.
#include "bolt/session.h"

#include <algorithm>
#include <chrono>

#include "bolt/bolt_error.h"
#include "bolt/chunking.h"

namespace orvane::bolt {

namespace {

std::int64_t millis_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

PackList string_list(const std::vector<std::string>& items) {
  PackList out;
  for (const std::string& item : items) out.emplace_back(item);
  return out;
}

}  // namespace

const char* state_name(SessionState state) {
  switch (state) {
    case SessionState::kConnected: return "CONNECTED";
    case SessionState::kAuthentication: return "AUTHENTICATION";
    case SessionState::kReady: return "READY";
    case SessionState::kStreaming: return "STREAMING";
    case SessionState::kTxReady: return "TX_READY";
    case SessionState::kTxStreaming: return "TX_STREAMING";
    case SessionState::kFailed: return "FAILED";
    case SessionState::kInterrupted: return "INTERRUPTED";
    case SessionState::kDefunct: return "DEFUNCT";
  }
  return "UNKNOWN";
}

BoltSession::BoltSession(BoltBackend& backend, BoltVersion version, SessionOptions options)
    : backend_(backend), version_(version), options_(std::move(options)), format_(value_format(version, false)) {}

BoltSession::~BoltSession() {
  drop_results();
  if (transaction_open_) backend_.rollback();
}

void BoltSession::send(std::string& out, const std::string& message) const { append_chunked(out, message); }

void BoltSession::interrupt() {
  if (state_ == SessionState::kConnected || state_ == SessionState::kAuthentication ||
      state_ == SessionState::kDefunct) {
    return;
  }
  state_ = SessionState::kInterrupted;
}

void BoltSession::handle(std::string_view message, std::string& out) {
  if (closed()) return;
  PackValue value;
  try {
    value = decode(message, options_.limits);
  } catch (const BoltError& e) {
    // Bytes that are not PackStream: nothing after them can be trusted.
    send(out, failure_message(e.code(), e.what(), version_));
    drop_results();
    if (transaction_open_) backend_.rollback();
    transaction_open_ = false;
    state_ = SessionState::kDefunct;
    return;
  }
  guarded([&] { dispatch(decode_request(value, version_), out); }, out);
}

template <typename Step>
void BoltSession::guarded(Step step, std::string& out) {
  try {
    step();
  } catch (const BoltError& e) {
    pending_.reset();
    fail(e.code(), e.what(), out);
  } catch (const std::exception& e) {
    pending_.reset();
    fail(kDatabaseError, e.what(), out);
  }
}

void BoltSession::fail(const std::string& code, const std::string& message, std::string& out) {
  send(out, failure_message(code, message, version_));
  drop_results();
  if (transaction_open_) {
    transaction_open_ = false;
    try {
      backend_.rollback();
    } catch (const std::exception&) {
      // The failure reported is the first one; the rollback's own is moot.
    }
  }
  const bool before_ready = state_ == SessionState::kConnected || state_ == SessionState::kAuthentication;
  state_ = before_ready ? SessionState::kDefunct : SessionState::kFailed;
}

void BoltSession::reject(const Request& request, std::string& out) {
  fail(kRequestInvalid,
       std::string("Message '") + request_name(request) + "' cannot be handled by a session in the " +
           state_name(state_) + " state.",
       out);
}

void BoltSession::drop_results() {
  results_.clear();
  pending_.reset();
}

void BoltSession::dispatch(const Request& request, std::string& out) {
  const bool reset = std::holds_alternative<ResetRequest>(request);
  const bool goodbye = std::holds_alternative<GoodbyeRequest>(request);
  if (goodbye) {
    drop_results();
    if (transaction_open_) backend_.rollback();
    transaction_open_ = false;
    state_ = SessionState::kDefunct;
    return;
  }
  switch (state_) {
    case SessionState::kConnected:
      if (const auto* h = std::get_if<HelloRequest>(&request)) return hello(*h, out);
      return reject(request, out);
    case SessionState::kAuthentication:
      if (const auto* l = std::get_if<LogonRequest>(&request)) return logon(l->auth, out);
      return reject(request, out);
    case SessionState::kFailed:
    case SessionState::kInterrupted:
      if (reset) return this->reset(out);
      return send(out, ignored_message());
    default: break;
  }
  if (reset) return this->reset(out);

  if (const auto* r = std::get_if<RunRequest>(&request)) {
    if (state_ == SessionState::kReady || in_transaction()) return run(*r, out);
  } else if (const auto* p = std::get_if<PullRequest>(&request)) {
    if (state_ == SessionState::kStreaming || state_ == SessionState::kTxStreaming) {
      return stream(p->n, p->qid, false, out);
    }
  } else if (const auto* d = std::get_if<DiscardRequest>(&request)) {
    if (state_ == SessionState::kStreaming || state_ == SessionState::kTxStreaming) {
      return stream(d->n, d->qid, true, out);
    }
  } else if (const auto* b = std::get_if<BeginRequest>(&request)) {
    if (state_ == SessionState::kReady) return begin(*b, out);
  } else if (std::holds_alternative<CommitRequest>(request)) {
    if (in_transaction()) return end_transaction(true, out);
  } else if (std::holds_alternative<RollbackRequest>(request)) {
    if (in_transaction()) return end_transaction(false, out);
  } else if (const auto* route_request = std::get_if<RouteRequest>(&request)) {
    if (state_ == SessionState::kReady) return route(*route_request, out);
  } else if (std::holds_alternative<TelemetryRequest>(request)) {
    if (state_ == SessionState::kReady) return send(out, success_message({}));
  } else if (std::holds_alternative<LogoffRequest>(request)) {
    if (state_ == SessionState::kReady) {
      state_ = SessionState::kAuthentication;
      return send(out, success_message({}));
    }
  }
  reject(request, out);
}

void BoltSession::hello(const HelloRequest& request, std::string& out) {
  if (request.auth) backend_.authenticate(*request.auth);
  PackMap metadata{{"server", options_.server_agent}, {"connection_id", options_.connection_id}};
  if (version_ == BoltVersion{4, 4} &&
      std::find(request.patch_bolt.begin(), request.patch_bolt.end(), "utc") != request.patch_bolt.end()) {
    format_ = value_format(version_, true);
    metadata.push_back({"patch_bolt", PackList{"utc"}});
  }
  PackMap hints;
  if (options_.idle_seconds > 0) hints.push_back({"connection.recv_timeout_seconds", options_.idle_seconds});
  metadata.push_back({"hints", hints});
  send(out, success_message(metadata));
  state_ = version_.at_least(5, 1) ? SessionState::kAuthentication : SessionState::kReady;
}

void BoltSession::logon(const AuthToken& auth, std::string& out) {
  backend_.authenticate(auth);
  send(out, success_message({}));
  state_ = SessionState::kReady;
}

void BoltSession::run(const RunRequest& request, std::string& out) {
  const auto start = std::chrono::steady_clock::now();
  const ZoneOffsetResolver zones = backend_.zone_resolver();
  CypherMap parameters;
  parameters.reserve(request.parameters.size());
  for (const PackEntry& entry : request.parameters) {
    parameters.emplace_back(entry.key, read_parameter(entry.value, format_, zones));
  }
  const bool in_tx = in_transaction();
  std::unique_ptr<BoltResult> result = backend_.run(request.query, parameters, request.settings, in_tx, format_);
  PackMap metadata{{"fields", string_list(result->columns())}, {"t_first", millis_since(start)}};
  OpenResult open{-1, std::move(result)};
  if (in_tx) {
    open.qid = next_qid_++;
    metadata.push_back({"qid", open.qid});
  }
  results_.push_back(std::move(open));
  send(out, success_message(metadata));
  state_ = in_tx ? SessionState::kTxStreaming : SessionState::kStreaming;
}

void BoltSession::stream(std::int64_t n, std::int64_t qid, bool discard, std::string& out) {
  const auto start = std::chrono::steady_clock::now();
  auto it = results_.end();
  if (qid == -1 || state_ == SessionState::kStreaming) {
    if (!results_.empty()) it = results_.end() - 1;
  } else {
    it = std::find_if(results_.begin(), results_.end(), [&](const OpenResult& r) { return r.qid == qid; });
  }
  if (it == results_.end() || (qid == -1 && state_ == SessionState::kTxStreaming && it->qid != next_qid_ - 1)) {
    throw BoltError(kRequestInvalid, "no open result with qid " + std::to_string(qid));
  }
  BoltResult& result = *it->result;
  std::vector<std::string> records;
  const auto send_records = [&] {
    if (!discard) {
      for (const std::string& record : records) send(out, record);
    }
    records.clear();
  };
  // DISCARD of everything leaves the rest to finish(), which drops rows
  // without making them.
  bool more = !(discard && n == -1);
  std::int64_t sent = 0;
  for (; more && (n == -1 || sent < n);) {
    if (out.size() >= options_.part_bytes) {
      // The answer so far goes out before more is made (resume()).
      pending_ = PendingPull{n == -1 ? -1 : n - sent, qid, discard};
      return;
    }
    const std::size_t want = n == -1 ? 1000 : static_cast<std::size_t>(std::min<std::int64_t>(n - sent, 1000));
    try {
      more = result.fetch_records(want, format_, records);
    } catch (...) {
      send_records();
      throw;
    }
    sent += static_cast<std::int64_t>(records.size());
    send_records();
  }
  if (more) {
    send(out, success_message({{"has_more", true}}));
    return;
  }
  const ResultSummary summary = result.finish();
  PackMap metadata{{"type", summary.type}, {"t_last", millis_since(start)}};
  if (!summary.db.empty()) metadata.push_back({"db", summary.db});
  if (state_ == SessionState::kStreaming && !summary.bookmark.empty()) {
    metadata.push_back({"bookmark", summary.bookmark});
  }
  if (!summary.stats.empty()) {
    PackMap stats;
    for (const auto& [name, count] : summary.stats) stats.push_back({name, count});
    metadata.push_back({"stats", stats});
  }
  results_.erase(it);
  send(out, success_message(metadata));
  if (state_ == SessionState::kStreaming) {
    state_ = SessionState::kReady;
  } else if (results_.empty()) {
    state_ = SessionState::kTxReady;
  }
}

void BoltSession::resume(std::string& out) {
  if (!pending_) return;
  const PendingPull pull = *pending_;
  pending_.reset();
  guarded([&] { stream(pull.n, pull.qid, pull.discard, out); }, out);
}

void BoltSession::begin(const BeginRequest& request, std::string& out) {
  backend_.begin(request.settings);
  transaction_open_ = true;
  next_qid_ = 0;
  send(out, success_message({}));
  state_ = SessionState::kTxReady;
}

void BoltSession::end_transaction(bool commit, std::string& out) {
  // Results still open are ended first: a commit takes their writes, a
  // rollback drops them.
  if (commit) {
    for (OpenResult& open : results_) open.result->finish();
  }
  drop_results();
  PackMap metadata;
  if (commit) {
    const std::string bookmark = backend_.commit();
    transaction_open_ = false;
    if (!bookmark.empty()) metadata.push_back({"bookmark", bookmark});
  } else {
    transaction_open_ = false;
    backend_.rollback();
  }
  send(out, success_message(metadata));
  state_ = SessionState::kReady;
}

void BoltSession::route(const RouteRequest& request, std::string& out) {
  const RoutingTable table = backend_.route(request);
  PackList servers;
  const auto add = [&](const std::vector<std::string>& addresses, const char* role) {
    PackMap server;
    server.push_back(PackEntry{"addresses", PackValue(string_list(addresses))});
    server.push_back(PackEntry{"role", PackValue(role)});
    servers.emplace_back(std::move(server));
  };
  add(table.routers, "ROUTE");
  add(table.readers, "READ");
  add(table.writers, "WRITE");
  PackMap rt{{"ttl", table.ttl}, {"servers", servers}};
  if (!table.db.empty()) rt.push_back({"db", table.db});
  send(out, success_message({{"rt", rt}}));
}

void BoltSession::reset(std::string& out) {
  drop_results();
  if (transaction_open_) {
    transaction_open_ = false;
    backend_.rollback();
  }
  send(out, success_message({}));
  state_ = SessionState::kReady;
}

}  // namespace orvane::bolt
