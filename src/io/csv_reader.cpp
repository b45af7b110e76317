// The CSV record reader: a byte-at-a-time state machine over the stream's
// buffer with three flags (inside quotes, field began with a quote, closing
// quote seen). Every byte taken from the stream counts against the record's
// 64 MiB budget except the second quote of a doubled quote and the line feed
// of a CR LF pair, which are consumed as part of the byte before them.
#include "io/csv_reader.h"

#include <stdexcept>
#include <streambuf>

namespace orvane {
namespace {

[[noreturn]] void fail_around_quote() {
  throw std::runtime_error("invalid characters around a quoted CSV field");
}

void push_field(CsvRecord& record, std::string& field, bool quoted) {
  if (record.fields.size() >= kCsvRecordFieldLimit) {
    throw std::runtime_error("CSV record has too many fields");
  }
  record.fields.push_back(std::move(field));
  record.quoted.push_back(quoted);
  field.clear();
}

}  // namespace

bool read_csv_record(std::istream& in, CsvRecord& record) {
  using Traits = std::char_traits<char>;
  record.fields.clear();
  record.quoted.clear();
  std::streambuf* buf = in.rdbuf();
  if (buf == nullptr) return false;

  std::string field;
  std::size_t taken = 0;
  bool in_quotes = false;
  bool quoted = false;
  bool after_quote = false;
  for (;;) {
    const Traits::int_type c = buf->sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) {
      if (in_quotes) throw std::runtime_error("unterminated quoted CSV field");
      if (taken == 0) {
        in.setstate(std::ios::eofbit);
        return false;
      }
      push_field(record, field, quoted);
      return true;
    }
    if (++taken > kCsvRecordByteLimit) throw std::runtime_error("CSV record exceeds 64 MiB");
    const char ch = Traits::to_char_type(c);

    if (in_quotes) {
      if (ch != '"') {
        field.push_back(ch);
      } else if (Traits::eq_int_type(buf->sgetc(), Traits::to_int_type('"'))) {
        buf->sbumpc();
        field.push_back('"');
      } else {
        in_quotes = false;
        after_quote = true;
      }
      continue;
    }

    switch (ch) {
      case ',':
        push_field(record, field, quoted);
        quoted = false;
        after_quote = false;
        break;
      case '\r':
        if (Traits::eq_int_type(buf->sgetc(), Traits::to_int_type('\n'))) buf->sbumpc();
        [[fallthrough]];
      case '\n':
        push_field(record, field, quoted);
        return true;
      case '"':
        if (!field.empty() || after_quote) fail_around_quote();
        quoted = true;
        in_quotes = true;
        break;
      default:
        if (after_quote) fail_around_quote();
        field.push_back(ch);
    }
  }
}

std::string header_name(const std::string& column) {
  const std::size_t colon = column.find(':');
  return colon == std::string::npos ? column : column.substr(0, colon);
}

std::string header_type(const std::string& column) {
  const std::size_t colon = column.find(':');
  return colon == std::string::npos ? std::string("string") : column.substr(colon + 1);
}

}  // namespace orvane
