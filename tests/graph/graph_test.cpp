// The graph model: CSR compilation and permutation; the corpus generator's
// pinned facts and determinism; Database schema, builders and attributes,
// with every failing operation leaving it as it was; UTF-8 validation;
// parse_json_bounded against the JSON library's parser; the JSON text writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>
#include <tuple>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "graph/json_limits.h"
#include "graph/json_text.h"
#include "graph/utf8.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using nlohmann::json;
using testing::check_invariants;
using testing::edges_of;
using testing::GraphBuilder;

std::vector<std::uint32_t> run(NodeRun r) { return {r.begin(), r.end()}; }
std::vector<std::uint16_t> types(TypeRun r) { return {r.begin(), r.end()}; }

// Parallel relationships are distinct relationships: each keeps its
// identity (its creation number) through compiles and renumbering, and the
// runs hold them side by side in identity order. Only builders that mean to
// have each relationship once remove repeats, renumbering in (source,
// target, type) order.
TEST(Csr, ParallelRelationshipsStayDistinctAndReadersKeepTheBaseAfterWrites) {
  // A self-loop takes one slot each way.
  Database db = GraphBuilder().people({"a", "b"}).follows("a", "b").follows("a", "b").edge("a", "b", "AUTHORED")
                    .follows("b", "b").compiled();
  check_invariants(db);
  EXPECT_EQ("0->1 0->1 0-[AUTHORED]->1 1->1", edges_of(db));
  EXPECT_EQ(1u, db.graph.parallel_relationships);
  EXPECT_EQ((std::vector<std::uint32_t>{0, 0, 1, 0}), run(db.graph.in_neighbors(1)));  // by (type, source, identity)
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 3, 2}), run(db.graph.in_rel_ids(1)));
  EXPECT_EQ((std::vector<std::uint16_t>{0, 0, 1}), types(db.graph.out_edge_types(0)));
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1}), run(db.graph.typed_out_rel_ids(0, 0)));
  EXPECT_EQ((std::vector<std::uint32_t>{2}), run(db.graph.typed_out_rel_ids(0, 1)));
  std::vector<std::uint32_t> order = {1, 0};
  db.graph.apply_permutation(order);
  check_invariants(db);
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1}), run(db.graph.typed_out_rel_ids(1, 0)));
  EXPECT_EQ((Edge{0, 1, 0}), db.graph.edges[1]);
  db.graph.remove_duplicate_edges();
  db.compile();
  check_invariants(db);
  EXPECT_EQ("0->1 0-[AUTHORED]->1 1->1", edges_of(db));
  EXPECT_EQ(0u, db.graph.parallel_relationships);

  // Readers by identity check the range; after a write the plain readers
  // still read the last compilation, which lacks the new node.
  db = testing::triangle();
  const PhysicalGraph& g = db.graph;
  EXPECT_EQ((std::vector<std::uint32_t>{1}), run(g.identity_out_neighbors(0)));
  EXPECT_THROW(g.identity_out_neighbors(3), std::out_of_range);
  db.add_person("dan", 0);
  db.add_follows(3, 0);
  EXPECT_TRUE(!g.compiled && g.has_edge(0, 1, 0) && run(g.in_neighbors(0)) == std::vector<std::uint32_t>{2});
  EXPECT_TRUE(g.out_neighbors(3).empty() && g.typed_in_neighbors(3, 0).empty() && !g.has_edge(3, 0, 0));
}

// A node has a set of labels in the order given; the label lists hold it
// under each, and a rollback forgets the labels of the nodes it removes.
TEST(Csr, SeveralLabelsPerNodeAndNodesWithout) {
  Database db = testing::triangle();
  const std::uint16_t admin = db.add_node_type("Admin"), paper = db.paper_label;
  EXPECT_TRUE(db.graph.add_label(2, admin));
  EXPECT_TRUE(db.graph.add_label(0, paper));
  EXPECT_TRUE(db.graph.add_label(0, admin));
  EXPECT_FALSE(db.graph.add_label(0, admin));
  EXPECT_FALSE(db.graph.add_label(0, db.person_label));
  EXPECT_THROW(db.graph.add_label(3, admin), std::out_of_range);
  const DatabaseMark mark = db.mark();
  const std::uint32_t bare = db.add_node(kNoLabel, "bare", 0);
  EXPECT_TRUE(db.graph.labels_of(bare).empty());
  EXPECT_FALSE(db.graph.has_label(bare, kNoLabel));
  const std::uint32_t late = db.add_person("late", 0);
  db.graph.add_label(late, admin);
  db.compile();
  check_invariants(db);
  EXPECT_EQ((std::vector<std::uint16_t>{db.person_label, paper, admin}), db.graph.labels_of(0));
  EXPECT_EQ((std::vector<std::uint32_t>{0, 2, late}), run(db.graph.nodes_with_label(admin)));
  EXPECT_EQ((std::vector<std::uint32_t>{0}), run(db.graph.nodes_with_label(paper)));
  EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, late}), run(db.graph.nodes_with_label(db.person_label)));
  EXPECT_TRUE(db.graph.has_label(2, admin) && !db.graph.has_label(1, admin));
  db.rollback(mark);
  db.compile();
  EXPECT_EQ((std::vector<std::uint32_t>{0, 2}), run(db.graph.nodes_with_label(admin)));
  EXPECT_EQ(3u, db.graph.extra_labels.size());
}

