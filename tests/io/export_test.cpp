// Export: both layouts read back (CSV through our own reader, JSON lines
// through the JSON library) give the graph's labels, properties and
// relationship types; the destination rules hold (never an existing entry,
// parents created, nothing left behind); racing exports publish once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <latch>
#include <map>
#include <sstream>
#include <system_error>
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
using testing::TempDir;
using Rel = std::tuple<std::uint32_t, std::uint32_t, std::string>;

// Labels, names and property texts with the characters CSV must protect.
Database awkward_graph() {
  Database db;
  std::string name;
  name = "plain";
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

std::vector<Rel> relationships_of(const Database& db) {
  std::vector<Rel> rels;
  for (const Edge& e : db.graph.edges) rels.emplace_back(e.src, e.dst, db.rel_types[e.type]);
  std::sort(rels.begin(), rels.end());
  return rels;
}

std::vector<CsvRecord> read_csv_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << path;
  std::vector<CsvRecord> records;
  CsvRecord record;
  while (read_csv_record(in, record)) records.push_back(record);
  return records;
}

std::vector<nlohmann::json> read_jsonl_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << path;
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

std::vector<std::string> staging_entries(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".halvex-export-")) found.push_back(name);
  }
  return found;
}

// Relationships of one start node must be adjacent in the file.
void expect_grouped_by_start(const std::vector<std::uint32_t>& starts) {
  std::vector<std::uint32_t> seen;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    if (i > 0 && starts[i] == starts[i - 1]) continue;
    EXPECT_EQ(seen.end(), std::find(seen.begin(), seen.end(), starts[i])) << "start " << starts[i] << " split";
    seen.push_back(starts[i]);
  }
}

TEST(Export, CsvReadsBackThroughTheCsvReader) {
  TempDir dir;
  Database db = awkward_graph();
  scatter_layout(db.graph, 7);
  export_graph(db, dir.file("out"), "csv");

  const std::vector<CsvRecord> nodes = read_csv_file(dir.file("out/nodes.csv"));
  ASSERT_EQ(db.graph.node_count + 1, nodes.size());
  EXPECT_EQ((std::vector<std::string>{":ID", ":LABEL", "properties:json"}), nodes[0].fields);
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    const CsvRecord& r = nodes[id + 1];
    ASSERT_EQ(3u, r.fields.size());
    EXPECT_EQ(std::to_string(id), r.fields[0]);
    EXPECT_FALSE(r.quoted[0]);
    EXPECT_EQ(db.node_type_name(db.graph.labels[id]), r.fields[1]);
    EXPECT_TRUE(r.quoted[1] && r.quoted[2]);
    EXPECT_EQ(db.node_properties(id), typed_csv_value(r.fields[2], header_type(nodes[0].fields[2])));
  }

  const std::vector<CsvRecord> rels = read_csv_file(dir.file("out/rels.csv"));
  ASSERT_EQ(db.graph.edges.size() + 1, rels.size());
  EXPECT_EQ((std::vector<std::string>{":START_ID", ":END_ID", ":TYPE"}), rels[0].fields);
  std::vector<Rel> read;
  std::vector<std::uint32_t> starts;
  for (std::size_t i = 1; i < rels.size(); ++i) {
    const auto src = static_cast<std::uint32_t>(std::stoul(rels[i].fields.at(0)));
    read.emplace_back(src, static_cast<std::uint32_t>(std::stoul(rels[i].fields.at(1))), rels[i].fields.at(2));
    starts.push_back(src);
  }
  expect_grouped_by_start(starts);
  std::sort(read.begin(), read.end());
  EXPECT_EQ(relationships_of(db), read);
}

TEST(Export, JsonLinesParseBack) {
  TempDir dir;
  Database db = awkward_graph();
  optimize_layout(db);
  export_graph(db, dir.file("j"), "jsonl");
  EXPECT_EQ((std::vector<std::string>{"nodes.jsonl", "rels.jsonl"}), [&] {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.file("j"))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }());

  const std::vector<nlohmann::json> nodes = read_jsonl_file(dir.file("j/nodes.jsonl"));
  ASSERT_EQ(db.graph.node_count, nodes.size());
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    EXPECT_EQ(id, nodes[id].at("id").get<std::uint32_t>());
    EXPECT_EQ(db.node_type_name(db.graph.labels[id]), nodes[id].at("label"));
    EXPECT_EQ(db.node_properties(id), nodes[id].at("properties"));
  }
  std::ifstream raw(dir.file("j/nodes.jsonl"));
  std::string first;
  std::getline(raw, first);
  EXPECT_EQ("{\"id\":0,\"label\":\"Person\",\"properties\":{}}", first);

  std::vector<Rel> read;
  for (const nlohmann::json& r : read_jsonl_file(dir.file("j/rels.jsonl"))) {
    EXPECT_EQ((std::vector<std::string>{"dst", "src", "type"}), [&] {
      std::vector<std::string> keys;
      for (const auto& [k, v] : r.items()) keys.push_back(k);
      return keys;
    }());
    read.emplace_back(r.at("src").get<std::uint32_t>(), r.at("dst").get<std::uint32_t>(), r.at("type"));
  }
  std::sort(read.begin(), read.end());
  EXPECT_EQ(relationships_of(db), read);
}

