// start, stop, status and restart on their parsed options: the control
// lock, the state file's verdict and the resulting action. The server is reached only
// through the state file, the health route and a pidfd signal.
#include "service/service_command.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "service/app_directory.h"
#include "storage/catalogue.h"
#include "service/managed_server.h"
#include "service/state_file.h"

namespace orvane {
namespace {

constexpr unsigned kDefaultPort = 7475;
constexpr unsigned kDefaultBoltPort = 7687;
constexpr int kControlLockSeconds = 35;
constexpr const char* kStopped = "Halvex is stopped. Run orvane to start it.\n";
constexpr const char* kStoppedSaved = "Halvex is stopped. Your graph is saved.\n";

// Holds run/control.lock exclusively until destroyed, waiting up to 35 s.
class ControlLock {
 public:
  explicit ControlLock(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) throw std::runtime_error("Cannot open the application control lock");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kControlLockSeconds);
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
        close(fd_);
        throw std::runtime_error("Another Halvex command is still starting or stopping the database");
      }
      timespec rest{0, 50 * 1000 * 1000};
      while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
      }
    }
  }
  ~ControlLock() { close(fd_); }
  ControlLock(const ControlLock&) = delete;
  ControlLock& operator=(const ControlLock&) = delete;

 private:
  int fd_ = -1;
};

bool runs_updated_executable(const nlohmann::json& state) {
  struct stat running {}, self {};
  const std::string exe = "/proc/" + std::to_string(state.at("pid").get<long long>()) + "/exe";
  if (stat(exe.c_str(), &running) != 0 || stat("/proc/self/exe", &self) != 0) return false;
  return running.st_dev != self.st_dev || running.st_ino != self.st_ino;
}

// Prints the lines of a successful start and opens the browser.
int report_running(const nlohmann::json& state, bool browser) {
  const std::string url = service_url(state);
  std::cout << "Halvex is running at " << url << '\n';
  if (const std::string bolt = service_bolt_url(state); !bolt.empty()) std::cout << "Bolt " << bolt << '\n';
  std::cout << "Your graph is saved automatically. Run orvane stop to stop the database.\n";
  std::cout.flush();
  if (browser) open_in_browser(url);
  return 0;
}

// Where the service keeps each database: the catalogue beside the managed
// graph when there is one, else the graph file itself.
void print_graph_files(const std::string& directory) {
  const std::string graph = directory + "/graph.orv";
  std::optional<Catalogue> catalogue;
  try {
    catalogue = read_catalogue(catalogue_path(graph));
  } catch (const std::exception& e) {
    std::cout << "Graph: " << graph << " (" << e.what() << ")\n";
    return;
  }
  if (!catalogue) {
    std::cout << "Graph: " << graph << '\n';
    return;
  }
  for (const CatalogueEntry& entry : catalogue->databases) {
    std::cout << "Database " << entry.name << ": " << directory << '/' << entry.file
              << (entry.name == catalogue->current ? " (current)" : "") << '\n';
  }
}

// The Bolt port a start serves: none with --no-bolt, else --bolt-port,
// else the one `running` (the state of the server it replaces) served,
// else 7687.
unsigned bolt_port_of(const ServiceOptions& args, const nlohmann::json& running) {
  if (!args.bolt) return 0;
  if (args.bolt_port) return *args.bolt_port;
  if (running.is_object()) {
    const auto port = running.find("bolt_port");
    if (port != running.end() && port->is_number_unsigned()) return port->get<unsigned>();
  }
  return kDefaultBoltPort;
}

int start_and_report(const std::string& directory, unsigned port, unsigned bolt_port, bool browser) {
  return report_running(start_managed_server(directory, port, bolt_port), browser);
}

}  // namespace

int run_service_command(const std::string& command, const ServiceOptions& args) {
  const std::string directory = application_directory();
  if (command == "status" && !std::filesystem::exists(directory)) {
    std::cout << kStopped;
    return 3;
  }
  ensure_private_directory(directory);
  ensure_private_directory(directory + "/run");
  ensure_private_directory(directory + "/logs");
  ControlLock lock(directory + "/run/control.lock");
  const std::string state_path = directory + "/run/service.json";
  const nlohmann::json state = read_state(state_path);
  const bool alive = !state.is_null() && is_live_instance(state);

  if (command == "status") {
    if (!alive) {
      std::cout << kStopped;
      return 3;
    }
    std::cout << "Halvex is running at " << service_url(state) << '\n';
    if (const std::string bolt = service_bolt_url(state); !bolt.empty()) std::cout << "Bolt " << bolt << '\n';
    print_graph_files(directory);
    return probe_health(state) ? 0 : 1;
  }
  if (!alive) {
    if (command != "start") std::filesystem::remove(state_path);
    if (command == "stop") {
      std::cout << kStoppedSaved;
      return 0;
    }
    return start_and_report(directory, args.port.value_or(kDefaultPort), bolt_port_of(args, nullptr), args.browser);
  }
  const bool updated = runs_updated_executable(state);
  const unsigned running_port = state.at("port").get<unsigned>();
  if (command != "start" || updated) {
    stop_managed_server(state);
    std::filesystem::remove(state_path);
    if (command == "stop") {
      std::cout << kStoppedSaved;
      return 0;
    }
    if (updated) std::cout << "Starting the updated Halvex. Your existing graph is saved.\n";
    return start_and_report(directory, args.port.value_or(running_port), bolt_port_of(args, state), args.browser);
  }
  const std::string url = service_url(state);
  if (args.port && *args.port != running_port) {
    throw std::runtime_error("Halvex is already running at " + url + ". Use orvane restart --port to change its port.");
  }
  if (!probe_health(state)) {
    // The server of an earlier start that did not finish (it may have been
    // killed): wait for it as that start would have, or start anew when it
    // ends.
    if (!await_recorded_server(state)) {
      std::filesystem::remove(state_path);
      return start_and_report(directory, args.port.value_or(running_port), bolt_port_of(args, state), args.browser);
    }
    return report_running(state, args.browser);
  }
  std::cout << "Halvex is already running at " << url << '\n';
  std::cout.flush();
  if (args.browser) open_in_browser(url);
  return 0;
}

}  // namespace orvane
