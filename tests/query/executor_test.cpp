// Executor: hand-checked answers and budgets on hand-built graphs; its start
// shortcuts give exactly the rows of a full scan; its counts on corpora,
// before and after renumbering, equal a brute-force walk over the raw edge
// list. Counting planner: on thousands of small random graphs (self-loops,
// reciprocal pairs, three types and labels, isolated nodes, properties, a
// stored "id", renumbering) every statement of a recognised shape, and near
// misses, counts exactly what the path enumerator counts; so on a corpus.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <random>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "query/count_planner.h"
#include "query/cypher_statement.h"
#include "query/executor.h"
#include "query/query.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::GraphBuilder;

nlohmann::json rows_json(const Database& db, const std::string& text) { return execute_rows(db, parse_query(text)); }
std::string rows(const Database& db, const std::string& text) { return rows_json(db, text).dump(); }
std::string error_of(const Database& db, const std::string& text) {
  return testing::error_of([&] { execute_rows(db, parse_query(text)); });
}

void expect_counts(const Database& db, std::initializer_list<std::pair<std::uint64_t, const char*>> cases) {
  for (const auto& [expected, text] : cases) EXPECT_EQ(expected, count_query_text(db, text)) << text;
}

TEST(Executor, TrianglesSelfLoopsUniquenessAndVariableLengthHops) {
  // Triangle a→b→c→a of type R, a self-loop d→d of R, and x→y of R and S.
  const Database db = GraphBuilder().people({"a", "b", "c", "d", "x", "y"})
                          .edge("a", "b", "R").edge("b", "c", "R").edge("c", "a", "R").edge("d", "d", "R")
                          .edge("x", "y", "R").edge("x", "y", "S").compiled();
  expect_counts(db, {
      {3, "MATCH (a)-[:R]->(b)-[:R]->(c)-[:R]->(a) RETURN count(*)"},
      {3, "MATCH (a)-[:R]->(b)-[:R]->(c)-[:R]->(a) WHERE a <> b AND b <> c RETURN count(*)"},
      // The self-loop closes a "triangle" d→d→d→d only by reusing it: never.
      {1, "MATCH (a {name: 'd'})-[:R]-(b) RETURN count(*)"},
      {1, "MATCH (a {name: 'd'})-[:R]->(a) RETURN count(*)"},
      {0, "MATCH (a {name: 'd'})-[:R]->(b)-[:R]->(c) RETURN count(*)"},
      // x→y of R used once; R and S are two relationships.
      {0, "MATCH (a {name: 'x'})-[:R]->(b)<-[:R]-(c) RETURN count(*)"},
      {1, "MATCH (a)-[:R]->(b)<-[:S]-(c) RETURN count(*)"},
      {2, "MATCH (a)-[:S]-(b) RETURN count(*)"},
      {6, "MATCH (a) RETURN count(*)"},
      {0, "MATCH (a:Nope) RETURN count(*)"},
      {3, "MATCH (a {name: 'a'})-[:R*0..5]->(x) RETURN count(DISTINCT x)"},
      {4, "MATCH (a {name: 'a'})-[:R*0..5]->(x) RETURN count(*)"},  // lengths 0, 1, 2, 3: no reuse
      {1, "MATCH (a {name: 'a'})-[:R*0]->(x) RETURN count(*)"},
      {1, "MATCH (a {name: 'a'})-[:R*3]->(a) RETURN count(*)"},
      // Of the paths a, a→b, a→b→c and a→b→c→a, WHERE drops the two that end at a.
      {2, "MATCH (a {name: 'a'})-[:R*0..3]->(x) WHERE a <> x RETURN count(*)"},
      {6, "MATCH (a {name: 'a'})-[:R*1..3]-(x) RETURN count(*)"},
      {2, "MATCH (a {name: 'd'})-[:R*0..3]-(x) RETURN count(*)"},
  });
  // A label or type the schema lacks matches nothing; a count still answers in one row.
  EXPECT_EQ(R"({"columns":["c"],"rows":[[0]]})", rows(db, "MATCH (a)-[:NOPE]->(b) RETURN count(DISTINCT b) AS c"));
  EXPECT_EQ(R"({"columns":["count"],"rows":[[0]]})", rows(db, "MATCH (a)-[:R]->(b:Nope) RETURN count(b)"));
  EXPECT_EQ(R"({"columns":["a"],"rows":[]})", rows(db, "MATCH (a:Nope) RETURN a"));
  EXPECT_EQ(R"({"columns":["x.name"],"rows":[["a"],["b"],["c"],["a"]]})",
            rows(db, "MATCH (a {name: 'a'})-[:R*0..3]->(x) RETURN x.name"));
}

