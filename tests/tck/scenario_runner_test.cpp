// The step runner against a scripted engine: each step kind passing and
// failing, and the reasons it gives.
#include <gtest/gtest.h>

#include "tck/scenario_runner.h"
#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

// Answers statements from a script; "CREATE" adds a node labelled A with
// property k = 1 so that side effects can be seen. Records what it was asked.
class ScriptedEngine : public TckEngine {
 public:
  std::map<std::string, QueryOutcome> answers;  // by statement
  std::vector<std::string> executed;
  std::map<std::string, TckValue> last_params;
  bool accepts_procedures = false;
  int resets = 0;

  void reset() override {
    ++resets;
    graph_ = {};
  }
  bool install_procedures(const ProcedureRegistry& registry, std::string& why) override {
    procedures_ = registry.procedures.size();
    if (!accepts_procedures) why = "not here";
    return accepts_procedures;
  }
  QueryOutcome execute(const std::string& statement, const std::map<std::string, TckValue>& params) override {
    executed.push_back(statement);
    last_params = params;
    if (statement == "CREATE") {
      const std::int64_t id = static_cast<std::int64_t>(graph_.nodes.size());
      graph_.nodes[id] = {{"A"}, {{"k", TckValue::of_int(1)}}};
      return {true, {}, {}};
    }
    const auto it = answers.find(statement);
    if (it != answers.end()) return it->second;
    QueryOutcome o;
    o.error.message = "unknown statement";
    return o;
  }
  GraphSnapshot snapshot() const override { return graph_; }
  std::size_t procedures() const { return procedures_; }

 private:
  GraphSnapshot graph_;
  std::size_t procedures_ = 0;
};

GherkinStep step(std::string text, std::string doc = "", GherkinTable table = {}) {
  GherkinStep s;
  s.keyword = "And";
  s.text = std::move(text);
  s.has_doc_string = !doc.empty();
  s.doc_string = std::move(doc);
  s.table = std::move(table);
  return s;
}

GherkinScenario scenario(std::vector<GherkinStep> steps) {
  GherkinScenario s;
  s.name = "test";
  s.steps = std::move(steps);
  for (std::size_t i = 0; i < s.steps.size(); ++i) s.steps[i].line = static_cast<int>(i + 1);
  return s;
}

QueryOutcome rows(std::vector<std::string> columns, std::vector<std::vector<const char*>> cells) {
  QueryOutcome o;
  o.ok = true;
  o.result.columns = std::move(columns);
  for (const auto& row : cells) {
    std::vector<TckValue> values;
    for (const char* c : row) values.push_back(parse_value_literal(c));
    o.result.rows.push_back(std::move(values));
  }
  return o;
}

QueryOutcome failure(std::string error_class, std::string phase, std::string detail) {
  QueryOutcome o;
  o.error = {std::move(error_class), std::move(phase), std::move(detail), "boom"};
  return o;
}

