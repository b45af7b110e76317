// The static file server over real connections, through an Engine's roots
// and route table: index documents, content types, and every way a path
// could leave its root (.., //, percent-encoded dots, symbolic links) or name
// something that is not a servable file (missing, empty, directory, FIFO).
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "console/engine.h"
#include "http/serve_engine.h"
#include "http/static_files.h"
#include "http_test_server.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

void write_file(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(StaticFiles, ServedFromTheEngineRootsOnlyWhenBelowThem) {
  TempDir top;
  Engine engine;
  engine.web_root = top.file("web");
  engine.site_root = top.file("site");
  const std::string web = engine.web_root + "/";
  for (const char* name : {"index.html", "app.js", "style.css", "logo.svg", "data.json", "logo.png",
                           "%2e%2e/odd.html", "js/mod.js"}) {
    write_file(web + name, std::string("<") + name + ">");
  }
  write_file(web + "empty.html", "");
  write_file(engine.site_root + "/index.html", "<site>");
  write_file(engine.site_root + "/docs/guide.html", "<guide>");
  write_file(top.file("secret.txt"), "secret");
  fs::create_directories(web + "dir.d");
  fs::create_symlink(top.file("secret.txt"), web + "leak.txt");
  fs::create_symlink(top.path(), web + "up");
  fs::create_symlink(web + "app.js", web + "alias.js");
  fs::create_symlink(web + "missing.html", web + "dangling.html");
  ::mkfifo((web + "pipe.html").c_str(), 0600);
  HttpServerOptions options = engine_server_options(engine, 0, false);
  const std::string key(32, 'k');
  options.api_key = key;  // files need none; only /v1/stats.json below, an API path, needs it
  TestServer server(options, engine_routes(engine));

  const std::string html = "text/html; charset=utf-8", js = "application/javascript; charset=utf-8";
  const struct { std::string path, content_type, body, method = "GET"; } cases[] = {
      {"/", html, "<index.html>"},
      {"/app.js", js, "<app.js>"},
      {"/style.css", "text/css; charset=utf-8", "<style.css>"},
      {"/logo.svg", "image/svg+xml", "<logo.svg>"},
      {"/data.json", "application/json", "<data.json>"},
      {"/logo.png", html, "<logo.png>"},
      {"/alias.js", js, "<app.js>"},                    // a link inside the root
      {"/%2e%2e/odd.html", html, "<%2e%2e/odd.html>"},  // no percent-decoding: a plain name
      {"/site", html, "<site>"},
      {"/site/", html, "<site>"},
      {"/site/docs/guide.html", html, "<guide>"},
      {"/index", "application/json", R"({"ok":false,"error":"not found"})"},  // no ".": a route
      {"/index.html", "application/json", R"({"ok":false,"error":"not found"})", "POST"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + c.path);
    const HttpReply reply = http_exchange(server.port(), make_request(c.method, c.path));
    EXPECT_EQ(c.content_type, reply.content_type);
    EXPECT_EQ(c.body, reply.body);
  }
  const std::string refused[] = {
      "/../secret.txt", "//index.html",   "/..",        "/site/../secret.txt", "/%2e%2e/secret.txt",
      "/.%2e/secret.txt", "/js/../index.html", "/js/..%2f../secret.txt", "/leak.txt", "/up/secret.txt",
      "/empty.html",    "/dir.d",         "/js/.",      "/pipe.html",          "/dangling.html",
      "/missing.js",    "/v1/stats.json", "/site/docs/.", "index.html",        std::string("/index.html\0.js", 15),
  };
  for (const std::string& path : refused) {
    SCOPED_TRACE(path);
    const HttpReply reply = http_exchange(server.port(), make_request("GET", path, {"Authorization: Bearer " + key}));
    EXPECT_EQ("HTTP/1.1 404 ERR", reply.status_line);
    EXPECT_EQ("text/plain", reply.content_type);
    EXPECT_EQ("not found", reply.body);
  }
  EXPECT_EQ(403, http_exchange(server.port(), make_request("GET", "/", {"Sec-Fetch-Site: cross-site"})).status);
}

TEST(StaticFiles, EmptyRootsAreWebAndSiteInTheWorkingDirectory) {
  TempDir top;
  write_file(top.file("web/index.html"), "w");
  write_file(top.file("site/index.html"), "s");
  const fs::path before = fs::current_path();
  fs::current_path(top.path());
  EXPECT_EQ("w", serve_static_file("/", "", "").body);
  EXPECT_EQ("s", serve_static_file("/site/", "", "").body);
  fs::current_path(before);
}

}  // namespace
}  // namespace orvane::testing