TEST(Executor, RowsNodesDistinctAndIdFallback) {
  Database db = GraphBuilder().people({"ann", "bob", "ann"}).follows("ann", "bob").compiled();
  db.set_property(1, "id", 99);
  EXPECT_EQ(R"({"columns":["n"],"rows":[[{"id":0,"labels":["Person"],"properties":{"name":"ann"}}]]})",
            rows(db, "MATCH (n {id: 0}) RETURN n"));
  EXPECT_EQ(R"({"columns":["n.id","k"],"rows":[[null,"ann"]]})", rows(db, "MATCH (n {id: 2}) RETURN n.id, n.name AS k"));
  expect_counts(db, {{1, "MATCH (n {id: 99}) RETURN count(*)"},
                     {0, "MATCH (n {id: 1}) RETURN count(*)"},  // a stored id wins over the identity
                     {1, "MATCH (n {id: 99.0}) RETURN count(*)"},
                     {0, "MATCH (n {name: null}) RETURN count(*)"}});
  EXPECT_EQ(R"({"columns":["n.name"],"rows":[["ann"],["bob"]]})", rows(db, "MATCH (n) RETURN DISTINCT n.name"));
  EXPECT_EQ(R"({"columns":["n.name"],"rows":[["ann"],["bob"],["ann"]]})", rows(db, "MATCH (n) RETURN n.name"));
  EXPECT_EQ(R"({"columns":["n.name"],"rows":[["ann"]]})", rows(db, "MATCH (n) RETURN n.name LIMIT 1"));
  EXPECT_EQ(R"({"columns":["total"],"rows":[[3]]})", rows(db, "MATCH (n) RETURN count(n) AS total"));
}

TEST(Executor, RowCompileAndWorkLimits) {
  Database db;
  for (int i = 0; i < 10000; ++i) db.add_person("p" + std::to_string(i), 0);
  db.add_paper("q", 0);
  EXPECT_EQ(R"({"columns":["n"],"rows":[]})", rows(db, "MATCH (n) RETURN n LIMIT 0"));  // uncompiled is fine
  EXPECT_EQ("graph is not compiled", error_of(db, "MATCH (n) RETURN n.name LIMIT 1"));
  EXPECT_EQ("graph is not compiled", error_of(db, "MATCH (n) RETURN count(*)"));
  db.compile();
  EXPECT_EQ("result exceeds 10000 rows; add an explicit LIMIT", error_of(db, "MATCH (n) RETURN n.name"));
  EXPECT_EQ(10000u, rows_json(db, "MATCH (n) RETURN n.name LIMIT 10000")["rows"].size());
  EXPECT_EQ(10000u, rows_json(db, "MATCH (n:Person) RETURN n.name")["rows"].size());
  EXPECT_EQ(0u, rows_json(db, "MATCH (n) WHERE n <> n RETURN n.name")["rows"].size());
  EXPECT_EQ("row query requires execute_rows", testing::error_of([&] { execute_query(db, parse_query("MATCH (n) RETURN n")); }));

  // A complete digraph on 12 nodes has far more than 10^7 relationship-unique
  // paths of length 8.
  db = Database();
  for (int i = 0; i < 12; ++i) db.add_person("p" + std::to_string(i), 0);
  for (std::uint32_t k = 0; k < 144; ++k) {
    if (k / 12 != k % 12) db.add_follows(k / 12, k % 12);
  }
  db.compile();
  EXPECT_EQ("query work limit exceeded; narrow the pattern or add LIMIT",
            error_of(db, "MATCH (a)-[:FOLLOWS*8]->(b) RETURN count(*)"));
  EXPECT_EQ(R"({"columns":["b.name"],"rows":[["p0"]]})", rows(db, "MATCH (a)-[:FOLLOWS*8]->(b) RETURN b.name LIMIT 1"));  // p0→p1→p0→p2→…→p4→p0
  QlQuery bad = parse_query("MATCH (a) RETURN count(*)");
  bad.where_not_equal.emplace_back("a", "zz");
  EXPECT_EQ("unknown variable", testing::error_of([&] { execute_query(db, bad); }));
}

