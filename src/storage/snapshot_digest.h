// SHA-256 as used by the snapshot file: the last 32 bytes of a version 4
// snapshot are the digest of every byte before them. The digest comes from
// OpenSSL's libcrypto, which picks the processor's SHA or vector instructions
// itself; its headers stay inside snapshot_digest.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Incremental digest: feed the bytes in any number of pieces, then finish
// once. Each call returns false when libcrypto reports a failure (including
// a context it could not create); the writer turns that into "snapshot
// checksum failed". Not copyable; one object per digest.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool update(const void* data, std::size_t size);
  bool finish(Sha256Digest& out);

 private:
  struct Context;
  std::unique_ptr<Context> context_;  // null when libcrypto could not set one up
};

// The digest of one block; false when hashing fails.
bool sha256(const void* data, std::size_t size, Sha256Digest& out);

}  // namespace orvane
