// The server's threads. The accept loop polls the listening socket with a
// 200 ms timeout, which is how it notices the stop flag, and queues accepted
// descriptors; workers take them in order and run one request each:
// read (RequestReader), answer (answer_request), send, close.
//
// Time limits. Each receive may wait socket_timeout; on top of that the
// whole request must be complete request_deadline after the accept, since a
// per-receive limit alone lets a client that sends one byte every few
// seconds hold a worker for as long as it likes, and a handful of such
// clients would stop the server. A connection that misses either limit is
// closed without an answer. Sending is bounded the same way.
//
// Descriptors. The soft descriptor limit is raised to the hard limit at
// start: at the usual soft limit of 1024 a busy server runs out, and accept
// then fails while the listening socket stays readable. After such a
// failure the loop waits for one poll period instead of spinning.
// Every socket is close-on-exec, so child processes (bridge scripts) never
// inherit a client's connection or the listener.
#include "http/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "http/request_reader.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollMillis = 200;
constexpr int kBacklog = 2048;
constexpr int kAcceptBatch = 64;             // connections accepted per wake-up of the accept loop
constexpr size_t kMinKeyBytes = 32;
constexpr int kLingerMillis = 1000;          // longest wait for a refused client to stop sending
constexpr size_t kLingerBytes = 1 << 20;     // most bytes discarded after a refusal

struct Pending {
  int fd;
  Clock::time_point accepted;
};

struct ServerState {
  const HttpServerOptions& options;
  DispatchContext dispatch;
  std::mutex queue_mutex;
  std::condition_variable queue_ready;
  std::deque<Pending> queue;
  std::atomic<bool> stopping{false};
  std::mutex engine_mutex;
};

void raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);  // best effort: the server runs at the old limit too
  }
}

void set_socket_timeouts(int fd, std::chrono::milliseconds timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000 * 1000);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Waits until `fd` is readable, for at most `timeout` and never past
// `deadline`. False when time ran out or poll failed.
bool wait_readable(int fd, std::chrono::milliseconds timeout, Clock::time_point deadline) {
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min(left, timeout).count()));
    if (r > 0) return true;
    if (r == 0 || errno != EINTR) return false;
  }
}

// After refusing a request that was not read to its end: stops sending and
// discards what the client still sends, for a short while. Closing a socket
// with unread input makes the kernel reset the connection, and the reset can
// destroy the answer before the client has read it.
void drain_after_rejection(int fd, std::chrono::milliseconds timeout) {
  ::shutdown(fd, SHUT_WR);
  const auto deadline = Clock::now() + std::min(timeout, std::chrono::milliseconds(kLingerMillis));
  char sink[4096];
  size_t discarded = 0;
  while (discarded < kLingerBytes && wait_readable(fd, timeout, deadline)) {
    const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
    if (n <= 0) return;
    discarded += static_cast<size_t>(n);
  }
}

void handle_connection(ServerState& state, const Pending& pending) {
  const auto deadline = pending.accepted + state.options.request_deadline;
  RequestReader reader;
  char chunk[4096];
  while (reader.state() == RequestReader::State::kNeedMore) {
    // The request is usually there already: try first, wait only when it is not.
    ssize_t n = ::recv(pending.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!wait_readable(pending.fd, state.options.socket_timeout, deadline)) return;
      continue;
    }
    if (n <= 0) return;
    if (Clock::now() >= deadline) return;
    reader.feed({chunk, static_cast<size_t>(n)});
  }
  HttpResponse response;
  try {
    response = reader.state() == RequestReader::State::kRejected ? reader.rejection()
                                                                 : answer_request(reader.request(), state.dispatch);
  } catch (...) {
    response = error_response(500, "request failed");
  }
  const auto send_deadline = Clock::now() + state.options.request_deadline;
  send_until(pending.fd, format_response(response), send_deadline);
  if (reader.state() == RequestReader::State::kRejected) drain_after_rejection(pending.fd, state.options.socket_timeout);
}

