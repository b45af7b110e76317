// Inputs of several statements (console/statement_batch.h): one statement
// answers as it always has, several answer with one answer each and stop
// at the first failure; the graph arrays every statement's rows fill; and
// parameter values typed from Cypher text and JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "console/graph_arrays.h"
#include "console/parameter_values.h"
#include "console/statement_batch.h"
#include "console/small_engine.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using json = nlohmann::json;

using testing::small_engine;

// `answer` with every "ns" member removed, at any depth: the one member
// that differs from run to run.
json timeless(json answer) {
  if (answer.is_object()) {
    answer.erase("ns");
    for (auto& [key, value] : answer.items()) value = timeless(value);
  } else if (answer.is_array()) {
    for (json& value : answer) value = timeless(value);
  }
  return answer;
}

json run_input(Engine& e, const std::string& input, const ParamMap* params = nullptr) {
  BatchAnswer answer;
  dispatch_input(answer, e, input, "", params);
  return json::parse(batch_json(answer));
}

json run_one(Engine& e, const std::string& statement) {
  ConsoleResult r;
  dispatch(r, e, statement, "", nullptr);
  return json::parse(result_json(r));
}

// One statement, with or without its ";", comments or blanks, answers
// exactly as dispatch() answers the same text, errors included.
TEST(StatementBatch, OneStatementAnswersAsItAlwaysHas) {
  for (const char* input : {"RETURN 1", "RETURN 1;", "  MATCH (n) RETURN count(n) ; ", "RETURN 1; // done",
                            "RETURN x;", ":help", "", "  ;  ", "MATCH (n:Person) RETURN n LIMIT 2;;"}) {
    SCOPED_TRACE(input);
    Engine a = small_engine(), b = small_engine();
    EXPECT_EQ(timeless(run_one(a, input)), timeless(run_input(b, input)));
  }
}

