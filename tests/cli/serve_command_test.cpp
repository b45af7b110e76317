// End-to-end tests of serve, console and site: the real binary on a free
// loopback port, with a temporary XDG_DATA_HOME and HOME so nothing touches
// the user's files, probed through /v1/health and stopped by its pid with a
// signal. Where the program finds its files: a copy installed by CMake into
// a temporary prefix (ORVANE_HOME unset, run from an empty directory) serves
// the web root and website installed beside it and runs the bridge scripts
// installed there; --web, --site and ORVANE_HOME move the document roots;
// --public needs an API key and then takes any host.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/background_server.h"
#include "support/private_user.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

// The body of an HTTP answer ("" when it is not a 200).
std::string body_of(const std::string& answer) {
  if (answer.rfind("HTTP/1.1 200 ", 0) != 0) return "";
  const std::size_t blank = answer.find("\r\n\r\n");
  return blank == std::string::npos ? "" : answer.substr(blank + 4);
}

class ServeCommandTest : public ::testing::Test, protected PrivateUser {
 protected:
  // Starts `args` plus --port on this test's port and waits until healthy.
  std::unique_ptr<BackgroundServer> serve(std::vector<std::string> args, const std::string& binary = ORVANE_BINARY) {
    args.insert(args.end(), {"--port", p});
    auto server = std::make_unique<BackgroundServer>(args, dir.path(), binary);
    EXPECT_TRUE(server->wait_healthy(port)) << args[0] << server->err();
    return server;
  }
  std::uint16_t port = free_loopback_port();
  std::string p = std::to_string(port);
  ScopedEnv orvane_home{"ORVANE_HOME", std::nullopt};
};

TEST_F(ServeCommandTest, EphemeralDemosListTheirDatabasesAndStopOnSigtermOrSigint) {
  const struct {
    std::vector<std::string> args;
    int signal;
    std::string databases;
  } cases[] = {
      {{"serve", "--ephemeral", "--people", "100", "--papers", "40", "--no-fabric"}, SIGTERM,
       "chaotic messy orvane replica simple "},
      {{"console", "--ephemeral", "--people", "100", "--papers", "40"}, SIGINT,
       "biblio chaotic messy orvane replica simple social "},
  };
  for (const auto& c : cases) {
    auto server = serve(c.args);
    EXPECT_EQ(server->stop(c.signal), 0) << server->err();
    EXPECT_EQ(server->out().substr(0, server->out().find("  nodes=")),
              "Halvex Browser   http://127.0.0.1:" + p + "/\nHalvex website   http://127.0.0.1:" + p +
                  "/site/\n  databases: " + c.databases + "\n");
  }
  EXPECT_FALSE(fs::exists(dir.file("data")));
}

