// The operators that read a scanned node's property from its column
// instead of evaluating it per row: Top dropping rows that cannot beat its
// worst kept key (after the Top moved below the RETURN's Projection),
// grouping by `n.k`, and counting a scan's batches. Each must give the
// rows the plain operators give; the plain form is the same statement
// with something that turns the shortcut off (SKIP 0 makes a Sort, a WITH
// hides the scan), over properties of every kind and place.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "query/pipeline_cases.h"

namespace orvane {
namespace {

struct Differential {
  const char* fast;
  const char* plain;
};

TEST(ColumnReads, GiveThePlainOperatorsRows) {
  const Differential cases[] = {
      // Top: every order, ties kept in input order, keys of mixed kinds,
      // absent keys (null sorts last ascending, first descending).
      {"MATCH (n:L) RETURN n.name ORDER BY n.name LIMIT 5", "MATCH (n:L) RETURN n.name ORDER BY n.name SKIP 0 LIMIT 5"},
      {"MATCH (n:L) RETURN n.name ORDER BY n.name DESC LIMIT 7",
       "MATCH (n:L) RETURN n.name ORDER BY n.name DESC SKIP 0 LIMIT 7"},
      {"MATCH (n:L) RETURN n.x, n.name ORDER BY n.x LIMIT 9", "MATCH (n:L) RETURN n.x, n.name ORDER BY n.x SKIP 0 LIMIT 9"},
      {"MATCH (n:L) RETURN n.x, n.name ORDER BY n.x DESC LIMIT 9",
       "MATCH (n:L) RETURN n.x, n.name ORDER BY n.x DESC SKIP 0 LIMIT 9"},
      {"MATCH (n:L) RETURN n.x AS x, n.name AS name ORDER BY x DESC LIMIT 70",
       "MATCH (n:L) RETURN n.x AS x, n.name AS name ORDER BY x DESC SKIP 0 LIMIT 70"},
      {"MATCH (n:L) RETURN size(n.name) AS r, n.name ORDER BY r LIMIT 12",
       "MATCH (n:L) RETURN size(n.name) AS r, n.name ORDER BY r SKIP 0 LIMIT 12"},
      {"MATCH (n:L) RETURN n ORDER BY n.x LIMIT 4", "MATCH (n:L) RETURN n ORDER BY n.x SKIP 0 LIMIT 4"},
      {"MATCH (n:L)-[:T]->(m) RETURN n.name, m.k ORDER BY m.k DESC LIMIT 3",
       "MATCH (n:L)-[:T]->(m) RETURN n.name, m.k ORDER BY m.k DESC SKIP 0 LIMIT 3"},
      {"MATCH (n:L) RETURN n.missing AS v ORDER BY v LIMIT 2", "MATCH (n:L) RETURN n.missing AS v ORDER BY v SKIP 0 LIMIT 2"},
      {"MATCH (n:L) RETURN n.name ORDER BY n.name LIMIT 0", "MATCH (n:L) RETURN n.name ORDER BY n.name SKIP 0 LIMIT 0"},
      // Grouping by a column: 1 and 1.0 and absent keys group as usual.
      {"MATCH (n:L) RETURN n.x IS NULL AS k, count(*) AS c", "MATCH (n:L) WITH n RETURN n.x IS NULL AS k, count(*) AS c"},
      {"MATCH (n:L) RETURN n.x AS k, count(*) AS c, collect(n.name) AS names",
       "MATCH (n:L) WITH n RETURN n.x AS k, count(*) AS c, collect(n.name) AS names"},
      {"MATCH (n:L) RETURN n.name AS k, count(n) AS c", "MATCH (n:L) WITH n RETURN n.name AS k, count(n) AS c"},
      {"MATCH (n) RETURN n.k AS k, count(*) AS c", "MATCH (n) WITH n RETURN n.k AS k, count(*) AS c"},
      {"MATCH (n:L) WHERE n.x > 20 RETURN n.x AS k, min(n.name) AS c",
       "MATCH (n:L) WITH n WHERE n.x > 20 RETURN n.x AS k, min(n.name) AS c"},
      // Counting batches: with and without pushed tests, nothing matching.
      {"MATCH (n:L) RETURN count(*), count(n)", "MATCH (n:L) WITH n RETURN count(*), count(n)"},
      {"MATCH (n:L) WHERE n.x >= 10 AND n.x < 40 RETURN count(*)",
       "MATCH (n:L) WITH n WHERE n.x >= 10 AND n.x < 40 RETURN count(*)"},
      {"MATCH (n:L) WHERE n.x > 1000 RETURN count(*)", "MATCH (n:L) WITH n WHERE n.x > 1000 RETURN count(*)"},
      {"MATCH (n:Nothing) RETURN count(*)", "MATCH (n:Nothing) WITH n RETURN count(*)"},
      {"UNWIND [1, 2, 3] AS i MATCH (n:M) RETURN count(*)", "UNWIND [1, 2, 3] AS i MATCH (n:M) WITH n RETURN count(*)"},
  };
  for (const bool typed : {false, true}) {
    const Database db = testing::keyed_graph(typed);
    for (const Differential& c : cases) {
      SCOPED_TRACE(std::string(c.fast) + (typed ? " (columns)" : " (records)"));
      EXPECT_EQ(testing::value_rows(run_statement(c.plain, db), db),
                testing::value_rows(run_statement(c.fast, db), db));
    }
  }
}

// A sort key that is not a plain read is evaluated once: the value sorted
// on is the value returned.
TEST(ColumnReads, TopKeepsComputedKeysWithTheirRows) {
  const Database db = testing::keyed_graph(true);
  const CypherResult r = run_statement("UNWIND range(1, 50) AS i RETURN rand() AS r ORDER BY r LIMIT 5", db);
  ASSERT_EQ(5u, r.rows.size());
  for (std::size_t i = 1; i < r.rows.size(); ++i) EXPECT_LE(r.rows[i - 1][0].as_float(), r.rows[i][0].as_float());
}

// A filtered count over enough nodes to be split across two threads
// counts what the plain form counts, with values in columns and, after a
// write, some in records.
TEST(ColumnReads, LargeFilteredCountsAgree) {
  Database db;
  const std::uint16_t label = db.add_node_type("L");
  for (std::uint32_t i = 0; i < 300000; ++i) {
    const std::uint32_t n = db.add_node(label, "", 0);
    db.set_node_value(n, "x", property_value_of(nlohmann::json(i % 1000)));
  }
  db.compile();
  db.node_store.organise();
  testing::run_writes(db, "MATCH (n:L) WHERE n.x = 7 SET n.x = 7.5");
  for (const char* where : {"n.x >= 10 AND n.x < 20", "n.x > 7", "n.x < 7.5", "n.x IS NULL"}) {
    SCOPED_TRACE(where);
    const std::string fast = std::string("MATCH (n:L) WHERE ") + where + " RETURN count(*)";
    const std::string plain = std::string("MATCH (n:L) WITH n WHERE ") + where + " RETURN count(*)";
    EXPECT_EQ(testing::value_rows(run_statement(plain, db), db), testing::value_rows(run_statement(fast, db), db));
  }
  EXPECT_EQ("900", testing::value_rows(run_statement("MATCH (n:L) WHERE n.x >= 10 AND n.x < 13 RETURN count(*)", db), db));
}

}  // namespace
}  // namespace orvane
