// save_snapshot: writes a Database as a version 6 snapshot.
//
// Byte layout (version 6). Integers are unsigned little-endian, floats
// IEEE-754 binary32 little-endian; no padding anywhere. n = nodes,
// E = relationships, L = labels, T = relationship types, X = further
// labels (labels of a node after its first).
//
//   offset  width  field
//        0      8  magic "ORVSNAP2" (no terminator)
//        8      4  version (6)
//       12      4  node count n
//       16      4  relationship count E (out_targets entries)
//       20      4  embedding dimension d (1 … 65536; 32 for every graph
//                   generated or built without an import of wider ones)
//       24      4  people (low 32 bits)
//       28      4  papers (low 32 bits)
//       32      2  Person label id (0)
//       34      2  Paper label id (1)
//       36      2  FOLLOWS type id (0)
//       38      2  AUTHORED type id (1)
//       40      4  label count L
//       44      4  type count T
//       48      4  flags: bit 0 set for a graph of the corpus generator
//                   (Database::generated); the other bits 0
//       52      4  further label count X
//
//   then, from offset 56, with no gaps:
//    1  label names     L × (4-byte length + bytes)
//    2  type names      T × (4-byte length + bytes)
//    3  labels          2n   by identity: first label, 65535 for none
//    4  extra nodes     4X   identities, ascending
//    5  extra labels    2X   the further label of each
//    6  to_physical     4n   identity → position
//    7  to_logical      4n   position → identity
//    8  out_offsets     4(n+1)
//    9  out_targets     4E
//   10  out_types       2E
//   11  out_rels        4E   relationship identity of each outgoing slot
//   12  topics          4n   by identity
//   13  embeddings      4dn  d floats per node, identity order
//   14  names           n × (4-byte length + bytes)
//   15  node store      8-byte length + the node PropertyStore as its
//                       write() lays it out (property_store_file.cpp):
//                       one entity per node
//   16  rel store       8-byte length + the relationship PropertyStore:
//                       at most one entity per relationship
//   17  node ids        8-byte count k (0 … n) + 8k: the ids users see
//                       of the first k nodes (graph/entity_ids.h), distinct;
//                       0 when every node shows its identity
//   18  rel ids         the same for relationships (k ≤ E)
//   19  digest          32   SHA-256 of every byte before it
//
// The incoming CSR is not stored: the reader derives it from the outgoing
// one in one pass, which costs less than reading, hashing and checking ten
// more bytes a relationship.
//
// Older versions the reader still accepts: version 5 is version 6 without
// the id sections (every node and relationship shows its identity); version
// 4 has neither the flags
// nor the further-label count in its header and, of the sections, no
// further labels (4, 5) and no relationship identities (11; relationships
// are numbered in outgoing slot order); it stores the incoming CSR after
// the outgoing one (in_offsets 4(n+1), in_sources 4E, in_types 2E), and in
// place of the stores n × (4-byte length + compact JSON object text), the
// node properties with their JSON types; version 3 is version 4 without
// the digest; version 2 is version 3 without the property section. A file
// before version 5 holds a generated graph when its only labels and types
// are the fixed four (Person, Paper, FOLLOWS, AUTHORED).
//
// Arrays go to the file straight from the Database's vectors, in slices
// (snapshot_output.cpp); the stores are serialised twice, once to count
// their length, which comes before them, and once to write them. The digest
// is computed over the same bytes as they are written, on a second thread,
// so the file is never read back.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "storage/atomic_file.h"
#include "storage/snapshot.h"
#include "storage/snapshot_log.h"
#include "storage/snapshot_format.h"
#include "storage/snapshot_output.h"

