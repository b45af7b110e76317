// The focus of this file is the snapshot digest: the FIPS 180-4 answers,
// whether the bytes come as one block or, as the writer feeds them, in
// pieces of any size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "storage/snapshot_digest.h"

namespace orvane::testing {
namespace {

std::string hex(const Sha256Digest& d) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : d) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST(SnapshotDigest, KnownAnswersWholeAndInPieces) {
  const struct {
    std::string text;
    const char* expected;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  std::mt19937 rng(7);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 10));
    Sha256Digest whole, pieces;
    ASSERT_TRUE(sha256(c.text.data(), c.text.size(), whole));
    EXPECT_EQ(c.expected, hex(whole));
    Sha256 h;
    for (std::size_t at = 0; at < c.text.size();) {
      const std::size_t piece = std::min<std::size_t>(c.text.size() - at, rng() % 150);
      ASSERT_TRUE(h.update(c.text.data() + at, piece));
      at += piece;
    }
    ASSERT_TRUE(h.finish(pieces));
    EXPECT_EQ(c.expected, hex(pieces));
  }
}

}  // namespace
}  // namespace orvane::testing
