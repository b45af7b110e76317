// Export: the exact text of both layouts, both imported back as the graph
// they came from (every label, relationship identity and property type), the
// destination rules, racing exports publishing once, and the benchmark
// layout read back through our CSV reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
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

// What an export carries, one line per node and relationship: identity and
// id, labels in order, typed JSON properties (whose text tells 3 from 3.0),
// relationships by identity and id; then the Person and Paper counts.
std::string contents(const Database& db) {
  std::string out;
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    out += std::to_string(id) + "#" + std::to_string(db.node_id(id));
    for (const std::uint16_t label : db.graph.labels_of(id)) out += ":" + db.node_type_name(label);
    out += " " + db.node_properties(id).dump() + "\n";
  }
  for (std::uint32_t rel = 0; rel < db.graph.edges.size(); ++rel) {
    const Edge& e = db.graph.edges[rel];
    out += "r" + std::to_string(rel) + "#" + std::to_string(db.relationship_id(rel)) + " " + std::to_string(e.src) + "-" + db.rel_types[e.type] + "->" +
           std::to_string(e.dst) + " " + db.relationship_properties(rel).dump() + "\n";
  }
  return out + std::to_string(db.people) + " " + std::to_string(db.papers);
}

nlohmann::json typed(const char* type, const char* text) { return {{"$type", type}, {"_value", text}}; }

// Every property type, each key on node 0; further nodes leave keys out,
// hold other values of the same type, or another type ("mixed").
Database every_type_graph() {
  const struct {
    const char* key;
    nlohmann::json value;  // typed JSON
  } values[] = {
      {"big", typed("Integer", "9007199254740993")},
      {"min", std::numeric_limits<std::int64_t>::min()},
      {"f", 2.5},
      {"whole", 3.0},
      {"nan", typed("Float", "NaN")},
      {"inf", typed("Float", "-Infinity")},
      {"yes", true},
      {"text", "say \"hi\",\nthen; leave"},
      {"empty", ""},
      {"ints", {1, -2, std::numeric_limits<std::int64_t>::max()}},
      {"floats", {0.5, 1.0, -1e300}},
      {"bools", {true, false}},
      {"texts", {"a", "b, c", "\"q\"", ""}},
      {"semis", {"a;b", "c"}},
      {"one_empty", {""}},
      {"none", nlohmann::json::array()},
      {"d", typed("Date", "2024-02-29")},
      {"lt", typed("LocalTime", "12:30:00.000000001")},
      {"t", typed("Time", "23:59:59+05:30")},
      {"ldt", typed("LocalDateTime", "1969-12-31T23:59:59.5")},
      {"dt", typed("OffsetDateTime", "2024-03-31T02:30:00-04:00")},
      {"zdt", typed("ZonedDateTime", "2024-03-31T03:30:00+02:00[Europe/Paris]")},
      {"dur", typed("Duration", "P1Y2M3DT4H5M6.000000007S")},
      {"p2", typed("Point", "SRID=7203;POINT (1.5 -2.0)")},
      {"p3", typed("Point", "SRID=9157;POINT Z (1.0 2.0 3.0)")},
      {"geo", typed("Point", "SRID=4326;POINT (12.5 56.25)")},
      {"geo3", typed("Point", "SRID=4979;POINT Z (12.5 56.25 100.0)")},
      {"dates", {typed("Date", "2000-01-01"), typed("Date", "-0044-03-15")}},
      {"places", {typed("Point", "SRID=4326;POINT (1.0 2.0)"), typed("Point", "SRID=4326;POINT (3.0 4.0)")}},
      {"bytes", typed("Base64", "AAEC/w==")},
      {"mixed", 1},
      {"a:b", "colon in the key"},
      {"properties", "a key named like the JSON column"},
  };
  nlohmann::json all = nlohmann::json::object();
  for (const auto& v : values) all[v.key] = v.value;
  Database db;
  std::string name;
  db.add_labeled_node(std::vector<std::string>{"Person", "Admin", "Ünï, \"code\""}, name, all, 0);
  name.clear();
  db.add_labeled_node(std::vector<std::string>{}, name,
                      {{"mixed", "one"}, {"empty", "x"}, {"geo", typed("Point", "SRID=7203;POINT (0.0 0.0)")},
                       {"none", {7}}, {"texts", nlohmann::json::array()}},
                      0);
  name.clear();
  db.add_labeled_node(std::vector<std::string>{"Admin", "Person"}, name, nlohmann::json::object(), 0);
  db.add_paper("paper", 4);
  const std::uint16_t knows = db.add_rel_type("KNOWS, \"really\"");
  db.graph.add_edge(3, 0, db.authored_type);
  for (int i = 0; i < 2; ++i) db.graph.add_edge(0, 1, knows);  // parallel
  db.graph.add_edge(1, 1, db.follows_type);
  db.graph.add_edge(0, 1, knows);
  db.set_relationship_properties(1, {{"since", typed("Date", "2020-01-02")}, {"w", 0.25}, {"mixed", 1}});
  db.set_relationship_properties(2, {{"since", typed("Date", "2021-01-02")}, {"mixed", "x"}, {"empty", ""}});
  db.set_relationship_properties(4, {{"w", 2.0}, {"tags", {"a", "b"}}});
  db.compile();
  return db;
}

