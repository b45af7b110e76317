// End-to-end tests of where a server keeps its databases: every written
// database in a file of its own beside the server's snapshot, listed in the
// catalogue, so that a restart brings back every acknowledged write; a
// request's database that selects nothing; and one writer per file however
// the file is named (links, bind mounts). The real binary, real files, real
// mounts (skipped where the test may not mount).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include <nlohmann/json.hpp>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// A bind mount held for the object's life; `ok` is false where mounting is
// not allowed.
struct BindMount {
  std::string target;
  bool ok;
  BindMount(const std::string& from, const std::string& to, const char* type = nullptr, const char* data = nullptr)
      : target(to), ok(::mount(from.c_str(), to.c_str(), type, type == nullptr ? MS_BIND : 0, data) == 0) {}
  ~BindMount() {
    if (ok) ::umount2(target.c_str(), MNT_DETACH);
  }
};

class DatabasesTest : public ::testing::Test {
 protected:
  std::unique_ptr<BackgroundServer> serve(const std::string& db, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"serve", "--db", db, "--port", std::to_string(port), "--no-bolt"};
    args.insert(args.end(), more.begin(), more.end());
    auto server = std::make_unique<BackgroundServer>(args, dir.path());
    EXPECT_TRUE(server->wait_healthy(port)) << server->err();
    return server;
  }
  json post(const std::string& path, const json& body) {
    const HttpReply reply = http_post(port, path, body.dump());
    EXPECT_EQ(200, reply.status) << path << " " << body.dump() << " " << reply.body;
    return json::parse(reply.body, nullptr, false);
  }
  std::string count(const std::string& label, const std::string& db) {
    const json answer = post("/v1/query", {{"query", "MATCH (n:" + label + ") RETURN count(*) AS c"}, {"db", db}});
    return answer["data"]["rows"].dump();
  }

  TempDir dir;
  std::uint16_t port = free_loopback_port();
};

// One server, several databases: a write to the current database, one to
// another database named by the request, a migration and a restore each
// land in their own file, and after a restart every one is there and the
// selection is the one that was made.
TEST_F(DatabasesTest, EveryAcknowledgedWriteOfEveryDatabaseSurvivesARestart) {
  orvane_output({"snapshot", "--people", "10", "--papers", "5", "--out", dir.file("src.orv")});
  orvane_output({"export", "--db", dir.file("src.orv"), "--out", dir.file("export")});
  const std::string g = dir.file("data/g.orv");
  {
    auto server = serve(g, {"--people", "20", "--papers", "8", "--no-fabric"});
    post("/v1/query", {{"query", "CREATE (:Mine {name: 'first'})"}});
    post("/v1/query", {{"query", "CREATE (:Other {name: 'second'})"}, {"db", "simple"}});
    EXPECT_EQ("orvane", json::parse(http_get(port, "/v1/databases").body)["current"]);  // "db" selected nothing
    post("/v1/migrate", {{"dir", dir.file("export")}, {"name", "m"}});
    post("/v1/restore", {{"path", dir.file("src.orv")}});
    post("/v1/use", {{"name", "simple"}});
    const json listing = json::parse(http_get(port, "/v1/databases").body);
    EXPECT_EQ(R"([{"database":"chaotic","file":null},{"database":"m","file":")" + dir.file("data/m.orv") +
                  R"("},{"database":"messy","file":null},{"database":"orvane","file":")" + g +
                  R"("},{"database":"replica","file":null},{"database":"restored","file":")" +
                  dir.file("data/restored.orv") + R"("},{"database":"simple","file":")" +
                  dir.file("data/simple.orv") + R"("}])",
              listing["files"].dump());
    EXPECT_EQ(0, server->stop(SIGTERM)) << server->err();
  }
  // The snapshot given with --db still holds the database it started with.
  EXPECT_NE(orvane_output({"query", "--db", g, "--gql", "MATCH (n:Mine) RETURN count(*) AS c"}).find("[[1]]"),
            std::string::npos);
  auto server = serve(g);
  EXPECT_NE(server->out().find("  databases: m orvane restored simple \n"), std::string::npos) << server->out();
  EXPECT_EQ("simple", json::parse(http_get(port, "/v1/databases").body)["current"]);
  EXPECT_EQ("[[1]]", count("Mine", "orvane"));
  EXPECT_EQ("[[1]]", count("Other", "simple"));
  const json restored = post("/v1/query", {{"query", "MATCH (n) RETURN count(*) AS c"}, {"db", "restored"}});
  EXPECT_EQ(R"([[15]])", restored["data"]["rows"].dump());
}