void worker_loop(ServerState& state) {
  for (;;) {
    Pending pending;
    {
      std::unique_lock<std::mutex> lock(state.queue_mutex);
      state.queue_ready.wait(lock, [&] { return state.stopping.load() || !state.queue.empty(); });
      if (state.queue.empty()) return;  // stopping, and the queue is drained
      pending = state.queue.front();
      state.queue.pop_front();
    }
    try {
      handle_connection(state, pending);
    } catch (...) {
      // Only allocation can fail outside answering; the connection is dropped, the server keeps running.
    }
    ::close(pending.fd);
  }
}

int open_listener(const HttpServerOptions& options) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options.port);
  address.sin_addr.s_addr = htonl(options.public_binding ? INADDR_ANY : INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, kBacklog) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed on port " + std::to_string(options.port));
  }
  return fd;
}

unsigned short bound_port(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

enum class Accepted { kQueued, kNone, kFailed };

// Accepts one pending connection and queues it, or answers 503 when the
// queue is full. kNone when no connection is waiting any more, kFailed after
// an accept failure that calls for a pause (descriptors or memory
// exhausted).
Accepted accept_one(ServerState& state, int listener) {
  const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EINTR || errno == ECONNABORTED) return Accepted::kQueued;  // try the next one
    return errno == EAGAIN || errno == EWOULDBLOCK ? Accepted::kNone : Accepted::kFailed;
  }
  const Pending pending{fd, Clock::now()};
  set_socket_timeouts(fd, state.options.socket_timeout);
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(state.queue_mutex);
    if (state.queue.size() < state.options.queue_limit) {
      state.queue.push_back(pending);
      queued = true;
    }
  }
  if (queued) {
    state.queue_ready.notify_one();
  } else {
    const HttpResponse overloaded = error_response(503, "overloaded");
    send_response(fd, overloaded.status, overloaded.body, overloaded.content_type.c_str());
    ::close(fd);
  }
  return Accepted::kQueued;
}

}  // namespace

int http_worker_count(const char* setting, unsigned hardware) {
  if (setting == nullptr) {
    if (hardware == 0) return 32;
    return static_cast<int>(std::clamp(hardware, 16u, 128u));
  }
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(setting, &end, 10);
  if (end == setting || errno == ERANGE || value < INT_MIN || value > INT_MAX) return 32;
  return static_cast<int>(std::clamp(value, 4L, 256L));
}

void serve_http(const HttpServerOptions& options, RouteHandler routes, std::atomic<bool>* stop) {
  std::string key = options.api_key ? *options.api_key : "";
  if (!options.api_key) {
    const char* from_environment = std::getenv("ORVANE_API_KEY");
    key = from_environment != nullptr ? from_environment : "";
  }
  if ((options.public_binding || !key.empty()) && key.size() < kMinKeyBytes) {
    throw std::runtime_error("public binding requires ORVANE_API_KEY with at least 32 random characters");
  }
  raise_descriptor_limit();
  const int listener = open_listener(options);

  ServerState state{options, {}, {}, {}, {}, {}, {}};
  state.dispatch = {{key, options.public_binding}, options.web_root, options.site_root,
                    routes ? std::move(routes) : RouteHandler(not_found_route), &state.engine_mutex};
  const int count = options.workers > 0 ? options.workers
                                        : http_worker_count(std::getenv("ORVANE_HTTP_WORKERS"),
                                                            std::thread::hardware_concurrency());
  std::vector<std::thread> workers;
  auto shut_down = [&] {
    ::close(listener);  // connections arriving while the queue drains are refused, not left waiting
    state.stopping = true;
    { std::lock_guard<std::mutex> lock(state.queue_mutex); }
    state.queue_ready.notify_all();
    for (std::thread& worker : workers) worker.join();
  };
  try {
    for (int i = 0; i < count; ++i) workers.emplace_back(worker_loop, std::ref(state));
    if (options.on_listening) options.on_listening(bound_port(listener));
  } catch (...) {
    shut_down();
    throw;
  }

  while (stop == nullptr || !stop->load()) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, kPollMillis) <= 0) continue;
    // Take every waiting connection before polling again, but look at the
    // stop flag between batches of bounded size.
    Accepted last = Accepted::kQueued;
    for (int i = 0; i < kAcceptBatch && last == Accepted::kQueued; ++i) last = accept_one(state, listener);
    if (last == Accepted::kFailed) ::poll(nullptr, 0, kPollMillis);
  }
  shut_down();
}

}  // namespace orvane
