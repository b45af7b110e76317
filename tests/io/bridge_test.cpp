// The bridge side of migration, with stand-in bridge scripts written by the
// test (shell scripts run through PYTHON=/bin/sh, and one Python script for
// the default interpreter): arguments reach the script byte for byte and run
// nothing; failures give the exact message; the credentials file is private
// while the bridge runs and gone afterwards, also when the bridge fails; a
// dump goes through a private directory that does not outlive the import.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "graph/database.h"
#include "io/bridge.h"
#include "io/neo4j_import.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::read_text_file;
using testing::ScopedEnv;
using testing::TempDir;

const std::string kBridgeFailed =
    "Neo4j import failed; destination unchanged. Check source compatibility and the decoder error above.";

// An installation root holding stand-in bridges, with the shell as their
// interpreter and RECORD naming the file they report into.
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
    std::ofstream(root_ + "/scripts/" + name) << text;
  }
  std::string record() const { return read_text_file(dir_.file("record")); }
  bool recorded() const { return fs::exists(dir_.file("record")); }
  const TempDir& dir() const { return dir_; }
  const std::string& root() const { return root_; }

 private:
  TempDir dir_;
  std::string root_;
  ScopedEnv home_, python_, record_;
};

const char* kRecordArguments = "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$RECORD\"\n";

TEST(Bridge, ArgumentsSurviveQuotesBlanksAndSubstitutionsAndRunNothing) {
  const TempDir scratch;
  const std::string trap = scratch.path() + "/ran";
  const Bridges bridges("it's a \"home\" $(touch " + trap + "0)");
  bridges.script("record.py", kRecordArguments);
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
  bridges.script("fails.py", "echo decoder says no >&2\nexit 3\n");
  bridges.script("killed.py", "kill -9 $$\n");
  for (const char* script : {"fails.py", "killed.py"}) {
    try {
      run_bridge(script, {});
      ADD_FAILURE() << script << " succeeded";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), kBridgeFailed);
    }
  }
  fs::create_directories(bridges.root() + "/scripts/dir.py");
  for (const char* script : {"absent.py", "dir.py"}) {
    try {
      run_bridge(script, {});
      ADD_FAILURE() << script << " succeeded";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), installation_path(std::string("scripts/") + script) +
                                           " not found; set ORVANE_HOME to the installation root");
    }
  }
}

TEST(Bridge, DefaultInterpreterIsPython3) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  const Bridges bridges;
  const ScopedEnv no_python("PYTHON", std::nullopt);
  bridges.script("hello.py", "import os, sys\nopen(os.environ['RECORD'], 'w').write(' '.join(sys.argv[1:]))\n");
  run_bridge("hello.py", {"x y", "z"});
  EXPECT_EQ(bridges.record(), "x y z");
}

TEST(Bridge, InstallationPathOrder) {
  const TempDir root;
  const ScopedEnv home("ORVANE_HOME", root.path());
  fs::create_directories(root.file("share/halvex/web"));
  fs::create_directories(root.file("web"));
  fs::create_directories(root.file("site"));
  EXPECT_EQ(installation_path("web"), root.file("share/halvex/web"));
  EXPECT_EQ(installation_path("site"), root.file("site"));
  EXPECT_EQ(installation_path("no-such-entry"), (fs::current_path() / "no-such-entry").string());
  const ScopedEnv empty_home("ORVANE_HOME", "");
  EXPECT_EQ(installation_path("site"), (fs::current_path() / "site").string());
}

// The stand-in pull bridge reports its arguments, the modes of the
// credentials file and its directory and the file's content, then writes a
// one-node export into --out and exits with PULL_STATUS.
const char* kPullBridge =
    "creds=$4; out=$8\n"
    "{ printf '%s\\n' \"$@\"; stat -c %a \"$creds\" \"$(dirname \"$creds\")\"; cat \"$creds\"; } > \"$RECORD\"\n"
    "mkdir -p \"$out\" && printf ':ID,:LABEL\\n1,A\\n' > \"$out/nodes.csv\" &&"
    " printf ':START_ID,:END_ID,:TYPE\\n' > \"$out/rels.csv\"\n"
    "exit \"${PULL_STATUS:-0}\"\n";

