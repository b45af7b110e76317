// The focus of this file is PackStream: exact bytes of known encodings,
// round trips at every width boundary, and hostile inputs that must fail
// with a clear message and never read past the message or allocate what a
// length merely claims.
#include "bolt/packstream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bolt/bolt_error.h"
#include "bolt_client.h"

namespace orvane::bolt {
namespace {

using testing::bytes_of;
using testing::hex_of;

TEST(PackStream, WritesKnownEncodings) {
  struct Case {
    PackValue value;
    const char* hex;
  };
  const Case cases[] = {
      {PackValue(), "C0"},
      {true, "C3"},
      {false, "C2"},
      {1, "01"},
      {-16, "F0"},
      {-17, "C8 EF"},
      {127, "7F"},
      {128, "C9 00 80"},
      {-128, "C8 80"},
      {-129, "C9 FF 7F"},
      {32767, "C9 7F FF"},
      {32768, "CA 00 00 80 00"},
      {std::int64_t{-32769}, "CA FF FF 7F FF"},
      {std::int64_t{2147483647}, "CA 7F FF FF FF"},
      {std::int64_t{2147483648}, "CB 00 00 00 00 80 00 00 00"},
      {std::int64_t{-2147483648LL}, "CA 80 00 00 00"},
      {std::int64_t{-2147483649LL}, "CB FF FF FF FF 7F FF FF FF"},
      {std::numeric_limits<std::int64_t>::min(), "CB 80 00 00 00 00 00 00 00"},
      {1.1, "C1 3F F1 99 99 99 99 99 9A"},
      {-0.0, "C1 80 00 00 00 00 00 00 00"},
      {"", "80"},
      {"A", "81 41"},
      {"Größenmaßstäbe", "D0 12 47 72 C3 B6 C3 9F 65 6E 6D 61 C3 9F 73 74 C3 A4 62 65"},
      {Bytes{"\x01\x02\x03"}, "CC 03 01 02 03"},
      {PackList{1, 2, 3}, "93 01 02 03"},
      {PackMap{{"one", "eins"}}, "A1 83 6F 6E 65 84 65 69 6E 73"},
      {PackStruct{0x4E, {1, PackList{}, PackMap{}}}, "B3 4E 01 90 A0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(to_debug_text(c.value));
    EXPECT_EQ(c.hex, hex_of(encode(c.value)));
    EXPECT_EQ(c.value, decode(bytes_of(c.hex)));
  }
}

TEST(PackStream, SizesPickTheSmallestHeader) {
  struct Case {
    std::size_t size;
    const char* string_header;
    const char* list_header;
    const char* map_header;
  };
  const Case cases[] = {
      {15, "8F", "9F", "AF"},
      {16, "D0 10", "D4 10", "D8 10"},
      {255, "D0 FF", "D4 FF", "D8 FF"},
      {256, "D1 01 00", "D5 01 00", "D9 01 00"},
      {65535, "D1 FF FF", "D5 FF FF", "D9 FF FF"},
      {65536, "D2 00 01 00 00", "D6 00 01 00 00", "DA 00 01 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const PackValue text(std::string(c.size, 'x'));
    PackList list(c.size, PackValue(1));
    PackMap map;
    for (std::size_t i = 0; i < c.size; ++i) map.push_back({std::to_string(i), PackValue()});
    const std::string t = encode(text), l = encode(PackValue(list)), m = encode(PackValue(map));
    const std::size_t header = bytes_of(c.string_header).size();
    EXPECT_EQ(c.string_header, hex_of(t.substr(0, header)));
    EXPECT_EQ(c.list_header, hex_of(l.substr(0, header)));
    EXPECT_EQ(c.map_header, hex_of(m.substr(0, header)));
    EXPECT_EQ(text, decode(t));
    EXPECT_EQ(PackValue(list), decode(l));
    EXPECT_EQ(PackValue(map), decode(m));
  }
}

TEST(PackStream, ReadsEveryIntegerWidthAtItsBoundaries) {
  const std::int64_t values[] = {0,
                                 -1,
                                 -16,
                                 -17,
                                 127,
                                 128,
                                 -128,
                                 -129,
                                 32767,
                                 32768,
                                 -32768,
                                 -32769,
                                 2147483647LL,
                                 2147483648LL,
                                 -2147483648LL,
                                 -2147483649LL,
                                 std::numeric_limits<std::int64_t>::max(),
                                 std::numeric_limits<std::int64_t>::min()};
  for (const std::int64_t v : values) {
    SCOPED_TRACE(v);
    EXPECT_EQ(PackValue(v), decode(encode(v)));
  }
  // A driver may use a wider form than needed; it reads the same.
  EXPECT_EQ(PackValue(1), decode(bytes_of("CB 00 00 00 00 00 00 00 01")));
  EXPECT_EQ(PackValue(-1), decode(bytes_of("C9 FF FF")));
}

TEST(PackStream, FloatsKeepEveryBit) {
  const double values[] = {0.0, 1.5, -2.25e300, std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::infinity()};
  for (const double v : values) {
    SCOPED_TRACE(v);
    EXPECT_EQ(PackValue(v), decode(encode(v)));
  }
  EXPECT_TRUE(std::isnan(decode(encode(std::nan(""))).as<double>()));
}

TEST(PackStream, RefusesHostileInput) {
  struct Case {
    std::string bytes;
    const char* message;
  };
  std::string deep(100, '\x91');
  deep += '\x01';
  const Case cases[] = {
      {"", "PackStream: value truncated at byte 0"},
      {bytes_of("C1 00 00"), "PackStream: value truncated at byte 1"},
      {bytes_of("C9 01"), "PackStream: value truncated at byte 1"},
      {bytes_of("85 41 42"), "PackStream: a string of 5 bytes runs past the end of the message"},
      {bytes_of("D2 7F FF FF FF 41"), "PackStream: a string of 2147483647 bytes runs past the end of the message"},
      {bytes_of("CE FF FF FF FF"), "PackStream: a byte array of 4294967295 bytes runs past the end of the message"},
      {bytes_of("D6 80 00 00 00 01"), "PackStream: a list of 2147483648 items runs past the end of the message"},
      {bytes_of("DA FF FF FF FF"), "PackStream: a map of 4294967295 items runs past the end of the message"},
      {bytes_of("93 01 02"), "PackStream: a list of 3 items runs past the end of the message"},
      {bytes_of("92 01 C9"), "PackStream: value truncated at byte 3"},
      {bytes_of("C4"), "PackStream: unknown marker byte 0xC4 at byte 0"},
      {bytes_of("C7"), "PackStream: unknown marker byte 0xC7 at byte 0"},
      {bytes_of("CF"), "PackStream: unknown marker byte 0xCF at byte 0"},
      {bytes_of("D3"), "PackStream: unknown marker byte 0xD3 at byte 0"},
      {bytes_of("D7"), "PackStream: unknown marker byte 0xD7 at byte 0"},
      {bytes_of("91 DB"), "PackStream: unknown marker byte 0xDB at byte 1"},
      {bytes_of("DF"), "PackStream: unknown marker byte 0xDF at byte 0"},
      {bytes_of("E0"), "PackStream: unknown marker byte 0xE0 at byte 0"},
      {bytes_of("EF"), "PackStream: unknown marker byte 0xEF at byte 0"},
      {deep, "PackStream: values nested deeper than 64 levels"},
      {bytes_of("A1 01 01"), "PackStream: a map key at byte 1 is not a string"},
      {bytes_of("A2 81 61 01 81 61 02"), "PackStream: the map key \"a\" is repeated"},
      {bytes_of("81 FF"), "PackStream: the string at byte 1 is not valid UTF-8"},
      {bytes_of("B1"), "PackStream: value truncated at byte 1"},
      {bytes_of("01 01"), "PackStream: the message goes on for 1 bytes after its value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hex_of(c.bytes.substr(0, 12)));
    try {
      decode(c.bytes);
      ADD_FAILURE() << "decoded";
    } catch (const BoltError& e) {
      EXPECT_EQ(c.message, std::string(e.what()));
      EXPECT_EQ(kRequestInvalidFormat, e.code());
    }
  }
}

TEST(PackStream, NestingUpToTheLimitIsRead) {
  std::string bytes(63, '\x91');
  bytes += '\x01';
  PackValue v = decode(bytes);
  for (int i = 0; i < 63; ++i) v = PackValue(v.as<PackList>().at(0));
  EXPECT_EQ(PackValue(1), v);
  EXPECT_THROW(decode(bytes, DecodeLimits{10}), BoltError);
}

}  // namespace
}  // namespace orvane::bolt
