// The static file server over real connections, against a web root and a
// site root built per test: index documents, content types, and every way a
// path could leave its root (.., //, percent-encoded dots, symbolic links)
// or name something that is not a servable file (missing, empty, directory,
// FIFO). Files need no API key but do pass the Host and Origin checks.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "http/static_files.h"
#include "http_test_server.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kHtml = "text/html; charset=utf-8";

void write_file(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class StaticFilesTest : public ::testing::Test {
 protected:
  StaticFilesTest() {
    web_ = top_.file("web");
    site_ = top_.file("site");
    write_file(web_ + "/index.html", "<h1>console</h1>");
    write_file(web_ + "/app.js", "console.log(1);");
    write_file(web_ + "/style.css", "p{}");
    write_file(web_ + "/logo.svg", "<svg/>");
    write_file(web_ + "/data.json", "{\"a\":1}");
    write_file(web_ + "/logo.png", "\x89PNG\r\n\x1a\n");
    write_file(web_ + "/js/deep/mod.js", "export{}");
    write_file(web_ + "/empty.html", "");
    write_file(web_ + "/%2e%2e/odd.html", "literal name");
    fs::create_directories(web_ + "/dir.d");
    write_file(site_ + "/index.html", "<h1>site</h1>");
    write_file(site_ + "/docs/guide.html", "guide");
    write_file(top_.file("secret.txt"), "secret");
    fs::create_symlink(top_.file("secret.txt"), web_ + "/leak.txt");
    fs::create_symlink(top_.path(), web_ + "/up");
    fs::create_symlink(web_ + "/app.js", web_ + "/alias.js");
    fs::create_symlink(web_ + "/missing.html", web_ + "/dangling.html");
    ::mkfifo((web_ + "/pipe.html").c_str(), 0600);
  }

  TempDir top_;
  std::string web_;
  std::string site_;
};

TEST_F(StaticFilesTest, ServesFilesWithTheirContentTypes) {
  TestServer server(HttpServerOptions{.web_root = web_, .site_root = site_, .api_key = std::string(32, 'k')});
  const struct {
    std::string path;
    std::string content_type;
    std::string body;
  } cases[] = {
      {"/", kHtml, "<h1>console</h1>"},
      {"/index.html", kHtml, "<h1>console</h1>"},
      {"/app.js", "application/javascript; charset=utf-8", "console.log(1);"},
      {"/style.css", "text/css; charset=utf-8", "p{}"},
      {"/logo.svg", "image/svg+xml", "<svg/>"},
      {"/data.json", "application/json", "{\"a\":1}"},
      {"/logo.png", kHtml, "\x89PNG\r\n\x1a\n"},
      {"/js/deep/mod.js", "application/javascript; charset=utf-8", "export{}"},
      {"/alias.js", "application/javascript; charset=utf-8", "console.log(1);"},  // a link inside the root
      {"/%2e%2e/odd.html", kHtml, "literal name"},  // no percent-decoding: a plain name
      {"/site", kHtml, "<h1>site</h1>"},
      {"/site/", kHtml, "<h1>site</h1>"},
      {"/site/index.html", kHtml, "<h1>site</h1>"},
      {"/site/docs/guide.html", kHtml, "guide"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const HttpReply reply = http_exchange(server.port(), make_request("GET", c.path));
    EXPECT_EQ("HTTP/1.1 200 OK", reply.status_line);
    EXPECT_EQ(c.content_type, reply.content_type);
    EXPECT_EQ(c.body, reply.body);
    EXPECT_NE(std::string::npos, reply.raw.find("\r\nCache-Control: no-store\r\n"));
  }
}

TEST_F(StaticFilesTest, RefusesEscapesAndUnservableFiles) {
  TestServer server(HttpServerOptions{.web_root = web_, .site_root = site_, .api_key = ""});
  const char* cases[] = {
      "/../secret.txt",      "//index.html",        "/..",                    "/site/../secret.txt",
      "/%2e%2e/secret.txt",  "/.%2e/secret.txt",    "/js/..%2f../secret.txt", "/leak.txt",
      "/up/secret.txt",      "/empty.html",         "/dir.d",                 "/js/.",
      "/pipe.html",          "/dangling.html",      "/missing.js",            "/v1/stats.json",
      "/site/missing.html",  "/site/docs/.",
  };
  for (const char* path : cases) {
    SCOPED_TRACE(path);
    const HttpReply reply = http_exchange(server.port(), make_request("GET", path));
    EXPECT_EQ("HTTP/1.1 404 ERR", reply.status_line);
    EXPECT_EQ("text/plain", reply.content_type);
    EXPECT_EQ("not found", reply.body);
  }
}

TEST_F(StaticFilesTest, OnlyGetsOfFileLikePathsReachTheFiles) {
  TestServer server(HttpServerOptions{.web_root = web_, .site_root = site_, .api_key = ""});
  const std::string not_found = R"({"ok":false,"error":"not found"})";
  EXPECT_EQ(not_found, http_exchange(server.port(), make_request("POST", "/index.html")).body);
  EXPECT_EQ(not_found, http_exchange(server.port(), make_request("GET", "/index")).body);  // no ".": a route
  EXPECT_EQ(403, http_exchange(server.port(), make_request("GET", "/", {"Sec-Fetch-Site: cross-site"})).status);
}

TEST(StaticFiles, PathChecksWithoutAServer) {
  TempDir top;
  write_file(top.file("web/index.html"), "w");
  write_file(top.file("site/index.html"), "s");
  const std::string refused[] = {"", "index.html", "//index.html", "/a/../index.html",
                                 std::string("/index.html\0.js", 15)};
  for (const std::string& path : refused) {
    SCOPED_TRACE(path);
    EXPECT_EQ(404, serve_static_file(path, top.file("web"), top.file("site")).status);
  }
  EXPECT_EQ("s", serve_static_file("/site", top.file("web"), top.file("site")).body);
  // Empty roots mean "web" and "site" in the working directory.
  const fs::path before = fs::current_path();
  fs::current_path(top.path());
  EXPECT_EQ("w", serve_static_file("/", "", "").body);
  EXPECT_EQ("s", serve_static_file("/site/", "", "").body);
  fs::current_path(before);
}

}  // namespace
}  // namespace orvane::testing
