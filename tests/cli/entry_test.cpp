// Program entry and option parsing through the real binary: exit status,
// standard output and standard error.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

TEST(Entry, HelpVersionAndUnknownCommand) {
  const std::string usage = run_orvane({"--help"}).out;
  EXPECT_TRUE(usage.starts_with("orvane                            start Halvex and open its Browser\n"
                                "orvane start [--no-browser] [--port N]\n"
                                "orvane stop | status | restart    manage your local database\n\nAdvanced commands:\n"));
  EXPECT_TRUE(usage.ends_with(
      "  dim-stress [--n N] [--k 10] [--iters 8] [--dims 32,256,384,768,1024,1536] [--json PATH]\n"
      "                                    standalone n\xC3\x97" "dim cosine + host top-k (32-d \xE2\x86\x92 1536-d)\n"));
  EXPECT_NE(std::string::npos, usage.find("mess 1 \xE2\x86\x92 2 \xE2\x86\x92 3 \xE2\x86\x92 optimize, answers identical\n"));
  EXPECT_NE(std::string::npos, usage.find("shell    --db PATH [--params JSON] [--param NAME=VALUE ...]\n"));
  EXPECT_EQ(50, std::count(usage.begin(), usage.end(), '\n'));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } cases[] = {
      {{"-h"}, 0, usage, ""},
      {{"help", "extra", "words"}, 0, usage, ""},
      {{"--version", "--bogus"}, 0, "Halvex 0.2.0rc2\n", ""},
      {{"frobnicate"}, 2, usage, "unknown command: frobnicate\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run_orvane(c.args);
    EXPECT_EQ(c.status, r.status) << c.args[0];
    EXPECT_EQ(c.out, r.out) << c.args[0];
    EXPECT_EQ(c.err, r.err) << c.args[0];
  }
}

TEST(Entry, ArgumentErrorsExit1WithOneLine) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"serve", "--port", "0"}, "invalid value for --port"}, {{"serve", "--port", "65536"}, "invalid value for --port"},
      {{"serve", "--port", "+80"}, "invalid value for --port"},
      {{"serve", "--port", "99999999999999999999999"}, "invalid value for --port"},
      {{"console", "--people", "4294967295"}, "invalid value for --people"},
      {{"query", "--papers", "1e3"}, "invalid value for --papers"},
      {{"serve", "--db", "--public"}, "missing value for --db"},
      {{"serve", "--public", "--public"}, "duplicate argument: --public"},
      {{"serve", "--db", "a", "--db", "b"}, "duplicate argument: --db"},
      {{"query", "--db", "g.orv", "MATCH (n) RETURN count(n)"}, "unknown argument: MATCH (n) RETURN count(n)"},
      {{"shell", "--db", "x", "--empty"}, "unknown argument: --empty"},
      {{"migrate", "--from", "a", "--user"}, "missing value for --user"},
      {{"schema", "--seed"}, "missing value for --seed"},  // numeric options are checked by every command
  };
  for (const auto& [args, message] : cases) {
    std::vector<std::string> argv{"timeout", "20", ORVANE_BINARY};  // a serve that wrongly starts ends too
    argv.insert(argv.end(), args.begin(), args.end());
    SCOPED_TRACE(args[0] + " " + message);
    expect_refusal(run_program(argv), "error: " + message + "\n");
  }
  // A public server without a key prints its addresses, then refuses to listen.
  const RunResult keyless = run_program({"timeout", "20", ORVANE_BINARY, "serve", "--ephemeral", "--public"});
  EXPECT_EQ(1, keyless.status);
  EXPECT_EQ("error: public binding requires ORVANE_API_KEY with at least 32 random characters\n", keyless.err);
}

}  // namespace
}  // namespace orvane::testing
