// The focus of this file is the snapshot file: its exact bytes, round trips,
// the atomic writer and every check of the loader, driven by files that the
// test encodes itself (see snapshot_image.h) or damages on purpose.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "storage/snapshot.h"
#include "storage/snapshot_image.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The message of the exception `load` throws, or "" when it succeeds.
std::string load_error(const std::string& path) {
  try {
    load_snapshot(path);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

std::string load_bytes_error(const TempDir& dir, const std::string& bytes) {
  const std::string path = dir.file("case.orv");
  write_file(path, bytes);
  return load_error(path);
}

std::vector<std::string> temp_files(const std::string& directory) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(directory)) {
    if (entry.path().filename().string().find(".tmp-") != std::string::npos) found.push_back(entry.path());
  }
  return found;
}

// A small graph with every kind of content: two custom labels and a custom
// type, renumbered positions, properties with nested values and non-ASCII
// text, a node without properties.
Database rich_graph() {
  Database db;
  generate_corpus(db, 30, 12, 7);
  optimize_layout(db);  // renumbered by the entropy worker
  std::string name;
  const std::uint32_t city = db.add_labeled_node("City", name, json{{"name", "Zürich"}, {"pop", 421878}}, 3);
  name = "";
  const std::uint32_t empty = db.add_labeled_node("Empty", name, json::object(), 0);
  db.graph.add_edge(city, 0, db.add_rel_type("NEAR"));
  db.graph.add_edge(0, city, db.follows_type);
  db.graph.add_edge(empty, city, db.authored_type);
  db.set_property(1, "tags", json::array({"a", "b\"q", 2.5, nullptr, json::object({{"k", true}})}));
  db.set_property(2, "big", json(std::numeric_limits<std::uint64_t>::max()));
  db.set_property(3, "neg", -42);
  db.compile();
  db.graph.apply_permutation([&] {
    std::vector<std::uint32_t> order(db.graph.node_count);
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(order.size() - 1 - i);
    return order;
  }());
  return db;
}

void expect_same_graph(const Database& a, const Database& b) {
  EXPECT_EQ(a.node_types, b.node_types);
  EXPECT_EQ(a.rel_types, b.rel_types);
  EXPECT_EQ(a.people, b.people);
  EXPECT_EQ(a.papers, b.papers);
  EXPECT_TRUE(b.graph.compiled);
  EXPECT_EQ(a.graph.node_count, b.graph.node_count);
  EXPECT_EQ(a.graph.labels, b.graph.labels);
  EXPECT_EQ(a.graph.to_physical, b.graph.to_physical);
  EXPECT_EQ(a.graph.to_logical, b.graph.to_logical);
  EXPECT_EQ(a.graph.out_offsets, b.graph.out_offsets);
  EXPECT_EQ(a.graph.out_targets, b.graph.out_targets);
  EXPECT_EQ(a.graph.out_types, b.graph.out_types);
  EXPECT_EQ(a.graph.in_offsets, b.graph.in_offsets);
  EXPECT_EQ(a.graph.in_sources, b.graph.in_sources);
  EXPECT_EQ(a.graph.in_types, b.graph.in_types);
  EXPECT_EQ(a.graph.rel_type_count, b.graph.rel_type_count);
  EXPECT_EQ(edges_of(a), edges_of(b));
  EXPECT_EQ(a.names, b.names);
  EXPECT_EQ(a.topics, b.topics);
  EXPECT_EQ(a.embeddings, b.embeddings);
  ASSERT_EQ(a.graph.node_count, b.properties.size());
  for (std::uint32_t i = 0; i < a.graph.node_count; ++i) {
    EXPECT_EQ(a.node_properties(i), b.node_properties(i)) << "node " << i;
  }
  // A loaded edge list is in position order (it is rebuilt from the CSR);
  // the invariant checker expects identity order.
  Database sorted = b;
  std::sort(sorted.graph.edges.begin(), sorted.graph.edges.end(), [](const Edge& x, const Edge& y) {
    return std::tie(x.src, x.dst, x.type) < std::tie(y.src, y.dst, y.type);
  });
  check_invariants(sorted);
}

