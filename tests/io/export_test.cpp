// Export: the exact text of both layouts, both imported back as the graph
// they came from, the destination rules, racing exports publishing once, and
// the benchmark layout read back through our CSV reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <latch>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "io/csv_reader.h"
#include "io/export.h"
#include "io/neo4j_import.h"
#include "layout/entropy_worker.h"
#include "support/error_text.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::error_of;
using testing::read_text_file;
using testing::TempDir;
using Rel = std::tuple<std::uint32_t, std::uint32_t, std::string>;

// Labels, names and property texts with the characters CSV must protect.
Database awkward_graph() {
  Database db;
  std::string name = "plain";
  db.add_labeled_node("Person", name, nlohmann::json::object(), 1);
  name = "q\"uote, comma";
  db.add_labeled_node("Label, \"odd\"", name,
                      {{"text", "say \"hi\",\nthen leave"}, {"n", -3}, {"f", 2.5}, {"list", {1, "two", nullptr}}}, 2);
  name = "";
  db.add_labeled_node("Ünïcode", name, nlohmann::json::object(), 3);
  db.add_paper("paper", 4);
  const std::uint16_t odd = db.add_rel_type("REL, \"odd\"");
  db.graph.add_edge(0, 1, db.follows_type);
  db.graph.add_edge(1, 0, odd);
  db.graph.add_edge(1, 1, odd);
  db.graph.add_edge(0, 3, db.authored_type);
  db.graph.add_edge(2, 0, db.follows_type);
  db.compile();
  return db;
}

bool has_staging_entry(const std::string& dir) {
  return std::ranges::any_of(fs::directory_iterator(dir), [](const fs::directory_entry& entry) {
    return entry.path().filename().string().starts_with(".halvex-export-");
  });
}

std::string export_error(const Database& db, const std::string& destination, const std::string& format) {
  return error_of([&] { export_graph(db, destination, format); });
}

// What an export carries: labels, properties, counts, relationships in identities.
std::string contents(const Database& db) {
  nlohmann::json nodes = nlohmann::json::array();
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    nodes.push_back({db.node_type_name(db.graph.labels[id]), db.node_properties(id)});
  }
  std::vector<Rel> rels;
  for (const Edge& e : db.graph.edges) rels.emplace_back(e.src, e.dst, db.rel_types[e.type]);
  std::sort(rels.begin(), rels.end());
  return nlohmann::json{nodes, rels, db.people, db.papers}.dump();
}

// The awkward graph scattered, so that positions differ from identities,
// imports back; a small one is pinned as text.
TEST(Export, BothLayoutsImportBackAndTheirExactText) {
  TempDir dir;
  Database awkward = awkward_graph();
  scatter_layout(awkward.graph, 7);
  for (const char* format : {"csv", "jsonl"}) {
    export_graph(awkward, dir.file(format), format);
    EXPECT_EQ(contents(awkward), contents(import_neo4j_export(dir.file(format)))) << format;
  }
  Database db;
  db.add_person("a", 0);
  std::string name = "b";
  db.add_labeled_node("T", name, {{"z", 1}, {"a", "x\"y"}}, 0);
  db.graph.add_edge(1, 0, db.follows_type);
  db.graph.add_edge(0, 1, db.authored_type);
  db.graph.add_edge(0, 0, db.follows_type);
  db.compile();
  export_graph(db, dir.file("c"), "csv");
  export_graph(db, dir.file("j"), "jsonl");
  EXPECT_EQ(
      ":ID,:LABEL,properties:json\n0,\"Person\",\"{\"\"name\"\":\"\"a\"\"}\"\n"
      "1,\"T\",\"{\"\"a\"\":\"\"x\\\"\"y\"\",\"\"z\"\":1}\"\n",
      read_text_file(dir.file("c/nodes.csv")));
  EXPECT_EQ(":START_ID,:END_ID,:TYPE\n0,0,\"FOLLOWS\"\n0,1,\"AUTHORED\"\n1,0,\"FOLLOWS\"\n",
            read_text_file(dir.file("c/rels.csv")));
  EXPECT_EQ(
      "{\"id\":0,\"label\":\"Person\",\"properties\":{\"name\":\"a\"}}\n"
      "{\"id\":1,\"label\":\"T\",\"properties\":{\"a\":\"x\\\"y\",\"z\":1}}\n",
      read_text_file(dir.file("j/nodes.jsonl")));
  EXPECT_EQ(
      "{\"dst\":0,\"src\":0,\"type\":\"FOLLOWS\"}\n{\"dst\":1,\"src\":0,\"type\":\"AUTHORED\"}\n"
      "{\"dst\":0,\"src\":1,\"type\":\"FOLLOWS\"}\n",
      read_text_file(dir.file("j/rels.jsonl")));

  Database empty;
  empty.compile();
  export_graph(empty, dir.file("a/e/"), "jsonl");  // parents are created; a trailing separator is the same directory
  EXPECT_EQ(0u, fs::file_size(dir.file("a/e/rels.jsonl")));
  EXPECT_FALSE(has_staging_entry(dir.path()) || has_staging_entry(dir.file("a")));
}

