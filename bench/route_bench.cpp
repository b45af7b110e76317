// An Engine served through its full route table for load tests of the API:
// the demonstration databases of PEOPLE and PAPERS on a loopback port until
// SIGINT or SIGTERM. With SNAPSHOT the current database is saved there first
// and the engine saves every change to it, as a persistent server does.
// Prints the bound port on the first line of standard output.
//
//   route_bench PEOPLE PAPERS [SNAPSHOT]
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "console/engine.h"
#include "console/procedures.h"
#include "http/serve_engine.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) { g_stop = true; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: route_bench PEOPLE PAPERS [SNAPSHOT]\n");
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  try {
    orvane::Engine engine = orvane::make_demo_engine(std::stoul(argv[1]), std::stoul(argv[2]), 42, false);
    engine.instance_id = "route-bench";
    if (argc == 4) {
      engine.snapshot_path = std::filesystem::absolute(argv[3]).string();
      orvane::backup(engine, engine.snapshot_path);
    }
    orvane::HttpServerOptions options = orvane::engine_server_options(engine, 0, false);
    options.on_listening = [](unsigned short port) {
      std::printf("%u\n", static_cast<unsigned>(port));
      std::fflush(stdout);
    };
    orvane::serve_http(options, orvane::engine_routes(engine), &g_stop);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 0;
}
