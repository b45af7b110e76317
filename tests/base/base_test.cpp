// The shared text and number helpers: where white space ends, what case
// folding touches, and where 64 bits end.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvane
