// The loop's thread owns every connection; workers only see a message and
// hand back a Reply. A connection moves through four phases:
//
//   reading   the framer is fed until it has a complete message
//   working   the message is queued or answered on a worker; nothing is read,
//             so answers on one connection leave in the order of the messages
//   writing   the answer is sent without blocking, continued on EPOLLOUT
//             (on a persistent connection the worker sends what the
//             socket takes at once, usually all of it, and the loop only
//             finishes large answers; an answer that ends its connection is
//             sent by the loop, which closes at once: when the client closed
//             first, its side would keep the port in TIME_WAIT, and a client
//             opening a connection per request runs slower)
//   lingering after a refusal: the write side is shut and what the client
//             still sends is discarded for a short while, because closing a
//             socket with unread input resets the connection and the reset
//             can destroy the refusal before the client reads it
//
// After an answer a persistent connection goes back to reading, starting with
// the bytes the framer already holds (pipelined messages).
//
// Sockets are edge-triggered: each readiness change is reported once, so the
// loop reads or writes until EAGAIN, and after every change of phase it tries
// the socket again instead of waiting for an edge it may already have had.
//
// Time limits are checked by a sweep over all connections every tick (100
// ms), which is also how the loop sees the stop flag. A few thousand
// connections cost microseconds per sweep; a timer wheel would only pay off
// far beyond that.
//
// Accept failures for lack of descriptors or memory take the listener out of
// the poll set for a moment: it stays readable, and polling it again at once
// would spin.
#include "net/connection_loop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "net/listener.h"
#include "net/worker_pool.h"

namespace orvane::net {
namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using std::chrono::milliseconds;

constexpr int kTickMillis = 100;
constexpr int kAcceptBatch = 64;               // accepts per wake-up, so reading is never starved
constexpr int kMaxEvents = 256;
constexpr size_t kReadChunk = 16384;
constexpr milliseconds kLingerLimit{1000};     // longest wait for a refused client to stop sending
constexpr size_t kLingerBytes = 1 << 20;       // most bytes discarded after a refusal
constexpr milliseconds kAcceptPause{200};
constexpr size_t kKeptOutputBytes = 1 << 16;   // answer buffer kept for the next answer
constexpr uint64_t kListenerId = 0;
constexpr uint64_t kWakeId = 1;

enum class Phase { kReading, kWorking, kWriting, kLingering };
enum class AfterWrite { kRead, kClose, kLinger };

struct Connection {
  uint64_t id;
  int fd;
  uint32_t address;                 // peer IPv4 address: key of the per-address count
  bool counted;                     // whether it counts toward its address's cap
  std::unique_ptr<Framer> framer;   // null for a connection refused at accept
  std::shared_ptr<Session> session;  // shared with the worker answering its message
  Phase phase = Phase::kReading;
  bool first_message = true;        // the first message starts at accept, not at its first byte
  TimePoint message_start;          // start of the message being read
  TimePoint last_progress;          // last receive or send that moved bytes (or accept)
  TimePoint write_start;
  TimePoint linger_until;
  std::string out;                  // answer being sent
  size_t sent = 0;                  // bytes of `out` sent
  AfterWrite after = AfterWrite::kRead;
  bool more = false;                // the answer being sent has a next part (Reply::more)
  size_t discarded = 0;             // bytes thrown away while lingering
};

struct Done {
  uint64_t id;
  Reply reply;
  size_t sent;  // bytes of the answer the worker already sent
  bool failed;  // the handler threw: close without an answer
};

class Loop {
 public:
  Loop(const LoopOptions& options, const Protocol& protocol, int listener)
      : options_(options), protocol_(protocol), listener_(listener) {}
  ~Loop();
  void run(std::atomic<bool>* stop);

 private:
  void setup();
  void accept_batch();
  void refuse_at_accept(int fd);
  void on_event(uint64_t id, uint32_t events);
  void read_from(Connection& c);
  bool after_feed(Connection& c, Framer::State state);
  void dispatch(Connection& c);
  void submit(Connection& c, std::function<Reply(Session&)> work);
  void post(Done done);
  void collect_answers();
  void start_write(Connection& c, std::string bytes, AfterWrite after, size_t already_sent = 0);
  void write_to(Connection& c);
  void finish_write(Connection& c);
  void start_linger(Connection& c);
  void drain(Connection& c);
  void close_connection(Connection& c);
  void sweep(TimePoint now);
  TimePoint deadline_of(const Connection& c) const;
  void begin_stop();

