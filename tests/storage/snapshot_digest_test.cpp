// The focus of this file is the snapshot digest: the SHA instruction path
// must give libsodium's digest for every length, however the bytes are
// split into pieces, and the known FIPS 180-4 answers.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

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

std::string digest_hex(const std::string& text) {
  Sha256Digest d;
  EXPECT_TRUE(sha256(text.data(), text.size(), d));
  return hex(d);
}

TEST(SnapshotDigest, KnownAnswers) {
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", digest_hex(""));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", digest_hex("abc"));
  EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
            digest_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
  EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
            digest_hex(std::string(1000000, 'a')));
}

TEST(SnapshotDigest, EveryLengthAndSplitMatchesLibsodium) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> bytes(70000);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (const std::size_t n : {511u, 512u, 513u, 4095u, 4096u, 65536u, 70000u}) lengths.push_back(n);
  for (const std::size_t n : lengths) {
    SCOPED_TRACE(n);
    Sha256Digest expected, whole, pieces;
    ASSERT_TRUE(sha256_portable(bytes.data(), n, expected));
    ASSERT_TRUE(sha256(bytes.data(), n, whole));
    EXPECT_EQ(hex(expected), hex(whole));
    Sha256 h;
    for (std::size_t at = 0; at < n;) {
      const std::size_t piece = std::min<std::size_t>(n - at, rng() % 150);
      ASSERT_TRUE(h.update(bytes.data() + at, piece));
      at += piece;
    }
    ASSERT_TRUE(h.finish(pieces));
    EXPECT_EQ(hex(expected), hex(pieces));
  }
}

}  // namespace
}  // namespace orvane::testing