TEST(ScenarioRunner, StepsPassAndFail) {
  struct Case {
    const char* what;
    std::vector<GherkinStep> steps;
    const char* reason;  // "" when the scenario passes
  };
  const GherkinStep empty = step("an empty graph");
  const GherkinStep query_q = step("executing query:", "Q");
  const GherkinStep query_create = step("executing query:", "CREATE");
  const std::vector<Case> cases = {
      {"rows in any order",
       {empty, query_q, step("the result should be, in any order:", "", {{"x"}, {"2"}, {"1"}}), step("no side effects")},
       ""},
      {"rows in order",
       {empty, query_q, step("the result should be, in order:", "", {{"x"}, {"2"}, {"1"}})},
       "line 3: And the result should be, in order:\nrow 1 differs (rows in order)"},
      {"lists unordered",
       {empty, step("executing query:", "L"), step("the result should be (ignoring element order for lists):", "",
                                                   {{"l"}, {"[1, 2]"}})},
       ""},
      {"lists unordered in order",
       {empty, step("executing query:", "L"),
        step("the result should be, in order (ignoring element order for lists):", "", {{"l"}, {"[1, 2]"}})},
       ""},
      {"empty result", {empty, step("executing query:", "E"), step("the result should be empty")}, ""},
      {"empty result but rows",
       {empty, query_q, step("the result should be empty")},
       "line 3: And the result should be empty\nexpected no rows, got 2:"},
      {"error expected and raised",
       {empty, step("executing query:", "BAD"), step("a SyntaxError should be raised at compile time: UnknownFunction")},
       ""},
      {"error at any time",
       {empty, step("executing query:", "BAD"), step("a SyntaxError should be raised at any time: UnknownFunction")},
       ""},
      {"error phase differs",
       {empty, step("executing query:", "BAD"), step("a SyntaxError should be raised at runtime: UnknownFunction")},
       "line 3: And a SyntaxError should be raised at runtime: UnknownFunction\n"
       "expected SyntaxError at runtime: UnknownFunction, got SyntaxError at compile time: UnknownFunction — boom"},
      {"error expected, rows came",
       {empty, query_q, step("a TypeError should be raised at runtime: InvalidArgumentType")},
       "line 3: And a TypeError should be raised at runtime: InvalidArgumentType\n"
       "expected TypeError at runtime: InvalidArgumentType, got 2 rows:"},
      {"rows expected, error came",
       {empty, step("executing query:", "BAD"), step("the result should be, in any order:", "", {{"x"}})},
       "line 3: And the result should be, in any order:\n"
       "query failed: SyntaxError at compile time: UnknownFunction — boom"},
      {"side effects",
       {empty, step("having executed:", "CREATE"), query_create, step("the result should be empty"),
        step("the side effects should be:", "", {{"+nodes", "1"}, {"+properties", "1"}})},
       ""},
      {"side effects differ",
       {empty, query_create, step("no side effects")},
       "line 3: And no side effects\nside effects: expected none, got +nodes 1, +labels 1, +properties 1"},
      {"control query leaves the measure alone",
       {empty, query_create, step("executing control query:", "Q"), step("the side effects should be:", "",
                                                                          {{"+nodes", "1"}, {"+labels", "1"},
                                                                           {"+properties", "1"}})},
       ""},
      {"setup failure", {empty, step("having executed:", "NOPE")},
       "line 2: And having executed:\nsetup statement failed: unclassified — unknown statement"},
      {"unsupported step", {empty, step("something else")}, "line 2: And something else\nunsupported step"},
      {"then before when", {empty, step("the result should be empty")},
       "line 2: And the result should be empty\nno query was executed"},
      {"procedure refused",
       {empty, step("there exists a procedure test.p(in :: INTEGER?) :: (out :: STRING?):", "",
                     {{"in", "out"}, {"1", "'a'"}})},
       "line 2: And there exists a procedure test.p(in :: INTEGER?) :: (out :: STRING?):\n"
       "procedure test.p cannot be registered: not here"},
      {"procedure table mismatch",
       {empty, step("there exists a procedure test.p(in :: INTEGER?) :: (out :: STRING?):", "", {{"out"}})},
       "line 2: And there exists a procedure test.p(in :: INTEGER?) :: (out :: STRING?):\n"
       "procedure declaration 'test.p(in :: INTEGER?) :: (out :: STRING?):': table header does not name every field"},
      {"missing named graph", {step("the nowhere graph")},
       "line 1: And the nowhere graph\nnamed graph not found: /no/graphs/nowhere/nowhere.cypher"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedEngine engine;
    engine.answers["Q"] = rows({"x"}, {{"1"}, {"2"}});
    engine.answers["L"] = rows({"l"}, {{"[2, 1]"}});
    engine.answers["E"] = rows({"x"}, {});
    engine.answers["BAD"] = failure("SyntaxError", "compile time", "UnknownFunction");
    const Verdict v = run_scenario(scenario(c.steps), engine, "/no/graphs");
    EXPECT_EQ(*c.reason == '\0', v.passed);
    EXPECT_EQ(0u, v.reason.find(c.reason)) << v.reason;
  }
}

TEST(ScenarioRunner, ParametersAndProceduresReachTheEngine) {
  ScriptedEngine engine;
  engine.accepts_procedures = true;
  engine.answers["Q"] = rows({"x"}, {});
  const Verdict v = run_scenario(
      scenario({step("any graph"), step("parameters are:", "", {{"a", "[1, 'x']"}, {"b", "null"}}),
                step("there exists a procedure test.doNothing() :: ():", "", {{}}), step("executing query:", "Q"),
                step("the result should be empty")}),
      engine, "/no/graphs");
  EXPECT_TRUE(v.passed) << v.reason;
  EXPECT_EQ(1, engine.resets);
  EXPECT_EQ(1u, engine.procedures());
  ASSERT_EQ(2u, engine.last_params.size());
  EXPECT_EQ("[1, 'x']", value_text(engine.last_params["a"]));
  EXPECT_EQ("null", value_text(engine.last_params["b"]));
}

TEST(ScenarioRunner, KindFollowsTheExpectation) {
  EXPECT_EQ(ScenarioKind::kError,
            scenario_kind(scenario({step("executing query:", "Q"), step("a TypeError should be raised at runtime: X")})));
  EXPECT_EQ(ScenarioKind::kResult,
            scenario_kind(scenario({step("executing query:", "Q"), step("the result should be empty")})));
}

}  // namespace
}  // namespace orvane::tck
