// An engine's routes over a real loopback server against a small
// demonstration engine: both tables row by row, the failure rows and the
// engine after them, 404 for the rest; then the static files of its roots and
// every way a path could leave them or name something not servable.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include "console/background_fold.h"
#include "console/engine.h"
#include "console/procedures.h"
#include "console/transactions.h"
#include "http/serve_engine.h"
#include "http_test_server.h"
#include "support/scoped_env.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const std::string kAuth = "Authorization: Bearer " + std::string(32, 'k');

// The engine's file roots lie in the test's directory; API calls carry the key.
class RoutesTest : public ::testing::Test {
 protected:
  RoutesTest() : engine(make_demo_engine(12, 6, 42, false)) {
    engine.instance_id = "inst\"1\\\n";  // must be escaped to stay JSON
    engine.web_root = dir.file("web");
    engine.site_root = dir.file("site");
    HttpServerOptions options = engine_server_options(engine, 0, false);
    options.api_key = std::string(32, 'k');
    server = std::make_unique<TestServer>(options, engine_routes(engine));
  }

  HttpReply call(const std::string& method, const std::string& target, const std::string& body = "") {
    std::vector<std::string> headers{kAuth};
    if (method == "POST") headers.push_back("Content-Type: application/json");
    return http_exchange(server->port(), make_request(method, target, headers, body));
  }

  struct Row {
    std::string method, target, body;
    int status;
    std::string pointer;  // a member of the answer, "" for the whole answer
    std::string value;    // its compact JSON; "" with no pointer to check only the status
  };

  // Runs `rows` in order: later rows see what earlier ones changed.
  void check_rows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.method + " " + row.target + " " + row.body);
      const HttpReply reply = call(row.method, row.target, row.body);
      EXPECT_EQ(row.status, reply.status) << reply.body;
      if (row.pointer.empty()) {
        if (!row.value.empty()) { EXPECT_EQ(row.value, reply.body); }
        continue;
      }
      const json doc = json::parse(reply.body);
      const json::json_pointer at(row.pointer);
      EXPECT_EQ(row.value, doc.contains(at) ? doc.at(at).dump() : "(none)") << reply.body;
    }
  }

  TempDir dir;
  Engine engine;
  std::unique_ptr<TestServer> server;
};

