// Whole-graph comparisons of the real samples in the shared neo4j-samples
// directory with what the import makes of them: for each dump, the dump
// bridge's own decoded output (typed JSON lines) against the imported graph,
// node by node and relationship by relationship (ids, labels in order,
// properties with their types, endpoints, types and relationship
// properties, relationship identities in the bridge's order); for each
// APOC JSON export, its lines against the graph, matched by source id; for
// the APOC CSV export, counts by label and type and every field present.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "graph/value.h"
#include "io/neo4j_import.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const fs::path kSamples = fs::path(ORVANE_SOURCE_DIR) / ".." / "shared" / "neo4j-samples";

std::vector<json> json_lines(const fs::path& file) {
  std::vector<json> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(json::parse(line));
  }
  return lines;
}

// The typed JSON of a property object as the store keeps it: every member
// through property_value_of, compact and with sorted keys.
std::string typed(const json& properties) {
  json out = json::object();
  if (properties.is_object()) {
    for (const auto& [key, value] : properties.items()) {
      const Value v = property_value_of(value);
      if (!v.is_null()) out[key] = to_typed_json(v);
    }
  }
  return out.dump();
}

std::string labels_text(const Database& db, std::uint32_t node) {
  json labels = json::array();
  for (const std::uint16_t l : db.graph.labels_of(node)) labels.push_back(db.node_type_name(l));
  return labels.dump();
}

TEST(SampleFidelity, EveryDumpImportsAsItsBridgeDecodedIt) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "the shared neo4j-samples directory is absent";
  const testing::TempDir dir;
  for (const char* sample : {"movies/movies-35.dump", "movies/movies-40.dump", "movies/movies-41.dump",
                             "movies/movies-43.dump", "movies/movies-50.dump", "northwind/northwind-43.dump",
                             "northwind/northwind-50.dump"}) {
    SCOPED_TRACE(sample);
    const fs::path out = fs::path(dir.path()) / fs::path(sample).stem();
    const testing::RunResult bridge =
        testing::run_program({"python3", std::string(ORVANE_SOURCE_DIR) + "/scripts/import_neo4j_dump.py", "--dump",
                              (kSamples / sample).string(), "--out", out.string(), "--typed"});
    ASSERT_EQ(0, bridge.status) << bridge.err;
    const std::vector<json> nodes = json_lines(out / "nodes.jsonl");
    const std::vector<json> rels = json_lines(out / "rels.jsonl");
    const Database db = import_neo4j_source((kSamples / sample).string());
    ASSERT_EQ(nodes.size(), db.graph.node_count);
    ASSERT_EQ(rels.size(), db.graph.edges.size());
    std::map<std::string, std::uint32_t> identity_of;
    for (std::uint32_t i = 0; i < nodes.size(); ++i) {
      identity_of[nodes[i]["id"].dump()] = i;
      ASSERT_EQ(nodes[i]["id"].get<std::uint64_t>(), db.node_id(i)) << "node " << i;  // the id users knew
      ASSERT_EQ(i, db.node_of_id(db.node_id(i)));
      ASSERT_EQ(nodes[i]["labels"].dump(), labels_text(db, i)) << "node " << i;
      ASSERT_EQ(typed(nodes[i]["properties"]), db.node_properties(i).dump()) << "node " << i;
    }
    std::uint64_t with_properties = 0;
    for (std::uint32_t r = 0; r < rels.size(); ++r) {
      const Edge& e = db.graph.edges[r];
      ASSERT_EQ(rels[r]["id"].get<std::uint64_t>(), db.relationship_id(r)) << "relationship " << r;
      ASSERT_EQ(identity_of.at(rels[r]["src"].dump()), e.src) << "relationship " << r;
      ASSERT_EQ(identity_of.at(rels[r]["dst"].dump()), e.dst) << "relationship " << r;
      ASSERT_EQ(rels[r]["type"].get<std::string>(), db.rel_type_name(e.type)) << "relationship " << r;
      ASSERT_EQ(typed(rels[r]["properties"]), db.relationship_properties(r).dump()) << "relationship " << r;
      with_properties += !db.relationship_properties(r).empty();
    }
    EXPECT_GT(with_properties, 0u);  // roles, ratings, order lines: the samples carry them
  }
}

TEST(SampleFidelity, EveryApocJsonExportImportsLineForLine) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "the shared neo4j-samples directory is absent";
  for (const char* sample : {"apoc-json/all.json", "apoc-json/multiLabels.json"}) {
    SCOPED_TRACE(sample);
    const Database db = import_neo4j_source((kSamples / sample).string());
    std::vector<std::string> expected_nodes, expected_rels, got_nodes, got_rels;
    std::map<std::string, std::string> node_text;  // source id → what its node must read as
    for (const json& line : json_lines(kSamples / sample)) {
      if (line["type"] == "node") {
        const std::string text = line["id"].get<std::string>() + " " + line.value("labels", json::array()).dump() +
                                 " " + typed(line["properties"]);
        node_text[line["id"].dump()] = text;
        expected_nodes.push_back(text);
      }
    }
    for (const json& line : json_lines(kSamples / sample)) {
      if (line["type"] != "relationship") continue;
      expected_rels.push_back(node_text.at(line["start"]["id"].dump()) + " -[" + line["id"].get<std::string>() + ":" +
                              line["label"].get<std::string>() +
                              " " + typed(line.value("properties", json::object())) + "]-> " +
                              node_text.at(line["end"]["id"].dump()));
    }
    for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
      got_nodes.push_back(std::to_string(db.node_id(i)) + " " + labels_text(db, i) + " " +
                          db.node_properties(i).dump());
    }
    for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) {
      const Edge& e = db.graph.edges[r];
      got_rels.push_back(got_nodes[e.src] + " -[" + std::to_string(db.relationship_id(r)) + ":" +
                         db.rel_type_name(e.type) + " " +
                         db.relationship_properties(r).dump() + "]-> " + got_nodes[e.dst]);
    }
    EXPECT_EQ(expected_nodes, got_nodes);  // nodes come in file order
    std::sort(expected_rels.begin(), expected_rels.end());
    std::sort(got_rels.begin(), got_rels.end());
    EXPECT_EQ(expected_rels, got_rels);
  }
}

// APOC's CSV export: every node and relationship, by label and type, and
// every non-empty property field as a property.
TEST(SampleFidelity, ApocCsvExportKeepsEveryFieldLabelAndType) {
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "the shared neo4j-samples directory is absent";
  const Database db = import_neo4j_source((kSamples / "apoc-csv/example.csv").string());
  std::map<std::string, int> by_name;
  std::uint64_t node_fields = 0, rel_fields = 0;
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
    for (const std::uint16_t l : db.graph.labels_of(i)) ++by_name[":" + db.node_type_name(l)];
    node_fields += db.node_properties(i).size();
  }
  for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) {
    ++by_name["-" + db.rel_type_name(db.graph.edges[r].type)];
    rel_fields += db.relationship_properties(r).size();
  }
  EXPECT_EQ((std::map<std::string, int>{{"-ACTED_IN", 4}, {"-DIRECTED", 2}, {"-PRODUCED", 1}, {":Movie", 1},
                                        {":Person", 7}}),
            by_name);
  // The file's non-empty fields: the movie's released, tagline and title,
  // each person's born and name, and the four roles.
  EXPECT_EQ(17u, node_fields);
  EXPECT_EQ(4u, rel_fields);
  EXPECT_EQ(R"({"roles":["Neo"]})", db.relationship_properties(0).dump());
}

}  // namespace
}  // namespace orvane
