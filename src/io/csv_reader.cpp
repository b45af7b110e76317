// The CSV record reader: a byte-at-a-time state machine over the stream's
// buffer with three flags (inside quotes, field began with a quote, closing
// quote seen). Every byte taken from the stream counts against the record's
// 64 MiB budget except the second quote of a doubled quote and the line feed
// of a CR LF pair, which are consumed as part of the byte before them.
// Each field is collected in a local buffer and copied once into the
// record's string, whose capacity carries over from record to record.
//
// Line breaks are counted in a local as they pass: outside quotes a break
// ends the record anyway, so only the quoted branch tests for one, which is
// one compare per quoted byte. A CR LF pair inside quotes counts once, at
// its line feed.
#include "io/csv_reader.h"

#include <stdexcept>
#include <streambuf>

namespace orvane {
namespace {

[[noreturn]] void fail_around_quote() {
  throw std::runtime_error("invalid characters around a quoted CSV field");
}

// Collects the bytes of one field in a buffer on the stack (on the heap
// once a field outgrows it) with one store per byte, and copies each
// finished field into the record's string at that position. Those strings
// are reused from record to record, so a file of similar records allocates
// nothing after its first few.
class FieldBuilder {
 public:
  explicit FieldBuilder(CsvRecord& record) : record_(record) { record_.quoted.clear(); }
  FieldBuilder(const FieldBuilder&) = delete;
  FieldBuilder& operator=(const FieldBuilder&) = delete;

  [[gnu::always_inline]] void put(char c) {
    if (length_ == capacity_) grow();
    data_[length_++] = c;
  }
  bool empty() const { return length_ == 0; }
  // Ends the current field and starts the next.
  void finish(bool quoted) {
    if (count_ >= kCsvRecordFieldLimit) throw std::runtime_error("CSV record has too many fields");
    if (count_ == record_.fields.size()) record_.fields.emplace_back();
    // clear + append copies into the string's capacity with one memcpy; assign
    // takes the general replace path, several times slower on short fields.
    std::string& target = record_.fields[count_];
    target.clear();
    target.append(data_, length_);
    record_.quoted.push_back(quoted);
    ++count_;
    length_ = 0;
  }
  // Drops the strings of fields beyond this record's.
  void close() { record_.fields.resize(count_); }

 private:
  void grow() {
    if (data_ == stack_) heap_.assign(stack_, length_);
    heap_.resize(2 * capacity_);
    data_ = heap_.data();
    capacity_ = heap_.size();
  }
  CsvRecord& record_;
  std::size_t count_ = 0;  // fields finished
  char stack_[512];
  std::string heap_;       // the buffer once a field passed 512 bytes
  char* data_ = stack_;    // the current field's bytes
  std::size_t capacity_ = sizeof stack_;
  std::size_t length_ = 0;
};

}  // namespace

bool read_csv_record(std::istream& in, CsvRecord& record) {
  using Traits = std::char_traits<char>;
  std::streambuf* buf = in.rdbuf();
  FieldBuilder field(record);
  if (buf == nullptr) {
    field.close();
    return false;
  }

  record.line = record.next_line;
  std::uint64_t breaks = 0;  // line breaks inside quoted fields so far
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
        field.close();
        return false;
      }
      field.finish(quoted);
      field.close();
      record.next_line = record.line + breaks + 1;
      return true;
    }
    if (++taken > kCsvRecordByteLimit) throw std::runtime_error("CSV record exceeds 64 MiB");
    const char ch = Traits::to_char_type(c);

    if (in_quotes) {
      if (ch != '"') {
        field.put(ch);
        if (ch == '\n' || (ch == '\r' && !Traits::eq_int_type(buf->sgetc(), Traits::to_int_type('\n')))) {
          ++breaks;
        }
      } else if (Traits::eq_int_type(buf->sgetc(), Traits::to_int_type('"'))) {
        buf->sbumpc();
        field.put('"');
      } else {
        in_quotes = false;
        after_quote = true;
      }
      continue;
    }

    switch (ch) {
      case ',':
        field.finish(quoted);
        quoted = false;
        after_quote = false;
        break;
      case '\r':
        if (Traits::eq_int_type(buf->sgetc(), Traits::to_int_type('\n'))) buf->sbumpc();
        [[fallthrough]];
      case '\n':
        field.finish(quoted);
        field.close();
        record.next_line = record.line + breaks + 1;
        return true;
      case '"':
        if (!field.empty() || after_quote) fail_around_quote();
        quoted = true;
        in_quotes = true;
        break;
      default:
        if (after_quote) fail_around_quote();
        field.put(ch);
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
