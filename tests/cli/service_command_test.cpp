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
#include <string>

#include <nlohmann/json.hpp>

#include "service/state_file.h"
#include "support/background_server.h"
#include "support/private_user.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

class ServiceCommandTest : public ::testing::Test, protected PrivateUser {
 protected:
  ~ServiceCommandTest() override {
    const nlohmann::json state = nlohmann::json::parse(read_text_file(state_path()), nullptr, false);
    if (!state.is_object() || !state.contains("pid")) return;
    const long long pid = state["pid"].get<long long>();
    const std::string cmdline = read_text_file("/proc/" + std::to_string(pid) + "/cmdline");
    if (pid > 1 && pid < 2147483648LL && cmdline.find(state.value("instance", "-")) != std::string::npos) {
      kill(static_cast<pid_t>(pid), SIGKILL);
    }
  }
  std::string state_path() const { return app() + "/run/service.json"; }
  std::string url(const std::string& on) const { return "http://127.0.0.1:" + on + "/"; }
  std::string running_lines() const {
    return "Halvex is running at " + url(port) +
           "\nYour graph is saved automatically. Run orvane stop to stop the database.\n";
  }
  RunResult orvane(const std::vector<std::string>& args) { return run_orvane(args, dir.path()); }
  // A state file naming `pid` as instance "i", as the service writes it.
  nlohmann::json state_of(long long pid) const {
    return {{"boot", read_text_file("/proc/sys/kernel/random/boot_id")}, {"instance", "i"}, {"pid", pid},
            {"port", 1}, {"ticks", process_start_ticks(pid)}};
  }
  std::string pid() const { return nlohmann::json::parse(read_text_file(state_path()))["pid"].dump(); }
  // The node count a snapshot copy of the managed graph reports.
  std::string managed_nodes() {
    const std::string copy = orvane_output({"snapshot", "--db", app() + "/graph.orv", "--out", dir.file("c.orv")});
    return copy.substr(copy.find(" nodes="), copy.find(" edges=") - copy.find(" nodes="));
  }

  std::string port = std::to_string(free_loopback_port());
  const std::string stopped = "Halvex is stopped. Your graph is saved.\n";
};

TEST_F(ServiceCommandTest, ArgumentsAndStatusWithoutADirectory) {
  const RunResult status = orvane({"status"});
  EXPECT_EQ(status.status, 3);
  EXPECT_EQ(status.out, "Halvex is stopped. Run orvane to start it.\n");
  EXPECT_EQ(orvane({"status", "--port", "1"}).err, "error: Unknown argument: --port\n");
  const std::string port_message = "error: --port must be supplied once, as an integer from 1 to 65535\n";
  EXPECT_EQ(orvane({"start", "--port", "0"}).err, port_message);
  EXPECT_EQ(orvane({"start", "--port", "1", "--port", "2"}).err, port_message);
  EXPECT_FALSE(fs::exists(dir.file("data")));
}

