// End-to-end tests of serve, console, site and the background service
// (start, status, stop, restart): the real binary on free loopback ports in
// a private user's environment (no display, so no browser), probed through
// /v1/health and stopped by its pid; the fixture kills a managed server a
// failed test left behind, by the pid in its state file or by the graph its
// command line names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/state_file.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

class ServerTest : public ::testing::Test {
 protected:
  ~ServerTest() override {
    end_managed_servers();
    const nlohmann::json state = nlohmann::json::parse(read_text_file(state_path()), nullptr, false);
    if (!state.is_object() || !state.contains("pid")) return;
    const long long pid = state["pid"].get<long long>();
    const std::string cmdline = read_text_file("/proc/" + std::to_string(pid) + "/cmdline");
    if (pid > 1 && pid < 2147483648LL && cmdline.find(state.value("instance", "-")) != std::string::npos) {
      kill(static_cast<pid_t>(pid), SIGKILL);
    }
  }
  // Starts `args` plus --port on this test's port and waits until healthy.
  std::unique_ptr<BackgroundServer> serve(std::vector<std::string> args, const std::string& binary = ORVANE_BINARY) {
    args.insert(args.end(), {"--port", p});
    // Tests run many servers at once: Bolt only where a test names its port.
    const bool bolt_named = std::find(args.begin(), args.end(), "--bolt-port") != args.end();
    if ((args[0] == "serve" || args[0] == "console") && !bolt_named) args.push_back("--no-bolt");
    auto server = std::make_unique<BackgroundServer>(args, dir.path(), binary);
    EXPECT_TRUE(server->wait_healthy(port)) << args[0] << server->err();
    return server;
  }
  std::string state_path() const { return app() + "/run/service.json"; }
  std::string url(const std::string& on) const { return "http://127.0.0.1:" + on + "/"; }
  std::string running_lines() const {
    return "Halvex is running at " + url(p) + "\nYour graph is saved automatically. Run orvane stop to stop the database.\n";
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

  std::string app() const { return dir.file("data/halvex"); }  // the service's application directory
  // The processes whose command line names the managed graph: the servers
  // of this test's service, whether or not a state file names them.
  std::vector<long long> managed_servers() const {
    std::vector<long long> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      if (read_text_file(entry.path().string() + "/cmdline").find(app() + "/graph.orv") != std::string::npos) {
        found.push_back(std::stoll(name));
      }
    }
    return found;
  }
  // Kills every managed server (a leaked one would hold the port and the
  // graph for the next case) and waits until they are gone.
  void end_managed_servers() const {
    for (int round = 0; round < 100; ++round) {
      const std::vector<long long> left = managed_servers();
      if (left.empty()) return;
      for (const long long pid : left) kill(static_cast<pid_t>(pid), SIGKILL);
      usleep(20000);
    }
  }

  // A user's environment in the test's directory, without a display.
  TempDir dir;
  ScopedEnv data_home{"XDG_DATA_HOME", dir.file("data")}, home{"HOME", dir.path()};
  ScopedEnv display{"DISPLAY", std::nullopt}, wayland{"WAYLAND_DISPLAY", std::nullopt}, browser{"BROWSER", std::nullopt};
  ScopedEnv orvane_home{"ORVANE_HOME", std::nullopt};
  std::uint16_t port = free_loopback_port();
  std::string p = std::to_string(port);
  const std::string stopped = "Halvex is stopped. Your graph is saved.\n";
};

