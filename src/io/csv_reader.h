// Reading Neo4j bulk-export CSV: records with per-field quote flags, the
// name:type header convention, and the conversion of one text field into a
// typed JSON property value guided by its column type.
//
// The reader takes runs of ordinary bytes straight from the stream's buffer
// and builds each field in one growing string, so a quoted field may span
// lines and no line is ever read whole first. Hard limits (64 MiB per
// record, 4096 fields) keep a hostile file from exhausting memory.
//
// The reader counts line breaks as it goes (a line feed, a CR LF pair, or a
// lone carriage return, inside quotes too), so each record knows the line it
// starts on and an import can name it in its messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

inline constexpr std::size_t kCsvRecordByteLimit = 67108864;  // 64 MiB
inline constexpr std::size_t kCsvRecordFieldLimit = 4096;

// One record: fields[i] was written in double quotes exactly when quoted[i],
// which tells an absent value (empty, unquoted) from an explicit "".
// `line` is the 1-based line of the stream on which the record starts, and
// `next_line` that of the record after it; a fresh record starts the count
// at line 1, and reusing one record object for every read of a stream keeps
// it going. A reader that seeks the stream back restores next_line with it.
struct CsvRecord {
  std::vector<std::string> fields;
  std::vector<std::uint8_t> quoted;  // by field: 1 when written in quotes
  std::uint64_t line = 1;       // where this record starts
  std::uint64_t next_line = 1;  // where the next record read starts
};

// How a file separates and quotes its fields. The default is the comma,
// the double quote, and quoted fields that may span lines; neo4j-admin's
// --delimiter, --quote and --multiline-fields choose others. The stop
// tables are the reader's: the bytes that end a run of ordinary bytes
// outside and inside quotes.
struct CsvDialect {
  char delimiter = ',';
  char quote = '"';
  bool multiline = true;  // a quoted field may hold line breaks
  std::array<bool, 256> plain_stops{};
  std::array<bool, 256> quoted_stops{};
};

// The dialect of `delimiter` and `quote`. Throws std::runtime_error
// "the CSV delimiter and quote must differ and be neither a line break
// nor NUL" when they are not usable.
CsvDialect csv_dialect(char delimiter, char quote, bool multiline);
// The comma, the double quote, multi-line fields.
const CsvDialect& default_csv_dialect();

// Reads the next record into `record` (cleared first). Returns false only
// when the stream is at its end before any byte is read; a last line without
// a line break is still a record, and a blank line is a record of one empty
// unquoted field. Sets record.line before reading anything, so it names the
// record also when reading fails. Throws std::runtime_error "CSV record
// exceeds 64 MiB", "CSV record has too many fields", "unterminated quoted
// CSV field" or "invalid characters around a quoted CSV field"; the stream
// is then left wherever reading stopped.
// Read in `dialect`; a line break inside quotes when the dialect does not
// allow multi-line fields throws "quoted CSV field spans lines (allow it
// with --multiline-fields=true)".
bool read_csv_record(std::istream& in, CsvRecord& record, const CsvDialect& dialect = default_csv_dialect());

// Header column "name:type": the text before the first colon (empty for
// ":ID"), and the text after it ("string" when there is no colon).
std::string header_name(const std::string& column);
std::string header_type(const std::string& column);

// Converts `text` by column `type`: string/str/ID/ID(...) → string, json →
// parsed document, boolean/bool, int/integer/long/short/byte (signed 64-bit,
// strtoll rules), float/double (finite, strtod rules) and TYPE[] arrays
// (a JSON array text or ";"-separated pieces). Throws with the message of
// the failed rule ("invalid integer property", "stoll", "stod",
// "unsupported CSV property type: T", ...); for "json" columns and "["
// arrays the JSON library's own exceptions (parse error, number overflow)
// propagate.
nlohmann::json typed_csv_value(const std::string& text, const std::string& type);

// How typed_csv_value reads arrays: split by `array_delimiter`, and
// whether a text starting with "[" is read as a JSON array (our exports
// write a list that would not split back that way as JSON; neo4j-admin's
// input never does).
struct CsvValueOptions {
  char array_delimiter = ';';
  bool json_arrays = true;
};
nlohmann::json typed_csv_value(const std::string& text, const std::string& type, const CsvValueOptions& options);

}  // namespace orvane
