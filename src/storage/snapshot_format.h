// Constants of the snapshot file shared by its writer and its reader; the
// byte layout itself is described at the top of snapshot_writer.cpp.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace orvane::snapshot_format {

// Arrays are written and read as raw blocks in their in-memory form, which
// is the file's little-endian form only on a little-endian host.
static_assert(std::endian::native == std::endian::little, "snapshot blocks assume a little-endian host");

inline constexpr char kMagic[8] = {'O', 'R', 'V', 'S', 'N', 'A', 'P', '2'};
inline constexpr std::uint32_t kCurrentVersion = 6;  // the only version written
inline constexpr std::uint32_t kFlagGenerated = 1;    // header flag bit 0 (version 5 on): Database::generated
// Floats per embedding: each file names its own, from 1 to kMaxDimension.
// Every writer before the width became the Database's wrote 32.
inline constexpr std::uint32_t kMaxDimension = 65536;
inline constexpr std::size_t kDigestSize = 32;       // SHA-256 at the end from version 4 on

// Largest counts the 32-bit header fields can carry: identities stop at
// 0xFFFFFFFE, offsets at 0xFFFFFFFF.
inline constexpr std::uint64_t kMaxNodes = 0xFFFFFFFEull;
inline constexpr std::uint64_t kMaxRelationships = 0xFFFFFFFFull;

}  // namespace orvane::snapshot_format
