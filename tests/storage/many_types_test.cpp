// The focus of this file is graphs with many relationship types: every
// graph that saves must load again, and the per-type reads must stay exact
// and their memory linear whatever the number of types or the highest id.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "graph/database.h"
#include "query/executor.h"
#include "storage/snapshot.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

// Bytes the per-type run index of one direction takes.
std::uint64_t index_bytes(const TypedRunIndex& index) {
  std::uint64_t bytes = index.table_of_type.size();
  for (const auto& offsets : index.offsets) bytes += offsets.size() * sizeof(std::uint32_t);
  for (const auto& neighbours : index.neighbours) bytes += neighbours.size() * sizeof(std::uint32_t);
  return bytes;
}

// Every typed run must be exactly the part of the combined run that holds
// its type, in both directions, and has_edge must agree.
void expect_typed_runs_match_combined(const PhysicalGraph& g, std::uint16_t highest_type) {
  for (std::uint32_t v = 0; v < g.node_count; ++v) {
    for (const bool outgoing : {true, false}) {
      const NodeRun all = outgoing ? g.out_neighbors(v) : g.in_neighbors(v);
      const TypeRun types = outgoing ? g.out_edge_types(v) : g.in_edge_types(v);
      std::vector<std::uint16_t> present(types.begin(), types.end());
      present.erase(std::unique(present.begin(), present.end()), present.end());
      present.push_back(0);
      present.push_back(highest_type);
      for (const std::uint16_t t : present) {
        std::vector<std::uint32_t> expected;
        for (std::size_t s = 0; s < all.size(); ++s) {
          if (types[s] == t) expected.push_back(all[s]);
        }
        const NodeRun typed = outgoing ? g.typed_out_neighbors(v, t) : g.typed_in_neighbors(v, t);
        ASSERT_EQ(expected, std::vector<std::uint32_t>(typed.begin(), typed.end()))
            << (outgoing ? "out" : "in") << " run of " << v << " type " << t;
        if (outgoing) {
          for (const std::uint32_t w : expected) ASSERT_TRUE(g.has_edge(v, w, t));
        }
      }
    }
  }
}

// 5,000 types over 100,000 nodes: a few frequent types (read through tables)
// and a long tail (found by search), renumbered, saved and loaded back.
TEST(ManyTypes, FiveThousandTypesSaveLoadAndQuery) {
  constexpr std::uint32_t kNodes = 100000, kTypes = 5000;
  Database db;
  for (std::uint32_t i = 0; i < kNodes; ++i) db.add_node(i % 2 ? db.paper_label : db.person_label, "n", i);
  for (std::uint32_t t = 2; t < kTypes; ++t) db.add_rel_type("T" + std::to_string(t));
  std::mt19937 rng(11);
  for (std::uint32_t i = 0; i < 300000; ++i) {
    // Half the relationships use types 0 … 3, the rest spread over all.
    const auto type = static_cast<std::uint16_t>(i % 2 ? rng() % 4 : rng() % kTypes);
    db.graph.add_edge(rng() % kNodes, rng() % kNodes, type);
  }
  db.graph.add_edge(7, 8, kTypes - 1);
  db.compile();
  std::vector<std::uint32_t> order(kNodes);
  for (std::uint32_t i = 0; i < kNodes; ++i) order[i] = kNodes - 1 - i;
  db.graph.apply_permutation(order);

  const std::uint64_t n = db.graph.node_count, e = db.graph.out_targets.size();
  EXPECT_EQ(kTypes, db.graph.rel_type_count);
  EXPECT_LE(index_bytes(db.graph.typed_out) + index_bytes(db.graph.typed_in), 32 * (n + e));
  expect_typed_runs_match_combined(db.graph, kTypes - 1);

  TempDir dir;
  save_snapshot(db, dir.file("many.orv"));
  const Database back = load_snapshot(dir.file("many.orv"));
  std::vector<Edge> loaded = back.graph.edges;  // rebuilt in position order
  sort_edges(loaded);
  EXPECT_EQ(db.graph.edges, loaded);
  EXPECT_EQ(db.graph.to_physical, back.graph.to_physical);
  expect_typed_runs_match_combined(back.graph, kTypes - 1);
  const std::string last = "T" + std::to_string(kTypes - 1);
  EXPECT_EQ(1u, count_query_text(back, "MATCH (a {id: 7})-[:" + last + "]->(b) RETURN count(*)"));
  EXPECT_EQ(count_query_text(db, "MATCH (a)-[:T42]->(b)<-[:FOLLOWS]-(c) RETURN count(*)"),
            count_query_text(back, "MATCH (a)-[:T42]->(b)<-[:FOLLOWS]-(c) RETURN count(*)"));
}

// The highest type id a schema can hold, in use on a small graph.
TEST(ManyTypes, TypeId65534SavesAndLoads) {
  Database db = GraphBuilder().people({"a", "b", "c"}).follows("a", "b").uncompiled();
  for (std::uint32_t t = 2; t < 65535; ++t) db.add_rel_type("T" + std::to_string(t));
  db.graph.add_edge(1, 2, 65534);
  db.graph.add_edge(1, 0, 65533);
  db.compile();
  TempDir dir;
  save_snapshot(db, dir.file("high.orv"));
  const Database back = load_snapshot(dir.file("high.orv"));
  EXPECT_EQ(65535u, back.graph.rel_type_count);
  expect_typed_runs_match_combined(back.graph, 65534);
  EXPECT_TRUE(back.graph.has_edge(back.graph.to_physical[1], back.graph.to_physical[2], 65534));
  EXPECT_EQ(1u, count_query_text(back, "MATCH (a)-[:T65534]->(b) RETURN count(*)"));
  EXPECT_EQ(1u, count_query_text(back, "MATCH (a)<-[:T65533]-(b)-[:T65534]->(c) RETURN count(*)"));
}

}  // namespace
}  // namespace orvane::testing