std::string first_line(const std::string& path) {
  const std::string text = read_text_file(path);
  return text.substr(0, text.find('\n'));
}

// Both formats give the whole graph back, scattered or not; the CSV header
// shows which keys got typed columns and which went to properties:json.
TEST(Export, EveryTypeLabelAndRelationshipImportsBack) {
  TempDir dir;
  Database db = every_type_graph();
  const std::string expected = contents(db);
  for (const char* format : {"csv", "jsonl"}) {
    for (const bool scattered : {false, true}) {
      SCOPED_TRACE(std::string(format) + (scattered ? " scattered" : ""));
      if (scattered) scatter_layout(db.graph, 3);
      const std::string out = dir.file(std::string(format) + (scattered ? "s" : ""));
      export_graph(db, out, format);
      const Database back = import_neo4j_export(out);
      EXPECT_EQ(expected, contents(back));
      for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
        EXPECT_TRUE(db.node_store.same_properties(id, back.node_store, id)) << id;
      }
    }
  }
  // A graph that kept its source's ids (in any order) keeps them through
  // both formats; relationships created after the import follow the
  // largest id.
  Database ided = every_type_graph();
  ASSERT_TRUE(ided.node_ids.assign({100, 7, 55, 3}) && ided.rel_ids.assign({9, 8, 70, 71}));
  ided.graph.add_edge(2, 3, ided.follows_type);
  ided.compile();
  EXPECT_EQ(72u, ided.relationship_id(4));
  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(std::string(format) + " with ids");
    export_graph(ided, dir.file(std::string(format) + "-ids"), format);
    EXPECT_EQ(contents(ided), contents(import_neo4j_export(dir.file(std::string(format) + "-ids"))));
  }
  EXPECT_EQ(":START_ID,:END_ID,:TYPE,relationshipId:IGNORE,empty:string,since:date,tags:string[],w:double,"
            "properties:json",
            first_line(dir.file("csv-ids/rels.csv")));
  EXPECT_EQ(
      ":ID,:LABEL,big:long,bools:boolean[],d:date,dates:date[],dt:datetime,dur:duration,empty:string,f:double,"
      "floats:double[],geo:point,geo3:point,ints:long[],ldt:localdatetime,lt:localtime,min:long,name:string,"
      "none:long[],p2:point,p3:point,places:point[],t:time,text:string,texts:string[],whole:double,yes:boolean,"
      "zdt:datetime,properties:json",
      first_line(dir.file("csv/nodes.csv")));
  EXPECT_EQ(":START_ID,:END_ID,:TYPE,empty:string,since:date,tags:string[],w:double,properties:json",
            first_line(dir.file("csv/rels.csv")));
}

