// The CSV record reader: a state machine with three flags (inside quotes,
// field began with a quote, closing quote seen) that works on runs of bytes
// rather than single bytes. It reads straight from the stream buffer's get
// area: a run of ordinary bytes (up to the next delimiter, quote or line break
// outside quotes; the next quote or line break inside them) is found with
// one table lookup per byte and appended to the field's string in one
// copy, and only the byte that ends the run goes through the state
// machine. A record of short fields thus costs about one compare per byte
// plus a few steps per field.
//
// Every byte taken from the stream counts against the record's 64 MiB
// budget except the second quote of a doubled quote and the line feed of a
// CR LF pair, which are consumed as part of the byte before them. A run is
// counted as a whole before the byte that ends it is looked at, so the
// budget fails at the same point of the input as it would byte by byte.
//
// The get area is reached through the streambuf's own protected accessors
// (see GetArea); whatever the reader consumed is handed back with gbump
// before it returns or throws, so the stream stands right after the record,
// as sbumpc would have left it. A stream buffer without a get area (one
// that answers underflow without buffering) is read one byte at a time
// through sgetc and sbumpc, which gives the same records.
//
// Line breaks are counted as they pass: outside quotes a break ends the
// record anyway, so only the quoted branch tests for one. A CR LF pair
// inside quotes counts once, at its line feed.
#include "io/csv_reader.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <streambuf>

