// The bounds statements run under, as the console and a request set them:
// `:config NAME: VALUE` changes the engine's setting (and refuses unknown
// names and values outside a setting's range, changing nothing); a
// request's "timeout", "memory" and "steps" apply to its own statements
// only; and the statement pipeline runs under whichever is in force.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "console/query_bounds.h"
#include "console/small_engine.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using json = nlohmann::json;

using testing::small_engine;

ConsoleResult run(Engine& e, const std::string& statement) {
  ConsoleResult r;
  dispatch(r, e, statement, "", nullptr);
  return r;
}

// "timeout memory steps" of a bound, in their units.
std::string shown(const WorkBound& b) {
  std::string out;
  for (const BoundSetting& s : bound_settings()) out += (out.empty() ? "" : " ") + std::to_string(bound_value(b, s));
  return out;
}

const char* const kCollect = "UNWIND range(1, 100000) AS x RETURN size(collect(x)) AS n";  // about 3 MiB kept
const char* const kMemoryStop =
    "query memory limit exceeded: sort, aggregation, DISTINCT and path searches may hold at most 1 MiB; "
    "narrow the statement or raise the limit";

TEST(QueryBounds, ConfigSetsTheSettingOrRefusesAndChangesNothing) {
  Engine e = small_engine();
  const std::string memory_range = "must be an integer from 1 to " + std::to_string(bound_ceiling(bound_settings()[1])) + " (MiB)";
  const struct {
    const char* statement;
    const char* bound;  // the setting afterwards: "timeout memory steps"
    std::string error;  // "" when it succeeds
  } cases[] = {
      {":config", "5000 1024 10000000", ""},
      {":config orvane.query.timeout: 30000", "30000 1024 10000000", ""},
      {":config orvane.query.memory 2", "30000 2 10000000", ""},
      {":config   orvane.query.steps :  500  ", "30000 2 500", ""},
      {":config orvane.query.timeout: 600000", "600000 2 500", ""},
      {":config orvane.query.timeout: 600001", "600000 2 500",
       "invalid value for orvane.query.timeout: must be an integer from 1 to 600000 (milliseconds)"},
      {":config orvane.query.timeout: 0", "600000 2 500",
       "invalid value for orvane.query.timeout: must be an integer from 1 to 600000 (milliseconds)"},
      {":config orvane.query.timeout: 5s", "600000 2 500",
       "invalid value for orvane.query.timeout: must be an integer from 1 to 600000 (milliseconds)"},
      {":config orvane.query.timeout:", "600000 2 500",
       "invalid value for orvane.query.timeout: must be an integer from 1 to 600000 (milliseconds)"},
      {":config orvane.query.memory: -1", "600000 2 500", "invalid value for orvane.query.memory: " + memory_range},
      {":config orvane.query.memory: 99999999999999", "600000 2 500",
       "invalid value for orvane.query.memory: " + memory_range},
      {":config orvane.query.steps: 1000000000001", "600000 2 500",
       "invalid value for orvane.query.steps: must be an integer from 1 to 1000000000000 (steps)"},
      {":config db.transaction.timeout: 10s", "600000 2 500",
       "unknown setting: db.transaction.timeout; :config sets orvane.query.timeout, orvane.query.memory and "
       "orvane.query.steps"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    const ConsoleResult r = run(e, c.statement);
    EXPECT_EQ(c.error, r.error);
    EXPECT_EQ(c.bound, shown(e.query_bound()));
    if (c.error.empty()) {
      // The answer is the config document with the setting as it now is.
      const json doc = json::parse(r.data);
      EXPECT_EQ(c.bound, std::to_string(doc["orvane.query.timeout"].get<int>()) + " " +
                             std::to_string(doc["orvane.query.memory"].get<int>()) + " " +
                             std::to_string(doc["orvane.query.steps"].get<int>()));
    }
  }
}

// The setting is what statements run under: a statement that keeps ~3
// MiB stops at 1 MiB with Neo4j's classification and answers at 1024.
TEST(QueryBounds, StatementsRunUnderTheSetting) {
  Engine e = small_engine();
  EXPECT_EQ("", run(e, kCollect).error);
  ASSERT_EQ("", run(e, ":config orvane.query.memory: 1").error);
  const ConsoleResult stopped = run(e, kCollect);
  EXPECT_EQ(kMemoryStop, stopped.error);
  EXPECT_EQ("TransientError runtime MemoryPoolOutOfMemoryError",
            stopped.error_class + " " + stopped.error_phase + " " + stopped.error_detail);
  ASSERT_EQ("", run(e, ":config orvane.query.steps: 1000").error);
  EXPECT_EQ("query work limit exceeded; narrow the pattern or add LIMIT",
            run(e, "UNWIND range(1, 5000) AS x RETURN count(*)").error);
}

// A request's bound replaces the setting for its statements while its
// scope lasts, then the setting is back.
TEST(QueryBounds, RequestBoundAppliesToItsOwnStatementsOnly) {
  Engine e = small_engine();
  {
    const StatementBoundScope scope(e, request_bound(e.query_bound(), json{{"memory", 1}}));
    EXPECT_EQ(kMemoryStop, run(e, kCollect).error);
    EXPECT_EQ("5000 1024 10000000", shown(e.query_bound()));  // the setting itself is untouched
  }
  EXPECT_EQ("", run(e, kCollect).error);
  ASSERT_EQ("", run(e, ":config orvane.query.memory: 1").error);
  {
    // ... and may raise it as well as lower it.
    const StatementBoundScope scope(e, request_bound(e.query_bound(), json{{"memory", 64}}));
    EXPECT_EQ("", run(e, kCollect).error);
  }
  EXPECT_EQ(kMemoryStop, run(e, kCollect).error);
}

TEST(QueryBounds, RequestMembersAreCheckedByName) {
  const WorkBound base;
  const std::string memory_range = "must be an integer from 1 to " + std::to_string(bound_ceiling(bound_settings()[1])) + " (MiB)";
  const struct {
    const char* body;
    const char* bound;  // "timeout memory steps", or "" when refused
    std::string error;
  } cases[] = {
      {R"({"query":"RETURN 1"})", "5000 1024 10000000", ""},
      {R"({"timeout":60000})", "60000 1024 10000000", ""},
      {R"({"timeout":1,"memory":1,"steps":1})", "1 1 1", ""},
      {R"({"memory":4096,"steps":1000000000000})", "5000 4096 1000000000000", ""},
      {R"({"timeout":600001})", "", "invalid request field: timeout must be an integer from 1 to 600000 (milliseconds)"},
      {R"({"timeout":0})", "", "invalid request field: timeout must be an integer from 1 to 600000 (milliseconds)"},
      {R"({"timeout":-5})", "", "invalid request field: timeout must be an integer from 1 to 600000 (milliseconds)"},
      {R"({"timeout":1.5})", "", "invalid request field: timeout must be an integer from 1 to 600000 (milliseconds)"},
      {R"({"timeout":"100"})", "", "invalid request field: timeout must be an integer from 1 to 600000 (milliseconds)"},
      {R"({"timeout":null})", "", "invalid request field: timeout must be an integer from 1 to 600000 (milliseconds)"},
      {R"({"memory":[1]})", "", "invalid request field: memory " + memory_range},
      {R"({"memory":18446744073709551615})", "", "invalid request field: memory " + memory_range},
      {R"({"steps":true})", "", "invalid request field: steps must be an integer from 1 to 1000000000000 (steps)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    try {
      EXPECT_EQ(c.bound, shown(request_bound(base, json::parse(c.body))));
      EXPECT_EQ("", c.error);
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(c.error, e.what());
    }
  }
}

}  // namespace
}  // namespace orvane
