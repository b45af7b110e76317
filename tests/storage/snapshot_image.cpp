// SnapshotImage encoding for tests, written field by field from the layout
// table rather than from the production writer, so that it also checks the
// writer's bytes.
#include "storage/snapshot_image.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "storage/snapshot_digest.h"

namespace orvane::testing {
namespace {

template <typename T>
void put(std::string& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

template <typename T>
void put_all(std::string& out, const std::vector<T>& values) {
  for (const T v : values) put(out, v);
}

void put_text(std::string& out, const std::string& text) {
  put(out, static_cast<std::uint32_t>(text.size()));
  out += text;
}

}  // namespace

SnapshotImage image_of(const Database& db) {
  const PhysicalGraph& g = db.graph;
  SnapshotImage im;
  im.nodes = static_cast<std::uint32_t>(g.node_count);
  im.relationships = static_cast<std::uint32_t>(g.out_targets.size());
  im.people = static_cast<std::uint32_t>(db.people);
  im.papers = static_cast<std::uint32_t>(db.papers);
  im.label_count = static_cast<std::uint32_t>(db.node_types.size());
  im.type_count = static_cast<std::uint32_t>(db.rel_types.size());
  im.label_names = db.node_types;
  im.type_names = db.rel_types;
  im.labels = g.labels;
  im.to_physical = g.to_physical;
  im.to_logical = g.to_logical;
  im.out_offsets = g.out_offsets;
  im.out_targets = g.out_targets;
  im.out_types = g.out_types;
  im.in_offsets = g.in_offsets;
  im.in_sources = g.in_sources;
  im.in_types = g.in_types;
  im.topics = db.topics;
  im.embeddings = db.embeddings;
  im.names = db.names;
  for (std::uint64_t i = 0; i < g.node_count; ++i) {
    im.properties.push_back(db.node_properties(static_cast<std::uint32_t>(i)).dump());
  }
  return im;
}

std::string encode(const SnapshotImage& im) {
  std::string out = im.magic;
  put(out, im.version);
  put(out, im.nodes);
  put(out, im.relationships);
  put(out, im.dimension);
  put(out, im.people);
  put(out, im.papers);
  put(out, im.person_label);
  put(out, im.paper_label);
  put(out, im.follows_type);
  put(out, im.authored_type);
  put(out, im.label_count);
  put(out, im.type_count);
  for (const auto& s : im.label_names) put_text(out, s);
  for (const auto& s : im.type_names) put_text(out, s);
  put_all(out, im.labels);
  put_all(out, im.to_physical);
  put_all(out, im.to_logical);
  put_all(out, im.out_offsets);
  put_all(out, im.out_targets);
  put_all(out, im.out_types);
  put_all(out, im.in_offsets);
  put_all(out, im.in_sources);
  put_all(out, im.in_types);
  put_all(out, im.topics);
  for (const float f : im.embeddings) {
    std::uint32_t bits;
    static_assert(sizeof bits == sizeof f);
    std::memcpy(&bits, &f, sizeof bits);
    put(out, bits);
  }
  for (const auto& s : im.names) put_text(out, s);
  if (im.version >= 3) {
    for (const auto& s : im.properties) put_text(out, s);
  }
  out += im.trailing;
  if (im.version == 4) out += digest_of(out);
  return out;
}

std::string digest_of(const std::string& bytes) {
  Sha256Digest d;
  if (!sha256(bytes.data(), bytes.size(), d)) throw std::runtime_error("sha256 failed");
  return std::string(reinterpret_cast<const char*>(d.data()), d.size());
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path);
}

}  // namespace orvane::testing