// The writer lock belongs to the file: a second server on the same
// snapshot through a symbolic link or a bind-mounted folder is refused, a
// hard-linked snapshot is refused outright, and a bind-mounted file fails
// at its first save with a message that says why.
TEST_F(DatabasesTest, OneWriterPerFileHoweverItIsNamed) {
  fs::create_directories(dir.file("a"));
  fs::create_directories(dir.file("mnt"));
  orvane_output({"snapshot", "--people", "10", "--papers", "5", "--out", dir.file("a/g.orv")});
  auto first = serve(dir.file("a/g.orv"));
  const std::string busy = "error: graph is already open for writing by another process\n";
  const auto second = [&](const std::string& path) {
    return run_orvane({"serve", "--db", path, "--port", std::to_string(free_loopback_port()), "--no-bolt"}, dir.path());
  };
  fs::create_symlink(dir.file("a/g.orv"), dir.file("link.orv"));
  expect_refusal(second(dir.file("link.orv")), busy);
  fs::create_hard_link(dir.file("a/g.orv"), dir.file("hard.orv"));
  expect_refusal(second(dir.file("hard.orv")),
                 "error: cannot open " + dir.file("hard.orv") +
                     " for writing: the file has 2 hard links, and a save replaces only one of them; copy it to a "
                     "file of its own\n");
  fs::remove(dir.file("hard.orv"));

  const BindMount folder(dir.file("a"), dir.file("mnt"));
  if (!folder.ok) GTEST_SKIP() << "bind mounts are not allowed here";
  expect_refusal(second(dir.file("mnt/g.orv")), busy);
  write_text_file(dir.file("f.orv"), "");
  const BindMount file(dir.file("a/g.orv"), dir.file("f.orv"));
  ASSERT_TRUE(file.ok);
  const RunResult mounted = second(dir.file("f.orv"));
  EXPECT_EQ(1, mounted.status);
  EXPECT_NE(mounted.err.find("snapshot atomic replacement failed: Device or resource busy (" + dir.file("f.orv") +
                             " is a mount point, which cannot be replaced; mount its folder instead)"),
            std::string::npos)
      << mounted.err;
  EXPECT_EQ(0, first->stop(SIGTERM));
}

// A save that fails says what the system said.
TEST_F(DatabasesTest, AFullDiskIsReportedWithTheSystemsReason) {
  fs::create_directories(dir.file("small"));
  const BindMount tmpfs("tmpfs", dir.file("small"), "tmpfs", "size=64k");
  if (!tmpfs.ok) GTEST_SKIP() << "mounts are not allowed here";
  const RunResult r = run_orvane({"snapshot", "--people", "2000", "--papers", "800", "--out", dir.file("small/g.orv")});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(r.err.find("snapshot write failed: No space left on device"), std::string::npos) << r.err;
  for (const auto& entry : fs::directory_iterator(dir.file("small"))) {
    EXPECT_EQ(".lock", entry.path().extension()) << entry.path();  // no snapshot, no temporary file
  }
}

// An import reads regular files only: a FIFO, /dev/zero or /dev/urandom in
// place of a node file is refused at once, on the command line and in a
// server, which goes on answering.
TEST_F(DatabasesTest, ImportsRefuseWhatIsNotARegularFile) {
  auto server = serve(dir.file("g.orv"));
  for (const std::string kind : {"fifo", "zero", "urandom"}) {
    SCOPED_TRACE(kind);
    const std::string from = dir.file("in-" + kind);
    fs::create_directories(from);
    if (kind == "fifo") {
      ASSERT_EQ(0, ::mkfifo((from + "/nodes.csv").c_str(), 0600));
    } else {
      fs::create_symlink("/dev/" + kind, from + "/nodes.csv");
    }
    const std::string refusal = "cannot import " + from + "/nodes.csv: not a regular file";
    expect_refusal(run_orvane({"migrate", "--from", from, "--out", dir.file("o.orv")}, dir.path()),
                   "error: " + refusal + "\n");
    const HttpReply answer = http_post(port, "/v1/migrate", json{{"dir", from}}.dump());
    EXPECT_EQ(400, answer.status);
    EXPECT_EQ(refusal, json::parse(answer.body)["error"]);
    EXPECT_EQ(200, http_get(port, "/v1/health").status);
  }
  EXPECT_EQ(0, server->stop(SIGTERM));
}

}  // namespace
}  // namespace orvane::testing
