// An independent encoder of snapshot files for tests: a Database becomes a
// SnapshotImage whose fields mirror the file's header and sections one to
// one, a test changes any field it likes, and encode() lays the image out
// byte by byte (recomputing the digest for version 4, as an attacker would).
// Versions 2 and 3 are produced the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/database.h"

namespace orvane::testing {

struct SnapshotImage {
  std::string magic = "ORVSNAP2";
  std::uint32_t version = 4;
  std::uint32_t nodes = 0, relationships = 0, dimension = 32, people = 0, papers = 0;
  std::uint16_t person_label = 0, paper_label = 1, follows_type = 0, authored_type = 1;
  std::uint32_t label_count = 0, type_count = 0;
  std::vector<std::string> label_names, type_names;
  std::vector<std::uint16_t> labels;
  std::vector<std::uint32_t> to_physical, to_logical;
  std::vector<std::uint32_t> out_offsets, out_targets;
  std::vector<std::uint16_t> out_types;
  std::vector<std::uint32_t> in_offsets, in_sources;
  std::vector<std::uint16_t> in_types;
  std::vector<std::uint32_t> topics;
  std::vector<float> embeddings;
  std::vector<std::string> names;
  std::vector<std::string> properties;  // compact JSON texts (written from version 3)
  std::string trailing;                 // bytes after the last section, before any digest
};

// The image of a compiled Database, as save_snapshot would write it.
SnapshotImage image_of(const Database& db);

// The file bytes of `image`: header, sections, the property section only
// from version 3, and the SHA-256 digest only for version 4.
std::string encode(const SnapshotImage& image);

// The SHA-256 digest of `bytes` as 32 raw bytes.
std::string digest_of(const std::string& bytes);

void write_file(const std::string& path, const std::string& bytes);

}  // namespace orvane::testing
