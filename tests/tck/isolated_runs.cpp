// A small process pool: up to `jobs` children, each with its own pipe. The
// parent polls the pipes with a timeout that ends at the earliest
// deadline, reads until end of file, then reaps the child. The verdict
// travels as one byte ('P' or 'F') followed by the reason.
#include "tck/isolated_runs.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace orvane::tck {
namespace {

using Clock = std::chrono::steady_clock;

struct Child {
  std::size_t index = 0;
  pid_t pid = -1;
  int fd = -1;             // read end of the verdict pipe
  Clock::time_point deadline;
  std::string received;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

void write_all(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

[[noreturn]] void child_main(int fd, std::size_t index, const std::function<Verdict(std::size_t)>& task,
                             const IsolationLimits& limits) {
  if (limits.memory_mb > 0 && !kSanitized) {
    const rlim_t bytes = static_cast<rlim_t>(limits.memory_mb) << 20;
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_AS, &limit);
  }
  Verdict v;
  try {
    v = task(index);
  } catch (const std::exception& e) {
    v = {false, std::string("runner error: ") + e.what()};
  } catch (...) {
    v = {false, "runner error: unknown exception"};
  }
  write_all(fd, (v.passed ? "P" : "F") + v.reason);
  ::close(fd);
  ::_exit(0);  // no destructors or atexit handlers of the parent's state
}

Child start(std::size_t index, const std::function<Verdict(std::size_t)>& task, const IsolationLimits& limits) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  }
  if (pid == 0) {
    ::close(fds[0]);
    child_main(fds[1], index, task, limits);
  }
  ::close(fds[1]);
  Child c;
  c.index = index;
  c.pid = pid;
  c.fd = fds[0];
  c.deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limits.seconds));
  return c;
}

Verdict finish(Child& c, bool timed_out, double seconds) {
  if (timed_out) ::kill(c.pid, SIGKILL);
  ::close(c.fd);
  int status = 0;
  while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timed_out) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return {false, std::string("timed out after ") + text + " s"};
  }
  if (WIFSIGNALED(status)) return {false, "crashed: signal " + std::to_string(WTERMSIG(status))};
  if (c.received.empty()) return {false, "child ended without a verdict"};
  return {c.received[0] == 'P', c.received.substr(1)};
}

}  // namespace

std::vector<Verdict> run_isolated(std::size_t count, const std::function<Verdict(std::size_t)>& task,
                                  const IsolationLimits& limits,
                                  const std::function<void(std::size_t, const Verdict&)>& on_done) {
  std::vector<Verdict> verdicts(count);
  std::vector<Child> running;
  std::size_t next = 0;
  const std::size_t jobs = limits.jobs < 1 ? 1 : static_cast<std::size_t>(limits.jobs);
  auto complete = [&](std::size_t k, bool timed_out) {
    Child c = std::move(running[k]);
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(k));
    verdicts[c.index] = finish(c, timed_out, limits.seconds);
    if (on_done) on_done(c.index, verdicts[c.index]);
  };
  while (next < count || !running.empty()) {
    while (next < count && running.size() < jobs) running.push_back(start(next++, task, limits));
    Clock::time_point earliest = running.front().deadline;
    for (const Child& c : running) earliest = std::min(earliest, c.deadline);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(earliest - Clock::now()).count();
    std::vector<pollfd> fds;
    for (const Child& c : running) fds.push_back({c.fd, POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait, 0) + 1));
    if (ready < 0 && errno != EINTR) throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    // From the back, so that erasing a finished child keeps earlier indices valid.
    for (std::size_t k = running.size(); k-- > 0;) {
      if (ready > 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        char buffer[4096];
        const ssize_t n = ::read(running[k].fd, buffer, sizeof buffer);
        if (n > 0) {
          running[k].received.append(buffer, static_cast<std::size_t>(n));
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        complete(k, false);
      } else if (Clock::now() >= running[k].deadline) {
        complete(k, true);
      }
    }
  }
  return verdicts;
}

}  // namespace orvane::tck