// A small graph pinned as text in both formats, and an empty one.
TEST(Export, ExactTextOfBothFormats) {
  TempDir dir;
  Database db;
  db.add_person("a", 0);
  std::string name = "b";
  db.add_labeled_node("T", name, {{"z", 1}, {"a", "x\"y"}}, 0);
  db.graph.add_edge(1, 0, db.follows_type);
  db.graph.add_edge(0, 1, db.authored_type);
  db.graph.add_edge(1, 0, db.follows_type);
  db.set_relationship_properties(2, {{"w", 0.5}, {"at", typed("Point", "SRID=4326;POINT (1.0 2.0)")}});
  db.compile();
  export_graph(db, dir.file("c"), "csv");
  export_graph(db, dir.file("j"), "jsonl");
  const struct {
    const char* file;
    const char* text;
  } cases[] = {
      {"c/nodes.csv", ":ID,:LABEL,a:string,name:string,z:long\n0,\"Person\",,\"a\",\n1,\"T\",\"x\"\"y\",,1\n"},
      {"c/rels.csv",
       ":START_ID,:END_ID,:TYPE,at:point,w:double\n1,0,\"FOLLOWS\",,\n0,1,\"AUTHORED\",,\n"
       "1,0,\"FOLLOWS\",\"{crs:'wgs-84',longitude:1.0,latitude:2.0}\",0.5\n"},
      {"j/nodes.jsonl",
       "{\"id\":0,\"labels\":[\"Person\"],\"properties\":{\"name\":\"a\"}}\n"
       "{\"id\":1,\"labels\":[\"T\"],\"properties\":{\"a\":\"x\\\"y\",\"z\":1}}\n"},
      {"j/rels.jsonl",
       "{\"id\":0,\"src\":1,\"dst\":0,\"type\":\"FOLLOWS\",\"properties\":{}}\n"
       "{\"id\":1,\"src\":0,\"dst\":1,\"type\":\"AUTHORED\",\"properties\":{}}\n"
       "{\"id\":2,\"src\":1,\"dst\":0,\"type\":\"FOLLOWS\",\"properties\":"
       "{\"at\":{\"$type\":\"Point\",\"_value\":\"SRID=4326;POINT (1.0 2.0)\"},\"w\":0.5}}\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, read_text_file(dir.file(c.file))) << c.file;

  Database empty;
  empty.compile();
  export_graph(empty, dir.file("a/e/"), "jsonl");  // parents are created; a trailing separator is the same directory
  EXPECT_EQ(0u, fs::file_size(dir.file("a/e/rels.jsonl")));
  export_graph(empty, dir.file("a/c"), "csv");
  EXPECT_EQ(":START_ID,:END_ID,:TYPE\n", read_text_file(dir.file("a/c/rels.csv")));
  EXPECT_FALSE(has_staging_entry(dir.path()) || has_staging_entry(dir.file("a")));
}

// The awkward graph scattered, so that positions differ from identities,
// imports back, and so does an export of the layout older versions wrote.
TEST(Export, AwkwardTextsAndTheOldLayoutImportBack) {
  TempDir dir;
  Database awkward = awkward_graph();
  scatter_layout(awkward.graph, 7);
  for (const char* format : {"csv", "jsonl"}) {
    export_graph(awkward, dir.file(format), format);
    EXPECT_EQ(contents(awkward), contents(import_neo4j_export(dir.file(format)))) << format;
  }
  fs::create_directory(dir.file("old"));
  testing::write_text_file(dir.file("old/nodes.csv"),
                           ":ID,:LABEL,properties:json\n5,\"Person\",\"{\"\"name\"\":\"\"a\"\"}\"\n"
                           "2,\"T\",\"{\"\"a\"\":\"\"x\\\"\"y\"\",\"\"z\"\":1}\"\n");
  testing::write_text_file(dir.file("old/rels.csv"), ":START_ID,:END_ID,:TYPE\n5,5,\"FOLLOWS\"\n2,5,\"X\"\n");
  // The nodes keep their numbers as ids.
  EXPECT_EQ("0#5:Person {\"name\":\"a\"}\n1#2:T {\"a\":\"x\\\"y\",\"z\":1}\nr0#0 0-FOLLOWS->0 {}\nr1#1 1-X->0 {}\n1 0",
            contents(import_neo4j_export(dir.file("old"))));
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
