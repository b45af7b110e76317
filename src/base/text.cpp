#include "base/text.h"

namespace orvane {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string_view trim_view(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

std::string trim(std::string_view text) { return std::string(trim_view(text)); }

std::string_view trim_start(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kWhiteSpace);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lower(c);
  return out;
}

bool ascii_iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> split_at(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t at = text.find(separator, start);
    pieces.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return pieces;
    start = at + 1;
  }
}

bool same_secret(std::string_view given, std::string_view expected) {
  const size_t n = given.size() > expected.size() ? given.size() : expected.size();
  unsigned char diff = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char a = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    const unsigned char b = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0;
    diff |= static_cast<unsigned char>(a ^ b);
  }
  return diff == 0;
}

}  // namespace orvane