// Foreground servers: ephemeral demos list their databases (with and
// without the fabric) and write nothing; a serve on the default path saves
// an empty graph there; --web, --site and ORVANE_HOME move the document
// roots; an installed copy (ORVANE_HOME unset) serves its own and runs its
// own scripts. Each stops on SIGTERM or SIGINT; site has no stop flag, so
// the signal ends it.
TEST_F(ServerTest, ForegroundServersListTheirDatabasesServeTheirRootsAndStopOnASignal) {
  const std::string prefix = dir.file("prefix"), installed = prefix + "/bin/orvane";
  const RunResult install = run_program({CMAKE_COMMAND, "--install", ORVANE_BUILD_DIR, "--prefix", prefix});
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  write_text_file(dir.file("console/index.html"), "console page");
  write_text_file(dir.file("website/index.html"), "website page");
  write_text_file(dir.file("home/web/index.html"), "home console page");
  const std::string bolt = std::to_string(free_loopback_port());
  const std::string website = "Halvex Browser   " + url(p) + "\nHalvex website   " + url(p) + "site/\n  databases: ";
  const struct {
    std::vector<std::string> args;
    const char* home;
    std::string binary;
    int signal, status;
    std::string first_lines, at_root, at_site;
  } cases[] = {
      {{"serve", "--ephemeral", "--people", "100", "--papers", "40", "--no-fabric"}, "home", ORVANE_BINARY, SIGTERM, 0,
       website + "chaotic messy orvane replica simple \n", "home console page", ""},
      {{"console", "--ephemeral", "--people", "100", "--papers", "40", "--web", dir.file("console"), "--site",
        dir.file("website")}, nullptr, ORVANE_BINARY, SIGINT, 0,
       website + "biblio chaotic messy orvane replica simple social \n", "console page", "website page"},
      {{"site", "--site", dir.file("website")}, nullptr, ORVANE_BINARY, SIGTERM, 128 + SIGTERM,
       "Halvex website   " + url(p) + "\n  (the Browser is a separate process: orvane serve)\n", "website page",
       "website page"},
      {{"serve", "--ephemeral"}, nullptr, installed, SIGTERM, 0, website,
       read_text_file(prefix + "/share/halvex/web/index.html"), read_text_file(prefix + "/share/halvex/site/index.html")},
      {{"serve", "--ephemeral", "--bolt-port", bolt, "--web", dir.file("console")}, nullptr, ORVANE_BINARY, SIGTERM, 0,
       "Halvex Browser   " + url(p) + "\nHalvex website   " + url(p) + "site/\nBolt bolt://127.0.0.1:" + bolt +
           "\n  databases: orvane \n",
       "console page", ""},
      {{"serve"}, "home", ORVANE_BINARY, SIGTERM, 0, website + "orvane \n  nodes=0 edges=0\n", "home console page", ""},
  };
  for (const auto& c : cases) {
    ScopedEnv home{"ORVANE_HOME", c.home ? std::optional<std::string>(dir.file(c.home)) : std::nullopt};
    auto server = serve(c.args, c.binary);
    EXPECT_EQ(http_get(port, "/").body, c.at_root) << c.args[0];
    if (!c.at_site.empty()) {
      EXPECT_EQ(http_get(port, "/site/").body, c.at_site) << c.args[0];
    }
    EXPECT_EQ(server->stop(c.signal), c.status) << server->err();
    EXPECT_EQ(server->out().substr(0, c.first_lines.size()), c.first_lines);
    EXPECT_EQ(fs::exists(dir.file("data")), c.args.size() == 1) << c.args[0];  // only the default path is saved
  }
  EXPECT_TRUE(fs::exists(app() + "/graph.orv"));
  // A dump that is not one reaches the installed decoder, which refuses it.
  write_text_file(dir.file("not.dump"), "not a dump");
  const RunResult migrate = run_program({installed, "migrate", "--from", "not.dump", "--out", "o.orv"}, dir.path());
  EXPECT_EQ(migrate.status, 1);
  EXPECT_EQ(migrate.err.find("not found; set ORVANE_HOME"), std::string::npos) << migrate.err;
  EXPECT_NE(migrate.err.find("import_neo4j_dump"), std::string::npos) << migrate.err;
}

