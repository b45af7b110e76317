// Parameters on the command line (--params, --param) and several
// statements in one input: the option reader on its own, then the query
// command and the shell through the real binary.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/query_parameters.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

// command_line_parameters of `args` (after a program name) as one compact
// JSON object, or "error: MESSAGE".
std::string parameters_of(std::vector<std::string> args) {
  args.insert(args.begin(), {"orvane", "query"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  try {
    const ParamMap params = command_line_parameters(static_cast<int>(argv.size()), argv.data());
    return nlohmann::json(params).dump();
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

TEST(QueryParameters, TypedValuesAndPrecedence) {
  struct Case {
    std::vector<std::string> args;
    const char* params;
  };
  const Case cases[] = {
      {{"RETURN 1"}, "{}"},
      {{"--param", "n=3"}, R"({"n":3})"},
      {{"--param", "names=[\"a\", 'b']"}, R"({"names":["a","b"]})"},
      {{"--param", "m={a: 1, b: date('2020-01-01')}"}, R"({"m":{"a":1,"b":{"$type":"Date","_value":"2020-01-01"}}})"},
      {{"--param", "s='x=y'"}, R"({"s":"x=y"})"},  // the first "=" names
      {{"--param", "f=2.50", "--param", "t=true", "--param", "z=null"}, R"({"f":2.5,"t":true,"z":null})"},
      {{"--params", R"({"a": 1, "b": "two", "c": [1, {"d": null}]})"}, R"({"a":1,"b":"two","c":[1,{"d":null}]})"},
      // --param wins over --params wherever it stands; a later value of
      // the same option wins over an earlier one.
      {{"--param", "a=5", "--params", R"({"a": 1, "b": 2})"}, R"({"a":5,"b":2})"},
      {{"--params", R"({"a": 1})", "--params", R"({"a": 2})"}, R"({"a":2})"},
      {{"--param", "a=1", "--param", "a='later'"}, R"({"a":"later"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(c.params, parameters_of(c.args));
  }
}

TEST(QueryParameters, BadInputNamesTheOption) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--param", "n"}, "error: invalid --param n: expected name=VALUE"},
      {{"--param", "=3"}, "error: invalid --param =3: a parameter name is letters, digits and _"},
      {{"--param", "a b=3"}, "error: invalid --param a b=3: a parameter name is letters, digits and _"},
      {{"--param", "n=x"}, "error: invalid --param n=x: Variable `x` not defined (line 1, column 8 (offset: 7))"},
      {{"--param", "n=1, 2"}, "error: invalid --param n=1, 2: a parameter value must be one expression"},
      {{"--param", "n=$m"}, "error: invalid --param n=$m: a parameter value cannot refer to other parameters"},
      {{"--params", "[1]"}, "error: invalid --params: a JSON object of parameters is required"},
      {{"--params", "{\"a\":"},
       "error: invalid --params: [json.exception.parse_error.101] parse error at line 1, column 6: syntax error while "
       "parsing value - unexpected end of input; expected '[', '{', or a literal"},
      {{"--param"}, "error: missing value for --param"},
      {{"--params"}, "error: missing value for --params"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(c.error, parameters_of(c.args));
  }
}

TEST(QueryCommand, SeveralStatementsPrintEachAnswerInTurn) {
  EXPECT_EQ("{\"columns\":[\"a\"],\"rows\":[[1]]}\n{\"columns\":[\"b\"],\"rows\":[[2]]}\n",
            orvane_output({"query", "RETURN 1 AS a; RETURN 2 AS b;"}));
  // A colon command ends with its line.
  EXPECT_TRUE(orvane_output({"query", ":param v => 7\nRETURN $v AS v"}).ends_with("}\n{\"columns\":[\"v\"],\"rows\":[[7]]}\n"));
  // The first failure stops the input; the answers before it are printed.
  const RunResult r = run_orvane({"query", "RETURN 1 AS a; RETURN x; RETURN 3"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("{\"columns\":[\"a\"],\"rows\":[[1]]}\n", r.out);
  EXPECT_EQ("error: Variable `x` not defined (line 1, column 8 (offset: 7))\n", r.err);
  // A write anywhere in the input needs somewhere to save it.
  expect_refusal(run_orvane({"query", "RETURN 1; CREATE (:X)"}),
                 "error: a mutating query requires --db PATH or --out PATH; use shell for a new persistent graph\n");
}

TEST(QueryCommand, WritesBeforeAFailureAreSaved) {
  TempDir dir;
  const std::string g = dir.file("g.orv");
  orvane_output({"snapshot", "--out", g, "--people", "3", "--papers", "1"});
  const RunResult r = run_orvane({"query", "CREATE (:Kept); RETURN x; CREATE (:Never)", "--db", g});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: Variable `x` not defined (line 1, column 8 (offset: 7))\n", r.err);
  EXPECT_EQ("{\"columns\":[\"k\"],\"rows\":[[1]]}\n{\"columns\":[\"n\"],\"rows\":[[0]]}\n",
            orvane_output({"query", "MATCH (n:Kept) RETURN count(n) AS k; MATCH (n:Never) RETURN count(n) AS n", "--db", g}));
}

TEST(QueryCommand, ParametersAreBoundTyped) {
  EXPECT_EQ("{\"columns\":[\"n\",\"s\",\"l\",\"d\"],\"rows\":[[4,\"x\",2,\"2020-01-01\"]]}\n",
            orvane_output({"query", "RETURN $n + 1 AS n, $s AS s, size($l) AS l, toString($d) AS d", "--param", "n=3",
                           "--params", R"({"s": "x", "n": 100})", "--param", "l=['a', 'b']", "--param",
                           "d=date('2020-01-01')"}));
  // A quote in a value is a value, never statement text.
  EXPECT_EQ("{\"columns\":[\"s\"],\"rows\":[[\"') RETURN 1 //\"]]}\n",
            orvane_output({"query", "RETURN $s AS s", "--param", "s=\"') RETURN 1 //\""}));
  expect_refusal(run_orvane({"query", "RETURN $n", "--param", "n="}),
                 "error: invalid --param n=: Invalid input '': expected an expression (line 1, column 8 (offset: 7))\n");
  expect_refusal(run_orvane({"query", "RETURN 1", "--params", "{}", "--params", "{}"}),
                 "error: duplicate argument: --params\n");
}

TEST(ShellCommand, ParametersSeedTheSessionAndColonCommandsEndWithTheLine) {
  TempDir dir;
  const RunResult r = run_orvane({"shell", "--db", dir.file("g.orv"), "--param", "n=3", "--params", R"({"s":"a"})"}, "",
                                 "RETURN $n AS n, $s AS s;\n:param n => 4\nRETURN $n AS n; :params\n");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(r.out.starts_with("{\"columns\":[\"n\",\"s\"],\"rows\":[[3,\"a\"]]}\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("{\"columns\":[\"n\"],\"rows\":[[4]]}\n")) << r.out;
  expect_refusal(run_orvane({"shell", "--db", dir.file("g.orv"), "--param", "bad"}, "", ""),
                 "error: invalid --param bad: expected name=VALUE\n");
}

}  // namespace
}  // namespace orvane::testing
