// SHA-256 for the snapshot file.
//
// On x86-64 processors with the SHA extensions the compression function runs
// on the SHA-NI instructions (four rounds per sha256rnds2 pair, the message
// schedule on sha256msg1/sha256msg2), which is several times faster than a
// portable implementation: the digest is one full pass over a file that can
// be gigabytes long, on both the save and the load path. Everywhere else the
// digest comes from libsodium's crypto_hash_sha256. Both give the FIPS 180-4
// digest; the tests compare them on many lengths and piece sizes.
//
// libsodium's state lives in an opaque buffer of the wrapper so that the
// header stays free of sodium.h.
#include "storage/snapshot_digest.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define ORVANE_SHA_NI 1
#endif

namespace orvane {
namespace {

crypto_hash_sha256_state* state_of(unsigned char* buffer) {
  return std::launder(reinterpret_cast<crypto_hash_sha256_state*>(buffer));
}

constexpr std::uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

#ifdef ORVANE_SHA_NI

alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Compresses `blocks` 64-byte blocks into `state` (a … h).
//
// The instructions keep the eight working words as two vectors, ABEF and
// CDGH. Message words w[4g … 4g+3] sit in msg[g % 4]; each group of four
// rounds adds its constants, runs two double rounds, and meanwhile advances
// the schedule: sha256msg1 starts the next-but-two group's words, the
// alignr/add/sha256msg2 sequence finishes the next group's.
__attribute__((target("sha,sse4.1,ssse3"))) void compress_sha_ni(std::uint32_t state[8],
                                                                  const std::uint8_t* data,
                                                                  std::size_t blocks) {
  const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));    // D C B A
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])); // H G F E
  tmp = _mm_shuffle_epi32(tmp, 0xB1);                                             // C D A B
  state1 = _mm_shuffle_epi32(state1, 0x1B);                                       // E F G H
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);                               // A B E F
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);                                    // C D G H

  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abef = state0, cdgh = state1;
    __m128i msg[4];
    for (int i = 0; i < 4; ++i) {
      msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byte_swap);
    }
    for (int g = 0; g < 16; ++g) {
      const __m128i words = msg[g & 3];
      __m128i m = _mm_add_epi32(words, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
      state1 = _mm_sha256rnds2_epu32(state1, state0, m);
      if (g >= 3 && g <= 14) {
        __m128i& next = msg[(g + 1) & 3];
        next = _mm_add_epi32(next, _mm_alignr_epi8(words, msg[(g + 3) & 3], 4));
        next = _mm_sha256msg2_epu32(next, words);
      }
      m = _mm_shuffle_epi32(m, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, m);
      if (g >= 1 && g <= 12) msg[(g + 3) & 3] = _mm_sha256msg1_epu32(msg[(g + 3) & 3], words);
    }
    state0 = _mm_add_epi32(state0, abef);
    state1 = _mm_add_epi32(state1, cdgh);
  }

  tmp = _mm_shuffle_epi32(state0, 0x1B);        // F E B A
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // D C H G
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // D C B A
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // H G F E
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

bool cpu_has_sha_ni() {
  // CPUID leaf 1: ECX bit 9 SSSE3, bit 19 SSE4.1; leaf 7: EBX bit 29 SHA.
  static const bool has = [] {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool sse = (ecx & (1u << 9)) != 0 && (ecx & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return sse && (ebx & (1u << 29)) != 0;
  }();
  return has;
}

#else

void compress_sha_ni(std::uint32_t*, const std::uint8_t*, std::size_t) {}
bool cpu_has_sha_ni() { return false; }

#endif

}  // namespace

// The native state: the eight words, the bytes of an unfinished block and
// the message length so far. Lives in the same opaque buffer as libsodium's.
struct Sha256::Native {
  std::uint32_t h[8];
  std::uint8_t pending[64];
  std::uint64_t length;  // bytes consumed so far
};

static_assert(sizeof(crypto_hash_sha256_state) <= 128, "Sha256 state buffer too small");
static_assert(alignof(crypto_hash_sha256_state) <= 8, "Sha256 state buffer misaligned");

Sha256::Native* Sha256::native() { return std::launder(reinterpret_cast<Native*>(state_)); }

Sha256::Sha256() : native_(cpu_has_sha_ni()) {
  static_assert(sizeof(Native) <= sizeof state_ && alignof(Native) <= 8, "Sha256 native state does not fit");
  if (native_) {
    Native* s = new (state_) Native;
    std::memcpy(s->h, kInitialState, sizeof s->h);
    s->length = 0;
  } else {
    new (state_) crypto_hash_sha256_state;
    crypto_hash_sha256_init(state_of(state_));
  }
}

bool Sha256::update(const void* data, std::size_t size) {
  if (!native_) {
    return crypto_hash_sha256_update(state_of(state_), static_cast<const unsigned char*>(data), size) == 0;
  }
  Native* s = native();
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::size_t used = s->length % 64;
  s->length += size;
  if (used > 0) {
    const std::size_t take = std::min(size, 64 - used);
    std::memcpy(s->pending + used, p, take);
    p += take;
    size -= take;
    used += take;
    if (used < 64) return true;
    compress_sha_ni(s->h, s->pending, 1);
  }
  compress_sha_ni(s->h, p, size / 64);
  std::memcpy(s->pending, p + size / 64 * 64, size % 64);
  return true;
}

bool Sha256::finish(Sha256Digest& out) {
  if (!native_) return crypto_hash_sha256_final(state_of(state_), out.data()) == 0;
  Native* s = native();
  const std::uint64_t bits = s->length * 8;
  std::size_t used = s->length % 64;
  s->pending[used++] = 0x80;
  if (used > 56) {
    std::memset(s->pending + used, 0, 64 - used);
    compress_sha_ni(s->h, s->pending, 1);
    used = 0;
  }
  std::memset(s->pending + used, 0, 56 - used);
  for (int i = 0; i < 8; ++i) s->pending[56 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  compress_sha_ni(s->h, s->pending, 1);
  for (int i = 0; i < 8; ++i) {
    for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<std::uint8_t>(s->h[i] >> (24 - 8 * b));
  }
  return true;
}

bool sha256(const void* data, std::size_t size, Sha256Digest& out) {
  if (!cpu_has_sha_ni()) {
    return crypto_hash_sha256(out.data(), static_cast<const unsigned char*>(data), size) == 0;
  }
  Sha256 hash;
  return hash.update(data, size) && hash.finish(out);
}

bool sha256_portable(const void* data, std::size_t size, Sha256Digest& out) {
  return crypto_hash_sha256(out.data(), static_cast<const unsigned char*>(data), size) == 0;
}

}  // namespace orvane
