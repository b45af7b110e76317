// SHA-256 as used by the snapshot file: the last 32 bytes of a version 4
// snapshot are the digest of every byte before them. Runs on the processor's
// SHA instructions where it has them and on libsodium's crypto_hash_sha256
// otherwise, so that no other file needs sodium.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Incremental digest: feed the bytes in any number of pieces, then finish
// once. Each call returns false when libsodium reports a failure (the
// native path cannot fail).
class Sha256 {
 public:
  Sha256();
  bool update(const void* data, std::size_t size);
  bool finish(Sha256Digest& out);

 private:
  struct Native;
  Native* native();

  alignas(8) unsigned char state_[128];  // crypto_hash_sha256_state, or Native when native_
  bool native_;                          // the processor has the SHA instructions
};

// The digest of one block; false when hashing fails.
bool sha256(const void* data, std::size_t size, Sha256Digest& out);

// The same digest from libsodium alone, whatever the processor: the
// reference the native path is tested against.
bool sha256_portable(const void* data, std::size_t size, Sha256Digest& out);

}  // namespace orvane
