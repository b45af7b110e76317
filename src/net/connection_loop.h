// The connection loop: one thread that accepts connections and reads them
// with epoll until a protocol's framer reports a complete message, a pool of
// workers that answer complete messages, and the same thread writing the
// answers back. Waiting for a slow or silent client costs a descriptor and a
// few hundred bytes, never a worker. Transport-neutral: HTTP (http/server.h)
// and any later listener plug in through net/framer.h.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>

#include "net/framer.h"

namespace orvane::net {

struct LoopOptions {
  unsigned short port = 0;        // 0: any free port (see on_listening)
  bool public_binding = false;    // every interface instead of 127.0.0.1
  // A listening socket opened beforehand (net/listener.h), which the loop
  // then owns; -1: the loop opens one on `port`. A server with several
  // listeners opens them all first, so that a busy port fails its start
  // before anything is served.
  int listener = -1;
  // Called once when the socket listens, with its port, before any
  // connection is accepted.
  std::function<void(unsigned short)> on_listening{};

  int workers = 16;                       // threads answering messages
  size_t queue_limit = 4096;              // complete messages waiting for a worker before `overloaded`
  size_t connections_per_address = 4096;  // open connections from one client address
  // Time limits. A connection that misses one is closed without an answer.
  std::chrono::milliseconds idle_timeout{5000};       // waiting for the first byte of a message
  std::chrono::milliseconds header_timeout{10000};    // from a message's start until its header is complete
  std::chrono::milliseconds receive_timeout{5000};    // silence while a message is incomplete
  std::chrono::milliseconds message_deadline{30000};  // from a message's start until it is complete
  std::chrono::milliseconds send_timeout{5000};       // an answer that makes no progress
  std::chrono::milliseconds send_deadline{30000};     // from an answer's first byte to its last
};

// Serves connections with `protocol` until `*stop` becomes true (forever
// when `stop` is null). On stop it closes the listener and every idle
// connection (no byte of a message received), answers the messages already
// complete (running or queued) and those being received once they complete
// within their time limits, closing each connection after its answer, then
// joins the workers and returns. The first message of a
// connection starts at its accept. Raises the descriptor limit first.
// Throws std::runtime_error, before listening, "socket failed" or "bind
// failed on port <port>", and std::system_error when the loop's own
// descriptors or threads cannot be created.
void serve_connections(const LoopOptions& options, const Protocol& protocol, std::atomic<bool>* stop);

}  // namespace orvane::net