// The batch form: its members in order, each answer exactly the answer of
// its statement run alone, and the stop at the first failure.
TEST(StatementBatch, SeveralStatementsAnswerEachInTurnAndStopAtTheFirstFailure) {
  struct Case {
    const char* input;
    const char* summary;  // ok, count, statements, error, kinds of the answers
  };
  const Case cases[] = {
      {"RETURN 1 AS a; RETURN 2 AS b", "true 2/2 '' rows,rows"},
      {"RETURN 1;\n:help\nMATCH (n) RETURN count(n);", "true 3/3 '' rows,help,count"},
      {"RETURN 1; RETURN x; RETURN 3", "false 2/3 'Variable `x` not defined (line 1, column 8 (offset: 7))' rows,error"},
      {"nonsense; RETURN 1", "false 1/2 'unrecognized query — try :help' error"},
      {"RETURN 1; USE nowhere; RETURN 2", "false 2/3 'unknown database: nowhere' rows,error"},
      {":param v => 5\nRETURN $v AS v", "true 2/2 '' stats,rows"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Engine e = small_engine();
    const json answer = run_input(e, c.input);
    std::string kinds;
    for (const json& r : answer["results"]) kinds += (kinds.empty() ? "" : ",") + r["kind"].get<std::string>();
    EXPECT_EQ(c.summary, answer["ok"].dump() + " " + answer["count"].dump() + "/" + answer["statements"].dump() + " '" +
                             answer["error"].get<std::string>() + "' " + kinds);
    EXPECT_EQ(answer["query"], c.input);
    // Every answer is the answer of its statement alone, on an engine where
    // the statements before it ran.
    Engine alone = small_engine();
    for (const json& r : answer["results"]) {
      EXPECT_EQ(timeless(run_one(alone, r["query"].get<std::string>())), timeless(r));
    }
  }
}

TEST(StatementBatch, MembersOfAFailedBatch) {
  Engine e = small_engine();
  const json answer = run_input(e, "RETURN 1; RETURN x");
  std::string keys;
  for (const auto& [key, value] : answer.items()) keys += key + " ";
  // nlohmann orders members by name; the text's own order is checked below.
  EXPECT_EQ("count detail error errorClass kind ns ok phase query results statements ", keys);
  BatchAnswer raw;
  dispatch_input(raw, e, "RETURN 1; RETURN x", "", nullptr);
  const std::string text = batch_json(raw);
  EXPECT_TRUE(text.starts_with("{\"ok\":false,\"kind\":\"statements\",\"count\":2,\"statements\":2,\"ns\":")) << text;
  EXPECT_NE(std::string::npos, text.find(",\"error\":\"Variable `x` not defined (line 1, column 8 (offset: 7))\","
                                         "\"errorClass\":\"SyntaxError\",\"phase\":\"compile time\","
                                         "\"detail\":\"UndefinedVariable\",\"query\":\"RETURN 1; RETURN x\","
                                         "\"results\":[{\"ok\":true,"))
      << text;
  EXPECT_EQ(answer["results"][1]["errorClass"], answer["errorClass"]);
}

// Statements before a failure keep their effects; those after it never run.
TEST(StatementBatch, EffectsBeforeAFailureStayAndNothingAfterItRuns) {
  Engine e = small_engine();
  const std::uint32_t nodes = e.database().graph.node_count;
  const json answer = run_input(e, "CREATE (:Kept); CREATE (:Bad)-[:T]->(x) RETURN y; CREATE (:Never)");
  EXPECT_FALSE(answer["ok"].get<bool>());
  EXPECT_EQ(2, answer["count"]);
  EXPECT_EQ(nodes + 1, e.database().graph.node_count);
  EXPECT_EQ(1, run_input(e, "MATCH (n:Kept) RETURN count(n)")["count"]);
  EXPECT_EQ(0, run_input(e, "MATCH (n:Never) RETURN count(n)")["count"]);
}

// The 64 KiB bound is each statement's, with the message a statement of
// that size has always had; the input as a whole is bounded by its
// transport, and by the number of statements.
TEST(StatementBatch, BoundsPerStatementAndPerInput) {
  Engine e = small_engine();
  const std::string big = "RETURN '" + std::string(70000, 'x') + "'";
  const json alone = run_one(e, big);
  const json answer = run_input(e, "RETURN 1; " + big + "; RETURN 3");
  EXPECT_EQ(2, answer["count"]);
  EXPECT_EQ(alone["error"], answer["error"]);
  EXPECT_TRUE(answer["error"].get<std::string>().starts_with("Invalid input: the statement has 70009 bytes"));
  // Sixty statements of 60,000 bytes each run: only a statement is bounded.
  std::string many;
  for (int i = 0; i < 60; ++i) many += "RETURN '" + std::string(60000, 'y') + "' AS s;\n";
  EXPECT_TRUE(run_input(e, many)["ok"].get<bool>());

  std::string too_many;
  for (std::size_t i = 0; i <= kMaxStatementsPerInput; ++i) too_many += "CREATE (:Many);";
  const std::uint64_t statements = e.statement_count() + e.error_count();
  const json refused = run_input(e, too_many);
  EXPECT_EQ("input holds 1001 statements; at most 1000 run at once", refused["error"]);
  EXPECT_EQ(statements, e.statement_count() + e.error_count());
  EXPECT_EQ(0, run_input(e, "MATCH (n:Many) RETURN count(n)")["count"]);
}

// "2 0 1 | 0:0>1 2:0>2": node ids, then relationships as id:start>end.
std::string arrays(const json& answer) {
  std::string out;
  for (const json& n : answer["nodes"]) out += (out.empty() ? "" : " ") + n["id"].dump();
  out += " |";
  for (const json& r : answer["rels"]) out += " " + r["id"].dump() + ":" + r["src"].dump() + ">" + r["dst"].dump();
  return out;
}

TEST(GraphArrays, EntitiesAtAnyDepthOnceInFirstAppearanceOrder) {
  struct Case {
    const char* statement;
    const char* arrays;
  };
  const Case cases[] = {
      {"RETURN 1, 'a', [1, {b: 2}]", " |"},
      {"MATCH (a) WHERE id(a) IN [3, 1] RETURN a ORDER BY id(a) DESC", "3 1 |"},
      {"MATCH (a), (b) WHERE id(a) = 2 AND id(b) = 1 RETURN [b, [a]] AS l", "1 2 |"},
      {"MATCH (a) WHERE id(a) = 4 RETURN {x: {y: [a]}} AS m", "4 |"},
      // A relationship brings its ends, start first.
      {"MATCH (a)-[r:FOLLOWS]->(b) WHERE id(a) = 2 RETURN r", "2 3 | 3:2>3"},
      {"MATCH (a)-[r:FOLLOWS]->(b) WHERE id(r) = 1 RETURN b, r", "0 1 | 1:1>0"},
      // A path in its order, a relationship walked against its direction
      // keeping its own start and end.
      {"MATCH p = (a)-[:FOLLOWS]->(b)-[:FOLLOWS]->(c) WHERE id(a) = 0 AND id(c) = 3 RETURN p", "0 2 3 | 2:0>2 3:2>3"},
      {"MATCH p = (a)<-[:FOLLOWS]-(b) WHERE id(a) = 0 AND id(b) = 1 RETURN p", "0 1 | 1:1>0"},
      {"MATCH p = (a)-[:FOLLOWS*2]->(c) WHERE id(a) = 0 AND id(c) = 3 RETURN [{p: p}]", "0 2 3 | 2:0>2 3:2>3"},
      // Each once, however often the rows repeat it.
      {"UNWIND [1, 2, 3] AS i MATCH (a)-[r]->(b) WHERE id(r) = 0 RETURN a, r, b, [a, b]", "0 1 | 0:0>1"},
      {"MATCH (a)-[r:FOLLOWS]->(b) WHERE id(a) IN [0, 1] RETURN a, collect(r) ORDER BY id(a)",
       "0 1 2 | 0:0>1 2:0>2 1:1>0"},
      // The established engine's node rows fill them too.
      {"MATCH (n:Paper) RETURN n LIMIT 2", "10 11 |"},
      {"MATCH (n:Paper) RETURN n.name LIMIT 2", " |"},
      // Nothing when the statement fails.
      {"MATCH (a) RETURN a, x", " |"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    Engine e = small_engine();
    EXPECT_EQ(c.arrays, arrays(run_one(e, c.statement)));
  }
}

TEST(GraphArrays, EntriesCarryWhatABrowserDraws) {
  Engine e = small_engine();
  ASSERT_TRUE(run_one(e, "CREATE (a:A:B {name: 'ann', n: 1})-[:T {w: 2}]->(b:C), (a)-[:T]->(b)")["ok"].get<bool>());
  const json answer = run_one(e, "MATCH (a:A)-[r:T]->(b:C) RETURN r ORDER BY id(r)");
  ASSERT_EQ(2u, answer["rels"].size());
  ASSERT_EQ(2u, answer["nodes"].size());
  const json& a = answer["nodes"][0];
  EXPECT_EQ(R"({"elementId":"4:halvex:14","id":14,"label":"A","labels":["A","B"],"name":"ann",)"
            R"("properties":{"n":1,"name":"ann"},"topic":0})",
            a.dump());
  EXPECT_EQ(R"({"id":15,"label":"C","labels":["C"],"name":"C-15","properties":{}})",
            json({{"id", answer["nodes"][1]["id"]}, {"label", answer["nodes"][1]["label"]},
                  {"labels", answer["nodes"][1]["labels"]}, {"name", answer["nodes"][1]["name"]},
                  {"properties", answer["nodes"][1]["properties"]}})
                .dump());
  // Parallel relationships are two entries, each with its own id.
  EXPECT_EQ(R"({"dst":15,"elementId":"5:halvex:17","id":17,"properties":{"w":2},"src":14,"type":"T"})",
            answer["rels"][0].dump());
  EXPECT_EQ(18, answer["rels"][1]["id"]);
  EXPECT_FALSE(answer.contains("graphTruncated"));
}

TEST(GraphArrays, BoundedWithTheRowsLeftWhole) {
  Engine e = small_engine();
  ASSERT_TRUE(run_one(e, "UNWIND range(1, 10005) AS i CREATE (:M {i: i})")["ok"].get<bool>());
  const json answer = run_one(e, "MATCH (n:M) RETURN collect(n) AS all");
  EXPECT_EQ(10005u, json::parse(answer["data"].dump())["rows"][0][0].size());
  EXPECT_EQ(kMaxGraphNodes, answer["nodes"].size());
  EXPECT_TRUE(answer["graphTruncated"].get<bool>());
}

TEST(ParameterValues, EveryLiteralKindTyped) {
  struct Case {
    const char* expression;
    const char* typed_json;
  };
  const Case cases[] = {
      {"3", "3"},
      {"-3", "-3"},
      {"0x1F", "31"},
      {"1.5", "1.5"},
      {"1e3", "1000.0"},
      {"'a'", R"("a")"},
      {"\"b\"", R"("b")"},
      {"'it\\'s'", R"("it's")"},
      {"'3'", R"("3")"},
      {"true", "true"},
      {"false", "false"},
      {"null", "null"},
      {"[]", "[]"},
      {"[1, 'a', null, [2.5]]", R"([1,"a",null,[2.5]])"},
      {"{}", "{}"},
      {"{a: 1, b: [true], `c d`: {e: 'f'}}", R"({"a":1,"b":[true],"c d":{"e":"f"}})"},
      {"date('2020-01-01')", R"({"$type":"Date","_value":"2020-01-01"})"},
      {"{when: date('2020-01-01')}", R"({"when":{"$type":"Date","_value":"2020-01-01"}})"},
      {" 1 + 2 ", "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    const json value = evaluate_parameter(c.expression);
    EXPECT_EQ(c.typed_json, value.dump());
    // Kept as a :param value, it reads back as itself in a statement.
    Engine e = small_engine();
    set_parameters(e, {{"p", value}});
    const json answer = run_one(e, "RETURN $p AS p");
    ASSERT_TRUE(answer["ok"].get<bool>()) << answer.dump();
    EXPECT_EQ(c.typed_json, answer["data"]["rows"][0][0].dump());
  }
}

TEST(ParameterValues, BadValuesSayWhy) {
  struct Case {
    const char* expression;
    const char* error;
  };
  const Case cases[] = {
      {"x", "Variable `x` not defined (line 1, column 8 (offset: 7))"},
      {"1, 2", "a parameter value must be one expression"},
      {"1 UNION ALL RETURN 1", "a parameter value must be one expression"},
      {"$other", "a parameter value cannot refer to other parameters"},
      {"'open", "Unterminated string: expected a closing ' (line 1, column 8 (offset: 7))"},
      {"", "Invalid input '': expected an expression (line 1, column 8 (offset: 7))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    try {
      evaluate_parameter(c.expression);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(c.error, std::string(e.what()));
    }
  }
  EXPECT_THROW(parameters_from_json("[1]"), std::runtime_error);
  EXPECT_THROW(parameters_from_json("{"), std::runtime_error);
  EXPECT_EQ(2u, parameters_from_json(R"({"a": 1, "b": {"$type": "Date", "_value": "2020-01-01"}})").size());
}

// A string that reads as JSON is kept so that both engines read it back
// as the same string: the pipeline binds it, the established engine has it
// pasted as a string literal.
TEST(ParameterValues, StringsThatLookLikeJsonStayStrings) {
  for (const char* text : {"3", "true", "null", "[1]", "{\"a\":1}", "plain", "\"quoted\""}) {
    SCOPED_TRACE(text);
    Engine e = small_engine();
    set_parameters(e, {{"p", json(text)}});
    EXPECT_EQ(json(text), run_one(e, "RETURN $p AS p")["data"]["rows"][0][0]);
  }
  Engine e = small_engine();
  set_parameters(e, {{"name", json("p3")}, {"n", json("3")}});
  EXPECT_EQ(1, run_one(e, "MATCH (n:Person {name: $name}) RETURN count(n)")["count"]);
}

}  // namespace
}  // namespace orvane