TEST_F(RoutesTest, GetTable) {
  for (const char* path : {"/v1/cluster", "/v1/cost", "/v1/procedures", "/v1/help", "/v1/config", "/v1/queries",
                           "/v1/indexes", "/v1/features"}) {
    EXPECT_EQ(200, call("GET", path).status) << path;
  }
  for (const char* path : {"/metrics", "/v1/metrics/prometheus"}) {
    EXPECT_EQ("text/plain; version=0.0.4", call("GET", path).content_type) << path;
  }
  const std::string health = R"({"engine":"orvane","instance":"inst\"1\\\n","ok":true})";
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(health.size()) +
                "\r\nX-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\nConnection: keep-alive\r\n\r\n" + health,
            call("GET", "/v1/health").raw);
  check_rows({
      {"GET", "/v1/schema", "", 200, "/kind", R"("schema")"},
      {"GET", "/schema", "", 200, "/ok", "true"},
      {"GET", "/v1/stats", "", 200, "/databases", "5"},
      {"GET", "/v1/cdc", "", 200, "/1/op", R"("boot")"},
      {"GET", "/v1/databases", "", 200, "/connections/0",
       R"({"connection":"halvex://127.0.0.1:7475/chaotic","database":"chaotic"})"},
      {"GET", "/v1/databases", "", 200, "/current", R"("orvane")"},
      {"GET", "/v1/guides?topic=entropy", "", 200, "/guide/id", R"("entropy")"},
      {"GET", "/v1/style", "", 200, "/style/rel/FOLLOWS", R"("#1a4f8b")"},
      {"GET", "/v1/gds", "", 200, "/ok", "true"},
      {"GET", "/v1/cloud", "", 200, "/catalog/remotes/0/name", R"("remote-1")"},
      {"GET", "/v1/search", "", 200, "/q", R"("person")"},
      {"GET", "/v1/search?q=paper", "", 200, "/q", R"("paper")"},
      {"GET", "/v1/node?id=3", "", 200, "/id", "3"},
      {"GET", "/v1/node", "", 200, "/id", "0"},
      {"GET", "/v1/node?id=abc", "", 400, "/error", R"("stoul")"},
      {"GET", "/v1/cutover?host=h.example&bolt=bolt://n:7687", "", 200, "/destination/host", R"("h.example")"},
      {"GET", "/v1/cutover", "", 200, "/destination/host", R"("ORVANE_HOST")"},
      {"GET", "/v1/rag?q=graph&k=0&hops=-4", "", 200, "/hops", "0"},
      {"GET", "/v1/rag", "", 200, "/k", "8"},
  });
}

TEST_F(RoutesTest, PostTable) {
  const std::string backup = dir.file("b.orv"), own_port = std::to_string(server->port());
  const Database& db = engine.database();
  const std::string counts = "{\"edges\":" + std::to_string(db.graph.edges.size()) +
                             ",\"nodes\":" + std::to_string(db.graph.node_count) + ",\"ok\":true}";
  check_rows({
      {"POST", "/v1/search", "{}", 200, "/q", R"("person")"},
      {"POST", "/v1/node", R"({"id":2})", 200, "/id", "2"},
      {"POST", "/v1/node", R"({"id":""})", 200, "/id", "0"},
      {"POST", "/v1/cutover", R"({"bolt_uri":"bolt://b:1","dump_dir":"d"})", 200, "/source/bolt", R"("bolt://b:1")"},
      {"POST", "/v1/cutover", R"({"dump":"d2","hostname":"hh"})", 200, "/destination/host", R"("hh")"},
      {"POST", "/v1/cutover", R"({"dump":"d2"})", 200, "/source/dump_dir", R"("d2")"},
      {"POST", "/v1/explore", R"({"id":0,"hops":1})", 200, "/nodes/0/id", "0"},
      {"POST", "/v1/explore", R"({"hops":-3})", 200, "/ok", "true"},
      {"POST", "/v1/entropy/ladder", R"({"people":20,"papers":8})", 200, "", ""},
      {"POST", "/v1/entropy/lab", R"({"people":20,"papers":8,"mess":1})", 200, "", ""},
      {"POST", "/v1/entropy/auto", R"({"every":"5"})", 200, "", R"({"ok":true,"auto_entropy_every":5})"},
      {"POST", "/v1/entropy/optimize", "{}", 200, "/ok", "true"},
      {"POST", "/v1/query", R"x({"query":"MATCH (n) RETURN count(n)"})x", 200, "/count", "18"},
      {"POST", "/query", R"x({"query":"MATCH (n) RETURN count(n)","db":"simple"})x", 200, "/count", "18"},
      {"GET", "/v1/databases", "", 200, "/current", R"("orvane")"},  // a request's "db" selects nothing
      {"POST", "/v1/query", R"x({"query":"MATCH (p:Person {id: $x}) RETURN count(p)","params":{"x":1}})x", 200,
       "/count", "1"},
      // Several statements: one answer each, stopping at the first failure.
      {"POST", "/v1/query", R"x({"query":"MATCH (n) RETURN count(n); RETURN $x AS x","params":{"x":[1,"a"]}})x", 200,
       "/results/1/data/rows/0/0", R"([1,"a"])"},
      {"POST", "/v1/query", R"x({"query":"RETURN 1;\n:help\nRETURN 2;"})x", 200, "/count", "3"},
      {"POST", "/v1/query", R"x({"query":"RETURN 1; RETURN x; RETURN 3"})x", 400, "/count", "2"},
      // Rows fill the graph arrays.
      {"POST", "/v1/query", R"x({"query":"MATCH (n) WHERE id(n) = 1 RETURN [n]"})x", 200, "/nodes/0/id", "1"},
      {"POST", "/v1/use", R"({"name":"orvane"})", 200, "/ok", "true"},
      {"POST", "/v1/rag", R"({"query":"x","k":0})", 200, "/k", "1"},
      {"POST", "/v1/rag", R"({"q":"x","k":500,"hops":9})", 200, "/hops", "6"},
      {"POST", "/v1/rag", R"({"k":500})", 200, "/k", "64"},
      {"POST", "/v1/backup", R"({"path":")" + backup + R"("})", 200, "/ok", "true"},
      {"POST", "/v1/restore", R"({"path":")" + backup + R"("})", 200, "/ok", "true"},
      {"POST", "/v1/cloud", R"({"connection":"halvex://:secret@127.0.0.1:1/db1?key=/k1","name":"r2","database":"db"})",
       200, "/catalog/remotes/1/database", R"("db")"},
      {"POST", "/v1/cloud", R"({"host":"127.0.0.1:)" + own_port + R"(","password":"pw"})", 200,
       "/catalog/remotes/2/reachable", "true"},
      {"POST", "/v1/export", R"({"dir":")" + dir.file("out") + R"("})", 200, "", counts},
      {"POST", "/v1/export", R"({"dir":")" + dir.file("x") + R"(","format":"jsonl"})", 200, "", counts},
  });
  EXPECT_EQ("restored", engine.current_name());
  EXPECT_EQ(5, engine.auto_entropy_every());
  ASSERT_EQ(3u, engine.remotes().size());
  const RemoteEndpoint& r = engine.remotes()[1];  // the fields override the connection string
  EXPECT_EQ("r2 127.0.0.1:1 secret /k1 db",
            r.name + " " + r.url + " " + r.password + " " + r.key_file + " " + r.database);
  EXPECT_TRUE(r.probed && !r.reachable && engine.remotes()[2].password == "pw");
  EXPECT_TRUE(fs::exists(dir.file("out/nodes.csv")) && fs::exists(dir.file("x/nodes.jsonl")));
}

// Failures change neither the registry, the selection, the remotes nor the
// events; an unknown database runs no statement, but a selection outlives a
// statement that fails.
TEST_F(RoutesTest, FailureRows) {
  const std::string missing = dir.file("missing"), not_snapshot = dir.file("notes.txt");
  write_text_file(not_snapshot, "keep me");
  write_text_file(dir.file("pulled/nodes.csv"), ":ID\n");
  const std::uint64_t statements = engine.statement_count() + engine.error_count();
  const std::size_t events = engine.changes().size();
  const std::string not_found = R"({"ok":false,"error":"not found"})";
  check_rows({
      {"PUT", "/v1/query", "{}", 404, "", not_found},
      {"DELETE", "/v1/use", "{}", 404, "", not_found},
      {"GET", "/v1/Stats", "", 404, "", not_found},
      {"POST", "/v1/query", R"({"query":""})", 400, "", ""},
      {"POST", "/v1/query", "{}", 400, "/error", R"("query is required")"},
      {"POST", "/v1/query", R"x({"query":"MATCH (n) RETURN count(n)","db":"nope"})x", 400, "/error",
       R"("unknown database: nope")"},
      {"POST", "/v1/query", R"x({"query":"MATCH (n) RETURN count(n)","params":[1]})x", 400, "/error",
       R"("[json.exception.type_error.302] type must be object, but is array")"},
      {"POST", "/v1/query", R"({"query":null})", 400, "/error", R"("invalid request field: query")"},
      {"POST", "/v1/query", R"({"query":"x","db":["a"]})", 400, "/error", R"("invalid request field: db")"},
      {"POST", "/v1/query", R"({"query":7})", 400, "/error",
       R"("[json.exception.type_error.302] type must be string, but is number")"},
      {"POST", "/v1/use", R"({"name":"n\"o\\pe\t\u0001"})", 400, "/error",
       R"("unknown database: n\"o\\pe\t\u0001")"},
      {"POST", "/v1/use", R"({"name":null})", 400, "/error", R"("invalid request field: name")"},
      {"POST", "/v1/load-neo4j", R"({"user":"u"})", 400, "/error", R"("bolt URI required")"},
      {"POST", "/v1/load-neo4j", R"({"uri":"bolt://127.0.0.1:1","dir":")" + dir.file("pulled") + R"("})", 400,
       "/error", "\"Neo4j pull directory already holds an export: " + dir.file("pulled") + "; choose a new directory\""},
      {"POST", "/v1/entropy/auto", R"({"every":"x"})", 400, "/error", R"("stoi")"},
      {"POST", "/v1/entropy/lab", R"({"people":2000000,"papers":1})", 400, "/error",
       R"("entropy lab allows at most 2000000 nodes")"},
      {"POST", "/v1/entropy/ladder", R"({"people":"18446744073709551615","papers":2})", 400, "/error",
       R"("entropy lab allows at most 2000000 nodes")"},
      {"POST", "/v1/rag", R"({"k":"many"})", 400, "/error", R"("stoul")"},
      {"POST", "/v1/rag", R"({"hops":"99999999999"})", 400, "/error", R"("stoi")"},
      {"POST", "/v1/cloud", R"({"port":"70000"})", 400, "/error", R"("invalid port: 70000")"},
      {"POST", "/v1/cloud", R"({"port":"0"})", 400, "/error", R"("invalid port: 0")"},
      {"POST", "/v1/cloud", R"({"port":"x"})", 400, "/error", R"("stoul")"},
      {"POST", "/v1/cloud", R"({"connection":"halvex://:1"})", 400, "/error", R"("invalid connection string")"},
      {"POST", "/v1/migrate", R"({"dir":")" + missing + R"("})", 400, "/error",
       "\"CSV/JSONL migration requires an existing export directory: " + missing + "\""},
      {"POST", "/v1/migrate", R"({"dir":")" + missing + R"(","name":"m"})", 400, "", ""},
      {"POST", "/v1/restore", R"({"path":")" + dir.file("none.orv") + R"("})", 400, "", ""},
      {"POST", "/v1/export", R"({"format":"xml","dir":")" + dir.file("e") + R"("})", 400, "/error",
       R"("export format must be csv or jsonl")"},
      {"POST", "/v1/export", "{}", 400, "/error", R"("export destination is required")"},
      {"POST", "/v1/backup", R"({"path":")" + not_snapshot + R"("})", 400, "/error",
       "\"refusing to replace " + not_snapshot + ": it is not a Halvex snapshot\""},
  });
  EXPECT_EQ("orvane", engine.current_name());
  EXPECT_EQ(statements, engine.statement_count() + engine.error_count());
  check_rows({{"POST", "/v1/query", R"({"query":"MATCH (n RETURN","db":"simple"})", 400, "/kind", R"("error")"}});
  EXPECT_EQ("orvane", engine.current_name());
  EXPECT_EQ(statements + 1, engine.statement_count() + engine.error_count());
  EXPECT_EQ(5u, engine.databases().size());
  EXPECT_EQ(1u, engine.remotes().size());
  EXPECT_EQ(events, engine.changes().size());
}

// A migration takes every label and relationship property; "reduce", still
// accepted, reduces nothing and answers an empty report. An odd name stays
// JSON in every answer.
// neo4j-admin's file groups as JSON: the same import as the command's
// arguments, with its skips in the answer; bad options refused first.
TEST_F(RoutesTest, MigrateTakesNeo4jAdminGroups) {
  write_text_file(dir.file("admin/h.csv"), "id:ID(P)|name\n");
  write_text_file(dir.file("admin/p.csv"), "1|Ann\n2|Bob\n2|Again\n");
  write_text_file(dir.file("admin/r.csv"), ":START_ID(P)|:END_ID(P)\n1|2\n");
  const json body{{"name", "admin"},
                  {"nodes", {{{"labels", {"Person"}}, {"files", {dir.file("admin/h.csv"), dir.file("admin/p.csv")}}}}},
                  {"relationships", {{{"type", "KNOWS"}, {"files", {dir.file("admin/r.csv")}}}}},
                  {"delimiter", "|"},
                  {"skipDuplicateNodes", true}};
  const HttpReply reply = call("POST", "/v1/migrate", body.dump());
  ASSERT_EQ(200, reply.status) << reply.body;
  EXPECT_EQ(R"({"database":"admin","nodes":2,"ok":true,"relationships":1,"skipped":{"entries":[")" +
                dir.file("admin/p.csv") + R"( line 3: duplicate node id 2 in id space P"],"nodes":1,"relationships":0}})",
            reply.body);
  json bad = body;
  bad["arrayDelimiter"] = "||";
  check_rows({
      {"POST", "/v1/migrate", bad.dump(), 400, "/error",
       R"x("--array-delimiter must be one character, TAB, \\t or U+XXXX (below U+0080)")x"},
      {"POST", "/v1/migrate", R"({"nodes":[{"files":[]}]})", 400, "/error", R"("--nodes needs a file")"},
      {"POST", "/v1/migrate", R"({"nodes":[],"color":"red"})", 400, "/error", R"("unknown import option: color")"},
  });
}

