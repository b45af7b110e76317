// The plan cache: a statement is planned once per text and parameter
// types, and a kept plan is never used for a Database whose names have
// come to mean something else — a label created after the plan, a name
// forgotten by a rollback and its id given to another, a property key
// interned later, a procedure replaced.
#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "query/cypher_statement.h"
#include "query/plan_cache.h"
#include "query/procedures.h"

namespace orvane {
namespace {

std::int64_t count_of(PlanCache& cache, const std::string& text, const Database& db,
                      const CypherParameters& parameters = {}) {
  const auto plan = cache.prepare(text, db, nullptr, parameters);
  std::int64_t count = -1;
  execute_statement(*plan, db, parameters, WorkBound{}, [&count](const std::vector<CypherValue>& row) {
    count = row[0].as_int();
    return false;
  });
  return count;
}

Database people(int n) {
  Database db;
  for (int i = 0; i < n; ++i) db.add_person("p" + std::to_string(i), 0);
  db.compile();
  return db;
}

TEST(PlanCache, KeepsAPlanPerTextAndParameterTypes) {
  PlanCache cache;
  const Database db = people(3);
  const auto a = cache.prepare("MATCH (n:Person) WHERE n.name = $x RETURN count(*)", db, nullptr, {{"x", CypherValue("p1")}});
  const auto b = cache.prepare("MATCH (n:Person) WHERE n.name = $x RETURN count(*)", db, nullptr, {{"x", CypherValue("p2")}});
  const auto c = cache.prepare("MATCH (n:Person) WHERE n.name = $x RETURN count(*)", db, nullptr,
                               {{"x", CypherValue(std::int64_t{2})}});
  EXPECT_EQ(a.get(), b.get());  // same types: the same plan
  EXPECT_NE(a.get(), c.get());
  EXPECT_EQ(1u, cache.hits());
  EXPECT_EQ(2u, cache.misses());
  EXPECT_EQ(1, count_of(cache, "MATCH (n:Person) WHERE n.name = $x RETURN count(*)", db, {{"x", CypherValue("p1")}}));
}

TEST(PlanCache, APlanIsMadeAgainWhenANameResolvesDifferently) {
  struct Case {
    const char* what;
    const char* statement;
    std::function<void(Database&, DatabaseMark&)> setup;   // before the plan
    std::function<void(Database&, DatabaseMark&)> change;  // after it
    std::int64_t before, after;
  };
  const auto nothing = [](Database&, DatabaseMark&) {};
  const std::vector<Case> cases = {
      {"a label created after the plan", "MATCH (n:Robot) RETURN count(*)", nothing,
       [](Database& db, DatabaseMark&) { db.add_node(db.add_node_type("Robot"), "r", 0); }, 0, 1},
      {"a type created after the plan", "MATCH (a)-[:LIKES]->(b) RETURN count(*)", nothing,
       [](Database& db, DatabaseMark&) { db.graph.add_edge(0, 1, db.add_rel_type("LIKES")); }, 0, 1},
      {"a property key interned after the plan", "MATCH (n:Person) WHERE n.age = 7 RETURN count(*)", nothing,
       [](Database& db, DatabaseMark&) { db.set_property(2, "age", nlohmann::json(7)); }, 0, 1},
      {"a rolled-back label's id given to another", "MATCH (n:Robot) RETURN count(*)",
       [](Database& db, DatabaseMark& mark) {
         mark = db.mark();
         db.add_node(db.add_node_type("Robot"), "r", 0);
       },
       [](Database& db, DatabaseMark& mark) {
         db.rollback(mark);  // Robot is forgotten; Drone takes its id
         db.add_node(db.add_node_type("Drone"), "d", 0);
       },
       1, 0},
  };
  for (const Case& c : cases) {
    PlanCache cache;
    Database db = people(3);
    DatabaseMark mark;
    c.setup(db, mark);
    db.compile();
    EXPECT_EQ(c.before, count_of(cache, c.statement, db)) << c.what;
    c.change(db, mark);
    db.compile();
    EXPECT_EQ(c.after, count_of(cache, c.statement, db)) << c.what;
    EXPECT_EQ(0u, cache.hits()) << c.what;
    EXPECT_EQ(c.after, count_of(cache, c.statement, db)) << c.what;
    EXPECT_EQ(1u, cache.hits()) << c.what;
  }
}

TEST(PlanCache, AReplacedProcedureIsBoundAgain) {
  PlanCache cache;
  const Database db = people(1);
  ProcedureRegistry registry;
  const std::string text = "CALL db.labels() YIELD label RETURN count(*)";
  const auto first = cache.prepare(text, db, &registry, {});
  EXPECT_EQ(first.get(), cache.prepare(text, db, &registry, {}).get());
  registry.add(*registry.find("db.labels"));
  EXPECT_NE(first.get(), cache.prepare(text, db, &registry, {}).get());
}

TEST(PlanCache, TheLeastRecentlyUsedPlanGoesFirst) {
  PlanCache cache(2);
  const Database db = people(1);
  const auto one = cache.prepare("RETURN 1", db, nullptr, {});
  cache.prepare("RETURN 2", db, nullptr, {});
  cache.prepare("RETURN 1", db, nullptr, {});  // now the most recent
  cache.prepare("RETURN 3", db, nullptr, {});  // evicts RETURN 2
  EXPECT_EQ(2u, cache.size());
  EXPECT_EQ(one.get(), cache.prepare("RETURN 1", db, nullptr, {}).get());
  const std::uint64_t misses = cache.misses();
  cache.prepare("RETURN 2", db, nullptr, {});
  EXPECT_EQ(misses + 1, cache.misses());
}

}  // namespace
}  // namespace orvane
