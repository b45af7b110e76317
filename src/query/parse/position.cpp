// Where a byte offset lies in a statement, as error messages name it:
// " (line L, column C (offset: O))". Lines are split at "\n" ("\r\n" ends a
// line too, its "\r" counting as the line's last character); columns count
// characters (UTF-8 code points), not bytes, so that a name with accents
// does not shift the column of the error after it.
#include <string>

#include "query/parse/parser.h"

namespace orvane {

std::string position_text(std::string_view text, std::size_t offset) {
  if (offset > text.size()) offset = text.size();
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n') {
      ++line;
      column = 1;
    } else if ((byte & 0xC0) != 0x80) {
      ++column;  // continuation bytes belong to the character before
    }
  }
  return " (line " + std::to_string(line) + ", column " + std::to_string(column) +
         " (offset: " + std::to_string(offset) + "))";
}

}  // namespace orvane