namespace orvane {
namespace {

namespace fmt = snapshot_format;

const AtomicWriteErrors& snapshot_errors() {
  static const AtomicWriteErrors errors{
      "cannot write snapshot", "cannot create snapshot temporary file", "snapshot sync failed", "snapshot close failed",
      "snapshot atomic replacement failed", "snapshot directory sync failed"};
  return errors;
}

// The store as write() lays it out, preceded by its 8-byte length. The
// length comes from a first pass that only counts, so the store is never
// held twice in memory; its pieces are copied into the output's staging
// buffers as they come, because write() may hand out temporaries.
void put_store(SnapshotOutput& out, const PropertyStore& store) {
  std::uint64_t length = 0;
  store.write([&length](const void*, std::size_t size) { length += size; });
  out.put_u64(length);
  store.write([&out](const void* data, std::size_t size) { out.put(data, size); });
}

void write_header(SnapshotOutput& out, const Database& db) {
  const PhysicalGraph& g = db.graph;
  out.put(fmt::kMagic, sizeof fmt::kMagic);
  out.put_u32(fmt::kCurrentVersion);
  out.put_u32(static_cast<std::uint32_t>(g.node_count));
  out.put_u32(static_cast<std::uint32_t>(g.out_targets.size()));
  out.put_u32(static_cast<std::uint32_t>(db.embedding_dim));
  out.put_u32(static_cast<std::uint32_t>(db.people));
  out.put_u32(static_cast<std::uint32_t>(db.papers));
  out.put_u16(db.person_label);
  out.put_u16(db.paper_label);
  out.put_u16(db.follows_type);
  out.put_u16(db.authored_type);
  out.put_u32(static_cast<std::uint32_t>(db.node_types.size()));
  out.put_u32(static_cast<std::uint32_t>(db.rel_types.size()));
  out.put_u32(db.generated ? fmt::kFlagGenerated : 0);
  out.put_u32(static_cast<std::uint32_t>(g.extra_labels.size()));
}

void write_sections(SnapshotOutput& out, const Database& db) {
  const PhysicalGraph& g = db.graph;
  for (const std::string& label : db.node_types) out.put_text(label);
  for (const std::string& type : db.rel_types) out.put_text(type);
  out.put_block(g.labels);
  out.put_block(g.extra_label_nodes);
  out.put_block(g.extra_labels);
  out.put_block(g.to_physical);
  out.put_block(g.to_logical);
  out.put_block(g.out_offsets);
  out.put_block(g.out_targets);
  out.put_block(g.out_types);
  out.put_block(g.out_rels);
  out.put_block(db.topics);
  out.put_block(db.embeddings);
  for (const std::string& name : db.names) out.put_text(name);
  put_store(out, db.node_store);
  put_store(out, db.rel_store);
  for (const EntityIds* ids : {&db.node_ids, &db.rel_ids}) {
    if (ids->tail_starts_late()) {
      // The reader derives the tail from the prefix alone, so every id is
      // written when the tail starts later (after deletions).
      const std::uint64_t count = ids == &db.node_ids ? g.node_count : g.edges.size();
      std::vector<std::uint64_t> all(count);
      for (std::uint64_t i = 0; i < count; ++i) all[i] = ids->id_of(i);
      out.put_u64(count);
      out.put_block(all);
      continue;
    }
    out.put_u64(ids->explicit_count());
    out.put_block(ids->explicit_ids());
  }
}

// The writer relies on every node having its attributes; a Database that
// breaks that invariant is refused rather than written short.
void check_attribute_sizes(const Database& db) {
  const std::uint64_t n = db.graph.node_count;
  const PhysicalGraph& g = db.graph;
  if (db.embedding_dim == 0 || db.embedding_dim > fmt::kMaxDimension || db.names.size() != n ||
      db.topics.size() != n || db.embeddings.size() != n * db.embedding_dim ||
      g.labels.size() != n || g.to_physical.size() != n || g.to_logical.size() != n ||
      g.extra_label_nodes.size() != g.extra_labels.size() || g.edges.size() != g.out_targets.size() ||
      g.out_rels.size() != g.out_targets.size() || g.in_rels.size() != g.out_targets.size() ||
      g.out_offsets.size() != n + 1 || g.in_offsets.size() != n + 1 ||
      g.out_types.size() != g.out_targets.size() || g.in_sources.size() != g.out_targets.size() ||
      g.in_types.size() != g.out_targets.size() || db.node_store.size() != n ||
      db.rel_store.size() > g.edges.size() || db.node_ids.explicit_count() > n ||
      db.rel_ids.explicit_count() > g.edges.size()) {
    throw std::logic_error("graph attributes do not cover every node");
  }
}

// Drops the cached pages of the file a save is about to replace. Its
// content is on disk already (every save ends with an fsync) and the
// rename will unlink it, so the cache holds nothing anyone will read
// again; released first, those pages take the new file's content, instead
// of the save needing as much fresh memory again. On a virtual machine a
// page the guest has not touched lately can cost a fault in the host, and
// writing a large snapshot into such pages was seen to take several times
// as long as into recycled ones. Advice only: failures are ignored, and
// the previous file stays complete on disk until the rename.
void drop_cached_pages(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

}  // namespace

void save_snapshot(const Database& db, const std::string& path) {
  if (!db.graph.compiled) throw std::runtime_error("save requires compiled graph");
  if (db.graph.node_count > fmt::kMaxNodes || db.graph.out_targets.size() > fmt::kMaxRelationships) {
    throw std::runtime_error("graph exceeds snapshot format limits");
  }
  check_attribute_sizes(db);
  drop_cached_pages(publish_target(path, snapshot_errors().refused));
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  checkpoint_with(path, [&] {
    replace_file_atomically(path, snapshot_errors(), [&db](int fd) {
      SnapshotOutput out(fd);
      write_header(out, db);
      write_sections(out, db);
      out.finish_with_digest();
    });
  });
}

}  // namespace orvane
