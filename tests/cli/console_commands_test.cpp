// The query and shell commands: the shell's statement scanner and the query
// command's mutating test as tables, then both commands through the real
// binary — what they print, what they save, and what a failure leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/statement_scanner.h"
#include "graph/database.h"
#include "storage/snapshot.h"
#include "support/error_text.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane::testing {
namespace {

std::uint64_t nodes_in(const std::string& path) { return load_snapshot(path).graph.node_count; }

TEST(StatementScanner, CutsStatementsAtSemicolonsOutsideQuotes) {
  const struct {
    std::vector<std::string> lines;
    std::string ran;  // statements run, "|" between them, line feeds shown as "/"
    bool pending;
    std::string error;
  } cases[] = {
      {{"CREATE (a:X {s:';'});"}, "CREATE (a:X {s:';'})", false, ""},
      {{"CREATE (:X {s:'it\\'s'});"}, "CREATE (:X {s:'it\\'s'})", false, ""},
      {{";"}, "", false, ""},
      {{" ; \t;"}, "", false, ""},
      {{":help; :sysinfo;:x"}, ":help| :sysinfo", true, ""},
      {{"MATCH 'a", "b;c';"}, "MATCH 'a/b;c'", false, ""},
      {{"\"a\\\";", "\";"}, "\"a\\\";/\"", false, ""},
      {{"`a\\`;"}, "`a\\`", false, ""},
      {{":help"}, "", true, ""},
      {{"  ", "\t"}, "", false, ""},
      {{std::string(65535, 'x')}, "", true, ""},
      {{std::string(65536, 'x')}, "", true, "shell statement exceeds 64 KiB"},
      {{std::string(30000, 'x'), std::string(35535, 'y')}, "", true, "shell statement exceeds 64 KiB"},
      {{std::string(70000, 'x') + ";"}, std::string(70000, 'x'), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines.front().substr(0, 40));
    StatementScanner scanner;
    std::string ran, error;
    for (const std::string& line : c.lines) {
      error = error_of([&] {
        scanner.feed_line(line, [&](const std::string& s) {
          std::string shown = s;
          for (char& ch : shown) ch = ch == '\n' ? '/' : ch;
          ran += (ran.empty() ? "" : "|") + shown;
        });
      });
    }
    EXPECT_EQ(c.ran, ran);
    EXPECT_EQ(c.pending, scanner.pending());
    EXPECT_EQ(c.error, error);
  }
}

TEST(QueryCommand, MutatingStatements) {
  const struct {
    const char* statement;
    bool mutating;
  } cases[] = {
      {"CREATE (:X)", true},
      {"  create (:X)", true},
      {"  PROFILE CREATE (:X)", true},
      {"profile \n\tcreate (:X)", true},
      {"LOAD CSV FROM 'data'", true},
      {"call ORVANE.restore()", true},
      {"MATCH (n) CALL orvane.migrate('x')", true},
      {"CALL orvane.loadFromNeo4j('bolt://h:7687')", true},
      {"MERGE (n:X)", false},
      {"CREATE(:X)", false},
      {"EXPLAIN CREATE (:X)", false},
      {"MATCH (n) RETURN count(n)", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.mutating, is_mutating_statement(c.statement)) << c.statement;
}

TEST(QueryCommand, RunsOnTheChosenGraphAndPrintsTheAnswer) {
  auto r = run_orvane({"query", "MATCH (n) RETURN count(n)"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("{\"columns\":[\"count\"],\"rows\":[[0]]}\n", r.out);

  r = run_orvane({"query", "--gql", "MATCH (n:Person) RETURN count(n)", "--people", "10", "--papers", "2"});
  EXPECT_EQ("{\"columns\":[\"count\"],\"rows\":[[10]]}\n", r.out);
  r = run_orvane({"query", "--gql", "MATCH (n) RETURN count(n)", "--seed", "7"});  // --seed alone: empty
  EXPECT_EQ("{\"columns\":[\"count\"],\"rows\":[[0]]}\n", r.out);

  r = run_orvane({"query", ":explore"});  // no document: the count form
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(r.out.starts_with("{\"count\":0,\"ns\":")) << r.out;

  r = run_orvane({"query"});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("query requires --gql 'MATCH ... RETURN ...' or a Cypher statement\n", r.err);
  r = run_orvane({"query", "MERGE (n)"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: unrecognized query — try :help\n", r.err);
}

TEST(QueryCommand, SavesMutationsToOutOrDbAndNothingOnFailure) {
  TempDir dir;
  const std::string g = dir.file("g.orv"), h = dir.file("h.orv");
  ASSERT_EQ(0, run_orvane({"snapshot", "--out", g, "--people", "3", "--papers", "1"}).status);

  auto r = run_orvane({"query", "CREATE (:X)"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: a mutating query requires --db PATH or --out PATH; use shell for a new persistent graph\n", r.err);

  r = run_orvane({"query", "--gql", "  PROFILE CREATE (:X)", "--db", g});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("\"ran\":true")) << r.out;
  EXPECT_EQ(5u, nodes_in(g));

  const std::string g_bytes = read_text_file(g);
  r = run_orvane({"query", "--gql", "CREATE (:Y)", "--db", g, "--out", h});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(6u, nodes_in(h));
  EXPECT_EQ(g_bytes, read_text_file(g));

  r = run_orvane({"query", "--gql", "CREATE (0)-[:FOLLOWS]->(99)", "--db", g});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: relationship endpoint does not exist\n", r.err);
  EXPECT_EQ(g_bytes, read_text_file(g));

  // A read with --out still writes a copy.
  r = run_orvane({"query", "--gql", "MATCH (n) RETURN count(n)", "--db", g, "--out", dir.file("copy.orv")});
  EXPECT_EQ("{\"columns\":[\"count\"],\"rows\":[[5]]}\n", r.out);
  EXPECT_EQ(5u, nodes_in(dir.file("copy.orv")));
}

// A stand-in pull bridge (run by /bin/sh as PYTHON): it writes a Person who
// follows another into its --out directory.
const char* kPullBridge =
    "mkdir -p \"$8\" && printf ':ID,:LABEL\\n1,Person\\n2,Person\\n' > \"$8/nodes.csv\" &&"
    " printf ':START_ID,:END_ID,:TYPE\\n1,2,FOLLOWS\\n' > \"$8/rels.csv\"\n";

TEST(QueryCommand, LoadFromNeo4jPullsIntoMigratedAndSaves) {
  TempDir dir;
  const ScopedEnv home("ORVANE_HOME", dir.file("home"));
  const ScopedEnv python("PYTHON", std::string("/bin/sh"));
  std::filesystem::create_directories(dir.file("home/scripts"));
  std::ofstream(dir.file("home/scripts/pull_neo4j.py")) << kPullBridge;
  ASSERT_EQ(0, run_orvane({"snapshot", "--out", "g.orv", "--people", "3", "--papers", "0"}, dir.path()).status);

  const std::string bolt = "bolt://db.example:7687/\"q\\";  // quote and backslash must stay text
  const auto r = run_orvane({"query", "LOAD FROM NEO4J '" + bolt + "'", "--db", "g.orv"}, dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  const nlohmann::json answer = nlohmann::json::parse(r.out);
  EXPECT_EQ(bolt, answer.at("bolt"));
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(r.out);
  std::string keys;
  for (auto it = ordered.begin(); it != ordered.end(); ++it) keys += (keys.empty() ? "" : " ") + it.key();
  EXPECT_EQ("loaded_from_neo4j bolt database nodes gpu_load note", keys);
  EXPECT_EQ(2u, answer.at("nodes"));
  EXPECT_EQ(2u, nodes_in(dir.file("g.orv")));  // the pulled graph replaced the file's
  EXPECT_TRUE(std::filesystem::exists(dir.file("data/from-neo4j/nodes.csv")));

  // The fixed pull directory now holds an export: a second pull is refused
  // and the file stays as it was.
  const std::string before = read_text_file(dir.file("g.orv"));
  const auto again = run_orvane({"query", "CALL orvane.loadFromNeo4j(\"bolt://h\")", "--db", "g.orv"}, dir.path());
  EXPECT_EQ(1, again.status);
  EXPECT_EQ("error: Neo4j pull directory already holds an export: data/from-neo4j; choose a new directory\n", again.err);
  EXPECT_EQ(before, read_text_file(dir.file("g.orv")));
}

TEST(ShellCommand, RunsSavesAndReportsStatements) {
  TempDir dir;
  const std::string g = dir.file("g.orv");
  auto r = run_orvane({"shell"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: shell requires --db PATH; a missing file starts an empty graph\n", r.err);

  // A missing file starts empty; quotes span lines and hide ";"; ":quit"
  // inside a statement is part of it.
  r = run_orvane({"shell", "--db", g}, "",
                 "CREATE (:X {s: 'a;\n:quit\nb'});\nMATCH (n:X) RETURN n.s;\n"
                 "CREATE (:X {s: 'it\\'s'}); MATCH (n:X) RETURN count(*);\n:quit\nCREATE (:Never);\n");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  const std::vector<std::string> lines = {
      R"({"id":0,"label":"X","name":"","properties":{"s":"a;\n:quit\nb"}})",
      R"({"columns":["n.s"],"rows":[["a;\n:quit\nb"]]})",
      R"({"id":1,"label":"X","name":"","properties":{"s":"it's"}})",
      R"({"columns":["count"],"rows":[[2]]})",
  };
  std::string expected;
  for (const std::string& line : lines) expected += line + "\n";
  EXPECT_EQ(expected, r.out);
  EXPECT_EQ(2u, nodes_in(g));

  // A failure is reported, changes nothing on disk, and the shell goes on.
  const std::string before = read_text_file(g);
  r = run_orvane({"shell", "--db", g}, "", "CREATE (0)-[:X]->(5);\n");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: relationship endpoint does not exist\n", r.err);
  EXPECT_EQ(before, read_text_file(g));
  r = run_orvane({"shell", "--db", g}, "", ":nonsense;\nCREATE (:Z);\n");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(3u, nodes_in(g));

  r = run_orvane({"shell", "--db", g}, "", "CREATE (:Z)\n");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: unfinished statement; terminate it with ;\n", r.err);
  EXPECT_EQ(3u, nodes_in(g));
}

TEST(ShellCommand, StatementsUpTo64KiB) {
  TempDir dir;
  // ":help" and blanks: with its line feed exactly 65536 pending bytes.
  const std::string fits = ":help" + std::string(65536 - 6, ' ');
  auto r = run_orvane({"shell", "--db", dir.file("g.orv")}, "", fits + "\n;\n");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(r.out.starts_with("{\"title\":\"Halvex Browser\"")) << r.out.substr(0, 80);
  r = run_orvane({"shell", "--db", dir.file("g.orv")}, "", fits + " \n;\n");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: shell statement exceeds 64 KiB\n", r.err);
}

TEST(ShellCommand, ASecondShellOnTheSameFileIsRefused) {
  TempDir dir;
  const auto r = run_shell(
      "(sleep 1; echo ':quit') | \"$0\" shell --db g.orv & sleep 0.3\n"
      "\"$0\" shell --db g.orv </dev/null; echo \"second=$?\"; wait\n",
      dir.path());
  EXPECT_EQ("second=1\n", r.out);
  EXPECT_EQ("error: graph is already open for writing by another process\n", r.err);
}

}  // namespace
}  // namespace orvane::testing
