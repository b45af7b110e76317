// The console statement dispatcher: every classification row in its order,
// parameter substitution, EXPLAIN and PROFILE, CREATE with its rollback,
// the bounds of the query log and the change list, the auto-entropy
// schedule, and the texts from users that must not break a JSON answer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "storage/snapshot.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using json = nlohmann::json;

// A fresh engine: mixed_graph (10 persons, 4 papers; 0 follows 1 and 2) as
// the current "orvane", and star(2) as "simple".
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

struct Case {
  const char* before;     // a statement run first on the same engine, or nullptr
  std::string statement;
  const char* kind;
  std::string error;      // "" when the statement succeeds
  const char* pointer;    // a member of `data` to check, "" for none
  const char* value;      // its compact JSON
};

void check(const Case& c, const ParamMap* params = nullptr) {
  SCOPED_TRACE(c.statement);
  Engine e = small_engine();
  if (c.before != nullptr) {
    ASSERT_TRUE(run(e, c.before).ok) << c.before;
  }
  const ConsoleResult r = run(e, c.statement, params);
  EXPECT_EQ(c.kind, r.kind);
  EXPECT_EQ(c.error, r.error);
  EXPECT_EQ(c.error.empty(), r.ok);
  EXPECT_EQ(c.statement, r.query);
  if (*c.pointer != '\0') {
    EXPECT_EQ(c.value, member(r.data, c.pointer));
  }
}