TEST(Csr, PermutationRenumbersWithoutChangingRelationships) {
  Database db;
  generate_corpus(db, 200, 60, 3);
  const std::string before = edges_of(db);
  std::vector<std::uint32_t> order(db.graph.node_count);
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  // An order of the wrong length changes nothing.
  const PhysicalGraph unchanged = db.graph;
  EXPECT_THROW(db.graph.apply_permutation({0, 1}), std::invalid_argument);
  EXPECT_TRUE(unchanged.to_physical == db.graph.to_physical && unchanged.out_targets == db.graph.out_targets);
  db.graph.apply_permutation(order);
  check_invariants(db);
  // Positions equalled identities before the shuffle, so the node now at
  // position k is the one that was at position order[k].
  for (std::uint32_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], db.graph.to_logical[k]);
  EXPECT_EQ(before, edges_of(db));
}

// A small random graph, its positions reversed when `permuted`.
Database random_graph_at(std::uint64_t seed, bool permuted) {
  Database db = testing::random_graph(40, 10, 120, seed, true, 3);
  if (permuted) {
    std::vector<std::uint32_t> order(db.graph.node_count);
    std::iota(order.begin(), order.end(), 0u);
    std::reverse(order.begin(), order.end());
    db.graph.apply_permutation(order);
  }
  return db;
}

// Every compiled array of `got` is the one of `expected`.
void expect_same_compilation(const PhysicalGraph& expected, const PhysicalGraph& got) {
  const PhysicalGraph &a = got, &b = expected;
  EXPECT_EQ(b.to_physical, a.to_physical);
  EXPECT_EQ(b.out_offsets, a.out_offsets);
  EXPECT_EQ(b.out_targets, a.out_targets);
  EXPECT_EQ(b.out_types, a.out_types);
  EXPECT_EQ(b.out_rels, a.out_rels);
  EXPECT_EQ(b.out_degree, a.out_degree);
  EXPECT_EQ(b.in_offsets, a.in_offsets);
  EXPECT_EQ(b.in_sources, a.in_sources);
  EXPECT_EQ(b.in_types, a.in_types);
  EXPECT_EQ(b.in_rels, a.in_rels);
  EXPECT_EQ(b.typed_out.offsets, a.typed_out.offsets);
  EXPECT_EQ(b.typed_out.neighbours, a.typed_out.neighbours);
  EXPECT_EQ(b.typed_in.offsets, a.typed_in.offsets);
  EXPECT_EQ(b.typed_in.neighbours, a.typed_in.neighbours);
  EXPECT_EQ(b.label_offsets, a.label_offsets);
  EXPECT_EQ(b.label_members, a.label_members);
  EXPECT_EQ(b.relationships_by_type, a.relationships_by_type);
  EXPECT_EQ(b.rel_type_count, a.rel_type_count);
  EXPECT_EQ(b.parallel_relationships, a.parallel_relationships);
}

// Over a delta of every kind (nodes added, old nodes relabelled, nodes
// deleted before and after a compilation), the readers that merge it
// answer as the graph itself: the label lists (tombstones skipped) as a
// scan of every node, the label counts as their lengths.
TEST(Csr, LabelReadersMergeTheDelta) {
  Database db = testing::random_graph(40, 10, 80, 5, true, 3);
  PhysicalGraph& g = db.graph;
  g.mark_node_deleted(3, true);
  g.compile();  // leaves node 3 out of the lists
  std::mt19937_64 rng(9);
  for (int step = 0; step < 60; ++step) {
    const auto node = static_cast<std::uint32_t>(rng() % g.node_count);
    const auto label = static_cast<std::uint16_t>(rng() % db.node_types.size());
    switch (rng() % 4) {
      case 0: g.add_node(label); break;
      case 1: g.set_labels(node, {label}); break;
      case 2: g.add_label(node, label); break;
      default: if (node != 3) g.mark_node_deleted(node, true);
    }
    for (std::uint16_t l = 0; l < db.node_types.size(); ++l) {
      std::vector<std::uint32_t> expected, got, scratch;
      for (std::uint32_t v = 0; v < g.node_count; ++v) {
        if (g.has_label(v, l) && !g.node_is_deleted(v)) expected.push_back(v);
      }
      g.nodes_with_label_now(l, scratch).for_each([&](std::uint32_t v) {
        if (!g.node_is_deleted(v)) got.push_back(v);  // readers skip tombstones
      });
      ASSERT_EQ(expected, got) << "step " << step << ", label " << l;
      ASSERT_EQ(expected.size(), g.label_count_now(l)) << "step " << step << ", label " << l;
    }
  }
}

