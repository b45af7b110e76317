// Starting, probing and stopping the background server.
//
// The server must never serve unless the state file that names it is on
// disk: a server nothing names holds the graph and the port while status
// says stopped and stop does nothing. The start therefore forks a child that
// waits at a gate (one end of a socket pair) before it executes the server:
//
//   start                                   child
//   fork ------------------------------->   setsid, wait at the gate
//   write run/service.json (durable)
//   send one byte through the gate ----->   exec serve --managed-instance ID
//   wait for the health route
//
// When the start dies before the byte is sent, by any signal including
// SIGKILL, the kernel closes its end of the gate, the child reads end of
// file and exits without serving. The child also shares the control lock's
// open file until it executes (the descriptor closes on exec), so no other
// management command runs while the child stands between fork and exec; when
// one gets the lock, the child is either the server its state file names or
// gone. The signal mask blocks SIGINT, SIGTERM and SIGHUP from fork until
// the state is written, so a terminal signal cannot reach the child before
// setsid and cannot cut the state write short.
//
// A start killed after the gate opened leaves a server that its state file
// names but that may still be loading its graph. The next start adopts it:
// it waits for the health route as the killed start would have, for as long
// as the server has not yet opened its listening socket, and starts anew
// when the server ends instead.
#include "service/managed_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "graph/database.h"
#include "service/app_directory.h"
#include "service/state_file.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

extern char** environ;

namespace orvane {
namespace {

constexpr int kReadySeconds = 30;
constexpr int kStopSeconds = 30;

void sleep_poll() {
  timespec rest{0, 50 * 1000 * 1000};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

int pidfd_open(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

int pidfd_send_signal(int fd, int signal) { return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0)); }

std::string first_word(const std::string& text) {
  std::istringstream in(text);
  std::string word;
  in >> word;
  return word;
}

std::string home_for_previous_graph() {
  const char* home = std::getenv("HOME");
  return home == nullptr ? std::string() : std::string(home);
}

// Loads the one previous graph into `managed` when the managed graph is
// missing; see start_managed_server.
void adopt_previous_graph(const std::string& managed) {
  namespace fs = std::filesystem;
  if (fs::exists(managed)) return;
  std::vector<std::string> candidates;
  const std::string home = home_for_previous_graph();
  if (!home.empty()) candidates.push_back(home + "/halvex-data/my-graph.orv");
  candidates.push_back((fs::current_path() / "data/graph.orv").string());
  std::vector<std::string> kept;
  for (const std::string& candidate : candidates) {
    std::error_code error;
    if (!fs::is_regular_file(candidate, error)) continue;
    if (fs::absolute(candidate).string() == managed) continue;
    bool same = false;
    for (const std::string& k : kept) same = same || fs::equivalent(k, candidate, error);
    if (!same) kept.push_back(candidate);
  }
  if (kept.empty()) return;
  if (kept.size() > 1) {
    throw std::runtime_error(
        "Found more than one previous graph. Open the intended graph with orvane serve --db PATH before choosing a "
        "migration.");
  }
  std::unique_ptr<GraphWriterLock> lock;
  try {
    lock = GraphWriterLock::acquire(kept.front());
  } catch (const std::runtime_error&) {
    throw std::runtime_error("The previous graph is still open. Stop that process before starting Halvex.");
  }
  save_snapshot(load_snapshot(kept.front()), managed);
  std::cout << "Your existing graph is ready in Halvex.\n";
}

// Blocks until the start opens the gate; false when the start closed its
// end (or died) without opening it.
bool pass_gate(int gate) {
  char go = 0;
  ssize_t n = 0;
  while ((n = read(gate, &go, 1)) < 0 && errno == EINTR) {
  }
  return n == 1;
}

// Waits up to kReadySeconds for the health route of `state`. `ended` tells
// whether the server has ended; a server that ends is never ready. With
// `give_up_once_listening`, a server that listens yet does not answer is
// stuck at once: it has finished starting, so waiting longer would not help.
enum class Readiness { kReady, kEnded, kStuck };
template <typename Ended>
Readiness wait_for_health(const nlohmann::json& state, Ended ended, bool give_up_once_listening) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kReadySeconds);
  for (;;) {
    if (ended()) return Readiness::kEnded;
    // Looked at before the probe: a server that was already listening had
    // the whole probe to answer.
    const bool listening = give_up_once_listening && process_listens(state.at("pid").get<long long>());
    if (probe_health(state)) return Readiness::kReady;
    if (listening || std::chrono::steady_clock::now() >= deadline) return Readiness::kStuck;
    sleep_poll();
  }
}

}  // namespace

