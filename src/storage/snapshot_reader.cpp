// load_snapshot: reads and validates a snapshot (layout at the top of
// snapshot_writer.cpp) and builds a fresh Database from it.
//
// Version 5 names every relationship: each outgoing slot carries its
// identity, checked to name every identity once, and the incoming CSR is
// derived from the outgoing one rather than stored. Older files hold both
// directions, checked to mirror each other, and their relationships are
// numbered in outgoing slot order as they are read. Version 5 also holds
// the typed property stores, read straight into their arrays and checked by
// PropertyStore::read; older files hold a JSON text per node, converted
// value by value (property_value_of). Version 6 adds the ids users see;
// older files show identities.
//
// The file is read front to back with read(2), never mapped, so a file that
// shrinks under the reader fails the load instead of raising SIGBUS. The
// digest of a version 4 file or later is computed over the bytes as they
// are read and compared at the end; when any check fails first, the
// digest's verdict decides the message, so a damaged file is always
// reported as "snapshot checksum mismatch". Nothing is trusted before that
// either, because a version 3 file has no digest and anyone can recompute a
// version 4 one:
//
//   - every header check and the size check run in 64-bit arithmetic, and no
//     array is sized from a header count until the size check has shown that
//     the file is long enough to hold it, so a short file that claims
//     billions of nodes, or embeddings thousands of floats wide, fails with
//     its message instead of allocating;
//   - every read is bounded by the data end ("snapshot truncated");
//   - each section is checked before the next is read: the node maps must be
//     inverse permutations, offsets must rise from 0 to E, every neighbour
//     and type must be in range, the incoming CSR must hold exactly the
//     relationships of the outgoing one (the per-type arrays are sized from
//     the outgoing side), embeddings must be finite, and property texts JSON
//     objects, all before install_compiled or the Database sees any of it.
//
// What install_compiled builds beyond the file's own arrays (the incoming
// CSR, the edge list, the per-type run index and the label lists) is linear
// in the node and relationship counts whatever type and label ids the file
// uses, so the size check bounds it too.
//
// Each block is read once, straight into the vector that the Database keeps;
// the embeddings are checked piece by piece as they arrive, while each piece
// is still in the cache. Reading and hashing stay on this thread: with
// GraphBuild deriving the incoming CSR beside it, a third thread for the
// digest only took a core from the graph build, and measured slower.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "graph/json_limits.h"
#include "storage/csr_mirror.h"
#include "storage/snapshot.h"
#include "storage/snapshot_log.h"
#include "storage/snapshot_digest.h"
#include "storage/snapshot_format.h"
#include "storage/snapshot_input.h"

