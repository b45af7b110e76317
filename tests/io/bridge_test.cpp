// The bridge side of migration with stand-in bridges (shell scripts run as
// PYTHON=/bin/sh). The pull bridge, its credentials file and its directory
// checks are shown through the migrate command's tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "graph/database.h"
#include "io/bridge.h"
#include "io/neo4j_import.h"
#include "support/error_text.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::error_of;
using testing::read_text_file;
using testing::ScopedEnv;
using testing::TempDir;

const std::string kBridgeFailed =
    "Neo4j import failed; destination unchanged. Check source compatibility and the decoder error above.";

// An installation root of stand-in bridges; RECORD names the file they report into.
class Bridges {
 public:
  explicit Bridges(const std::string& root_name = "home")
      : root_(dir_.file(root_name)),
        home_("ORVANE_HOME", root_),
        python_("PYTHON", "/bin/sh"),
        record_("RECORD", dir_.file("record")) {
    fs::create_directories(root_ + "/scripts");
  }
  void script(const std::string& name, const std::string& text) const {
    testing::write_text_file(root_ + "/scripts/" + name, text);
  }
  std::string record() const { return read_text_file(dir_.file("record")); }
  const TempDir& dir() const { return dir_; }
  const std::string& root() const { return root_; }

 private:
  TempDir dir_;
  std::string root_;
  ScopedEnv home_, python_, record_;
};

TEST(Bridge, ArgumentsSurviveQuotesBlanksAndSubstitutionsAndRunNothing) {
  const TempDir scratch;
  const std::string trap = scratch.path() + "/ran";
  const Bridges bridges("it's a \"home\" $(touch " + trap + "0)");
  bridges.script("record.py", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$RECORD\"\n");
  const std::vector<std::string> arguments = {
      "bolt://u:p@h:7687/$(touch " + trap + "1)", "it's", " a  b ", "`touch " + trap + "2`", "\"dq\" ;|&<>*?", "",
      "back\\slash '' '\\''", "$HOME ${PATH} !x"};
  run_bridge("record.py", arguments);
  std::string expected;
  for (const std::string& a : arguments) expected += a + "\n";
  EXPECT_EQ(bridges.record(), expected);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(fs::exists(trap + std::to_string(i)));
}

TEST(Bridge, FailuresGiveTheExactMessage) {
  const Bridges bridges;
  bridges.script("killed.py", "kill -9 $$\n");  // a failing exit status: the migrate command's tests
  fs::create_directories(bridges.root() + "/scripts/dir.py");
  EXPECT_EQ(kBridgeFailed, error_of([&] { run_bridge("killed.py", {}); }));
  for (const char* script : {"absent.py", "dir.py"}) {
    EXPECT_EQ(installation_path(std::string("scripts/") + script) + " not found; set ORVANE_HOME to the installation root",
              error_of([&] { run_bridge(script, {}); }));
  }
  // Credentials are never written through an existing entry.
  fs::create_symlink(bridges.dir().file("elsewhere"), bridges.dir().file("credentials.json"));
  EXPECT_EQ("cannot write private migration credentials",
            error_of([&] { write_private_credentials(bridges.dir().path(), "u", "p"); }));
  EXPECT_FALSE(fs::exists(bridges.dir().file("elsewhere")));
}

TEST(Bridge, InstallationPathOrder) {
  const TempDir root;
  const ScopedEnv home("ORVANE_HOME", root.path());
  for (const char* entry : {"share/halvex/web", "web", "site", "only-at-home"}) {
    fs::create_directories(root.file(entry));
  }
  EXPECT_EQ(installation_path("web"), root.file("share/halvex/web"));
  EXPECT_EQ(installation_path("site"), root.file("site"));
  EXPECT_EQ(installation_path("no-such-entry"), (fs::current_path() / "no-such-entry").string());
  // An empty ORVANE_HOME counts as unset (for a name the build tree lacks).
  const ScopedEnv empty_home("ORVANE_HOME", "");
  EXPECT_EQ(installation_path("only-at-home"), (fs::current_path() / "only-at-home").string());
}

TEST(Bridge, DumpImportsThroughAPrivateDirectoryRemovedAfterwards) {
  const Bridges bridges;
  bridges.script("import_neo4j_dump.py",
                 "printf '%s\\n' \"$2\" \"$4\" > \"$RECORD\"\n"
                 "[ -n \"$DUMP_FAILS\" ] && exit 2\n"
                 "mkdir \"$4\" && printf '{\"id\":1,\"label\":\"A\"}\\n' > \"$4/nodes.jsonl\" && : > \"$4/rels.jsonl\"\n");
  const std::string dump = bridges.dir().file("movies 'v5'.dump");
  testing::write_text_file(dump, "archive");
  const auto export_dir = [&] {
    const std::string record = bridges.record();
    return fs::path(record.substr(dump.size() + 1, record.size() - dump.size() - 2));
  };
  EXPECT_EQ(1u, import_neo4j_source(dump).graph.node_count);
  EXPECT_TRUE(bridges.record().starts_with(dump + "\n")) << bridges.record();
  EXPECT_EQ("export", export_dir().filename());
  EXPECT_FALSE(fs::exists(export_dir().parent_path()));
  {
    const ScopedEnv fails("DUMP_FAILS", std::string("1"));
    EXPECT_EQ(kBridgeFailed, error_of([&] { import_neo4j_source(dump); }));
    EXPECT_FALSE(fs::exists(export_dir().parent_path()));
  }
  fs::create_directories(bridges.dir().file("dir.dump"));  // an absent one: the console's migration tests
  EXPECT_EQ("Neo4j dump file is missing", error_of([&] { import_neo4j_source(bridges.dir().file("dir.dump")); }));
}

}  // namespace
}  // namespace orvane
