// Export: both layouts read back (CSV through our own reader, JSON lines
// through the JSON library) give the graph's labels, properties and
// relationship types; the destination rules hold (never an existing entry,
// parents created, nothing left behind); racing exports publish once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <latch>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "io/csv_reader.h"
#include "io/export.h"
#include "layout/entropy_worker.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
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

std::vector<CsvRecord> read_csv_file(const std::string& path) {
  std::istringstream in(read_text_file(path));
  std::vector<CsvRecord> records;
  for (CsvRecord record; read_csv_record(in, record);) records.push_back(record);
  return records;
}

std::vector<nlohmann::json> read_jsonl_file(const std::string& path) {
  std::istringstream in(read_text_file(path));
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

bool has_staging_entry(const std::string& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().starts_with(".halvex-export-")) return true;
  }
  return false;
}

// The message export_graph fails with, or "" when it succeeds.
std::string export_error(const Database& db, const std::string& destination, const std::string& format) {
  try {
    export_graph(db, destination, format);
    return "";
  } catch (const std::exception& e) {
    return e.what();
  }
}

// Both layouts, read back through our CSV reader and the JSON library, give
// identities, labels, properties and relationship types; relationship order
// follows positions but the numbers stay identities.
TEST(Export, BothLayoutsReadBack) {
  TempDir dir;
  Database db = awkward_graph();
  scatter_layout(db.graph, 7);
  export_graph(db, dir.file("c"), "csv");
  export_graph(db, dir.file("j"), "jsonl");
  std::vector<Rel> expected;
  for (const Edge& e : db.graph.edges) expected.emplace_back(e.src, e.dst, db.rel_types[e.type]);
  std::sort(expected.begin(), expected.end());

  const std::vector<CsvRecord> nodes = read_csv_file(dir.file("c/nodes.csv"));
  const std::vector<nlohmann::json> lines = read_jsonl_file(dir.file("j/nodes.jsonl"));
  ASSERT_EQ(db.graph.node_count + 1, nodes.size());
  ASSERT_EQ(db.graph.node_count, lines.size());
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    const nlohmann::json node = {{"id", id}, {"label", db.node_type_name(db.graph.labels[id])},
                                 {"properties", db.node_properties(id)}};
    const CsvRecord& r = nodes[id + 1];
    ASSERT_EQ(3u, r.fields.size());
    EXPECT_EQ(node, (nlohmann::json{{"id", std::stoul(r.fields[0])}, {"label", r.fields[1]},
                                    {"properties", typed_csv_value(r.fields[2], header_type(nodes[0].fields[2]))}}));
    EXPECT_EQ(node, lines[id]);
  }

  std::vector<Rel> csv, jsonl;
  for (const CsvRecord& r : read_csv_file(dir.file("c/rels.csv"))) {
    if (r.fields.at(0) != ":START_ID") csv.emplace_back(std::stoul(r.fields[0]), std::stoul(r.fields[1]), r.fields.at(2));
  }
  for (const nlohmann::json& r : read_jsonl_file(dir.file("j/rels.jsonl"))) jsonl.emplace_back(r["src"], r["dst"], r["type"]);
  std::sort(csv.begin(), csv.end());
  std::sort(jsonl.begin(), jsonl.end());
  EXPECT_EQ(expected, csv);
  EXPECT_EQ(expected, jsonl);
}

TEST(Export, ExactTextOfBothLayouts) {
  TempDir dir;
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
  export_graph(empty, dir.file("a/b/c"), "csv");  // parents are created
  EXPECT_EQ(":START_ID,:END_ID,:TYPE\n", read_text_file(dir.file("a/b/c/rels.csv")));
  export_graph(empty, dir.file("e/"), "jsonl");  // a trailing separator names the same directory
  EXPECT_EQ(0u, fs::file_size(dir.file("e/rels.jsonl")));
  EXPECT_FALSE(has_staging_entry(dir.path()) || has_staging_entry(dir.file("a/b")));
}

TEST(Export, RefusesBadRequestsBeforeWriting) {
  TempDir dir;
  const Database db = awkward_graph();
  Database uncompiled;
  uncompiled.add_person("p", 0);
  fs::create_directory(dir.file("empty_dir"));
  std::ofstream(dir.file("file")) << "keep";
  fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  const std::string exists = "export destination already exists; choose a new directory";
  const struct {
    const Database& db;
    std::string destination;
    std::string format;
    std::string message;
  } cases[] = {
      {db, "", "csv", "export destination is required"},
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
    if (error.starts_with("cannot publish export; destination must not exist: ")) {
      ++decided_by_rename;
    } else {
      EXPECT_EQ("export destination already exists; choose a new directory", error);
    }
    // The winner's files are complete, never a mixture of both formats.
    const std::string ext = csv_won ? ".csv" : ".jsonl";
    EXPECT_TRUE(fs::exists(dest + "/nodes" + ext) && fs::exists(dest + "/rels" + ext));
    EXPECT_EQ(2, std::distance(fs::directory_iterator(dest), fs::directory_iterator()));
    EXPECT_FALSE(has_staging_entry(dir.path()));
  }
  // Both threads pass the existence check long before either has written
  // its files, so the no-replace rename decides most rounds.
  EXPECT_GT(decided_by_rename, 0);
}

TEST(WriteCsvFiles, BenchmarkLayoutOfAGeneratedCorpus) {
  TempDir dir;
  Database db;
  generate_corpus(db, 6, 3, 42);
  optimize_layout(db);
  write_csv_files(db, dir.file("bench/data"), true);
  const std::vector<CsvRecord> nodes = read_csv_file(dir.file("bench/data/nodes.csv"));
  ASSERT_EQ(db.graph.node_count + 1, nodes.size());
  const std::vector<std::string>& header = nodes[0].fields;
  EXPECT_EQ((std::vector<std::string>{"id:ID", "name", "topic:int", "emb:float[]", ":LABEL"}), header);
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    const std::vector<std::string>& f = nodes[id + 1].fields;
    ASSERT_EQ(5u, f.size());
    EXPECT_EQ(nlohmann::json({id, db.names[id], db.topics[id], db.node_type_name(db.graph.labels[id])}),
              nlohmann::json({std::stoul(f[0]), typed_csv_value(f[1], "string"), typed_csv_value(f[2], "int"), f[4]}));
    const nlohmann::json emb = typed_csv_value(f[3], header_type(header[3]));
    ASSERT_EQ(kEmbeddingDim, emb.size());
    for (std::size_t k = 0; k < kEmbeddingDim; ++k) EXPECT_NEAR(db.embedding(id)[k], emb[k].get<double>(), 1e-5);
  }
  const auto write_error = [&](const Database& g, const std::string& sub, bool benchmark) -> std::string {
    try {
      write_csv_files(g, dir.file(sub), benchmark);
      return "";
    } catch (const std::exception& e) {
      return e.what();
    }
  };
  EXPECT_EQ("benchmark layout is for generated Person/Paper corpora only", write_error(awkward_graph(), "custom", true));
  EXPECT_FALSE(fs::exists(dir.file("custom/nodes.csv")));
  std::ofstream(dir.file("plainfile")) << "x";
  EXPECT_EQ("cannot write nodes.csv", write_error(db, "plainfile/sub", false));
}

}  // namespace
}  // namespace orvane
