// End-to-end tests of serve: the real binary on a free loopback port, with
// a temporary XDG_DATA_HOME and HOME so nothing touches the user's files,
// probed through /v1/health and stopped by its pid with a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>
#include <string>

#include "support/background_server.h"
#include "support/run_binary.h"
#include "support/private_user.h"

namespace orvane::testing {
namespace {

class ServeCommandTest : public ::testing::Test, protected PrivateUser {
 protected:
  std::uint16_t port = free_loopback_port();
};

TEST_F(ServeCommandTest, EphemeralDemoWithoutFabricListsItsDatabasesAndStopsOnSigterm) {
  BackgroundServer server({"serve", "--ephemeral", "--people", "100", "--papers", "40", "--no-fabric", "--port",
                           std::to_string(port)},
                          dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  EXPECT_EQ(server.stop(SIGTERM), 0) << server.err();
  const std::string p = std::to_string(port);
  EXPECT_EQ(server.out().substr(0, server.out().find("  nodes=")),
            "Halvex Browser   http://127.0.0.1:" + p + "/\nHalvex website   http://127.0.0.1:" + p +
                "/site/\n  databases: chaotic messy orvane replica simple \n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
}

TEST_F(ServeCommandTest, EphemeralDemoWithFabricAddsTheFabricDatabasesAndStopsOnSigint) {
  BackgroundServer server(
      {"console", "--ephemeral", "--people", "100", "--papers", "40", "--port", std::to_string(port)}, dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  EXPECT_EQ(server.stop(SIGINT), 0) << server.err();
  EXPECT_NE(server.out().find("  databases: biblio chaotic messy orvane replica simple social \n"), std::string::npos)
      << server.out();
  EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
}

TEST_F(ServeCommandTest, DefaultPathCreatesAPrivateApplicationDirectoryAndSavesAnEmptyGraph) {
  BackgroundServer server({"serve", "--port", std::to_string(port)}, dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  EXPECT_NE(http_get(port, "/v1/health").find("200"), std::string::npos);
  EXPECT_EQ(server.stop(SIGTERM), 0) << server.err();
  EXPECT_NE(server.out().find("  databases: orvane \n  nodes=0 edges=0\n"), std::string::npos) << server.out();
  struct stat info {};
  ASSERT_EQ(stat(dir.file("data/halvex").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(std::filesystem::exists(dir.file("data/halvex/graph.orv")));
}

TEST_F(ServeCommandTest, AnExistingGraphFileIsServedAsRestored) {
  ASSERT_EQ(run_orvane({"snapshot", "--people", "10", "--papers", "5", "--out", dir.file("g.orv")}).status, 0);
  BackgroundServer server({"serve", "--db", dir.file("g.orv"), "--port", std::to_string(port)}, dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  EXPECT_EQ(server.stop(SIGTERM), 0) << server.err();
  EXPECT_NE(server.out().find("  databases: restored \n  nodes=15 "), std::string::npos) << server.out();
}

TEST_F(ServeCommandTest, ASecondServeOnTheSameGraphFailsWithTheWriterLockMessage) {
  BackgroundServer server({"serve", "--db", dir.file("g.orv"), "--port", std::to_string(port)}, dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  const RunResult second = run_orvane({"serve", "--db", dir.file("g.orv"), "--port", std::to_string(port)});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, "error: graph is already open for writing by another process\n");
  EXPECT_EQ(server.stop(SIGTERM), 0) << server.err();
}

TEST_F(ServeCommandTest, ARelativeDataHomeFailsBeforeServing) {
  ScopedEnv relative{"XDG_DATA_HOME", std::string("relative/path")};
  const RunResult result = run_orvane({"serve", "--port", std::to_string(port)});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "error: XDG_DATA_HOME must be an absolute directory\n");
}

// Clients that keep writing while the server is stopped: every request
// the server accepted is answered in full, and every acknowledged CREATE is
// in the graph saved at exit.
TEST_F(ServeCommandTest, SigtermUnderLoadAnswersWhatWasAcceptedAndSavesEveryAcknowledgedWrite) {
  BackgroundServer server({"serve", "--db", dir.file("g.orv"), "--port", std::to_string(port)}, dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  std::atomic<int> acknowledged{0};
  std::atomic<int> broken{0};
  std::atomic<bool> refused{false};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; !refused; ++i) {
        const std::string answer =
            http_post(port, "/v1/query", "{\"query\":\"CREATE (:Person {name: 'c" + std::to_string(c) + "-" +
                                             std::to_string(i) + "'})\"}");
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
  const int status = server.stop(SIGTERM);
  refused = true;
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(status, 0) << server.err();
  EXPECT_EQ(broken, 0);
  const std::string count = orvane_output({"query", "--db", dir.file("g.orv"), "--gql",
                                           "MATCH (p:Person) RETURN count(*) AS c"});
  EXPECT_NE(count.find(std::to_string(acknowledged.load())), std::string::npos)
      << count << " acknowledged=" << acknowledged;
}

}  // namespace
}  // namespace orvane::testing
