// The snapshot file: its exact bytes, round trips, the atomic writer and every
// check of the loader (on files the test encodes itself or damages), the
// digest (also over files larger than the writer's and the loader's
// buffers), writes refused part-way and writers killed mid-save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "storage/snapshot.h"
#include "storage/snapshot_digest.h"
#include "support/error_text.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::string_literals;

// An encoder written from the file layout, not from the writer, so it checks
// the writer's bytes too: the fields mirror the header and sections one to
// one, a test changes any of them, and encode() lays them out (recomputing
// the digest from version 4 on, as an attacker would). Setting `version`
// below 5 leaves out what that version lacks.
struct SnapshotImage {
  std::string magic = "ORVSNAP2";
  std::uint32_t version = 6;
  std::uint32_t nodes = 0, relationships = 0, dimension = 32, people = 0, papers = 0;
  std::uint16_t person_label = 0, paper_label = 1, follows_type = 0, authored_type = 1;
  std::uint32_t label_count = 0, type_count = 0;
  std::uint32_t flags = 0, extra_count = 0;  // version 5
  std::vector<std::string> label_names, type_names;
  std::vector<std::uint16_t> labels;
  std::vector<std::uint32_t> extra_nodes{};   // version 5
  std::vector<std::uint16_t> extra_labels{};  // version 5
  std::vector<std::uint32_t> to_physical, to_logical;
  std::vector<std::uint32_t> out_offsets, out_targets;
  std::vector<std::uint16_t> out_types;
  std::vector<std::uint32_t> out_rels{};  // version 5
  std::vector<std::uint32_t> in_offsets, in_sources;  // before version 5
  std::vector<std::uint16_t> in_types;                 // before version 5
  std::vector<std::uint32_t> topics;
  std::vector<float> embeddings;
  std::vector<std::string> names;
  std::vector<std::string> properties{};  // compact JSON texts (versions 3 and 4)
  std::string node_store{}, rel_store{};  // version 5: the stores as PropertyStore::write lays them out
  std::vector<std::uint64_t> node_ids{}, rel_ids{};  // version 6: the explicit ids users see
  std::string trailing{};                     // bytes after the last section, before any digest
};

// Appends `value` as the file holds it (little-endian; a text as length + bytes).
template <typename T>
void put(std::string& out, const T& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    put(out, static_cast<std::uint32_t>(value.size()));
    out += value;
  } else if constexpr (std::is_same_v<T, float>) {
    put(out, std::bit_cast<std::uint32_t>(value));
  } else if constexpr (std::is_integral_v<T>) {
    for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  } else {
    for (const auto& v : value) put(out, v);
  }
}

SnapshotImage image_of(const Database& db) {
  const PhysicalGraph& g = db.graph;
  const auto u32 = [](std::uint64_t v) { return static_cast<std::uint32_t>(v); };
  SnapshotImage im{.nodes = u32(g.node_count), .relationships = u32(g.out_targets.size()),
                   .dimension = u32(db.embedding_dim), .people = u32(db.people),
                   .papers = u32(db.papers), .label_count = u32(db.node_types.size()),
                   .type_count = u32(db.rel_types.size()), .label_names = db.node_types, .type_names = db.rel_types,
                   .labels = g.labels, .to_physical = g.to_physical, .to_logical = g.to_logical,
                   .out_offsets = g.out_offsets, .out_targets = g.out_targets, .out_types = g.out_types,
                   .in_offsets = g.in_offsets, .in_sources = g.in_sources, .in_types = g.in_types, .topics = db.topics,
                   .embeddings = db.embeddings, .names = db.names};
  im.flags = db.generated ? 1 : 0;
  im.extra_count = u32(g.extra_labels.size());
  im.extra_nodes = g.extra_label_nodes;
  im.extra_labels = g.extra_labels;
  im.out_rels = g.out_rels;
  for (std::uint32_t i = 0; i < g.node_count; ++i) im.properties.push_back(db.node_properties(i).dump());
  const auto bytes_of = [](const PropertyStore& store) {
    std::string out;
    store.write([&out](const void* data, std::size_t size) { out.append(static_cast<const char*>(data), size); });
    return out;
  };
  im.node_store = bytes_of(db.node_store);
  im.rel_store = bytes_of(db.rel_store);
  im.node_ids = db.node_ids.explicit_ids();
  im.rel_ids = db.rel_ids.explicit_ids();
  return im;
}

// `im` as an older version lays it out (the properties as texts).
SnapshotImage as_version(SnapshotImage im, std::uint32_t version) {
  im.version = version;
  return im;
}

std::string encode(const SnapshotImage& im) {
  std::string out = im.magic;
  const auto put_all = [&out](const auto&... values) { (put(out, values), ...); };
  const bool v5 = im.version >= 5;
  put_all(im.version, im.nodes, im.relationships, im.dimension, im.people, im.papers, im.person_label, im.paper_label,
          im.follows_type, im.authored_type, im.label_count, im.type_count);
  if (v5) put_all(im.flags, im.extra_count);
  put_all(im.label_names, im.type_names, im.labels);
  if (v5) put_all(im.extra_nodes, im.extra_labels);
  put_all(im.to_physical, im.to_logical, im.out_offsets, im.out_targets, im.out_types);
  if (v5) put(out, im.out_rels);
  if (!v5) put_all(im.in_offsets, im.in_sources, im.in_types);
  put_all(im.topics, im.embeddings, im.names);
  if (v5) {
    for (const std::string* store : {&im.node_store, &im.rel_store}) {
      put(out, static_cast<std::uint64_t>(store->size()));
      out += *store;
    }
  } else if (im.version >= 3) {
    put(out, im.properties);
  }
  if (im.version >= 6) {
    for (const auto* ids : {&im.node_ids, &im.rel_ids}) {
      put(out, static_cast<std::uint64_t>(ids->size()));
      put(out, *ids);
    }
  }
  out += im.trailing;
  if (Sha256Digest d; im.version >= 4 && sha256(out.data(), out.size(), d)) {
    out.append(reinterpret_cast<const char*>(d.data()), d.size());
  }
  return out;
}

Database load_bytes(const TempDir& dir, const std::string& bytes) {
  write_text_file(dir.file("case.orv"), bytes);
  return load_snapshot(dir.file("case.orv"));
}

std::string load_bytes_error(const TempDir& dir, const std::string& bytes) {
  return error_of([&] { load_bytes(dir, bytes); });
}

bool has_temporary(const std::string& directory) {
  return std::ranges::any_of(fs::directory_iterator(directory), [](const fs::directory_entry& entry) {
    return entry.path().filename().string().find(".tmp-") != std::string::npos;
  });
}

// Custom labels and type, renumbered positions, nested and non-ASCII properties.
Database rich_graph() {
  Database db;
  generate_corpus(db, 30, 12, 7);
  optimize_layout(db);  // renumbered by the entropy worker
  std::string name;
  const std::uint32_t city = db.add_labeled_node("City", name, json{{"name", "Zürich"}, {"pop", 421878}}, 3);
  name = "";
  const std::uint32_t empty = db.add_labeled_node("Empty", name, json::object(), 0);
  name = "u";  // as CREATE names it: the first string of name, hostname, title, username
  db.add_labeled_node("Gadget", name, json{{"name", 7}, {"username", "u"}}, 0);
  db.graph.add_edge(city, 0, db.add_rel_type("NEAR"));
  db.graph.add_edge(0, city, db.follows_type);
  db.graph.add_edge(empty, city, db.authored_type);
  db.set_property(1, "tags", json::array({"a", "b\"q", 2.5, nullptr, json::object({{"k", true}})}));
  db.set_property(2, "big", json(std::numeric_limits<std::uint64_t>::max()));
  db.set_property(3, "neg", -42);
  db.compile();
  std::vector<std::uint32_t> order(db.graph.node_count);
  std::iota(order.rbegin(), order.rend(), 0u);  // reversed positions
  db.graph.apply_permutation(order);
  return db;
}

// rich_graph with what version 5 brought: further labels, a node without
// labels, parallel relationships and relationship properties.
Database richer_graph() {
  Database db = rich_graph();
  const std::uint32_t city = static_cast<std::uint32_t>(db.graph.node_count - 3);
  db.graph.add_label(city, db.add_node_type("Place"));
  db.graph.add_label(city, db.person_label);
  db.graph.add_label(5, db.paper_label);
  const std::uint32_t bare = db.add_node(kNoLabel, "bare", 0);
  const std::uint16_t near = db.rel_type_id("NEAR");
  db.graph.add_edge(city, 0, near);
  const std::uint32_t again = db.graph.add_edge(city, 0, near);
  db.graph.add_edge(bare, bare, near);
  db.set_relationship_properties(again, json{{"km", 2.5}, {"via", json::array({"A1", "A2"})}});
  db.set_relationship_properties(0, json{{"since", 2019}});
  db.compile();
  return db;
}