TEST(Snapshot, EmptyGraphIs130Bytes) {
  TempDir dir;
  Database db;
  db.compile();
  const std::string path = dir.file("empty.orv");
  save_snapshot(db, path);
  const std::string bytes = read_text_file(path);
  ASSERT_EQ(130u, bytes.size());
  EXPECT_EQ(encode(image_of(db)), bytes);
  EXPECT_EQ(std::string("ORVSNAP2\x04\0\0\0", 12), bytes.substr(0, 12));
  EXPECT_EQ(digest_of(bytes.substr(0, 98)), bytes.substr(98));
  expect_same_graph(db, load_snapshot(path));
}

// Objects holding only a plain "name" are written and read without the JSON
// library; every name that needs escaping, or is not ASCII, must still come
// out as the library's compact text and load back unchanged.
TEST(Snapshot, NamePropertiesMatchTheSerialiserAndRoundTrip) {
  TempDir dir;
  Database db;
  const std::vector<std::string> names = {"plain", "", "with \"quote", "back\\slash", "tab\there", "del\x7f",
                                          "Zürich", "~ !#", std::string("nul\0x", 5)};
  for (const std::string& n : names) db.add_person(n, 0);
  db.set_property(1, "name", "");
  db.set_property(2, "other", 1);
  db.compile();
  save_snapshot(db, dir.file("n.orv"));
  EXPECT_EQ(encode(image_of(db)), read_text_file(dir.file("n.orv")));
  const Database loaded = load_snapshot(dir.file("n.orv"));
  expect_same_graph(db, loaded);
  EXPECT_EQ(names, loaded.names);
}

TEST(Snapshot, RoundTripPreservesPositionsPropertiesAndEmbeddings) {
  TempDir dir;
  Database db = rich_graph();
  db.set_embedding(5, std::vector<float>(32, -0.125f));
  save_snapshot(db, dir.file("g.orv"));
  EXPECT_EQ(encode(image_of(db)), read_text_file(dir.file("g.orv")));  // the writer follows the layout
  const Database loaded = load_snapshot(dir.file("g.orv"));
  expect_same_graph(db, loaded);
  EXPECT_EQ("Zürich", loaded.names[42]);
  EXPECT_EQ(json("b\"q"), loaded.node_properties(1)["tags"][1]);
  // A loaded graph saves to the same bytes.
  save_snapshot(loaded, dir.file("again.orv"));
  EXPECT_EQ(read_text_file(dir.file("g.orv")), read_text_file(dir.file("again.orv")));
}

TEST(Snapshot, SaveRequiresCompiledGraph) {
  TempDir dir;
  Database db = GraphBuilder().people({"a", "b"}).follows("a", "b").uncompiled();
  try {
    save_snapshot(db, dir.file("sub/g.orv"));
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("save requires compiled graph", e.what());
  }
  EXPECT_FALSE(fs::exists(dir.file("sub")));
}

TEST(Snapshot, CreatesDirectoriesPrivateFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir.file("a/b/c/g.orv");
  save_snapshot(triangle(), path);
  struct stat st {};
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_TRUE(temp_files(dir.file("a/b/c")).empty());
  // Replacing keeps the mode and leaves no temporary either.
  save_snapshot(star(4), path);
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_TRUE(temp_files(dir.file("a/b/c")).empty());
  EXPECT_EQ(edges_of(star(4)), edges_of(load_snapshot(path)));
}

TEST(Snapshot, FailedSaveLeavesOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir.file("g.orv");
  save_snapshot(triangle(), path);
  const std::string before = read_text_file(path);

  // A property text that cannot be serialised fails in the middle of the
  // write, after the temporary file exists.
  Database bad = star(3);
  bad.properties[2] = json::object({{"k", std::string("\xff\xfe")}});
  EXPECT_THROW(save_snapshot(bad, path), json::type_error);
  EXPECT_EQ(before, read_text_file(path));
  EXPECT_TRUE(temp_files(dir.path()).empty());

  // A directory in the way fails at the rename.
  fs::create_directory(dir.file("taken"));
  try {
    save_snapshot(triangle(), dir.file("taken"));
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("snapshot atomic replacement failed", e.what());
  }
  EXPECT_TRUE(fs::is_directory(dir.file("taken")));
  EXPECT_TRUE(temp_files(dir.path()).empty());
}

