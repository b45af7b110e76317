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

void seed_embedding(float* out, std::size_t dim, std::uint32_t topic, std::uint32_t seed) {
  for (std::size_t k = 0; k < dim; ++k) out[k] = 0.0f;
  out[topic % dim] = 1.0f;
  std::uint32_t state = seed == 0 ? 1u : seed;
  for (std::size_t k = 0; k < dim; ++k) {
    state = state * 1664525u + 1013904223u;
    const std::uint32_t b = state >> 24;
    const float unit = static_cast<float>(b) / 255.0f;
    const float centred = unit - 0.5f;
    const float noise = centred * 0.05f;
    out[k] = out[k] + noise;
  }
}

}  // namespace orvane