// Everything a snapshot carries, as one comparable text; relationship
// identities (and what hangs on them) only with `identities`, since files
// before version 5 number the relationships afresh.
std::string contents(const Database& db, bool identities = true) {
  const PhysicalGraph& g = db.graph;
  json j = {{"schema", {db.node_types, db.rel_types, db.people, db.papers}},
            {"maps", {g.node_count, g.labels, g.extra_label_nodes, g.extra_labels, g.to_physical, g.to_logical,
                      g.rel_type_count}},
            {"out", {g.out_offsets, g.out_targets, g.out_types}},
            {"in", {g.in_offsets, g.in_sources, g.in_types}},
            {"nodes", {db.names, db.topics, db.embedding_dim, db.embeddings, edges_of(db)}},
            {"props", json::array()},
            {"node_ids", db.node_ids.explicit_ids()}};
  for (std::uint32_t i = 0; i < g.node_count; ++i) j["props"].push_back(db.node_properties(i));
  if (identities) {
    j["rel_ids"] = db.rel_ids.explicit_ids();
    j["rels"] = {g.out_rels, g.in_rels, json::array()};
    for (const Edge& e : g.edges) j["rels"][2].push_back({e.src, e.dst, e.type});
    j["rel_props"] = json::array();
    for (std::uint32_t r = 0; r < g.edges.size(); ++r) j["rel_props"].push_back(db.relationship_properties(r));
  }
  return j.dump();
}

void expect_same_graph(const Database& a, const Database& b, bool identities = true) {
  EXPECT_EQ(contents(a, identities), contents(b, identities));
  check_invariants(b);
}

// Plain {"name"} objects skip the JSON library, so names that need escaping
// must still come out as its compact text. An empty graph takes 294 bytes;
// a loaded graph saves to the same bytes as the writer's, which use Sha256 in
// pieces where encode() hashes in one go. Files of versions 4, 3 and 2
// (names only) load; identities of relationships come back as they were
// saved.
TEST(Snapshot, RoundTripsByteForByteAndLoadsVersionsTwoAndThree) {
  TempDir dir;
  Database names;
  for (const char* n : {"plain", "", "with \"quote", "back\\slash", "tab\there", "del\x7f", "Zürich", "~ !#"}) {
    names.add_person(n, 0);
  }
  names.add_person(std::string("nul\0x", 5), 0);
  names.set_property(1, "name", "");
  names.set_property(2, "other", 1);
  names.compile();
  Database rich = rich_graph();
  rich.set_embedding(5, std::vector<float>(32, -0.125f));
  Database richer = richer_graph();
  Database wide = rich_graph();  // an import's 1536-float embeddings
  wide.set_embedding_dim(1536);
  wide.set_embedding(5, std::vector<float>(1536, -0.125f));
  Database imported = richer_graph();  // an import that kept its source's ids
  std::vector<std::uint64_t> node_ids(imported.graph.node_count), rel_ids(imported.graph.edges.size());
  for (std::size_t i = 0; i < node_ids.size(); ++i) node_ids[i] = 1000 - 3 * i;
  for (std::size_t i = 0; i < rel_ids.size(); ++i) rel_ids[i] = 7 * i;
  ASSERT_TRUE(imported.node_ids.assign(node_ids) && imported.rel_ids.assign(rel_ids));
  Database empty = GraphBuilder().compiled();
  save_snapshot(empty, dir.file("empty.orv"));
  const std::string bytes = read_text_file(dir.file("empty.orv"));
  ASSERT_EQ(294u, bytes.size());
  std::string digest;  // SHA-256 of the bytes before it, as sha256sum computes it
  for (const unsigned char b : bytes.substr(262)) digest += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
  EXPECT_EQ("59f9f0c7246e673ba15b4a62187510f12896fa0052797c07d4a386ba31158f30", digest);
  for (const Database* db : {&empty, &names, &rich, &richer, &wide, &imported}) {
    save_snapshot(*db, dir.file("g.orv"));
    EXPECT_EQ(encode(image_of(*db)), read_text_file(dir.file("g.orv")));
    const Database loaded = load_snapshot(dir.file("g.orv"));
    expect_same_graph(*db, loaded);
    save_snapshot(loaded, dir.file("again.orv"));
    EXPECT_EQ(read_text_file(dir.file("g.orv")), read_text_file(dir.file("again.orv")));
  }
  // A string "name" is the display name; one of another type leaves the stored name.
  SnapshotImage im = as_version(image_of(triangle()), 4);
  im.properties[0] = R"({"name":7,"z":[1]})";
  im.properties[1] = R"({"name":"b2","z":[1]})";
  const Database loaded = load_bytes(dir, encode(im));
  EXPECT_EQ(im.names[0] + " b2", loaded.names[0] + " " + loaded.names[1]);
  // Files of each version as the writers of their time wrote them, kept in
  // the repository: every later loader must keep reading them.
  const std::string fixtures = std::string(ORVANE_SOURCE_DIR) + "/tests/storage/fixtures/rich-v";
  expect_same_graph(richer, load_snapshot(fixtures + "5.orv"));
  for (const char* version : {"4", "3"}) {
    expect_same_graph(rich, load_snapshot(fixtures + version + ".orv"), false);
  }
  const Database v2 = load_snapshot(fixtures + "2.orv");  // the tags, big and neg properties cannot be carried
  for (std::uint32_t i = 0; i < v2.graph.node_count; ++i) {
    EXPECT_EQ(json::object({{"name", rich.names[i]}}), v2.node_properties(i)) << "node " << i;
  }
  EXPECT_EQ(rich.graph.to_logical, v2.graph.to_logical);
}

TEST(Snapshot, WriterCreatesPrivateFilesAtomically) {
  TempDir dir;
  Database uncompiled = GraphBuilder().people({"a", "b"}).follows("a", "b").uncompiled();
  EXPECT_EQ("save requires compiled graph", error_of([&] { save_snapshot(uncompiled, dir.file("sub/g.orv")); }));
  EXPECT_FALSE(fs::exists(dir.file("sub")));

  // Parents are created; the file is private, also when replaced; no temporary stays.
  const std::string path = dir.file("a/b/c/g.orv");
  for (const Database& db : {triangle(), star(4)}) {
    save_snapshot(db, path);
    struct stat st {};
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    EXPECT_FALSE(has_temporary(dir.file("a/b/c")));
    EXPECT_EQ(edges_of(db), edges_of(load_snapshot(path)));
  }

  // Text that is not UTF-8 never reaches a save: the store refuses it.
  Database bad = star(3);
  const std::string before = all_properties(bad);
  EXPECT_EQ("text is not valid UTF-8", error_of([&] { bad.set_property(2, "k", std::string("\xff\xfe")); }));
  EXPECT_EQ(before, all_properties(bad));
}

TEST(Snapshot, DamagedFilesAreRefused) {
  TempDir dir;
  const std::string incomplete = "snapshot is not a regular, complete file";
  EXPECT_EQ("open snapshot: " + dir.file("missing.orv") + ": No such file or directory",
            error_of([&] { load_snapshot(dir.file("missing.orv")); }));
  EXPECT_EQ(incomplete, error_of([&] { load_snapshot(dir.path()); }));

  SnapshotImage im = image_of(rich_graph());
  const std::string v4 = encode(im);
  im.version = 3;
  const std::string v3 = encode(im);
  // Bytes the size check asks for after the 48-byte header.
  const std::uint64_t needed = std::uint64_t{im.nodes} * 150 + 8 * (std::uint64_t{im.nodes} + 1) +
                               4 * (im.label_count + im.type_count) + 12 * std::uint64_t{im.relationships};
  for (std::size_t length : {0, 12, 40, 47}) EXPECT_EQ(incomplete, load_bytes_error(dir, v4.substr(0, length)));
  for (std::size_t length = 48; length < v4.size(); length += 13) {
    EXPECT_EQ(length < 80 ? "snapshot truncated" : "snapshot checksum mismatch",
              load_bytes_error(dir, v4.substr(0, length))) << length;
  }
  for (std::size_t length = 48; length < v3.size(); length += 13) {
    EXPECT_EQ(length - 48 < needed ? "snapshot sizes exceed file length" : "snapshot truncated",
              load_bytes_error(dir, v3.substr(0, length))) << "version 3, " << length;
  }
  EXPECT_EQ("snapshot checksum mismatch", load_bytes_error(dir, v4.substr(0, v4.size() - 1)));
  EXPECT_EQ("snapshot truncated", load_bytes_error(dir, v3.substr(0, v3.size() - 1)));

  // A length prefix past the end: "Person" claiming 0xFFFFFF00 bytes, and
  // the last property text one byte more than the file holds.
  im = image_of(triangle());
  im.version = 3;
  std::string bytes = encode(im);
  bytes.replace(48, 4, "\x00\xff\xff\xff", 4);
  EXPECT_EQ("snapshot truncated", load_bytes_error(dir, bytes));
  bytes = encode(im);
  bytes[bytes.size() - im.properties.back().size() - 4] = static_cast<char>(im.properties.back().size() + 1);
  EXPECT_EQ("snapshot truncated", load_bytes_error(dir, bytes));

  // Every flipped byte of a version 4 file.
  bytes = encode(image_of(star(3)));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string damaged = bytes;
    damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    ASSERT_EQ(i < 8    ? "not a Halvex snapshot"
              : i < 12 ? "unsupported snapshot version"
                       : "snapshot checksum mismatch",
              load_bytes_error(dir, damaged))
        << "byte " << i;
  }
}

