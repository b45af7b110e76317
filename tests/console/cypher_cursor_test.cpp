// The console's statement cursor: rows in the batches asked for, a write
// that finishes is kept, one abandoned or failing half way is undone.
#include <gtest/gtest.h>

#include "console/cypher_cursor.h"
#include "console/engine.h"
#include "graph/database.h"
#include "query/cypher_error.h"
#include "console/small_engine.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::small_engine;

TEST(CypherCursor, ReadsInBatches) {
  Engine engine = small_engine();
  CypherCursor cursor(engine, "MATCH (n:Person) RETURN n.name AS name", "", {});
  EXPECT_EQ(std::vector<std::string>{"name"}, cursor.columns());
  EXPECT_FALSE(cursor.writes());
  std::vector<std::vector<CypherValue>> rows;
  EXPECT_TRUE(cursor.fetch(4, rows));
  EXPECT_TRUE(cursor.fetch(4, rows));
  EXPECT_FALSE(cursor.fetch(4, rows));
  EXPECT_EQ(10u, rows.size());
  cursor.finish("");
}

// Without a bound of its own a cursor runs under the one the user set on
// the engine.
TEST(CypherCursor, RunsUnderTheEnginesBound) {
  Engine engine = small_engine();
  WorkBound tight;
  tight.steps = 1000;
  engine.set_query_bound(tight);
  const char* statement = "UNWIND range(1, 100000) AS i RETURN count(*)";
  EXPECT_THROW(CypherCursor(engine, statement, "", {}).finish(""), CypherError);
  WorkBound wide;
  CypherCursor cursor(engine, statement, "", {}, wide);
  std::vector<std::vector<CypherValue>> rows;
  cursor.fetch(1, rows);
  EXPECT_EQ(100000, rows.at(0).at(0).as_int());
}

TEST(CypherCursor, AWriteIsKeptOnlyWhenItFinishes) {
  struct Case {
    const char* what;
    const char* statement;
    int fetch;      // rows fetched before the end (-1: none)
    bool finish;    // finish() is called
    bool kept;      // the new nodes stay
  };
  const Case cases[] = {
      {"finished", "UNWIND range(1, 3) AS i CREATE (:Robot {i: i}) RETURN i", 3, true, true},
      {"finished without reading", "UNWIND range(1, 3) AS i CREATE (:Robot {i: i})", -1, true, true},
      {"abandoned after a batch", "UNWIND range(1, 3) AS i CREATE (:Robot {i: i}) RETURN i", 1, false, false},
      {"failing half way", "UNWIND [1, 2, 0] AS i CREATE (:Robot {i: 6 / i}) RETURN i", -1, true, false},
  };
  for (const Case& c : cases) {
    Engine engine = small_engine();
    const std::uint64_t before = engine.database().graph.node_count;
    {
      CypherCursor cursor(engine, c.statement, "", {});
      EXPECT_TRUE(cursor.writes()) << c.what;
      std::vector<std::vector<CypherValue>> rows;
      if (c.fetch >= 0) cursor.fetch(static_cast<std::size_t>(c.fetch), rows);
      if (c.finish) {
        if (c.kept) {
          cursor.finish("test");
        } else {
          EXPECT_THROW(cursor.finish("test"), CypherError) << c.what;
        }
      }
    }
    EXPECT_EQ(before + (c.kept ? 3 : 0), engine.database().graph.node_count) << c.what;
    EXPECT_EQ(c.kept, engine.database().node_type_ids.count("Robot") == 1) << c.what;
  }
}

}  // namespace
}  // namespace orvane