// Compiling after nodes and relationships were only added merges them into
// the arrays; the result must be the graph a full compilation builds,
// permuted or not, and a deletion or a relabelled old node must force the
// full one.
TEST(Csr, CompilingAfterAdditionsEqualsAFullCompile) {
  for (const bool permuted : {false, true}) {
    for (const int change : {0, 1, 2, 3, 4}) {
      Database db = random_graph_at(5, permuted);
      const std::uint16_t extra = db.add_node_type("Extra");
      for (int i = 0; i < 5; ++i) {
        const std::uint32_t id = db.graph.add_node(i % 2 == 0 ? db.person_label : kNoLabel);
        db.names.push_back("n");
        db.topics.push_back(0);
        db.embeddings.resize(db.embeddings.size() + db.embedding_dim);
        db.node_store.append(db.person_label);
        if (i == 3) db.graph.add_label(id, extra);
      }
      if (change == 1) db.graph.mark_node_deleted(2, true);
      if (change == 2) db.graph.add_label(1, extra);
      if (change >= 3) {
        // To old and new nodes, parallel to an old one, of a new type.
        const std::uint32_t n = static_cast<std::uint32_t>(db.graph.node_count);
        const Edge old = db.graph.edges[0];
        db.graph.add_edge(old.src, old.dst, old.type);
        db.graph.add_edge(n - 1, 0, db.follows_type);
        db.graph.add_edge(3, n - 2, db.add_rel_type("NEW"));
        for (std::uint32_t i = 0; i < 40 && change == 4; ++i) db.graph.add_edge(i, (i * 7) % n, db.follows_type);
      }
      Database full = db;
      full.graph.csr_exact = false;
      full.compile();
      db.compile();
      SCOPED_TRACE(std::to_string(permuted) + " " + std::to_string(change));
      expect_same_compilation(full.graph, db.graph);
      if (change != 1) testing::check_invariants(db);
    }
  }
}

// Compaction filters the arrays of the last compilation; the result must
// be what compiling the compacted graph from scratch gives.
TEST(Csr, CompactionFiltersTheCompiledArrays) {
  for (const bool permuted : {false, true}) {
    Database db = random_graph_at(9, permuted);
    for (const std::uint32_t node : {0u, 7u, 39u, 45u}) {
      std::vector<std::uint32_t> rels;
      db.graph.for_each_relationship(node, [&](std::uint32_t r) { rels.push_back(r); });
      for (const std::uint32_t r : rels) db.delete_relationship(r);
      db.delete_node(node);
    }
    for (std::uint32_t r = 0; r < db.graph.edges.size(); r += 5) db.delete_relationship(r);
    const Database filtered = db.compacted();
    db.graph.csr_valid = false;
    const Database rebuilt = db.compacted();
    SCOPED_TRACE(permuted);
    expect_same_compilation(rebuilt.graph, filtered.graph);
    testing::check_invariants(filtered);
  }
}

// The incoming side is scattered through buckets of several positions once
// a graph has more than a thousand nodes: 4001 nodes make buckets of four
// and a last one of one, before and after a shuffle of the positions.
TEST(Csr, IncomingRunsOfGraphsWithBucketsOfSeveralPositions) {
  Database db;
  generate_corpus(db, 3001, 1000, 5);
  db.add_rel_type("CITES");
  for (std::uint32_t paper = 3001; paper + 7 < 4001; paper += 3) db.graph.add_edge(paper + 7, paper, 2);
  db.graph.add_edge(4000, 0, 2);
  db.graph.add_edge(4000, 0, 2);
  db.compile();
  check_invariants(db);
  const std::string before = edges_of(db);
  std::vector<std::uint32_t> order(db.graph.node_count);
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), std::mt19937(5));
  db.graph.apply_permutation(order);
  check_invariants(db);
  EXPECT_EQ(before, edges_of(db));
}