TEST(Export, RefusesBadRequestsBeforeWriting) {
  TempDir dir;
  const Database db = awkward_graph();
  Database uncompiled;
  uncompiled.add_person("p", 0);
  fs::create_directory(dir.file("empty_dir"));
  testing::write_text_file(dir.file("file"), "keep");
  fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  const std::string exists = "export destination already exists; choose a new directory";
  const struct {
    const Database& db;
    std::string destination;
    std::string format;
    std::string message;
  } cases[] = {
      {db, dir.file("x"), "CSV", "export format must be csv or jsonl"},
      {uncompiled, dir.file("x"), "csv", "compile the graph before exporting"},
      {db, dir.file("empty_dir"), "csv", exists},
      {db, dir.file("file"), "jsonl", exists},
      {db, dir.file("dangling"), "csv", exists},
      {db, dir.file("empty_dir/../file"), "csv", exists},
      // No staging directory can be made below a regular file, even by root.
      {db, dir.file("file/out"), "csv", "cannot create private export staging directory"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.message, export_error(c.db, c.destination, c.format)) << c.destination;
  EXPECT_TRUE(fs::is_empty(dir.file("empty_dir")));
  EXPECT_FALSE(fs::exists(dir.file("nowhere")) || fs::exists(dir.file("x")));
  EXPECT_EQ("keep", read_text_file(dir.file("file")));
  EXPECT_FALSE(has_staging_entry(dir.path()));
}

// Both threads pass the existence check long before either has written its
// files, so the no-replace rename decides most rounds.
TEST(Export, RacingExportsPublishExactlyOnce) {
  TempDir dir;
  Database db;
  generate_corpus(db, 3000, 1000, 5);
  int decided_by_rename = 0;
  for (int round = 0; round < 6; ++round) {
    const std::string dest = dir.file("race" + std::to_string(round));
    std::latch start(2);
    std::string errors[2];
    auto run = [&](int i) {
      start.arrive_and_wait();
      errors[i] = export_error(db, dest, i == 0 ? "csv" : "jsonl");
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    const bool csv_won = errors[0].empty();
    ASSERT_NE(csv_won, errors[1].empty()) << errors[0] << " / " << errors[1];
    const std::string& error = errors[csv_won ? 1 : 0];
    const bool by_rename = error.starts_with("cannot publish export; destination must not exist: ");
    decided_by_rename += by_rename;
    EXPECT_TRUE(by_rename || error == "export destination already exists; choose a new directory") << error;
    // The winner's files are complete, never a mixture of both formats.
    const std::string ext = csv_won ? ".csv" : ".jsonl";
    EXPECT_TRUE(fs::exists(dest + "/nodes" + ext) && fs::exists(dest + "/rels" + ext));
    EXPECT_EQ(2, std::distance(fs::directory_iterator(dest), fs::directory_iterator()));
    EXPECT_FALSE(has_staging_entry(dir.path()));
  }
  EXPECT_GT(decided_by_rename, 0);
}

TEST(WriteCsvFiles, BenchmarkLayoutOfAGeneratedCorpus) {
  TempDir dir;
  Database db;
  generate_corpus(db, 6, 3, 42);
  optimize_layout(db);
  write_csv_files(db, dir.file("bench/data"), true);
  std::istringstream in(read_text_file(dir.file("bench/data/nodes.csv")));
  CsvRecord header, row;
  ASSERT_TRUE(read_csv_record(in, header));
  EXPECT_EQ((std::vector<std::string>{"id:ID", "name", "topic:int", "emb:float[]", ":LABEL"}), header.fields);
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    ASSERT_TRUE(read_csv_record(in, row) && row.fields.size() == 5u);
    const std::vector<std::string>& f = row.fields;
    EXPECT_EQ(nlohmann::json({id, db.names[id], db.topics[id], db.node_type_name(db.graph.labels[id])}),
              nlohmann::json({std::stoul(f[0]), typed_csv_value(f[1], "string"), typed_csv_value(f[2], "int"), f[4]}));
    const nlohmann::json emb = typed_csv_value(f[3], header_type(header.fields[3]));
    ASSERT_EQ(db.embedding_dim, emb.size());
    for (std::size_t k = 0; k < db.embedding_dim; ++k) EXPECT_NEAR(db.embedding(id)[k], emb[k].get<double>(), 1e-5);
  }
  EXPECT_FALSE(read_csv_record(in, row));
  EXPECT_EQ("benchmark layout is for generated Person/Paper corpora only",
            error_of([&] { write_csv_files(awkward_graph(), dir.file("custom"), true); }));
  EXPECT_FALSE(fs::exists(dir.file("custom/nodes.csv")));
  testing::write_text_file(dir.file("plainfile"), "x");
  EXPECT_EQ("cannot write nodes.csv", error_of([&] { write_csv_files(db, dir.file("plainfile/sub"), false); }));
}

}  // namespace
}  // namespace orvane