namespace orvane {
namespace {

namespace fmt = snapshot_format;

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

std::uint32_t read_u32(SnapshotInput& in) {
  std::uint32_t v;
  in.read(&v, sizeof v);
  return v;
}

std::uint16_t read_u16(SnapshotInput& in) {
  std::uint16_t v;
  in.read(&v, sizeof v);
  return v;
}

// One length-prefixed text, valid until the next read.
std::string_view read_text(SnapshotInput& in) { return in.read_view(read_u32(in)); }

struct Header {
  std::uint32_t version = 0;
  std::uint64_t nodes = 0;
  std::uint64_t relationships = 0;
  std::uint64_t dimension = 0;  // floats per embedding
  std::uint64_t people = 0;
  std::uint64_t papers = 0;
  std::uint16_t person_label = 0, paper_label = 0, follows_type = 0, authored_type = 0;
  std::uint64_t label_count = 0;
  std::uint64_t type_count = 0;
  std::uint32_t flags = 0;          // version 5 on
  std::uint64_t extra_labels = 0;   // version 5 on
};

Header read_header(SnapshotInput& in, std::uint32_t version) {
  Header h;
  h.version = version;
  h.nodes = read_u32(in);
  h.relationships = read_u32(in);
  h.dimension = read_u32(in);
  if (h.dimension == 0 || h.dimension > fmt::kMaxDimension) fail("invalid snapshot embedding dimension");
  h.people = read_u32(in);
  h.papers = read_u32(in);
  h.person_label = read_u16(in);
  h.paper_label = read_u16(in);
  h.follows_type = read_u16(in);
  h.authored_type = read_u16(in);
  h.label_count = read_u32(in);
  h.type_count = read_u32(in);
  if (version >= 5) {
    h.flags = read_u32(in);
    h.extra_labels = read_u32(in);
    if ((h.flags & ~fmt::kFlagGenerated) != 0) fail("invalid snapshot header");
  }

  const bool bad = h.nodes < h.papers || h.nodes > fmt::kMaxNodes || h.nodes < h.people ||
                   h.label_count < 2 || h.label_count > 65535 || h.people + h.papers > h.nodes ||
                   h.type_count < 2 || h.type_count > 65535 || h.paper_label != 1 || h.person_label != 0 ||
                   h.follows_type != 0 || h.authored_type != 1;
  if (bad) fail("invalid snapshot header");

  // The smallest number of bytes the rest of the file can take: fixed
  // per-node fields (2 label + 4 + 4 maps + 4 topic + 4d embedding + 4 name
  // length, + 4 property length from version 3), the two offset arrays, the
  // four per-relationship arrays and the schema name lengths. With at most
  // 2^32 nodes of at most 2^18 bytes each, nothing here can wrap.
  // Version 5: 6 bytes a further label; a relationship takes 10 bytes (its
  // target, type and identity) and there is one offsets array, where older
  // files hold 12 bytes a relationship and two offsets arrays.
  // Version 5 keeps the properties in two length-prefixed stores (16 bytes
  // at least) instead of a text per node; version 6 adds the two id counts
  // (16 bytes).
  const std::uint64_t per_node = 18 + 4 * h.dimension + (version == 2 || version >= 5 ? 0 : 4);
  const std::uint64_t per_relationship = version >= 5 ? 10 : 12;
  const std::uint64_t offsets = version >= 5 ? 4 : 8;
  const std::uint64_t needed = h.nodes * per_node + offsets * (h.nodes + 1) + 4 * (h.label_count + h.type_count) +
                               per_relationship * h.relationships + 6 * h.extra_labels + (version >= 5 ? 16 : 0) +
                               (version >= 6 ? 16 : 0);
  if (in.remaining() < needed) fail("snapshot sizes exceed file length");
  return h;
}

void read_schema(SnapshotInput& in, const Header& h, Database& db) {
  for (std::uint64_t i = 0; i < h.label_count; ++i) {
    const std::string name(read_text(in));
    bool ok = !name.empty();
    try {
      ok = ok && db.add_node_type(name) == i;
    } catch (const std::runtime_error&) {
      ok = false;  // a name that is not UTF-8
    }
    if (!ok) fail("invalid snapshot node schema");
  }
  for (std::uint64_t i = 0; i < h.type_count; ++i) {
    const std::string name(read_text(in));
    bool ok = !name.empty();
    try {
      ok = ok && db.add_rel_type(name) == i;
    } catch (const std::runtime_error&) {
      ok = false;
    }
    if (!ok) fail("invalid snapshot relationship schema");
  }
}

struct Sections {
  std::vector<std::uint16_t> labels;
  std::vector<std::uint32_t> extra_label_nodes;
  std::vector<std::uint16_t> extra_labels;
  std::vector<std::uint32_t> to_physical, to_logical;
  std::vector<std::uint32_t> out_offsets, out_targets;
  std::vector<std::uint16_t> out_types;
  std::vector<std::uint32_t> out_rels;
};

void check_node_mapping(const Sections& s, const Header& h) {
  const std::uint64_t n = h.nodes;
  // A node without labels exists from version 5 on.
  const auto label_ok = [&](std::uint16_t l) { return l < h.label_count || (h.version >= 5 && l == kNoLabel); };
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::uint32_t p = s.to_physical[i], l = s.to_logical[i];
    if (!label_ok(s.labels[i]) || p >= n || l >= n || s.to_logical[p] != i || s.to_physical[l] != i) {
      fail("invalid snapshot node mapping");
    }
  }
}

// Further labels: ascending nodes that have a first label, each further
// label known and none repeated for its node (first label included). The
// stamp array remembers, per label, the last node that showed it.
void check_extra_labels(const Sections& s, const Header& h) {
  std::vector<std::uint32_t> stamp(h.label_count, kNoNode);
  std::uint32_t previous = 0;
  for (std::size_t k = 0; k < s.extra_labels.size(); ++k) {
    const std::uint32_t node = s.extra_label_nodes[k];
    const std::uint16_t label = s.extra_labels[k];
    if (node >= h.nodes || node < previous || label >= h.label_count || s.labels[node] == kNoLabel ||
        s.labels[node] == label || stamp[label] == node) {
      fail("invalid snapshot labels");
    }
    stamp[label] = node;
    previous = node;
  }
}

// Relationship identities (version 5): the outgoing slots name every
// identity exactly once. One bit per relationship.
void check_relationship_identities(const Sections& s, const Header& h) {
  std::vector<bool> seen(h.relationships, false);
  for (const std::uint32_t r : s.out_rels) {
    if (r >= h.relationships || seen[r]) fail("invalid snapshot relationship");
    seen[r] = true;
  }
}

void check_csr(const std::vector<std::uint32_t>& offsets, const std::vector<std::uint32_t>& neighbours,
               const std::vector<std::uint16_t>& types, const Header& h) {
  if (offsets.front() != 0 || offsets.back() != h.relationships) fail("invalid snapshot CSR offsets");
  for (std::size_t v = 1; v < offsets.size(); ++v) {
    if (offsets[v] < offsets[v - 1]) fail("invalid snapshot CSR offsets");
  }
  for (std::size_t s = 0; s < neighbours.size(); ++s) {
    if (neighbours[s] >= h.nodes || types[s] >= h.type_count) fail("invalid snapshot relationship");
  }
}

// Each section is checked as soon as it has been read, before the next one
// is allocated, so a file whose early sections are garbage (a sparse file
// of the right length, say) fails after reading them, not after reading the
// whole file into memory.
Sections read_sections(SnapshotInput& in, const Header& h) {
  const std::uint64_t n = h.nodes, e = h.relationships;
  Sections s;
  const bool identities = h.version >= 5;
  s.labels = in.read_block<std::uint16_t>(n);
  s.extra_label_nodes = in.read_block<std::uint32_t>(h.extra_labels);
  s.extra_labels = in.read_block<std::uint16_t>(h.extra_labels);
  s.to_physical = in.read_block<std::uint32_t>(n);
  s.to_logical = in.read_block<std::uint32_t>(n);
  check_node_mapping(s, h);
  check_extra_labels(s, h);
  s.out_offsets = in.read_block<std::uint32_t>(n + 1);
  s.out_targets = in.read_block<std::uint32_t>(e);
  s.out_types = in.read_block<std::uint16_t>(e);
  if (identities) s.out_rels = in.read_block<std::uint32_t>(e);
  check_csr(s.out_offsets, s.out_targets, s.out_types, h);
  if (identities) {
    // Version 5 keeps the outgoing side only; the incoming one, its mirror,
    // is derived by install_compiled.
    check_relationship_identities(s, h);
  } else {
    // Older files hold the incoming side too. It is only checked to mirror
    // the outgoing one and then dropped: install_compiled derives it afresh
    // all the same, so that its slots carry the identities.
    const std::vector<std::uint32_t> in_offsets = in.read_block<std::uint32_t>(n + 1);
    const std::vector<std::uint32_t> in_sources = in.read_block<std::uint32_t>(e);
    const std::vector<std::uint16_t> in_types = in.read_block<std::uint16_t>(e);
    check_csr(in_offsets, in_sources, in_types, h);
    // Files before identities never held two relationships of one type
    // between the same nodes in one direction.
    if (!incoming_mirrors_outgoing(h.nodes, s.out_offsets, s.out_targets, s.out_types, in_offsets, in_sources,
                                   in_types)) {
      fail("invalid snapshot relationship");
    }
    s.out_rels.resize(e);
    for (std::size_t r = 0; r < e; ++r) s.out_rels[r] = static_cast<std::uint32_t>(r);
  }
  return s;
}

// True when none of the `count` floats at `values` is infinite or NaN: an
// exponent of all ones marks both. Works on the bits, so that the loop
// vectorises.
bool all_finite(const float* values, std::size_t count) {
  std::uint32_t bad = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, values + i, sizeof bits);
    bad |= static_cast<std::uint32_t>((bits & 0x7F800000u) == 0x7F800000u);
  }
  return bad == 0;
}

