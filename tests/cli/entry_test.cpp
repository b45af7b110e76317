// Program entry and option parsing: the real binary for what a user sees
// (exit status, standard output, standard error), and the option functions
// in-process for accepted values of commands that would otherwise start work.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/options.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using testing::run_orvane;

// Held as strings so tests can build argv vectors inline.
struct Args {
  explicit Args(std::vector<std::string> words) : store(std::move(words)) {
    for (auto& w : store) ptrs.push_back(w.data());
    ptrs.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(store.size()); }
  char** argv() { return ptrs.data(); }
  std::vector<std::string> store;
  std::vector<char*> ptrs;
};

TEST(Entry, HelpVersionAndUnknownCommand) {
  const std::string usage = run_orvane({"--help"}).out;
  EXPECT_EQ(0u, usage.find("orvane                            start Halvex and open its Browser\n"
                           "orvane start [--no-browser] [--port N]\n"
                           "orvane stop | status | restart    manage your local database\n"
                           "\n"
                           "Advanced commands:\n"));
  EXPECT_TRUE(usage.ends_with(
      "  dim-stress [--n N] [--k 10] [--iters 8] [--dims 32,256,384,768,1024,1536] [--json PATH]\n"
      "                                    standalone n\xC3\x97" "dim cosine + host top-k (32-d \xE2\x86\x92 1536-d)\n"));
  EXPECT_NE(std::string::npos, usage.find("mess 1 \xE2\x86\x92 2 \xE2\x86\x92 3 \xE2\x86\x92 optimize, answers identical\n"));
  EXPECT_EQ(40, std::count(usage.begin(), usage.end(), '\n'));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } cases[] = {
      {{"-h"}, 0, usage, ""},
      {{"help", "extra", "words"}, 0, usage, ""},
      {{"--help", "--bogus"}, 0, usage, ""},
      {{"--version"}, 0, "Halvex 0.2.0rc2\n", ""},
      {{"--version", "--bogus"}, 0, "Halvex 0.2.0rc2\n", ""},
      {{"frobnicate"}, 2, usage, "unknown command: frobnicate\n"},
  };
  for (const auto& c : cases) {
    const auto r = run_orvane(c.args);
    EXPECT_EQ(c.status, r.status) << c.args[0];
    EXPECT_EQ(c.out, r.out) << c.args[0];
    EXPECT_EQ(c.err, r.err) << c.args[0];
  }
}

TEST(Entry, ArgumentErrorsExit1WithOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"serve", "--port", "0"}, "invalid value for --port"},
      {{"serve", "--port", "65536"}, "invalid value for --port"},
      {{"serve", "--port", "80x"}, "invalid value for --port"},
      {{"serve", "--port", "+80"}, "invalid value for --port"},
      {{"serve", "--port", " 80"}, "invalid value for --port"},
      {{"serve", "--port", ""}, "invalid value for --port"},
      {{"serve", "--port", "99999999999999999999999"}, "invalid value for --port"},
      {{"console", "--people", "4294967295"}, "invalid value for --people"},
      {{"serve", "--seed", "-1"}, "invalid value for --seed"},
      {{"query", "--papers", "1e3"}, "invalid value for --papers"},
      {{"serve", "--db"}, "missing value for --db"},
      {{"serve", "--db", "--public"}, "missing value for --db"},
      {{"serve", "--public", "--public"}, "duplicate argument: --public"},
      {{"serve", "--db", "a", "--db", "b"}, "duplicate argument: --db"},
      {{"serve", "--bogus"}, "unknown argument: --bogus"},
      {{"query", "--db", "g.orv", "MATCH (n) RETURN count(n)"}, "unknown argument: MATCH (n) RETURN count(n)"},
      {{"export", "--db", "g.orv", "--out", "d", "--bogus"}, "unknown argument: --bogus"},
      {{"export", "--out", "--db"}, "missing value for --out"},
      {{"shell", "--db", "x", "--empty"}, "unknown argument: --empty"},
      {{"migrate", "--from", "a", "--user"}, "missing value for --user"},
      // Numeric checks apply to every command whenever the option is read.
      {{"schema", "--people", "12a"}, "invalid value for --people"},
      {{"schema", "--seed"}, "missing value for --seed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.message);
    testing::expect_refusal(run_orvane(c.args), "error: " + c.message + "\n");
  }
}

TEST(Options, AcceptedValuesDefaultsAndValidLists) {
  Args a({"orvane", "serve", "--port", "65535", "--people", "4294967294", "--seed", "0", "--out", "-", "--x", "-5"});
  EXPECT_EQ("65535", option_value(a.argc(), a.argv(), "--port", "7"));
  EXPECT_EQ("4294967294", option_value(a.argc(), a.argv(), "--people", ""));
  EXPECT_EQ("0", option_value(a.argc(), a.argv(), "--seed", ""));
  EXPECT_EQ("-", option_value(a.argc(), a.argv(), "--out", ""));
  EXPECT_EQ("-5", option_value(a.argc(), a.argv(), "--x", ""));
  EXPECT_EQ("dflt", option_value(a.argc(), a.argv(), "--absent", "dflt"));
  EXPECT_EQ("bad", option_value(a.argc(), a.argv(), "--papers", "bad"));  // defaults are not checked
  Args one({"orvane", "serve", "--port", "1", "--port", "0"});
  EXPECT_EQ("1", option_value(one.argc(), one.argv(), "--port", ""));  // the first occurrence counts
  Args prefix({"orvane", "serve", "--portal", "x"});
  EXPECT_EQ("d", option_value(prefix.argc(), prefix.argv(), "--port", "d"));
  const std::vector<std::vector<std::string>> ok = {
      {"orvane", "query", "MATCH (n) RETURN count(n)", "--db", "g.orv", "--empty"},
      {"orvane", "query", "", "--gql", "x"},
      {"orvane", "serve", "--port", "65535", "--public", "--ephemeral", "--no-fabric", "--empty",
       "--managed-instance", "abc"},
      {"orvane", "console", "--port", "1", "--web", "w", "--site", "s"},
      {"orvane", "export", "--db", "g", "--out", "o", "--format", "jsonl"},
      {"orvane", "migrate", "--bolt", "b", "--user", "u", "--password", "p", "--database", "d", "--from", "f",
       "--out", "o", "--reduce"},
      {"orvane", "shell", "--db", "g"},
      {"orvane", "bench", "--bogus", "--bogus"},  // not a validated command
      // A value is neither recorded nor checked as an option: equal values
      // are not duplicates, and a value spelled like a flag is not one.
      {"orvane", "serve", "--db", "x", "--web", "x"},
      {"orvane", "export", "--format", "-public", "--db", "-public"},
  };
  for (const auto& words : ok) {
    SCOPED_TRACE(words[1]);
    Args a(words);
    EXPECT_NO_THROW(check_arguments(words[1], a.argc(), a.argv()));
  }
}

}  // namespace
}  // namespace orvane
