// The query and shell commands through the real binary: what they print,
// what they save, and what a failure leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "cli/commands.h"
#include "graph/database.h"
#include "storage/snapshot.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

std::uint64_t nodes_in(const std::string& path) { return load_snapshot(path).graph.node_count; }

// Misread as a read, a mutation would run on a graph the command never
// saves. The parser says whether a Cypher statement writes, wherever its
// write clause stands.
TEST(QueryCommand, MutatingStatements) {
  for (const char* mutating : {"CREATE (:X)", "  create (:X)", "  PROFILE CREATE (:X)", "profile \n\tcreate (:X)",
                               "LOAD CSV FROM 'data'", "call ORVANE.restore()", "MATCH (n) CALL orvane.migrate('x')",
                               "CALL orvane.loadFromNeo4j('bolt://h:7687')", "LOAD FROM NEO4J 'bolt://h'",
                               "MERGE (n:X)", "CREATE(:X)", "MATCH (a) CREATE (a)-[:T]->(:B)",
                               "UNWIND [1] AS x CREATE ({x: x})"}) {
    EXPECT_TRUE(is_mutating_statement(mutating)) << mutating;
  }
  for (const char* read : {"EXPLAIN CREATE (:X)", "MATCH (n) RETURN count(n)", "RETURN 'CREATE (n)'"}) {
    EXPECT_FALSE(is_mutating_statement(read)) << read;
  }
}

TEST(QueryCommand, RunsOnTheChosenGraphPrintsTheAnswerAndSavesMutations) {
  const std::string zero = "{\"columns\":[\"count(n)\"],\"rows\":[[0]]}\n";
  EXPECT_EQ(zero, orvane_output({"query", "MATCH (n) RETURN count(n)"}));
  EXPECT_EQ("{\"columns\":[\"count(n)\"],\"rows\":[[10]]}\n",
            orvane_output({"query", "--gql", "MATCH (n:Person) RETURN count(n)", "--people", "10", "--papers", "2"}));
  EXPECT_EQ(zero, orvane_output({"query", "--gql", "MATCH (n) RETURN count(n)", "--seed", "7"}));  // --seed alone: empty
  EXPECT_TRUE(orvane_output({"query", ":explore"}).starts_with("{\"count\":0,\"ns\":"));  // no document: the count form
  const RunResult none = run_orvane({"query"});
  EXPECT_EQ(2, none.status);
  EXPECT_EQ("query requires --gql 'MATCH ... RETURN ...' or a Cypher statement\n", none.err);
  expect_refusal(run_orvane({"query", "MERGE (n)"}),
                 "error: a mutating query requires --db PATH or --out PATH; use shell for a new persistent graph\n");

  // Mutations are saved to --out, or else to --db; a failed one changes nothing.
  TempDir dir;
  const std::string g = dir.file("g.orv"), h = dir.file("h.orv");
  orvane_output({"snapshot", "--out", g, "--people", "3", "--papers", "1"});
  for (const char* mutating : {"CREATE (:X)", "LOAD FROM NEO4J 'bolt://127.0.0.1:1'"}) {
    expect_refusal(run_orvane({"query", mutating}),
                   "error: a mutating query requires --db PATH or --out PATH; use shell for a new persistent graph\n");
  }
  EXPECT_NE(std::string::npos, orvane_output({"query", "--gql", "  PROFILE CREATE (:X)", "--db", g}).find("\"ran\":true"));
  EXPECT_EQ(5u, nodes_in(g));
  const std::string g_bytes = read_text_file(g);
  orvane_output({"query", "--gql", "CREATE (:Y)", "--db", g, "--out", h});
  EXPECT_EQ(6u, nodes_in(h));
  expect_refusal(run_orvane({"query", "--gql", "CREATE (0)-[:FOLLOWS]->(99)", "--db", g}),
                 "error: relationship endpoint does not exist\n");
  EXPECT_EQ(g_bytes, read_text_file(g));
  // A read with --out still writes a copy.
  orvane_output({"query", "--gql", "MATCH (n) RETURN count(n)", "--db", g, "--out", dir.file("copy.orv")});
  EXPECT_EQ(5u, nodes_in(dir.file("copy.orv")));
}

TEST(ShellCommand, RunsSavesAndReportsStatements) {
  TempDir dir;
  const std::string g = dir.file("g.orv");
  expect_refusal(run_orvane({"shell"}), "error: shell requires --db PATH; a missing file starts an empty graph\n");
  // A missing file starts empty; quotes span lines and hide ";"; ":quit"
  // inside a statement is part of it.
  auto r = run_orvane({"shell", "--db", g}, "",
                      "CREATE (:X {s: 'a;\n:quit\nb'});\nMATCH (n:X) RETURN n.s;\n"
                      "CREATE (:X {s: 'it\\'s'}); MATCH (n:X) RETURN count(*);\n:quit\nCREATE (:Never);\n");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("{\"id\":0,\"label\":\"X\",\"name\":\"\",\"properties\":{\"s\":\"a;\\n:quit\\nb\"}}\n"
            "{\"columns\":[\"n.s\"],\"rows\":[[\"a;\\n:quit\\nb\"]]}\n"
            "{\"id\":1,\"label\":\"X\",\"name\":\"\",\"properties\":{\"s\":\"it's\"}}\n"
            "{\"columns\":[\"count(*)\"],\"rows\":[[2]]}\n",
            r.out);
  EXPECT_EQ(2u, nodes_in(g));

  // A failure is reported, changes nothing on disk, and the shell goes on;
  // an unfinished or oversized statement fails the shell.
  const std::string before = read_text_file(g);
  expect_refusal(run_orvane({"shell", "--db", g}, "", "CREATE (0)-[:X]->(5);\n"),
                 "error: relationship endpoint does not exist\n");
  EXPECT_EQ(before, read_text_file(g));
  // A backslash escapes nothing in backticks.
  EXPECT_EQ(1, run_orvane({"shell", "--db", g}, "", "nonsense; `a\\`;\nCREATE (:Z);\n").status);
  EXPECT_EQ(3u, nodes_in(g));
  expect_refusal(run_orvane({"shell", "--db", g}, "", "CREATE (:Z)\n"),
                 "error: unfinished statement; terminate it with ;\n");
  // A colon command ends with its line, without ";"; a comment hides ";".
  r = run_orvane({"shell", "--db", g}, "", ":help\nMATCH (n) // all; of them\nRETURN count(*);\n");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(r.out.starts_with("{\"title\":\"Halvex Browser\"")) << r.out.substr(0, 80);
  EXPECT_TRUE(r.out.ends_with("\n{\"columns\":[\"count(*)\"],\"rows\":[[3]]}\n")) << r.out;
  // A statement and blanks: with its line feed exactly 65536 pending bytes.
  const std::string fits = "RETURN 1 AS one" + std::string(65536 - 16, ' ');
  r = run_orvane({"shell", "--db", g}, "", fits + "\n;\n" + fits + " \n;\n");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("{\"columns\":[\"one\"],\"rows\":[[1]]}\n", r.out);
  EXPECT_EQ("error: shell statement exceeds 64 KiB\n", r.err);
  EXPECT_EQ(3u, nodes_in(g));

  // Another writer holds the file: the shell is refused at once.
  const int fd = ::open((g + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX));
  expect_refusal(run_orvane({"shell", "--db", g}), "error: graph is already open for writing by another process\n");
  ::close(fd);
}

}  // namespace
}  // namespace orvane::testing
