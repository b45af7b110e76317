// Small text helpers every subsystem shares: trimming white space and ASCII
// case folding. They work on bytes, never on the locale: statement
// keywords, header names and option words are ASCII, and a locale-aware
// version would treat the same statement differently on another machine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The white space trimmed: blank, tab, line feed, carriage return, vertical
// tab and form feed.
inline constexpr std::string_view kWhiteSpace = " \t\n\r\v\f";

// `text` without white space at either end (a view into `text`).
std::string_view trim_view(std::string_view text);
// The same, as a string.
std::string trim(std::string_view text);
// `text` without white space at its start.
std::string_view trim_start(std::string_view text);

// `text` with ASCII letters lower-cased; other bytes unchanged.
std::string ascii_lower(std::string_view text);
// Whether `a` and `b` are equal when ASCII letters are compared without case.
bool ascii_iequals(std::string_view a, std::string_view b);

// The pieces of `text` between the bytes equal to `separator`, empty ones
// kept: "a,,b" gives "a", "", "b"; "" gives one empty piece.
std::vector<std::string> split_at(std::string_view text, char separator);

// Whether `given` equals the secret `expected`, comparing every byte of the
// longer text, so that the time taken does not tell how long a matching
// prefix of a guessed key was.
bool same_secret(std::string_view given, std::string_view expected);

}  // namespace orvane