// A file of many megabytes, so that the writer's four 1 MiB staging buffers
// wrap around many times and its digest thread lags behind the writes, and
// the loader reads its embeddings in pieces and a name and a property longer
// than its 1 MiB buffer. The bytes are the encoder's, the file loads back
// whole, and a cut or a flipped byte anywhere past the version (in the first
// buffer fill, at and across 1 MiB boundaries, deep in the file, in the last
// bytes) is reported as a checksum mismatch, never as anything the damage
// tripped first.
TEST(Snapshot, LargeFilesRoundTripAndDamageAnywhereIsCaught) {
  TempDir dir;
  Database db;
  generate_corpus(db, 40000, 10000, 3);
  optimize_layout(db);
  // Nodes that receive both types and parallel relationships, spread over
  // every bucket the loader derives the incoming side through.
  for (std::uint32_t i = 0; i < 5000; ++i) {
    db.add_authored(i * 7 % 50000, i * 13 % 40000);
    db.add_follows(i * 11 % 40000, i * 17 % 40000);
  }
  db.add_person(std::string(std::size_t{3} << 20, 'n'), 1);
  db.compile();
  db.set_property(17, "long", std::string(std::size_t{5} << 20, 'p'));
  save_snapshot(db, dir.file("big.orv"));
  const std::string bytes = read_text_file(dir.file("big.orv"));
  ASSERT_GT(bytes.size(), std::size_t{16} << 20);
  EXPECT_EQ(encode(image_of(db)), bytes);
  expect_same_graph(db, load_snapshot(dir.file("big.orv")));

  const std::size_t mib = std::size_t{1} << 20;
  for (const std::size_t at : {std::size_t{100}, mib - 1, mib, mib + 1, 8 * mib - 2, 9 * mib + 5, bytes.size() / 2,
                               bytes.size() - 40, bytes.size() - 33}) {
    std::string flipped = bytes;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x21);
    EXPECT_EQ("snapshot checksum mismatch", load_bytes_error(dir, flipped)) << "byte " << at;
    EXPECT_EQ("snapshot checksum mismatch", load_bytes_error(dir, bytes.substr(0, at))) << "cut at " << at;
  }
}

