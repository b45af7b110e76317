// A bare HTTP server for load tests of the HTTP core: serves the files of
// one web root and answers every API path with the core's default 404, on a
// loopback port, until SIGINT or SIGTERM. Prints the bound port on the first
// line of standard output.
//
//   http_bench WEB_ROOT [PORT]     (PORT 0 or absent: any free port)
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "http/server.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) { g_stop = true; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: http_bench WEB_ROOT [PORT]\n");
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  orvane::HttpServerOptions options;
  options.web_root = argv[1];
  options.port = static_cast<unsigned short>(argc == 3 ? std::atoi(argv[2]) : 0);
  options.on_listening = [](unsigned short port) {
    std::printf("%u\n", static_cast<unsigned>(port));
    std::fflush(stdout);
  };
  try {
    orvane::serve_http(options, orvane::not_found_route, &g_stop);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 0;
}