// One life of the service: started by an older copy of the executable with a
// log one byte short of 5 MiB (appended to), asked twice, written to through
// the API, taken over by the updated executable, moved by restart, stopped
// (graph saved), then started from exactly 5 MiB of log (rotated) and served
// from the saved graph.
TEST_F(ServiceCommandTest, StartStatusUpdateRestartStopAndLogRotation) {
  const std::string log = app() + "/logs/server.log";
  write_text_file(log, std::string(5242879, 'x'));
  const std::string old_binary = dir.file("old/orvane");
  fs::create_directories(dir.file("old"));
  fs::copy_file(ORVANE_BINARY, old_binary);
  const RunResult start = run_program({old_binary, "start", "--port", port}, dir.path());
  ASSERT_EQ(start.status, 0) << start.err;
  EXPECT_EQ(start.out, running_lines());
  EXPECT_FALSE(fs::exists(log + ".1"));
  EXPECT_GT(fs::file_size(log), 5242879u);  // appended to, not replaced
  const RunResult status = orvane({"status"});
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(status.out, "Halvex is running at " + url(port) + "\n");
  const RunResult twice = run_program({old_binary, "--port", port, "--no-browser"}, dir.path());
  EXPECT_EQ(twice.out, "Halvex is already running at " + url(port) + "\n") << twice.err;
  expect_refusal(run_program({old_binary, "start", "--port", "1"}, dir.path()),
                 "error: Halvex is already running at " + url(port) + ". Use orvane restart --port to change its port.\n");
  const std::string answer = http_post(static_cast<std::uint16_t>(std::stoi(port)), "/v1/query",
                                       R"j({"query":"CREATE (n:Person {name: 'Ada'})"})j");
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;

  const RunResult updated = orvane({"start"});
  EXPECT_EQ(updated.out, "Starting the updated Halvex. Your existing graph is saved.\n" + running_lines())
      << updated.err;
  EXPECT_EQ(fs::read_symlink("/proc/" + pid() + "/exe"), fs::canonical(ORVANE_BINARY));
  const std::string moved = std::to_string(free_loopback_port());
  EXPECT_EQ(orvane({"restart", "--port", moved}).status, 0);
  EXPECT_EQ(orvane({"status"}).out, "Halvex is running at " + url(moved) + "\n");
  const std::string last = pid();
  const RunResult stop = orvane({"stop"});
  EXPECT_EQ(stop.out, stopped) << stop.err;
  EXPECT_EQ(process_start_ticks(std::stoll(last)), "");  // stop returns once the server has exited
  EXPECT_FALSE(fs::exists(state_path()));
  EXPECT_EQ(orvane({"status"}).status, 3);
  EXPECT_EQ(managed_nodes(), " nodes=1");

  fs::remove(log + ".1");
  fs::resize_file(log, 5242880);
  ASSERT_EQ(orvane({"start", "--port", port}).status, 0);
  EXPECT_EQ(fs::file_size(log + ".1"), 5242880u);
  EXPECT_LT(fs::file_size(log), 5242880u);
  EXPECT_EQ(managed_nodes(), " nodes=1");
  EXPECT_EQ(orvane({"stop"}).status, 0);
}

// A server of ours on the port: start fails with the log path. Once a state
// file names it (on another port) it is live but not ready; stop still ends
// it with SIGTERM, and it saves and exits cleanly.
TEST_F(ServiceCommandTest, APortInUseAndALiveServerThatDoesNotAnswer) {
  BackgroundServer server({"serve", "--ephemeral", "--port", port, "--managed-instance", "i"}, dir.path());
  ASSERT_TRUE(server.wait_healthy(static_cast<std::uint16_t>(std::stoi(port))));
  expect_refusal(orvane({"start", "--port", port}),
                 "error: Halvex could not start. Check " + app() + "/logs/server.log (the port may already be in use).\n");
  write_text_file(state_path(), state_of(server.pid()).dump() + "\n");
  const RunResult status = orvane({"status"});
  EXPECT_EQ(status.status, 1);
  EXPECT_EQ(status.out, "Halvex is running at http://127.0.0.1:1/\n");
  expect_refusal(orvane({"start", "--no-browser"}),
                 "error: The database process is running but is not ready. Check orvane status and the application "
                 "log.\n");
  EXPECT_EQ(orvane({"stop"}).out, stopped);
  EXPECT_EQ(server.wait(), 0);
}

