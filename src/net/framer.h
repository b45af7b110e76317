// What a protocol plugs into the connection loop (net/connection_loop.h): a
// framer that cuts one connection's bytes into messages, and a session that
// turns one complete message into the bytes of its answer. The loop knows
// nothing of any protocol; HTTP today and Bolt later are both a framer, a
// session and the few fixed answers the loop sends on its own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orvane::net {

// Frames the messages of one connection. The loop feeds it whatever each
// receive returned and asks for the message once it is complete; a framer
// never waits, times out or touches the socket.
class Framer {
 public:
  enum class State { kNeedMore, kComplete, kRejected };

  virtual ~Framer() = default;

  // Appends `bytes` (possibly none) to the message being framed and reports
  // the state. kComplete stays until take_message() is called; kRejected is
  // final and refusal() then holds the answer to send before closing.
  virtual State feed(std::string_view bytes) = 0;

  // Bytes held toward the next message; 0 while the connection is idle
  // between messages.
  virtual size_t buffered() const = 0;

  // Whether the part of the current message that fixes its length (a
  // header) is complete; the loop's header timeout applies until then.
  virtual bool header_complete() const = 0;

  // Removes the complete message and returns its bytes. Bytes fed beyond it
  // are kept as the start of the next message, framed by the next feed().
  // Requires: the last feed() returned kComplete.
  virtual std::string take_message() = 0;

  // The answer to a refused message. Requires: feed() returned kRejected.
  virtual std::string refusal() const = 0;
};

// A handler's answer: the bytes to send, whether the connection ends once
// they are sent, and whether the answer goes on: a long answer (a Bolt
// stream of many records) is made in parts, each sent before the next is
// made, so that it never sits whole in memory.
struct Reply {
  std::string bytes;
  bool close = false;
  bool more = false;  // once `bytes` are sent, Session::resume() makes the next part
};

// The protocol state of one connection: a Bolt session's authentication
// and open transaction; HTTP keeps none and shares one session among all
// its connections. A connection's messages reach its session one at a
// time, in order, each on some worker thread (different connections' at
// once). The loop holds it until the connection's last answer is built.
class Session {
 public:
  virtual ~Session() = default;
  // Answers one complete message; an exception closes the connection
  // without an answer.
  virtual Reply handle(std::string message) = 0;
  // Makes the next part of an answer whose last part said `more`, on a
  // worker, once that part is sent; nothing is read meanwhile. An
  // exception closes the connection.
  virtual Reply resume() { return {}; }
};

struct Protocol {
  std::function<std::unique_ptr<Framer>()> new_framer;    // one framer per accepted connection
  std::function<std::shared_ptr<Session>()> new_session;  // called once per accepted connection
  std::string overloaded;   // sent before closing when every worker is busy and the queue is full
  std::string too_many;     // sent before closing a connection beyond the per-address cap
};

}  // namespace orvane::net