// {id: N} names identity N only on a graph of the corpus generator (and
// only on nodes without a stored "id"); on any other graph it matches the
// stored property, as in Neo4j: an imported Northwind answers no row.
TEST(ExecutorStart, IdentityReadingOnlyOnGeneratedGraphs) {
  Database generated = testing::mixed_graph();
  Database imported = generated;
  imported.generated = false;
  Database stored = imported;
  stored.set_property(3, "id", 100);
  const struct {
    const Database* db;
    std::string statement, rows;
  } cases[] = {
      {&generated, "MATCH (n {id: 0}) RETURN n.name", R"([["p0"]])"},
      {&imported, "MATCH (n {id: 0}) RETURN n.name", "[]"},
      {&imported, "MATCH (n {id: 0})-[:FOLLOWS]->(m) RETURN count(*)", "[[0]]"},
      {&stored, "MATCH (n {id: 100}) RETURN n.name", R"([["p3"]])"},
      {&stored, "MATCH (n {id: 100.0}) RETURN n.name", R"([["p3"]])"},
      {&stored, "MATCH (n {id: 3}) RETURN n.name", "[]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.rows, rows_json(*c.db, c.statement)["rows"].dump()) << c.statement << " generated=" << c.db->generated;
  }
}

// With no stored "id" anywhere, {id: N} starts at identity N alone; once a
// node stores its own identity as "id", every start is scanned again. Both
// must answer alike, including ids beyond the graph and negative ones. A
// labelled first node starts from that label's identities in ascending
// order: the full scan's rows whose first node has the label. One
// unfiltered node is counted from the node and label counts.
TEST(ExecutorStart, IdFilterAndLabelListAnswerLikeTheScan) {
  const Database indexed = testing::mixed_graph();
  Database scanned = indexed;
  scanned.set_property(3, "id", 3);
  ASSERT_EQ(0u, indexed.stored_id_nodes);
  ASSERT_EQ(1u, scanned.stored_id_nodes);
  for (const std::string id : {"0", "3", "5", "12", "13", "14", "99", "-1", "4294967295"}) {
    for (const std::string& pattern : {"MATCH (a {id: " + id + "})-[:FOLLOWS*0..2]-(b) RETURN a.name, b.name",
                                       "MATCH (a:Paper {id: " + id + "})<-[:AUTHORED]-(b) RETURN b.name",
                                       "MATCH (a {id: " + id + "}) RETURN count(*)"}) {
      EXPECT_EQ(rows_json(scanned, pattern), rows_json(indexed, pattern)) << pattern;
    }
  }
  const nlohmann::json all = rows_json(indexed, "MATCH (a)-[:AUTHORED*0..1]-(b)-[:FOLLOWS*0..1]->(c) RETURN a, c.name");
  for (const std::string label : {"Person", "Paper"}) {
    nlohmann::json expected = nlohmann::json::array();
    for (const nlohmann::json& row : all["rows"]) {
      if (row[0]["labels"][0] == label) expected.push_back(row);
    }
    const std::string labelled = "MATCH (a:" + label + ")-[:AUTHORED*0..1]-(b)-[:FOLLOWS*0..1]->(c) RETURN a, c.name";
    EXPECT_EQ(expected, rows_json(indexed, labelled)["rows"]) << label;
  }
  expect_counts(indexed, {{14, "MATCH (n) RETURN count(*)"},
                          {10, "MATCH (n:Person) RETURN count(n)"},
                          {4, "MATCH (n:Paper) RETURN count(DISTINCT n)"},
                          {1, "MATCH (n:Person {name: 'p0'}) RETURN count(*)"},
                          {1, "MATCH (n {id: 13}) RETURN count(*)"}});
}

constexpr std::array<const char*, 3> kTypes = {"FOLLOWS", "AUTHORED", "LIKES"};
constexpr std::array<const char*, 3> kLabels = {"Person", "Paper", "Tag"};
constexpr std::array<const char*, 3> kArrows[] = {{"-", "->", "out"}, {"<-", "-", "in"}, {"-", "-", "both"}};

Database random_graph(std::mt19937& rng, bool parallel = false) {
  Database db;
  db.add_node_type("Tag");
  db.add_rel_type("LIKES");
  // Mostly 4 to 9 nodes; now and then an empty or tiny graph.
  const std::uint32_t n = rng() % 4 == 0 ? rng() % 4 : 4 + rng() % 6;
  for (std::uint32_t i = 0; i < n; ++i) {
    db.add_node(db.node_type_id(kLabels[rng() % 3]), "n" + std::to_string(i), 0);
    if (rng() % 2) db.set_property(i, "k", static_cast<int>(rng() % 2));
  }
  // A stored "id" turns {id: N} into a property test on every node.
  if (n > 0 && rng() % 10 == 0) db.set_property(rng() % n, "id", static_cast<int>(rng() % n));
  for (std::uint32_t e = 0, edges = n == 0 ? 0 : rng() % (4 * n + 1); e < edges; ++e) {
    const std::uint32_t a = rng() % n;
    const std::uint32_t b = rng() % 5 == 0 ? a : rng() % n;
    const std::uint16_t type = db.rel_type_id(kTypes[rng() % 2 == 0 ? 0 : rng() % 3]);
    db.graph.add_edge(a, b, type);
    if (rng() % 3 == 0) db.graph.add_edge(b, a, type);
  }
  if (!parallel) db.graph.remove_duplicate_edges();
  db.compile();
  db.generated = true;
  if (n > 1 && rng() % 2) {
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin(), order.end(), rng);
    db.graph.apply_permutation(order);
  }
  return db;
}

