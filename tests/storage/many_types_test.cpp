// Graphs with many relationship types: 5,000 types over 100,000 nodes
// and the highest type id a schema can hold, through the typed run index,
// a renumbering, a snapshot round trip and counting statements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "graph/database.h"
#include "query/cypher_statement.h"
#include "storage/snapshot.h"
#include "support/temp_dir.h"

namespace orvane::testing {
namespace {

// The count a counting statement answers on `db`, through the query pipeline.
std::uint64_t count_query_text(const Database& db, const std::string& statement) {
  return static_cast<std::uint64_t>(run_statement(statement, db).rows.at(0).at(0).as_int());
}

std::uint64_t index_bytes(const TypedRunIndex& index) {
  std::uint64_t bytes = index.table_of_type.size();
  for (const auto& offsets : index.offsets) bytes += offsets.size() * sizeof(std::uint32_t);
  for (const auto& neighbours : index.neighbours) bytes += neighbours.size() * sizeof(std::uint32_t);
  return bytes;
}

// Every typed run, in both directions, is exactly the part of the combined
// run that holds its type (also for types the node lacks); has_edge agrees.
void expect_typed_runs_match_combined(const PhysicalGraph& g, std::uint16_t highest_type) {
  for (std::uint32_t v = 0; v < g.node_count; ++v) {
    for (const bool out : {true, false}) {
      const NodeRun all = out ? g.out_neighbors(v) : g.in_neighbors(v);
      const TypeRun types = out ? g.out_edge_types(v) : g.in_edge_types(v);
      std::vector<std::uint16_t> present(types.begin(), types.end());
      present.erase(std::unique(present.begin(), present.end()), present.end());
      present.insert(present.end(), {0, highest_type});
      for (const std::uint16_t t : present) {
        std::vector<std::uint32_t> expected;
        for (std::size_t s = 0; s < all.size(); ++s) {
          if (types[s] == t) expected.push_back(all[s]);
        }
        const NodeRun typed = out ? g.typed_out_neighbors(v, t) : g.typed_in_neighbors(v, t);
        ASSERT_EQ(expected, std::vector<std::uint32_t>(typed.begin(), typed.end()))
            << v << (out ? " out " : " in ") << t;
        for (const std::uint32_t w : expected) ASSERT_TRUE(!out || g.has_edge(v, w, t));
      }
    }
  }
}

// 5,000 types over 100,000 nodes, a few frequent (read through tables) and a
// long tail (found by search), renumbered, saved and loaded back; and the
// highest type id a schema can hold, in use. Index memory stays linear.
TEST(ManyTypes, FiveThousandTypesAndTheHighestIdSaveLoadAndQuery) {
  constexpr std::uint32_t kNodes = 100000, kTypes = 5000;
  Database db;
  for (std::uint32_t i = 0; i < kNodes; ++i) db.add_node(i % 2 ? db.paper_label : db.person_label, "n", i);
  for (std::uint32_t t = 2; t < 65535; ++t) db.add_rel_type("T" + std::to_string(t));
  std::mt19937 rng(11);
  for (std::uint32_t i = 0; i < 300000; ++i) {  // half of them of types 0 … 3
    db.graph.add_edge(rng() % kNodes, rng() % kNodes, static_cast<std::uint16_t>(i % 2 ? rng() % 4 : rng() % kTypes));
  }
  db.graph.add_edge(7, 8, kTypes - 1);
  db.graph.add_edge(1, 2, 65534);
  db.graph.add_edge(1, 0, 65533);
  db.compile();
  db.generated = true;  // {id: 7} below names identity 7, and the flag survives the file
  std::vector<std::uint32_t> order(kNodes);
  std::iota(order.rbegin(), order.rend(), 0u);
  db.graph.apply_permutation(order);
  EXPECT_LE(index_bytes(db.graph.typed_out) + index_bytes(db.graph.typed_in),
            32 * (db.graph.node_count + db.graph.out_targets.size()));
  expect_typed_runs_match_combined(db.graph, 65534);

  TempDir dir;
  save_snapshot(db, dir.file("many.orv"));
  const Database back = load_snapshot(dir.file("many.orv"));
  EXPECT_EQ(db.graph.edges, back.graph.edges);  // every relationship keeps its identity
  EXPECT_EQ(db.graph.to_physical, back.graph.to_physical);
  EXPECT_EQ(65535u, back.graph.rel_type_count);
  expect_typed_runs_match_combined(back.graph, 65534);
  const std::string two_types = "MATCH (a)-[:T42]->(b)<-[:FOLLOWS]-(c) RETURN count(*)";
  EXPECT_EQ(count_query_text(db, two_types), count_query_text(back, two_types));
  const std::string last = "MATCH (a {id: 7})-[:T" + std::to_string(kTypes - 1) + "]->(b) RETURN count(*)";
  EXPECT_EQ(1u, count_query_text(back, last));
  EXPECT_TRUE(back.graph.has_edge(back.graph.to_physical[1], back.graph.to_physical[2], 65534));
  EXPECT_EQ(1u, count_query_text(back, "MATCH (a)-[:T65534]->(b) RETURN count(*)"));
  EXPECT_EQ(1u, count_query_text(back, "MATCH (a)<-[:T65533]-(b)-[:T65534]->(c) RETURN count(*)"));
}

}  // namespace
}  // namespace orvane::testing
