// The shared text and number helpers: where white space ends, what case
// folding touches, and where 64 bits end.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/decimal.h"
#include "base/text.h"

namespace orvane {
namespace {

TEST(Text, TrimAndFoldOnlyAsciiBytes) {
  const struct {
    std::string_view in, trimmed, start, lower;
  } cases[] = {
      {"", "", "", ""},
      {" \t\n\r\v\f", "", "", " \t\n\r\v\f"},
      {"\v MATCH (n)\f\r\n", "MATCH (n)", "MATCH (n)\f\r\n", "\v match (n)\f\r\n"},
      {"\xC3\x89t\xC3\xA9 \xC2\xA0", "\xC3\x89t\xC3\xA9 \xC2\xA0", "\xC3\x89t\xC3\xA9 \xC2\xA0",
       "\xC3\x89t\xC3\xA9 \xC2\xA0"},  // no-break space and non-ASCII letters are not ASCII
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in));
    EXPECT_EQ(c.trimmed, trim_view(c.in));
    EXPECT_EQ(c.trimmed, trim(c.in));
    EXPECT_EQ(c.start, trim_start(c.in));
    EXPECT_EQ(c.lower, ascii_lower(c.in));
  }
  EXPECT_TRUE(ascii_iequals("Content-LENGTH", "content-length"));
  EXPECT_FALSE(ascii_iequals("Content-Length", "Content-Lengt"));
  EXPECT_FALSE(ascii_iequals("\xC3\x89", "\xC3\xA9"));
}

// Pieces keep their empty ones, as file lists and array fields need; a
// secret compares equal only to itself, whatever its length.
TEST(Text, SplitsAtASeparatorAndComparesSecrets) {
  const struct {
    std::string text;
    std::vector<std::string> pieces;
  } cases[] = {{"a,,b", {"a", "", "b"}}, {"", {""}}, {",", {"", ""}}, {"abc", {"abc"}}};
  for (const auto& c : cases) EXPECT_EQ(c.pieces, split_at(c.text, ',')) << c.text;
  EXPECT_TRUE(same_secret("key", "key"));
  for (const char* other : {"", "ke", "keys", "kez"}) EXPECT_FALSE(same_secret(other, "key")) << other;
}

TEST(Decimal, ParsesDigitsWithinSixtyFourBits) {
  const struct {
    std::string_view in;
    std::optional<std::uint64_t> parsed;
    std::uint64_t saturated;
  } cases[] = {
      {"0", 0, 0},
      {"007", 7, 7},
      {"18446744073709551615", 18446744073709551615ull, 18446744073709551615ull},
      {"18446744073709551616", std::nullopt, 18446744073709551615ull},
      {"99999999999999999999999", std::nullopt, 18446744073709551615ull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in));
    EXPECT_EQ(c.parsed, parse_decimal(c.in));
    EXPECT_EQ(c.saturated, parse_decimal_saturating(c.in));
  }
  for (const std::string_view refused : {"", "-1", "+1", " 1", "1 ", "1a", "0x10"}) {
    EXPECT_EQ(std::nullopt, parse_decimal(refused)) << refused;
  }
}

// Every length up to 20 digits, each with a byte just outside the digits
// (and a few far outside) at every place: texts short enough to skip the
// overflow test read as a 128-bit reading says.
TEST(Decimal, EveryLengthAndEveryPlaceOfAForeignByte) {
  const auto by_digit = [](std::string_view text) -> std::optional<std::uint64_t> {
    if (text.empty()) return std::nullopt;
    unsigned __int128 value = 0;
    for (const char c : text) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<unsigned>(c - '0');
      if (value > UINT64_MAX) return std::nullopt;
    }
    return static_cast<std::uint64_t>(value);
  };
  std::uint64_t state = 7;
  for (std::size_t length = 1; length <= 20; ++length) {
    for (int round = 0; round < 50; ++round) {
      std::string text;
      for (std::size_t i = 0; i < length; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        text += static_cast<char>('0' + (state >> 33) % 10);
      }
      ASSERT_EQ(by_digit(text), parse_decimal(text)) << text;
      for (std::size_t at = 0; at < length; ++at) {
        for (const char foreign : {'/', ':', '\0', ' ', '\xff', '\xfa', 'a'}) {
          std::string bad = text;
          bad[at] = foreign;
          ASSERT_EQ(std::nullopt, parse_decimal(bad)) << at << " in " << text;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvane
