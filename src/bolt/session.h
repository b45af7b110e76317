// One Bolt connection's session after the handshake: the server state
// machine, driven by one decoded request at a time.
//
//   state          accepts                                   then
//   CONNECTED      HELLO                                     READY (AUTHENTICATION from 5.1)
//   AUTHENTICATION LOGON                                     READY
//   READY          RUN, BEGIN, ROUTE, TELEMETRY, LOGOFF      STREAMING, TX_READY, READY, READY, AUTHENTICATION
//   STREAMING      PULL, DISCARD                             STREAMING while has_more, else READY
//   TX_READY       RUN, COMMIT, ROLLBACK                     TX_STREAMING, READY, READY
//   TX_STREAMING   RUN, PULL, DISCARD, COMMIT, ROLLBACK      TX_STREAMING while a result is open, else TX_READY
//   FAILED         RESET; everything else is IGNORED
//   INTERRUPTED    RESET; everything else is IGNORED
//   DEFUNCT        nothing: the connection closes
// RESET (from any state but the first two) ends every result, rolls back
// an open transaction and returns to READY; GOODBYE closes. A message the
// state does not accept is answered FAILURE Neo.ClientError.Request.Invalid
// and leads to FAILED; a failure before READY was ever reached (a refused
// HELLO or LOGON) leads to DEFUNCT. A failure inside a transaction rolls
// it back.
//
// A transaction may stream several results at once; each RUN in it gets a
// qid (0, 1, ... per transaction) that PULL and DISCARD may name, -1
// meaning the latest. COMMIT and ROLLBACK are also taken while results are
// open: the open results are ended first.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bolt/backend.h"
#include "bolt/handshake.h"
#include "bolt/messages.h"
#include "bolt/packstream.h"
#include "bolt/value_mapping.h"

namespace orvane::bolt {

enum class SessionState {
  kConnected,
  kAuthentication,
  kReady,
  kStreaming,
  kTxReady,
  kTxStreaming,
  kFailed,
  kInterrupted,
  kDefunct,
};

// "READY", "TX_STREAMING", ...
const char* state_name(SessionState state);

struct SessionOptions {
  std::string server_agent = "Neo4j/5.26.0";  // drivers read the product before the slash
  std::string connection_id = "bolt-0";
  std::size_t max_message = 16 * 1024 * 1024;  // request bytes, chunks joined
  DecodeLimits limits{};
  // A PULL's records are answered in parts of about this many bytes
  // (resume()), so that a large result never sits whole in memory.
  std::size_t part_bytes = 1 << 20;
  // Seconds of silence after which the server closes the connection, told
  // to the driver in HELLO's hints so that it drops the connection first;
  // 0: none told.
  std::int64_t idle_seconds = 0;
};

class BoltSession {
 public:
  // Requires: `version` is supported; `backend` outlives the session.
  BoltSession(BoltBackend& backend, BoltVersion version, SessionOptions options = {});
  ~BoltSession();
  BoltSession(const BoltSession&) = delete;
  BoltSession& operator=(const BoltSession&) = delete;

  // Answers one request message (its PackStream bytes, chunks joined),
  // appending the chunked responses to `out`. Malformed PackStream is
  // answered FAILURE and closes the session; a malformed request is a
  // failure like any other. Nothing is answered once DEFUNCT.
  void handle(std::string_view message, std::string& out);

  // A RESET is on its way: everything before it is IGNORED (the
  // connection calls this when a RESET is among the messages it has
  // received but not yet handled). No effect before READY or when DEFUNCT.
  void interrupt();

  // Whether a PULL stopped at the part size with records still to send:
  // the caller sends what handle() answered, then calls resume() for the
  // next part, and hands over no other message meanwhile.
  bool streaming_part() const { return pending_.has_value(); }
  // Answers the next part of that PULL. No effect when there is none.
  void resume(std::string& out);

  SessionState state() const { return state_; }
  bool closed() const { return state_ == SessionState::kDefunct; }
  const ValueFormat& format() const { return format_; }

 private:
  struct OpenResult {
    std::int64_t qid = -1;
    std::unique_ptr<BoltResult> result;
  };

  // What is left of a PULL or DISCARD stopped at the part size.
  struct PendingPull {
    std::int64_t n = -1;
    std::int64_t qid = -1;
    bool discard = false;
  };

  // Runs `step`, turning whatever it throws into a FAILURE.
  template <typename Step>
  void guarded(Step step, std::string& out);
  void dispatch(const Request& request, std::string& out);
  void hello(const HelloRequest& request, std::string& out);
  void logon(const AuthToken& auth, std::string& out);
  void run(const RunRequest& request, std::string& out);
  void stream(std::int64_t n, std::int64_t qid, bool discard, std::string& out);
  void begin(const BeginRequest& request, std::string& out);
  void end_transaction(bool commit, std::string& out);
  void route(const RouteRequest& request, std::string& out);
  void reset(std::string& out);
  void drop_results();
  void fail(const std::string& code, const std::string& message, std::string& out);
  void reject(const Request& request, std::string& out);
  void send(std::string& out, const std::string& message) const;
  bool in_transaction() const { return state_ == SessionState::kTxReady || state_ == SessionState::kTxStreaming; }

  BoltBackend& backend_;
  BoltVersion version_;
  SessionOptions options_;
  ValueFormat format_;
  SessionState state_ = SessionState::kConnected;
  bool transaction_open_ = false;    // the backend holds an open transaction
  std::vector<OpenResult> results_;  // in RUN order; one at most outside a transaction
  std::int64_t next_qid_ = 0;        // the qid of the next RUN in the transaction
  std::optional<PendingPull> pending_;  // see streaming_part()
};

}  // namespace orvane::bolt
