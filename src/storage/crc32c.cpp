// Table-driven CRC-32C, slicing by eight: eight 256-entry tables let the
// loop fold eight input bytes per step instead of one, several times faster
// than the byte loop on log records of a few hundred bytes and up. The tables
// are computed at compile time. Input bytes are assembled explicitly, so the
// code does not depend on the host's byte order.
#include "storage/crc32c.h"

#include <array>

namespace orvane {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables make_tables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
    t[0][i] = c;
  }
  // Table k advances a byte through k further zero bytes.
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

std::uint32_t crc32c(const void* data, std::size_t size, std::uint32_t crc) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  const auto& t = kTables;
  crc = ~crc;  // the finished value of the earlier bytes back to the running register
  for (; size >= 8; p += 8, size -= 8) {
    const std::uint32_t low = crc ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                     std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; size > 0; ++p, --size) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace orvane