// The embedding block, grown, read and checked piece by piece (as
// read_block grows its vectors), so that each piece is zeroed, overwritten
// and checked while it is in the cache; an infinite or NaN value fails the
// load once the whole block has been read, as when the check came after it.
std::vector<float> read_embeddings(SnapshotInput& in, std::uint64_t count) {
  if (count > in.remaining() / sizeof(float)) fail("snapshot truncated");
  std::vector<float> embeddings;
  embeddings.reserve(count);
  constexpr std::size_t kPiece = SnapshotInput::kBlockPiece / sizeof(float);
  bool finite = true;
  for (std::size_t at = 0; at < count; at += kPiece) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, count - at));
    embeddings.resize(at + piece);
    in.read(embeddings.data() + at, piece * sizeof(float));
    finite &= all_finite(embeddings.data() + at, piece);
  }
  if (!finite) fail("invalid snapshot embedding");
  return embeddings;
}

// The node attribute sections: topics, embeddings, names.
struct Attributes {
  std::vector<std::uint32_t> topics;
  std::vector<float> embeddings;
  std::vector<std::string> names;
};

Attributes read_attributes(SnapshotInput& in, const Header& h) {
  Attributes a;
  a.topics = in.read_block<std::uint32_t>(h.nodes);
  a.embeddings = read_embeddings(in, h.nodes * h.dimension);
  a.names.reserve(h.nodes);
  for (std::uint64_t i = 0; i < h.nodes; ++i) a.names.emplace_back(read_text(in));
  return a;
}