TEST(Snapshot, LoadsVersionsTwoAndThree) {
  TempDir dir;
  Database db = rich_graph();
  db.set_property(0, "extra", 1);  // a property that version 2 cannot carry
  SnapshotImage im = image_of(db);

  im.version = 3;
  write_file(dir.file("v3.orv"), encode(im));
  expect_same_graph(db, load_snapshot(dir.file("v3.orv")));

  im.version = 2;
  write_file(dir.file("v2.orv"), encode(im));
  const Database v2 = load_snapshot(dir.file("v2.orv"));
  for (std::uint32_t i = 0; i < v2.graph.node_count; ++i) {
    EXPECT_EQ(json::object({{"name", db.names[i]}}), v2.node_properties(i)) << "node " << i;
  }
  EXPECT_EQ(db.names, v2.names);
  EXPECT_EQ(db.graph.to_logical, v2.graph.to_logical);

  // Version 3 has no digest: a changed embedding byte goes unnoticed as
  // long as the value stays finite.
  im.version = 3;
  im.embeddings[0] = 0.5f;
  write_file(dir.file("v3b.orv"), encode(im));
  EXPECT_EQ(0.5f, load_snapshot(dir.file("v3b.orv")).embeddings[0]);
}

TEST(Snapshot, OpenFailures) {
  TempDir dir;
  EXPECT_EQ("open snapshot: " + dir.file("missing.orv") + ": No such file or directory",
            load_error(dir.file("missing.orv")));
  EXPECT_EQ("snapshot is not a regular, complete file", load_error(dir.path()));
  EXPECT_EQ("snapshot is not a regular, complete file", load_bytes_error(dir, std::string(40, 'x')));
  EXPECT_EQ("snapshot is not a regular, complete file", load_bytes_error(dir, ""));
}

TEST(Snapshot, TruncationAtSeveralOffsets) {
  TempDir dir;
  SnapshotImage im = image_of(rich_graph());
  const std::string v4 = encode(im);
  im.version = 3;
  const std::string v3 = encode(im);
  // Bytes the size check asks for after the 48-byte header.
  const std::uint64_t needed = std::uint64_t{im.nodes} * 150 + 8 * (std::uint64_t{im.nodes} + 1) +
                               4 * (im.label_count + im.type_count) + 12 * std::uint64_t{im.relationships};
  for (std::size_t length : {0, 12, 40, 47}) {
    EXPECT_EQ("snapshot is not a regular, complete file", load_bytes_error(dir, v4.substr(0, length)));
  }
  for (std::size_t length = 48; length < v4.size(); length += 13) {
    SCOPED_TRACE("length " + std::to_string(length));
    EXPECT_EQ(length < 80 ? "snapshot truncated" : "snapshot checksum mismatch",
              load_bytes_error(dir, v4.substr(0, length)));
  }
  for (std::size_t length = 48; length < v3.size(); length += 13) {
    SCOPED_TRACE("version 3 length " + std::to_string(length));
    EXPECT_EQ(length - 48 < needed ? "snapshot sizes exceed file length" : "snapshot truncated",
              load_bytes_error(dir, v3.substr(0, length)));
  }
  EXPECT_EQ("snapshot checksum mismatch", load_bytes_error(dir, v4.substr(0, v4.size() - 1)));
  EXPECT_EQ("snapshot truncated", load_bytes_error(dir, v3.substr(0, v3.size() - 1)));
  EXPECT_EQ("snapshot truncated", load_bytes_error(dir, v4.substr(0, 79)));
}

