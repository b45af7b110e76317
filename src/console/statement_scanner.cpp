// StatementScanner: a byte-at-a-time state machine whose state (mode, open
// quote, escape, a "/" waiting for its next byte) survives from one feed to
// the next, so a quote or a block comment can span lines. Bytes before a
// statement's first content byte are dropped as they come; a colon there
// switches to the colon mode, which only a line feed ends.
#include "console/statement_scanner.h"

#include <utility>

namespace orvane {
namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

void StatementScanner::feed(std::string_view text, const Emit& emit) {
  for (const char c : text) {
    switch (mode_) {
      case Mode::kQuote:
        pending_ += c;
        if (escape_) {
          escape_ = false;
        } else if (c == '\\' && quote_ != '`') {
          escape_ = true;
        } else if (c == quote_) {
          mode_ = Mode::kCode;
        }
        break;
      case Mode::kLineComment:
        if (c == '\n') {
          mode_ = Mode::kCode;
          code_byte(c, emit);
        } else {
          keep(c);
        }
        break;
      case Mode::kBlockComment:
        keep(c);
        if (star_ && c == '/') mode_ = Mode::kCode;
        star_ = c == '*';
        break;
      case Mode::kColon:
        if (c == '\n') {
          end_statement(emit);
        } else {
          pending_ += c;
        }
        break;
      case Mode::kCode:
        if (slash_) {
          slash_ = false;
          if (c == '/' || c == '*') {
            mode_ = c == '/' ? Mode::kLineComment : Mode::kBlockComment;
            star_ = false;
            keep('/');
            keep(c);
            break;
          }
          code_byte('/', emit);
        }
        if (c == '/') {
          slash_ = true;
        } else {
          code_byte(c, emit);
        }
        break;
    }
  }
}

void StatementScanner::code_byte(char c, const Emit& emit) {
  if (c == ';') {
    end_statement(emit);
  } else if (blank(c)) {
    keep(c);
  } else if (!content_ && c == ':') {
    content_ = true;
    mode_ = Mode::kColon;
    pending_ += c;
  } else {
    content_ = true;
    pending_ += c;
    if (c == '\'' || c == '"' || c == '`') {
      mode_ = Mode::kQuote;
      quote_ = c;
      escape_ = false;
    }
  }
}

void StatementScanner::end_statement(const Emit& emit) {
  // The scanner is between statements before `emit` runs, whatever it
  // throws.
  std::string statement;
  statement.swap(pending_);
  const bool content = content_;
  content_ = false;
  mode_ = Mode::kCode;
  while (!statement.empty() && blank(statement.back())) statement.pop_back();
  if (content) emit(statement);
}

void StatementScanner::finish(const Emit& emit) {
  if (slash_) {
    slash_ = false;
    if (mode_ == Mode::kCode) code_byte('/', emit);
  }
  end_statement(emit);
}

bool StatementScanner::pending() const { return content_ || slash_ || mode_ == Mode::kBlockComment; }

std::vector<std::string> split_statements(std::string_view input) {
  std::vector<std::string> out;
  StatementScanner scanner;
  const auto emit = [&](const std::string& statement) { out.push_back(statement); };
  scanner.feed(input, emit);
  scanner.finish(emit);
  return out;
}

}  // namespace orvane