TEST(Export, ExactExportLayoutOfASmallGraph) {
  TempDir dir;
  Database db;
  db.add_person("a", 0);
  std::string name = "b";
  db.add_labeled_node("T", name, {{"z", 1}, {"a", "x\"y"}}, 0);
  db.graph.add_edge(1, 0, db.follows_type);
  db.graph.add_edge(0, 1, db.authored_type);
  db.graph.add_edge(0, 0, db.follows_type);
  db.compile();
  export_graph(db, dir.file("e"), "csv");
  std::ifstream nodes(dir.file("e/nodes.csv")), rels(dir.file("e/rels.csv"));
  std::stringstream n, r;
  n << nodes.rdbuf();
  r << rels.rdbuf();
  EXPECT_EQ(
      ":ID,:LABEL,properties:json\n0,\"Person\",\"{\"\"name\"\":\"\"a\"\"}\"\n"
      "1,\"T\",\"{\"\"a\"\":\"\"x\\\"\"y\"\",\"\"z\"\":1}\"\n",
      n.str());
  EXPECT_EQ(":START_ID,:END_ID,:TYPE\n0,0,\"FOLLOWS\"\n0,1,\"AUTHORED\"\n1,0,\"FOLLOWS\"\n", r.str());
}

TEST(Export, EmptyGraphAndNoRelationships) {
  TempDir dir;
  Database empty;
  empty.compile();
  export_graph(empty, dir.file("a/b/c"), "csv");  // parents are created
  EXPECT_EQ(":START_ID,:END_ID,:TYPE\n", [&] {
    std::ifstream in(dir.file("a/b/c/rels.csv"));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }());
  Database lonely;
  lonely.add_person("x", 0);
  lonely.compile();
  export_graph(lonely, dir.file("j/"), "jsonl");  // a trailing separator names the same directory
  EXPECT_EQ(0u, fs::file_size(dir.file("j/rels.jsonl")));
  EXPECT_EQ(1u, read_jsonl_file(dir.file("j/nodes.jsonl")).size());
  EXPECT_TRUE(staging_entries(dir.path()).empty());
  EXPECT_TRUE(staging_entries(dir.file("a/b")).empty());
}

TEST(Export, RefusesBadRequestsBeforeWriting) {
  TempDir dir;
  Database db = awkward_graph();
  fs::create_directory(dir.file("empty_dir"));
  std::ofstream(dir.file("file")) << "keep";
  fs::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  const std::string exists = "export destination already exists; choose a new directory";
  const struct {
    std::string destination;
    std::string format;
    std::string message;
  } cases[] = {
      {"", "csv", "export destination is required"},
      {dir.file("x"), "CSV", "export format must be csv or jsonl"},
      {dir.file("x"), "", "export format must be csv or jsonl"},
      {dir.file("empty_dir"), "csv", exists},
      {dir.file("file"), "jsonl", exists},
      {dir.file("dangling"), "csv", exists},
      {dir.file("empty_dir/../file"), "csv", exists},
  };
  for (const auto& c : cases) {
    try {
      export_graph(db, c.destination, c.format);
      ADD_FAILURE() << "no error for " << c.destination;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(c.message, e.what()) << c.destination;
    }
  }
  EXPECT_TRUE(fs::is_empty(dir.file("empty_dir")));
  EXPECT_FALSE(fs::exists(dir.file("nowhere")));
  EXPECT_FALSE(fs::exists(dir.file("x")));
  EXPECT_TRUE(staging_entries(dir.path()).empty());

  Database uncompiled;
  uncompiled.add_person("p", 0);
  EXPECT_THROW(
      {
        try {
          export_graph(uncompiled, dir.file("y"), "csv");
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ("compile the graph before exporting", e.what());
          throw;
        }
      },
      std::runtime_error);
}

