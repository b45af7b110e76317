// The shell's statement scanner: cuts the lines a user types into
// statements that end with ";". Quotes ('…', "…", `…`) may span lines and
// hide semicolons; a backslash escapes the next byte inside single and
// double quotes (inside backticks it is an ordinary byte). Several
// statements may share a line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace orvane {

// The most text a statement may collect before its ";".
inline constexpr std::size_t kMaxShellStatementBytes = 65536;

class StatementScanner {
 public:
  // Scans `line` (without its line feed) followed by a line feed. Each ";"
  // outside quotes ends the pending statement: `run` is called with it
  // (without the ";") unless it is only white space, and the pending text
  // starts again empty. Afterwards pending white space is dropped. Throws
  // std::runtime_error "shell statement exceeds 64 KiB" when more than
  // kMaxShellStatementBytes bytes are pending after the line; statements
  // already run by this line stay run.
  void feed_line(const std::string& line, const std::function<void(const std::string&)>& run);

  // True while a statement has begun but not ended with ";".
  bool pending() const { return !pending_.empty(); }

 private:
  std::string pending_;  // text of the statement being collected
  char quote_ = 0;       // the open quote character, or 0 outside quotes
  bool escape_ = false;  // the previous byte inside a quote was an escaping backslash
};

}  // namespace orvane
