// The memory bound of an execution: the operators that keep rows (Sort,
// Top, Aggregation with its collect(), DISTINCT and percentile values,
// Distinct and UNION, the variable-length and shortest-path searches) stop
// with the memory-limit error under a tiny bound and answer under the
// default one; Top holds only its k rows; a subquery's operators give
// their bytes back after each run; and the value estimates grow with what
// a value owns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/exec/exec_context.h"
#include "query/exec/value_size.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

constexpr std::uint64_t kTinyBound = 4096;  // bytes: a few dozen kept rows

// p0 → p1 → … → p399 and back: long paths, wide searches, no shortcuts.
Database chain(std::uint32_t length) {
  Database db;
  for (std::uint32_t i = 0; i < length; ++i) db.add_person("p" + std::to_string(i), 0);
  for (std::uint32_t i = 0; i + 1 < length; ++i) {
    db.add_follows(i, i + 1);
    db.add_follows(i + 1, i);
  }
  db.compile();
  return db;
}

WorkBound memory_bound(std::uint64_t bytes) {
  WorkBound bound;
  bound.memory_bytes = bytes;
  return bound;
}

// The error a statement stops with under `bound`, as "class/detail:
// message"; "" when it answers.
std::string failure_of(const char* statement, const Database& db, const WorkBound& bound) {
  try {
    run_statement(statement, db, {}, bound);
    return "";
  } catch (const CypherError& e) {
    return e.error_class() + "/" + e.detail() + ": " + e.what();
  }
}

TEST(MemoryBound, KeepingOperatorsStopAtATinyBoundAndAnswerUnderTheDefault) {
  const Database db = chain(400);
  const std::string stopped = "TransientError/MemoryPoolOutOfMemoryError: " + memory_limit_message(kTinyBound);
  const char* const statements[] = {
      // Sort
      "UNWIND range(1, 1000) AS x RETURN x ORDER BY x DESC",
      "MATCH (n) RETURN n.name ORDER BY n.name",
      // Aggregation: groups, collect(), DISTINCT aggregates, percentiles
      "UNWIND range(1, 1000) AS x RETURN x % 500 AS k, count(*) AS c",
      "UNWIND range(1, 1000) AS x RETURN collect(x) AS xs",
      "UNWIND range(1, 1000) AS x RETURN count(DISTINCT x) AS c",
      "UNWIND range(1, 1000) AS x RETURN percentileCont(x, 0.5) AS p",
      "UNWIND range(1, 1000) AS x RETURN stDev(x) AS s",
      "UNWIND range(1, 200) AS x RETURN max(range(1, x)) AS m",  // each new maximum replaces the last
      // Distinct, and UNION's
      "UNWIND range(1, 1000) AS x RETURN DISTINCT x",
      "UNWIND range(1, 500) AS x RETURN x UNION UNWIND range(501, 1000) AS x RETURN x",
      "MATCH (n) WITH DISTINCT n.name AS name RETURN count(name) AS c",
      // the searches
      "MATCH (a {name: 'p0'})-[*1..100]->(b) RETURN count(b) AS c",
      "MATCH (a {name: 'p0'}), (b {name: 'p399'}) MATCH p = shortestPath((a)-[*]-(b)) RETURN length(p) AS l",
  };
  for (const char* statement : statements) {
    SCOPED_TRACE(statement);
    EXPECT_EQ(stopped, failure_of(statement, db, memory_bound(kTinyBound)));
    EXPECT_EQ("", failure_of(statement, db, WorkBound{}));
  }
}

// ORDER BY … LIMIT k keeps k rows however many pass, and a long list in
// the kept rows still counts.
TEST(MemoryBound, TopHoldsOnlyItsRows) {
  const Database db = chain(3);
  const CypherResult top =
      run_statement("UNWIND range(1, 100000) AS x RETURN x ORDER BY x DESC LIMIT 3", db, {}, memory_bound(kTinyBound));
  ASSERT_EQ(3u, top.rows.size());
  EXPECT_EQ(100000, top.rows[0][0].as_int());
  EXPECT_EQ(99998, top.rows[2][0].as_int());
  // The kept rows count whole: here each carries a list of 200 (the list
  // is made before the sort, which ORDER BY ... LIMIT otherwise avoids).
  EXPECT_NE("", failure_of("UNWIND range(1, 1000) AS x WITH x, range(1, 200) AS l RETURN l ORDER BY x LIMIT 3", db,
                           memory_bound(kTinyBound)));
  EXPECT_EQ("", failure_of("UNWIND range(1, 1000) AS x RETURN range(1, 200) AS l ORDER BY x LIMIT 3", db,
                           memory_bound(kTinyBound)));
}

