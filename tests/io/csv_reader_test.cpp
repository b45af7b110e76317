// The CSV record reader and header convention, as tables: each row is an
// input text and either the records it reads or the message it fails with.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace orvane
