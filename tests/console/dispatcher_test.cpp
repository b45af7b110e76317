// The console statement dispatcher: every classification row in its order,
// parameters, EXPLAIN and PROFILE, CREATE with its rollback, the query-log
// and change-list bounds, auto-entropy, and user texts in JSON answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/documents.h"
#include "console/engine.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"
#include "support/error_text.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using json = nlohmann::json;

// mixed_graph (10 persons, 4 papers; 0 follows 1 and 2) as the current
// "orvane", and star(2) as "simple".
Engine small_engine() {
  Engine e;
  e.register_database("orvane", testing::mixed_graph());
  e.register_database("simple", testing::star(2));
  e.use_database("orvane");
  return e;
}

ConsoleResult run(Engine& e, const std::string& statement, const ParamMap* params = nullptr,
                  const std::string& database = "") {
  ConsoleResult r;
  dispatch(r, e, statement, database, params);
  return r;
}

// The compact JSON at `pointer` in `data`, or "(none)".
std::string member(const std::string& data, const std::string& pointer) {
  const json doc = json::parse(data);
  const json::json_pointer at(pointer);
  return doc.contains(at) ? doc.at(at).dump() : "(none)";
}

// What a failing statement must leave as it was.
std::string contents(const Database& db) {
  std::string out = testing::edges_of(db) + "\n";
  for (const auto* list : {&db.node_types, &db.rel_types, &db.names}) {
    for (const std::string& x : *list) out += x + ",";
    out += "\n";
  }
  // Every node's labels and properties, every relationship's properties.
  for (std::uint32_t n = 0; n < db.graph.node_count; ++n) {
    for (const std::uint16_t l : db.graph.labels_of(n)) out += std::to_string(l) + ":";
    out += db.node_properties(n).dump() + "\n";
  }
  for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) out += db.relationship_properties(r).dump() + "\n";
  return out;
}

struct Case {
  std::string statement;
  const char* kind;
  std::string error;     // "" when the statement succeeds
  const char* pointer;   // a member of `data` to check, "" for the whole document
  const char* value;     // its compact JSON; "" with no pointer to check nothing
  const char* before = nullptr;  // a statement run first on the same engine
  const ParamMap* params = nullptr;
  const char* database = "";  // the statement's target database, "" for the current one
};

// Each row on a fresh engine; a failing statement changes neither the
// database, the style nor the change list.
void check_rows(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    Engine e = small_engine();
    if (c.before != nullptr) { ASSERT_TRUE(run(e, c.before).ok) << c.before; }
    const std::string before = contents(e.database()) + e.style();
    const std::uint64_t changes = e.change_count();
    const ConsoleResult r = run(e, c.statement, c.params, c.database);
    EXPECT_EQ(c.kind, r.kind);
    EXPECT_EQ(c.error, r.error);
    EXPECT_EQ(c.error.empty(), r.ok);
    EXPECT_EQ(c.statement, r.query);
    if (*c.pointer != '\0') {
      EXPECT_EQ(c.value, member(r.data, c.pointer));
    } else if (*c.value != '\0') {
      EXPECT_EQ(c.value, r.data);
    }
    testing::check_invariants(e.database());
    if (!r.ok) {
      EXPECT_EQ(before, contents(e.database()) + e.style());
      EXPECT_EQ(changes, e.change_count());
    }
  }
}