// A Bolt port another process holds fails the start before anything is
// served, and says how to go on.
TEST_F(ServerTest, ABusyBoltPortFailsTheStart) {
  const LoopbackPort taken(true);
  const std::string bolt = std::to_string(taken.port());
  expect_refusal(run_program({"timeout", "20", ORVANE_BINARY, "serve", "--ephemeral", "--port", p, "--bolt-port", bolt},
                             dir.path()),
                 "error: Bolt port " + bolt + " is not free (bind failed on port " + bolt +
                     "): choose another with --bolt-port N, or serve without Bolt with --no-bolt\n");
}

// An existing graph is served as "restored" under its writer lock; clients
// that keep writing while the server is stopped get every accepted request
// answered in full, and every acknowledged CREATE is in the graph saved at
// exit.
TEST_F(ServerTest, AGraphFileIsServedLockedAndSavesEveryAcknowledgedWriteOnSigterm) {
  orvane_output({"snapshot", "--people", "10", "--papers", "5", "--out", dir.file("g.orv")});
  auto server = serve({"serve", "--db", dir.file("g.orv")});
  expect_refusal(run_orvane({"serve", "--db", dir.file("g.orv"), "--port", p, "--no-bolt"}),
                 "error: graph is already open for writing by another process\n");
  std::atomic<int> acknowledged{0}, broken{0};
  std::atomic<bool> refused{false};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; !refused; ++i) {
        const HttpReply answer = http_post(port, "/v1/query", "{\"query\":\"CREATE (:Person {name: 'c" +
                                                                    std::to_string(c) + "-" + std::to_string(i) + "'})\"}");
        if (answer.raw.empty()) {
          refused = true;  // the listener is closed: the server is stopping
        } else {
          ++(answer.status == 200 && answer.raw.find("\r\n\r\n") != std::string::npos ? acknowledged : broken);
        }
      }
    });
  }
  while (acknowledged < 50) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const int status = server->stop(SIGTERM);
  refused = true;
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(status, 0) << server->err();
  EXPECT_EQ(broken, 0);
  EXPECT_NE(server->out().find("  databases: restored \n  nodes=15 "), std::string::npos) << server->out();
  EXPECT_EQ("{\"columns\":[\"c\"],\"rows\":[[" + std::to_string(10 + acknowledged) + "]]}\n",
            orvane_output({"query", "--db", dir.file("g.orv"), "--gql", "MATCH (p:Person) RETURN count(*) AS c"}));
}

