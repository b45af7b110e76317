// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), the checksum the
// write-ahead log puts on its header and on every record. Chosen over the
// zlib CRC-32 for its better error detection on short messages and because
// processors that have a CRC instruction compute exactly this polynomial.
// Computed in software here, so the result never depends on the machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane {

// The CRC-32C of `size` bytes at `data`. Incremental: passing the result for
// earlier bytes as `crc` continues it, so crc32c(b, m, crc32c(a, n)) equals
// the checksum of a followed by b. crc32c("123456789", 9) == 0xE3069283.
// Never throws.
std::uint32_t crc32c(const void* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace orvane