// A live process of ours whose command line carries "--managed-instance i",
// so a state file naming it passes every check but the one a case breaks.
TEST_F(ServiceCommandTest, AStaleOrForeignStateFileIsNeverSignalled) {
  pid_t lookalike = -1, reaped = -1;
  const char* argv[] = {"/bin/sh", "-c", "while :; do sleep 0.05; done", "--managed-instance", "i", nullptr};
  posix_spawn(&lookalike, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
  // The command line can read empty for a moment after the spawn returns.
  for (int round = 0; round < 200 && read_text_file("/proc/" + std::to_string(lookalike) + "/cmdline")
                                             .find("--managed-instance") == std::string::npos; ++round) {
    usleep(10000);
  }
  ASSERT_TRUE(is_live_instance(state_of(lookalike)));
  const char* true_argv[] = {"/bin/true", nullptr};
  posix_spawn(&reaped, "/bin/true", nullptr, nullptr, const_cast<char**>(true_argv), environ);
  waitpid(reaped, nullptr, 0);
  const struct {
    const char* field;  // the one field that is wrong
    nlohmann::json value;
  } cases[] = {
      {"instance", "j"},                                       // a foreign command line
      {"ticks", "1"},                                          // a recycled process id
      {"boot", "other\n"},                                     // a state from before a reboot
      {"pid", 4294967296LL + lookalike},                       // wraps to the live one in 32 bits
      {"pid", static_cast<long long>(reaped)},                 // a dead process
  };
  for (const auto& c : cases) {
    nlohmann::json state = state_of(lookalike);
    state[c.field] = c.value;
    write_text_file(state_path(), state.dump() + "\n");
    EXPECT_EQ(orvane({"stop"}).out, stopped) << c.field;
    EXPECT_FALSE(fs::exists(state_path())) << c.field;
    EXPECT_EQ(waitpid(lookalike, nullptr, WNOHANG), 0) << c.field;  // still alive
    write_text_file(state_path(), state.dump() + "\n");
    EXPECT_EQ(orvane({"status"}).status, 3) << c.field;
  }
  kill(lookalike, SIGKILL);
  waitpid(lookalike, nullptr, 0);
}

TEST_F(ServiceCommandTest, APreviousGraphIsAdoptedOnlyWhenItIsTheOnlyOne) {
  const std::string previous = dir.file("halvex-data/my-graph.orv");
  fs::create_directories(dir.file("halvex-data"));
  orvane_output({"snapshot", "--people", "10", "--papers", "5", "--out", previous});
  fs::create_directories(dir.file("work/data"));
  fs::copy_file(previous, dir.file("work/data/graph.orv"));
  expect_refusal(run_orvane({"start", "--port", port}, dir.file("work")),
                 "error: Found more than one previous graph. Open the intended graph with orvane serve --db PATH "
                 "before choosing a migration.\n");
  const RunResult start = orvane({"start", "--port", port});
  EXPECT_EQ(start.out, "Your existing graph is ready in Halvex.\n" + running_lines()) << start.err;
  EXPECT_EQ(orvane({"stop"}).status, 0);
  EXPECT_EQ(managed_nodes(), " nodes=15");
  EXPECT_TRUE(fs::exists(previous));  // left in place
}

TEST_F(ServiceCommandTest, TheBrowserIsOpenedOnlyWhenADisplayIsSet) {
  write_text_file(dir.file("bin/xdg-open"), "#!/bin/sh\necho \"$1\" >> \"$HOME/opened\"\n");
  fs::permissions(dir.file("bin/xdg-open"), fs::perms::owner_all);
  ScopedEnv path{"PATH", dir.file("bin") + ":/usr/bin:/bin"};
  ASSERT_EQ(orvane({"start", "--port", port}).status, 0);
  EXPECT_FALSE(fs::exists(dir.file("opened")));  // no display variable: no browser
  {
    ScopedEnv with_browser{"BROWSER", std::string("firefox")};
    EXPECT_EQ(orvane({"start"}).err, "");
    for (int round = 0; round < 100 && read_text_file(dir.file("opened")).empty(); ++round) usleep(20000);
    EXPECT_EQ(orvane({"start", "--no-browser"}).err, "");
    ScopedEnv no_opener{"PATH", dir.file("empty")};
    EXPECT_EQ(orvane({"start"}).err,
              "Open " + url(port) + " in your browser. Install xdg-utils for automatic desktop opening.\n");
  }
  EXPECT_EQ(orvane({"stop"}).status, 0);
  EXPECT_EQ(read_text_file(dir.file("opened")), url(port) + "\n");  // once: --no-browser opened nothing
}

}  // namespace
}  // namespace orvane::testing
