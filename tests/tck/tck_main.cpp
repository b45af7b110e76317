// tck_runner: runs the openCypher conformance scenarios against the engine
// and reports how many pass.
//
//   tck_runner [--tck DIR] [--check FILE | --update FILE] [--only NAME]...
//              [--verbose] [--list] [--jobs N] [--timeout S] [--no-fork]
//
//   --tck DIR      the suite: DIR/features and DIR/graphs (default: the
//                  shared copy beside the source tree)
//   --check FILE   fail (exit 1) when a scenario FILE lists no longer passes
//   --update FILE  write the names of the passing scenarios to FILE
//   --only NAME    run only the scenarios whose name is NAME or starts with
//                  it ("clauses/match", "clauses/match/Match1.feature:[1]");
//                  repeatable; failures are then explained (expected and got)
//   --verbose      explain every failure
//   --list         print the names of the selected scenarios and stop
//   --jobs N       scenarios run at once (default 1)
//   --timeout S    seconds one scenario may take (default 10)
//   --no-fork      run in this process, without time bound (for a debugger)
//
// Exit codes: 0 success, 1 a listed scenario failed, 2 usage or suite
// error, 77 the suite folder is absent (CTest reports the test skipped).
//
// The summary gives, per feature folder, the result scenarios (rows or no
// rows expected) and the error scenarios (an error expected) that passed.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tck/console_engine.h"
#include "tck/feature_suite.h"
#include "tck/isolated_runs.h"
#include "tck/scenario_runner.h"

#ifndef ORVANE_TCK_DIR
#define ORVANE_TCK_DIR "../shared/opencypher-tck"
#endif

namespace orvane::tck {
namespace {

constexpr int kExitSkipped = 77;

struct Options {
  std::string tck_dir = ORVANE_TCK_DIR;
  std::string check_file;
  std::string update_file;
  std::vector<std::string> only;
  bool verbose = false;
  bool list = false;
  bool fork = true;
  IsolationLimits limits;
};

[[noreturn]] void usage(const std::string& problem) {
  std::cerr << "tck_runner: " << problem << "\n"
            << "usage: tck_runner [--tck DIR] [--check FILE | --update FILE] [--only NAME]... [--verbose] [--list]\n"
            << "                  [--jobs N] [--timeout S] [--no-fork]\n";
  std::exit(2);
}

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--tck") {
      o.tck_dir = value();
    } else if (a == "--check") {
      o.check_file = value();
    } else if (a == "--update") {
      o.update_file = value();
    } else if (a == "--only") {
      o.only.push_back(value());
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--list") {
      o.list = true;
    } else if (a == "--no-fork") {
      o.fork = false;
    } else if (a == "--jobs") {
      o.limits.jobs = std::atoi(value().c_str());
      if (o.limits.jobs < 1) usage("--jobs needs a positive number");
    } else if (a == "--timeout") {
      o.limits.seconds = std::atof(value().c_str());
      if (o.limits.seconds <= 0) usage("--timeout needs a positive number of seconds");
    } else {
      usage("unknown argument " + a);
    }
  }
  if (!o.check_file.empty() && !o.update_file.empty()) usage("--check and --update exclude each other");
  if (!o.only.empty() && !o.update_file.empty()) usage("--update needs the whole suite; drop --only");
  return o;
}

