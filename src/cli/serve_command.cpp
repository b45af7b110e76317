// The serve (console) and site commands: build the Engine, print where it
// is served and run the HTTP server in the foreground. serve keeps its
// graph in a snapshot file under that file's writer lock for the whole run
// and stops when SIGTERM or SIGINT sets the process-wide stop flag; the
// previous handlers come back however the server ends.
#include <csignal>
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
#include "http/serve_engine.h"
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
  std::cout << "  databases: ";
  for (const std::string& name : names) std::cout << name << ' ';
  const Database& current = engine.database();
  std::cout << "\n  nodes=" << current.graph.node_count << " edges=" << current.graph.out_targets.size() << '\n';
  std::cout.flush();
}

}  // namespace

int run_serve(int argc, char** argv) {
  const unsigned short port = port_option(argc, argv, "7475");
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
  print_start_lines(engine, port);
  g_stop.store(false);
  StopSignals signals;
  serve_engine(engine, port, &g_stop, has_flag(argc, argv, "--public"));
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