TEST_F(RoutesTest, MigrateTakesEverythingAndNamesStayJson) {
  write_text_file(dir.file("rich/nodes.jsonl"), "{\"id\":1,\"labels\":[\"A\",\"B\"]}\n{\"id\":2,\"labels\":[\"A\"]}\n");
  write_text_file(dir.file("rich/rels.jsonl"), "{\"src\":1,\"dst\":2,\"type\":\"R\",\"properties\":{\"w\":1}}\n");
  write_text_file(dir.file("rich/nodes.ndjson"), "not read: nodes.jsonl comes first\n");
  const std::string name = "q\"b\\s\nx";
  const std::string target = R"({"dir":")" + dir.file("rich") + R"(","name":)" + json(name).dump();
  check_rows({
      {"POST", "/v1/migrate", target + R"(,"reduce":"yes"})", 400, "/error", R"("reduce must be true or false")"},
  });
  EXPECT_EQ("orvane", engine.current_name());
  EXPECT_EQ(5u, engine.databases().size());
  const HttpReply reply = call("POST", "/v1/migrate", target + R"(,"reduce":true})");
  ASSERT_EQ(200, reply.status) << reply.body;
  const json answer = json::parse(reply.body);
  EXPECT_EQ(name, answer["database"]);
  EXPECT_EQ(R"(["nodes.ndjson"])", answer["ignored"].dump());
  EXPECT_EQ("[]", answer["reductions"].dump());
  {
    const std::lock_guard lock(engine.mutex());
    const Database& migrated = engine.database(name);
    EXPECT_EQ(R"({"w":1})", migrated.relationship_properties(0).dump());
    EXPECT_EQ(2u, migrated.graph.labels_of(0).size());
  }
  EXPECT_EQ(dir.file("rich") + " -> " + name, json::parse(call("GET", "/v1/cdc").body).back()["detail"]);
  // Names sorted by bytes, each with its connection string percent-encoded.
  const json databases = json::parse(call("GET", "/v1/databases").body);
  EXPECT_EQ(name, databases["current"]);
  EXPECT_EQ(R"(["chaotic","messy","orvane","q\"b\\s\nx","replica","simple"])", databases["names"].dump());
  EXPECT_EQ("halvex://127.0.0.1:7475/q%22b%5Cs%0Ax", databases["connections"][3]["connection"]);
  const HttpReply named =
      http_exchange(server->port(), make_request("GET", "/v1/databases", {"Host: localhost:8", kAuth}, "", false));
  EXPECT_EQ("halvex://localhost:8/orvane", json::parse(named.body)["connections"][2]["connection"]);
}