TEST(Dispatcher, EveryClassificationRowInOrder) {
  testing::TempDir dir;
  testing::write_text_file(dir.file("export/nodes.csv"), ":ID,name,:LABEL\n1,ann,Person\n2,bob,Person\n");
  testing::write_text_file(dir.file("export/rels.csv"), ":START_ID,:END_ID,:TYPE\n1,2,FOLLOWS\n");
  const std::string missing = dir.file("missing");
  check_rows({
      {":help", "help", "", "/title", R"("Halvex Browser")"},
      {"  :HELP ;  ", "help", "", "/title", R"("Halvex Browser")"},
      {":helpme", "error", "unrecognized query — try :help", "", ""},
      {"CALL dbms.procedures()", "help", "", "/procedures/28/name", R"("dbms.components")"},
      {":play cypher", "guide", "", "/guide/id", R"("cypher")"},
      {":guide FABRIC", "guide", "", "/guide/id", R"("enterprise")"},
      {":play graphs", "guide", "", "/guide/id", R"("bloom")"},
      {":params", "stats", "", "/params/other", R"("12")"},
      {":style", "stats", "", "/style/rel/FOLLOWS", R"("#1a4f8b")"},
      {":config", "stats", "", "/dbms.default_database", R"("orvane")"},
      {"CALL dbms.clientConfig()", "stats", "", "/dbms.memory.heap.max_size", R"("896B-soa")"},
      {":server", "stats", "", "/nodes", "14"},
      {":clear", "clear", "", "/cleared", "true"},
      {":history", "stats", "", "/queries/0/cypher", R"(":help")", ":help"},
      {":BOLT", "help", "", "", ""},
      {"CREATE (:Robot {name: 'r'})", "stats", "", "/id", "14"},
      {"CALL orvane.search('q2')", "stats", "", "/hits/0/name", R"("q2")"},
      {"CALL db.index.fulltext.queryNodes()", "stats", "", "/q", R"("person")"},
      {"CALL orvane.node(3)", "stats", "", "/out_degree", "2"},
      {"CALL apoc.meta.stats()", "stats", "", "/relCount", "17"},
      {"CALL orvane.cloud()", "stats", "", "/catalog/remotes", "[]"},
      {"CALL orvane.cutover('bolt://db.example:7687')", "stats", "", "/source/bolt", R"("bolt://db.example:7687")"},
      {":cutover", "stats", "", "/destination/database", R"("migrated")"},
      {"CALL orvane.migrate('" + dir.file("export") + "')", "stats", "", "/database", R"("migrated")"},
      {"load csv from '" + dir.file("export") + "'", "stats", "", "/nodes", "2"},
      {"LOAD CSV FROM '" + missing + "'", "error",
       "CSV/JSONL migration requires an existing export directory: " + missing, "", ""},
      {"LOAD FROM NEO4J", "error", "LOAD FROM NEO4J needs a Bolt URI", "", ""},
      {"CALL orvane.loadFromNeo4j('', \"\")", "error", "LOAD FROM NEO4J needs a Bolt URI", "", ""},
      {"USE simple", "stats", "", "/using", R"("simple")"},
      {"USE nope", "error", "unknown database: nope", "", ""},
      {"CREATE (:Robot)", "error", "unknown database: nope", "", "", nullptr, nullptr, "nope"},
      {":help", "error", "unknown database: nope", "", "", nullptr, nullptr, "nope"},  // before anything runs
      {"CREATE (:Robot)", "stats", "", "/id", "3", nullptr, nullptr, "simple"},
      {":schema", "schema", "", "/edges", "17"},
      {"CALL db.constraints()", "schema", "", "/constraints", "[]"},
      {"CALL db.schema()", "schema", "", "/rel_types", R"(["AUTHORED","FOLLOWS"])"},
      {"CALL dbms.cluster.overview()", "cluster", "", "/role", R"("coordinator")"},
      {"CALL orvane.fabric()", "cluster", "", "/fabric", "false"},
      {"CALL gds.pageRank()", "gds", "", "/algo", R"("pagerank")"},
      {"CALL gds.wcc()", "gds", "", "/wcc_count", "8"},
      {"CALL gds.shortestPath(4, 6)", "gds", "", "/shortest_path", "[4,5,6]"},
      {"CALL gds.shortestPath(4)", "gds", "", "/shortest_path", "[]"},
      {"CALL gds.beta.unknown()", "gds", "", "/algo", R"("all")"},
      {":explore", "graph", "", "", ""},
      {":entropy", "entropy", "", "/core_nodes", "5"},
      {"CALL orvane.entropy.optimize()", "entropy", "", "/ok", "true"},
      {"CALL orvane.entropy.auto()", "entropy", "", "/auto_entropy_every", "1"},
      {"CALL orvane.entropy.lab()", "entropy", "", "/mess_level", "3"},
      {"CALL orvane.entropy.progressive()", "entropy", "", "/people", "10"},
      {":rag", "rag", "", "/expand_hops", "0"},
      {":sysinfo", "stats", "", "/nodes", "14"},
      {"CALL dbms.listQueries()", "stats", "", "/queries/0/ok", "true", ":help"},
      {"MATCH (p:Person {id: 0})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "2"},
      {"MATCH (p:Paper) RETURN p.name LIMIT 3", "rows", "", "/rows/2/0", R"("q2")"},
      {"MATCH (p:Person {id: 0}) RETURN p.nosuch", "rows", "", "/rows/0/0", "null"},
      {"MATCH (p:Nope RETURN count(*)", "error",
       "Invalid input 'RETURN': expected \":\", \"{\", a parameter or \")\" (line 1, column 15 (offset: 14))", "", ""},
      // Cypher beyond the classified statements goes to the query pipeline.
      {"MERGE (n:X) RETURN labels(n)", "rows", "", "/rows/0/0", R"(["X"])"},
      {"", "error", "unrecognized query — try :help", "", ""},
      {"RETURN 1 + 2 AS three, 'a' + 1", "rows", "", "", R"({"columns":["three","'a' + 1"],"rows":[[3,"a1"]]})"},
      {"UNWIND [3, 1, 2] AS x RETURN x ORDER BY x DESC LIMIT 2", "rows", "", "/rows", "[[3],[2]]"},
      {"MATCH (p:Person)-[:FOLLOWS]->(q) WHERE p.name = 'p0' RETURN q.name ORDER BY q.name", "rows", "", "/rows",
       R"([["p1"],["p2"]])"},
      {"MATCH (a:Person {name: 'p0'})-[r:FOLLOWS]->(b {name: 'p1'}) RETURN a, r", "rows", "", "/rows/0/1",
       R"({"elementId":"5:halvex:0","end":1,"id":0,"properties":{},"start":0,"type":"FOLLOWS"})"},
      {"MATCH (p:Person) RETURN p.name, count(*) AS c ORDER BY c DESC, p.name LIMIT 1", "rows", "", "/rows",
       R"([["p0",1]])"},
      {"OPTIONAL MATCH (n:Nope) RETURN n", "rows", "", "/rows", "[[null]]"},
      {"EXPLAIN RETURN 1", "plan", "", "/children/0/operator", R"("Projection")"},
      {"PROFILE UNWIND [1, 2] AS x RETURN x", "plan", "", "/children/0/rows", "2"},
      {"CALL db.labels()", "rows", "", "", R"({"columns":["label"],"rows":[["Person"],["Paper"]]})"},
      {"CALL no.such()", "error",
       "There is no procedure with the name `no.such` registered for this database instance. (line 1, column 1 (offset: 0))",
       "", ""},
      {"RETURN nosuch", "error", "Variable `nosuch` not defined (line 1, column 8 (offset: 7))", "", ""},
  });
  Engine e = small_engine();
  const ConsoleResult view = run(e, "CALL orvane.explore(0, 1)");  // 0, the two it follows and its two papers
  EXPECT_EQ("5 4", std::to_string(view.nodes.size()) + " " + std::to_string(view.rels.size()));
  const ConsoleResult two_hops = run(e, "CALL orvane.explore(0, 0)");  // no hops reads as two
  EXPECT_EQ("7 8", std::to_string(two_hops.nodes.size()) + " " + std::to_string(two_hops.rels.size()));
}

// :bolt says where Neo4j's drivers connect, or that the server speaks
// HTTP alone.
TEST(Dispatcher, BoltAnswerSaysWhereTheServerListens) {
  Engine e = small_engine();
  const json without = json::parse(run(e, ":bolt").data);
  EXPECT_FALSE(without.contains("bolt"));
  EXPECT_TRUE(without["note"].get<std::string>().starts_with("This server speaks HTTP only")) << without;
  e.bolt_address = "bolt://127.0.0.1:7687";
  const json with = json::parse(run(e, ":bolt").data);
  EXPECT_EQ("bolt://127.0.0.1:7687", with["bolt"]);
  EXPECT_NE(std::string::npos, with["note"].get<std::string>().find("speaks Bolt at bolt://127.0.0.1:7687")) << with;
  EXPECT_EQ("HTTP and Bolt", json::parse(run(e, ":server status").data)["protocol"]);
}

// A parameter map replaces the engine's parameters altogether; :style takes
// no parameters and stores only one whole JSON object.
TEST(Dispatcher, ParametersExplainProfileAndStyle) {
  const ParamMap map{{"id", json(3)}, {"who", json("p1")}};
  // The query pipeline binds parameters as typed values: lists, maps and
  // typed JSON arrive whole, not as text pasted into the statement.
  const ParamMap typed{{"list", json::array({1, "two", nullptr})},
                       {"map", json{{"k", json::array({1.5})}}},
                       {"day", json{{"$type", "Date"}, {"_value", "2024-02-29"}}}};
  check_rows({
      {"RETURN size($list), $map.k[0], $day.month, $day + duration('P1D')", "rows", "", "/rows",
       R"([[3,1.5,2,{"$type":"Date","_value":"2024-03-01"}]])", nullptr, &typed},
  });
  check_rows({
      {"MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "2"},
      // Cypher reports a missing parameter as Neo4j does; the console's own
      // forms, whose text is substituted, name it themselves.
      {"MATCH (p:Person {id: $nosuch}) RETURN count(*)", "error", "Expected parameter(s): nosuch", "", ""},
      {"MATCH (p:Person {id: $}) RETURN count(*)", "error",
       "Invalid input '$': expected an expression (line 1, column 22 (offset: 21))", "", ""},
      {":explore $nosuch", "error", "unknown parameter: nosuch", "", ""},
      {"CALL orvane.search('$id')", "stats", "", "/q", R"("$id")"},
      {"MATCH (p:Person {name: \"$id\"}) RETURN count(*)", "count", "", "/rows/0/0", "0"},
      {"MATCH (p:Person {name: $x}) RETURN count(*)", "count", "", "/rows/0/0", "1", ":param x => 'p1'"},
      {"MATCH (p:Person {id: $y})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "1", ":param y = 3"},
      {"MATCH (p:Person {id: $t}) RETURN count(*)", "count", "", "/rows/0/0", "0", ":param t => true"},
      {"MATCH (p:Person {name: $j}) RETURN count(*)", "count", "", "/rows/0/0", "0", ":param j => {not json"},
      {":param x => 'a b'", "stats", "", "/params/x", R"("a b")"},
      {":param q = \"a\"", "stats", "", "/params/q", R"("a")"},
      {":param lonely", "error", ":param name => value", "", ""},
      {":param $id => 5", "stats", "", "/params/$id", R"("5")"},
      {":param x => \xc3", "error", "text is not valid UTF-8", "", ""},  // bytes that are not UTF-8 stay out
      {"USE \xff", "error", "text is not valid UTF-8", "", ""},
      {"\xff", "error", "text is not valid UTF-8", "", ""},
      {"MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "1", nullptr, &map},
      {"MATCH (p:Person {name: $who}) RETURN count(*)", "count", "", "/rows/0/0", "1", nullptr, &map},
      {"MATCH (p:Person {id: $other}) RETURN count(*)", "error", "Expected parameter(s): other", "", "", nullptr, &map},
      {"PROFILE MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)", "plan", "", "/rows", "2"},
      {"PROFILE MATCH (p:Person {id: 0})-[:FOLLOWS]->(x) RETURN count(*)", "plan", "", "/ran", "true"},
      {"profile explain MATCH (n) RETURN count(n)", "plan", "", "/ran", "false"},
      {"EXPLAIN MATCH (p:Person {id: $id}) RETURN count(*)", "plan", "", "/query",
       R"x("MATCH (p:Person {id: 0}) RETURN count(*)")x"},
      {"EXPLAIN :help", "error", "Invalid input ':': expected a clause (line 1, column 1 (offset: 0))", "", ""},
      {"PROFILE :nonsense", "error", "unrecognized query — try :help", "", ""},
      {"  PROFILE   CREATE (:Robot)", "plan", "", "/ran", "true"},
      // A counting method is a leaf of the plan in place of the aggregation
      // and the operators below it (the browser test shows BreadthFirstReach).
      {"EXPLAIN MATCH (a:Person)-[:FOLLOWS]->(b) RETURN count(*)", "plan", "", "/children/0/children/0/operator",
       R"("CountByDegree")"},
      {"PROFILE MATCH (p {id: 0})-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)", "plan", "",
       "/children/0/children/0/operator", R"("LevelCount")"},
      {"PROFILE MATCH (p {id: 0})-[:FOLLOWS*4]->(x) RETURN count(*)", "plan", "", "/children/0/children/0/operator",
       R"("EagerAggregation")"},
      {":style {", "error", "style must be a JSON object", "", ""},
      {":style {\"node\":{}} extra", "error", "style must be a JSON object", "", ""},
      {":style {\"a\":$id}", "error", "style must be a JSON object", "", ""},  // no parameters here
      {":style {\"node\":{\"caption\":\"{id}\"}}", "stats", "", "/style/node/caption", R"("{id}")"},
      {":style", "stats", "", "/style", R"({"a":1})", ":style {\"a\":1}"},
      {":style [1]", "stats", "", "/style/rel/AUTHORED", R"("#0b1f33")"},
      {"explain MATCH (n) RETURN count(n)", "plan", "", "",
       R"x({"children":[{"children":[{"children":[],"estimatedRows":1.0,"operator":"NodeCountFromCountStore","rows":0}],)x"
       R"x("estimatedRows":1.0,"operator":"Projection","rows":0}],"estimatedRows":1.0,"ns":0,"operator":"ProduceResults",)x"
       R"x("query":"MATCH (n) RETURN count(n)","ran":false,"rows":0,"runtime":"CPU pipeline over typed CSR"})x"},
      // Estimates from the graph's sizes: 14 nodes, 10 of them persons.
      {"EXPLAIN MATCH (p:Person) RETURN p", "plan", "", "/children/0/children/0/estimatedRows", "10.0"},
      // PROFILE times each operator.
      {"PROFILE MATCH (p:Person)-[:FOLLOWS]->(x) RETURN x", "plan", "", "/children/0/children/0/operator",
       R"x("Expand(All)")x"},
  });
}

// The query log keeps the latest 200 statements, failures included; the
// change list the latest 10000 events while counting every one. Every third
// completed statement optimises the layout; failures skip the schedule.
TEST(Dispatcher, QueryLogChangeListAndAutoEntropy) {
  Engine e = small_engine();
  e.set_auto_entropy_every(3);
  const auto optimisations = [&] {
    const auto count = std::count_if(e.changes().begin(), e.changes().end(),
                                     [](auto& c) { return c.op == "entropy_optimize"; });
    return std::to_string(count);
  };
  run(e, ":help");
  EXPECT_EQ("", run(e, ":nonsense").data);
  EXPECT_EQ("1 1", std::to_string(e.statement_count()) + " " + std::to_string(e.error_count()));
  ASSERT_EQ(2u, e.query_log().size());
  EXPECT_EQ(":nonsense", e.query_log().back().cypher);
  EXPECT_TRUE(e.query_log().back().ns == 0.0 && !e.query_log().back().ok);
  EXPECT_GT(e.total_statement_ns(), 0.0);
  run(e, ":clear");
  EXPECT_EQ("0", optimisations());
  run(e, ":sysinfo");
  EXPECT_EQ("1", optimisations());
  for (int i = 0; i < 3; ++i) run(e, ":help");
  EXPECT_EQ("2", optimisations());
  e.set_auto_entropy_every(0);
  for (int i = 0; i < 194; ++i) run(e, ":clear");
  EXPECT_EQ(":nonsense", e.query_log().front().cypher);  // the oldest of 201 is dropped
  for (int i = 0; i < 250; ++i) run(e, ":fail" + std::to_string(i));
  ASSERT_EQ(200u, e.query_log().size());
  EXPECT_EQ(":fail50", e.query_log().front().cypher);
  EXPECT_EQ(251u, e.error_count());
  EXPECT_EQ(":fail210", json::parse(query_log_document(e))["queries"][0]["cypher"]);  // the document shows 40
  for (int i = 0; i < 10005; ++i) run(e, ":param p => " + std::to_string(i));
  ASSERT_EQ(kChangeEventCapacity, e.changes().size());
  EXPECT_EQ("p=5", e.changes().front().detail);
  EXPECT_EQ(10007u, e.change_count());
  EXPECT_EQ("10007", member(run(e, ":sysinfo").data, "/cdc_events"));
  EXPECT_EQ(R"([{"op":"param","detail":"p=10004"}])", change_events_document(e, 1));
  run(e, "\xff");
  EXPECT_NO_THROW(json::parse(run(e, ":history").data));  // a logged statement that is not UTF-8
}

// SET and REMOVE: what they write, and a statement failing part-way
// (after changing properties and labels of nodes and relationships that
// existed before it) leaves every node and relationship as it was.
TEST(DispatcherSet, WritesAndFailuresUndone) {
  check_rows({
      {"MATCH (n:Person {name: 'p1'}) SET n.age = 40, n:Tag RETURN n.age, labels(n)", "rows", "", "/rows",
       R"([[40,["Person","Tag"]]])"},
      {"MATCH (n:Person {name: 'p1'}) SET n += {age: 41, topic: null} RETURN n.age, n.topic", "rows", "", "/rows",
       "[[41,null]]"},
      {"MATCH (n:Person {name: 'p1'}) SET n = {k: 1} RETURN keys(n)", "rows", "", "/rows", R"([[["k"]]])"},
      {"MATCH (n:Person {name: 'p1'}) REMOVE n:Person, n.name RETURN labels(n), n.name", "rows", "", "/rows",
       "[[[],null]]"},
      {"MATCH (n:Person {name: 'p1'}) SET n:Paper WITH n MATCH (m:Paper) RETURN count(m)", "count", "", "/rows",
       "[[5]]"},
      {"MATCH (n:Person) SET n.seen = true RETURN n.name LIMIT 0", "rows", "", "/counters/propertiesSet", "10"},
      {"MATCH ()-[r:FOLLOWS]->() SET r.w = 1 RETURN count(*)", "count", "", "/counters/propertiesSet", "10"},
      {"UNWIND [1, 2, 0] AS i MATCH (n:Person) SET n.name = 'x' + i, n.v = 6 / i, n:Tag REMOVE n:Person", "error",
       "/ by zero", "", ""},
      {"MATCH (a:Person)-[r:FOLLOWS]->(b) SET r.w = 1, a.name = null WITH r, a SET r.bad = {m: 1}", "error",
       "Property values can only be of primitive types or arrays thereof; bad was MAP", "", ""},
      {"MATCH (n:Person) SET n = {k: 1}, n:New WITH n SET n.k = [1, 'a']", "error",
       "Property values can only be of primitive types or arrays thereof; k was LIST<ANY>", "", ""},
  });
}

TEST(DispatcherCreate, NodesAndRelationships) {
  const std::string labelled = "CREATE requires one explicitly labelled node", relationship =
      "relationship CREATE requires (internal_id)-[:TYPE]->(internal_id); other forms are unsupported";
  check_rows({
      {"CREATE (:Robot {name: 'r2', serial: 5})", "stats", "", "",
       R"({"id":14,"label":"Robot","name":"r2","properties":{"name":"r2","serial":5}})"},
      {"create (n:Gadget {title: 'T'});", "stats", "", "",
       R"({"id":14,"label":"Gadget","name":"","properties":{"title":"T"}})"},
      {"CREATE (:X {s: '-->', t: '{]-'})", "stats", "", "",
       R"({"id":14,"label":"X","name":"","properties":{"s":"-->","t":"{]-"}})"},
      {"create (1)-[:KNOWS]->(2)", "stats", "", "", R"({"id":17,"src":1,"dst":2,"type":"KNOWS"})"},
      {"CREATE ( 3 )-[:FOLLOWS]-> ( 4 ) ;", "stats", "", "", R"({"id":17,"src":3,"dst":4,"type":"FOLLOWS"})"},
      {"CREATE (3) - [:FOLLOWS] -> (4)", "error", labelled, "", ""},  // no arrow: "- ["
      // A relationship parallel to an existing one is a new relationship.
      {"CREATE (0)-[:FOLLOWS]->(1)", "stats", "", "", R"({"id":17,"src":0,"dst":1,"type":"FOLLOWS"})"},
      // Every other CREATE pattern runs through the query pipeline.
      {"CREATE (:Person:Author {name: 'x'})", "rows", "", "",
       R"({"columns":[],"counters":{"containsUpdates":true,"labelsAdded":2,"labelsRemoved":0,"nodesCreated":1,)"
       R"("nodesDeleted":0,"propertiesSet":1,"relationshipsCreated":0,"relationshipsDeleted":0},"rows":[]})"},
      {"CREATE (n {name: 'x'}) RETURN labels(n), n.name", "rows", "", "/rows", R"([[[],"x"]])"},
      {"CREATE (:A), (:B)", "rows", "", "/rows", "[]"},
      {"CREATE (a:X)-[:R {w: 2}]->(b:Y) RETURN type(r)", "error", "Variable `r` not defined (line 1, column 45 (offset: 44))", "", ""},
      {"CREATE p = (a:X)-[r:R {w: 2}]->(b:Y) RETURN r.w, length(p)", "rows", "", "/rows", "[[2,1]]"},
      {"MATCH (a:Person {name: 'p0'}), (b:Paper {name: 'q3'}) CREATE (a)-[:CITES {n: 1}]->(b) RETURN b.name", "rows",
       "", "/rows", R"([["q3"]])"},
      // A statement that fails part-way leaves the graph as it was: the two
      // nodes made before the map are taken back.
      {"UNWIND [1, 2, {a: 1}] AS x CREATE (:Y {v: x})", "error",
       "Property values can only be of primitive types or arrays thereof; v was MAP", "", ""},
      {"CREATE (a)-[:T]-(b)", "error", "Only directed relationships are supported in CREATE (line 1, column 11 (offset: 10))",
       "", ""},
      {"CREATE (1)<-[:R]-(2)", "error", relationship, "", ""},
      {"CREATE (1)-[:R]->(14)", "error", "relationship endpoint does not exist", "", ""},
      {"CREATE (99999999999999999999999)-[:R]->(1)", "error", "relationship endpoint does not exist", "", ""},
      {"CREATE (:Robot {name: 'say \"hi\"\\t'})", "stats", "", "/name", R"("say \"hi\"\t")"},
  });
}

// A graph imported with its source's ids shows them everywhere a node or
// relationship is named, and takes them wherever a statement or a route
// names one; what CREATE adds continues past the largest.
TEST(Dispatcher, ImportedIdsAreTheIdsUsersSeeAndName) {
  Database db = testing::mixed_graph();
  db.generated = false;
  std::vector<std::uint64_t> node_ids(db.graph.node_count), rel_ids(db.graph.edges.size());
  for (std::size_t i = 0; i < node_ids.size(); ++i) node_ids[i] = 500 - 10 * i;
  for (std::size_t i = 0; i < rel_ids.size(); ++i) rel_ids[i] = 1000 + i;
  ASSERT_TRUE(db.node_ids.assign(node_ids) && db.rel_ids.assign(rel_ids));
  Engine e;
  e.register_database("imported", std::move(db));
  e.use_database("imported");
  EXPECT_EQ("490", member(run(e, "MATCH (p:Person {name: 'p1'}) RETURN p").data, "/rows/0/0/id"));
  EXPECT_EQ("[]", member(run(e, "MATCH (p:Person {id: 490}) RETURN p").data, "/rows"));  // no stored id
  EXPECT_EQ(R"({"id":1017,"src":490,"dst":480,"type":"KNOWS"})", run(e, "CREATE (490)-[:KNOWS]->(480)").data);
  EXPECT_EQ("relationship endpoint does not exist", run(e, "CREATE (1)-[:KNOWS]->(2)").error);
  EXPECT_EQ("501", member(run(e, "CREATE (:Robot {name: 'r'})").data, "/id"));
  const std::string node = node_document(e, 490, 10);
  EXPECT_EQ("490", member(node, "/id"));
  EXPECT_EQ(R"("p1")", member(node, "/name"));
  EXPECT_EQ(R"([{"id":500,"name":"p0","type":"FOLLOWS"},{"id":400,"name":"q0","type":"AUTHORED"},)"
            R"({"id":480,"name":"p2","type":"KNOWS"}])",
            member(node, "/neighbors"));
  EXPECT_EQ(R"("no such node")", member(node_document(e, 1, 10), "/error"));
}

// Parameters, remote connections, change events and logged statements are
// bounded in count and in bytes, so no client grows the engine through its
// history: past a bound the statement fails with the bound, and what is
// kept is cut to a fixed size.
TEST(Dispatcher, StateStaysBoundedWhateverClientsSend) {
  Engine e = small_engine();
  const std::string big(600000, 'v');
  const std::string too_many = "too many parameters: at most 1000 names and 1048576 bytes of names and values";
  EXPECT_TRUE(run(e, ":param a => " + big).ok);
  EXPECT_EQ(too_many, run(e, ":param b => " + big).error);
  EXPECT_TRUE(run(e, ":param a => " + big + big.substr(0, 300000)).ok);  // a replaced value frees its bytes
  EXPECT_TRUE(run(e, ":param a => 1").ok);
  EXPECT_TRUE(run(e, ":param big => " + big).ok);
  EXPECT_EQ(R"({"z":"1"})", member(run(e, ":param z => 1").data, "/params"));  // what was set, not the history
  EXPECT_EQ(big.size() + 2, member(run(e, ":params").data, "/params/big").size());
  for (int i = 0; i < 995; ++i) ASSERT_TRUE(run(e, ":param p" + std::to_string(i) + " => 1").ok);
  EXPECT_EQ(too_many, run(e, ":param one_more => 1").error);
  EXPECT_EQ(1000u, e.params().size());
  EXPECT_EQ(kChangeDetailBytes, e.changes()[0].detail.size());  // "a=vvv…" cut
  run(e, "MATCH (n) RETURN count(*) /*" + big + "*/");
  EXPECT_EQ(kQueryLogTextBytes, e.query_log().back().cypher.size());
  for (std::size_t i = 0; i < kMaxRemotes; ++i) e.add_remote(RemoteEndpoint{});
  EXPECT_EQ("too many remote connections: at most 64", testing::error_of([&] { e.add_remote(RemoteEndpoint{}); }));
}

// Logged after each CREATE; a commit that fails takes the new node, label,
// type and relationship back and leaves the files alone.
TEST(DispatcherCreate, SavedWithNamesAndEventsOrChangesNothing) {
  testing::TempDir dir;
  Engine e = small_engine();
  const std::string good_path = dir.file("graph.orv");
  e.keep_in(good_path, GraphWriterLock::acquire(good_path), true);
  for (const char* statement : {"CREATE (:Gadget {size: 2})", "CREATE (:Gadget {username: 'u', name: 7})",
                                "CREATE (14)-[:PART_OF]->(15)"}) {
    ASSERT_TRUE(run(e, statement).ok) << statement;
  }
  EXPECT_EQ("Gadget-14 u", e.database().names[14] + " " + e.database().names[15]);
  EXPECT_EQ("create_node Gadget:(:Gadget {size: 2})", e.changes()[0].op + " " + e.changes()[0].detail);
  EXPECT_EQ("create_rel 14-[PART_OF]->15", e.changes()[2].op + " " + e.changes()[2].detail);
  EXPECT_EQ(testing::edges_of(e.database()), testing::edges_of(load_snapshot(good_path)));
  e.checkpoint();  // the log folded into the snapshot and retired
  const std::string on_disk = testing::read_text_file(good_path), before = contents(e.database());
  const std::string log = good_path + "-wal";
  std::filesystem::create_directory(log);  // a directory: no log can be opened
  for (const char* statement : {"CREATE (:Brand {name: 'new'})", "CREATE (1)-[:BRAND_NEW]->(2)",
                                "CREATE (9)-[:FOLLOWS]->(0)"}) {
    SCOPED_TRACE(statement);
    EXPECT_EQ("write-ahead log " + log + ": Is a directory", run(e, statement).error);
    EXPECT_EQ(before, contents(e.database()));
    testing::check_invariants(e.database());
  }
  EXPECT_EQ(3u, e.change_count());
  std::filesystem::remove(log);
  EXPECT_EQ(on_disk, testing::read_text_file(good_path));  // nothing of the failed relationship is left to collide with
  EXPECT_TRUE(run(e, "CREATE (9)-[:FOLLOWS]->(0)").ok);
}

}  // namespace
}  // namespace orvane
