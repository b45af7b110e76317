// CSV reading as tables: each row of the record reader's table is an input
// text and either the records it reads or the message it fails with; each
// row of the typing tables is (text, column type) → the compact JSON of the
// value or the exact message it fails with.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/csv_reader.h"

namespace orvane {
namespace {

// Renders every record of `text` as "field|field" with quoted fields in
// <angle brackets>, one record per element; a failure becomes "!message".
std::vector<std::string> read_all(const std::string& text) {
  std::istringstream in(text);
  CsvRecord record;
  std::vector<std::string> out;
  try {
    while (read_csv_record(in, record)) {
      EXPECT_EQ(record.fields.size(), record.quoted.size());
      std::string line;
      for (std::size_t i = 0; i < record.fields.size(); ++i) {
        if (i != 0) line += '|';
        line += record.quoted[i] ? "<" + record.fields[i] + ">" : record.fields[i];
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
      {"", {}},
      {"x,y", {"x|y"}},
      {"x,y\n", {"x|y"}},
      {"a,\"b \"\"q\"\" c\",d\n", {"a|<b \"q\" c>|d"}},
      {"\"line\nbreak, and comma\",2\n", {"<line\nbreak, and comma>|2"}},
      {"a\r\nb\rc\n", {"a", "b", "c"}},
      {"\n\n", {"", ""}},
      {",\n", {"|"}},
      {"\"\",\n", {"<>|"}},
      {" a , b \n", {" a | b "}},
      {"\"\"\"\"", {"<\">"}},
      {"\"a\"\r\n\"b\"", {"<a>", "<b>"}},
      {"\"x\"", {"<x>"}},
      {"\"ab\"c\n", {around}},
      {"ab\"c\"\n", {around}},
      {"\"ab\" ,c\n", {around}},
      {"ok\n\"open", {"ok", "!unterminated quoted CSV field"}},
      {"\"a\"\"", {"!unterminated quoted CSV field"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.records, read_all(c.text)) << c.text;
}

TEST(CsvReader, FieldLimit) {
  auto fields = [](std::size_t n) {
    std::string line;
    for (std::size_t i = 0; i < n; ++i) line += i == 0 ? "f" : ",f";
    return line + "\n";
  };
  std::istringstream exact(fields(kCsvRecordFieldLimit));
  CsvRecord record;
  ASSERT_TRUE(read_csv_record(exact, record));
  EXPECT_EQ(kCsvRecordFieldLimit, record.fields.size());
  EXPECT_EQ(std::vector<std::string>{"!CSV record has too many fields"}, read_all(fields(kCsvRecordFieldLimit + 1)));
}

TEST(CsvReader, ByteLimitCountsWhatTheLoopTakes) {
  // A quoted field of doubled quotes: each pair counts once, so a record of
  // exactly the limit (2 enclosing quotes + pairs + the line feed) passes.
  const std::size_t pairs = kCsvRecordByteLimit - 3;
  std::string text = "\"";
  text.reserve(2 * pairs + 4);
  for (std::size_t i = 0; i < pairs; ++i) text += "\"\"";
  text += "\"\r\n";  // the line feed of CR LF is not counted either
  {
    std::istringstream in(text);
    CsvRecord record;
    ASSERT_TRUE(read_csv_record(in, record));
    EXPECT_EQ(pairs, record.fields.at(0).size());
    EXPECT_FALSE(read_csv_record(in, record));
  }
  std::string over(kCsvRecordByteLimit, 'a');
  over += "\n";
  EXPECT_EQ(std::vector<std::string>{"!CSV record exceeds 64 MiB"}, read_all(over));
}

TEST(CsvHeader, NameAndType) {
  const struct {
    const char* column;
    const char* name;
    const char* type;
  } cases[] = {
      {":ID", "", "ID"},         {":LABEL", "", "LABEL"}, {"name", "name", "string"},
      {"age:int", "age", "int"}, {"a:b:c", "a", "b:c"},    {"id:ID(Person)", "id", "ID(Person)"},
      {"", "", "string"},        {"X:", "X", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.name, header_name(c.column)) << c.column;
    EXPECT_EQ(c.type, header_type(c.column)) << c.column;
  }
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

TEST(CsvValue, Scalars) {
  const struct {
    const char* text;
    const char* type;
    const char* expected;
  } cases[] = {
      {"a,b", "string", "\"a,b\""},
      {"7", "ID", "\"7\""},
      {"p1", "ID(Person)", "\"p1\""},
      {"{\"k\":[1,2]}", "json", "{\"k\":[1,2]}"},
      {"{bad", "json", "!json parse error"},
      {"true", "boolean", "true"},
      {"True", "boolean", "!invalid boolean property"},
      {"", "bool", "!invalid boolean property"},
      {"12", "int", "12"},
      {" 12", "integer", "12"},
      {"300", "byte", "300"},
      {"+5", "short", "5"},
      {"12x", "int", "!invalid integer property"},
      {"12 ", "int", "!invalid integer property"},
      {"", "int", "!stoll"},
      {"9223372036854775808", "long", "!stoll"},
      {"2.5", "double", "2.5"},
      {"1e3", "float", "1000.0"},
      {"-0", "double", "-0.0"},
      {"inf", "double", "!invalid floating-point property"},
      {"2.5 ", "double", "!invalid floating-point property"},
      {"1e400", "double", "!stod"},
      {"", "double", "!stod"},
      {"INT", "INT", "!unsupported CSV property type: INT"},
      {"2020-01-01", "date", "!unsupported CSV property type: date"},
      {"1", "", "!unsupported CSV property type: "},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, typed(c.text, c.type)) << c.text << " as " << c.type;
}

TEST(CsvValue, Arrays) {
  const struct {
    const char* text;
    const char* type;
    const char* expected;
  } cases[] = {
      {"a;b;;c", "string[]", "[\"a\",\"b\",\"\",\"c\"]"},
      {"", "int[]", "[]"},
      {"1;2;-3", "long[]", "[1,2,-3]"},
      {"1;;2", "int[]", "!stoll"},
      {"1;2x", "int[]", "!invalid integer property"},
      {"true;false", "boolean[]", "[true,false]"},
      {"1.5;2", "double[]", "[1.5,2.0]"},
      {"[1,2.5]", "float[]", "[1,2.5]"},
      {"[1,\"2\"]", "int[]", "!array component does not match CSV header type"},
      {"[1.5]", "int[]", "!array component does not match CSV header type"},
      {"[18446744073709551615]", "int[]", "[18446744073709551615]"},
      {"[true]", "bool[]", "[true]"},
      {"[1,", "int[]", "!json parse error"},
      {"[]", "ID[]", "[]"},
      {"x;y", "ID(Paper)[]", "\"x;y\""},  // an ID(...) column is a string, whatever follows
      {"1", "date[]", "!unsupported CSV array type: date"},
      {"1", "int[][]", "!unsupported CSV array type: int[]"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, typed(c.text, c.type)) << c.text << " as " << c.type;
}

// Values are validated and serialised recursively, so text from a file may
// nest at most 1000 arrays/objects; deeper text is a JSON parse error.
TEST(CsvValue, NestingIsBounded) {
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_NO_THROW(typed_csv_value(nested(1000), "json"));
  EXPECT_EQ("!json parse error", typed(nested(1001), "json"));
  EXPECT_EQ("!json parse error", typed(nested(5000000), "json"));
  EXPECT_EQ("!json parse error", typed("[" + nested(1000) + "]", "string[]"));
}

}  // namespace
}  // namespace orvane