// A node pattern: variable, then a label and a property filter at random.
std::string node(std::mt19937& rng, const std::string& variable, bool filters) {
  std::string text = "(" + variable;
  if (filters && rng() % 4 == 0) text += std::string(":") + kLabels[rng() % 3];
  if (filters && rng() % 6 == 0) text += " {k: " + std::to_string(rng() % 2) + "}";
  return text + ")";
}

std::string rel(std::mt19937& rng, const std::string& hops) {
  const auto& arrow = kArrows[rng() % 3];
  return std::string(arrow[0]) + "[:" + kTypes[rng() % 2 == 0 ? 0 : rng() % 3] + hops + "]" + arrow[1];
}

std::string anchor(std::mt19937& rng, std::uint32_t n) {
  const std::string label = rng() % 6 == 0 ? std::string(":") + kLabels[rng() % 3] : "";
  const std::uint32_t id = rng() % 10 == 0 || n == 0 ? n + rng() % 2 : rng() % n;  // now and then no such node
  return "(p" + label + " {id: " + std::to_string(id) + "})";
}

// One statement of a recognised shape (or a near miss), chosen at random.
std::string statement(std::mt19937& rng, std::uint32_t n) {
  switch (rng() % 5) {
    case 0: {  // whole-graph counts of one or two hops
      std::string text = "MATCH " + node(rng, "a", true) + rel(rng, "") + node(rng, "b", rng() % 4 != 0);
      if (rng() % 2) text += rel(rng, "") + node(rng, "c", true);
      return text + (rng() % 2 ? " RETURN count(*)" : " RETURN count(b)");
    }
    case 1: {  // reach from an anchor, a label, or everywhere
      const int min = static_cast<int>(rng() % 2);
      const int max = min + static_cast<int>(rng() % 4);
      const std::string start = rng() % 2 ? anchor(rng, n) : node(rng, "p", true);
      return "MATCH " + start + rel(rng, "*" + std::to_string(min) + ".." + std::to_string(max)) + node(rng, "x", true) +
             " RETURN count(DISTINCT x)";
    }
    case 2: {  // fixed chains from an anchor, a cycle back to it
      std::string text = "MATCH " + anchor(rng, n);
      const int total = 1 + static_cast<int>(rng() % 3);
      for (int used = 0; used < total;) {
        const int h = 1 + static_cast<int>(rng() % (total - used));
        used += h;
        const std::string end = used == total && rng() % 3 == 0 ? "(p)" : node(rng, used == total ? "x" : "", rng() % 2);
        text += rel(rng, h == 1 && rng() % 2 ? "" : "*" + std::to_string(h)) + end;
      }
      return text + " RETURN count(*)";
    }
    case 3: {  // cycles of three hops over the whole graph
      return "MATCH " + node(rng, "a", rng() % 3 == 0) + rel(rng, "") + node(rng, "b", rng() % 3 == 0) +
             rel(rng, "") + node(rng, rng() % 8 == 0 ? "b" : "c", rng() % 3 == 0) + rel(rng, "") +
             (rng() % 8 == 0 ? "(c)" : "(a)") + " RETURN count(*)";
    }
    default: {  // near misses the enumerator keeps: WHERE, repeats, ranges
      const std::string variants[] = {
          "MATCH " + node(rng, "a", true) + rel(rng, "") + "(b)" + rel(rng, "") + "(a) RETURN count(*)",
          "MATCH " + anchor(rng, n) + rel(rng, "*1..3") + "(x) WHERE p <> x RETURN count(DISTINCT x)",
          "MATCH " + anchor(rng, n) + rel(rng, "*2..3") + "(x) RETURN count(DISTINCT x)",
          "MATCH " + anchor(rng, n) + rel(rng, "*4") + "(x) RETURN count(*)",
          "MATCH " + anchor(rng, n) + rel(rng, "") + "(x)" + rel(rng, "") + "(x) RETURN count(*)",
      };
      return variants[rng() % 5];
    }
  }
}

