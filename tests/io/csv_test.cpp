// CSV reading as tables: an input text and the records it reads or the
// message it fails with; (text, column type) and the compact JSON of the
// value or the exact message. The flat-object JSON fast path must give
// exactly the general parser's value (number types included) or decline, so
// that the general parser decides.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

// The reader before it worked on runs: one byte at a time through sbumpc
// and sgetc, the plain statement of the format's rules. The reader proper
// must give the same records, lines and messages, and leave the stream at
// the same place.
bool read_record_bytewise(std::istream& in, CsvRecord& record) {
  using Traits = std::char_traits<char>;
  std::streambuf* buf = in.rdbuf();
  record.fields.clear();
  record.quoted.clear();
  record.line = record.next_line;
  std::uint64_t breaks = 0;
  std::size_t taken = 0;
  bool in_quotes = false, quoted = false, after_quote = false;
  std::string field;
  const auto finish = [&] {
    if (record.fields.size() >= kCsvRecordFieldLimit) throw std::runtime_error("CSV record has too many fields");
    record.fields.push_back(field);
    record.quoted.push_back(quoted);
    field.clear();
  };
  const auto peek_is = [&](char c) { return Traits::eq_int_type(buf->sgetc(), Traits::to_int_type(c)); };
  for (;;) {
    const Traits::int_type c = buf->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) {
      if (in_quotes) throw std::runtime_error("unterminated quoted CSV field");
      if (taken == 0) return false;
      finish();
      record.next_line = record.line + breaks + 1;
      return true;
    }
    if (++taken > kCsvRecordByteLimit) throw std::runtime_error("CSV record exceeds 64 MiB");
    const char ch = Traits::to_char_type(c);
    if (in_quotes) {
      if (ch != '"') {
        field += ch;
        if (ch == '\n' || (ch == '\r' && !peek_is('\n'))) ++breaks;
      } else if (peek_is('"')) {
        buf->sbumpc();
        field += '"';
      } else {
        in_quotes = false;
        after_quote = true;
      }
      continue;
    }
    switch (ch) {
      case ',':
        finish();
        quoted = after_quote = false;
        break;
      case '\r':
        if (peek_is('\n')) buf->sbumpc();
        [[fallthrough]];
      case '\n':
        finish();
        record.next_line = record.line + breaks + 1;
        return true;
      case '"':
        if (!field.empty() || after_quote) throw std::runtime_error("invalid characters around a quoted CSV field");
        quoted = in_quotes = true;
        break;
      default:
        if (after_quote) throw std::runtime_error("invalid characters around a quoted CSV field");
        field += ch;
    }
  }
}

// A stream buffer over a text that shows it `window` bytes at a time (a
// window of 0: no get area at all, every byte through underflow and uflow),
// so that runs, quotes and CR LF pairs fall across refills.
class WindowedBuffer : public std::streambuf {
 public:
  WindowedBuffer(std::string text, std::size_t window) : text_(std::move(text)), window_(window) {}

 protected:
  int_type underflow() override {
    if (window_ == 0) return at_ < text_.size() ? traits_type::to_int_type(text_[at_]) : traits_type::eof();
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (gptr() != nullptr) at_ += static_cast<std::size_t>(egptr() - eback());
    if (at_ >= text_.size()) return traits_type::eof();
    char* first = text_.data() + at_;
    setg(first, first, first + std::min(window_, text_.size() - at_));
    return traits_type::to_int_type(*first);
  }
  int_type uflow() override {
    if (window_ != 0) return std::streambuf::uflow();
    return at_ < text_.size() ? traits_type::to_int_type(text_[at_++]) : traits_type::eof();
  }

 private:
  std::string text_;
  std::size_t window_;
  std::size_t at_ = 0;  // text offset of the get area (window 0: of the next byte)
};

// Every record as "LINE:<field>|field" and the message that ends the text,
// read by `read` from a WindowedBuffer, with the byte the stream stands on
// after each record.
template <typename Read>
std::string transcript(const std::string& text, std::size_t window, Read read) {
  WindowedBuffer buffer(text, window);
  std::istream in(&buffer);
  CsvRecord record;
  std::string out;
  try {
    while (read(in, record)) {
      out += std::to_string(record.line) + ":";
      for (std::size_t i = 0; i < record.fields.size(); ++i) {
        out += (i != 0 ? "|" : "") + (record.quoted[i] ? "<" + record.fields[i] + ">" : record.fields[i]);
      }
      const auto next = buffer.sgetc();
      out += " @" + (next == EOF ? std::string("end") : std::string(1, static_cast<char>(next))) + "\n";
    }
  } catch (const std::runtime_error& e) {
    out += std::string("!") + e.what() + " at line " + std::to_string(record.line);
  }
  return out;
}

// Random texts over the bytes that matter (with long runs of plain bytes),
// read through windows of every small size and none: the same transcript
// as the byte-at-a-time reader.
TEST(CsvReader, RunsReadAsTheByteAtATimeReaderAcrossAnyWindow) {
  const std::string alphabet[] = {"a", "bc", ",", "\"", "\"\"", "\r", "\n", "\r\n", "xxxxxxxxxxxxxxxx", " "};
  std::uint64_t state = 12345;
  const auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::size_t pieces = next() % 24;
    for (std::size_t k = 0; k < pieces; ++k) text += alphabet[next() % std::size(alphabet)];
    const std::string expected = transcript(text, 4096, read_record_bytewise);
    for (const std::size_t window : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                     std::size_t{4096}}) {
      ASSERT_EQ(expected, transcript(text, window, [](std::istream& in, CsvRecord& r) { return read_csv_record(in, r); }))
          << "window " << window << ": " << text;
    }
  }
}

// The delimiter, the quote and multi-line fields as neo4j-admin's options
// choose them: the same texts read by each dialect.
TEST(CsvReader, DialectsOfDelimiterQuoteAndLines) {
  const CsvDialect pipe = csv_dialect('|', '"', true);
  const CsvDialect tab_single = csv_dialect('\t', '\'', true);
  const CsvDialect one_line = csv_dialect(',', '"', false);
  const auto read_with = [](const CsvDialect& d) {
    return [&d](std::istream& in, CsvRecord& r) { return read_csv_record(in, r, d); };
  };
  const struct {
    std::string text;
    const CsvDialect* dialect;
    std::string expected;
  } cases[] = {
      {"a|b,c|\"d|e\"\n", &pipe, "1:a|b,c|<d|e> @end\n"},
      {"a\t'b\tc'\t''''\n", &tab_single, "1:a|<b\tc>|<'> @end\n"},
      {"a\t\"b\"\n", &tab_single, "1:a|\"b\" @end\n"},  // a double quote is an ordinary byte here
      {"a,\"b\nc\"\nd\n", &one_line, "!quoted CSV field spans lines (allow it with --multiline-fields=true) at line 1"},
      {"a,\"b\nc\"\nd\n", &default_csv_dialect(), "1:a|<b\nc> @d\n3:d @end\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, transcript(c.text, 4096, read_with(*c.dialect))) << c.text;
  for (const auto& [delimiter, quote] : {std::pair{',', ','}, std::pair{'\n', '"'}, std::pair{',', '\0'}}) {
    EXPECT_THROW(csv_dialect(delimiter, quote, true), std::runtime_error);
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
