// Where an import failed. A file of millions of records is no help to a
// user told only "invalid integer property", so every error raised while a
// reader handles one record is rethrown with the file and the record's
// line in front of its message, which is otherwise left as it was:
//
//   FILE line L: MESSAGE                     a record (CSV or JSON lines)
//   FILE line L, column C (NAME): MESSAGE    one CSV field; "(NAME)" is the
//                                            header's name of the column,
//                                            left out when it has none
//   FILE: MESSAGE                            the file as a whole (no header)
//
// FILE is what the user can find: the file's name inside an export
// directory ("nodes.csv"), the path as given for a single APOC file. L is
// the 1-based line on which the record starts, the header and the line
// breaks inside quoted CSV fields counted; C is the 1-based field number.
// Only the reader that knows the file adds the position, so a message
// never carries two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvane {

// An import error with its position. file() and line() (0 for the file as a
// whole) say where, message() is the text without the position, and what()
// is the whole message in the format above.
class ImportPositionError : public std::runtime_error {
 public:
  ImportPositionError(const std::string& file, std::uint64_t line, const std::string& column,
                      const std::string& message);
  const std::string& file() const { return file_; }
  std::uint64_t line() const { return line_; }
  const std::string& column() const { return column_; }
  const std::string& message() const { return message_; }

 private:
  std::string file_;     // as shown to the user
  std::uint64_t line_;   // 1-based; 0: the whole file
  std::string column_;   // ", column C (NAME)" or empty
  std::string message_;  // the error's own text
};

// The exception of one field's conversion, before the reader adds the file
// and line: what() is the conversion's message, column() the position text
// (", column C (NAME)").
class ImportFieldError : public std::runtime_error {
 public:
  ImportFieldError(const std::string& column, const std::string& message)
      : std::runtime_error(message), column_(column) {}
  const std::string& column() const { return column_; }

 private:
  std::string column_;
};

// Call only inside a catch handler around the typing of one CSV field, the
// field at 0-based `index` under header name `name` (empty: none). Rethrows
// the exception being handled as ImportFieldError with its message; the
// bare "stoll"/"stod" texts of the standard number conversions become
// "invalid integer property" and "invalid floating-point property".
// std::bad_alloc and exceptions not derived from std::exception pass
// unchanged.
[[noreturn]] void rethrow_for_field(std::size_t index, const std::string& name);

// Call only inside a catch handler around the reading of one record of
// `file` that starts on `line` (0: the file as a whole). Rethrows the
// exception being handled as ImportPositionError at that position, with the
// column of an ImportFieldError. An ImportPositionError, std::bad_alloc and
// exceptions not derived from std::exception pass unchanged.
[[noreturn]] void rethrow_at_record(const std::string& file, std::uint64_t line);

}  // namespace orvane