// The relationships at each identity, a self-loop once.
std::vector<std::vector<std::size_t>> touching_of(const std::vector<Edge>& edges, std::uint64_t nodes) {
  std::vector<std::vector<std::size_t>> touching(nodes);
  for (std::size_t e = 0; e < edges.size(); ++e) {
    touching[edges[e].src].push_back(e);
    if (edges[e].dst != edges[e].src) touching[edges[e].dst].push_back(e);
  }
  return touching;
}

// Every relationship-unique path of a count statement, walked over the raw
// edge list in identities with no shortcut: the rows that pass WHERE and the
// distinct nodes of the counted variable.
struct BruteForce {
  const Database& db;
  const QlQuery& q;
  std::vector<std::vector<std::size_t>> touching = touching_of(db.graph.edges, db.graph.node_count);
  std::vector<bool> used = std::vector<bool>(db.graph.edges.size());
  std::vector<std::uint32_t> at = std::vector<std::uint32_t>(q.nodes.size());
  std::uint64_t rows = 0;
  std::set<std::uint32_t> counted = {};

  std::size_t first(const std::string& variable) const {
    std::size_t k = 0;
    while (q.nodes[k].variable != variable) ++k;
    return k;
  }
  bool fits(std::size_t k, std::uint32_t v) const {
    const QlNodePattern& n = q.nodes[k];
    if (!n.label.empty() && db.node_types[db.graph.labels[v]] != n.label) return false;
    if (!n.variable.empty() && first(n.variable) < k && at[first(n.variable)] != v) return false;
    const nlohmann::json& own = db.node_properties(v);
    for (const auto& [name, value] : n.properties) {
      // Without a stored "id", an integer {id: N} names the identity N.
      const bool stored = own.contains(name);
      if (stored ? value.is_null() || own[name] != value
                 : name != "id" || !value.is_number_integer() || value != nlohmann::json(v)) {
        return false;
      }
    }
    return true;
  }
  void node(std::size_t k, std::uint32_t v) {
    if (!fits(k, v)) return;
    at[k] = v;
    if (k < q.relationships.size()) return walk(k, 0, v);
    for (const auto& [a, b] : q.where_not_equal) {
      if (at[first(a)] == at[first(b)]) return;
    }
    ++rows;
    if (!q.count_star) counted.insert(at[first(q.count_variable)]);
  }
  void walk(std::size_t k, int hops, std::uint32_t v) {
    const QlRelPattern& r = q.relationships[k];
    if (hops >= r.min_hops) node(k + 1, v);
    if (hops == r.max_hops) return;
    for (std::size_t e : touching[v]) {
      const Edge& edge = db.graph.edges[e];
      const bool out = r.direction != QlDirection::In && edge.src == v;
      const bool in = r.direction != QlDirection::Out && edge.dst == v;
      if (used[e] || db.rel_types[edge.type] != r.type || (!out && !in)) continue;
      used[e] = true;
      walk(k, hops + 1, out ? edge.dst : edge.src);
      used[e] = false;
    }
  }
  std::uint64_t count() {
    for (const QlRelPattern& r : q.relationships) {
      if (!db.rel_type_ids.contains(r.type)) return 0;  // not even a zero-hop match
    }
    for (std::uint32_t v = 0; v < db.graph.node_count; ++v) node(0, v);
    return q.distinct ? counted.size() : rows;
  }
};