// Finishes the compiled graph from checked sections on a thread of its own
// (the incoming CSR, the per-type tables, the label lists and the edge
// list), so that this work overlaps the reading and hashing of the rest of
// the file. finish() waits for it; the destructor waits too, so no path
// out of the loader leaves the thread running.
class GraphBuild {
 public:
  explicit GraphBuild(Sections sections) : sections_(std::move(sections)), thread_([this] { run(); }) {}
  ~GraphBuild() {
    if (thread_.joinable()) thread_.join();
  }
  GraphBuild(const GraphBuild&) = delete;
  GraphBuild& operator=(const GraphBuild&) = delete;

  PhysicalGraph finish() {
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    return std::move(graph_);
  }

 private:
  void run() {
    try {
      Sections& s = sections_;
      graph_.extra_label_nodes = std::move(s.extra_label_nodes);
      graph_.extra_labels = std::move(s.extra_labels);
      graph_.install_compiled(std::move(s.labels), std::move(s.to_physical), std::move(s.to_logical),
                              std::move(s.out_offsets), std::move(s.out_targets), std::move(s.out_types),
                              std::move(s.out_rels));
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  Sections sections_;
  PhysicalGraph graph_;
  std::exception_ptr failure_;
  std::thread thread_;  // last: starts once everything it uses exists
};

// True when `text` is {"name":"TEXT"} with TEXT printable ASCII other than a
// quote or a backslash, which is what the writer produces for most nodes of
// a large graph; the JSON parser would read it as that one string, so it can
// be taken as it is. Sets `name` to TEXT.
bool plain_name_object(std::string_view text, std::string_view& name) {
  constexpr std::string_view open = "{\"name\":\"", close = "\"}";
  if (text.size() < open.size() + close.size() || !text.starts_with(open) || !text.ends_with(close)) return false;
  name = text.substr(open.size(), text.size() - open.size() - close.size());
  for (const char c : name) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
  }
  return true;
}

// One length-prefixed property store (version 5), read straight into its
// arrays; PropertyStore::read checks every count against the length and
// `max_entities` before it allocates.
PropertyStore read_store(SnapshotInput& in, std::uint64_t max_entities) {
  std::uint64_t length = 0;
  in.read(&length, sizeof length);
  if (length > in.remaining()) fail("snapshot truncated");
  return PropertyStore::read([&in](void* data, std::size_t size) { in.read(data, size); }, length, max_entities);
}

void read_properties(SnapshotInput& in, const Header& h, Database& db) {
  static const std::string name_key = "name";
  for (std::uint64_t i = 0; i < h.nodes; ++i) {
    const std::string_view text = read_text(in);
    if (text == "{}") continue;  // the node already has an empty object
    std::string_view name;
    if (plain_name_object(text, name)) {
      db.set_property(static_cast<std::uint32_t>(i), name_key, nlohmann::json(name));
      continue;
    }
    nlohmann::json value = parse_json_bounded(text);
    if (!value.is_object()) fail("snapshot properties must be an object");
    for (auto it = value.begin(); it != value.end(); ++it) {
      // A "name" that is not a string need not be the display name (CREATE
      // and import take "username", "title", ... or LABEL-N first): the
      // names section keeps the one the node had, so a reload changes none.
      const bool keep_name = it.key() == name_key && !it.value().is_string();
      std::string display = keep_name ? db.names[i] : std::string();
      db.set_property(static_cast<std::uint32_t>(i), it.key(), it.value());
      if (keep_name) db.names[i] = std::move(display);
    }
  }
}

// One id section (version 6): the explicit ids of the first entities, at
// most `max_entities` of them, distinct and below 2^63.
EntityIds read_ids(SnapshotInput& in, std::uint64_t max_entities) {
  std::uint64_t count = 0;
  in.read(&count, sizeof count);
  if (count > max_entities || count > in.remaining() / 8) fail("snapshot ids exceed the graph");
  std::vector<std::uint64_t> ids(count);
  in.read(ids.data(), 8 * count);
  EntityIds out;
  if (!out.assign(std::move(ids))) fail("invalid snapshot ids");
  return out;
}

// Parses everything after the magic and version.
Database parse_snapshot(SnapshotInput& in, std::uint32_t version) {
  const Header h = read_header(in, version);
  Database db;
  read_schema(in, h, db);
  GraphBuild build(read_sections(in, h));
  Attributes a = read_attributes(in, h);
  PropertyStore nodes, rels;
  if (version >= 5) {
    nodes = read_store(in, h.nodes);
    rels = read_store(in, h.relationships);
  }
  if (version >= 6) {
    db.node_ids = read_ids(in, h.nodes);
    db.rel_ids = read_ids(in, h.relationships);
  }
  db.graph = build.finish();
  if (version >= 5) db.install_property_stores(std::move(nodes), std::move(rels));
  db.install_attributes(h.people, h.papers, std::move(a.names), std::move(a.topics), h.dimension,
                        std::move(a.embeddings), version == 2);
  if (version == 3 || version == 4) {
    read_properties(in, h, db);
    db.organise_properties();
  }
  if (!in.at_end()) fail("unexpected data after snapshot");
  // Older files do not say; a graph with nothing but the generator's labels
  // and types is taken for one of its graphs, so that {id: N} keeps its
  // answers there.
  db.generated = version >= 5 ? (h.flags & fmt::kFlagGenerated) != 0
                              : db.node_types.size() == 2 && db.rel_types.size() == 2;
  return db;
}

}  // namespace

