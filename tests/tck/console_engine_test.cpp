// The adapter over the console dispatcher, on a real in-memory engine: the
// statements today's engine answers, its snapshots and its resets.
#include <gtest/gtest.h>

#include "tck/console_engine.h"
#include "tck/side_effects.h"

namespace orvane::tck {
namespace {

TEST(ConsoleEngine, RunsStatementsAndSnapshotsTheGraph) {
  ConsoleEngine engine;
  EXPECT_TRUE(engine.snapshot().nodes.empty());
  const GraphSnapshot before = engine.snapshot();

  const QueryOutcome created = engine.execute("CREATE (:Robot {name: 'r', size: 2})", {});
  ASSERT_TRUE(created.ok) << created.error.message;
  EXPECT_TRUE(created.result.rows.empty());
  EXPECT_EQ("+nodes 1, +labels 1, +properties 2", side_effects_text(diff_snapshots(before, engine.snapshot())));

  const QueryOutcome matched = engine.execute("MATCH (n:Robot) RETURN n", {});
  ASSERT_TRUE(matched.ok) << matched.error.message;
  EXPECT_EQ((std::vector<std::string>{"n"}), matched.result.columns);
  ASSERT_EQ(1u, matched.result.rows.size());
  EXPECT_EQ("(:Robot {name: 'r', size: 2})", value_text(matched.result.rows[0][0]));

  const QueryOutcome failed = engine.execute("FROBNICATE", {});
  EXPECT_FALSE(failed.ok);
  EXPECT_FALSE(failed.error.message.empty());

  engine.reset();
  EXPECT_TRUE(engine.snapshot().nodes.empty());
  std::string why;
  EXPECT_TRUE(engine.install_procedures({}, why));
  // A test procedure answers the rows whose inputs equal the arguments.
  TestProcedure p{"test.p", {{"in", "INTEGER?"}}, {{"out", "STRING?"}}, {}};
  p.rows = {{TckValue::of_int(1), TckValue::of_string("one")}, {TckValue::of_int(2), TckValue::of_string("two")},
            {TckValue::of_int(1), TckValue::of_string("uno")}};
  ASSERT_TRUE(engine.install_procedures({{p}}, why)) << why;
  const QueryOutcome called = engine.execute("CALL test.p(1) YIELD out RETURN out ORDER BY out", {});
  ASSERT_TRUE(called.ok) << called.error.message;
  ASSERT_EQ(2u, called.result.rows.size());
  EXPECT_EQ("one", called.result.rows[0][0].text);
  EXPECT_EQ("uno", called.result.rows[1][0].text);
}

}  // namespace
}  // namespace orvane::tck