TEST(Corpus, Seed42FactsLimitsDeterminismAndReciprocity) {
  Database db;
  generate_corpus(db, 20, 5, 42);
  EXPECT_EQ((std::vector<std::uint32_t>{14, 1, 3, 12, 11}), std::vector<std::uint32_t>(db.topics.begin(), db.topics.begin() + 5));
  EXPECT_EQ("person-0 person-19 paper-0 paper-4", db.names[0] + " " + db.names[19] + " " + db.names[20] + " " + db.names[24]);
  for (std::uint32_t i = 0; i < 25; ++i) EXPECT_EQ(db.names[i], db.node_properties(i)["name"]);
  EXPECT_TRUE(db.people == 20 && db.papers == 5 && db.graph.labels[20] == db.paper_label);
  check_invariants(db);

  generate_corpus(db, 0, 6, 42);
  EXPECT_EQ(6u, db.graph.node_count);
  EXPECT_EQ("", edges_of(db));
  generate_corpus(db, 1, 6, 42);  // duplicate authors collapse
  EXPECT_EQ("0-[AUTHORED]->1 0-[AUTHORED]->2 0-[AUTHORED]->3 0-[AUTHORED]->4 0-[AUTHORED]->5 0-[AUTHORED]->6",
            edges_of(db));
  generate_corpus(db, 4, 0, 42);
  const std::string four = "0->1 0->2 0->3 1->0 1->2 1->3 2->0 2->1 2->3 3->0 3->1 3->2";
  EXPECT_EQ(four, edges_of(db));
  // Past the identity format's limit nothing is generated or changed.
  for (auto [p, q] : {std::pair<std::uint64_t, std::uint64_t>{4294967295ull, 0}, {0, 4294967295ull}, {4294967294ull, 1}}) {
    EXPECT_EQ("graph exceeds node-ID format limits", testing::error_of([&] { generate_corpus(db, p, q, 1); }));
    EXPECT_EQ(four, edges_of(db));
  }
  // Every FOLLOWS has its reverse; the same seed gives the same corpus.
  auto render = [](std::uint32_t seed) {
    Database db;
    generate_corpus(db, 300, 120, seed);
    const PhysicalGraph& g = db.graph;
    for (const Edge& e : g.edges) {
      EXPECT_TRUE(e.type != db.follows_type || g.has_edge(g.to_physical[e.dst], g.to_physical[e.src], e.type));
    }
    const std::string bytes(reinterpret_cast<const char*>(db.embeddings.data()), db.embeddings.size() * sizeof(float));
    return nlohmann::json{db.names, db.topics, testing::all_properties(db), edges_of(db), g.to_physical, bytes.size(),
                          std::hash<std::string>()(bytes)}
        .dump();
  };
  EXPECT_EQ(render(42), render(42));
  EXPECT_EQ(render(0), render(1));
  EXPECT_NE(render(1), render(2));
}

// Everything a caller can observe of a Database, as one comparable value.
std::string fingerprint(const Database& db) {
  return json{db.node_types, db.rel_types, db.names,          db.topics,           db.people,
              db.papers,     testing::all_properties(db), db.graph.node_count, db.graph.edges.size(), db.graph.compiled,
              db.embeddings, db.embedding_dim}
      .dump();
}

void expect_failure_leaves_unchanged(Database& db, const std::function<void()>& fn, const std::string& message) {
  const std::string before = fingerprint(db);
  EXPECT_EQ(message, testing::error_of(fn));
  EXPECT_EQ(before, fingerprint(db));
}

TEST(Database, Schema) {
  Database db;
  EXPECT_EQ((std::vector<std::string>{"Person", "Paper"}), db.node_types);
  EXPECT_EQ((std::vector<std::string>{"FOLLOWS", "AUTHORED"}), db.rel_types);
  EXPECT_EQ((std::vector<std::uint16_t>{0, 2, 2, 2}), (std::vector<std::uint16_t>{db.add_node_type("Person"),
            db.add_node_type("City"), db.add_node_type("City"), db.add_rel_type("LIVES_IN")}));
  EXPECT_EQ("City LIVES_IN", db.node_type_name(db.node_type_id("City")) + " " + db.rel_type_name(db.rel_type_id("LIVES_IN")));
  EXPECT_THROW(db.node_type_name(3), std::out_of_range);
  EXPECT_THROW(db.rel_type_name(3), std::out_of_range);
  const std::string full = "invalid node type or schema limit reached";
  expect_failure_leaves_unchanged(db, [&] { db.add_node_type(""); }, full);
  expect_failure_leaves_unchanged(db, [&] { db.add_rel_type(""); }, "invalid relationship type or schema limit reached");
  expect_failure_leaves_unchanged(db, [&] { db.node_type_id("Town"); }, "unknown node type: Town");
  expect_failure_leaves_unchanged(db, [&] { db.rel_type_id("KNOWS"); }, "unknown edge type: KNOWS");
  // 65535 labels at most; existing names still resolve.
  for (std::size_t i = db.node_types.size(); i < kMaxSchemaIds; ++i) db.add_node_type("L" + std::to_string(i));
  EXPECT_EQ(65534, db.node_type_id("L65534"));
  EXPECT_EQ(1, db.add_node_type("Paper"));
  std::string name;
  expect_failure_leaves_unchanged(db, [&] { db.add_node_type("one-more"); }, full);
  expect_failure_leaves_unchanged(db, [&] { db.add_labeled_node("one-more", name, json::object(), 0); }, full);
}