TEST_F(ServeCommandTest, DefaultPathCreatesAPrivateApplicationDirectoryAndSavesAnEmptyGraph) {
  {
    ScopedEnv relative{"XDG_DATA_HOME", std::string("relative/path")};
    expect_refusal(run_program({"timeout", "20", ORVANE_BINARY, "serve", "--port", p}),
                   "error: XDG_DATA_HOME must be an absolute directory\n");
  }
  auto server = serve({"serve"});
  EXPECT_EQ(server->stop(SIGTERM), 0) << server->err();
  EXPECT_NE(server->out().find("  databases: orvane \n  nodes=0 edges=0\n"), std::string::npos) << server->out();
  struct stat info {};
  ASSERT_EQ(stat(dir.file("data/halvex").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(fs::exists(dir.file("data/halvex/graph.orv")));
}

// An existing graph is served as "restored" under its writer lock; clients
// that keep writing while the server is stopped get every accepted request
// answered in full, and every acknowledged CREATE is in the graph saved at
// exit.
TEST_F(ServeCommandTest, AGraphFileIsServedLockedAndSavesEveryAcknowledgedWriteOnSigterm) {
  orvane_output({"snapshot", "--people", "10", "--papers", "5", "--out", dir.file("g.orv")});
  auto server = serve({"serve", "--db", dir.file("g.orv")});
  expect_refusal(run_orvane({"serve", "--db", dir.file("g.orv"), "--port", p}),
                 "error: graph is already open for writing by another process\n");
  std::atomic<int> acknowledged{0}, broken{0};
  std::atomic<bool> refused{false};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; !refused; ++i) {
        const std::string answer = http_post(port, "/v1/query", "{\"query\":\"CREATE (:Person {name: 'c" +
                                                                    std::to_string(c) + "-" + std::to_string(i) + "'})\"}");
        if (answer.rfind("HTTP/1.1 200 ", 0) == 0 && answer.find("\r\n\r\n") != std::string::npos) {
          ++acknowledged;
        } else if (answer.empty()) {
          refused = true;  // the listener is closed: the server is stopping
        } else {
          ++broken;
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

TEST_F(ServeCommandTest, AnInstalledCopyServesItsFilesAndRunsItsScripts) {
  const std::string prefix = dir.file("prefix");
  const RunResult install = run_program({CMAKE_COMMAND, "--install", ORVANE_BUILD_DIR, "--prefix", prefix});
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  fs::create_directories(dir.file("elsewhere"));
  BackgroundServer server({"serve", "--ephemeral", "--port", p}, dir.file("elsewhere"), prefix + "/bin/orvane");
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  for (const std::string route : {"/", "/site/"}) {
    const std::string page = read_text_file(prefix + "/share/halvex/" + (route == "/" ? "web" : "site") + "/index.html");
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(body_of(http_get(port, route)), page);
  }
  EXPECT_EQ(server.stop(SIGTERM), 0);
  // A dump that is not one reaches the installed decoder, which refuses it.
  write_text_file(dir.file("elsewhere/not.dump"), "not a dump");
  const RunResult migrate =
      run_program({prefix + "/bin/orvane", "migrate", "--from", "not.dump", "--out", "o.orv"}, dir.file("elsewhere"));
  EXPECT_EQ(migrate.status, 1);
  EXPECT_EQ(migrate.err.find("not found; set ORVANE_HOME"), std::string::npos) << migrate.err;
  EXPECT_NE(migrate.err.find("import_neo4j_dump"), std::string::npos) << migrate.err;
}

TEST_F(ServeCommandTest, DocumentRootsFollowTheOptionsAndOrvaneHome) {
  write_text_file(dir.file("console/index.html"), "console page");
  write_text_file(dir.file("website/index.html"), "website page");
  write_text_file(dir.file("home/web/index.html"), "home console page");
  const struct {
    std::vector<std::string> args;
    const char* home;
    const char* at_root;
    const char* at_site;
    int status_after_sigterm;  // site has no stop flag: the signal ends it
  } cases[] = {
      {{"serve", "--ephemeral", "--web", dir.file("console"), "--site", dir.file("website")}, nullptr,
       "console page", "website page", 0},
      {{"serve", "--ephemeral"}, "home", "home console page", nullptr, 0},
      {{"site", "--site", dir.file("website")}, nullptr, "website page", "website page", 128 + SIGTERM},
  };
  for (const auto& c : cases) {
    ScopedEnv home{"ORVANE_HOME", c.home ? std::optional<std::string>(dir.file(c.home)) : std::nullopt};
    auto server = serve(c.args);
    EXPECT_EQ(body_of(http_get(port, "/")), c.at_root) << c.args[0];
    if (c.at_site != nullptr) {
      EXPECT_EQ(body_of(http_get(port, "/site/")), c.at_site) << c.args[0];
    }
    EXPECT_EQ(server->stop(SIGTERM), c.status_after_sigterm);
  }
}

TEST_F(ServeCommandTest, PublicBindingNeedsAKeyAndThenTakesAnyHost) {
  const RunResult keyless = run_orvane({"serve", "--ephemeral", "--public", "--port", p}, dir.path());
  EXPECT_EQ(keyless.status, 1);
  EXPECT_EQ(keyless.err, "error: public binding requires ORVANE_API_KEY with at least 32 random characters\n");
  const std::string key(40, 'k');
  ScopedEnv api_key{"ORVANE_API_KEY", key};
  auto server = serve({"serve", "--ephemeral", "--public"});
  const std::string request = "GET /v1/databases HTTP/1.1\r\nHost: graph.example\r\nAuthorization: Bearer " + key +
                              "\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(http_exchange(port, request).rfind("HTTP/1.1 200 ", 0), 0u);
  EXPECT_EQ(server->stop(SIGTERM), 0);
}

}  // namespace
}  // namespace orvane::testing