TEST(Export, StagingFailureIsReported) {
  // The destination's parent is a regular file, so no staging directory can
  // be made beside the destination (this holds for root as well).
  TempDir dir;
  std::ofstream(dir.file("plainfile")) << "x";
  Database db = awkward_graph();
  try {
    export_graph(db, dir.file("plainfile/out"), "csv");
    ADD_FAILURE() << "export below a regular file succeeded";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("cannot create private export staging directory", e.what());
  }
}

TEST(Export, RacingExportsPublishExactlyOnce) {
  TempDir dir;
  Database db;
  generate_corpus(db, 3000, 1000, 5, false);
  int publish_failures = 0;
  for (int round = 0; round < 6; ++round) {
    const std::string dest = dir.file("race" + std::to_string(round));
    std::latch start(2);
    std::string errors[2];
    bool published[2] = {false, false};
    auto run = [&](int i) {
      start.arrive_and_wait();
      try {
        export_graph(db, dest, i == 0 ? "csv" : "jsonl");
        published[i] = true;
      } catch (const std::exception& e) {
        errors[i] = e.what();
      }
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    ASSERT_NE(published[0], published[1]) << errors[0] << " / " << errors[1];
    const std::string& error = errors[published[0] ? 1 : 0];
    if (error.starts_with("cannot publish export; destination must not exist: ")) {
      ++publish_failures;
    } else {
      EXPECT_EQ("export destination already exists; choose a new directory", error);
    }
    // The winner's files are complete, never a mixture of both formats.
    const bool csv = published[0];
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(dest)) {
      ++files;
      EXPECT_EQ(csv ? ".csv" : ".jsonl", e.path().extension().string());
    }
    EXPECT_EQ(2u, files);
    EXPECT_TRUE(staging_entries(dir.path()).empty());
  }
  // Both threads pass the existence check long before either has written
  // its files, so the no-replace rename is what decides most rounds.
  EXPECT_GT(publish_failures, 0);
}

TEST(WriteCsvFiles, BenchmarkLayoutOfAGeneratedCorpus) {
  TempDir dir;
  Database db;
  generate_corpus(db, 6, 3, 42, true);
  write_csv_files(db, dir.file("bench/data"), true);
  const std::vector<CsvRecord> nodes = read_csv_file(dir.file("bench/data/nodes.csv"));
  ASSERT_EQ(db.graph.node_count + 1, nodes.size());
  const std::vector<std::string> header = nodes[0].fields;
  EXPECT_EQ((std::vector<std::string>{"id:ID", "name", "topic:int", "emb:float[]", ":LABEL"}), header);
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    const CsvRecord& r = nodes[id + 1];
    ASSERT_EQ(5u, r.fields.size());
    EXPECT_EQ(std::to_string(id), typed_csv_value(r.fields[0], header_type(header[0])));
    EXPECT_EQ(db.names[id], typed_csv_value(r.fields[1], header_type(header[1])));
    EXPECT_EQ(db.topics[id], typed_csv_value(r.fields[2], header_type(header[2])));
    const nlohmann::json emb = typed_csv_value(r.fields[3], header_type(header[3]));
    ASSERT_EQ(kEmbeddingDim, emb.size());
    for (std::size_t k = 0; k < kEmbeddingDim; ++k) {
      EXPECT_NEAR(db.embedding(id)[k], emb[k].get<double>(), 1e-5);  // 6 significant digits
    }
    EXPECT_EQ(db.node_type_name(db.graph.labels[id]), r.fields[4]);
  }
  EXPECT_EQ(db.graph.out_targets.size() + 1, read_csv_file(dir.file("bench/data/rels.csv")).size());

  Database custom = awkward_graph();
  try {
    write_csv_files(custom, dir.file("custom"), true);
    ADD_FAILURE() << "custom labels accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("benchmark layout is for generated Person/Paper corpora only", e.what());
  }
  EXPECT_FALSE(fs::exists(dir.file("custom/nodes.csv")));
}

TEST(WriteCsvFiles, UnwritableDirectory) {
  TempDir dir;
  std::ofstream(dir.file("plainfile")) << "x";
  Database db = awkward_graph();
  try {
    write_csv_files(db, dir.file("plainfile/sub"), false);
    ADD_FAILURE() << "wrote below a file";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("cannot write nodes.csv", e.what());
  }
}

}  // namespace
}  // namespace orvane
