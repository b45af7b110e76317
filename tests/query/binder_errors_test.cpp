// The binder's type checks: a statement whose types it knows is refused
// before running, with the class, detail and phase Neo4j gives; the same
// fault in a value it cannot know is raised while running; and a
// statement Neo4j accepts stays accepted even where it looks close to a
// refused one (a null, a parameter, a variable of unknown type).
#include <gtest/gtest.h>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

struct Case {
  const char* statement;
  const char* error;  // "class/detail/phase", or "" when the statement must run
};

// Runs `statement` over `db`, with $neg = -1, $half = 1.5, $map = {name:
// 'Apa'}, and returns "" or the error as "class/detail/phase".
std::string outcome(const char* statement, const Database& db) {
  const CypherParameters parameters{{"neg", CypherValue(std::int64_t{-1})},
                                    {"half", CypherValue(1.5)},
                                    {"two", CypherValue(std::int64_t{2})},
                                    {"map", CypherValue(CypherMap{{"name", CypherValue(std::string("Apa"))}})}};
  try {
    run_statement(statement, db, parameters);
    return "";
  } catch (const CypherError& e) {
    return e.error_class() + "/" + e.detail() + "/" + phase_name(e.phase());
  }
}

void expect_outcomes(const std::vector<Case>& cases) {
  const Database db = testing::mixed_graph();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.error, outcome(c.statement, db));
  }
}

TEST(BinderErrors, RefusesFunctionArgumentsOfAKnownWrongType) {
  expect_outcomes({
      {"MATCH p = (a) RETURN labels(p)", "SyntaxError/InvalidArgumentType/compile time"},
      {"MATCH (r) RETURN type(r)", "SyntaxError/InvalidArgumentType/compile time"},
      {"MATCH (n) RETURN length(n)", "SyntaxError/InvalidArgumentType/compile time"},
      {"MATCH ()-[r]->() RETURN length(r)", "SyntaxError/InvalidArgumentType/compile time"},
      {"MATCH p = (a)-->(b) RETURN size(p)", "SyntaxError/InvalidArgumentType/compile time"},
      {"RETURN properties(1)", "SyntaxError/InvalidArgumentType/compile time"},
      {"RETURN properties([true, false])", "SyntaxError/InvalidArgumentType/compile time"},
      // Accepted: the right kinds, a list of relationships, null, a map.
      {"MATCH (a)-[r*1..2]->(b) RETURN size(r) LIMIT 1", ""},
      {"MATCH p = (a)-->(b) RETURN length(p), nodes(p) LIMIT 1", ""},
      {"RETURN properties({a: 1}), size('abc'), labels(null)", ""},
      // Unknown until running: the function raises the fault then.
      {"MATCH (a) WITH [a, 1] AS list RETURN labels(list[1])", "TypeError/InvalidArgumentValue/runtime"},
      {"UNWIND [1, {}] AS x RETURN toBoolean(x)", "TypeError/InvalidArgumentValue/runtime"},
      {"UNWIND [1, []] AS x RETURN toString(x)", "TypeError/InvalidArgumentValue/runtime"},
  });
}

TEST(BinderErrors, RefusesOperatorsOnValuesOfAKnownWrongType) {
  expect_outcomes({
      {"WITH 123 AS x RETURN x.num", "TypeError/InvalidArgumentType/compile time"},
      {"WITH [1, true] AS x RETURN x.num", "TypeError/InvalidArgumentType/compile time"},
      {"WITH true AS list, 0 AS idx RETURN list[idx]", "TypeError/InvalidArgumentType/compile time"},
      {"RETURN 1 IN 'foo'", "SyntaxError/InvalidArgumentType/compile time"},
      {"RETURN 1 IN {x: []}", "SyntaxError/InvalidArgumentType/compile time"},
      {"RETURN none(x IN ['Clara'] WHERE x % 2 = 0)", "SyntaxError/InvalidArgumentType/compile time"},
      {"RETURN any(x IN [false, true] WHERE x % 2 = 0)", "SyntaxError/InvalidArgumentType/compile time"},
      {"MATCH (n) WHERE (n) RETURN n", "SyntaxError/InvalidArgumentType/compile time"},
      // Accepted: null, mixed lists, maps and temporal values.
      {"WITH null AS x RETURN x.num, 1 IN null", ""},
      {"RETURN any(x IN [1, 'a'] WHERE x = 1), {a: 1}.a, date('2020-01-01').year", ""},
      {"RETURN date('2020-01-02') - duration('P1D')", ""},
      // Only known while running.
      {"WITH $map AS m RETURN m[0]", "TypeError/MapElementAccessByNonString/runtime"},
  });
}

