// SHA-256 through libsodium. The state lives in an opaque buffer of the
// wrapper so that the header stays free of sodium.h.
#include "storage/snapshot_digest.h"

#include <sodium.h>

#include <new>

namespace orvane {
namespace {

crypto_hash_sha256_state* state_of(unsigned char* buffer) {
  return std::launder(reinterpret_cast<crypto_hash_sha256_state*>(buffer));
}

}  // namespace

static_assert(sizeof(crypto_hash_sha256_state) <= 128, "Sha256 state buffer too small");
static_assert(alignof(crypto_hash_sha256_state) <= 8, "Sha256 state buffer misaligned");

Sha256::Sha256() {
  new (state_) crypto_hash_sha256_state;
  crypto_hash_sha256_init(state_of(state_));
}

bool Sha256::update(const void* data, std::size_t size) {
  return crypto_hash_sha256_update(state_of(state_), static_cast<const unsigned char*>(data), size) == 0;
}

bool Sha256::finish(Sha256Digest& out) {
  return crypto_hash_sha256_final(state_of(state_), out.data()) == 0;
}

bool sha256(const void* data, std::size_t size, Sha256Digest& out) {
  return crypto_hash_sha256(out.data(), static_cast<const unsigned char*>(data), size) == 0;
}

}  // namespace orvane