namespace orvane {
namespace {

using Traits = std::char_traits<char>;

[[noreturn]] void fail_around_quote() {
  throw std::runtime_error("invalid characters around a quoted CSV field");
}

[[noreturn]] void fail_field_count() { throw std::runtime_error("CSV record has too many fields"); }

// The first byte from `p` on that is in `stops`, or `end`.
[[gnu::always_inline]] inline const char* skip_run(const char* p, const char* end, const std::array<bool, 256>& stops) {
  while (p != end && !stops[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// The get-area accessors of any std::streambuf. They are protected; a
// pointer to them formed through this derived class is a pointer to a
// member of std::streambuf and may be applied to every stream buffer.
struct GetArea : std::streambuf {
  static char* next(std::streambuf& b) { return (b.*&GetArea::gptr)(); }
  static char* end(std::streambuf& b) { return (b.*&GetArea::egptr)(); }
  static void advance(std::streambuf& b, int count) { (b.*&GetArea::gbump)(count); }
};

// The bytes the reader may look at: a window on the get area, or the one
// byte sgetc shows of a buffer that has no get area. Bytes before `p` are
// consumed; commit() hands them back to the buffer (gbump, or sbumpc for the
// single byte), and so does the destructor, so the stream position is right
// also when reading throws.
class Window {
 public:
  explicit Window(std::streambuf& buf) : buf_(buf) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() {
    try {
      commit();
    } catch (...) {
      // Only a buffer without a get area can throw here; its position is lost.
    }
  }

  const char* p = nullptr;    // next byte
  const char* end = nullptr;  // end of the bytes available now

  // Makes p < end; false at the end of the stream.
  bool refill() {
    commit();
    const Traits::int_type c = buf_.sgetc();
    if (Traits::eq_int_type(c, Traits::eof())) return false;
    char* next = GetArea::next(buf_);
    char* last = GetArea::end(buf_);
    buffered_ = next != nullptr && next < last;
    if (buffered_) {
      // gbump takes an int: a huge string buffer is walked in parts.
      p = next;
      end = last - next > kMaxWindow ? next + kMaxWindow : last;
    } else {
      single_ = Traits::to_char_type(c);
      p = &single_;
      end = p + 1;
    }
    base_ = p;
    return true;
  }
  // The next byte without consuming it, or eof.
  Traits::int_type peek() {
    if (p != end) return Traits::to_int_type(*p);
    return refill() ? Traits::to_int_type(*p) : Traits::eof();
  }
  // Hands the bytes consumed since the last commit to the buffer.
  void commit() {
    if (p != base_) {
      if (buffered_) {
        GetArea::advance(buf_, static_cast<int>(p - base_));
      } else {
        buf_.sbumpc();
      }
    }
    base_ = p;
  }

 private:
  static constexpr std::ptrdiff_t kMaxWindow = 1 << 30;
  std::streambuf& buf_;
  const char* base_ = nullptr;  // the first byte not yet handed back
  bool buffered_ = true;        // the window is on the get area, not single_
  char single_ = 0;             // the byte of a buffer without a get area
};

// The record's fields as they are read: bytes go straight into the
// record's strings, which are reused from record to record, so a file of
// similar records allocates nothing after its first few.
class Fields {
 public:
  explicit Fields(CsvRecord& record) : record_(record) {
    record_.quoted.clear();
    if (record_.fields.empty()) record_.fields.emplace_back();
    current_ = &record_.fields[0];
    current_->clear();
  }
  std::string& current() { return *current_; }
  // Ends the current field and starts the next.
  [[gnu::always_inline]] void finish(bool quoted) {
    if (count_ >= kCsvRecordFieldLimit) fail_field_count();
    record_.quoted.push_back(quoted);
    ++count_;
    if (count_ == record_.fields.size()) record_.fields.emplace_back();
    current_ = &record_.fields[count_];
    current_->clear();
  }
  // Drops the strings of fields beyond this record's.
  void close() { record_.fields.resize(count_); }

 private:
  CsvRecord& record_;
  std::size_t count_ = 0;  // fields finished
  std::string* current_;   // the field being read: record_.fields[count_]
};

}  // namespace

CsvDialect csv_dialect(char delimiter, char quote, bool multiline) {
  const auto unusable = [](char c) { return c == '\n' || c == '\r' || c == '\0'; };
  if (delimiter == quote || unusable(delimiter) || unusable(quote)) {
    throw std::runtime_error("the CSV delimiter and quote must differ and be neither a line break nor NUL");
  }
  CsvDialect dialect;
  dialect.delimiter = delimiter;
  dialect.quote = quote;
  dialect.multiline = multiline;
  // Bytes that end a run: outside quotes the delimiter, the quote and both
  // line break bytes; inside quotes the quote and both line break bytes.
  for (std::array<bool, 256>* stops : {&dialect.plain_stops, &dialect.quoted_stops}) {
    (*stops)[static_cast<unsigned char>(quote)] = true;
    (*stops)[static_cast<unsigned char>('\r')] = true;
    (*stops)[static_cast<unsigned char>('\n')] = true;
  }
  dialect.plain_stops[static_cast<unsigned char>(delimiter)] = true;
  return dialect;
}

const CsvDialect& default_csv_dialect() {
  static const CsvDialect dialect = csv_dialect(',', '"', true);
  return dialect;
}

bool read_csv_record(std::istream& in, CsvRecord& record, const CsvDialect& dialect) {
  std::streambuf* buf = in.rdbuf();
  Fields fields(record);
  if (buf == nullptr) {
    fields.close();
    return false;
  }

  record.line = record.next_line;
  std::uint64_t breaks = 0;  // line breaks inside quoted fields so far
  std::size_t taken = 0;
  const auto take = [&taken](std::size_t count) {
    taken += count;
    if (taken > kCsvRecordByteLimit) throw std::runtime_error("CSV record exceeds 64 MiB");
  };
  bool in_quotes = false;
  bool quoted = false;
  bool after_quote = false;
  // Copies the bytes that written chars could alias: kept in registers.
  const char delimiter = dialect.delimiter;
  const char quote = dialect.quote;
  const bool multiline = dialect.multiline;
  Window w(*buf);
  for (;;) {
    if (w.p == w.end && !w.refill()) {
      if (in_quotes) throw std::runtime_error("unterminated quoted CSV field");
      if (taken == 0) {
        in.setstate(std::ios::eofbit);
        fields.close();
        return false;
      }
      fields.finish(quoted);
      fields.close();
      record.next_line = record.line + breaks + 1;
      return true;
    }

    if (in_quotes) {
      const char* run = w.p;
      w.p = skip_run(run, w.end, dialect.quoted_stops);
      take(static_cast<std::size_t>(w.p - run));
      fields.current().append(run, static_cast<std::size_t>(w.p - run));
      if (w.p == w.end) continue;
      const char ch = *w.p++;
      take(1);
      if (ch == quote) {
        if (Traits::eq_int_type(w.peek(), Traits::to_int_type(quote))) {
          ++w.p;
          fields.current().push_back(quote);
        } else {
          in_quotes = false;
          after_quote = true;
        }
      } else {
        if (!multiline) {
          throw std::runtime_error("quoted CSV field spans lines (allow it with --multiline-fields=true)");
        }
        fields.current().push_back(ch);
        if (ch == '\n' || !Traits::eq_int_type(w.peek(), Traits::to_int_type('\n'))) ++breaks;
      }
      continue;
    }

    if (!after_quote) {
      const char* run = w.p;
      w.p = skip_run(run, w.end, dialect.plain_stops);
      take(static_cast<std::size_t>(w.p - run));
      fields.current().append(run, static_cast<std::size_t>(w.p - run));
      if (w.p == w.end) continue;
    }
    const char ch = *w.p++;
    take(1);
    if (ch == delimiter) {
      fields.finish(quoted);
      quoted = false;
      after_quote = false;
    } else if (ch == '\r' || ch == '\n') {
      if (ch == '\r' && Traits::eq_int_type(w.peek(), Traits::to_int_type('\n'))) ++w.p;
      fields.finish(quoted);
      fields.close();
      record.next_line = record.line + breaks + 1;
      return true;
    } else if (ch == quote) {
      if (!fields.current().empty() || after_quote) fail_around_quote();
      quoted = true;
      in_quotes = true;
    } else {
      // Only a byte right after a closing quote gets here: any other
      // ordinary byte belongs to a run.
      fail_around_quote();
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