// One life of the service. Status without a directory creates nothing;
// argument errors, a relative XDG_DATA_HOME and two previous graphs are
// refused. An older copy of the executable starts it with a log one byte
// short of 5 MiB (appended to), adopting the one previous graph (left in
// place); it is asked twice, written to through the API and taken over by
// the updated executable. The browser (a stand-in xdg-open on PATH) is
// opened only with a display variable and without --no-browser; without an
// opener a line says where to go. Restart moves it, stop saves the graph,
// and a start from exactly 5 MiB of log rotates it and serves the graph.
TEST_F(ServerTest, ServiceLifeFromArgumentsToLogRotation) {
  const RunResult status = orvane({"status"});
  EXPECT_EQ(status.status, 3);
  EXPECT_EQ(status.out, "Halvex is stopped. Run orvane to start it.\n");
  EXPECT_EQ(orvane({"status", "--port", "1"}).err, "error: Unknown argument: --port\n");
  const std::string port_message = "error: --port must be supplied once, as an integer from 1 to 65535\n";
  EXPECT_EQ(orvane({"start", "--no-bolt", "--port", "0"}).err, port_message);
  EXPECT_EQ(orvane({"start", "--no-bolt", "--port", "1", "--port", "2"}).err, port_message);
  EXPECT_FALSE(fs::exists(dir.file("data")));
  {
    ScopedEnv relative{"XDG_DATA_HOME", std::string("relative/path")};
    expect_refusal(run_program({"timeout", "20", ORVANE_BINARY, "serve", "--port", p, "--no-bolt"}, dir.path()),
                   "error: XDG_DATA_HOME must be an absolute directory\n");
  }
  const std::string previous = dir.file("halvex-data/my-graph.orv");
  orvane_output({"snapshot", "--people", "10", "--papers", "5", "--out", previous});
  fs::create_directories(dir.file("work/data"));
  fs::copy_file(previous, dir.file("work/data/graph.orv"));
  expect_refusal(run_orvane({"start", "--no-bolt", "--port", p}, dir.file("work")),
                 "error: Found more than one previous graph. Open the intended graph with orvane serve --db PATH "
                 "before choosing a migration.\n");
  write_text_file(dir.file("bin/xdg-open"), "#!/bin/sh\necho \"$1\" >> \"$HOME/opened\"\n");
  fs::permissions(dir.file("bin/xdg-open"), fs::perms::owner_all);
  ScopedEnv path{"PATH", dir.file("bin") + ":/usr/bin:/bin"};

  const std::string log = app() + "/logs/server.log";
  write_text_file(log, std::string(5242879, 'x'));
  const std::string old_binary = dir.file("old/orvane");
  fs::create_directories(dir.file("old"));
  fs::copy_file(ORVANE_BINARY, old_binary);
  const RunResult start = run_program({old_binary, "start", "--no-bolt", "--port", p}, dir.path());
  ASSERT_EQ(start.status, 0) << start.err;
  EXPECT_EQ(start.out, "Your existing graph is ready in Halvex.\n" + running_lines());
  EXPECT_FALSE(fs::exists(log + ".1"));
  EXPECT_GT(fs::file_size(log), 5242879u);  // appended to, not replaced
  const RunResult running = orvane({"status"});
  EXPECT_EQ(running.status, 0);
  // The adopted graph is served as "restored", kept in the managed file.
  EXPECT_EQ(running.out, "Halvex is running at " + url(p) + "\nDatabase restored: " + app() + "/graph.orv (current)\n");
  const RunResult twice = run_program({old_binary, "--port", p, "--no-browser"}, dir.path());
  EXPECT_EQ(twice.out, "Halvex is already running at " + url(p) + "\n") << twice.err;
  expect_refusal(run_program({old_binary, "start", "--no-bolt", "--port", "1"}, dir.path()),
                 "error: Halvex is already running at " + url(p) + ". Use orvane restart --port to change its port.\n");
  const HttpReply answer = http_post(port, "/v1/query", R"j({"query":"CREATE (n:Person {name: 'Ada'})"})j");
  EXPECT_EQ(answer.status, 200) << answer.raw;

  const RunResult updated = orvane({"start", "--no-bolt"});
  EXPECT_EQ(updated.out, "Starting the updated Halvex. Your existing graph is saved.\n" + running_lines())
      << updated.err;
  EXPECT_EQ(fs::read_symlink("/proc/" + pid() + "/exe"), fs::canonical(ORVANE_BINARY));
  EXPECT_FALSE(fs::exists(dir.file("opened")));  // no display variable: no browser
  {
    ScopedEnv with_browser{"BROWSER", std::string("firefox")};
    EXPECT_EQ(orvane({"start", "--no-bolt"}).err, "");
    for (int round = 0; round < 100 && read_text_file(dir.file("opened")).empty(); ++round) usleep(20000);
    EXPECT_EQ(orvane({"start", "--no-bolt", "--no-browser"}).err, "");
    ScopedEnv no_opener{"PATH", dir.file("empty")};
    EXPECT_EQ(orvane({"start", "--no-bolt"}).err, "Open " + url(p) + " in your browser. Install xdg-utils for automatic desktop opening.\n");
  }
  const std::string moved = std::to_string(free_loopback_port());
  const std::string bolt = std::to_string(free_loopback_port());
  const RunResult restarted = orvane({"restart", "--port", moved, "--bolt-port", bolt, "--no-browser"});
  EXPECT_EQ(restarted.out, "Halvex is running at " + url(moved) + "\nBolt bolt://127.0.0.1:" + bolt +
                               "\nYour graph is saved automatically. Run orvane stop to stop the database.\n");
  EXPECT_EQ(orvane({"status"}).out, "Halvex is running at " + url(moved) + "\nBolt bolt://127.0.0.1:" + bolt +
                                        "\nDatabase restored: " + app() + "/graph.orv (current)\n");
  const std::string last = pid();
  const RunResult stop = orvane({"stop"});
  EXPECT_EQ(stop.out, stopped) << stop.err;
  EXPECT_EQ(process_start_ticks(std::stoll(last)), "");  // stop returns once the server has exited
  EXPECT_FALSE(fs::exists(state_path()));
  EXPECT_EQ(orvane({"status"}).status, 3);
  EXPECT_EQ(managed_nodes(), " nodes=16");
  EXPECT_EQ(read_text_file(dir.file("opened")), url(p) + "\n");  // once: --no-browser opened nothing
  EXPECT_TRUE(fs::exists(previous));

  fs::remove(log + ".1");
  fs::resize_file(log, 5242880);
  ASSERT_EQ(orvane({"start", "--no-bolt", "--port", p}).status, 0);
  EXPECT_EQ(fs::file_size(log + ".1"), 5242880u);
  EXPECT_LT(fs::file_size(log), 5242880u);
  EXPECT_EQ(managed_nodes(), " nodes=16");
  EXPECT_EQ(orvane({"stop"}).status, 0);
}