// The seeded embedding is the generator's definition taken step by step:
// zeros, a one at the hot component, then each component plus its noise
// in float, divide, subtract, multiply, add. Compared bit for bit at widths
// around and past the block of 32.
TEST(Topics, SeededEmbeddingIsTheGeneratorStepByStep) {
  const auto by_step = [](std::size_t dim, std::uint32_t topic, std::uint32_t seed) {
    std::vector<float> out(dim, 0.0f);
    out[topic % dim] = 1.0f;
    std::uint32_t state = seed == 0 ? 1u : seed;
    for (std::size_t k = 0; k < dim; ++k) {
      state = state * 1664525u + 1013904223u;
      const float unit = static_cast<float>(state >> 24) / 255.0f;
      const float centred = unit - 0.5f;
      const float noise = centred * 0.05f;
      out[k] = out[k] + noise;
    }
    return out;
  };
  for (const std::size_t dim : {1, 2, 31, 32, 33, 64, 100, 384}) {
    for (const std::uint32_t seed : {0u, 1u, 7u, 2654435761u, 4294967295u}) {
      for (const std::uint32_t topic : {0u, 5u, 31u, 32u, 1000u}) {
        std::vector<float> seeded(dim);
        seed_embedding(seeded.data(), dim, topic, seed);
        const std::vector<float> expected = by_step(dim, topic, seed);
        ASSERT_EQ(0, std::memcmp(expected.data(), seeded.data(), dim * sizeof(float)))
            << dim << " " << seed << " " << topic;
      }
    }
  }
}

TEST(Database, NodesAndTheirAttributes) {
  Database db;
  EXPECT_EQ(0u, db.add_person("ann", 14));
  EXPECT_EQ(1u, db.add_paper("graphs", 2));
  EXPECT_EQ(R"({"name":"ann"})", db.node_properties(0).dump());
  EXPECT_EQ((std::vector<std::uint16_t>{0, 1}), db.graph.labels);
  float expected[32];
  seed_embedding(expected, 32, 2, static_cast<std::uint32_t>(1ull * 2654435761ull));
  EXPECT_EQ(std::vector<float>(expected, expected + 32), std::vector<float>(db.embedding(1).begin(), db.embedding(1).end()));
  EXPECT_EQ("{}", db.node_properties(99).dump());

  // Labeled nodes: a generated name without a "name" key, else the name
  // property as text; a given name wins; Person and Paper are counted.
  for (int i = 2; i < 7; ++i) db.add_person("p" + std::to_string(i), 0);
  std::string generated, from_number, from_string, given = "kept";
  EXPECT_EQ(7u, db.add_labeled_node("City", generated, json::object(), 3));
  db.add_labeled_node("City", from_number, json{{"name", 5}}, 0);
  db.add_labeled_node("Person", from_string, json{{"name", "zoe"}, {"age", 3}}, 0);
  db.add_labeled_node("Paper", given, json{{"name", "ignored"}}, 0);
  EXPECT_EQ("City-7 City-7 5 zoe kept",
            generated + " " + db.names[7] + " " + from_number + " " + from_string + " " + db.names[10]);
  EXPECT_EQ(R"({} {"age":3,"name":"zoe"})", db.node_properties(7).dump() + " " + db.node_properties(9).dump());
  EXPECT_EQ("7 people 2 papers", std::to_string(db.people) + " people " + std::to_string(db.papers) + " papers");
  expect_failure_leaves_unchanged(db, [&] { db.add_labeled_node("City", given, json::array(), 0); },
                                  "properties must be a JSON object");
}

TEST(Database, CompiledFormAndEdges) {
  Database db = testing::triangle();
  expect_failure_leaves_unchanged(db, [&] { db.add_follows(0, 3); }, "edge endpoint out of range");
  expect_failure_leaves_unchanged(db, [&] { db.add_authored(3, 0); }, "edge endpoint out of range");
  // Attribute changes keep the compiled form; a name property renames.
  db.set_property(1, "age", 30);
  db.set_property(1, "name", "robert");
  db.set_property(2, "name", 12.5);
  EXPECT_EQ((std::vector<std::string>{"ann", "robert", "12.5"}), db.names);
  EXPECT_EQ(R"({"age":30,"name":"robert"})", db.node_properties(1).dump());
  const std::string before = fingerprint(db);
  db.set_property(3, "age", 1);  // beyond node_count: silently ignored
  EXPECT_EQ(before, fingerprint(db));
  EXPECT_TRUE(db.graph.compiled);
  // A new node clears `compiled` and takes the free position.
  db.graph.apply_permutation({2, 0, 1});
  EXPECT_EQ(3u, db.add_person("dan", 0));
  EXPECT_TRUE(!db.graph.compiled && db.graph.to_physical[3] == 3 && db.graph.to_logical[3] == 3);
}