nlohmann::json start_managed_server(const std::string& application_directory, unsigned port, unsigned bolt_port) {
  const std::string managed = application_directory + "/graph.orv";
  adopt_previous_graph(managed);
  const std::string log_path = application_directory + "/logs/server.log";
  const int log = open_server_log(log_path);
  const std::string instance = first_word(read_text_file("/proc/sys/kernel/random/uuid"));
  if (instance.empty()) {
    close(log);
    throw std::runtime_error("Cannot generate a database instance identifier");
  }
  std::error_code error;
  std::string executable = std::filesystem::read_symlink("/proc/self/exe", error).string();
  std::vector<std::string> args{executable, "serve", "--db", managed, "--port", std::to_string(port),
                                "--no-fabric", "--managed-instance", instance};
  if (bolt_port == 0) {
    args.push_back("--no-bolt");
  } else {
    args.insert(args.end(), {"--bolt-port", std::to_string(bolt_port)});
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  signal(SIGCHLD, SIG_DFL);
  int gate[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gate) != 0) {
    close(log);
    throw std::runtime_error("Cannot start the database process");
  }
  sigset_t blocked, previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  if (sigprocmask(SIG_BLOCK, &blocked, &previous) != 0) {
    close(gate[0]);
    close(gate[1]);
    close(log);
    throw std::runtime_error("Cannot protect database startup");
  }
  const pid_t child = fork();
  if (child < 0) {
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    close(gate[0]);
    close(gate[1]);
    close(log);
    throw std::runtime_error("Cannot start the database process");
  }
  if (child == 0) {
    close(gate[0]);
    if (sigprocmask(SIG_SETMASK, &previous, nullptr) != 0 || setsid() < 0) _exit(125);
    if (!pass_gate(gate[1])) _exit(125);
    const int in = open("/dev/null", O_RDONLY);
    if (in < 0 || dup2(in, 0) < 0 || dup2(log, 1) < 0 || dup2(log, 2) < 0) _exit(125);
    execv(argv[0], argv.data());
    _exit(126);
  }
  close(gate[1]);
  close(log);
  nlohmann::json state = {{"boot", read_text_file("/proc/sys/kernel/random/boot_id")},
                          {"instance", instance},
                          {"pid", static_cast<long long>(child)},
                          {"port", port},
                          {"bolt_port", bolt_port},
                          {"ticks", process_start_ticks(child)}};
  try {
    write_state_file(application_directory + "/run/service.json", state);
  } catch (...) {
    close(gate[0]);  // the child leaves without serving
    waitpid(child, nullptr, 0);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    throw;
  }
  // A child that is already gone makes the send fail; the wait below
  // reports it as a failed start.
  send(gate[0], "1", 1, MSG_NOSIGNAL);
  close(gate[0]);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  const auto ended = [child] {
    int status = 0;
    return waitpid(child, &status, WNOHANG) == child;
  };
  switch (wait_for_health(state, ended, false)) {
    case Readiness::kReady:
      return state;
    case Readiness::kEnded:
      throw std::runtime_error("Halvex could not start. Check " + log_path + " (the port may already be in use).");
    case Readiness::kStuck:
      break;
  }
  throw std::runtime_error("Halvex did not become ready. Check " + log_path);
}

bool await_recorded_server(const nlohmann::json& state) {
  const auto ended = [&state] { return !is_live_instance(state); };
  switch (wait_for_health(state, ended, true)) {
    case Readiness::kReady:
      return true;
    case Readiness::kEnded:
      return false;
    case Readiness::kStuck:
      break;
  }
  throw std::runtime_error(
      "The database process is running but is not ready. Check orvane status and the application log.");
}

void stop_managed_server(const nlohmann::json& state) {
  const auto pid = static_cast<pid_t>(state.at("pid").get<long long>());
  const int fd = pidfd_open(pid);
  if (fd < 0) {
    if (is_live_instance(state)) {
      throw std::runtime_error("Cannot safely signal the database process (pidfd support is required)");
    }
    return;
  }
  if (is_live_instance(state) && pidfd_send_signal(fd, SIGTERM) != 0 && errno != ESRCH) {
    close(fd);
    throw std::runtime_error("Cannot stop the database process");
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStopSeconds);
  while (is_live_instance(state)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      close(fd);
      throw std::runtime_error("Database is still finishing its work. Run orvane stop again to check.");
    }
    sleep_poll();
  }
  close(fd);
}

bool probe_health(const nlohmann::json& state) {
  try {
    const auto port_field = state.find("port");
    if (port_field == state.end() || !port_field->is_number()) return false;
    const double port = port_field->get<double>();
    if (port < 1 || port > 65535) return false;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    timeval timeout{0, 300000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      const std::string request = "GET /v1/health HTTP/1.1\r\nHost: 127.0.0.1:" +
                                  std::to_string(static_cast<unsigned>(port)) + "\r\nConnection: close\r\n\r\n";
      if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char chunk[1024];
        ssize_t n = 0;
        while (reply.size() < 8192 && (n = recv(fd, chunk, sizeof chunk, 0)) > 0) {
          reply.append(chunk, static_cast<std::size_t>(n));
        }
      }
    }
    close(fd);
    if (reply.rfind("HTTP/1.1 200 ", 0) != 0) return false;
    const std::size_t blank = reply.find("\r\n\r\n");
    if (blank == std::string::npos) return false;
    const nlohmann::json body = nlohmann::json::parse(reply.substr(blank + 4), nullptr, false);
    return body.is_object() && body.value("ok", false) == true && body.contains("instance") &&
           body["instance"] == state.at("instance");
  } catch (...) {
    return false;
  }
}

void open_in_browser(const std::string& url) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
      std::getenv("BROWSER") == nullptr) {
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  std::string target = url;
  char* argv[] = {program.data(), target.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ) != 0) {
    std::cerr << "Open " << url << " in your browser. Install xdg-utils for automatic desktop opening.\n";
  }
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace orvane
