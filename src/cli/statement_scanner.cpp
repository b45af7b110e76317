// StatementScanner: a byte-at-a-time state machine (quote character and
// escape flag) that survives from one line to the next, so a quoted text can
// hold line feeds and semicolons. The size limit is checked once per line:
// a statement may be as long as the shell allows however it is broken into
// lines, and the check never splits a line.
#include "cli/statement_scanner.h"

#include <stdexcept>

namespace orvane {
namespace {

bool only_white_space(const std::string& text) {
  return text.find_first_not_of(" \r\n\t") == std::string::npos;
}

}  // namespace

void StatementScanner::feed_line(const std::string& line, const std::function<void(const std::string&)>& run) {
  const std::string text = line + "\n";
  for (const char c : text) {
    if (quote_ != 0) {
      pending_ += c;
      if (escape_) {
        escape_ = false;
      } else if (c == '\\' && quote_ != '`') {
        escape_ = true;
      } else if (c == quote_) {
        quote_ = 0;
      }
    } else if (c == '\'' || c == '"' || c == '`') {
      pending_ += c;
      quote_ = c;
    } else if (c == ';') {
      std::string statement;
      statement.swap(pending_);
      if (!only_white_space(statement)) run(statement);
    } else {
      pending_ += c;
    }
  }
  if (only_white_space(pending_)) {
    pending_.clear();
  } else if (pending_.size() > kMaxShellStatementBytes) {
    throw std::runtime_error("shell statement exceeds 64 KiB");
  }
}

}  // namespace orvane