TEST(Dispatcher, EveryClassificationRowInOrder) {
  testing::TempDir dir;
  testing::write_text_file(dir.file("export/nodes.csv"), ":ID,name,:LABEL\n1,ann,Person\n2,bob,Person\n");
  testing::write_text_file(dir.file("export/rels.csv"), ":START_ID,:END_ID,:TYPE\n1,2,FOLLOWS\n");
  const std::string missing = dir.file("missing");
  const Case cases[] = {
      {nullptr, ":help", "help", "", "/title", R"("Halvex Browser")"},
      {nullptr, "  :HELP ;  ", "help", "", "/title", R"("Halvex Browser")"},
      {nullptr, ":helpme", "error", "unrecognized query — try :help", "", ""},
      {nullptr, "CALL dbms.procedures()", "help", "", "/procedures/28/name", R"("dbms.components")"},
      {nullptr, ":play cypher", "guide", "", "/guide/id", R"("cypher")"},
      {nullptr, ":guide FABRIC", "guide", "", "/guide/id", R"("enterprise")"},
      {nullptr, ":params", "stats", "", "/params/other", R"("12")"},
      {nullptr, ":style", "stats", "", "/style/rel/FOLLOWS", R"("#1a4f8b")"},
      {nullptr, ":config", "stats", "", "/dbms.default_database", R"("orvane")"},
      {nullptr, "CALL dbms.clientConfig()", "stats", "", "/dbms.memory.heap.max_size", R"("896B-soa")"},
      {nullptr, ":server", "stats", "", "/nodes", "14"},
      {nullptr, ":clear", "clear", "", "/cleared", "true"},
      {":help", ":history", "stats", "", "/queries/0/cypher", R"(":help")"},
      {nullptr, ":BOLT", "help", "", "", ""},
      {nullptr, "CREATE (:Robot {name: 'r'})", "stats", "", "/id", "14"},
      {nullptr, "CALL orvane.search('q2')", "stats", "", "/hits/0/name", R"("q2")"},
      {nullptr, "CALL db.index.fulltext.queryNodes()", "stats", "", "/q", R"("person")"},
      {nullptr, "CALL orvane.node(3)", "stats", "", "/out_degree", "2"},
      {nullptr, "CALL apoc.meta.stats()", "stats", "", "/relCount", "17"},
      {nullptr, "CALL orvane.cloud()", "stats", "", "/catalog/remotes", "[]"},
      {nullptr, "CALL orvane.cutover('bolt://db.example:7687')", "stats", "", "/source/bolt",
       R"("bolt://db.example:7687")"},
      {nullptr, ":cutover", "stats", "", "/destination/database", R"("migrated")"},
      {nullptr, "CALL orvane.migrate('" + dir.file("export") + "')", "stats", "", "/database", R"("migrated")"},
      {nullptr, "load csv from '" + dir.file("export") + "'", "stats", "", "/nodes", "2"},
      {nullptr, "LOAD CSV FROM '" + missing + "'", "error",
       "CSV/JSONL migration requires an existing export directory: " + missing, "", ""},
      {nullptr, "LOAD FROM NEO4J", "error", "LOAD FROM NEO4J needs a Bolt URI", "", ""},
      {nullptr, "CALL orvane.loadFromNeo4j('', \"\")", "error", "LOAD FROM NEO4J needs a Bolt URI", "", ""},
      {nullptr, "USE simple", "stats", "", "/using", R"("simple")"},
      {nullptr, "USE nope", "error", "unknown database: nope", "", ""},
      {nullptr, ":schema", "schema", "", "/edges", "17"},
      {nullptr, "CALL db.constraints()", "schema", "", "/constraints", "[]"},
      {nullptr, "CALL db.schema()", "schema", "", "/rel_types", R"(["AUTHORED","FOLLOWS"])"},
      {nullptr, "CALL dbms.cluster.overview()", "cluster", "", "/role", R"("coordinator")"},
      {nullptr, "CALL orvane.fabric()", "cluster", "", "/fabric", "false"},
      {nullptr, "CALL gds.pageRank()", "gds", "", "/algo", R"("pagerank")"},
      {nullptr, "CALL gds.wcc()", "gds", "", "/wcc_count", "8"},
      {nullptr, "CALL gds.shortestPath(4, 6)", "gds", "", "/shortest_path", "[4,5,6]"},
      {nullptr, "CALL gds.shortestPath(4)", "gds", "", "/shortest_path", "[]"},
      {nullptr, "CALL gds.beta.unknown()", "gds", "", "/algo", R"("all")"},
      {nullptr, ":explore", "graph", "", "", ""},
      {nullptr, ":entropy", "entropy", "", "/core_nodes", "5"},
      {nullptr, "CALL orvane.entropy.optimize()", "entropy", "", "/ok", "true"},
      {nullptr, "CALL orvane.entropy.auto()", "entropy", "", "/auto_entropy_every", "1"},
      {nullptr, "CALL orvane.entropy.lab()", "entropy", "", "/mess_level", "3"},
      {nullptr, "CALL orvane.entropy.progressive()", "entropy", "", "/people", "10"},
      {nullptr, ":rag", "rag", "", "/expand_hops", "0"},
      {nullptr, ":sysinfo", "stats", "", "/nodes", "14"},
      {":help", "CALL dbms.listQueries()", "stats", "", "/queries/0/ok", "true"},
      {nullptr, "MATCH (p:Person {id: 0})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "2"},
      {nullptr, "MATCH (p:Paper) RETURN p.name LIMIT 3", "rows", "", "/rows/2/0", R"("q2")"},
      {nullptr, "MATCH (p:Person {id: 0}) RETURN p.nosuch", "rows", "", "/rows/0/0", "null"},
      {nullptr, "MATCH (p:Nope RETURN count(*)", "error", "expected ')', got 'RETURN'", "", ""},
      {nullptr, "MERGE (n:X)", "error", "unrecognized query — try :help", "", ""},
      {nullptr, "", "error", "unrecognized query — try :help", "", ""},
  };
  for (const Case& c : cases) check(c);
}

TEST(Dispatcher, CountIsTheAnswerOfACountQueryAndTheRowsOfARowQuery) {
  Engine e = small_engine();
  EXPECT_EQ(2u, run(e, "MATCH (p:Person {id: 0})-[:FOLLOWS]->(x) RETURN count(*)").count);
  EXPECT_EQ(3u, run(e, "MATCH (p:Paper) RETURN p.name LIMIT 3").count);
  const ConsoleResult view = run(e, "CALL orvane.explore(0, 1)");
  EXPECT_EQ(5u, view.nodes.size());  // 0, the two it follows and its two papers
  EXPECT_EQ(4u, view.rels.size());
}

TEST(Dispatcher, Parameters) {
  const Case cases[] = {
      {nullptr, "MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "2"},
      {nullptr, "MATCH (p:Person {id: $nosuch}) RETURN count(*)", "error", "unknown parameter: nosuch", "", ""},
      {nullptr, "MATCH (p:Person {id: $}) RETURN count(*)", "error", "unknown parameter: ", "", ""},
      {nullptr, "CALL orvane.search('$id')", "stats", "", "/q", R"("$id")"},
      {nullptr, "MATCH (p:Person {name: \"$id\"}) RETURN count(*)", "count", "", "/rows/0/0", "0"},
      {":param x => 'p1'", "MATCH (p:Person {name: $x}) RETURN count(*)", "count", "", "/rows/0/0", "1"},
      {":param y = 3", "MATCH (p:Person {id: $y})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "1"},
      {":param t => true", "MATCH (p:Person {id: $t}) RETURN count(*)", "count", "", "/rows/0/0", "0"},
      {":param j => {not json", "MATCH (p:Person {name: $j}) RETURN count(*)", "count", "", "/rows/0/0", "0"},
      {nullptr, ":param x => 'a b'", "stats", "", "/params/x", R"("a b")"},
      {nullptr, ":param q = \"a\"", "stats", "", "/params/q", R"("a")"},
      {nullptr, ":param lonely", "error", ":param name => value", "", ""},
      {nullptr, ":param $id => 5", "stats", "", "/params/$id", R"("5")"},
  };
  for (const Case& c : cases) check(c);

  // A parameter map replaces the engine's parameters altogether.
  const ParamMap map{{"id", json(3)}, {"who", json("p1")}};
  check({nullptr, "MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)", "count", "", "/rows/0/0", "1"}, &map);
  check({nullptr, "MATCH (p:Person {name: $who}) RETURN count(*)", "count", "", "/rows/0/0", "1"}, &map);
  check({nullptr, "MATCH (p:Person {id: $other}) RETURN count(*)", "error", "unknown parameter: other", "", ""},
        &map);

  Engine e = small_engine();
  run(e, ":param x => 'a b'");
  EXPECT_EQ("a b", e.params.at("x"));
  ASSERT_EQ(1u, e.changes.size());
  EXPECT_EQ("param x=a b", e.changes[0].op + " " + e.changes[0].detail);
}

TEST(Dispatcher, ExplainAndProfile) {
  Engine e = small_engine();
  const ConsoleResult explained = run(e, "explain MATCH (n) RETURN count(n)");
  EXPECT_EQ("plan", explained.kind);
  EXPECT_EQ(
      R"x({"children":[{"children":[{"children":[{"operator":"NodeScan"}],"operator":"RelationshipUniqueExpand"}],)x"
      R"x("operator":"ProjectionOrCount"}],"ns":0,"operator":"ProduceResults","query":"MATCH (n) RETURN count(n)",)x"
      R"x("ran":false,"rows":0,"runtime":"CPU path enumeration over typed CSR"})x",
      explained.data);

  const Case cases[] = {
      {nullptr, "PROFILE MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)", "plan", "", "/rows", "2"},
      {nullptr, "PROFILE MATCH (p:Person {id: 0})-[:FOLLOWS]->(x) RETURN count(*)", "plan", "", "/ran", "true"},
      {nullptr, "profile explain MATCH (n) RETURN count(n)", "plan", "", "/ran", "false"},
      {nullptr, "EXPLAIN MATCH (p:Person {id: $id}) RETURN count(*)", "plan", "", "/query",
       R"x("MATCH (p:Person {id: 0}) RETURN count(*)")x"},
      {nullptr, "EXPLAIN :help", "error", "query must start with MATCH", "", ""},
      {nullptr, "PROFILE :nonsense", "error", "unrecognized query — try :help", "", ""},
      {nullptr, "  PROFILE   CREATE (:Robot)", "plan", "", "/ran", "true"},
      // A statement a counting method answers names that method instead of
      // the enumerator's stages, both before and after running.
      {nullptr, "EXPLAIN MATCH (a:Person)-[:FOLLOWS]->(b) RETURN count(*)", "plan", "", "/children/0/operator",
       R"("CountByDegree")"},
      {nullptr, "PROFILE MATCH (p {id: 0})-[:FOLLOWS*0..2]->(x) RETURN count(DISTINCT x)", "plan", "",
       "/children/0/operator", R"("BreadthFirstReach")"},
      {nullptr, "PROFILE MATCH (p {id: 0})-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)", "plan", "",
       "/runtime", R"("CPU counting over typed CSR")"},
      {nullptr, "PROFILE MATCH (p {id: 0})-[:FOLLOWS*4]->(x) RETURN count(*)", "plan", "", "/children/0/operator",
       R"("ProjectionOrCount")"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Dispatcher, UnknownTargetDatabaseFailsBeforeAnythingRuns) {
  Engine e = small_engine();
  EXPECT_EQ("unknown database: nope", run(e, "CREATE (:Robot)", nullptr, "nope").error);
  EXPECT_EQ("unknown database: nope", run(e, ":help", nullptr, "nope").error);
  EXPECT_EQ(14u, e.database().graph.node_count);
  EXPECT_TRUE(run(e, "CREATE (:Robot)", nullptr, "simple").ok);
  EXPECT_EQ(4u, e.database("simple").graph.node_count);
}

TEST(Dispatcher, FailuresAreCountedAndTheLogKeepsTheLatest200) {
  Engine e = small_engine();
  run(e, ":help");
  EXPECT_EQ("", run(e, ":nonsense").data);
  EXPECT_EQ(1u, e.statement_count);
  EXPECT_EQ(1u, e.error_count);
  ASSERT_EQ(2u, e.query_log.size());
  EXPECT_EQ(":nonsense", e.query_log.back().cypher);
  EXPECT_TRUE(e.query_log.back().ns == 0.0 && !e.query_log.back().ok);
  EXPECT_GT(e.total_statement_ns, 0.0);
  for (int i = 0; i < 199; ++i) run(e, ":clear");
  EXPECT_EQ(":nonsense", e.query_log.front().cypher);  // the oldest of 201 is dropped
  for (int i = 0; i < 250; ++i) run(e, ":fail" + std::to_string(i));
  ASSERT_EQ(200u, e.query_log.size());
  EXPECT_EQ(":fail50", e.query_log.front().cypher);
  EXPECT_EQ(251u, e.error_count);
}

TEST(Dispatcher, AutoEntropyRunsOnEveryNthCompletedStatement) {
  Engine e = small_engine();
  e.auto_entropy_every = 3;
  const auto optimisations = [&] {
    std::size_t n = 0;
    for (const ChangeEvent& c : e.changes) n += c.op == "entropy_optimize" ? 1 : 0;
    return n;
  };
  run(e, ":help");
  run(e, ":nonsense");  // thrown failures skip the schedule
  run(e, ":clear");
  EXPECT_EQ(0u, optimisations());
  EXPECT_EQ(2, e.statements_since_optimize);
  run(e, ":sysinfo");
  EXPECT_EQ(1u, optimisations());
  EXPECT_EQ(0, e.statements_since_optimize);
  for (int i = 0; i < 3; ++i) run(e, ":help");
  EXPECT_EQ(2u, optimisations());
}

TEST(Dispatcher, ChangeEventsKeepTheLatest10000AndCountEveryOne) {
  Engine e = small_engine();
  for (int i = 0; i < 10005; ++i) run(e, ":param p => " + std::to_string(i));
  ASSERT_EQ(kChangeEventCapacity, e.changes.size());
  EXPECT_EQ("p=5", e.changes.front().detail);
  EXPECT_EQ(10005u, e.change_count);
  EXPECT_EQ("10005", member(run(e, ":sysinfo").data, "/cdc_events"));
}

TEST(Dispatcher, StyleIsStoredOnlyAsOneJsonObject) {
  const Case cases[] = {
      {nullptr, ":style {", "error", "style must be a JSON object", "", ""},
      {nullptr, ":style {\"node\":{}} extra", "error", "style must be a JSON object", "", ""},
      {nullptr, ":style {\"a\":$id}", "error", "style must be a JSON object", "", ""},  // no parameters here
      {nullptr, ":style {\"node\":{\"caption\":\"{id}\"}}", "stats", "", "/style/node/caption", R"("{id}")"},
      {":style {\"a\":1}", ":style", "stats", "", "/style", R"({"a":1})"},
      {nullptr, ":style [1]", "stats", "", "/style/rel/AUTHORED", R"("#0b1f33")"},
  };
  for (const Case& c : cases) check(c);
  Engine e = small_engine();
  const std::string before = e.style;
  run(e, ":style {");
  EXPECT_EQ(before, e.style);
  EXPECT_EQ(R"("#0b1f33")", member(run(e, ":style").data, "/style/node/Person"));
}

TEST(Dispatcher, TextFromUsersStaysValidJson) {
  Engine e = small_engine();
  const std::string odd = "a\"b\\c\td";
  e.register_database(odd, testing::star(1));
  EXPECT_EQ(json(odd).dump(), member(run(e, "USE " + odd).data, "/using"));

  const ConsoleResult created = run(e, "CREATE (:Robot {name: 'say \"hi\"\\t'})");
  ASSERT_TRUE(created.ok) << created.error;
  EXPECT_EQ(R"("say \"hi\"\t")", member(created.data, "/name"));

  // Bytes that are not UTF-8 never reach the parameters, the selection or a
  // document.
  for (const std::string& bad : {std::string("USE \xff"), std::string(":param x => \xc3"), std::string("\xff")}) {
    const ConsoleResult r = run(e, bad);
    EXPECT_EQ("text is not valid UTF-8", r.error);
  }
  EXPECT_FALSE(e.params.contains("x"));
  EXPECT_EQ(odd, e.current);
  EXPECT_NO_THROW(json::parse(run(e, ":history").data));
}

TEST(Dispatcher, LabRefusesCorporaTooLargeForAServer) {
  Engine e = small_engine();
  e.database().people = 1999999;
  e.database().papers = 2;
  for (const char* statement : {":entropy lab", "CALL orvane.entropy.ladder()"}) {
    EXPECT_EQ("entropy lab allows at most 2000000 nodes", run(e, statement).error) << statement;
  }
}

// ---- CREATE ----

struct CreateCase {
  std::string statement;
  const char* error;
  const char* data;  // the whole document when it succeeds
};

TEST(DispatcherCreate, NodesAndRelationships) {
  const CreateCase cases[] = {
      {"CREATE (:Robot {name: 'r2', serial: 5})", "",
       R"({"id":14,"label":"Robot","name":"r2","properties":{"name":"r2","serial":5}})"},
      {"create (n:Gadget {title: 'T'});", "", R"({"id":14,"label":"Gadget","name":"","properties":{"title":"T"}})"},
      {"CREATE (:X {s: '-->', t: '{]-'})", "", R"({"id":14,"label":"X","name":"","properties":{"s":"-->","t":"{]-"}})"},
      {"create (1)-[:KNOWS]->(2)", "", R"({"src":1,"dst":2,"type":"KNOWS"})"},
      {"CREATE ( 3 )-[:FOLLOWS]-> ( 4 ) ;", "", R"({"src":3,"dst":4,"type":"FOLLOWS"})"},
      {"CREATE (3) - [:FOLLOWS] -> (4)", "CREATE requires one explicitly labelled node", ""},  // no arrow: "- ["
      {"CREATE (0)-[:FOLLOWS]->(1)", "parallel relationships are not yet supported", ""},
      {"CREATE (:Person:Author {name: 'x'})", "CREATE requires one explicitly labelled node", ""},
      {"CREATE (n {name: 'x'})", "CREATE requires one explicitly labelled node", ""},
      {"CREATE (:A), (:B)", "CREATE requires one explicitly labelled node", ""},
      {"CREATE (a:X)-[:R]->(b:Y)",
       "relationship CREATE requires (internal_id)-[:TYPE]->(internal_id); other forms are unsupported", ""},
      {"CREATE (1)<-[:R]-(2)",
       "relationship CREATE requires (internal_id)-[:TYPE]->(internal_id); other forms are unsupported", ""},
      {"CREATE (1)-[:R]->(14)", "relationship endpoint does not exist", ""},
      {"CREATE (99999999999999999999999)-[:R]->(1)", "relationship endpoint does not exist", ""},
  };
  for (const CreateCase& c : cases) {
    SCOPED_TRACE(c.statement);
    Engine e = small_engine();
    const Database before = e.database();
    const ConsoleResult r = run(e, c.statement);
    EXPECT_EQ(c.error, r.error);
    if (r.ok) {
      EXPECT_EQ("stats", r.kind);
      EXPECT_EQ(c.data, r.data);
      EXPECT_TRUE(e.database().graph.compiled);
      testing::check_invariants(e.database());
    } else {
      EXPECT_EQ(testing::edges_of(before), testing::edges_of(e.database()));
      EXPECT_EQ(before.node_types, e.database().node_types);
      EXPECT_EQ(before.names, e.database().names);
      EXPECT_EQ(0u, e.change_count);
    }
  }
}

TEST(DispatcherCreate, NamesEventsAndTheSnapshot) {
  testing::TempDir dir;
  Engine e = small_engine();
  e.snapshot_path = dir.file("graph.orv");
  ASSERT_TRUE(run(e, "CREATE (:Gadget {size: 2})").ok);
  ASSERT_TRUE(run(e, "CREATE (:Gadget {username: 'u', name: 7})").ok);
  ASSERT_TRUE(run(e, "CREATE (14)-[:PART_OF]->(15)").ok);
  EXPECT_EQ("Gadget-14", e.database().names[14]);
  EXPECT_EQ("u", e.database().names[15]);
  ASSERT_EQ(3u, e.changes.size());
  EXPECT_EQ("create_node Gadget:(:Gadget {size: 2})", e.changes[0].op + " " + e.changes[0].detail);
  EXPECT_EQ("create_rel 14-[PART_OF]->15", e.changes[2].op + " " + e.changes[2].detail);
  const Database saved = load_snapshot(e.snapshot_path);
  EXPECT_EQ(16u, saved.graph.node_count);
  EXPECT_EQ(testing::edges_of(e.database()), testing::edges_of(saved));
}

TEST(DispatcherCreate, AFailedSaveChangesNothingInMemoryOrOnDisk) {
  testing::TempDir dir;
  Engine e = small_engine();
  e.snapshot_path = dir.file("graph.orv");
  ASSERT_TRUE(run(e, "CREATE (:Robot)").ok);
  const std::string on_disk = testing::read_text_file(e.snapshot_path);
  const Database before = e.database();

  // A failing statement leaves the file alone.
  EXPECT_FALSE(run(e, "CREATE (0)-[:FOLLOWS]->(1)").ok);
  EXPECT_EQ(on_disk, testing::read_text_file(e.snapshot_path));

  // A save that fails takes the new node, label, type and relationship back.
  const std::string good_path = e.snapshot_path;
  e.snapshot_path = dir.path();  // a directory: the save is refused
  for (const char* statement : {"CREATE (:Brand {name: 'new'})", "CREATE (1)-[:BRAND_NEW]->(2)",
                                "CREATE (9)-[:FOLLOWS]->(0)"}) {
    SCOPED_TRACE(statement);
    const ConsoleResult r = run(e, statement);
    EXPECT_EQ("cannot write snapshot " + dir.path() + ": is a directory", r.error);
    EXPECT_EQ(testing::edges_of(before), testing::edges_of(e.database()));
    EXPECT_EQ(before.node_types, e.database().node_types);
    EXPECT_EQ(before.rel_types, e.database().rel_types);
    EXPECT_EQ(before.names, e.database().names);
    testing::check_invariants(e.database());
  }
  EXPECT_EQ(1u, e.change_count);
  EXPECT_EQ(on_disk, testing::read_text_file(good_path));

  // Nothing of the failed relationship is left to collide with.
  e.snapshot_path = good_path;
  EXPECT_TRUE(run(e, "CREATE (9)-[:FOLLOWS]->(0)").ok);
}

}  // namespace
}  // namespace orvane