TEST(BinderErrors, RefusesSkipAndLimitThatAreNoCount) {
  expect_outcomes({
      {"MATCH (n) RETURN n SKIP -1", "SyntaxError/NegativeIntegerArgument/compile time"},
      {"MATCH (n) RETURN n LIMIT 1.5", "SyntaxError/InvalidArgumentType/compile time"},
      {"MATCH (n) RETURN n LIMIT $neg", "SyntaxError/NegativeIntegerArgument/runtime"},
      {"MATCH (n) RETURN n ORDER BY n.name LIMIT $neg", "SyntaxError/NegativeIntegerArgument/runtime"},
      {"MATCH (n) RETURN n SKIP $half", "SyntaxError/InvalidArgumentType/runtime"},
      {"MATCH (n) RETURN n ORDER BY n.name SKIP $two LIMIT $two", ""},
      {"MATCH (n) RETURN n SKIP 0 LIMIT 0", ""},
  });
}

TEST(BinderErrors, RefusesPatternsUsedAsValues) {
  expect_outcomes({
      {"MATCH (n) RETURN (n)-[]->()", "SyntaxError/UnexpectedSyntax/compile time"},
      {"MATCH (n) WITH (n)-[]->() AS x RETURN x", "SyntaxError/UnexpectedSyntax/compile time"},
      {"MATCH (a) RETURN size((a)-->())", "SyntaxError/UnexpectedSyntax/compile time"},
      {"MATCH (n) WHERE (n)-[r]->() RETURN n", "SyntaxError/UndefinedVariable/compile time"},
      {"MATCH (n) WHERE (n)-->(a) RETURN n", "SyntaxError/UndefinedVariable/compile time"},
      // Tests of a pattern, and patterns that make values, stay accepted.
      {"MATCH (n) WHERE (n)-->() AND NOT (n)<--() RETURN count(n)", ""},
      {"MATCH (n) RETURN count([(n)-->(m) | m]), CASE WHEN (n)-->() THEN 1 END LIMIT 1", ""},
  });
}

TEST(BinderErrors, RefusesAggregationsNeo4jCannotGroup) {
  expect_outcomes({
      {"RETURN count(count(*))", "SyntaxError/NestedAggregation/compile time"},
      {"RETURN count(rand())", "SyntaxError/NonConstantExpression/compile time"},
      {"MATCH (me)--(you) RETURN me.age + count(you.age)", "SyntaxError/AmbiguousAggregationExpression/compile time"},
      {"MATCH (me)--(you) RETURN me.age + you.age, me.age + you.age + count(*)",
       "SyntaxError/AmbiguousAggregationExpression/compile time"},
      // Grouping keys, properties of keys, comprehension variables.
      {"MATCH (me)--(you) RETURN me, me.age + count(*)", ""},
      {"MATCH (me)--(you) RETURN me.age, me.age + count(*)", ""},
      {"MATCH (me)--(you) RETURN [x IN collect(you) | x.name] AS names", ""},
      {"MATCH (me)--(you) WITH *, count(*) AS c RETURN c LIMIT 1", ""},
      // ORDER BY: a key's variable inside a larger aggregating item is
      // ambiguous; one no key mentions is out of scope.
      {"MATCH (me)--(you) RETURN me.age + you.age, count(*) AS c ORDER BY me.age + you.age + count(*)",
       "SyntaxError/AmbiguousAggregationExpression/compile time"},
      {"MATCH (me)--(you) RETURN count(you.age) AS c ORDER BY me.age + count(you.age)",
       "SyntaxError/UndefinedVariable/compile time"},
      {"MATCH (me)--(you) RETURN me, count(*) AS c ORDER BY c + count(*) LIMIT 1", ""},
  });
}

TEST(BinderErrors, RefusesPatternVariablesOfTheWrongKind) {
  expect_outcomes({
      {"WITH true AS n MATCH (n) RETURN n", "SyntaxError/VariableTypeConflict/compile time"},
      {"MATCH (n) WITH [n] AS users MATCH (users)-->(m) RETURN m", "SyntaxError/VariableTypeConflict/compile time"},
      {"MATCH (r)-[r*]->() RETURN r", "SyntaxError/VariableTypeConflict/compile time"},
      {"MATCH p = ()-[]-(), ()-[p*]->() RETURN p", "SyntaxError/VariableTypeConflict/compile time"},
      {"MATCH (a)-[r]->()-[r]->(a) RETURN r", "SyntaxError/RelationshipUniquenessViolation/compile time"},
      {"MATCH p = (a)-->(b) WHERE p.name = 'x' RETURN p", "SyntaxError/InvalidArgumentType/compile time"},
      {"MATCH (n $map) RETURN n", "SyntaxError/InvalidParameterUse/compile time"},
      {"MATCH ()-[r:T $map]->() RETURN r", "SyntaxError/InvalidParameterUse/compile time"},
      {"MATCH (n {name: $map}) RETURN n", ""},
      {"MATCH (n) WHERE EXISTS { MATCH (n)-->(m) SET m.x = 1 } RETURN n",
       "SyntaxError/InvalidClauseComposition/compile time"},
      // Accepted: a node carried through WITH, a bound relationship met again.
      {"MATCH (n) WITH n AS m MATCH (m)-->(x) RETURN count(x)", ""},
      {"MATCH ()-[r]->() MATCH (a)-[r]->(b) RETURN count(r)", ""},
      {"WITH null AS n MATCH (n) RETURN count(n)", ""},
  });
}

}  // namespace
}  // namespace orvane