  const LoopOptions& options_;
  const Protocol& protocol_;
  int listener_;
  int epoll_ = -1;
  int wake_ = -1;
  bool stopping_ = false;
  bool accept_paused_ = false;
  TimePoint accept_resume_{};
  uint64_t next_id_ = kWakeId + 1;
  std::unordered_map<uint64_t, Connection> connections_;
  std::unordered_map<uint32_t, size_t> per_address_;
  std::vector<char> chunk_ = std::vector<char>(kReadChunk);
  std::mutex done_mutex_;
  std::vector<Done> done_;          // answers handed back by workers, guarded by done_mutex_
  std::unique_ptr<WorkerPool> pool_;  // last: joined before anything it posts to goes away
};

Loop::~Loop() {
  pool_.reset();
  for (auto& [id, c] : connections_) ::close(c.fd);
  if (wake_ >= 0) ::close(wake_);
  if (epoll_ >= 0) ::close(epoll_);
  if (listener_ >= 0) ::close(listener_);
}

void Loop::setup() {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  epoll_event listen_event{EPOLLIN, {.u64 = kListenerId}};
  epoll_event wake_event{EPOLLIN, {.u64 = kWakeId}};
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &listen_event) != 0 ||
      ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &wake_event) != 0) {
    throw std::system_error(errno, std::generic_category(), "epoll_ctl");
  }
  pool_ = std::make_unique<WorkerPool>(options_.workers, options_.queue_limit);
}

void Loop::run(std::atomic<bool>* stop) {
  setup();
  if (options_.on_listening) options_.on_listening(bound_port(listener_));
  epoll_event events[kMaxEvents];
  TimePoint last_sweep = Clock::now();
  while (!stopping_ || !connections_.empty()) {
    const int n = ::epoll_wait(epoll_, events, kMaxEvents, kTickMillis);
    for (int i = 0; i < n; ++i) {
      const uint64_t id = events[i].data.u64;
      if (id == kListenerId) {
        if (!stopping_) accept_batch();
      } else if (id == kWakeId) {
        collect_answers();
      } else {
        on_event(id, events[i].events);
      }
    }
    if (!stopping_ && stop != nullptr && stop->load()) begin_stop();
    const TimePoint now = Clock::now();
    if (now - last_sweep >= milliseconds(kTickMillis)) {
      sweep(now);
      last_sweep = now;
    }
  }
}

void Loop::accept_batch() {
  for (int i = 0; i < kAcceptBatch; ++i) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      epoll_event none{0, {.u64 = kListenerId}};
      ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listener_, &none);
      accept_paused_ = true;
      accept_resume_ = Clock::now() + kAcceptPause;
      return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // answers leave at once, not after an ACK
    const uint32_t address = peer.sin_addr.s_addr;
    size_t& open = per_address_[address];
    if (open >= options_.connections_per_address) {
      if (open == 0) per_address_.erase(address);
      refuse_at_accept(fd);
      continue;
    }
    ++open;
    const uint64_t id = next_id_++;
    const TimePoint now = Clock::now();
    Connection& c = connections_[id];
    c.id = id;
    c.fd = fd;
    c.address = address;
    c.counted = true;
    c.message_start = c.last_progress = now;
    epoll_event event{EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET, {.u64 = id}};
    try {
      c.framer = protocol_.new_framer();
      c.session = protocol_.new_session();
    } catch (...) {
      close_connection(c);
      continue;
    }
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) close_connection(c);
  }
}

void Loop::refuse_at_accept(int fd) {
  const uint64_t id = next_id_++;
  Connection& c = connections_[id];
  c.id = id;
  c.fd = fd;
  c.address = 0;
  c.counted = false;
  c.message_start = c.last_progress = Clock::now();
  epoll_event event{EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET, {.u64 = id}};
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) return close_connection(c);
  start_write(c, protocol_.too_many, AfterWrite::kLinger);
}

void Loop::on_event(uint64_t id, uint32_t) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  Connection& c = found->second;
  try {
    switch (c.phase) {
      case Phase::kReading: return read_from(c);
      case Phase::kWriting: return write_to(c);
      case Phase::kLingering: return drain(c);
      case Phase::kWorking: return;  // looked at again once the answer is sent
    }
  } catch (...) {
    // Only allocation fails here; the connection is dropped, the server keeps running.
    if (c.phase != Phase::kWorking) close_connection(c);
  }
}

