// The focus of this file is parameters where a pattern takes values: a
// parameter as one property's value in MATCH, a map parameter as the
// whole property map of what CREATE makes, and the map parameter MATCH
// refuses, as Neo4j 5 does.
#include <gtest/gtest.h>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/pipeline_cases.h"

namespace orvane {
namespace {

CypherValue map_of(CypherMap entries) { return CypherValue(std::move(entries)); }

TEST(ParameterMaps, MatchTakesParametersAsPropertyValues) {
  const Database db = testing::created_graph(
      "CREATE (:Person {name: 'ann', age: 30}), (:Person {name: 'bob', age: 40}), (:Paper {name: 'ann'})");
  const CypherParameters parameters = {{"name", CypherValue(std::string("ann"))}, {"age", CypherValue(std::int64_t{40})}};
  const struct {
    const char* statement;
    const char* rows;
  } cases[] = {
      {"MATCH (n:Person {name: $name}) RETURN n.age", "30"},
      {"MATCH (n {name: $name}) RETURN count(n)", "2"},
      {"MATCH (n:Person {age: $age}) RETURN n.name", "bob"},
      {"MATCH (n:Person {name: $name, age: $age}) RETURN n.name", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.rows, testing::value_rows(run_statement(c.statement, db, parameters), db));
  }
}

TEST(ParameterMaps, CreateTakesAMapParameterAsProperties) {
  Database db;
  testing::run_writes(db, "CREATE (n:Person $props)",
                      {{"props", map_of({{"name", CypherValue(std::string("ann"))},
                                         {"age", CypherValue(std::int64_t{30})},
                                         {"gone", CypherValue()}})}});
  testing::run_writes(db, "MATCH (a:Person {name: 'ann'}) CREATE (a)-[:KNOWS $rel]->(:Person $b)",
                      {{"rel", map_of({{"since", CypherValue(std::int64_t{2020})}})},
                       {"b", map_of({{"name", CypherValue(std::string("bob"))}})}});
  // The same map for every row.
  testing::run_writes(db, "UNWIND [1, 2] AS i CREATE (:City $city)",
                      {{"city", map_of({{"name", CypherValue(std::string("oslo"))}})}});
  const struct {
    const char* statement;
    const char* rows;
  } cases[] = {
      {"MATCH (n:Person {name: 'ann'}) RETURN n.age, size(keys(n))", "30,2"},
      {"MATCH (:Person)-[r:KNOWS]->(b) RETURN r.since, b.name", "2020,bob"},
      {"MATCH (c:City) RETURN c.name", "oslo|oslo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.rows, testing::value_rows(run_statement(c.statement, db), db));
  }
}

TEST(ParameterMaps, RefusedWhereNeo4jRefusesThem) {
  Database db = testing::created_graph("CREATE (:Person {name: 'ann'})");
  const std::vector<testing::PipelineCase> cases = {
      {"MATCH (n $props) RETURN n", "", "SyntaxError/InvalidParameterUse"},
      {"MATCH (n:Person)-[r $props]->() RETURN r", "", "SyntaxError/InvalidParameterUse"},
      {"OPTIONAL MATCH (n:Person $props) RETURN n", "", "SyntaxError/InvalidParameterUse"},
      {"MATCH (n) WHERE EXISTS { (n)-->($props) } RETURN n", "", "SyntaxError/InvalidParameterUse"},
  };
  testing::expect_pipeline_cases(db, cases, testing::value_rows);
  try {
    run_statement("MATCH (n $props) RETURN n", db);
    FAIL() << "MATCH took a map parameter";
  } catch (const CypherError& e) {
    EXPECT_EQ(std::string("Parameter maps cannot be used in `MATCH` patterns (use a literal map instead, e.g. "
                          "`{id: $param.id}`) (line 1, column 10 (offset: 9))"),
              e.what());
  }

  // A value that is not a map fails when the node would be made, before
  // anything is made.
  for (const CypherValue& value : {CypherValue(std::int64_t{1}), CypherValue(), CypherValue(CypherList{})}) {
    SCOPED_TRACE(to_text(value));
    try {
      testing::run_writes(db, "CREATE (n:Person $props)", {{"props", value}});
      FAIL() << "CREATE took a value that is not a map";
    } catch (const CypherError& e) {
      EXPECT_EQ("TypeError", e.error_class());
      EXPECT_EQ(ErrorPhase::kRuntime, e.phase());
      EXPECT_NE(std::string::npos, std::string(e.what()).find("Parameter provided for node creation is not a Map"));
    }
  }
  try {
    testing::run_writes(db, "CREATE (n:Person $props)",
                        {{"props", map_of({{"nested", map_of({{"a", CypherValue(std::int64_t{1})}})}})}});
    FAIL() << "CREATE stored a map as a property value";
  } catch (const CypherError& e) {
    EXPECT_EQ("TypeError/InvalidPropertyType", e.error_class() + "/" + e.detail());
  }
  EXPECT_EQ("1", testing::value_rows(run_statement("MATCH (n) RETURN count(n)", db), db));
}

}  // namespace
}  // namespace orvane