// Everything rollback must restore, positions and counters included.
std::string full_state(const Database& db) {
  return fingerprint(db) + testing::edges_of(db) + json(db.graph.to_physical).dump() +
         json(db.graph.labels).dump() + std::to_string(db.stored_id_nodes) +
         std::to_string(db.node_type_ids.size() + db.rel_type_ids.size());
}

TEST(Database, RollbackUndoesEverythingAddedSinceTheMark) {
  for (const bool compiled : {true, false}) {
    SCOPED_TRACE(compiled ? "compiled at the mark" : "uncompiled at the mark");
    Database db = testing::mixed_graph();
    std::vector<std::uint32_t> reversed(db.graph.node_count);
    for (std::uint32_t i = 0; i < reversed.size(); ++i) reversed[i] = static_cast<std::uint32_t>(reversed.size() - 1 - i);
    db.graph.apply_permutation(reversed);  // positions no longer equal identities
    if (!compiled) db.add_follows(9, 9);
    Database reference = db;
    const DatabaseMark mark = db.mark();

    std::string name;
    const std::uint32_t robot = db.add_labeled_node("Robot", name, json{{"id", 7}}, 3);
    db.add_person("late", 1);
    db.add_follows(robot, 0);
    db.graph.add_edge(1, 2, db.add_rel_type("KNOWS"));
    const Edge between{9, 0, db.follows_type};  // absent at the mark
    db.graph.add_edge(between.src, between.dst, between.type);
    db.compile();
    ASSERT_NE(full_state(reference), full_state(db));

    db.rollback(mark);
    // Arrays compiled after the mark name what is gone: they are rebuilt.
    EXPECT_TRUE(db.graph.compiled && db.graph.csr_valid);
    if (!compiled) reference.compile();
    EXPECT_EQ(full_state(reference), full_state(db));
    EXPECT_EQ("unknown node type: Robot", testing::error_of([&] { db.node_type_id("Robot"); }));
    EXPECT_EQ("unknown edge type: KNOWS", testing::error_of([&] { db.rel_type_id("KNOWS"); }));
    db.compile();
    reference.compile();
    EXPECT_EQ(full_state(reference), full_state(db));
    testing::check_invariants(db);
  }
}

