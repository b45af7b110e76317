// The fixed topic table and the deterministic topic embedding shared by the
// corpus generator, migration and retrieval (query vectors of a topic).
//
// seed_embedding: a one-hot vector at (topic mod dim) plus one noise term per
// component from a 32-bit linear congruential generator (Numerical Recipes
// constants 1664525, 1013904223). Each step is done in float in a fixed
// order (divide, subtract, multiply, add) so the bytes are identical on
// every machine. The generator runs on past 32 for wider embeddings, so a
// 32-wide embedding is the prefix of a wider one's noise, and at 32 the hot
// component (topic mod 32 = topic AND 31) sits where it always has.
//
// Every node of an import is seeded, so the loop is written to run fast
// with the same bytes: the noise of each of the 256 generator outputs that
// matter (the state's top byte) is computed once, with the same float
// steps, into a table; and the generator's state k steps on is reached in
// one multiply and add from the block's first state (the k-step jump
// constants, kJumps), so the components of a block of 32 do not wait for
// each other. A component away from the hot one is 0 + noise, which is the
// noise itself; the hot one gets 1 + noise as before.
#include <array>
#include <cstdint>

#include "graph/database.h"

namespace orvane {

const char* topic_name(std::uint32_t topic) {
  static const char* const kTopics[16] = {
      "distributed systems", "social networks", "graph algorithms", "machine learning",
      "information retrieval", "databases", "compilers", "cryptography",
      "computer vision", "natural language", "robotics", "bioinformatics",
      "human-computer interaction", "security", "operating systems", "theory"};
  return kTopics[topic & 15u];
}

namespace {

constexpr std::uint32_t kMultiplier = 1664525u;
constexpr std::uint32_t kIncrement = 1013904223u;
constexpr std::size_t kBlock = 32;

// kJumps[k] takes a state k + 1 steps on: state' = mul · state + add.
struct Jump {
  std::uint32_t mul;
  std::uint32_t add;
};
constexpr std::array<Jump, kBlock> kJumps = [] {
  std::array<Jump, kBlock> jumps{};
  Jump j{1, 0};
  for (Jump& out : jumps) {
    j = Jump{j.mul * kMultiplier, j.add * kMultiplier + kIncrement};
    out = j;
  }
  return jumps;
}();

// The noise term of each top byte of the state.
const std::array<float, 256>& noise_table() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> noise{};
    for (std::uint32_t b = 0; b < 256; ++b) {
      const float unit = static_cast<float>(b) / 255.0f;
      const float centred = unit - 0.5f;
      noise[b] = centred * 0.05f;
    }
    return noise;
  }();
  return table;
}

}  // namespace

std::uint32_t node_seed(std::uint64_t identity) { return static_cast<std::uint32_t>(identity * 2654435761ull); }

void seed_embedding(float* out, std::size_t dim, std::uint32_t topic, std::uint32_t seed) {
  const std::array<float, 256>& noise = noise_table();
  std::uint32_t state = seed == 0 ? 1u : seed;
  for (std::size_t first = 0; first < dim; first += kBlock) {
    const std::size_t count = dim - first < kBlock ? dim - first : kBlock;
    for (std::size_t k = 0; k < count; ++k) out[first + k] = noise[(kJumps[k].mul * state + kJumps[k].add) >> 24];
    state = kJumps[kBlock - 1].mul * state + kJumps[kBlock - 1].add;
  }
  float& hot = out[topic % dim];
  hot = 1.0f + hot;
}

}  // namespace orvane