namespace {

Database load_snapshot_file(const std::string& path) {
  SnapshotInput in(path);
  char magic[sizeof fmt::kMagic];
  in.read(magic, sizeof magic);
  if (std::memcmp(magic, fmt::kMagic, sizeof fmt::kMagic) != 0) fail("not a Halvex snapshot");
  const std::uint32_t version = read_u32(in);
  if (version < 2 || version > fmt::kCurrentVersion) fail("unsupported snapshot version");
  if (version < 4) return parse_snapshot(in, version);

  if (in.file_size() < kSnapshotHeaderSize + fmt::kDigestSize) fail("snapshot truncated");
  in.set_data_end(in.file_size() - fmt::kDigestSize, true);
  // The digest covers the whole file, so it is only known at the end. A
  // damaged file is reported as such whatever check the damage trips first:
  // any failure of the parse is replaced by the digest's verdict when the
  // digest does not match.
  Database db;
  try {
    db = parse_snapshot(in, version);
  } catch (const std::exception&) {
    if (!in.digest_matches()) fail("snapshot checksum mismatch");
    throw;
  }
  if (!in.digest_matches()) fail("snapshot checksum mismatch");
  return db;
}

}  // namespace

Database load_snapshot(const std::string& path) {
  // A writer's checkpoint may replace the file and retire its log while
  // they are read: the snapshot's digest, taken before and after, says
  // whether what was read belongs together, else it is read again.
  constexpr int kAttempts = 5;
  for (int attempt = 1;; ++attempt) {
    if (!has_log_beside(path)) return load_snapshot_file(path);
    const Sha256Digest before = stored_snapshot_digest(path);
    Database db = load_snapshot_file(path);
    try {
      replay_logs_beside(db, path, before);
    } catch (const std::exception&) {
      if (attempt < kAttempts && stored_snapshot_digest(path) != before) continue;
      throw;
    }
    if (attempt < kAttempts && stored_snapshot_digest(path) != before) continue;
    db.fold();
    return db;
  }
}

bool is_snapshot_file(const std::string& path) {
  try {
    SnapshotInput in(path);
    char magic[sizeof fmt::kMagic];
    in.read(magic, sizeof magic);
    return std::memcmp(magic, fmt::kMagic, sizeof fmt::kMagic) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace orvane
