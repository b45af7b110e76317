// The connection: handshake, framing, the RESET look-ahead, the session.
//
// Bolt lets a client send RESET without waiting for the answers before it
// (a driver cancelling a long stream). Every message a receive completes
// is framed before any is answered, so when a RESET is among them the
// session is interrupted first and the messages ahead of the RESET are
// IGNORED, as a server that had read the RESET early would answer them.
#include "bolt/connection.h"

#include <vector>

#include "bolt/bolt_error.h"
#include "bolt/messages.h"

namespace orvane::bolt {

namespace {

// Whether `message` is a RESET: a structure of no fields with tag 0x0F.
bool is_reset(const std::string& message) {
  return message.size() == 2 && static_cast<unsigned char>(message[0]) == 0xB0 && message[1] == 0x0F;
}

}  // namespace

BoltConnection::BoltConnection(BoltBackend& backend, SessionOptions options)
    : backend_(backend), options_(std::move(options)), reader_(options_.max_message) {}

BoltConnection::~BoltConnection() = default;

bool BoltConnection::closed() const { return refused_ || (session_ != nullptr && session_->closed()); }

SessionState BoltConnection::state() const {
  if (refused_) return SessionState::kDefunct;
  return session_ == nullptr ? SessionState::kConnected : session_->state();
}

std::string BoltConnection::receive(std::string_view bytes) {
  std::string out;
  if (closed()) return out;
  if (session_ == nullptr) {
    const std::size_t n = std::min(bytes.size(), kHandshakeSize - handshake_.size());
    handshake_.append(bytes.substr(0, n));
    bytes.remove_prefix(n);
    if (handshake_.size() < kHandshakeSize) return out;
    try {
      version_ = choose_version(handshake_);
    } catch (const BoltError&) {
      refused_ = true;
      return out;
    }
    out = version_answer(version_);
    if (version_.none()) {
      refused_ = true;
      return out;
    }
    session_ = std::make_unique<BoltSession>(backend_, version_, options_);
  }

  try {
    reader_.feed(bytes);
  } catch (const BoltError& e) {
    // The messages completed before the oversized one are still answered.
    while (reader_.has_message()) waiting_.push_back(reader_.take_message());
    for (const std::string& m : waiting_) session_->handle(m, out);
    waiting_.clear();
    if (!session_->closed()) {
      append_chunked(out, failure_message(e.code(), e.what(), version_));
    }
    refused_ = true;
    return out;
  }
  std::vector<std::string> messages;
  while (reader_.has_message()) messages.push_back(reader_.take_message());
  for (const std::string& m : messages) {
    if (is_reset(m)) {
      session_->interrupt();
      break;
    }
  }
  for (std::string& m : messages) waiting_.push_back(std::move(m));
  pump(out);
  return out;
}

std::string BoltConnection::resume() {
  std::string out;
  if (closed() || session_ == nullptr) return out;
  session_->resume(out);
  pump(out);
  return out;
}

bool BoltConnection::pending() const {
  return !closed() && session_ != nullptr && (session_->streaming_part() || !waiting_.empty());
}

void BoltConnection::pump(std::string& out) {
  while (!waiting_.empty() && !session_->streaming_part() && !session_->closed()) {
    const std::string message = std::move(waiting_.front());
    waiting_.pop_front();
    session_->handle(message, out);
  }
  if (session_->closed()) waiting_.clear();
}

}  // namespace orvane::bolt
