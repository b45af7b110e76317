// End-to-end tests of the background service: start, status, stop and
// restart of the real binary with a private XDG_DATA_HOME, no display
// variables (no browser) and free loopback ports. Every test stops what it
// started; the fixture kills a server left behind by a failed test, by the
// pid in its state file.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/background_server.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane::testing {
namespace {

class ServiceCommandTest : public ::testing::Test {
 protected:
  ~ServiceCommandTest() override {
    const std::string text = read_text_file(state_path());
    if (text.empty()) return;
    const nlohmann::json state = nlohmann::json::parse(text, nullptr, false);
    if (!state.is_object() || !state.contains("pid")) return;
    const long long pid = state["pid"].get<long long>();
    const std::string cmdline = read_text_file("/proc/" + std::to_string(pid) + "/cmdline");
    if (pid > 1 && cmdline.find(state.value("instance", std::string("-"))) != std::string::npos) {
      kill(static_cast<pid_t>(pid), SIGKILL);
    }
  }
  std::string app() const { return dir.file("data/halvex"); }
  std::string state_path() const { return app() + "/run/service.json"; }

  TempDir dir;
  ScopedEnv data_home{"XDG_DATA_HOME", dir.file("data")};
  ScopedEnv home{"HOME", dir.path()};
  ScopedEnv display{"DISPLAY", std::nullopt};
  ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
  ScopedEnv browser{"BROWSER", std::nullopt};
  std::string port = std::to_string(free_loopback_port());
};

TEST_F(ServiceCommandTest, StatusWithoutADirectoryIsStoppedAndCreatesNothing) {
  const RunResult result = run_orvane({"status"}, dir.path());
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out, "Halvex is stopped. Run orvane to start it.\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
}

TEST_F(ServiceCommandTest, StartStatusStartAgainThenStop) {
  const RunResult start = run_orvane({"start", "--port", port}, dir.path());
  ASSERT_EQ(start.status, 0) << start.err;
  const std::string url = "http://127.0.0.1:" + port + "/";
  EXPECT_EQ(start.out, "Halvex is running at " + url +
                           "\nYour graph is saved automatically. Run orvane stop to stop the database.\n");
  EXPECT_NE(http_get(static_cast<std::uint16_t>(std::stoi(port)), "/v1/health").find("200"), std::string::npos);
  const RunResult status = run_orvane({"status"}, dir.path());
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(status.out, "Halvex is running at " + url + "\n");
  const RunResult twice = run_orvane({"--port", port, "--no-browser"}, dir.path());
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(twice.out, "Halvex is already running at " + url + "\n");
  const RunResult other = run_orvane({"start", "--port", "1"}, dir.path());
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.err, "error: Halvex is already running at " + url + ". Use orvane restart --port to change its port.\n");
  const RunResult stop = run_orvane({"stop"}, dir.path());
  EXPECT_EQ(stop.status, 0) << stop.err;
  EXPECT_EQ(stop.out, "Halvex is stopped. Your graph is saved.\n");
  EXPECT_FALSE(std::filesystem::exists(state_path()));
  EXPECT_TRUE(std::filesystem::exists(app() + "/graph.orv"));
  EXPECT_EQ(run_orvane({"status"}, dir.path()).status, 3);
}

TEST_F(ServiceCommandTest, AGraphChangedThroughTheApiIsSavedAndServedAgain) {
  ASSERT_EQ(run_orvane({"start", "--port", port}, dir.path()).status, 0);
  const std::string answer = http_post(static_cast<std::uint16_t>(std::stoi(port)), "/v1/query",
                                       R"j({"query":"CREATE (n:Person {name: 'Ada'})"})j");
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
  ASSERT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
  const RunResult copy = run_orvane({"snapshot", "--db", app() + "/graph.orv", "--out", dir.file("copy.orv")});
  EXPECT_NE(copy.out.find(" nodes=1 edges=0"), std::string::npos) << copy.out << copy.err;
  ASSERT_EQ(run_orvane({"start", "--port", port}, dir.path()).status, 0);
  const RunResult copy_again = run_orvane({"snapshot", "--db", app() + "/graph.orv", "--out", dir.file("again.orv")});
  EXPECT_NE(copy_again.out.find(" nodes=1 edges=0"), std::string::npos) << copy_again.out;
  EXPECT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
}

TEST_F(ServiceCommandTest, RestartMovesThePort) {
  ASSERT_EQ(run_orvane({"start", "--port", port}, dir.path()).status, 0);
  const std::string moved = std::to_string(free_loopback_port());
  const RunResult restart = run_orvane({"restart", "--port", moved}, dir.path());
  EXPECT_EQ(restart.status, 0) << restart.err;
  EXPECT_EQ(run_orvane({"status"}, dir.path()).out, "Halvex is running at http://127.0.0.1:" + moved + "/\n");
  EXPECT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
}

TEST_F(ServiceCommandTest, APortInUseFailsWithTheLogPath) {
  BackgroundServer holder({"serve", "--ephemeral", "--port", port}, dir.path());
  ASSERT_TRUE(holder.wait_healthy(static_cast<std::uint16_t>(std::stoi(port))));
  const RunResult start = run_orvane({"start", "--port", port}, dir.path());
  EXPECT_EQ(start.status, 1);
  EXPECT_EQ(start.err, "error: Halvex could not start. Check " + app() +
                           "/logs/server.log (the port may already be in use).\n");
  EXPECT_EQ(holder.stop(SIGTERM), 0);
}

TEST_F(ServiceCommandTest, ArgumentRules) {
  EXPECT_EQ(run_orvane({"status", "--port", "1"}, dir.path()).err, "error: Unknown argument: --port\n");
  const std::string port_message = "error: --port must be supplied once, as an integer from 1 to 65535\n";
  EXPECT_EQ(run_orvane({"start", "--port", "0"}, dir.path()).err, port_message);
  EXPECT_EQ(run_orvane({"start", "--port", "1", "--port", "2"}, dir.path()).err, port_message);
  EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
}

TEST_F(ServiceCommandTest, AStaleStateFileIsNeverSignalled) {
  std::filesystem::create_directories(app() + "/run");
  std::ofstream(state_path()) << R"({"boot":"x\n","instance":"i","pid":4294967297,"port":1,"ticks":"1"})" << '\n';
  const RunResult stop = run_orvane({"stop"}, dir.path());
  EXPECT_EQ(stop.status, 0) << stop.err;
  EXPECT_FALSE(std::filesystem::exists(state_path()));
}

}  // namespace
}  // namespace orvane::testing
