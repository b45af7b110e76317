// option_value and check_arguments. Options are read where they are used;
// there is no global option structure. The service commands are the one
// exception: the service layer sits below the command line, so their
// options are parsed here and handed down as a ServiceOptions value.
#include "cli/options.h"

#include <algorithm>

#include "io/admin_import.h"

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "base/decimal.h"
#include "cli/query_bound_options.h"
#include "service/service_command.h"

namespace orvane {
namespace {

struct OptionSet {
  std::set<std::string> values;      // options followed by one value
  std::set<std::string> flags;       // options that stand alone
  std::set<std::string> repeatable = {};  // options of `values` that may be given more than once
};

const std::map<std::string, OptionSet>& strict_commands() {
  static const std::map<std::string, OptionSet> table = [] {
    std::map<std::string, OptionSet> t;
    t["query"] = {{"--gql", "--db", "--out", "--people", "--papers", "--seed", "--params", "--param"},
                  {"--empty"},
                  {"--param"}};
    t["shell"] = {{"--db", "--params", "--param"}, {"--no-sync"}, {"--param"}};
    t["export"] = {{"--db", "--out", "--format"}, {}};
    t["migrate"] = {{"--bolt", "--user", "--password", "--database", "--from", "--out"}, {"--reduce"}};
    const OptionSet serve = {{"--db", "--port", "--bolt-port", "--web", "--site", "--people", "--papers", "--seed",
                              "--managed-instance", "--checkpoint-bytes"},
                             {"--public", "--ephemeral", "--no-fabric", "--empty", "--no-sync", "--no-bolt"}};
    t["serve"] = serve;
    t["console"] = serve;
    // The statement bounds, wherever statements run.
    for (const char* command : {"query", "shell", "serve", "console"}) {
      for (const char* option : kQueryBoundOptions) t[command].values.insert(option);
    }
    return t;
  }();
  return table;
}

// Digits only, within 64 bits; false otherwise.
bool to_u64(const std::string& s, std::uint64_t& out) {
  const std::optional<std::uint64_t> value = parse_decimal(s);
  if (value) out = *value;
  return value.has_value();
}

}  // namespace

std::string option_value(int argc, char** argv, const std::string& name, const std::string& fallback) {
  for (int i = 0; i < argc; ++i) {
    if (name != argv[i]) continue;
    if (i + 1 >= argc) throw std::runtime_error("missing value for " + name);
    const std::string value = argv[i + 1];
    if (value.size() >= 2 && value.compare(0, 2, "--") == 0) throw std::runtime_error("missing value for " + name);
    std::uint64_t lo = 0, hi = 0;
    if (name == "--port" || name == "--bolt-port") {
      lo = 1;
      hi = 65535;
    } else if (name == "--people" || name == "--papers" || name == "--seed") {
      hi = 4294967294ull;
    } else {
      return value;
    }
    std::uint64_t v = 0;
    if (!to_u64(value, v) || v < lo || v > hi) throw std::runtime_error("invalid value for " + name);
    return value;
  }
  return fallback;
}

bool has_flag(int argc, char** argv, const std::string& flag) {
  for (int i = 0; i < argc; ++i) {
    if (flag == argv[i]) return true;
  }
  return false;
}

void check_arguments(const std::string& command, int argc, char** argv) {
  // neo4j-admin's import arguments repeat and take "--opt=value": the
  // migrate command reads them itself (io/admin_import.h).
  if (command == "migrate" && has_admin_import_groups(std::vector<std::string>(argv + std::min(argc, 2), argv + argc))) {
    return;
  }
  const auto& table = strict_commands();
  const auto entry = table.find(command);
  if (entry == table.end()) return;
  const OptionSet& set = entry->second;
  std::set<std::string> seen;
  for (int i = 2; i < argc;) {
    const std::string arg = argv[i];
    if (command == "query" && i == 2 && (arg.empty() || arg[0] != '-')) {
      ++i;
      continue;
    }
    if (!seen.insert(arg).second && !set.repeatable.contains(arg)) {
      throw std::runtime_error("duplicate argument: " + arg);
    }
    if (set.flags.contains(arg)) {
      ++i;
    } else if (set.values.contains(arg)) {
      option_value(argc, argv, arg, "");
      i += 2;
    } else {
      throw std::runtime_error("unknown argument: " + arg);
    }
  }
}

ServiceOptions parse_service_options(const std::string& command, int argc, char** argv) {
  ServiceOptions parsed;
  const bool starts = command == "start" || command == "restart";
  bool no_browser_seen = false;
  bool no_bolt_seen = false;
  for (int i = argc > 1 && argv[1][0] == '-' ? 1 : 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-browser" && starts && !no_browser_seen) {
      no_browser_seen = true;
      parsed.browser = false;
    } else if (arg == "--no-bolt" && starts && !no_bolt_seen) {
      no_bolt_seen = true;
      parsed.bolt = false;
    } else if ((arg == "--port" || arg == "--bolt-port") && starts && i + 1 < argc) {
      std::optional<unsigned>& port = arg == "--port" ? parsed.port : parsed.bolt_port;
      std::uint64_t number = 0;
      const std::string value = argv[++i];
      if (!to_u64(value, number) || number < 1 || number > 65535 || port) {
        throw std::runtime_error(arg + " must be supplied once, as an integer from 1 to 65535");
      }
      port = static_cast<unsigned>(number);
    } else {
      throw std::runtime_error("Unknown argument: " + arg);
    }
  }
  return parsed;
}

std::uint64_t parse_unsigned(const std::string& text, const std::string& name) {
  std::uint64_t v = 0;
  if (!to_u64(text, v)) throw std::runtime_error("invalid value for " + name);
  return v;
}

int parse_signed(const std::string& text) { return std::stoi(text); }

}  // namespace orvane
