// Export and import without an engine or the binary: a generated corpus
// with odd labels, types and property texts (quotes, commas, line breaks)
// exported in both formats imports back with the same labels, names,
// properties, counts and relationships.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "io/export.h"
#include "io/neo4j_import.h"
#include "layout/entropy_worker.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using testing::TempDir;

using Relationship = std::tuple<std::uint32_t, std::uint32_t, std::string>;

std::set<Relationship> relationships_of(const Database& db) {
  std::set<Relationship> out;
  for (const Edge& e : db.graph.edges) out.emplace(e.src, e.dst, db.rel_type_name(e.type));
  return out;
}

TEST(Neo4jMigration, ExportThenImportReproducesTheGraph) {
  Database original;
  generate_corpus(original, 300, 120, 7);
  // Odd labels, types and property values the files must carry unchanged.
  std::string name = "q\"uote, comma";
  const std::uint32_t odd = original.add_labeled_node(
      "Lab,el \"x\"", name, {{"name", name}, {"text", "line\nbreak"}, {"n", -3}, {"f", 2.5}, {"list", {1, "two", nullptr}}}, 5);
  original.graph.add_edge(odd, 0, original.add_rel_type("CITES \"it\""));
  optimize_layout(original);  // positions differ from identities; the files name identities

  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    const TempDir dir;
    export_graph(original, dir.file("export"), format);
    const Database imported = import_neo4j_export(dir.file("export"));
    ASSERT_EQ(imported.graph.node_count, original.graph.node_count);
    EXPECT_EQ(imported.people, original.people);
    EXPECT_EQ(imported.papers, original.papers);
    for (std::uint32_t i = 0; i < original.graph.node_count; ++i) {
      ASSERT_EQ(imported.node_type_name(imported.graph.labels[i]), original.node_type_name(original.graph.labels[i]));
      ASSERT_EQ(imported.names[i], original.names[i]);
      ASSERT_EQ(imported.node_properties(i), original.node_properties(i));
    }
    EXPECT_EQ(relationships_of(imported), relationships_of(original));
    EXPECT_EQ(imported.graph.out_targets.size(), original.graph.out_targets.size());
  }
}

}  // namespace
}  // namespace orvane