TEST(Bridge, PullKeepsCredentialsPrivateAndRemovesThemOnEveryExit) {
  for (const char* status : {"0", "1"}) {
    SCOPED_TRACE(status);
    const Bridges bridges;
    const ScopedEnv pull_status("PULL_STATUS", std::string(status));
    bridges.script("pull_neo4j.py", kPullBridge);
    const std::string out = bridges.dir().file("pulled $(x)");
    const std::string password = "pa ss'$(w)";
    if (std::string(status) == "0") {
      run_neo4j_pull("bolt://localhost:7687", "neo", password, "graph.db", out);
      EXPECT_EQ(import_neo4j_export(out).graph.node_count, 1u);
    } else {
      try {
        run_neo4j_pull("bolt://localhost:7687", "neo", password, "graph.db", out);
        ADD_FAILURE() << "pull succeeded";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), kBridgeFailed);
      }
    }
    std::vector<std::string> lines;
    std::istringstream record(bridges.record());
    for (std::string line; std::getline(record, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 11u) << bridges.record();
    const std::vector<std::string> fixed = {"--bolt", "bolt://localhost:7687", "--credentials-file"};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), fixed);
    const std::string credentials = lines[3];
    EXPECT_EQ(fs::path(credentials).filename(), "credentials.json");
    EXPECT_TRUE(fs::path(credentials).parent_path().filename().string().starts_with("corvadd-import-"));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.begin() + 8),
              (std::vector<std::string>{"--database", "graph.db", "--out", out}));
    EXPECT_EQ(lines[8], "600");
    EXPECT_EQ(lines[9], "700");
    EXPECT_EQ(lines[10], "{\"password\":\"pa ss'$(w)\",\"user\":\"neo\"}");
    EXPECT_FALSE(fs::exists(fs::path(credentials).parent_path()));
  }
}

TEST(Bridge, PullRefusesADirectoryThatAlreadyHoldsAnExport) {
  for (const char* name : {"nodes.ndjson", "relationships.jsonl", "nodes.csv.txt"}) {
    const Bridges bridges;
    bridges.script("pull_neo4j.py", kPullBridge);
    const std::string out = bridges.dir().file("out");
    fs::create_directories(out);
    fs::create_symlink("/nonexistent", out + "/" + name);  // a dangling link is an entry too
    try {
      run_neo4j_pull("bolt://h", "u", "p", "d", out);
      ADD_FAILURE() << "pulled into a directory holding " << name;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "Neo4j pull directory already holds an export: " + out + "; choose a new directory");
    }
    EXPECT_FALSE(bridges.recorded());
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
  }
}

TEST(Bridge, CredentialsAreNeverWrittenThroughAnExistingEntry) {
  const TempDir dir;
  fs::create_symlink(dir.file("elsewhere"), dir.file("credentials.json"));
  try {
    write_private_credentials(dir.path(), "u", "p");
    ADD_FAILURE() << "wrote through a link";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "cannot write private migration credentials");
  }
  EXPECT_FALSE(fs::exists(dir.file("elsewhere")));
}

TEST(Bridge, DumpImportsThroughAPrivateDirectoryRemovedAfterwards) {
  const Bridges bridges;
  bridges.script("import_neo4j_dump.py",
                 "printf '%s\\n' \"$2\" \"$4\" > \"$RECORD\"\n"
                 "[ -n \"$DUMP_FAILS\" ] && exit 2\n"
                 "mkdir \"$4\" && printf '{\"id\":1,\"label\":\"A\"}\\n' > \"$4/nodes.jsonl\" && : > \"$4/rels.jsonl\"\n");
  const std::string dump = bridges.dir().file("movies 'v5'.dump");
  std::ofstream(dump) << "archive";
  const Database db = import_neo4j_source(dump);
  EXPECT_EQ(db.graph.node_count, 1u);
  std::string record = bridges.record();
  EXPECT_TRUE(record.starts_with(dump + "\n")) << record;
  const fs::path export_dir = record.substr(dump.size() + 1, record.size() - dump.size() - 2);
  EXPECT_EQ(export_dir.filename(), "export");
  EXPECT_FALSE(fs::exists(export_dir.parent_path()));

  {
    const ScopedEnv fails("DUMP_FAILS", std::string("1"));
    try {
      import_neo4j_source(dump);
      ADD_FAILURE() << "imported";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), kBridgeFailed);
    }
    record = bridges.record();
    EXPECT_FALSE(fs::exists(fs::path(record.substr(dump.size() + 1, record.size() - dump.size() - 2)).parent_path()));
  }
  fs::create_directories(bridges.dir().file("dir.dump"));
  for (const char* missing : {"absent.dump", "dir.dump"}) {
    try {
      import_neo4j_source(bridges.dir().file(missing));
      ADD_FAILURE() << "imported " << missing;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Neo4j dump file is missing");
    }
  }
}

}  // namespace
}  // namespace orvane