// Reads until the socket is empty or the framer has a message. Each call may
// close `c`; callers return right after.
void Loop::read_from(Connection& c) {
  for (;;) {
    const ssize_t n = ::recv(c.fd, chunk_.data(), chunk_.size(), 0);
    if (n > 0) {
      const TimePoint now = Clock::now();
      if (c.framer->buffered() == 0 && !c.first_message) c.message_start = now;
      c.last_progress = now;
      if (after_feed(c, c.framer->feed({chunk_.data(), static_cast<size_t>(n)}))) return;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    return close_connection(c);  // the client closed or the connection failed, answered or not
  }
}

// True when `state` took the connection out of reading.
bool Loop::after_feed(Connection& c, Framer::State state) {
  if (state == Framer::State::kNeedMore) return false;
  if (state == Framer::State::kComplete) {
    dispatch(c);
  } else {
    start_write(c, c.framer->refusal(), AfterWrite::kLinger);
  }
  return true;
}

void Loop::dispatch(Connection& c) {
  std::string message = c.framer->take_message();
  c.first_message = false;
  submit(c, [message = std::move(message)](Session& session) mutable { return session.handle(std::move(message)); });
}

void Loop::submit(Connection& c, std::function<Reply(Session&)> work) {
  const uint64_t id = c.id;
  const int fd = c.fd;
  // While the connection is working the loop does not touch its socket, so
  // the worker may send on it. post() fails only when memory runs out, and
  // then the worker ends the process.
  const bool queued = pool_->try_submit([this, id, fd, session = c.session, work = std::move(work)]() mutable {
    Done done{id, {}, 0, true};
    try {
      done.reply = work(*session);
      done.failed = false;
    } catch (...) {
    }
    while (!done.failed && !done.reply.close && done.sent < done.reply.bytes.size()) {
      const ssize_t n = ::send(fd, done.reply.bytes.data() + done.sent, done.reply.bytes.size() - done.sent,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n <= 0 && !(n < 0 && errno == EINTR)) break;  // the loop sends the rest, or meets the error
      if (n > 0) done.sent += static_cast<size_t>(n);
    }
    post(std::move(done));
  });
  if (!queued) return start_write(c, protocol_.overloaded, AfterWrite::kLinger);
  c.phase = Phase::kWorking;
}

void Loop::post(Done done) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(done_mutex_);
    wake = done_.empty();  // one wake-up carries every answer posted before the loop reads them
    done_.push_back(std::move(done));
  }
  if (wake) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
  }
}

void Loop::collect_answers() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(wake_, &count, sizeof count);
  std::vector<Done> ready;
  {
    std::lock_guard<std::mutex> lock(done_mutex_);
    ready.swap(done_);
  }
  for (Done& done : ready) {
    const auto found = connections_.find(done.id);
    if (found == connections_.end()) continue;
    Connection& c = found->second;
    if (done.failed) {
      close_connection(c);
      continue;
    }
    // A stop lets an answer in parts finish, as it lets any answer under
    // way finish; the connection closes after its last part.
    const AfterWrite after = done.reply.close || (stopping_ && !done.reply.more) ? AfterWrite::kClose : AfterWrite::kRead;
    c.more = done.reply.more && !done.reply.close;
    try {
      start_write(c, std::move(done.reply.bytes), after, done.sent);
    } catch (...) {
      close_connection(c);
    }
  }
}

void Loop::start_write(Connection& c, std::string bytes, AfterWrite after, size_t already_sent) {
  c.out = std::move(bytes);
  c.sent = already_sent;
  c.after = after;
  c.phase = Phase::kWriting;
  c.write_start = c.last_progress = Clock::now();
  write_to(c);
}