// SIGKILL ends a start at every moment of its life: before its fork, between
// the fork and the state file, while its server loads, and after it
// answers. Every time, status says stopped only when no server runs, the
// next start brings one up (adopting the killed start's server, waiting for
// it when it is still loading) and stop leaves none running.
TEST_F(ServerTest, AKilledStartLeavesNoServerTheCommandsCannotSee) {
  std::vector<int> delays;  // milliseconds from the start's spawn to its kill
  for (int ms = 1; ms <= 40; ++ms) delays.push_back(ms);
  for (int ms = 60; ms <= 300; ms += 40) delays.push_back(ms);
  const std::string already = "Halvex is already running at " + url(p) + "\n";
  for (const int ms : delays) {
    SCOPED_TRACE(std::to_string(ms) + " ms");
    BackgroundServer killed({"start", "--no-bolt", "--port", p, "--no-browser"}, dir.path());
    usleep(static_cast<useconds_t>(ms) * 1000);
    killed.stop(SIGKILL);
    const RunResult status = orvane({"status"});
    EXPECT_EQ(status.status == 3, managed_servers().empty()) << status.out;
    const RunResult again = orvane({"start", "--no-bolt", "--port", p, "--no-browser"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(again.out == running_lines() || again.out == already) << again.out;
    EXPECT_EQ(orvane({"status"}).status, 0);
    EXPECT_EQ(orvane({"stop"}).out, stopped);
    EXPECT_EQ(managed_servers(), std::vector<long long>{});
    end_managed_servers();
  }
}

// A start killed while its server loads a graph of some size (half a second
// or more) leaves a server that is live but not yet ready; the next start
// waits for that very server and reports it running (a start later than the
// load finds it already running).
TEST_F(ServerTest, AStartAfterAKilledStartAdoptsTheServerStillLoading) {
  orvane_output({"snapshot", "--people", "60000", "--papers", "24000", "--out", app() + "/graph.orv"});
  const std::string already = "Halvex is already running at " + url(p) + "\n";
  for (const int ms : {20, 60, 120, 200, 300}) {
    SCOPED_TRACE(std::to_string(ms) + " ms");
    BackgroundServer killed({"start", "--no-bolt", "--port", p, "--no-browser"}, dir.path());
    usleep(static_cast<useconds_t>(ms) * 1000);
    killed.stop(SIGKILL);
    const nlohmann::json left = nlohmann::json::parse(read_text_file(state_path()), nullptr, false);
    const bool loading = left.is_object() && is_live_instance(left);
    const RunResult again = orvane({"start", "--no-bolt", "--port", p, "--no-browser"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(again.out == running_lines() || again.out == already) << again.out;  // already: it had loaded
    if (loading) {
      EXPECT_EQ(pid(), left["pid"].dump());  // adopted, not replaced
    }
    EXPECT_EQ(orvane({"stop"}).out, stopped);
    end_managed_servers();
  }
}

// A server of ours on the port: start fails with the log path. A state file
// naming it passes every check but the one a case breaks, and such a file is
// never signalled. Once a true state file names it (on another port) it is
// live but not ready; stop still ends it with SIGTERM and returns only once
// it has exited: a request still arriving holds the server (it drains
// before exiting) until it is closed.
TEST_F(ServerTest, ServiceSignalsOnlyItsOwnLiveServerAndWaitsForItsExit) {
  BackgroundServer server({"serve", "--ephemeral", "--port", p, "--no-bolt", "--managed-instance", "i"}, dir.path());
  ASSERT_TRUE(server.wait_healthy(port));
  expect_refusal(orvane({"start", "--no-bolt", "--port", p}),
                 "error: Halvex could not start. Check " + app() + "/logs/server.log (the port may already be in use).\n");
  ASSERT_TRUE(is_live_instance(state_of(server.pid())));
  fs::create_directory(dir.file("stop"));
  BackgroundServer ended({}, dir.file("stop"), "/bin/true");
  const pid_t reaped = ended.pid();
  ended.wait();
  const std::pair<const char*, nlohmann::json> cases[] = {  // the one field that is wrong
      {"instance", "j"},                            // a foreign command line
      {"ticks", "1"},                               // a recycled process id
      {"boot", "other\n"},                          // a state from before a reboot
      {"pid", 4294967296LL + server.pid()},         // wraps to the live one in 32 bits
      {"pid", static_cast<long long>(reaped)},      // a dead process
  };
  for (const auto& [field, value] : cases) {
    nlohmann::json state = state_of(server.pid());
    state[field] = value;
    write_text_file(state_path(), state.dump() + "\n");
    EXPECT_EQ(orvane({"stop"}).out, stopped) << field;
    EXPECT_FALSE(fs::exists(state_path())) << field;
    EXPECT_EQ(waitpid(server.pid(), nullptr, WNOHANG), 0) << field;  // still alive
    write_text_file(state_path(), state.dump() + "\n");
    EXPECT_EQ(orvane({"status"}).status, 3) << field;
  }
  write_text_file(state_path(), state_of(server.pid()).dump() + "\n");
  const RunResult status = orvane({"status"});
  EXPECT_EQ(status.status, 1);
  EXPECT_EQ(status.out, "Halvex is running at http://127.0.0.1:1/\nDatabase orvane: " + app() + "/graph.orv (current)\n");
  expect_refusal(orvane({"start", "--no-bolt", "--no-browser"}),
                 "error: The database process is running but is not ready. Check orvane status and the application "
                 "log.\n");
  auto held = std::make_unique<RawConnection>(port);
  ASSERT_TRUE(held->send("GET / HTTP/1.1\r\n"));
  BackgroundServer stop({"stop"}, dir.file("stop"));
  siginfo_t exited{};
  for (int i = 0; i < 30 && waitid(P_PID, stop.pid(), &exited, WEXITED | WNOHANG | WNOWAIT) == 0 && !exited.si_pid; ++i) {
    usleep(10000);
  }
  EXPECT_EQ(exited.si_pid, 0) << "stop returned before the server exited";
  held.reset();
  EXPECT_EQ(stop.wait(), 0);
  EXPECT_EQ(stop.out(), stopped);
  EXPECT_EQ(server.wait(), 0);
}

}  // namespace
}  // namespace orvane::testing
