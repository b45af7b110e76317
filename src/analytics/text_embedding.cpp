// Query vectors from free text: a topic chosen from the words, made into a
// vector exactly as generated nodes get theirs, so that a text naming a
// topic retrieves that topic's papers first. The vector takes the width of
// the database it queries; at 32 it is the vector of every earlier release.
#include <cctype>
#include <string>

#include "analytics/retrieval.h"
#include "graph/database.h"

namespace orvane {
namespace {

// 32-bit FNV-1a over the lower-cased bytes; 0 is reserved, so it becomes 1.
std::uint32_t folded_hash(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (const char c : text) {
    // ASCII folding only, whatever the process locale says.
    const auto byte = static_cast<unsigned char>(c);
    h ^= byte >= 'A' && byte <= 'Z' ? byte + 32u : byte;
    h *= 16777619u;
  }
  return h == 0 ? 1 : h;
}

}  // namespace

void text_embedding(float* out, std::size_t dims, std::string_view text) {
  if (text.empty()) {
    seed_embedding(out, dims, 0, 7);
    return;
  }
  const std::uint32_t h = folded_hash(text);
  for (std::uint32_t t = 0; t < 16; ++t) {
    if (text.find(topic_name(t)) != std::string_view::npos) {
      seed_embedding(out, dims, t, h);
      return;
    }
  }
  const std::size_t at = text.find("topic");
  if (at != std::string_view::npos) {
    std::uint32_t t = 0;
    std::size_t i = at + 5;
    while (i < text.size() && !std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t end = i;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end > i) t = static_cast<std::uint32_t>(std::stoul(std::string(text.substr(i, end - i))) % 16);
    seed_embedding(out, dims, t, h);
    return;
  }
  seed_embedding(out, dims, h % 16, h);
}

}  // namespace orvane
