// The statement scanner: cuts console input into statements, alike for the
// shell (a line at a time), the statement route and the query command (a
// whole input at once).
//
//   - ";" outside quotes and comments ends a statement.
//   - Quotes ('…', "…", `…`) may span lines and hide ";"; a backslash
//     escapes the next byte inside single and double quotes (inside
//     backticks it is an ordinary byte, and a doubled backtick closes and
//     reopens the name, which splits alike).
//   - "//" to the end of the line and "/* … */" are comments: a ";" or a
//     quote inside one is no delimiter.
//   - A colon command (":help", ":param x => 1") is one statement ended by
//     its line end, as Neo4j Browser reads it; a ";" inside that line is
//     part of the command. A colon starts one only where a statement starts.
//
// A statement's text runs from its first byte that is neither blank nor in
// a comment to its end, blanks trimmed at the end; comments after that
// first byte stay in the text (both query lexers skip them). A statement of
// nothing but blanks and comments is no statement and is never emitted.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class StatementScanner {
 public:
  using Emit = std::function<void(const std::string& statement)>;

  // Scans `text`, which continues whatever was fed before. Each statement
  // it completes is passed to `emit` in order, without its ";". An
  // exception thrown by `emit` propagates; the scanner is then left
  // between statements.
  void feed(std::string_view text, const Emit& emit);

  // Scans `line` followed by a line feed (the shell reads lines without
  // theirs).
  void feed_line(const std::string& line, const Emit& emit) { feed(line + "\n", emit); }

  // Ends the input: a statement in progress (one without its ";" or, for a
  // colon command, its line end) is emitted as it stands.
  void finish(const Emit& emit);

  // True while a statement has begun but not ended, or a block comment is
  // open.
  bool pending() const;

  // Bytes of the statement in progress (what the shell bounds).
  std::size_t pending_bytes() const { return pending_.size(); }

 private:
  enum class Mode { kCode, kQuote, kLineComment, kBlockComment, kColon };

  void code_byte(char c, const Emit& emit);
  void end_statement(const Emit& emit);
  void keep(char c) {
    if (content_) pending_ += c;
  }

  std::string pending_;   // the statement so far, from its first content byte
  Mode mode_ = Mode::kCode;
  char quote_ = 0;        // the open quote character in kQuote
  bool escape_ = false;   // the previous byte in kQuote was an escaping backslash
  bool slash_ = false;    // a "/" in kCode waits for the next byte: a comment opens or not
  bool star_ = false;     // the previous byte in kBlockComment was "*"
  bool content_ = false;  // the statement has a byte that is neither blank nor comment
};

// The statements of `input`, in order (StatementScanner over all of it).
std::vector<std::string> split_statements(std::string_view input);

}  // namespace orvane