TEST(Snapshot, LengthPrefixPastTheEndIsTruncation) {
  TempDir dir;
  SnapshotImage im = image_of(triangle());
  im.version = 3;
  std::string bytes = encode(im);
  bytes[48] = '\x00';  // length of "Person": 0xFFFFFF00
  bytes[49] = '\xff';
  bytes[50] = '\xff';
  bytes[51] = '\xff';
  EXPECT_EQ("snapshot truncated", load_bytes_error(dir, bytes));
  // The last property text claims one byte more than the file holds.
  bytes = encode(im);
  const std::size_t last = bytes.size() - im.properties.back().size() - 4;
  bytes[last] = static_cast<char>(im.properties.back().size() + 1);
  EXPECT_EQ("snapshot truncated", load_bytes_error(dir, bytes));
}

TEST(Snapshot, EveryFlippedByteIsRefused) {
  TempDir dir;
  const std::string bytes = encode(image_of(star(3)));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string damaged = bytes;
    damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    const std::string expected = i < 8    ? "not a Halvex snapshot"
                                 : i < 12 ? "unsupported snapshot version"
                                          : "snapshot checksum mismatch";
    ASSERT_EQ(expected, load_bytes_error(dir, damaged)) << "byte " << i;
  }
}

// Each case changes one field of a valid image; the digest is recomputed,
// so only the loader's own checks stand in the way.
TEST(Snapshot, FieldChecksHaveTheirMessages) {
  TempDir dir;
  const Database base = mixed_graph();
  struct Case {
    const char* what;
    std::function<void(SnapshotImage&)> change;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"magic", [](SnapshotImage& m) { m.magic = "ORVSNAP1"; }, "not a Halvex snapshot"},
      {"version 1", [](SnapshotImage& m) { m.version = 1; }, "unsupported snapshot version"},
      {"version 5", [](SnapshotImage& m) { m.version = 5; }, "unsupported snapshot version"},
      {"dimension 64", [](SnapshotImage& m) { m.dimension = 64; }, "embedding dim mismatch"},
      {"papers above nodes", [](SnapshotImage& m) { m.papers = m.nodes + 1; }, "invalid snapshot header"},
      {"people above nodes", [](SnapshotImage& m) { m.people = m.nodes + 1; }, "invalid snapshot header"},
      {"people plus papers", [](SnapshotImage& m) { m.people = m.nodes; m.papers = 1; }, "invalid snapshot header"},
      {"people plus papers overflow 32 bits",
       [](SnapshotImage& m) { m.nodes = 0xFFFFFFFEu; m.people = 0xFFFFFFFEu; m.papers = 0xFFFFFFFEu; },
       "invalid snapshot header"},
      {"node count 0xFFFFFFFF", [](SnapshotImage& m) { m.nodes = 0xFFFFFFFFu; }, "invalid snapshot header"},
      {"one label", [](SnapshotImage& m) { m.label_count = 1; }, "invalid snapshot header"},
      {"65536 labels", [](SnapshotImage& m) { m.label_count = 65536; }, "invalid snapshot header"},
      {"one type", [](SnapshotImage& m) { m.type_count = 1; }, "invalid snapshot header"},
      {"65536 types", [](SnapshotImage& m) { m.type_count = 65536; }, "invalid snapshot header"},
      {"Paper id", [](SnapshotImage& m) { m.paper_label = 2; }, "invalid snapshot header"},
      {"Person id", [](SnapshotImage& m) { m.person_label = 1; }, "invalid snapshot header"},
      {"FOLLOWS id", [](SnapshotImage& m) { m.follows_type = 1; }, "invalid snapshot header"},
      {"AUTHORED id", [](SnapshotImage& m) { m.authored_type = 0; }, "invalid snapshot header"},
      {"more relationships than bytes", [](SnapshotImage& m) { m.relationships = 1000000; },
       "snapshot sizes exceed file length"},
      {"label order", [](SnapshotImage& m) { std::swap(m.label_names[0], m.label_names[1]); },
       "invalid snapshot node schema"},
      {"empty label", [](SnapshotImage& m) { m.label_names.push_back(""); ++m.label_count; },
       "invalid snapshot node schema"},
      {"repeated label", [](SnapshotImage& m) { m.label_names.push_back("Paper"); ++m.label_count; },
       "invalid snapshot node schema"},
      {"label not UTF-8", [](SnapshotImage& m) { m.label_names.push_back("\xc3("); ++m.label_count; },
       "invalid snapshot node schema"},
      {"type order", [](SnapshotImage& m) { m.type_names[1] = "LIKES"; }, "invalid snapshot relationship schema"},
      {"repeated type", [](SnapshotImage& m) { m.type_names.push_back("FOLLOWS"); ++m.type_count; },
       "invalid snapshot relationship schema"},
      {"label id out of range", [](SnapshotImage& m) { m.labels[3] = 2; }, "invalid snapshot node mapping"},
      {"position out of range", [](SnapshotImage& m) { m.to_physical[0] = m.nodes; }, "invalid snapshot node mapping"},
      {"identity out of range", [](SnapshotImage& m) { m.to_logical[0] = m.nodes; }, "invalid snapshot node mapping"},
      {"maps not inverse", [](SnapshotImage& m) { std::swap(m.to_physical[0], m.to_physical[1]); },
       "invalid snapshot node mapping"},
      {"first offset", [](SnapshotImage& m) { m.out_offsets[0] = 1; }, "invalid snapshot CSR offsets"},
      {"last offset", [](SnapshotImage& m) { --m.out_offsets.back(); }, "invalid snapshot CSR offsets"},
      {"falling offset", [](SnapshotImage& m) { m.out_offsets[1] = m.relationships; m.out_offsets[2] = 0; },
       "invalid snapshot CSR offsets"},
      {"falling incoming offset", [](SnapshotImage& m) { m.in_offsets[1] = m.relationships; },
       "invalid snapshot CSR offsets"},
      {"target out of range", [](SnapshotImage& m) { m.out_targets[0] = m.nodes; }, "invalid snapshot relationship"},
      {"type out of range", [](SnapshotImage& m) { m.out_types[0] = 2; }, "invalid snapshot relationship"},
      {"source out of range", [](SnapshotImage& m) { m.in_sources[0] = m.nodes; }, "invalid snapshot relationship"},
      {"incoming type out of range", [](SnapshotImage& m) { m.in_types[0] = 2; }, "invalid snapshot relationship"},
      {"NaN embedding", [](SnapshotImage& m) { m.embeddings[7] = std::nanf(""); }, "invalid snapshot embedding"},
      {"infinite embedding", [](SnapshotImage& m) { m.embeddings[0] = -INFINITY; }, "invalid snapshot embedding"},
      {"array properties", [](SnapshotImage& m) { m.properties[2] = "[1,2]"; }, "snapshot properties must be an object"},
      {"string properties", [](SnapshotImage& m) { m.properties[0] = "\"x\""; },
       "snapshot properties must be an object"},
      {"trailing bytes", [](SnapshotImage& m) { m.trailing = "x"; }, "unexpected data after snapshot"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SnapshotImage im = image_of(base);
    c.change(im);
    EXPECT_EQ(c.error, load_bytes_error(dir, encode(im)));
  }
}