// A migration reads its source without the engine: while a dump decoder
// (a stand-in that waits for a signal file) runs, every other route
// answers, and the failed import then changes nothing.
TEST_F(RoutesTest, AnImportInProgressStallsNoOtherRequest) {
  write_text_file(dir.file("home/scripts/import_neo4j_dump.py"),
                  "while [ ! -e \"$GO\" ]; do sleep 0.01; done\necho 'cannot decode' >&2\nexit 4\n");
  write_text_file(dir.file("slow.dump"), "not a dump");
  const ScopedEnv home{"ORVANE_HOME", dir.file("home")}, python{"PYTHON", std::string("/bin/sh")},
      go{"GO", dir.file("go")};
  auto migration = std::async(std::launch::async, [&] {
    return call("POST", "/v1/migrate", R"({"dir":")" + dir.file("slow.dump") + R"(","name":"slow"})").status;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (const char* path : {"/v1/stats", "/v1/databases", "/v1/schema"}) {
    EXPECT_EQ(200, call("GET", path).status) << path;
  }
  EXPECT_EQ(200, call("POST", "/v1/query", R"x({"query":"MATCH (n) RETURN count(*)"})x").status);
  EXPECT_EQ(std::future_status::timeout, migration.wait_for(std::chrono::seconds(0)));  // still decoding
  write_text_file(dir.file("go"), "");
  EXPECT_EQ(400, migration.get());
  EXPECT_EQ("orvane", engine.current_name());
  EXPECT_FALSE(engine.has_database("slow"));
}

// Readers run beside each other and beside one writer, each seeing whole
// writes only: every write adds two nodes, every failing one adds two and
// is rolled back, so a count a reader sees is always even and never falls.
// With the background fold running, the writes after the first run on
// the writer's copy, beside the readers.
TEST_F(RoutesTest, ReadersInParallelSeeOnlyWholeWrites) {
  constexpr int kWrites = 40, kReaders = 4, kReads = 40;
  const BackgroundFold fold(engine, std::chrono::milliseconds(5));
  call("POST", "/v1/query", R"j({"query": "CREATE (:Warm)"})j");
  for (int i = 0; i < 2000 && engine.writer_copies("orvane") == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(1u, engine.writer_copies("orvane"));
  const std::string count = R"j({"query": "MATCH (n:Probe) RETURN count(n)"})j";
  std::atomic<int> written{0};
  std::thread writer([&] {
    for (int i = 0; i < kWrites; ++i) {
      if (call("POST", "/v1/query", R"j({"query": "CREATE (:Probe), (:Probe)"})j").status == 200) ++written;
      call("POST", "/v1/query", R"j({"query": "CREATE (:Probe), (:Probe) WITH 1 AS one RETURN one / 0"})j");
    }
  });
  std::vector<std::future<std::string>> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.push_back(std::async(std::launch::async, [&] {
      std::int64_t last = 0;
      for (int i = 0; i < kReads; ++i) {
        const HttpReply reply = call("POST", "/v1/query", count);
        if (reply.status != 200) return "status " + std::to_string(reply.status) + ": " + reply.body;
        const std::int64_t seen = json::parse(reply.body)["data"]["rows"][0][0].get<std::int64_t>();
        if (seen % 2 != 0 || seen < last) return "saw " + std::to_string(seen) + " after " + std::to_string(last);
        last = seen;
      }
      return std::string();
    }));
  }
  writer.join();
  for (auto& reader : readers) EXPECT_EQ("", reader.get());
  EXPECT_EQ(kWrites, written.load());
  EXPECT_EQ(std::to_string(2 * kWrites), json::parse(call("POST", "/v1/query", count).body)["data"]["rows"][0][0].dump());
}

// Files need no key; API paths do, except /schema outside /v1 and the health check.
// A transaction's writes are its own until it commits; while it holds
// them no other unit writes; a failure or an idle transaction rolls back.
TEST_F(RoutesTest, TransactionsAreUnitsOfWork) {
  const auto begin = [&](const std::string& body) {
    const HttpReply reply = call("POST", "/v1/tx", body);
    EXPECT_EQ(200, reply.status) << reply.body;
    return json::parse(reply.body).at("tx").get<std::string>();
  };
  const std::string count = R"j({"query": "MATCH (n:TxNode) RETURN count(n)"})j";
  const std::string id = begin(R"j({"query": "CREATE (:TxNode {k: 1})"})j");
  check_rows({
      {"POST", "/v1/query", count, 200, "/data/rows/0/0", "0"},
      {"POST", "/v1/query", R"j({"query": "CREATE (:Other)"})j", 400, "/errorClass", R"j("TransientError")j"},
      {"POST", "/v1/tx/" + id, count, 200, "/data/rows/0/0", "1"},
      {"POST", "/v1/tx/" + id, R"j({"query": "MATCH (n:TxNode) SET n.k = 2; MATCH (n:TxNode) RETURN n.k"})j", 200,
       "/results/1/data/rows/0/0", "2"},
      {"POST", "/v1/tx/" + id + "/commit", "{}", 200, "/committed", "true"},
      {"POST", "/v1/query", R"j({"query": "MATCH (n:TxNode) RETURN n.k"})j", 200, "/data/rows/0/0", "2"},
      {"POST", "/v1/tx/" + id, count, 400, "/error",
       R"j("no open transaction )j" + id + R"j(: it was committed, rolled back or timed out")j"},
  });
  const std::string dropped = begin("{}");
  const std::string failing = begin("{}");
  check_rows({
      {"POST", "/v1/tx/" + dropped, R"j({"query": "MATCH (n:TxNode) DETACH DELETE n"})j", 200, "/open", "true"},
      {"POST", "/v1/tx/" + dropped + "/rollback", "{}", 200, "/rolledBack", "true"},
      {"POST", "/v1/tx/" + failing, R"j({"query": "CREATE (:TxNode) WITH 1 AS one RETURN one / 0"})j", 400, "/open",
       "false"},
      {"POST", "/v1/tx/" + failing + "/commit", "{}", 400, "", ""},
      {"POST", "/v1/query", count, 200, "/data/rows/0/0", "1"},
  });
  {
    const std::lock_guard<EngineLock> lock(engine.mutex());
    engine.transactions().set_idle_bound(std::chrono::milliseconds(20));
  }
  const std::string idle = begin(R"j({"query": "CREATE (:TxNode)"})j");
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  check_rows({
      {"POST", "/v1/query", R"j({"query": "CREATE (:TxNode)"})j", 200, "", ""},
      {"POST", "/v1/tx/" + idle + "/commit", "{}", 400, "", ""},
      {"POST", "/v1/query", count, 200, "/data/rows/0/0", "2"},
  });
}

TEST_F(RoutesTest, StaticFilesOnlyFromBelowTheEngineRoots) {
  const std::string web = engine.web_root + "/";
  for (const char* name : {"index.html", "app.js", "style.css", "logo.svg", "data.json", "logo.png",
                           "%2e%2e/odd.html", "js/mod.js"}) {
    write_text_file(web + name, std::string("<") + name + ">");
  }
  write_text_file(web + "empty.html", "");
  write_text_file(engine.site_root + "/index.html", "<site>");
  write_text_file(engine.site_root + "/docs/guide.html", "<guide>");
  write_text_file(dir.file("secret.txt"), "secret");
  fs::create_directories(web + "dir.d");
  fs::create_symlink(dir.file("secret.txt"), web + "leak.txt");
  fs::create_symlink(dir.path(), web + "up");
  fs::create_symlink(web + "app.js", web + "alias.js");
  fs::create_symlink(web + "missing.html", web + "dangling.html");
  ::mkfifo((web + "pipe.html").c_str(), 0600);
  const auto get = [&](const std::string& path, std::vector<std::string> headers = {}, const char* method = "GET") {
    return http_exchange(server->port(), make_request(method, path, headers));
  };
  EXPECT_EQ(200, get("/schema").status);
  EXPECT_EQ(200, get("/v1/health").status);
  EXPECT_EQ(401, get("/v1/schema").status);
  EXPECT_EQ(200, get("/v1/schema", {kAuth}).status);

  const std::string html = "text/html; charset=utf-8", js = "application/javascript; charset=utf-8";
  const std::string not_found = R"({"ok":false,"error":"not found"})";
  const struct { std::string path, content_type, body, method = "GET"; } cases[] = {
      {"/", html, "<index.html>"},       {"/app.js", js, "<app.js>"},
      {"/style.css", "text/css; charset=utf-8", "<style.css>"},
      {"/logo.svg", "image/svg+xml", "<logo.svg>"},
      {"/data.json", "application/json", "<data.json>"},
      {"/logo.png", html, "<logo.png>"},
      {"/alias.js", js, "<app.js>"},                    // a link inside the root
      {"/%2e%2e/odd.html", html, "<%2e%2e/odd.html>"},  // no percent-decoding: a plain name
      {"/site", html, "<site>"},         {"/site/", html, "<site>"},
      {"/site/docs/guide.html", html, "<guide>"},
      {"/index", "application/json", not_found},  // no ".": a route
      {"/index.html", "application/json", not_found, "POST"},
  };
  for (const auto& c : cases) {
    const HttpReply reply = get(c.path, {}, c.method.c_str());
    EXPECT_EQ(c.content_type + " " + c.body, reply.content_type + " " + reply.body) << c.method << " " << c.path;
  }
  const std::string refused[] = {
      "/../secret.txt", "//index.html",   "/..",        "/site/../secret.txt", "/%2e%2e/secret.txt",
      "/.%2e/secret.txt", "/js/../index.html", "/js/..%2f../secret.txt", "/leak.txt", "/up/secret.txt",
      "/empty.html",    "/dir.d",         "/js/.",      "/pipe.html",          "/dangling.html",
      "/missing.js",    "/v1/stats.json", "/site/docs/.", "index.html",        std::string("/index.html\0.js", 15),
  };
  for (const std::string& path : refused) {  // "/v1/stats.json" is a file, never the stats route
    const HttpReply reply = get(path, {kAuth});
    EXPECT_EQ("HTTP/1.1 404 ERR text/plain not found", reply.status_line + " " + reply.content_type + " " + reply.body)
        << path;
  }
  EXPECT_EQ(403, get("/", {"Sec-Fetch-Site: cross-site"}).status);

  // A served file that changes is served as it is now: edited in place with
  // the same size, replaced by a link to a file outside the root or by a
  // FIFO, removed.
  EXPECT_EQ("<app.js>", get("/app.js").body);
  {
    std::ofstream edit(web + "app.js", std::ios::in | std::ios::out | std::ios::binary);
    edit << "[app.js]";
  }
  fs::last_write_time(web + "app.js", fs::last_write_time(web + "app.js") + std::chrono::seconds(1));
  EXPECT_EQ("[app.js]", get("/app.js").body);
  const struct {
    std::string path;
    std::function<void(const std::string& file)> change;  // of the file at `path` under the web root
  } changes[] = {
      {"/style.css", [&](auto& file) { fs::remove(file), fs::create_symlink(dir.file("secret.txt"), file); }},
      {"/logo.svg", [&](auto& file) { fs::remove(file), ::mkfifo(file.c_str(), 0600); }},
      {"/data.json", [&](auto& file) { fs::remove(file); }},
  };
  for (const auto& c : changes) {
    EXPECT_EQ(200, get(c.path).status) << c.path;
    c.change(web + c.path.substr(1));
    EXPECT_EQ(404, get(c.path).status) << c.path;
  }
}

}  // namespace
}  // namespace orvane::testing
