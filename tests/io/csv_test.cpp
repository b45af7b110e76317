// CSV reading as tables: an input text and the records it reads or the
// message it fails with; (text, column type) and the compact JSON of the
// value or the exact message. The flat-object JSON fast path must give
// exactly the general parser's value (number types included) or decline, so
// that the general parser decides.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "io/csv_reader.h"
#include "io/flat_json.h"

namespace orvane {
namespace {

// Every record of `text` as "field|field" with quoted fields in <angle
// brackets>; a failure becomes "!message".
std::vector<std::string> read_all(const std::string& text) {
  std::istringstream in(text);
  CsvRecord record;
  std::vector<std::string> out;
  try {
    while (read_csv_record(in, record)) {
      EXPECT_EQ(record.fields.size(), record.quoted.size());
      std::string line;
      for (std::size_t i = 0; i < record.fields.size(); ++i) {
        line += (i != 0 ? "|" : "") + (record.quoted[i] ? "<" + record.fields[i] + ">" : record.fields[i]);
      }
      out.push_back(line);
    }
  } catch (const std::runtime_error& e) {
    out.push_back(std::string("!") + e.what());
  }
  return out;
}

TEST(CsvReader, RecordsQuotingAndMalformedQuotes) {
  const std::string around = "!invalid characters around a quoted CSV field";
  const struct {
    std::string text;
    std::vector<std::string> records;
  } cases[] = {
      {"", {}}, {"x,y", {"x|y"}}, {"x,y\n", {"x|y"}}, {"a,\"b \"\"q\"\" c\",d\n", {"a|<b \"q\" c>|d"}},
      {"\"line\nbreak, and comma\",2\n", {"<line\nbreak, and comma>|2"}}, {"a\r\nb\rc\n", {"a", "b", "c"}},
      {"\n\n", {"", ""}}, {",\n", {"|"}}, {"\"\",\n", {"<>|"}}, {" a , b \n", {" a | b "}}, {"\"\"\"\"", {"<\">"}},
      {"\"a\"\r\n\"b\"", {"<a>", "<b>"}}, {"\"x\"", {"<x>"}}, {"\"ab\"c\n", {around}}, {"ab\"c\"\n", {around}},
      {"\"ab\" ,c\n", {around}}, {"ok\n\"open", {"ok", "!unterminated quoted CSV field"}},
      {"\"a\"\"", {"!unterminated quoted CSV field"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.records, read_all(c.text)) << c.text;
}

// A record of exactly the field limit passes. Of the byte limit, a quoted
// field of doubled quotes counts each pair once, and the line feed of CR LF
// not at all, so 2 enclosing quotes + pairs + CR make exactly the limit.
TEST(CsvReader, FieldAndByteLimits) {
  std::string fields = "f", shown = "f";
  for (std::size_t i = 1; i < kCsvRecordFieldLimit; ++i) fields += ",f", shown += "|f";
  EXPECT_EQ(std::vector<std::string>{shown}, read_all(fields + "\n"));
  EXPECT_EQ(std::vector<std::string>{"!CSV record has too many fields"}, read_all(fields + ",f\n"));
  const std::size_t pairs = kCsvRecordByteLimit - 3;
  std::string text = "\"";
  text.reserve(2 * pairs + 4);
  for (std::size_t i = 0; i < pairs; ++i) text += "\"\"";
  std::istringstream in(text + "\"\r\n");
  CsvRecord record;
  ASSERT_TRUE(read_csv_record(in, record));
  EXPECT_EQ(pairs, record.fields.at(0).size());
  EXPECT_FALSE(read_csv_record(in, record));
  EXPECT_EQ(std::vector<std::string>{"!CSV record exceeds 64 MiB"},
            read_all(std::string(kCsvRecordByteLimit, 'a') + "\n"));
}

// Each record's starting line, as "LINE:first field" per record; a failure
// adds "!LINE", the line of the record that failed. A line break is LF, CR
// LF or a lone CR, inside quotes as outside.
TEST(CsvReader, CountsTheLineEachRecordStartsOn) {
  const auto lines = [](const std::string& text) {
    std::istringstream in(text);
    CsvRecord record;
    std::string out;
    try {
      while (read_csv_record(in, record)) out += std::to_string(record.line) + ":" + record.fields[0] + " ";
    } catch (const std::runtime_error&) {
      out += "!" + std::to_string(record.line);
    }
    return out;
  };
  const std::pair<std::string, std::string> cases[] = {
      {"a\nb\nc", "1:a 2:b 3:c "},
      {"a\r\nb\r\n\r\nc\r\n", "1:a 2:b 3: 4:c "},
      {"a\rb\r\rc", "1:a 2:b 3: 4:c "},
      {"\"x\ny\"\nb\n", "1:x\ny 3:b "},
      {"\"x\r\ny\r\nz\",q\nb\n", "1:x\r\ny\r\nz 4:b "},
      {"\"x\ry\"\nb\n", "1:x\ry 3:b "},
      {"\"\n\n\n\"\nb\n", "1:\n\n\n 5:b "},
      {"a\n\"b\n\"\"c\"\"\"\nd\n", "1:a 2:b\n\"c\" 4:d "},
      {"a\n\"b\nc", "1:a !2"},
      {"a\nb\"c\n", "1:a !2"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(expected, lines(text)) << text;
}

std::string typed(const std::string& text, const std::string& type) {
  try {
    return typed_csv_value(text, type).dump();
  } catch (const nlohmann::json::parse_error&) {
    return "!json parse error";
  } catch (const std::exception& e) {
    return std::string("!") + e.what();
  }
}

// Values are validated and serialised recursively, so text from a file may
// nest at most 1000 arrays/objects; deeper text is a JSON parse error.
TEST(CsvValue, ScalarsArraysAndNesting) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  const std::string not_int = "!invalid integer property", not_float = "!invalid floating-point property",
                    not_bool = "!invalid boolean property",
                    mismatch = "!array component does not match CSV header type";
  const struct {
    std::string text, type, expected;
  } cases[] = {
      {"a,b", "string", "\"a,b\""}, {"7", "ID", "\"7\""}, {"p1", "ID(Person)", "\"p1\""},
      {"{\"k\":[1,2]}", "json", "{\"k\":[1,2]}"}, {"{bad", "json", "!json parse error"}, {"true", "boolean", "true"},
      {"True", "boolean", not_bool}, {"", "bool", not_bool}, {"12", "int", "12"}, {" 12", "integer", "12"},
      {"300", "byte", "300"}, {"+5", "short", "5"}, {"12x", "int", not_int}, {"12 ", "int", not_int},
      {"", "int", "!stoll"}, {"9223372036854775808", "long", "!stoll"}, {"2.5", "double", "2.5"},
      {"1e3", "float", "1000.0"}, {"-0", "double", "-0.0"}, {"inf", "double", not_float},
      {"2.5 ", "double", not_float}, {"1e400", "double", "!stod"}, {"", "double", "!stod"},
      {"INT", "INT", "!unsupported CSV property type: INT"},
      {"2020-01-01", "calendar", "!unsupported CSV property type: calendar"},
      {"1", "", "!unsupported CSV property type: "},
      // Arrays, as `;`-separated pieces or as a JSON array.
      {"a;b;;c", "string[]", "[\"a\",\"b\",\"\",\"c\"]"}, {"", "int[]", "[]"}, {"1;2;-3", "long[]", "[1,2,-3]"},
      {"1;;2", "int[]", "!stoll"}, {"1;2x", "int[]", not_int}, {"true;false", "boolean[]", "[true,false]"},
      {"1.5;2", "double[]", "[1.5,2.0]"}, {"[1,2.5]", "float[]", "[1,2.5]"}, {"[1,\"2\"]", "int[]", mismatch},
      {"[1.5]", "int[]", mismatch}, {"[18446744073709551615]", "int[]", "[18446744073709551615]"},
      {"[true]", "bool[]", "[true]"}, {"[1,", "int[]", "!json parse error"}, {"[]", "ID[]", "[]"},
      {"x;y", "ID(Paper)[]", "\"x;y\""},  // an ID(...) column is a string, whatever follows
      {"1", "calendar[]", "!unsupported CSV array type: calendar"}, {"1", "int[][]", "!unsupported CSV array type: int[]"},
      {nested(1000), "json", nested(1000)}, {nested(1001), "json", "!json parse error"},
      {nested(5000000), "json", "!json parse error"}, {"[" + nested(1000) + "]", "string[]", "!json parse error"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, typed(c.text, c.type)) << c.text.substr(0, 40) << " as " << c.type;
}

TEST(FlatJson, AcceptedTextsGiveTheGeneralParsersValue) {
  const char* accepted[] = {"{}", R"({"name":"person-17"})",
                            R"({"b":1,"a":"x","c":-42,"d":0,"e":true,"f":false,"g":null})",
                            R"({"big":999999999999999999,"neg":-999999999999999999})", R"({"k":"first","k":"second"})",
                            R"({"":""," sp ace ":"~!@#$%^&*()_+{}[]|;:',.<>/?`"})"};
  for (const char* text : accepted) {
    nlohmann::json fast;
    ASSERT_TRUE(parse_flat_json_object(text, fast)) << text;
    const nlohmann::json general = parse_json_bounded(text);
    ASSERT_EQ(fast, general) << text;
    for (auto it = fast.begin(); it != fast.end(); ++it) EXPECT_EQ(it->type(), general.at(it.key()).type()) << text;
  }
}

TEST(FlatJson, DeclinesEverythingElse) {
  const char* declined[] = {
      "", "[]", "1", R"("s")", "{", R"({"a":1)", R"({"a":1}x)", R"({"a":1} )", R"( {"a":1})", R"({ "a":1})",
      R"({"a": 1})", R"({"a":1,})", R"({,})", R"({"a"})", R"({"a":})", R"({a:1})", R"({"a":1.5})", R"({"a":1e3})",
      R"({"a":-0})", R"({"a":01})", R"({"a":-})", R"({"a":1234567890123456789})", R"({"a":"\n"})", R"({"a":"\u0041"})",
      "{\"a\":\"tab\there\"}", "{\"a\":\"\xC3\xA9\"}", "{\"\xFF\":1}", R"({"a":[1]})", R"({"a":{}})", R"({"a":tru})",
      R"({"a":"open)", R"({"a":nulls})",
  };
  for (const char* text : declined) {
    nlohmann::json out;
    EXPECT_FALSE(parse_flat_json_object(text, out)) << text;
  }
}

}  // namespace
}  // namespace orvane