// Malformed property text is a JSON parse error, and so is text nested
// deeper than 1000 levels: it would load and then overflow the stack in the
// recursive validation and in every later save. 1000 levels still load.
TEST(Snapshot, MalformedOrTooDeepPropertyTextFailsWithParseError) {
  TempDir dir;
  const auto nested = [](int depth) {
    return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
  };
  SnapshotImage im = image_of(triangle());
  for (const std::string& text : {std::string("{"), std::string("{\"a\":1} x"), std::string("{'a':1}"), std::string(),
                                 std::string("{\"a\":\"\xff\"}"), nested(1001), nested(200000)}) {
    SCOPED_TRACE(text.substr(0, 20));
    im.properties[1] = text;
    write_file(dir.file("p.orv"), encode(im));
    EXPECT_THROW(load_snapshot(dir.file("p.orv")), json::parse_error);
  }
  im.properties[1] = nested(1000);
  write_file(dir.file("ok.orv"), encode(im));
  EXPECT_TRUE(load_snapshot(dir.file("ok.orv")).node_properties(1)["a"].is_array());
}

TEST(Snapshot, PropertyNameBecomesDisplayName) {
  TempDir dir;
  SnapshotImage im = image_of(triangle());
  im.properties[0] = R"({"name":7,"z":[1]})";
  write_file(dir.file("n.orv"), encode(im));
  const Database db = load_snapshot(dir.file("n.orv"));
  EXPECT_EQ("7", db.names[0]);
  EXPECT_EQ(json::parse(R"({"name":7,"z":[1]})"), db.node_properties(0));
}

