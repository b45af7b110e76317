// Decimal parsing. Texts of up to 19 digits cannot overflow 64 bits and
// skip the overflow test; longer ones take it at every digit.
#include "base/decimal.h"

#include <limits>

namespace orvane {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t kDigitsThatAlwaysFit = 19;  // 10^19 - 1 < 2^64

// Appends decimal `digit` to `value`; false when the result would not fit.
bool append_digit(std::uint64_t& value, char digit) {
  const auto d = static_cast<std::uint64_t>(digit - '0');
  if (value > (kMax - d) / 10) return false;
  value = value * 10 + d;
  return true;
}

}  // namespace

std::optional<std::uint64_t> parse_decimal(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  if (digits.size() <= kDigitsThatAlwaysFit) {
    // Import looks up every relationship endpoint through here: the short
    // texts skip the overflow test.
    for (const char c : digits) {
      const auto d = static_cast<unsigned char>(c - '0');
      if (d > 9) return std::nullopt;
      value = value * 10 + d;
    }
    return value;
  }
  for (const char c : digits) {
    if (c < '0' || c > '9' || !append_digit(value, c)) return std::nullopt;
  }
  return value;
}

std::uint64_t parse_decimal_saturating(std::string_view digits) {
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (!append_digit(value, c)) return kMax;
  }
  return value;
}

}  // namespace orvane
