// The serve (console) and site commands: build the Engine, print where it
// is served and run the HTTP server in the foreground. serve keeps its
// graph in a snapshot file under that file's writer lock for the whole run
// and stops when SIGTERM or SIGINT sets the process-wide stop flag; the
// previous handlers come back however the server ends.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <thread>
#include <atomic>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <algorithm>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/query_bound_options.h"
#include "console/engine.h"
#include "console/procedures.h"
#include "graph/database.h"
#include "bolt/server.h"
#include "http/serve_engine.h"
#include "http/server.h"
#include "net/listener.h"
#include "io/bridge.h"
#include "service/app_directory.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

namespace orvane {
namespace {

std::atomic<bool> g_stop{false};

extern "C" void request_stop(int) { g_stop.store(true); }

// Installs request_stop for SIGTERM and SIGINT and puts the previous
// handlers back when destroyed.
class StopSignals {
 public:
  StopSignals() {
    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, &previous_term_);
    sigaction(SIGINT, &action, &previous_int_);
  }
  ~StopSignals() {
    sigaction(SIGTERM, &previous_term_, nullptr);
    sigaction(SIGINT, &previous_int_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction previous_term_ {};
  struct sigaction previous_int_ {};
};

unsigned short port_option(int argc, char** argv, const std::string& fallback) {
  return static_cast<unsigned short>(parse_unsigned(option_value(argc, argv, "--port", fallback), "--port"));
}

// The graph path of serve: empty with --ephemeral, else --db, else the
// application directory's graph.orv (the directory made private first).
std::string graph_path(int argc, char** argv) {
  if (has_flag(argc, argv, "--ephemeral")) return "";
  const std::string db = option_value(argc, argv, "--db", "");
  if (!db.empty()) return db;
  const std::string directory = application_directory();
  ensure_private_directory(directory);
  return directory + "/graph.orv";
}

Engine build_new_engine(int argc, char** argv) {
  const std::uint64_t people = parse_unsigned(option_value(argc, argv, "--people", "0"), "--people");
  const std::uint64_t papers = parse_unsigned(option_value(argc, argv, "--papers", "0"), "--papers");
  const auto seed = static_cast<std::uint32_t>(parse_unsigned(option_value(argc, argv, "--seed", "42"), "--seed"));
  const bool fabric = !has_flag(argc, argv, "--no-fabric");
  if ((people == 0 && papers == 0) || has_flag(argc, argv, "--empty")) {
    Engine engine;
    Database empty;
    empty.compile();
    engine.register_database("orvane", std::move(empty));
    engine.use_database("orvane");
    return engine;
  }
  return make_demo_engine(people, papers, seed, fabric);
}

// The engine of serve. An existing graph file is opened with every
// database kept beside it; otherwise the engine is built (one empty
// database, or the demonstration databases) and, with a path, its current
// database is kept there from now on. `lock` is the path's writer lock.
Engine build_engine(int argc, char** argv, const std::string& path, std::unique_ptr<GraphWriterLock> lock) {
  if (!path.empty() && std::filesystem::exists(path)) {
    Engine engine;
    engine.open_kept(path, std::move(lock));
    return engine;
  }
  Engine engine = build_new_engine(argc, argv);
  if (!path.empty()) engine.keep_in(path, std::move(lock), true);
  return engine;
}

void print_start_lines(const Engine& engine, unsigned short port) {
  const std::vector<std::string> names = engine.database_names();
  std::cout << "Halvex Browser   http://127.0.0.1:" << port << "/\n";
  std::cout << "Halvex website   http://127.0.0.1:" << port << "/site/\n";
  if (!engine.bolt_address.empty()) std::cout << "Bolt " << engine.bolt_address << '\n';
  std::cout << "  databases: ";
  for (const std::string& name : names) std::cout << name << ' ';
  const Database& current = engine.database();
  std::cout << "\n  nodes=" << current.graph.node_count << " edges=" << current.graph.out_targets.size() << '\n';
  std::cout.flush();
}

// The Bolt listening socket of serve, opened before anything is loaded so
// that a busy port fails the start at once; closed unless handed to the
// listener's loop.
class BoltSocket {
 public:
  BoltSocket(int argc, char** argv, bool public_binding) {
    if (has_flag(argc, argv, "--no-bolt")) return;
    const std::string port = option_value(argc, argv, "--bolt-port", "7687");
    try {
      fd_ = net::open_listener(static_cast<unsigned short>(parse_unsigned(port, "--bolt-port")), public_binding);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error("Bolt port " + port + " is not free (" + e.what() +
                               "): choose another with --bolt-port N, or serve without Bolt with --no-bolt");
    }
  }
  ~BoltSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  BoltSocket(const BoltSocket&) = delete;
  BoltSocket& operator=(const BoltSocket&) = delete;

  bool open() const { return fd_ >= 0; }
  unsigned short port() const { return net::bound_port(fd_); }
  // Hands the socket over to whoever closes it from now on.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// Serves HTTP on the calling thread and Bolt (when `bolt` is open) on a
// thread of its own until the stop flag is set; a listener that fails
// stops the other, and its error is thrown once both have ended.
void serve_listeners(Engine& engine, unsigned short port, bool public_binding, BoltSocket& bolt,
                     const std::string& key) {
  std::thread bolt_thread;
  std::exception_ptr bolt_failure;
  if (bolt.open()) {
    bolt::BoltServerOptions options = bolt::bolt_server_options(
        bolt.release(), http_worker_count(std::getenv("ORVANE_HTTP_WORKERS"), std::thread::hardware_concurrency()),
        key);
    bolt_thread = std::thread([&engine, &bolt_failure, options] {
      try {
        bolt::serve_bolt(engine, options, &g_stop);
      } catch (...) {
        bolt_failure = std::current_exception();
        g_stop.store(true);
      }
    });
  }
  try {
    serve_engine(engine, port, &g_stop, public_binding);
  } catch (...) {
    g_stop.store(true);
    if (bolt_thread.joinable()) bolt_thread.join();
    throw;
  }
  if (bolt_thread.joinable()) bolt_thread.join();
  if (bolt_failure) std::rethrow_exception(bolt_failure);
}

}  // namespace

int run_serve(int argc, char** argv) {
  const unsigned short port = port_option(argc, argv, "7475");
  const bool public_binding = has_flag(argc, argv, "--public");
  const std::string key = server_api_key(std::nullopt, public_binding);
  BoltSocket bolt(argc, argv, public_binding);
  const WorkBound bound = query_bound_options(argc, argv);
  const std::string path = graph_path(argc, argv);
  std::unique_ptr<GraphWriterLock> lock;
  if (!path.empty()) lock = GraphWriterLock::acquire(path);
  Engine engine = build_engine(argc, argv, path, std::move(lock));
  engine.web_root = option_value(argc, argv, "--web", installation_path("web"));
  engine.site_root = option_value(argc, argv, "--site", installation_path("site"));
  engine.instance_id = option_value(argc, argv, "--managed-instance", "");
  engine.set_query_bound(bound);
  engine.set_durable_commits(!has_flag(argc, argv, "--no-sync"));
  const std::string checkpoint_bytes = option_value(argc, argv, "--checkpoint-bytes", "");
  if (!checkpoint_bytes.empty()) engine.set_log_bound(parse_unsigned(checkpoint_bytes, "--checkpoint-bytes"));
  if (bolt.open()) engine.bolt_address = "bolt://127.0.0.1:" + std::to_string(bolt.port());
  print_start_lines(engine, port);
  g_stop.store(false);
  StopSignals signals;
  serve_listeners(engine, port, public_binding, bolt, key);
  // A clean stop folds the write-ahead log into the snapshot.
  engine.checkpoint();
  return 0;
}

int run_site(int argc, char** argv) {
  const unsigned short port = port_option(argc, argv, "8080");
  Engine engine = make_demo_engine(8, 4, 42, false);
  const std::string site = option_value(argc, argv, "--site", installation_path("site"));
  engine.web_root = site;
  engine.site_root = site;
  std::cout << "Halvex website   http://127.0.0.1:" << port << "/\n";
  std::cout << "  (the Browser is a separate process: orvane serve)\n";
  std::cout.flush();
  serve_engine(engine, port, nullptr, has_flag(argc, argv, "--public"));
  return 0;
}

}  // namespace orvane