// The ids users see: an explicit prefix (an import's source ids, in any
// order) and, after it, the next numbers past the largest in creation
// order; lookups answer for the first `count` entities only.
TEST(EntityIds, ExplicitPrefixThenTheNextNumbers) {
  struct Case {
    const char* what;
    std::vector<std::uint64_t> assigned;
    bool accepted;
    std::uint64_t count;                 // entities in the graph
    std::vector<std::uint64_t> shown;    // id_of(0 … count-1)
  };
  const std::vector<Case> cases = {
      {"identities", {}, true, 3, {0, 1, 2}},
      {"ids equal to identities leave none", {0, 1, 2}, true, 4, {0, 1, 2, 3}},
      {"ascending with gaps", {5, 9, 40}, true, 5, {5, 9, 40, 41, 42}},
      {"any order", {40, 5, 9}, true, 4, {40, 5, 9, 41}},
      {"the largest id", {kMaxEntityId, 0}, true, 2, {kMaxEntityId, 0}},
      {"repeated", {4, 7, 4}, false, 3, {0, 1, 2}},
      {"past 2^63", {kMaxEntityId + 1}, false, 1, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EntityIds ids;
    ASSERT_EQ(c.accepted, ids.assign(c.assigned));
    std::vector<std::uint64_t> shown;
    for (std::uint64_t i = 0; i < c.count; ++i) {
      shown.push_back(ids.id_of(i));
      EXPECT_EQ(i, ids.find(ids.id_of(i), c.count));
      EXPECT_EQ(kNoEntityId, ids.find(ids.id_of(i), i));  // not among the first i
    }
    EXPECT_EQ(c.shown, shown);
    for (const std::uint64_t absent : {std::uint64_t{3}, std::uint64_t{6}, std::uint64_t{43}}) {
      if (std::find(shown.begin(), shown.end(), absent) == shown.end()) {
        EXPECT_EQ(kNoEntityId, ids.find(absent, c.count));
      }
    }
  }
  // Rolling back below the prefix forgets the ids past it.
  EntityIds ids;
  ASSERT_TRUE(ids.assign({40, 5, 9}));
  ids.truncate(2);
  EXPECT_EQ((std::vector<std::uint64_t>{40, 5, 41}),
            (std::vector<std::uint64_t>{ids.id_of(0), ids.id_of(1), ids.id_of(2)}));
  EXPECT_EQ(kNoEntityId, ids.find(9, 3));
  EXPECT_EQ(2u, ids.find(41, 3));
}

TEST(Database, EmbeddingAndPropertyNestingLimits) {
  Database db = testing::triangle();
  const std::vector<float> good(32, 0.5f);
  db.set_embedding(0, good);
  EXPECT_EQ(0.5f, db.embedding(0)[31]);
  db.set_embedding(2, std::vector<float>(32, std::numeric_limits<float>::max()));
  std::vector<float> with_nan = good, with_inf = good;
  with_nan[7] = std::numeric_limits<float>::quiet_NaN();
  with_inf[0] = std::numeric_limits<float>::infinity();
  for (const auto& [node, values] : std::vector<std::pair<std::uint32_t, std::vector<float>>>{
           {1, std::vector<float>(31, 0.f)}, {1, std::vector<float>(33, 0.f)}, {1, with_nan}, {1, with_inf}, {3, good}}) {
    expect_failure_leaves_unchanged(db, [&] { db.set_embedding(node, values); }, "embedding must contain 32 finite values");
  }
  // Another width: every node seeded again at it, and the checks follow it.
  for (const std::size_t dim : {0, 65537}) {
    expect_failure_leaves_unchanged(db, [&] { db.set_embedding_dim(dim); }, "embedding dimension must be from 1 to 65536");
  }
  Database wide = db;
  wide.set_embedding_dim(3);
  EXPECT_EQ(9u, wide.embeddings.size());
  EXPECT_EQ(1.0f, std::round(wide.embedding(1)[0]));  // triangle()'s topics are 0: hot at 0 mod 3
  expect_failure_leaves_unchanged(wide, [&] { wide.set_embedding(1, good); }, "embedding must contain 3 finite values");
  wide.set_embedding(1, {1, 2, 3});
  EXPECT_EQ(2.0f, wide.embedding(1)[1]);
  // Deeper values would overflow the stack when validated, copied or saved.
  json deep = json::array();
  for (int level = 1; level < 1000; ++level) deep = json::array({std::move(deep)});
  db.set_property(0, "ok", deep);  // 1000 levels
  deep = json::array({deep});
  std::string name = "n";
  const std::string message = "property value nested deeper than 1000 levels";
  expect_failure_leaves_unchanged(db, [&] { db.set_property(0, "deep", deep); }, message);
  expect_failure_leaves_unchanged(db, [&] { db.add_labeled_node("X", name, {{"d", deep}}, 0); }, message);
}

TEST(Utf8, ValidatorAndNothingInvalidEntersADatabase) {
  Database db = testing::triangle();
  // Truncated sequence, overlong '/', U+D800.
  for (const std::string text : {"caf\xC3", "\xC0\xAF", "\xED\xA0\x80"}) {
    SCOPED_TRACE(::testing::PrintToString(text));
    std::string name = text, empty;
    const std::vector<std::function<void()>> calls = {
        [&] { db.add_node_type(text); }, [&] { db.add_rel_type(text); }, [&] { db.add_person(text, 0); },
        [&] { db.add_paper(text, 0); }, [&] { db.add_node(0, text, 0); },
        [&] { db.add_labeled_node("Person", name, json::object(), 0); },
        [&] { db.add_labeled_node(text, empty, json::object(), 0); },
        [&] { db.add_labeled_node("Person", empty, json{{text, 1}}, 0); },
        [&] { db.add_labeled_node("Person", empty, json{{"o", json{{"deep", json::array({json{{"k", text}}})}}}}, 0); },
        [&] { db.set_property(0, text, 1); }, [&] { db.set_property(0, "list", json::array({1, text})); },
        [&] { db.install_attributes(1, 0, {"a", text, "c"}, {0, 0, 0}, 32, std::vector<float>(96), false); },
    };
    for (const auto& call : calls) expect_failure_leaves_unchanged(db, call, "text is not valid UTF-8");
  }
  std::string name = "Zoë 🚀";
  db.add_labeled_node("Städte", name, json{{"motto", "für alle"}}, 0);
  EXPECT_EQ("Zoë 🚀", db.names.back());
  // The validator itself, by RFC 3629.
  const std::string valid[] = {"",         "plain ascii", "\xC2\x80",         "\xDF\xBF",         "\xE0\xA0\x80",
                               "\xED\x9F\xBF", "\xEE\x80\x80", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
                               std::string("nul\0inside", 10)};
  const std::string invalid[] = {"\x80",         "\xC1\xBF",         "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
                                 "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82",     "\xE2\x28\xA1", "\xFF"};
  for (const std::string& text : valid) EXPECT_TRUE(is_valid_utf8(text)) << ::testing::PrintToString(text);
  for (const std::string& text : invalid) EXPECT_FALSE(is_valid_utf8(text)) << ::testing::PrintToString(text);
}

std::string nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

// The value's compact text, or "!" and the exception's what().
std::string outcome(const std::function<json()>& parse) {
  const std::string error = testing::error_of(parse);
  return error.empty() ? parse().dump() : "!" + error;
}

TEST(JsonLimits, AgreesWithTheLibraryWithinTheBoundAndRefusesPastIt) {
  const std::string within[] = {
      R"({"b":[1,-2,2.5,"x",null,true,false],"a":{"c":{},"d":[]}})", R"({"a":1,"a":2})",
      R"("s")", "-3", "18446744073709551615", "1e999", R"(["[[[[", "\"[{", "\\", "]]]}"])",
      "[\"" + std::string(5000, '[') + "\"]", nested(1000), "{\"a\":" + nested(999) + "}",
      "", "[1,]", "{\"a\" 1}", "[1] x", "[\"\xff\"]", "\"unterminated [[[", "x" + nested(5000), "[1 " + nested(999) + "]",
  };
  for (const std::string& text : within) {
    EXPECT_EQ(outcome([&] { return json::parse(text); }), outcome([&] { return parse_json_bounded(text); }))
        << text.substr(0, 40);
  }
  const std::string past[] = {
      nested(1001), nested(5000000), "{\"a\":" + nested(1000) + "}", "[\"]]]\\\"]]\"," + nested(1000) + "]",
      "[" + nested(1000),  // too deep before it is found unfinished
  };
  for (const std::string& text : past) {
    EXPECT_EQ("[json.exception.parse_error.101] parse error: JSON text nested deeper than 1000 levels",
              testing::error_of([&] { parse_json_bounded(text); }))
        << text.substr(0, 40);
  }
  // Closing each object once cost a rescan of the enclosing array, so a
  // mebibyte of empty objects took minutes; it should take milliseconds.
  std::string objects = "[{}";
  while (objects.size() < (1u << 20)) objects += ",{}";
  EXPECT_EQ(objects.size() / 3, parse_json_bounded(objects + "]").size());
}

TEST(JsonText, EscapesEveryControlByteInBothFlavoursNumbersAndObjects) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"plain é → ok", "plain é → ok", "plain é → ok"},
      {"q\"b\\", "q\\\"b\\\\", "q\\\"b\\\\"},
      {"a\nb\rc\td", "a\\nb\\rc\\td", "a\\nbc\\td"},
      {std::string("\x01\x08\x0c\x1f\x7f", 5), "\\u0001\\u0008\\u000c\\u001f\x7f", "\\u0001\\u0008\\u000c\\u001f\x7f"},
      {std::string("n\0ul", 4), "n\\u0000ul", "n\\u0000ul"},
      // Bytes that begin no well-formed sequence become U+FFFD, one each:
      // a lone continuation byte, a truncated sequence, an overlong form, a
      // surrogate.
      {"a\x80z", "a\xEF\xBF\xBDz", "a\xEF\xBF\xBDz"},
      {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& [in, full, message] : cases) {
    EXPECT_EQ(full, json_escape(in, JsonEscape::kFull)) << in;
    EXPECT_EQ(message, json_escape(in)) << in;
    // Whatever went in, the library reads valid JSON back.
    EXPECT_TRUE(json::accept(json_string(in)));
  }
  const std::string valid = "x\"\\\t\x01\r\n\xF0\x9F\x99\x82";
  EXPECT_EQ(valid, json::parse(json_string(valid)).get<std::string>());
  // Numbers (not finite ones as 0), objects and arrays.
  EXPECT_EQ("1.23457e+06", json_number(1234567.0));
  EXPECT_EQ("0.5", json_number(0.5));
  EXPECT_EQ("0", json_number(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ("0", json_number(std::numeric_limits<double>::infinity()));
  EXPECT_EQ("{\"a\\\"\":\"x\\ty\",\"n\":3,\"d\":2.5,\"b\":false,\"r\":[1]}",
            JsonObjectText().string("a\"", "x\ty").count("n", 3).real("d", 2.5).boolean("b", false).raw("r", "[1]").text());
  EXPECT_EQ("{}", JsonObjectText().text());
  EXPECT_EQ("[\"a\",\"\\n\"]", json_string_array({"a", "\n"}));
}

}  // namespace
}  // namespace orvane
