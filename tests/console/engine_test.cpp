// The Engine: its registry; its documents (member order of every document,
// escaping of texts from the database, the engine and requests, search and
// node bounds, the metrics text); its procedures (restore and backup with
// their refusals, explore, the demonstration engine). The shown bounds of the
// query log and the change list are checked with the dispatcher that fills
// them.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/documents.h"
#include "console/engine.h"
#include "console/engine_lock.h"
#include "console/procedures.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"
#include "support/error_text.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using json = nlohmann::json;
using ordered = nlohmann::ordered_json;
using testing::error_of;

const std::string kHostile = std::string("x\"\\\t\x01y");  // quote, backslash, tab, byte 0x01

// "a b c": the member names of a JSON object in text order.
std::string members(const std::string& text) {
  std::string out;
  const ordered object = ordered::parse(text);
  for (const auto& [key, value] : object.items()) out += (out.empty() ? "" : " ") + key;
  return out;
}

// An engine whose current database has a hostile name; node 2 has a hostile
// name, node 1 a property that holds the search text.
Engine hostile_engine() {
  Engine e;
  Database db = testing::GraphBuilder().people({"ann", "bob", kHostile}).follows("ann", "bob").follows("ann", kHostile)
                    .compiled();
  db.set_property(1, "motto", "say " + kHostile);
  e.register_database(kHostile, std::move(db));
  e.use_database(kHostile);
  e.set_param(kHostile, kHostile);
  e.log_statement(kHostile, 5, false);
  e.record_change(kHostile, kHostile);
  e.web_root = kHostile;
  return e;
}

// The schema documents count every label of a node and list only names
// that occur: an imported graph without Person, Paper, FOLLOWS and AUTHORED
// does not show them.
TEST(Documents, SchemaCountsEveryLabelAndListsOnlyNamesThatOccur) {
  Database db;
  std::string name;
  db.add_labeled_node(std::vector<std::string>{"Service", "Process"}, name, json::object(), 0);
  name.clear();
  db.add_labeled_node("Process", name, json{{"name", "p"}}, 0);
  name.clear();
  db.add_labeled_node(std::vector<std::string>{}, name, json::object(), 0);
  db.graph.add_edge(0, 1, db.add_rel_type("RUNS"));
  db.graph.add_edge(0, 1, db.add_rel_type("RUNS"));
  db.compile();
  Engine e;
  e.register_database("g", std::move(db));
  e.use_database("g");
  EXPECT_EQ(R"({"labelCount":2,"labels":{"Process":2,"Service":1},"nodeCount":3,"relCount":2,"relTypeCount":1,)"
            R"("relTypes":{"RUNS":2}})",
            meta_schema_document(e));
  EXPECT_EQ(R"({"edges":2,"node_types":["Process","Service"],"nodes":3,"rel_types":["RUNS"]})", schema_document(e));
  EXPECT_EQ(R"(["Service","Process"])", json::parse(node_document(e, 0, 4))["labels"].dump());
  EXPECT_EQ("[]", json::parse(node_document(e, 2, 4))["labels"].dump());
}