// A subquery run once per outer row gives back what its sort kept before
// the next run, so the bound is per run, not the sum over runs.
TEST(MemoryBound, SubqueryRunsGiveTheirBytesBack) {
  const Database db = chain(3);
  const CypherResult r = run_statement(
      "UNWIND range(1, 200) AS i CALL { UNWIND range(1, 10) AS x RETURN x ORDER BY x DESC LIMIT 5 } RETURN count(*)",
      db, {}, memory_bound(kTinyBound));
  EXPECT_EQ(1000, r.rows.at(0).at(0).as_int());
}

TEST(MemoryBound, ContextHoldsUpToTheBoundAndRefusesPastIt) {
  const Database db;
  ExecContext context(db, {}, memory_bound(1000));
  {
    HeldMemory a(context);
    a.add(600);
    HeldMemory b(context);
    b.add(400);  // exactly the bound
    EXPECT_EQ(1000u, context.held());
    EXPECT_THROW(b.add(1), CypherError);
    EXPECT_EQ(400u, b.bytes());  // the refused bytes were not added
    a.remove(100);
    b.add(100);
    b.clear();
    EXPECT_EQ(500u, context.held());
  }
  EXPECT_EQ(0u, context.held());  // given back by the destructors
  EXPECT_EQ(1000u, context.peak());
}

TEST(MemoryBound, MessageNamesTheLimit) {
  const struct {
    std::uint64_t bytes;
    const char* message;
  } cases[] = {
      {std::uint64_t{1} << 30,
       "query memory limit exceeded: sort, aggregation, DISTINCT and path searches may hold at most 1024 MiB; "
       "narrow the statement or raise the limit"},
      {std::uint64_t{3} << 20,
       "query memory limit exceeded: sort, aggregation, DISTINCT and path searches may hold at most 3 MiB; "
       "narrow the statement or raise the limit"},
      {4096,
       "query memory limit exceeded: sort, aggregation, DISTINCT and path searches may hold at most 4096 bytes; "
       "narrow the statement or raise the limit"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.message, memory_limit_message(c.bytes));
}

// Each estimate is at least what the value owns and not wildly more.
TEST(MemoryBound, ValueEstimatesFollowWhatAValueOwns) {
  CypherList ints;
  for (int i = 0; i < 100; ++i) ints.emplace_back(i);
  CypherList nested{CypherValue(ints), CypherValue(ints)};
  CypherMap map{{std::string(200, 'k'), CypherValue(std::string(300, 'v'))}};
  const struct {
    const char* name;
    CypherValue value;
    std::uint64_t at_least, at_most;
  } cases[] = {
      {"null", CypherValue(), 0, 0},
      {"integer", CypherValue(7), 0, 0},
      {"node", CypherValue(NodeRef{3}), 0, 0},
      {"short string", CypherValue("abc"), 0, 0},
      {"long string", CypherValue(std::string(1000, 'x')), 1000, 1100},
      {"list of 100 integers", CypherValue(ints), 100 * sizeof(CypherValue), 100 * sizeof(CypherValue) + 100},
      {"list of two such lists", CypherValue(nested), 200 * sizeof(CypherValue), 202 * sizeof(CypherValue) + 300},
      {"map with long key and value", CypherValue(map), 500, 500 + sizeof(CypherValue) + 200},
      {"path of 3 nodes", CypherValue(PathValue{{1, 2, 3}, {4, 5}}), 20, 120},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_GE(value_heap_bytes(c.value), c.at_least);
    EXPECT_LE(value_heap_bytes(c.value), c.at_most);
    EXPECT_EQ(sizeof(CypherValue) + value_heap_bytes(c.value), value_bytes(c.value));
  }
}

}  // namespace
}  // namespace orvane
