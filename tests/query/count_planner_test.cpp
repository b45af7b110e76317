// Counting planner: on thousands of small random graphs (self-loops,
// reciprocal pairs, three types, three labels, isolated nodes, a property,
// sometimes a stored "id", sometimes renumbered) every statement of the
// shapes the counting methods recognise — and a few near misses — must
// count exactly what the path enumerator counts; then the same on a
// generated corpus small enough for the enumerator.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <random>
#include <string>

#include "graph/corpus.h"
#include "graph/database.h"
#include "query/count_planner.h"
#include "query/executor.h"
#include "query/query.h"

namespace orvane {
namespace {

constexpr std::array<const char*, 3> kTypes = {"FOLLOWS", "AUTHORED", "LIKES"};
constexpr std::array<const char*, 3> kLabels = {"Person", "Paper", "Tag"};
constexpr std::array<const char*, 3> kArrows[] = {{"-", "->", "out"}, {"<-", "-", "in"}, {"-", "-", "both"}};

Database random_graph(std::mt19937& rng) {
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
  db.compile();
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
  switch (rng() % 4) {
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

TEST(CountPlanner, AgreesWithTheEnumeratorOnRandomGraphs) {
  std::mt19937 rng(20261208);
  std::array<int, 4> by_method{};
  std::array<int, 4> nonzero{};
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
  // often on statements that match something.
  EXPECT_GT(by_method[0], 1000);
  for (int m = 1; m < 4; ++m) {
    EXPECT_GT(by_method[m], 3000) << count_method_name(static_cast<CountMethod>(m));
    EXPECT_GT(4 * nonzero[m], by_method[m]) << count_method_name(static_cast<CountMethod>(m));
  }
}

TEST(CountPlanner, AgreesWithTheEnumeratorOnTheCorpus) {
  Database db;
  generate_corpus(db, 400, 150, 42);
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
  for (const auto& [text, method] : cases) {
    const QlQuery q = parse_query(text);
    EXPECT_EQ(method, choose_count_method(db, q)) << text;
    EXPECT_EQ(enumerate_count(db, q), execute_query(db, q)) << text;
  }
}

}  // namespace
}  // namespace orvane