TEST(Snapshot, TinyFileClaimingBillionsOfNodesFailsWithoutAllocating) {
  TempDir dir;
  SnapshotImage im = image_of(triangle());
  im.nodes = 4000000000u;
  im.people = 0;
  im.papers = 0;
  std::string bytes = encode(im);
  bytes.resize(168);  // keep the file small: header, names and a few arrays
  bytes += std::string(200 - 32 - bytes.size(), '\0');
  bytes += digest_of(bytes);
  ASSERT_EQ(200u, bytes.size());
  EXPECT_EQ("snapshot sizes exceed file length", load_bytes_error(dir, bytes));

  // The same claim with a huge relationship count as well.
  im.relationships = 0xFFFFFFFFu;
  bytes = encode(im).substr(0, 168);
  bytes += digest_of(bytes);
  EXPECT_EQ("snapshot sizes exceed file length", load_bytes_error(dir, bytes));
}

// The incoming CSR must hold exactly the outgoing relationships: a file whose
// incoming types differ, or that lists a relationship twice, would otherwise
// index past the per-type arrays built from the outgoing side.
TEST(Snapshot, IncomingArraysMustMirrorOutgoing) {
  TempDir dir;
  // ann→bob FOLLOWS only: rel_type_count 1 on the outgoing side.
  const Database base = GraphBuilder().people({"ann", "bob", "cy"}).follows("ann", "bob").follows("bob", "cy").compiled();
  struct Case {
    const char* what;
    std::function<void(SnapshotImage&)> change;
  };
  const std::vector<Case> cases = {
      {"incoming type that no outgoing slot has", [](SnapshotImage& m) { m.in_types[0] = 1; }},
      {"incoming source swapped", [](SnapshotImage& m) { m.in_sources[0] = 2; }},
      {"incoming run moved to another node",
       [](SnapshotImage& m) { m.in_offsets = {0, 0, 0, 2}; m.in_sources = {0, 1}; }},
      {"one relationship listed twice on both sides",
       [](SnapshotImage& m) {
         m.out_offsets = {0, 2, 3, 3};
         m.out_targets = {1, 1, 2};
         m.out_types = {0, 0, 0};
         m.in_offsets = {0, 0, 2, 3};
         m.in_sources = {0, 0, 1};
         m.in_types = {0, 0, 0};
         m.relationships = 3;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SnapshotImage im = image_of(base);
    c.change(im);
    EXPECT_EQ("invalid snapshot relationship", load_bytes_error(dir, encode(im)));
  }
  // Runs in any order are fine as long as the relationships agree.
  const Database mixed = rich_graph();
  SnapshotImage im = image_of(mixed);
  for (std::uint32_t v = 0; v < im.nodes; ++v) {
    std::reverse(im.in_sources.begin() + im.in_offsets[v], im.in_sources.begin() + im.in_offsets[v + 1]);
    std::reverse(im.in_types.begin() + im.in_offsets[v], im.in_types.begin() + im.in_offsets[v + 1]);
    std::reverse(im.out_targets.begin() + im.out_offsets[v], im.out_targets.begin() + im.out_offsets[v + 1]);
    std::reverse(im.out_types.begin() + im.out_offsets[v], im.out_types.begin() + im.out_offsets[v + 1]);
  }
  write_file(dir.file("shuffled.orv"), encode(im));
  expect_same_graph(mixed, load_snapshot(dir.file("shuffled.orv")));
}

}  // namespace
}  // namespace orvane::testing