TEST(Documents, MemberOrderHostileTextsAndLimitsOfEveryDocument) {
  Engine e = hostile_engine();
  e.add_remote(RemoteEndpoint{});
  // A document, its member names in order, and where it holds a hostile text.
  const struct { std::string text, order, hostile; } cases[] = {
      {help_document(), "title colon cypher note", ""},
      {procedures_document(), "procedures", ""},
      {features_document(), "rows", ""},
      {guides_document("x"), "title catalog guide note", ""},
      {params_document(e.params()), "params note", "/params/" + kHostile},
      {style_document(e), "style note", ""},
      {config_document(e),
       "browser.maxFrames dbms.security.auth_enabled dbms.default_database dbms.memory.heap.max_size "
       "orvane.entropy.auto orvane.web_root orvane.params orvane.query.timeout orvane.query.memory orvane.query.steps "
       "note",
       "/orvane.web_root"},
      {server_status_document(e), "address protocol version database nodes edges queries databases note", "/database"},
      {query_log_document(e), "queries", "/queries/0/cypher"},
      {stats_document(e), "queries errors avg_ns nodes edges degree_entropy mean_edge_jump databases cdc_events", ""},
      {connection_catalogue_document(e), "catalog coming_soon", ""},
      {cluster_document(e), "role members fabric", "/members/0/name"},
      {fabric_document(e), "fabric shards coordinator note", "/coordinator"},
      {index_document(e), "constraints edges indexes nodes note", ""},
      {meta_schema_document(e), "labelCount labels nodeCount relCount relTypeCount relTypes", ""},
      {schema_document(e), "edges node_types nodes rel_types", ""},
      {search_document(e, kHostile, 12), "q hits", "/q"},
      {node_document(e, 0, 16), "id name labels topic out_degree properties neighbors", "/neighbors/1/name"},
      {node_document(e, 2, 16), "id name labels topic out_degree properties neighbors", "/name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.order, members(c.text));
    if (!c.hostile.empty()) { EXPECT_EQ(kHostile, json::parse(c.text).at(json::json_pointer(c.hostile))) << c.hostile; }
  }
  EXPECT_EQ("name neo4j orvane", members(ordered::parse(procedures_document())["procedures"][28].dump()));
  EXPECT_EQ(29u, ordered::parse(procedures_document())["procedures"].size());
  EXPECT_EQ("op detail", members(ordered::parse(change_events_document(e, 50))[0].dump()));
  EXPECT_EQ("cypher ns ok", members(ordered::parse(query_log_document(e))["queries"][0].dump()));
  EXPECT_EQ("name nodes edges role", members(ordered::parse(cluster_document(e))["members"][0].dump()));
  EXPECT_EQ("id name labels", members(ordered::parse(search_document(e, "", 1))["hits"][0].dump()));
  EXPECT_EQ("id name type", members(ordered::parse(node_document(e, 0, 1))["neighbors"][0].dump()));
  EXPECT_EQ(kHostile, json::parse(config_document(e))["dbms.default_database"]);
  EXPECT_EQ(kHostile, json::parse(change_events_document(e, 50))[0]["detail"]);
  // The search text is echoed; it matches node 1's property and node 2's name.
  EXPECT_EQ("[{\"id\":1,\"labels\":[\"Person\"],\"name\":\"bob\"},{\"id\":2,\"labels\":[\"Person\"],\"name\":" +
                json(kHostile).dump() + "}]",
            json::parse(search_document(e, kHostile, 12))["hits"].dump());
  // Request text that is not UTF-8 still gives a valid document.
  EXPECT_EQ("\xEF\xBF\xBD", json::parse(search_document(e, "\xFF", 12))["q"]);
  // Search and neighbours stop at their limits; the metrics count the current database.
  EXPECT_EQ(2u, json::parse(search_document(e, "", 2))["hits"].size());
  EXPECT_EQ(R"([{"id":1,"name":"bob","type":"FOLLOWS"}])", json::parse(node_document(e, 0, 1))["neighbors"].dump());
  for (int i = 0; i < 9; ++i) e.count_statement(i < 7, 1);
  EXPECT_EQ("# HELP orvane_queries_total Cypher/procedure executions\n# TYPE orvane_queries_total counter\n"
            "orvane_queries_total 7\n# TYPE orvane_errors_total counter\norvane_errors_total 2\n"
            "# TYPE orvane_nodes gauge\norvane_nodes 3\n# TYPE orvane_edges gauge\norvane_edges 2\n"
            "# TYPE orvane_databases gauge\norvane_databases 1\n",
            metrics_text(e));
}

// The answer of every statement, written as text in a fixed member order that
// the browser console and scripts read.
TEST(ConsoleResultJson, MemberOrderAndEscaping) {
  ConsoleResult r;
  r.kind = "graph";
  r.count = 2;
  r.ns = 1234567;
  r.query = "a\tb\r\n\x01\"\\";
  r.data = "{\"x\":1}";
  r.nodes = {{0, "Person", "ann", 3, {"Person", "A\"b"}, "{\"name\":\"ann\"}"}, {7, "Paper", "p\"1", 0, {}, "{}"}};
  r.rels = {{0, 7, "AUTHORED", 12, "{\"w\":1}"}};
  EXPECT_EQ(
      "{\"ok\":true,\"kind\":\"graph\",\"count\":2,\"ns\":1.23457e+06,\"error\":\"\",\"query\":\"a\\tb\\n\\u0001\\\"\\\\\","
      "\"data\":{\"x\":1},\"nodes\":[{\"id\":0,\"label\":\"Person\",\"name\":\"ann\",\"topic\":3,"
      "\"elementId\":\"4:halvex:0\",\"labels\":[\"Person\",\"A\\\"b\"],\"properties\":{\"name\":\"ann\"}},{\"id\":7,"
      "\"label\":\"Paper\",\"name\":\"p\\\"1\",\"topic\":0,\"elementId\":\"4:halvex:7\",\"labels\":[],"
      "\"properties\":{}}],\"rels\":[{\"src\":0,\"dst\":7,\"type\":\"AUTHORED\",\"id\":12,\"elementId\":\"5:halvex:12\","
      "\"properties\":{\"w\":1}}]}",
      result_json(r));
  r.graph_truncated = true;
  EXPECT_TRUE(result_json(r).ends_with("{\"w\":1}}],\"graphTruncated\":true}"));
}

TEST(Engine, RegistryRegistersSelectsAndLooksUp) {
  Engine e;
  EXPECT_EQ("unknown database: orvane", error_of([&] { e.database(); }));
  e.register_database("social", testing::triangle());
  e.register_database("Social", testing::star(2));
  EXPECT_EQ(3u, e.database("Social").graph.node_count);
  EXPECT_EQ("orvane", e.current_name());  // registering never selects
  e.use_database("Social");
  EXPECT_EQ(&e.database("Social"), &e.database(""));
  EXPECT_EQ("unknown database: SOCIAL", error_of([&] { e.use_database("SOCIAL"); }));
  EXPECT_EQ("Social", e.current_name());
  e.register_database("social", testing::star(5));  // replaces
  EXPECT_EQ(6u, e.database("social").graph.node_count);
  EXPECT_EQ("database name must not be empty", error_of([&] { e.register_database("", Database()); }));
  EXPECT_EQ(2u, e.databases().size());
}

Engine engine_with(Database db, const std::string& name = "orvane") {
  Engine e;
  e.register_database(name, std::move(db));
  e.use_database(name);
  return e;
}

std::string edge_text(const Edge& x) { return std::to_string(x.src) + ">" + std::to_string(x.dst) + " "; }

std::string ops(const Engine& e) {
  std::string out;
  for (const ChangeEvent& c : e.changes()) out += (out.empty() ? "" : " ") + c.op;
  return out;
}

// Restore replaces "restored", selects it and saves it; a corrupt file
// changes nothing. Backup leaves alone what is not a snapshot and what
// another writer holds.
// Readers share the lock; a writer waiting for them holds back every
// reader that comes after it, so reads from many clients cannot starve it.
TEST(EngineLock, ReadersShareAndAWaitingWriterGoesFirst) {
  EngineLock lock;
  lock.lock_shared();
  lock.lock_shared();  // a second reader beside the first
  lock.unlock_shared();
  std::atomic<bool> written{false}, late_reader_saw_write{false};
  std::thread writer([&] {
    const std::lock_guard<EngineLock> exclusive(lock);
    written = true;
  });
  while (lock.waiting_writers() == 0) std::this_thread::yield();
  std::thread late_reader([&] {
    const std::shared_lock<EngineLock> shared(lock);
    late_reader_saw_write = written.load();
  });
  lock.unlock_shared();  // the first reader ends: the writer, then the late reader
  writer.join();
  late_reader.join();
  EXPECT_TRUE(written && late_reader_saw_write);
}

// Which inputs may run beside readers: Cypher that only reads with the
// lock shared, Cypher that writes in the lock's writer mode.
TEST(Dispatcher, InputAccessFollowsWhatTheStatementsAre) {
  Engine engine;
  engine.register_database("orvane", testing::triangle());
  engine.use_database("orvane");
  using enum InputAccess;
  const struct {
    const char* input;
    InputAccess access;
  } cases[] = {
      {"MATCH (n) RETURN count(n)", kRead},
      {"PROFILE MATCH (n)-[r]->(m) RETURN r", kRead},
      {"EXPLAIN RETURN 1; UNWIND [1, 2] AS x RETURN x", kRead},
      {"CALL db.labels()", kRead},
      {"MATCH (n) SET n.x = 1", kWrite},
      {"MATCH (n) RETURN n; CREATE (:A)", kWrite},
      {"CREATE (:Person {name: 'a'})", kWrite},
      {"CREATE (0)-[:KNOWS]->(1)", kWrite},
      {"PROFILE MERGE (n:A {k: 1})", kWrite},
      {"CREATE (:A); :param x => 1", kExclusive},
      {":param x => 1", kExclusive},
      {"use other", kExclusive},
      {"CALL orvane.explore(0, 2)", kExclusive},
      {":sysinfo", kExclusive},
  };
  for (const auto& c : cases) EXPECT_EQ(c.access, input_access(engine, c.input)) << c.input;
  EXPECT_EQ(kExclusive, input_access(engine, "RETURN 1", "missing"));  // refused, alone
  engine.set_auto_entropy_every(5);  // a statement may then start an optimisation
  EXPECT_EQ(kExclusive, input_access(engine, "MATCH (n) RETURN count(n)"));
}

TEST(Procedures, RestoreAndBackupOrChangeNothing) {
  testing::TempDir dir;
  save_snapshot(testing::triangle(), dir.file("a.orv"));
  save_snapshot(testing::star(4), dir.file("b.orv"));
  std::string bytes = testing::read_text_file(dir.file("a.orv"));
  bytes[bytes.size() / 2] ^= 0x40;
  testing::write_text_file(dir.file("bad.orv"), bytes);
  Engine e = engine_with(testing::mixed_graph());
  e.keep_in(dir.file("own.orv"), GraphWriterLock::acquire(dir.file("own.orv")), true);
  restore(e, dir.file("a.orv"));
  restore(e, dir.file("b.orv"));
  EXPECT_EQ("restored 2 5", e.current_name() + " " + std::to_string(e.databases().size()) + " " +
                                std::to_string(e.database().graph.node_count));
  EXPECT_EQ("restore restore " + dir.file("b.orv"), ops(e) + " " + e.changes().back().detail);
  e.use_database("orvane");
  EXPECT_EQ("snapshot checksum mismatch", error_of([&] { restore(e, dir.file("bad.orv")); }));
  EXPECT_EQ("orvane", e.current_name());
  EXPECT_EQ(5u, e.database("restored").graph.node_count);
  EXPECT_EQ(2u, e.change_count());
  // The restored graph has a file of its own; the file of the current one stays as it was.
  EXPECT_EQ(5u, load_snapshot(e.file_of("restored")).graph.node_count);
  EXPECT_EQ(e.database("orvane").graph.node_count, load_snapshot(e.snapshot_path()).graph.node_count);
  testing::write_text_file(dir.file("notes.txt"), "ORVSNAP");  // shorter than the magic
  EXPECT_EQ("refusing to replace " + dir.file("notes.txt") + ": it is not a Halvex snapshot",
            error_of([&] { backup(e, dir.file("notes.txt")); }));
  EXPECT_EQ("ORVSNAP", testing::read_text_file(dir.file("notes.txt")));
  {
    const GraphWriterLock other(dir.file("held.orv"));
    EXPECT_EQ("graph is already open for writing by another process",
              error_of([&] { backup(e, dir.file("held.orv")); }));
  }
  // The engine's own snapshot, whose lock it holds, is written under that
  // lock, also when named another way; another database's file is refused.
  EXPECT_EQ("", error_of([&] { backup(e, dir.path() + "/./own.orv"); }));
  const std::string restored_file = e.file_of("restored");
  EXPECT_EQ("refusing to replace " + restored_file + ": it holds the database restored",
            error_of([&] { backup(e, restored_file); }));
  EXPECT_EQ(5u, load_snapshot(restored_file).graph.node_count);
  EXPECT_EQ(14u, load_snapshot(e.snapshot_path()).graph.node_count);
}

TEST(Explore, WalksOutgoingLevelsUpToTheLimit) {
  const struct {
    std::uint64_t id;
    std::uint32_t hops;
    std::size_t limit;
    std::string view;  // node identities, then relationships
  } cases[] = {
      {0, 2, 80, "0 2 1 3 | 0>2 0>1 2>3 1>0"}, {0, 1, 80, "0 2 1 | 0>2 0>1"}, {0, 2, 2, "0 2 | 0>2"},
      {0, 0, 80, "0 |"},                       {4, 2, 80, "4 |"},            {5, 2, 80, "|"},
  };
  // 0→1, 0→2, 1→0, 2→3; 4 alone. Reversed positions: neighbours come in
  // position order (2 before 1), and the view still names identities.
  Database db = testing::GraphBuilder().people({"a", "b", "c", "d", "e"}).follows("a", "b").follows("a", "c")
                    .follows("b", "a").follows("c", "d").compiled();
  db.graph.apply_permutation({4, 3, 2, 1, 0});
  const Engine e = engine_with(std::move(db));
  for (const auto& c : cases) {
    const ConsoleResult r = explore(e, c.id, c.hops, c.limit);
    std::string view;
    for (const ResultNode& n : r.nodes) view += std::to_string(n.id) + " ";
    view += "|";
    for (const ResultRel& x : r.rels) view += " " + std::to_string(x.src) + ">" + std::to_string(x.dst);
    EXPECT_EQ(c.view, view) << c.id << " " << c.hops << " " << c.limit;
  }
}

TEST(DemoEngine, DatabasesShardsRemoteAndEvents) {
  const Engine e = make_demo_engine(8, 4, 42, true);
  const json cluster = json::parse(cluster_document(e));
  std::set<std::string> roles;  // every database with its cluster role
  for (const auto& m : cluster["members"]) roles.insert(m["name"].get<std::string>() + ":" + m["role"].get<std::string>());
  EXPECT_EQ((std::set<std::string>{"biblio:shard", "chaotic:shard", "messy:shard", "orvane:primary",
                                   "replica:read-replica", "simple:shard", "social:shard"}),
            roles);
  EXPECT_EQ("fabric remote boot", ops(e));
  EXPECT_EQ("http://127.0.0.1:7475", e.changes()[1].detail);
  // The shards split the relationships by type and keep the identities.
  const Database &orvane = e.database("orvane"), &social = e.database("social"), &biblio = e.database("biblio");
  EXPECT_EQ(8u + 12u * 1000, social.graph.node_count + biblio.graph.node_count * 1000);
  std::string follows, authored, in_social, in_biblio;
  for (const Edge& x : orvane.graph.edges) (x.type == orvane.follows_type ? follows : authored) += edge_text(x);
  for (const Edge& x : social.graph.edges) in_social += edge_text(x);
  for (const Edge& x : biblio.graph.edges) in_biblio += edge_text(x);
  EXPECT_EQ(follows + "|" + authored, in_social + "|" + in_biblio);
  EXPECT_EQ(orvane.names, biblio.names);
}

}  // namespace
}  // namespace orvane