bool selected(const Options& o, const std::string& name) {
  if (o.only.empty()) return true;
  for (const std::string& prefix : o.only) {
    if (name.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

struct Tally {
  int result_passed = 0;
  int result_total = 0;
  int error_passed = 0;
  int error_total = 0;
};

void print_summary(const std::map<std::string, Tally>& folders) {
  Tally all;
  std::printf("%-40s %16s %16s\n", "folder", "result passed", "error passed");
  auto line = [](const std::string& name, const Tally& t) {
    const std::string result = std::to_string(t.result_passed) + " / " + std::to_string(t.result_total);
    const std::string error = std::to_string(t.error_passed) + " / " + std::to_string(t.error_total);
    std::printf("%-40s %16s %16s\n", name.c_str(), result.c_str(), error.c_str());
  };
  for (const auto& [folder, t] : folders) {
    line(folder, t);
    all.result_passed += t.result_passed;
    all.result_total += t.result_total;
    all.error_passed += t.error_passed;
    all.error_total += t.error_total;
  }
  line("total", all);
}

int run(const Options& o) {
  namespace fs = std::filesystem;
  const std::string features = o.tck_dir + "/features";
  if (!fs::is_directory(features)) {
    std::cout << "skipped: no conformance suite at " << features << "\n";
    return kExitSkipped;
  }
  std::vector<SuiteScenario> suite;
  try {
    suite = load_suite(features);
  } catch (const std::exception& e) {
    std::cerr << "tck_runner: " << e.what() << "\n";
    return 2;
  }
  std::vector<const SuiteScenario*> chosen;
  for (const SuiteScenario& s : suite) {
    if (selected(o, s.scenario.name)) chosen.push_back(&s);
  }
  if (o.list) {
    for (const SuiteScenario* s : chosen) std::cout << s->scenario.name << "\n";
    return 0;
  }
  if (chosen.empty()) usage("no scenario matches --only");

  const std::string graphs = o.tck_dir + "/graphs";
  auto task = [&](std::size_t i) {
    ConsoleEngine engine;
    return run_scenario(chosen[i]->scenario, engine, graphs);
  };
  const bool explain = o.verbose || !o.only.empty();
  auto report = [&](std::size_t i, const Verdict& v) {
    if (!explain || v.passed) return;
    std::string reason = v.reason;
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    std::cout << "FAIL " << chosen[i]->scenario.name << "\n" << reason << "\n\n";
  };
  std::vector<Verdict> verdicts;
  if (o.fork) {
    verdicts = run_isolated(chosen.size(), task, o.limits, report);
  } else {
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      verdicts.push_back(task(i));
      report(i, verdicts.back());
    }
  }

  std::map<std::string, Tally> folders;
  std::vector<std::string> passing;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    Tally& t = folders[chosen[i]->folder];
    const bool passed = verdicts[i].passed;
    if (scenario_kind(chosen[i]->scenario) == ScenarioKind::kError) {
      ++t.error_total;
      t.error_passed += passed;
    } else {
      ++t.result_total;
      t.result_passed += passed;
    }
    if (passed) passing.push_back(chosen[i]->scenario.name);
  }
  print_summary(folders);

  if (!o.update_file.empty()) {
    write_name_list(o.update_file, passing);
    std::cout << "wrote " << passing.size() << " passing scenarios to " << o.update_file << "\n";
  }
  if (o.check_file.empty()) return 0;

  const std::set<std::string> now(passing.begin(), passing.end());
  std::set<std::string> known;
  for (const SuiteScenario* s : chosen) known.insert(s->scenario.name);
  int regressions = 0;
  std::size_t listed = 0;
  for (const std::string& name : read_name_list(o.check_file)) {
    if (!selected(o, name)) continue;
    ++listed;
    if (now.contains(name)) continue;
    ++regressions;
    std::cout << (known.contains(name) ? "NO LONGER PASSES " : "LISTED BUT NOT IN THE SUITE ") << name << "\n";
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      if (chosen[i]->scenario.name == name) std::cout << verdicts[i].reason << "\n";
    }
  }
  const std::size_t gained = passing.size() - (listed - static_cast<std::size_t>(regressions));
  if (gained > 0) {
    std::cout << gained << " scenarios pass that " << o.check_file
              << " does not list; record them with --update (make tck)\n";
  }
  return regressions == 0 ? 0 : 1;
}

}  // namespace
}  // namespace orvane::tck

int main(int argc, char** argv) {
  try {
    return orvane::tck::run(orvane::tck::parse_options(argc, argv));
  } catch (const std::exception& e) {
    std::cerr << "tck_runner: " << e.what() << "\n";
    return 2;
  }
}
