// End-to-end tests of the background service: start, status, stop and
// restart of the real binary with a private XDG_DATA_HOME, no display
// variables (no browser) and free loopback ports. Every test stops what it
// started; the fixture kills a server left behind by a failed test, by the
// pid in its state file.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/background_server.h"
#include "service/state_file.h"
#include "support/run_binary.h"
#include "support/private_user.h"

namespace orvane::testing {
namespace {

class ServiceCommandTest : public ::testing::Test, protected PrivateUser {
 protected:
  ~ServiceCommandTest() override {
    const std::string text = read_text_file(state_path());
    if (text.empty()) return;
    const nlohmann::json state = nlohmann::json::parse(text, nullptr, false);
    if (!state.is_object() || !state.contains("pid")) return;
    const long long pid = state["pid"].get<long long>();
    const std::string cmdline = read_text_file("/proc/" + std::to_string(pid) + "/cmdline");
    if (pid > 1 && pid < 2147483648LL && cmdline.find(state.value("instance", std::string("-"))) != std::string::npos) {
      kill(static_cast<pid_t>(pid), SIGKILL);
    }
  }
  std::string state_path() const { return app() + "/run/service.json"; }
  std::string url() const { return "http://127.0.0.1:" + port + "/"; }
  std::string running_lines() const {
    return "Halvex is running at " + url() +
           "\nYour graph is saved automatically. Run orvane stop to stop the database.\n";
  }

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
  EXPECT_EQ(start.out, running_lines());
  EXPECT_NE(http_get(static_cast<std::uint16_t>(std::stoi(port)), "/v1/health").find("200"), std::string::npos);
  const RunResult status = run_orvane({"status"}, dir.path());
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(status.out, "Halvex is running at " + url() + "\n");
  const RunResult twice = run_orvane({"--port", port, "--no-browser"}, dir.path());
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(twice.out, "Halvex is already running at " + url() + "\n");
  const RunResult other = run_orvane({"start", "--port", "1"}, dir.path());
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.err, "error: Halvex is already running at " + url() + ". Use orvane restart --port to change its port.\n");
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

// A live process of ours whose command line carries "--managed-instance i",
// so a state file naming it passes every check but the one a case breaks.
class LookalikeProcess {
 public:
  LookalikeProcess() {
    const char* argv[] = {"/bin/sh", "-c", "while :; do sleep 0.05; done", "--managed-instance", "i", nullptr};
    posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    // The command line can read empty for a moment after the spawn returns.
    const std::string proc = "/proc/" + std::to_string(pid_) + "/cmdline";
    for (int round = 0; round < 200 && read_text_file(proc).find("--managed-instance") == std::string::npos; ++round) {
      usleep(10000);
    }
  }
  ~LookalikeProcess() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }
  bool alive() const { return waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
};

TEST_F(ServiceCommandTest, AStaleOrForeignStateFileIsNeverSignalled) {
  LookalikeProcess lookalike;
  const long long pid = lookalike.pid();
  const nlohmann::json live = {{"boot", read_text_file("/proc/sys/kernel/random/boot_id")},
                               {"instance", "i"},
                               {"pid", pid},
                               {"port", 1},
                               {"ticks", process_start_ticks(pid)}};
  ASSERT_TRUE(is_live_instance(live));
  pid_t reaped = -1;
  const char* true_argv[] = {"/bin/true", nullptr};
  posix_spawn(&reaped, "/bin/true", nullptr, nullptr, const_cast<char**>(true_argv), environ);
  waitpid(reaped, nullptr, 0);
  const struct {
    const char* what;
    const char* field;
    nlohmann::json value;
  } cases[] = {
      {"a foreign command line", "instance", "j"},
      {"a recycled process id", "ticks", "1"},
      {"a state from before a reboot", "boot", "other\n"},
      {"a pid that wraps to a live one in 32 bits", "pid", 4294967296LL + pid},
      {"a dead process", "pid", static_cast<long long>(reaped)},
  };
  for (const auto& c : cases) {
    nlohmann::json state = live;
    state[c.field] = c.value;
    write_text_file(state_path(), state.dump() + "\n");
    const RunResult stop = run_orvane({"stop"}, dir.path());
    EXPECT_EQ(stop.out, "Halvex is stopped. Your graph is saved.\n") << c.what << stop.err;
    EXPECT_FALSE(std::filesystem::exists(state_path())) << c.what;
    EXPECT_TRUE(lookalike.alive()) << c.what;
    write_text_file(state_path(), state.dump() + "\n");
    EXPECT_EQ(run_orvane({"status"}, dir.path()).status, 3) << c.what;
  }
}

// A real managed server whose state names another port: it is live but not
// ready; stop still ends it, with SIGTERM, and it saves and exits cleanly.
TEST_F(ServiceCommandTest, ALiveServerThatDoesNotAnswerIsReportedAndStillStopped) {
  BackgroundServer server({"serve", "--ephemeral", "--port", port, "--managed-instance", "i"}, dir.path());
  ASSERT_TRUE(server.wait_healthy(static_cast<std::uint16_t>(std::stoi(port))));
  const nlohmann::json state = {{"boot", read_text_file("/proc/sys/kernel/random/boot_id")},
                                {"instance", "i"},
                                {"pid", server.pid()},
                                {"port", 1},
                                {"ticks", process_start_ticks(server.pid())}};
  write_text_file(state_path(), state.dump() + "\n");
  const RunResult status = run_orvane({"status"}, dir.path());
  EXPECT_EQ(status.status, 1);
  EXPECT_EQ(status.out, "Halvex is running at http://127.0.0.1:1/\n");
  expect_refusal(run_orvane({"start", "--no-browser"}, dir.path()),
                 "error: The database process is running but is not ready. Check orvane status and the application "
                 "log.\n");
  EXPECT_EQ(run_orvane({"stop"}, dir.path()).out, "Halvex is stopped. Your graph is saved.\n");
  EXPECT_EQ(server.wait(), 0);
}

TEST_F(ServiceCommandTest, TheLogIsRotatedAtTheNextStartFromExactlyFiveMebibytes) {
  const std::string log = app() + "/logs/server.log";
  write_text_file(log, std::string(5242879, 'x'));
  ASSERT_EQ(run_orvane({"start", "--port", port}, dir.path()).status, 0);
  ASSERT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
  EXPECT_FALSE(std::filesystem::exists(log + ".1"));
  EXPECT_GT(std::filesystem::file_size(log), 5242879u);  // appended to, not replaced
  std::filesystem::resize_file(log, 5242880);
  ASSERT_EQ(run_orvane({"start", "--port", port}, dir.path()).status, 0);
  EXPECT_EQ(std::filesystem::file_size(log + ".1"), 5242880u);
  EXPECT_LT(std::filesystem::file_size(log), 5242880u);
  EXPECT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
}

TEST_F(ServiceCommandTest, AnUpdatedExecutableRestartsTheServerOnItsPort) {
  const std::string old_binary = dir.file("old/orvane");
  std::filesystem::create_directories(dir.file("old"));
  std::filesystem::copy_file(ORVANE_BINARY, old_binary);
  ASSERT_EQ(run_program({old_binary, "start", "--port", port}, dir.path()).status, 0);
  const RunResult updated = run_orvane({"start"}, dir.path());
  EXPECT_EQ(updated.status, 0) << updated.err;
  EXPECT_EQ(updated.out, "Starting the updated Halvex. Your existing graph is saved.\n" + running_lines());
  const nlohmann::json state = nlohmann::json::parse(read_text_file(state_path()));
  const std::string exe = std::filesystem::read_symlink("/proc/" + std::to_string(state["pid"].get<long long>()) + "/exe");
  EXPECT_EQ(exe, std::filesystem::canonical(ORVANE_BINARY).string());
  EXPECT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
}

TEST_F(ServiceCommandTest, APreviousGraphIsAdoptedOnlyWhenItIsTheOnlyOne) {
  const std::string previous = dir.file("halvex-data/my-graph.orv");
  std::filesystem::create_directories(dir.file("halvex-data"));
  orvane_output({"snapshot", "--people", "10", "--papers", "5", "--out", previous});
  std::filesystem::create_directories(dir.file("work/data"));
  std::filesystem::copy_file(previous, dir.file("work/data/graph.orv"));
  expect_refusal(run_orvane({"start", "--port", port}, dir.file("work")),
                 "error: Found more than one previous graph. Open the intended graph with orvane serve --db PATH "
                 "before choosing a migration.\n");
  const RunResult start = run_orvane({"start", "--port", port}, dir.path());
  EXPECT_EQ(start.out, "Your existing graph is ready in Halvex.\n" + running_lines()) << start.err;
  EXPECT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
  EXPECT_NE(orvane_output({"snapshot", "--db", app() + "/graph.orv", "--out", dir.file("c.orv")}).find(" nodes=15 "),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(previous));  // left in place
}

TEST_F(ServiceCommandTest, TheBrowserIsOpenedOnlyWhenADisplayIsSet) {
  write_text_file(dir.file("bin/xdg-open"), "#!/bin/sh\necho \"$1\" >> \"$HOME/opened\"\n");
  std::filesystem::permissions(dir.file("bin/xdg-open"), std::filesystem::perms::owner_all);
  ScopedEnv path{"PATH", dir.file("bin") + ":/usr/bin:/bin"};
  ASSERT_EQ(run_orvane({"start", "--port", port}, dir.path()).status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.file("opened")));  // no display variable: no browser
  {
    ScopedEnv with_browser{"BROWSER", std::string("firefox")};
    const RunResult again = run_orvane({"start"}, dir.path());
    EXPECT_EQ(again.err, "");
    for (int round = 0; round < 100 && read_text_file(dir.file("opened")).empty(); ++round) usleep(20000);
    EXPECT_EQ(read_text_file(dir.file("opened")), url() + "\n");
    EXPECT_EQ(run_orvane({"start", "--no-browser"}, dir.path()).err, "");
    ScopedEnv no_opener{"PATH", dir.file("empty")};
    EXPECT_EQ(run_orvane({"start"}, dir.path()).err,
              "Open " + url() + " in your browser. Install xdg-utils for automatic desktop opening.\n");
  }
  EXPECT_EQ(run_orvane({"stop"}, dir.path()).status, 0);
  EXPECT_EQ(read_text_file(dir.file("opened")), url() + "\n");  // --no-browser opened nothing
}

}  // namespace
}  // namespace orvane::testing
