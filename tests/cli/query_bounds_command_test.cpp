// The --query-timeout, --query-memory and --query-steps options end to end,
// through the real binary: the query command runs its statement under them,
// a bad value is refused before anything runs, and serve answers a request
// under its own "memory" member while its setting stays.
#include <gtest/gtest.h>

#include <csignal>

#include <nlohmann/json.hpp>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

// About 3 MiB of collected values: over 1 MiB, far under the default.
const char* const kCollect = "UNWIND range(1, 100000) AS x RETURN size(collect(x)) AS n";
const std::string kMemoryStop =
    "error: query memory limit exceeded: sort, aggregation, DISTINCT and path searches may hold at most 1 MiB; "
    "narrow the statement or raise the limit\n";

TEST(QueryBoundsCommand, QueryRunsUnderItsOptions) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;  // standard error exactly; "" with status 0
  } cases[] = {
      {{"query", kCollect}, 0, ""},
      {{"query", kCollect, "--query-memory", "1"}, 1, kMemoryStop},
      {{"query", kCollect, "--query-memory", "2048", "--query-timeout", "60000", "--query-steps", "20000000"}, 0, ""},
      {{"query", kCollect, "--query-steps", "1000"},
       1,
       "error: query work limit exceeded; narrow the pattern or add LIMIT\n"},
      {{"query", kCollect, "--query-timeout", "0"},
       1,
       "error: invalid value for --query-timeout: must be an integer from 1 to 600000 (milliseconds)\n"},
      {{"query", kCollect, "--query-steps", "ten"},
       1,
       "error: invalid value for --query-steps: must be an integer from 1 to 1000000000000 (steps)\n"},
      {{"query", kCollect, "--query-memory"}, 1, "error: missing value for --query-memory\n"},
      {{"query", kCollect, "--query-memory", "1", "--query-memory", "2"}, 1,
       "error: duplicate argument: --query-memory\n"},
      {{"shell", "--query-timeout", "x", "--db", "/nonexistent/dir/g.orv"},
       1,
       "error: invalid value for --query-timeout: must be an integer from 1 to 600000 (milliseconds)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const RunResult r = run_orvane(c.args);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ(c.err, r.err);
    if (c.status == 0) {
      EXPECT_EQ(R"({"columns":["n"],"rows":[[100000]]})", nlohmann::json::parse(r.out).dump());
    }
  }
}

TEST(QueryBoundsCommand, ServeTakesTheSettingAndARequestsOwnBound) {
  TempDir dir;
  const std::uint16_t port = free_loopback_port();
  BackgroundServer server({"serve", "--ephemeral", "--empty", "--port", std::to_string(port), "--no-bolt", "--query-memory", "1"},
                          dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  const auto post = [&](const std::string& body) { return nlohmann::json::parse(http_post(port, "/v1/query", body).body); };
  const std::string statement = std::string(R"({"query":")") + kCollect + "\"";
  EXPECT_EQ(kMemoryStop.substr(7, kMemoryStop.size() - 8), post(statement + "}")["error"]);
  EXPECT_EQ(100000, post(statement + R"(,"memory":16})")["data"]["rows"][0][0]);
  EXPECT_EQ("MemoryPoolOutOfMemoryError", post(statement + "}")["detail"]);  // the setting stays
  EXPECT_EQ("invalid request field: timeout must be an integer from 1 to 600000 (milliseconds)",
            post(statement + R"(,"timeout":"fast"})")["error"]);
  EXPECT_EQ(0, server.stop(SIGTERM));
}

}  // namespace
}  // namespace orvane::testing
