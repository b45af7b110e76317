// Reading the engine's JSON answers: plain and typed values, nodes,
// relationships and paths in the answer shape, whole answers with rows or
// errors; and writing parameters.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tck/console_engine.h"
#include "tck/json_values.h"
#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

TEST(JsonValues, ReadsTheAnswerShapes) {
  struct Case {
    const char* json;
    const char* display;
  };
  const std::vector<Case> cases = {
      {"null", "null"},
      {"true", "true"},
      {"-3", "-3"},
      {"1.0", "1.0"},
      {R"("s")", "'s'"},
      {"[1, [2.5]]", "[1, [2.5]]"},
      {R"({"b": 1, "a": null})", "{a: null, b: 1}"},
      {R"({"$type": "Integer", "_value": "9223372036854775807"})", "9223372036854775807"},
      {R"({"$type": "Float", "_value": "-Infinity"})", "-Infinity"},
      {R"({"$type": "Date", "_value": "2015-07-21"})", "'2015-07-21'"},
      {R"({"id": 0, "labels": ["B", "A"], "properties": {"k": 1}})", "(:A:B {k: 1})"},
      {R"({"id": 0, "elementId": "4:x:0", "labels": [], "properties": {}})", "()"},
      {R"({"labels": ["A"], "properties": {}})", "{labels: ['A'], properties: {}}"},
      {R"({"id": 5, "type": "T", "start": 0, "end": 1, "properties": {"w": "x"}})", "[:T {w: 'x'}]"},
      {R"({"nodes": [{"id": 0, "labels": ["A"], "properties": {}}, {"id": 1, "labels": ["B"], "properties": {}},
                     {"id": 2, "labels": [], "properties": {}}],
          "relationships": [{"id": 7, "type": "T", "start": 0, "end": 1, "properties": {}},
                            {"id": 8, "type": "U", "start": 2, "end": 1, "properties": {}}]})",
       "<(:A)-[:T]->(:B)<-[:U]-()>"},
      {R"({"nodes": [{"id": 3, "labels": [], "properties": {}}], "relationships": []})", "<()>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    const TckValue v = value_of_json(nlohmann::json::parse(c.json, nullptr, true, true));
    EXPECT_EQ(c.display, value_text(v));
  }
  EXPECT_TRUE(std::isnan(value_of_json(nlohmann::json::parse(R"({"$type":"Float","_value":"NaN"})")).number));
}

TEST(JsonValues, RefusesMalformedEntities) {
  for (const char* bad : {
           R"({"$type": "Float", "_value": "lots"})",
           R"({"$type": "Integer", "_value": "12x"})",
           R"({"nodes": [], "relationships": []})",
           R"({"nodes": [{"id": 0, "labels": [], "properties": {}}, {"id": 1, "labels": [], "properties": {}}],
               "relationships": [{"id": 7, "type": "T", "start": 5, "end": 6, "properties": {}}]})",
           R"({"id": 0, "labels": [], "properties": 3})",
       }) {
    SCOPED_TRACE(bad);
    EXPECT_ANY_THROW(value_of_json(nlohmann::json::parse(bad)));
  }
}

TEST(JsonValues, WritesParameters) {
  struct Case {
    const char* literal;
    const char* json;
  };
  const std::vector<Case> cases = {
      {"null", "null"},
      {"[1, 'a', 2.5]", R"([1,"a",2.5])"},
      {"{k: [true]}", R"({"k":[true]})"},
      {"NaN", R"({"$type":"Float","_value":"NaN"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    EXPECT_EQ(c.json, json_of_value(parse_value_literal(c.literal)).dump());
  }
  EXPECT_THROW(json_of_value(parse_value_literal("(:A)")), std::runtime_error);
}

TEST(JsonValues, ReadsWholeAnswers) {
  const QueryOutcome rows = outcome_of_answer(
      R"({"ok":true,"kind":"rows","count":1,"ns":1,"error":"","query":"q",)"
      R"("data":{"columns":["n","x"],"rows":[[{"id":0,"labels":["A"],"properties":{}},2]]},"nodes":[],"rels":[]})");
  ASSERT_TRUE(rows.ok);
  EXPECT_EQ((std::vector<std::string>{"n", "x"}), rows.result.columns);
  ASSERT_EQ(1u, rows.result.rows.size());
  EXPECT_EQ("(:A)", value_text(rows.result.rows[0][0]));

  const QueryOutcome stats = outcome_of_answer(R"({"ok":true,"kind":"stats","data":{"id":14},"nodes":[]})");
  EXPECT_TRUE(stats.ok);
  EXPECT_TRUE(stats.result.columns.empty());
  EXPECT_TRUE(stats.result.rows.empty());

  const QueryOutcome classified = outcome_of_answer(
      R"({"ok":false,"kind":"error","error":"Unknown function 'foo'","errorClass":"SyntaxError",)"
      R"("phase":"compile time","detail":"UnknownFunction"})");
  EXPECT_FALSE(classified.ok);
  EXPECT_EQ("SyntaxError", classified.error.error_class);
  EXPECT_EQ("compile time", classified.error.phase);
  EXPECT_EQ("UnknownFunction", classified.error.detail);
  EXPECT_EQ("Unknown function 'foo'", classified.error.message);

  const QueryOutcome plain = outcome_of_answer(R"({"ok":false,"kind":"error","error":"unrecognized query"})");
  EXPECT_FALSE(plain.ok);
  EXPECT_EQ("", plain.error.error_class);
  EXPECT_EQ("unrecognized query", plain.error.message);

  const QueryOutcome garbled = outcome_of_answer("{");
  EXPECT_FALSE(garbled.ok);
  EXPECT_EQ(0u, garbled.error.message.find("runner could not read the answer"));
}

}  // namespace
}  // namespace orvane::tck
