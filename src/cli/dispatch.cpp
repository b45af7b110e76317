// Program entry: picks the command word, answers help and version, checks
// strict argument lists and dispatches to a handler. Any exception that
// escapes becomes "error: MESSAGE" on standard error (followed by its hint
// line when it carries one, cli/hinted_error.h) and exit status 1, and
// so does output that never reached standard output (a full disk, a closed
// pipe): a report that was lost is not a success.
//
// The table is tested in order; the first matching word wins. Words whose
// handler does not exist in this build fall through to "unknown command: ".
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/hinted_error.h"
#include "cli/options.h"
#include "cli/usage.h"
#include "service/service_command.h"

namespace orvane {
namespace {

using Handler = std::function<int(int, char**)>;

struct Command {
  std::vector<std::string> words;
  Handler handler;
};

// The service commands: the cli reads their options, the service layer
// acts on them.
Handler service_handler(const std::string& command) {
  return [command](int argc, char** argv) {
    return run_service_command(command, parse_service_options(command, argc, argv));
  };
}

const std::vector<Command>& command_table() {
  static const std::vector<Command> table = {
      {{"demo"}, [](int, char**) { return run_demo(); }},
      {{"bench"}, run_bench},
      {{"schema"}, run_schema},
      {{"query"}, run_query_command},
      {{"shell"}, run_shell},
      {{"snapshot"}, run_snapshot},
      {{"migrate"}, run_migrate},
      {{"export"}, run_export},
      {{"cutover"}, run_cutover},
      {{"cloud"}, run_cloud},
      {{"generate"}, run_generate},
      {{"entropy-lab"}, run_entropy_lab},
      {{"entropy-ladder"}, run_entropy_ladder},
      {{"rag"}, run_rag},
      {{"gpu"}, run_gpu},
      {{"dim-stress"}, run_dim_stress},
      {{"serve", "console"}, run_serve},
      {{"site"}, run_site},
      {{"start"}, service_handler("start")},
      {{"stop"}, service_handler("stop")},
      {{"status"}, service_handler("status")},
      {{"restart"}, service_handler("restart")},
  };
  return table;
}

int dispatch(const std::string& word, int argc, char** argv) {
  for (const Command& command : command_table()) {
    for (const std::string& w : command.words) {
      if (w == word) return command.handler(argc, argv);
    }
  }
  std::cerr << "unknown command: " << word << '\n';
  print_usage();
  return 2;
}

// Flushes standard output and reports whether everything written to it
// arrived. std::cout shares the C library's stdout buffer, which is where a
// failed write shows.
bool standard_output_written() {
  std::cout.flush();
  const bool ok = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
  return ok;
}

int run_command(const std::string& word, int argc, char** argv) {
  try {
    if (word == "-h" || word == "--help" || word == "help") {
      print_usage();
      return 0;
    }
    if (word == "--version") {
      std::cout << kProductName << ' ' << kVersion << '\n';
      return 0;
    }
    check_arguments(word, argc, argv);
    // Words that start with "--" run the local service as "start".
    const std::string effective = word.size() >= 2 && word.compare(0, 2, "--") == 0 ? "start" : word;
    return dispatch(effective, argc, argv);
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "error: out of memory (" << word << " needed more memory than this machine could give)\n";
    return 1;
  } catch (const HintedError& e) {
    std::cout.flush();
    std::cerr << "error: " << e.what() << '\n' << e.hint() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "error: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace

int run_main(int argc, char** argv) {
  const std::string word = argc < 2 ? "start" : argv[1];
  const int status = run_command(word, argc, argv);
  if (!standard_output_written()) {
    std::cerr << "error: cannot write standard output\n";
    return 1;
  }
  return status;
}

}  // namespace orvane