// On two corpora (one scattered), random statements of every counting shape
// answer what brute force counts, and the planner takes the shapes it
// recognises and agrees with the enumerator.
TEST(Differential, CountsMatchBruteForceOnCorpora) {
  const std::pair<const char*, CountMethod> cases[] = {
      {"MATCH (a:Person)-[:FOLLOWS]->(b) RETURN count(*)", CountMethod::CountByDegree},
      {"MATCH (a:Person)-[:FOLLOWS]->(b)-[:FOLLOWS]->(c) RETURN count(*)", CountMethod::CountByDegree},
      {"MATCH (a)-[:AUTHORED]->(b)<-[:AUTHORED]-(c:Person) RETURN count(*)", CountMethod::CountByDegree},
      {"MATCH (p:Person {id: 0})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)", CountMethod::BreadthFirstReach},
      {"MATCH (p:Person {id: 5})-[:FOLLOWS*1..4]->(x) RETURN count(DISTINCT x)", CountMethod::BreadthFirstReach},
      {"MATCH (p:Person {id: 7})-[:AUTHORED*1..3]-(x:Person) RETURN count(DISTINCT x)", CountMethod::BreadthFirstReach},
      {"MATCH (p:Person {id: 0})-[:FOLLOWS]->()-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)", CountMethod::LevelCount},
      {"MATCH (p:Person {id: 3})-[:FOLLOWS*3]->(x) RETURN count(*)", CountMethod::LevelCount},
      {"MATCH (p:Person {id: 3})-[:FOLLOWS]->()-[:AUTHORED]->()<-[:AUTHORED]-(x) RETURN count(*)",
       CountMethod::LevelCount},
      {"MATCH (p:Person {id: 0})-[:AUTHORED]->()<-[:AUTHORED]-(co) WHERE co <> p RETURN count(DISTINCT co)",
       CountMethod::Enumerate},
  };
  std::mt19937 rng(2024);
  for (std::uint32_t seed : {1u, 7u}) {
    Database db;
    generate_corpus(db, 120, 60, seed);
    optimize_layout(db);
    if (seed == 7) scatter_layout(db.graph, 3);
    for (const auto& [text, method] : cases) {
      const QlQuery q = parse_query(text);
      EXPECT_EQ(method, choose_count_method(db, q)) << text;
      EXPECT_EQ(enumerate_count(db, q), execute_query(db, q)) << text;
    }
    for (int trial = 0; trial < 150; ++trial) {
      const QlQuery q = parse_query(statement(rng, static_cast<std::uint32_t>(db.graph.node_count)));
      EXPECT_EQ((BruteForce{db, q}.count()), execute_query(db, q)) << q.text;
    }
  }
}

TEST(CountPlanner, AgreesWithTheEnumeratorOnRandomGraphs) {
  std::mt19937 rng(20261208);
  std::array<int, 5> by_method{};
  std::array<int, 5> nonzero{};
  for (int graph = 0; graph < 5000; ++graph) {
    const Database db = random_graph(rng);
    for (int s = 0; s < 8; ++s) {
      const std::string text = statement(rng, static_cast<std::uint32_t>(db.graph.node_count));
      const QlQuery q = parse_query(text);
      const int method = static_cast<int>(choose_count_method(db, q));
      const std::uint64_t expected = enumerate_count(db, q);
      ++by_method[method];
      nonzero[method] += expected != 0;
      ASSERT_EQ(expected, execute_query(db, q)) << text << " on graph " << graph;
    }
  }
  // Every method must have been exercised, not only the enumerator, and
  // often on statements that match something. The graphs above have no
  // parallel relationships; with them every method declines and the
  // enumerator counts one path per relationship, as the oracle does.
  EXPECT_GT(by_method[0], 1000);
  for (int m = 1; m < 5; ++m) {
    EXPECT_GT(by_method[m], 3000) << count_method_name(static_cast<CountMethod>(m));
    EXPECT_GT(4 * nonzero[m], by_method[m]) << count_method_name(static_cast<CountMethod>(m));
  }
}

// The new pipeline (parse, bind, plan, operators) counts every statement
// of the subset as the enumerator does, parallel relationships included,
// and its count rewrite takes each statement a counting method takes.
bool profile_names(const OperatorProfile& p, const std::string& name) {
  if (p.name == name) return true;
  for (const OperatorProfile& c : p.children) {
    if (profile_names(c, name)) return true;
  }
  return false;
}

