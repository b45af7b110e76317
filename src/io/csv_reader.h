// Reading Neo4j bulk-export CSV: records with per-field quote flags, the
// name:type header convention, and the conversion of one text field into a
// typed JSON property value guided by its column type.
//
// The reader takes bytes one at a time from the stream's buffer and builds
// each field in one growing string, so a quoted field may span lines and no
// line is ever read whole first. Hard limits (64 MiB per record, 4096 fields)
// keep a hostile file from exhausting memory.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

inline constexpr std::size_t kCsvRecordByteLimit = 67108864;  // 64 MiB
inline constexpr std::size_t kCsvRecordFieldLimit = 4096;

// One record: fields[i] was written in double quotes exactly when quoted[i],
// which tells an absent value (empty, unquoted) from an explicit "".
struct CsvRecord {
  std::vector<std::string> fields;
  std::vector<bool> quoted;
};

// Reads the next record into `record` (cleared first). Returns false only
// when the stream is at its end before any byte is read; a last line without
// a line break is still a record, and a blank line is a record of one empty
// unquoted field. Throws std::runtime_error "CSV record exceeds 64 MiB",
// "CSV record has too many fields", "unterminated quoted CSV field" or
// "invalid characters around a quoted CSV field"; the stream is then left
// wherever reading stopped.
bool read_csv_record(std::istream& in, CsvRecord& record);

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

}  // namespace orvane