void Loop::write_to(Connection& c) {
  while (c.sent < c.out.size()) {
    const ssize_t n = ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
    if (n > 0) {
      c.sent += static_cast<size_t>(n);
      c.last_progress = Clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // EPOLLOUT continues it
    return close_connection(c);
  }
  finish_write(c);
}

void Loop::finish_write(Connection& c) {
  if (c.out.capacity() > kKeptOutputBytes) {
    std::string().swap(c.out);
  } else {
    c.out.clear();
  }
  if (c.after == AfterWrite::kLinger) return start_linger(c);
  if (c.more && c.after == AfterWrite::kRead) {
    c.more = false;
    return submit(c, [](Session& session) { return session.resume(); });
  }
  if (c.after == AfterWrite::kClose || stopping_) {
    // Input the framer holds or the socket still has would turn the close
    // into a reset; let it drain instead.
    char probe;
    const bool unread = (c.framer && c.framer->buffered() > 0) ||
                        ::recv(c.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
    return unread ? start_linger(c) : close_connection(c);
  }
  c.phase = Phase::kReading;
  const TimePoint now = Clock::now();
  c.last_progress = c.message_start = now;
  if (c.framer->buffered() > 0 && after_feed(c, c.framer->feed({}))) return;
  read_from(c);
}

void Loop::start_linger(Connection& c) {
  ::shutdown(c.fd, SHUT_WR);
  c.phase = Phase::kLingering;
  c.discarded = 0;
  c.linger_until = Clock::now() + std::min(options_.receive_timeout, kLingerLimit);
  drain(c);
}

void Loop::drain(Connection& c) {
  for (;;) {
    const ssize_t n = ::recv(c.fd, chunk_.data(), chunk_.size(), 0);
    if (n > 0) {
      c.discarded += static_cast<size_t>(n);
      if (c.discarded >= kLingerBytes) return close_connection(c);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    return close_connection(c);
  }
}

void Loop::close_connection(Connection& c) {
  ::close(c.fd);  // also takes it out of the epoll set
  // A session may have work to do at its end (a Bolt connection rolls its
  // open transaction back, which waits for the engine's lock): it ends on
  // a worker, never on the loop's thread, which serves every connection.
  if (c.session != nullptr && pool_ != nullptr) {
    const bool queued = pool_->try_submit([session = std::move(c.session)]() mutable { session.reset(); });
    if (!queued) c.session.reset();
  }
  if (c.counted) {
    const auto open = per_address_.find(c.address);
    if (open != per_address_.end() && --open->second == 0) per_address_.erase(open);
  }
  connections_.erase(c.id);
}

TimePoint Loop::deadline_of(const Connection& c) const {
  switch (c.phase) {
    case Phase::kReading: {
      if (c.framer->buffered() == 0 && !c.first_message) return c.last_progress + options_.idle_timeout;
      if (c.framer->buffered() == 0) {
        return std::min(c.last_progress + options_.idle_timeout, c.message_start + options_.message_deadline);
      }
      TimePoint limit = std::min(c.last_progress + options_.receive_timeout,
                                 c.message_start + options_.message_deadline);
      if (!c.framer->header_complete()) limit = std::min(limit, c.message_start + options_.header_timeout);
      return limit;
    }
    case Phase::kWriting:
      return std::min(c.last_progress + options_.send_timeout, c.write_start + options_.send_deadline);
    case Phase::kLingering:
      return c.linger_until;
    case Phase::kWorking:
      break;
  }
  return TimePoint::max();
}

void Loop::sweep(TimePoint now) {
  if (accept_paused_ && !stopping_ && now >= accept_resume_) {
    epoll_event listen_event{EPOLLIN, {.u64 = kListenerId}};
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listener_, &listen_event);
    accept_paused_ = false;
  }
  std::vector<uint64_t> expired;
  for (const auto& [id, c] : connections_) {
    if (deadline_of(c) <= now) expired.push_back(id);
  }
  for (uint64_t id : expired) close_connection(connections_.at(id));
}

void Loop::begin_stop() {
  stopping_ = true;
  // Connections arriving while the answers drain are refused, not left waiting.
  ::close(listener_);
  listener_ = -1;
  // Idle connections end now; one in the middle of a message may finish it
  // within its time limits and is answered, as nginx does on a graceful stop.
  // Bytes still in the socket count as a message begun: the loop may not
  // have read them yet when the stop arrives.
  std::vector<uint64_t> idle;
  for (const auto& [id, c] : connections_) {
    char next = 0;
    if (c.phase == Phase::kReading && c.framer->buffered() == 0 &&
        ::recv(c.fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) {
      idle.push_back(id);
    }
  }
  for (uint64_t id : idle) close_connection(connections_.at(id));
}

}  // namespace

void serve_connections(const LoopOptions& options, const Protocol& protocol, std::atomic<bool>* stop) {
  raise_descriptor_limit();
  Loop loop(options, protocol,
            options.listener >= 0 ? options.listener : open_listener(options.port, options.public_binding));
  loop.run(stop);
}

}  // namespace orvane::net