// A save that the system stops part-way (here the file size limit, as a
// full disk would) fails with the system's reason while the digest thread
// is still busy, removes its temporary file and leaves the previous
// snapshot as it was. Run in a child, whose limit dies with it.
TEST(Snapshot, AWriteRefusedPartWayLeavesThePreviousFile) {
  TempDir dir;
  const std::string path = dir.file("g.orv");
  const Database small = star(4);
  save_snapshot(small, path);
  const std::string before = read_text_file(path);
  Database large;
  generate_corpus(large, 40000, 10000, 3);
  optimize_layout(large);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    const rlimit limit{rlim_t{3} << 20, rlim_t{3} << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    write_text_file(dir.file("error.txt"), error_of([&] { save_snapshot(large, path); }));
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ("snapshot write failed: File too large", read_text_file(dir.file("error.txt")));
  EXPECT_FALSE(has_temporary(dir.path()));
  EXPECT_EQ(before, read_text_file(path));
  EXPECT_EQ(edges_of(small), edges_of(load_snapshot(path)));
}

// Each case changes one field of a valid image; the digest is recomputed,
// so only the loader's own checks stand in the way. Property text nested
// deeper than 1000 levels is a JSON parse error: it would load and then
// overflow the stack in the recursive validation and in every later save.
TEST(Snapshot, FieldChecksHaveTheirMessages) {
  TempDir dir;
  const auto nested = [](int d) { return "{\"a\":" + std::string(d - 1, '[') + std::string(d - 1, ']') + "}"s; };
  const Database base = mixed_graph();
  const std::string header = "invalid snapshot header", mapping = "invalid snapshot node mapping",
                    offsets = "invalid snapshot CSR offsets", rel = "invalid snapshot relationship",
                    labels = "invalid snapshot node schema", types = "invalid snapshot relationship schema",
                    sizes = "snapshot sizes exceed file length", parse = "JSON parse error",
                    dimension = "invalid snapshot embedding dimension";
  struct Case {
    const char* what;
    std::function<void(SnapshotImage&)> change;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"magic", [](auto& m) { m.magic = "ORVSNAP1"; }, "not a Halvex snapshot"},
      {"version 1", [](auto& m) { m.version = 1; }, "unsupported snapshot version"},
      {"version 7", [](auto& m) { m.version = 7; }, "unsupported snapshot version"},
      {"version 5", [](auto& m) { m.version = 5; }, ""},
      // Ids users see: at most one per entity, all distinct.
      {"node ids", [](auto& m) { m.node_ids = {7, 3, 90}; }, ""},
      {"node ids beyond the nodes",
       [](auto& m) { m.node_ids.assign(m.nodes + 1, 0), std::iota(m.node_ids.begin(), m.node_ids.end(), 5); },
       "snapshot ids exceed the graph"},
      {"repeated node id", [](auto& m) { m.node_ids = {7, 3, 7}; }, "invalid snapshot ids"},
      {"node id beyond 2^63", [](auto& m) { m.node_ids = {1ull << 63}; }, "invalid snapshot ids"},
      {"relationship ids", [](auto& m) { m.rel_ids = {10, 20}; }, ""},
      {"relationship ids beyond the relationships", [](auto& m) { m.rel_ids.assign(m.relationships + 1, 0); },
       "snapshot ids exceed the graph"},
      {"unknown flag", [](auto& m) { m.flags = 2; }, header},
      // The width is any from 1 to 65536, and sizes the embeddings section
      // only once the size check has seen the file hold it.
      {"dimension 0", [](auto& m) { m.dimension = 0; }, dimension},
      {"dimension 65537", [](auto& m) { m.dimension = 65537; }, dimension},
      {"dimension 2^32-1", [](auto& m) { m.dimension = 0xFFFFFFFFu; }, dimension},
      {"dimension 65536", [](auto& m) { m.dimension = 65536; }, sizes},
      {"dimension 64 over 32-float embeddings", [](auto& m) { m.dimension = 64; }, sizes},
      {"dimension 16 over 32-float embeddings", [](auto& m) { m.dimension = 16; }, "snapshot truncated"},
      {"dimension 1", [](auto& m) { m.dimension = 1, m.embeddings.resize(m.nodes); }, ""},
      {"papers above nodes", [](auto& m) { m.papers = m.nodes + 1; }, header},
      {"people above nodes", [](auto& m) { m.people = m.nodes + 1; }, header},
      {"people plus papers", [](auto& m) { m.people = m.nodes; m.papers = 1; }, header},
      {"people plus papers overflow 32 bits", [](auto& m) { m.nodes = m.people = m.papers = 0xFFFFFFFEu; }, header},
      {"node count 0xFFFFFFFF", [](auto& m) { m.nodes = 0xFFFFFFFFu; }, header},
      {"one label", [](auto& m) { m.label_count = 1; }, header},
      {"one type", [](auto& m) { m.type_count = 1; }, header},
      {"65536 labels", [](auto& m) { m.label_count = 65536; }, header},
      {"65536 types", [](auto& m) { m.type_count = 65536; }, header},
      {"Paper id", [](auto& m) { m.paper_label = 2; }, header},
      {"Person id", [](auto& m) { m.person_label = 1; }, header},
      {"FOLLOWS id", [](auto& m) { m.follows_type = 1; }, header},
      {"AUTHORED id", [](auto& m) { m.authored_type = 0; }, header},
      // Sizes are checked before anything is allocated from them.
      {"more relationships than bytes", [](auto& m) { m.relationships = 1000000; }, sizes},
      {"billions of nodes", [](auto& m) { m.nodes = 4000000000u, m.people = m.papers = 0; }, sizes},
      {"and of relationships", [](auto& m) { m.nodes = 4000000000u, m.people = m.papers = 0, m.relationships = ~0u; },
       sizes},
      {"label order", [](auto& m) { std::swap(m.label_names[0], m.label_names[1]); }, labels},
      {"empty label", [](auto& m) { m.label_names.push_back(""); ++m.label_count; }, labels},
      {"repeated label", [](auto& m) { m.label_names.push_back("Paper"); ++m.label_count; }, labels},
      {"label not UTF-8", [](auto& m) { m.label_names.push_back("\xc3("); ++m.label_count; }, labels},
      {"type order", [](auto& m) { m.type_names[1] = "LIKES"; }, types},
      {"repeated type", [](auto& m) { m.type_names.push_back("FOLLOWS"); ++m.type_count; }, types},
      {"label id out of range", [](auto& m) { m.labels[3] = 2; }, mapping},
      {"position out of range", [](auto& m) { m.to_physical[0] = m.nodes; }, mapping},
      {"identity out of range", [](auto& m) { m.to_logical[0] = m.nodes; }, mapping},
      {"maps not inverse", [](auto& m) { std::swap(m.to_physical[0], m.to_physical[1]); }, mapping},
      {"first offset", [](auto& m) { m.out_offsets[0] = 1; }, offsets},
      {"last offset", [](auto& m) { --m.out_offsets.back(); }, offsets},
      {"falling offset", [](auto& m) { m.out_offsets[1] = m.relationships; m.out_offsets[2] = 0; }, offsets},
      {"falling incoming offset", [](auto& m) { m.version = 4, m.in_offsets[1] = m.relationships; }, offsets},
      {"target out of range", [](auto& m) { m.out_targets[0] = m.nodes; }, rel},
      {"type out of range", [](auto& m) { m.out_types[0] = 2; }, rel},
      {"source out of range", [](auto& m) { m.version = 4, m.in_sources[0] = m.nodes; }, rel},
      {"incoming type out of range", [](auto& m) { m.version = 4, m.in_types[0] = 2; }, rel},
      {"NaN embedding", [](auto& m) { m.embeddings[7] = std::nanf(""); }, "invalid snapshot embedding"},
      {"infinite embedding", [](auto& m) { m.embeddings[0] = -INFINITY; }, "invalid snapshot embedding"},
      {"array properties", [](auto& m) { m.version = 4, m.properties[2] = "[1,2]"; }, "snapshot properties must be an object"},
      {"string properties", [](auto& m) { m.version = 4, m.properties[0] = "\"x\""; }, "snapshot properties must be an object"},
      {"trailing bytes", [](auto& m) { m.trailing = "x"; }, "unexpected data after snapshot"},
      {"open property text", [](auto& m) { m.version = 4, m.properties[1] = "{"; }, parse},
      {"text after properties", [](auto& m) { m.version = 4, m.properties[1] = "{\"a\":1} x"; }, parse},
      {"single quotes", [](auto& m) { m.version = 4, m.properties[1] = "{'a':1}"; }, parse},
      {"empty property text", [](auto& m) { m.version = 4, m.properties[1] = ""; }, parse},
      {"property text not UTF-8", [](auto& m) { m.version = 4, m.properties[1] = "{\"a\":\"\xff\"}"; }, parse},
      {"1001 levels", [&](auto& m) { m.version = 4, m.properties[1] = nested(1001); }, parse},
      {"200000 levels", [&](auto& m) { m.version = 4, m.properties[1] = nested(200000); }, parse},
      {"1000 levels", [&](auto& m) { m.version = 4, m.properties[1] = nested(1000); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SnapshotImage im = image_of(base);
    c.change(im);
    const std::string error = load_bytes_error(dir, encode(im));
    EXPECT_EQ(c.error, error.starts_with("[json.exception.parse_error.") ? parse : error);
  }
}

// Version 4 files hold both directions, and the incoming CSR must hold
// exactly the outgoing relationships: a file whose incoming types differ,
// or that lists a relationship twice, would otherwise index past the
// per-type arrays built from the outgoing side. Version 5 stores the
// outgoing side only, each slot naming its relationship, every identity
// once. Runs in any order are fine as long as the relationships agree.
TEST(Snapshot, IncomingArraysMustMirrorOutgoing) {
  TempDir dir;
  const Database base = GraphBuilder().people({"ann", "bob", "cy"}).follows("ann", "bob").follows("bob", "cy").compiled();
  const auto v4 = [](auto change) {
    return std::function<void(SnapshotImage&)>([change](SnapshotImage& m) { m.version = 4, change(m); });
  };
  for (const auto& change : std::vector<std::function<void(SnapshotImage&)>>{
           [](auto& m) { m.out_rels = {0, 0}; },  // one identity twice
           [](auto& m) { m.out_rels = {0, 2}; },  // an identity beyond the count
           v4([](auto& m) { m.in_types[0] = 1; }),  // a type that no outgoing slot has
           v4([](auto& m) { m.in_sources[0] = 2; }),
           v4([](auto& m) { m.in_offsets = {0, 0, 0, 2}, m.in_sources = {0, 1}; }),  // a run moved to another node
           v4([](auto& m) {  // before identities, one relationship listed twice on both sides
             m.out_offsets = {0, 2, 3, 3}, m.out_targets = {1, 1, 2}, m.out_types = {0, 0, 0};
             m.in_offsets = {0, 0, 2, 3}, m.in_sources = {0, 0, 1}, m.in_types = {0, 0, 0}, m.relationships = 3;
           })}) {
    SnapshotImage im = image_of(base);
    change(im);
    EXPECT_EQ("invalid snapshot relationship", load_bytes_error(dir, encode(im)));
  }
  const Database mixed = richer_graph();
  SnapshotImage im = image_of(mixed);
  for (std::uint32_t v = 0; v < im.nodes; ++v) {
    const auto first = im.out_offsets[v], last = im.out_offsets[v + 1];
    std::reverse(im.out_targets.begin() + first, im.out_targets.begin() + last);
    std::reverse(im.out_types.begin() + first, im.out_types.begin() + last);
    std::reverse(im.out_rels.begin() + first, im.out_rels.begin() + last);
  }
  expect_same_graph(mixed, load_bytes(dir, encode(im)));
  im = as_version(image_of(rich_graph()), 4);
  for (std::uint32_t v = 0; v < im.nodes; ++v) {
    const auto first = im.in_offsets[v], last = im.in_offsets[v + 1];
    std::reverse(im.in_sources.begin() + first, im.in_sources.begin() + last);
    std::reverse(im.in_types.begin() + first, im.in_types.begin() + last);
  }
  expect_same_graph(rich_graph(), load_bytes(dir, encode(im)), false);
}

// A child saving in a loop is killed at random moments: the target must load
// as a complete old or new snapshot every time (a leftover temporary is fine).
TEST(SnapshotCrashSafety, KilledWriterLeavesOldOrNewSnapshot) {
  TempDir dir;
  const std::string path = dir.file("graph.orv");
  Database db;
  generate_corpus(db, 6000, 2000, 11);  // a few MB: a save takes some milliseconds
  db.set_property(0, "generation", 0);
  save_snapshot(db, path);
  std::mt19937 random(20261207);
  std::int64_t highest_seen = 0;
  for (int round = 0; round < 12; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    for (std::int64_t g = highest_seen + 1; pid == 0; ++g) {  // each save writes a new generation
      db.set_property(0, "generation", g);
      save_snapshot(db, path);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 39500));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const Database loaded = load_snapshot(path);
    ASSERT_EQ(db.graph.out_targets, loaded.graph.out_targets) << "round " << round;
    EXPECT_EQ(db.embeddings, loaded.embeddings);
    const std::int64_t generation = loaded.node_properties(0).at("generation").get<std::int64_t>();
    EXPECT_GE(generation, highest_seen);
    highest_seen = generation;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path() != path) fs::remove(entry.path());  // the killed writer's temporaries
    }
  }
}

}  // namespace
}  // namespace orvane::testing
