// One Bolt connection from its first byte: the handshake, then chunked
// messages answered by a BoltSession. Transport-neutral: whoever owns the
// socket feeds it the bytes received and writes back what it returns, and
// closes the socket once closed() says so.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "bolt/backend.h"
#include "bolt/chunking.h"
#include "bolt/handshake.h"
#include "bolt/session.h"

namespace orvane::bolt {

class BoltConnection {
 public:
  // Requires: `backend` outlives the connection.
  explicit BoltConnection(BoltBackend& backend, SessionOptions options = {});
  ~BoltConnection();

  // Consumes `bytes` and returns what to send back. The handshake answers
  // once its 20 bytes are in (fewer wait for more); a wrong magic closes
  // without an answer and no common version answers 00 00 00 00 and
  // closes. Each complete message is then answered in order; a RESET
  // among the messages received interrupts the ones before it (IGNORED). A
  // message over the size limit is answered FAILURE and closes. Never
  // throws for anything the peer sends.
  //
  // The answer comes in parts when a PULL's records pass the session's
  // part size: receive() then answers up to the first part and pending()
  // says more is to come; resume() answers the next part (and the
  // messages received after that PULL once it is done).
  std::string receive(std::string_view bytes);
  std::string resume();
  bool pending() const;

  bool closed() const;
  BoltVersion version() const { return version_; }
  // CONNECTED until the handshake is done.
  SessionState state() const;

 private:
  // Hands the waiting messages to the session until one stops at a part.
  void pump(std::string& out);

  BoltBackend& backend_;
  SessionOptions options_;
  std::string handshake_;  // the opening bytes, until 20 are in
  BoltVersion version_;
  bool refused_ = false;  // the handshake failed: closed
  ChunkReader reader_;
  std::unique_ptr<BoltSession> session_;
  std::deque<std::string> waiting_;  // messages received, not yet handled
};

}  // namespace orvane::bolt