TEST(Differential, NewPipelineCountsAsTheEnumerator) {
  std::mt19937 rng(20261209);
  int nonzero = 0, total = 0, by_method = 0;
  for (int graph = 0; graph < 1500; ++graph) {
    const Database db = random_graph(rng, graph % 3 == 0);
    for (int s = 0; s < 6; ++s) {
      const std::string text = statement(rng, static_cast<std::uint32_t>(db.graph.node_count));
      const QlQuery q = parse_query(text);
      const std::uint64_t expected = enumerate_count(db, q);
      const PreparedStatement prepared = prepare_statement(text, db);
      std::vector<std::vector<CypherValue>> rows;
      OperatorProfile profile;
      execute_statement(
          prepared, db, {}, WorkBound{},
          [&rows](const std::vector<CypherValue>& r) {
            rows.push_back(r);
            return true;
          },
          nullptr, &profile);
      ASSERT_EQ(1u, rows.size()) << text;
      ASSERT_EQ(static_cast<std::int64_t>(expected), rows[0][0].as_int()) << text << " on graph " << graph;
      const CountMethod method = choose_count_method(db, q);
      if (method != CountMethod::Enumerate) {
        EXPECT_TRUE(profile_names(profile, count_method_name(method))) << text;
        ++by_method;
      }
      nonzero += expected != 0;
      ++total;
    }
  }
  EXPECT_GT(4 * nonzero, total);
  EXPECT_GT(3 * by_method, total);
}

// Row statements of the subset keep their rows and their order through the
// pipeline: the scan of the first node by id, each path in the order the
// enumerator walks it, DISTINCT keeping first appearances, LIMIT cutting.
TEST(Differential, NewPipelineKeepsTheSubsetsRows) {
  std::mt19937 rng(20261210);
  int nonempty = 0, total = 0;
  for (int graph = 0; graph < 600; ++graph) {
    const Database db = random_graph(rng, graph % 3 == 0);
    for (int s = 0; s < 6; ++s) {
      std::string text = "MATCH " + node(rng, "a", true) + rel(rng, rng() % 3 == 0 ? "*1..2" : "") + node(rng, "b", true);
      if (rng() % 2) text += rel(rng, "") + node(rng, "c", true);
      text += std::string(rng() % 4 == 0 ? " RETURN DISTINCT b" : " RETURN a, b.k, b");
      if (rng() % 2) text += " LIMIT " + std::to_string(rng() % 6);
      const nlohmann::json expected = rows_json(db, text);
      const CypherResult got = run_statement(text, db);
      std::string want, have;
      for (const auto& row : expected["rows"]) {
        for (const auto& v : row) want += (v.is_object() ? v["id"].dump() : v.dump()) + ",";
        want += "|";
      }
      for (const auto& row : got.rows) {
        for (const CypherValue& v : row) {
          have += (v.kind() == CypherValue::Kind::kNode ? std::to_string(db.node_id(v.as_node().identity))
                   : v.is_null()                        ? std::string("null")
                                                        : std::to_string(v.as_int())) +
                  ",";
        }
        have += "|";
      }
      ASSERT_EQ(want, have) << text << " on graph " << graph;
      nonempty += !got.rows.empty();
      ++total;
    }
  }
  EXPECT_GT(3 * nonempty, total);
}

TEST(CountPlanner, DeclinesOnParallelRelationshipsWhereTheEnumeratorCountsEach) {
  std::mt19937 rng(20261209);
  int with_parallel = 0;
  for (int graph = 0; graph < 1500; ++graph) {
    const Database db = random_graph(rng, true);
    with_parallel += db.graph.parallel_relationships > 0;
    for (int s = 0; s < 8; ++s) {
      const QlQuery q = parse_query(statement(rng, static_cast<std::uint32_t>(db.graph.node_count)));
      if (db.graph.parallel_relationships > 0) {
        ASSERT_EQ(CountMethod::Enumerate, choose_count_method(db, q));
      }
      ASSERT_EQ((BruteForce{db, q}.count()), execute_query(db, q)) << q.text << " on graph " << graph;
    }
  }
  EXPECT_GT(with_parallel, 300);
}

}  // namespace
}  // namespace orvane
