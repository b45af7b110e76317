// End-to-end tests of where the program finds its files: a copy installed
// by CMake into a temporary prefix (ORVANE_HOME unset, run from an empty
// directory) serves the web root and website installed beside it and runs
// the bridge scripts installed there; --web, --site and ORVANE_HOME move the
// document roots; and --public needs an API key and then takes any host.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>

#include "support/background_server.h"
#include "support/private_user.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

// The body of an HTTP answer ("" when it is not a 200).
std::string body_of(const std::string& answer) {
  if (answer.rfind("HTTP/1.1 200 ", 0) != 0) return "";
  const std::size_t blank = answer.find("\r\n\r\n");
  return blank == std::string::npos ? "" : answer.substr(blank + 4);
}

class InstallationTest : public ::testing::Test, protected PrivateUser {
 protected:
  ScopedEnv orvane_home{"ORVANE_HOME", std::nullopt};
  std::uint16_t port = free_loopback_port();
};

TEST_F(InstallationTest, AnInstalledCopyServesItsFilesAndRunsItsScripts) {
  const std::string prefix = dir.file("prefix");
  const RunResult install = run_program({CMAKE_COMMAND, "--install", ORVANE_BUILD_DIR, "--prefix", prefix});
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  const std::string share = prefix + "/share/halvex";
  const std::string binary = prefix + "/bin/orvane";
  std::filesystem::create_directories(dir.file("elsewhere"));
  {
    BackgroundServer server({"serve", "--ephemeral", "--port", std::to_string(port)}, dir.file("elsewhere"), binary);
    ASSERT_TRUE(server.wait_healthy(port)) << server.err();
    const std::string console = read_text_file(share + "/web/index.html");
    ASSERT_FALSE(console.empty());
    EXPECT_EQ(body_of(http_get(port, "/")), console);
    const std::string website = read_text_file(share + "/site/index.html");
    ASSERT_FALSE(website.empty());
    EXPECT_EQ(body_of(http_get(port, "/site/")), website);
    EXPECT_EQ(server.stop(SIGTERM), 0);
  }
  // A dump that is not one reaches the installed decoder, which refuses it.
  write_text_file(dir.file("elsewhere/not.dump"), "not a dump");
  const RunResult migrate = run_program({binary, "migrate", "--from", "not.dump", "--out", "o.orv"}, dir.file("elsewhere"));
  EXPECT_EQ(migrate.status, 1);
  EXPECT_EQ(migrate.err.find("not found; set ORVANE_HOME"), std::string::npos) << migrate.err;
  EXPECT_NE(migrate.err.find("import_neo4j_dump"), std::string::npos) << migrate.err;
}

TEST_F(InstallationTest, DocumentRootsFollowTheOptionsAndOrvaneHome) {
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
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--port", std::to_string(port)});
    BackgroundServer server(args, dir.path());
    ASSERT_TRUE(server.wait_healthy(port)) << args[0] << server.err();
    EXPECT_EQ(body_of(http_get(port, "/")), c.at_root) << args[0];
    if (c.at_site != nullptr) {
      EXPECT_EQ(body_of(http_get(port, "/site/")), c.at_site) << args[0];
    }
    EXPECT_EQ(server.stop(SIGTERM), c.status_after_sigterm);
  }
}

TEST_F(InstallationTest, PublicBindingNeedsAKeyAndThenTakesAnyHost) {
  const std::string p = std::to_string(port);
  const RunResult keyless = run_orvane({"serve", "--ephemeral", "--public", "--port", p}, dir.path());
  EXPECT_EQ(keyless.status, 1);
  EXPECT_EQ(keyless.err, "error: public binding requires ORVANE_API_KEY with at least 32 random characters\n");
  const std::string key(40, 'k');
  ScopedEnv api_key{"ORVANE_API_KEY", key};
  BackgroundServer server({"serve", "--ephemeral", "--public", "--port", p}, dir.path());
  ASSERT_TRUE(server.wait_healthy(port)) << server.err();
  const std::string request = "GET /v1/databases HTTP/1.1\r\nHost: graph.example\r\nAuthorization: Bearer " + key +
                              "\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(http_exchange(port, request).rfind("HTTP/1.1 200 ", 0), 0u);
  EXPECT_EQ(server.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace orvane::testing
