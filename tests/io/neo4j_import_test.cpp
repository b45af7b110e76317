// The export-directory and single-file imports over small files written by
// the test: what each node and relationship becomes, every refusal's exact
// message with the file, line and column it names. The bridge side with
// stand-in bridges (shell scripts run as PYTHON=/bin/sh); the pull bridge,
// its credentials file and its directory checks are shown through the
// migrate command's tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/bridge.h"
#include "io/import_position.h"
#include "io/neo4j_import.h"
#include "support/error_text.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"
#include "support/scoped_env.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::error_of;
using testing::read_text_file;
using testing::ScopedEnv;
using testing::TempDir;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kNodesCsv = ":ID,:LABEL,properties:json\n1,Person,\"{\"\"name\"\":\"\"Ada\"\"}\"\n2,Person,{}\n";
// "labels|name|topic|properties" per node in identity order (labels joined
// by ":"), then the relationships in identity order, with their properties
// when they have any.
std::string describe(const Database& db) {
  std::string out;
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
    std::string labels;
    for (const std::uint16_t l : db.graph.labels_of(i)) labels += (labels.empty() ? "" : ":") + db.node_type_name(l);
    out += labels + "|" + db.names[i] + "|" + std::to_string(db.topics[i]) + "|" + db.node_properties(i).dump() + "\n";
  }
  for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) {
    const Edge& e = db.graph.edges[r];
    const nlohmann::json& props = db.relationship_properties(r);
    if (r > 0) out += " ";
    out += std::to_string(e.src) + "-[" + db.rel_type_name(e.type) + (props.empty() ? "" : " " + props.dump()) +
           "]->" + std::to_string(e.dst);
  }
  return out;
}

struct ImportCase {
  const char* what;
  Files files;
  std::string expected;  // describe() of the result, or the exact error message ({dir}: the directory)
};

void expect_imports(const std::vector<ImportCase>& cases) {
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    for (const auto& [name, text] : c.files) testing::write_text_file(dir.file(name), text);
    std::string expected = c.expected;
    if (const auto at = expected.find("{dir}"); at != std::string::npos) expected.replace(at, 5, dir.path());
    Database db;
    const std::string error = testing::error_of([&] { db = import_neo4j_export(dir.path()); });
    EXPECT_EQ(expected, error.empty() ? describe(db) : error);
    EXPECT_TRUE(!error.empty() || db.graph.compiled);
  }
}

// A JSON array of `count` copies of `value`.
std::string embedding(int count, const std::string& value) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) text += (i ? "," : "") + value;
  return text + "]";
}

TEST(Neo4jImport, ReadsEachLayoutAndFormat) {
  const std::vector<ImportCase> cases = {
      {"JSON lines, both node shapes",
       {{"nodes.jsonl",
         "{\"id\":1,\"labels\":[\"Movie\"],\"properties\":{\"title\":\"Up\",\"topic\":3}}\n\n"
         "{\"id\":\"x\",\"label\":\"User\",\"type\":\"node\",\"username\":\"u1\",\"age\":4}\r\n"},
        {"rels.jsonl", "{\"src\":1,\"dst\":\"x\",\"type\":\"RATED\"}\n"}},
       "Movie|Up|3|{\"title\":\"Up\",\"topic\":3}\nUser|u1|0|{\"age\":4,\"username\":\"u1\"}\n0-[RATED]->1"},
      {"CSV nodes with JSON-lines relationships, CSV preferred over JSON lines",
       {{"nodes.csv", kNodesCsv}, {"nodes.jsonl", "not read"}, {"relationships.jsonl", "{\"src\":2,\"dst\":1,\"type\":\"X\"}"}},
       "Person|Ada|0|{\"name\":\"Ada\"}\nPerson|Person-1|0|{}\n1-[X]->0"},
      {"a nodes.csv whose first byte is {",
       {{"nodes.csv", "\r\n \t{\"id\":5,\"labels\":\"A\"}\n"}, {"relationships.csv", ":START_ID,:END_ID,:TYPE\n"}},
       "A|A-0|0|{}\n"},
      {"byte-order mark before the headers",
       {{"nodes.csv", "\xEF\xBB\xBF:ID,:LABEL\n1,A\n2,A\n"}, {"rels.csv", "\xEF\xBB\xBF:START_ID,:END_ID,:TYPE\n1,2,R\n"}},
       "A|A-0|0|{}\nA|A-1|0|{}\n0-[R]->1"},
      {"CSV 007 and JSON 7 are different nodes; CSV 7 is JSON 7",
       {{"nodes.csv", ":ID,:LABEL\n007,A\n7,A\n"}, {"rels.jsonl", "{\"src\":7,\"dst\":\"007\",\"type\":\"T\"}\n"}},
       "A|A-0|0|{}\nA|A-1|0|{}\n1-[T]->0"},
      {"source numbers in order, then out of order, huge and zero-padded",
       {{"nodes.csv", ":ID,:LABEL\n0,A\n1,A\n999999999,A\n2,A\n02,A\n123456789012,A\n"},
        {"rels.csv", ":START_ID,:END_ID,:TYPE\n2,999999999,R\n02,0,R\n123456789012,1,R\n999999999,2,R\n"}},
       "A|A-0|0|{}\nA|A-1|0|{}\nA|A-2|0|{}\nA|A-3|0|{}\nA|A-4|0|{}\nA|A-5|0|{}\n"
       "3-[R]->2 4-[R]->0 5-[R]->1 2-[R]->3"},
      {"typed columns, a named identity column and conventional names",
       {{"nodes.csv",
         "id:ID(Person),labels,title,n:int,x:float,ok:boolean,tags:string[],name:json\n"
         "a,Doc,T1,-3,2.5,true,p;;q,\"[1]\"\n"
         "\n"
         "b,Doc,,,,,,\n"
         "c,Doc,\"\",,,,,\n"},
        {"relationships.csv", "src,dst,type\na,b,REF\nb,a,REF\na,b,SEE\n"}},
       "Doc|T1|0|{\"id\":\"a\",\"n\":-3,\"name\":[1],\"ok\":true,\"tags\":[\"p\",\"\",\"q\"],\"title\":\"T1\",\"x\":2.5}\n"
       "Doc|Doc-1|0|{\"id\":\"b\"}\n"
       "Doc|Doc-2|0|{\"id\":\"c\",\"title\":\"\"}\n"
       "0-[REF]->1 1-[REF]->0 0-[SEE]->1"},
      {"later columns overwrite properties of the object column",
       {{"nodes.csv", ":ID,props:json,hostname,:LABEL,topic:int\n1,\"{\"\"hostname\"\":\"\"h0\"\",\"\"k\"\":1}\",h1,H,9\n"},
        {"rels.csv", ":START_ID,:END_ID,:TYPE\n"}},
       "H|h1|9|{\"hostname\":\"h1\",\"k\":1,\"topic\":9}\n"},
      {"relationship CSV with an empty extra column",
       {{"nodes.csv", ":ID,:LABEL\n1,A\n2,A\n"}, {"rels.csv", ":START_ID,:END_ID,:TYPE,since:int\n1,2,R,\n2,1,R,\n"}},
       "A|A-0|0|{}\nA|A-1|0|{}\n0-[R]->1 1-[R]->0"},
      {"Neo4j's JSON relationship shape",
       {{"nodes.jsonl", "{\"id\":\"1\",\"labels\":[\"P\"]}\n{\"id\":\"2\",\"labels\":[\"P\"]}\n"},
        {"rels.jsonl",
         "{\"type\":\"relationship\",\"label\":\"KNOWS\",\"start\":{\"id\":\"1\"},\"end\":{\"id\":\"2\"},"
         "\"properties\":{}}\n{\":TYPE\":\"LIKES\",\":START_ID\":\"2\",\":END_ID\":\"1\",\"properties\":null}\n"}},
       "P|P-0|0|{}\nP|P-1|0|{}\n0-[KNOWS]->1 1-[LIKES]->0"},
      {"Person and Paper labels with numeric and JSON names",
       {{"nodes.jsonl", "{\"id\":1,\"label\":\"Person\",\"name\":42}\n{\"id\":2,\"label\":\"Paper\",\"title\":\"T\"}\n"},
        {"rels.jsonl", ""}},
       "Person|42|0|{\"name\":42}\nPaper|T|0|{\"title\":\"T\"}\n"},
  };
  expect_imports(cases);
}

TEST(Neo4jImport, EmbeddingKeys) {
  const TempDir dir;
  testing::write_text_file(dir.file("nodes.jsonl"), "{\"id\":1,\"label\":\"Person\",\"emb\":" + embedding(32, "1") +
                                                     ",\"embedding\":" + embedding(32, "2") + "}\n"
                                                     "{\"id\":2,\"label\":\"Paper\"}\n{\"id\":3,\"label\":\"Paper\"}\n");
  testing::write_text_file(dir.file("rels.jsonl"), "");
  const Database db = import_neo4j_export(dir.path());
  EXPECT_EQ(2.0f, db.embedding(0)[31]);  // "embedding" is read after "emb"
  EXPECT_EQ(32u, db.node_properties(0).at("emb").size());
}

// Where each node's embedding came from, after the width the import chose:
// "WIDTH: SOURCE ..." with SOURCE the property it was read from ("embedding"
// or "emb"), "seeded" for the embedding the node would have without one,
// "?" for anything else.
std::string embedding_sources(const Database& db) {
  std::string out = std::to_string(db.embedding_dim) + ":";
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
    const std::vector<float> got(db.embedding(i).begin(), db.embedding(i).end());
    std::vector<float> seeded(db.embedding_dim);
    seed_embedding(seeded.data(), seeded.size(), db.topics[i], static_cast<std::uint32_t>(i * 2654435761ull));
    std::string source = got == seeded ? "seeded" : "?";
    for (const char* key : {"emb", "embedding"}) {
      const nlohmann::json& value = db.node_properties(i).value(key, nlohmann::json());
      if (!value.is_array() || !std::ranges::all_of(value, [](const auto& v) { return v.is_number(); })) continue;
      const std::vector<float> listed = value.get<std::vector<float>>();
      if (listed == got) source = key;
    }
    out += " " + source;
  }
  return out;
}

// The width comes from the first node with a list of numbers; other lists
// and other values stay properties (embedding_sources shows they are still
// there) and never stop the import.
TEST(Neo4jImport, EmbeddingWidthComesFromTheData) {
  const auto node = [](int id, const std::string& members) {
    return "{\"id\":" + std::to_string(id) + ",\"label\":\"A\",\"topic\":" + std::to_string(id) + members + "}\n";
  };
  const std::string wide = embedding(1536, "0.25"), three = "[1,2,3]";
  struct Case {
    const char* what;
    std::string nodes;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"1536 values; the nodes before and after without one are seeded at 1536",
       node(1, "") + node(2, ",\"embedding\":" + wide) + node(3, "") + node(4, ",\"emb\":" + wide),
       "1536: seeded embedding seeded emb"},
      {"3 values", node(1, ",\"emb\":" + three) + node(2, ",\"emb\":[3,2.5,-1]"), "3: emb emb"},
      {"mixed lengths: the first list decides, the others stay properties",
       node(1, ",\"embedding\":" + three) + node(2, ",\"embedding\":" + wide) + node(3, ",\"embedding\":[1,2]") +
           node(4, ",\"embedding\":[0,0,7]") + node(5, ",\"embedding\":[1e39,1,1,1]"),
       "3: embedding seeded seeded embedding seeded"},
      {"values that are no list of numbers leave the width at 32",
       node(1, ",\"embedding\":\"0.1,0.2\"") + node(2, ",\"embedding\":[\"a\",\"b\"]") +
           node(3, ",\"embedding\":{\"x\":1}") + node(4, ",\"embedding\":[]") + node(5, ",\"emb\":[1,true]") +
           node(6, ",\"embedding\":7") + node(7, ",\"emb\":[[1],[2]]"),
       "32: seeded seeded seeded seeded seeded seeded seeded"},
      {"then a list of numbers fixes it",
       node(1, ",\"embedding\":\"x\"") + node(2, ",\"emb\":[1,2]") + node(3, ",\"emb\":" + three),
       "2: seeded emb seeded"},
      {"embedding wins over emb; emb serves when embedding has another width",
       node(1, ",\"emb\":[4,5],\"embedding\":" + three) + node(2, ",\"emb\":[7,8,9],\"embedding\":[1,2]"),
       "3: embedding emb"},
      {"32 values, as every generated corpus has", node(1, ",\"emb\":" + embedding(32, "0.5")), "32: emb"},
      {"more than 65536 values is no embedding", node(1, ",\"emb\":" + embedding(65537, "1")), "32: seeded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    testing::write_text_file(dir.file("nodes.jsonl"), c.nodes);
    testing::write_text_file(dir.file("rels.jsonl"), "");
    const Database db = import_neo4j_export(dir.path());
    EXPECT_EQ(c.expected, embedding_sources(db));
    EXPECT_EQ(db.embedding_dim * db.graph.node_count, db.embeddings.size());
  }
  // A typed CSV column: its ";"-separated floats.
  const TempDir dir;
  testing::write_text_file(dir.file("nodes.csv"), "id:ID,emb:float[],:LABEL\n1,0.5;1.5;2;-3,A\n2,,A\n");
  testing::write_text_file(dir.file("rels.csv"), ":START_ID,:END_ID,:TYPE\n");
  EXPECT_EQ("4: emb seeded", embedding_sources(import_neo4j_export(dir.path())));
}

// Refusals need no description: the message is one.
void expect_refusals(const std::vector<std::pair<Files, std::string>>& cases) {
  std::vector<ImportCase> described;
  for (const auto& [files, message] : cases) described.push_back({message.c_str(), files, message});
  expect_imports(described);
}

TEST(Neo4jImport, RefusesEveryInvalidInputWithItsMessage) {
  const auto node_line = [](const std::string& line) { return Files{{"nodes.jsonl", line + "\n"}}; };
  const auto rels = [](const char* file, const std::string& text) {
    return Files{{"nodes.csv", ":ID,:LABEL\n1,A\n2,A\n"}, {file, text}};
  };
  const std::string head = ":START_ID,:END_ID,:TYPE", missing = "relationship references a missing node",
                    identity = "node or relationship identity must be a string or integer";
  expect_refusals({
      {{{"rels.csv", head + "\n"}}, "cannot read nodes.csv or nodes.jsonl in {dir}"},
      {{{"nodes.csv", kNodesCsv}}, "cannot read relationships.csv or rels.jsonl in {dir}"},
      {node_line("{\"label\":\"A\"}"), "nodes.jsonl line 1: invalid node JSONL record"},
      {node_line("[1]"), "nodes.jsonl line 1: invalid node JSONL record"},
      {node_line("{\"id\":1,\"labels\":5}"), "nodes.jsonl line 1: node label must be a string"},
      {node_line("{\"id\":1,\"labels\":[\"A\",2]}"), "nodes.jsonl line 1: node label must be a string"},
      {node_line("{\"id\":1,\"label\":\"A\",\"properties\":[]}"), "nodes.jsonl line 1: node properties must be an object"},
      {node_line("{\"id\":1.5,\"label\":\"A\"}"), "nodes.jsonl line 1: " + identity},
      {{{"nodes.csv", ""}}, "nodes.csv: node CSV header is missing"},
      {{{"nodes.csv", ":ID,:LABEL,n,n:int\n"}}, "nodes.csv line 1: duplicate CSV property header: n"},
      {{{"nodes.csv", "name,:LABEL\n"}}, "nodes.csv line 1: node CSV requires an identity column"},
      {{{"nodes.csv", ":ID,:LABEL,x\n1,A\n"}}, "nodes.csv line 2: CSV row does not match its header"},
      {{{"nodes.csv", ":ID,:LABEL,properties:json\n1,A,[1]\n"}},
       "nodes.csv line 2, column 3 (properties): properties:json must contain an object"},
      {{{"nodes.csv", ":ID,:LABEL\n1,A\n1,B\n"}}, "nodes.csv line 3: missing or duplicate node identity: 1"},
      {{{"nodes.csv", ":ID,:LABEL\n,A\n"}}, "nodes.csv line 2: missing or duplicate node identity: "},
      // 1e39 is a finite number in JSON but no finite float.
      {node_line("{\"id\":\"n1\",\"label\":\"A\",\"emb\":[0.5,1e39]}"),
       "nodes.jsonl line 1: embedding of node n1 must contain finite values"},
      {rels("rels.jsonl", "7\n"), "rels.jsonl line 1: invalid relationship JSONL record"},
      {rels("rels.jsonl", "{\"src\":1,\"dst\":2,\"type\":\"R\",\"properties\":[1]}\n"),
       "rels.jsonl line 1: relationship properties must be an object"},
      {rels("rels.csv", head + ",since:boolean\n1,2,R,x\n"), "rels.csv line 2, column 4 (since): invalid boolean property"},
      {rels("rels.jsonl", "{\"src\":1,\"dst\":2,\"type\":\"relationship\"}\n"),
       "rels.jsonl line 1: relationship type is missing"},
      {rels("rels.csv", head + "\n1,2,\n"), "rels.csv line 2: relationship type is missing"},
      {rels("rels.jsonl", "{\"src\":1,\"type\":\"R\"}\n"), "rels.jsonl line 1: relationship endpoint is missing"},
      {rels("rels.jsonl", "{\"src\":{\"id\":true},\"dst\":2,\"type\":\"R\"}\n"), "rels.jsonl line 1: " + identity},
      {rels("rels.csv", ""), "rels.csv: relationship CSV header is missing"},
      {rels("rels.csv", ":START_ID,:END_ID\n1,2\n"), "rels.csv line 1: relationship CSV requires start, end and type columns"},
      {rels("rels.csv", head + "\n1,2,R,x\n"), "rels.csv line 2: CSV row does not match its header"},
      // Source numbers in order stop at the node count; JSON 7 is not CSV 007.
      {{{"nodes.csv", ":ID,:LABEL\n0,A\n1,A\n"}, {"rels.csv", head + "\n1,0,R\n0,2,R\n"}}, "rels.csv line 3: " + missing},
      {{{"nodes.csv", ":ID,:LABEL\n007,A\n"}, {"rels.jsonl", "{\"src\":7,\"dst\":\"007\",\"type\":\"T\"}\n"}},
       "rels.jsonl line 1: " + missing},
      // a later fault after parallel relationships
      {rels("rels.csv", head + "\n1,2,R\n1,2,R\n1,9,R\n"), "rels.csv line 4: " + missing},
  });
}

struct WholeCase {
  const char* what;
  Files files;
  std::string source;    // the file to import, "" for the directory
  std::string expected;  // describe() of the import, or its error ({src}: the file's path)
};

// Each case imports as it is: every label, relationship property and
// parallel relationship, or the exact error.
void expect_whole(const std::vector<WholeCase>& cases) {
  for (const WholeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    for (const auto& [name, text] : c.files) testing::write_text_file(dir.file(name), text);
    const std::string source = c.source.empty() ? dir.path() : dir.file(c.source);
    std::string expected = c.expected;
    if (const auto at = expected.find("{src}"); at != std::string::npos) expected.replace(at, 5, source);
    Database db;
    std::string got = testing::error_of([&] { db = import_neo4j_source(source); });
    EXPECT_EQ(expected, got.empty() ? describe(db) : got);
  }
}

TEST(Neo4jImport, EveryLabelRelationshipPropertyAndParallelRelationshipComesOver) {
  const std::string apoc_header = "\"_id\",\"_labels\",\"born\",\"name\",\"tags\",\"code\",\"n:int\",\"_start\",\"_end\",\"_type\",\"roles\"\n";
  expect_whole({
      {"JSON lines: several labels, none, a list in a string; properties and parallels",
       {{"nodes.jsonl", "{\"id\":1,\"labels\":[\"A\",\"B\"],\"properties\":{\"name\":\"x\"}}\n{\"id\":2}\n"
                        "{\"id\":3,\"label\":\"C;D;C\"}\n{\"id\":4,\"labels\":[]}\n"},
        {"rels.jsonl", "{\"src\":1,\"dst\":2,\"type\":\"R\",\"properties\":{\"w\":1}}\n{\"src\":1,\"dst\":2,\"type\":\"R\"}\n"
                       "{\"src\":1,\"dst\":2,\"type\":\"R\"}\n{\"src\":2,\"dst\":1,\"type\":\"S\"}\n"}},
       "",
       "A:B|x|0|{\"name\":\"x\"}\n|Node-1|0|{}\nC:D|C-2|0|{}\n|Node-3|0|{}\n"
       "0-[R {\"w\":1}]->1 0-[R]->1 0-[R]->1 1-[S]->0"},
      {"CSV: label lists with empty pieces, an empty label, relationship properties",
       {{"nodes.csv", ":ID,:LABEL\n1,A;;B;\n2,\n"},
        {"rels.csv", ":START_ID,:END_ID,:TYPE,since:int,note\n1,2,R,5,\n2,1,R,,\"\"\n1,2,R,5,\n"}},
       "",
       "A:B|A-0|0|{}\n|Node-1|0|{}\n0-[R {\"since\":5}]->1 1-[R {\"note\":\"\"}]->0 0-[R {\"since\":5}]->1"},
      {"CSV without a label column",
       {{"nodes.csv", "id:ID,name\n1,a\n"}, {"rels.csv", ":START_ID,:END_ID,:TYPE\n"}},
       "",
       "|a|0|{\"id\":\"1\",\"name\":\"a\"}\n"},
      {"APOC JSON: a relationship before its nodes",
       {{"g.json", "{\"id\":\"0\",\"type\":\"relationship\",\"label\":\"KNOWS\",\"properties\":{\"since\":1},"
                   "\"start\":{\"id\":\"1\",\"labels\":[\"U\"]},\"end\":{\"id\":\"0\",\"labels\":[\"U\",\"V\"]}}\n"
                   "{\"type\":\"node\",\"id\":\"0\",\"labels\":[\"U\",\"V\"],\"properties\":{\"name\":\"a\"}}\n"
                   "{\"type\":\"node\",\"id\":\"1\",\"labels\":[\"U\"],\"properties\":{\"name\":\"b\"}}\n"}},
       "g.json",
       "U:V|a|0|{\"name\":\"a\"}\nU|b|0|{\"name\":\"b\"}\n1-[KNOWS {\"since\":1}]->0"},
      {"APOC CSV: columns of mixed values are text, a typed column, a line break, several labels",
       {{"g.csv", apoc_header + "\"1\",\":Person\",\"1964\",\"Keanu\",\"[\"\"a\"\",\"\"b\"\"]\",\"007\",\"5\",,,,\n"
                                "\"2\",\":Movie:Film\",\"true\",\"Up\",\"[oops\",\"a\nb\",\"\",,,,\n"
                                ",,,,,,,\"1\",\"2\",\"ACTED_IN\",\"[\"\"Neo\"\"]\"\n,,,,,,,\"2\",\"1\",\"LIKES\",\"\"\n"}},
       "g.csv",
       "Person|Keanu|0|{\"born\":\"1964\",\"code\":\"007\",\"n\":5,\"name\":\"Keanu\",\"tags\":\"[\\\"a\\\",\\\"b\\\"]\"}\n"
       "Movie:Film|Up|0|{\"born\":\"true\",\"code\":\"a\\nb\",\"name\":\"Up\",\"tags\":\"[oops\"}\n"
       "0-[ACTED_IN {\"roles\":[\"Neo\"]}]->1 1-[LIKES]->0"},
      {"APOC CSV: every untyped column typed once, from all its values",
       {{"g.csv", "_id,_labels,zip,w,n,ok,l,_start,_end,_type\n1,:A,12209,1,1,true,[1],,,\n"
                  "2,:A,WA1 1DP,2.5,2,false,\"[2,3]\",,,\n3,:A,,,,,,,,\n"}},
       "g.csv",
       "A|A-0|0|{\"l\":[1],\"n\":1,\"ok\":true,\"w\":1.0,\"zip\":\"12209\"}\n"
       "A|A-1|0|{\"l\":[2,3],\"n\":2,\"ok\":false,\"w\":2.5,\"zip\":\"WA1 1DP\"}\nA|A-2|0|{}\n"},
      {"APOC JSON as one document", {{"g.jsonl", " [{\"type\":\"node\"}]\n"}}, "g.jsonl",
       "{src}: APOC JSON export must be JSON lines; export with the jsonFormat JSON_LINES"},
      {"APOC JSON line of no kind", {{"g.json", "{\"id\":1,\"labels\":[\"A\"]}\n"}}, "g.json",
       "{src} line 1: APOC JSON line is neither a node nor a relationship (\"type\" must be \"node\" or "
       "\"relationship\")"},
      {"APOC CSV without _type", {{"g.csv", "_id,_labels,_start,_end\n"}}, "g.csv",
       "{src} line 1: APOC CSV export requires the columns _id, _labels, _start, _end and _type"},
      {"APOC CSV with a repeated column", {{"g.csv", "_id,_labels,n,_start,_end,_type,n\n"}}, "g.csv",
       "{src} line 1: duplicate CSV property header: n"},
      {"APOC CSV relationship to a node never defined", {{"g.csv", "_id,_labels,_start,_end,_type\n1,:A,,,\n,,1,2,R\n"}},
       "g.csv", "{src} line 3: relationship references a missing node"},
  });
}

// A bad record deep in a large file must be findable: every refusal names
// the file as the user knows it, the line the record starts on (counting the
// header, blank lines and the line breaks inside quoted fields) and, for one
// field's value, its column and header name. One bad input per row.
TEST(Neo4jImport, NamesTheFileLineAndColumnOfEveryBadRecord) {
  const std::string nodes = ":ID,:LABEL\n1,A\n2,A\n", head = ":START_ID,:END_ID,:TYPE";
  // A header and two good records, the first spanning lines 2 to 4.
  const std::string typed = "id:ID,:LABEL,bio,born:int,score:float,ok:bool,tags:int[]\n"
                            "1,P,\"two\nlines\r\nhere\",1960,0.5,true,1;2\n"
                            "2,P,\"\",,,,\n";
  const std::string apoc_csv = "_id,_labels,note,n:int,_start,_end,_type\n1,:A,\"x\ny\",1,,,\n";
  const std::string apoc_node = "{\"type\":\"node\",\"id\":\"1\",\"labels\":[\"A\"]}\n";
  const std::string apoc_rel = "{\"type\":\"relationship\",\"label\":\"R\",\"start\":{\"id\":\"1\"},\"end\":{\"id\":\"9\"}}\n";
  const struct {
    Files files;
    std::string source;    // the file to import, "" for the directory
    std::string expected;  // the exact message ({src}: the source's path)
  } cases[] = {
      // CSV fields: the bare "stoll" and "stod" of the number conversions become clear.
      {{{"nodes.csv", typed + "3,P,,x1960,,,\n"}}, "", "nodes.csv line 6, column 4 (born): invalid integer property"},
      {{{"nodes.csv", typed + "3,P,,19x0,,,\n"}}, "", "nodes.csv line 6, column 4 (born): invalid integer property"},
      {{{"nodes.csv", typed + "3,P,,9223372036854775808,,,\n"}}, "",
       "nodes.csv line 6, column 4 (born): invalid integer property"},
      {{{"nodes.csv", typed + "3,P,,,high,,\n"}}, "", "nodes.csv line 6, column 5 (score): invalid floating-point property"},
      {{{"nodes.csv", typed + "3,P,,,1e999,,\n"}}, "", "nodes.csv line 6, column 5 (score): invalid floating-point property"},
      {{{"nodes.csv", typed + "3,P,,,,yes,\n"}}, "", "nodes.csv line 6, column 6 (ok): invalid boolean property"},
      {{{"nodes.csv", typed + "3,P,,,,,1;x\n"}}, "", "nodes.csv line 6, column 7 (tags): invalid integer property"},
      {{{"nodes.csv", ":ID,:LABEL,c:money\n\n1,A,x\n"}}, "",
       "nodes.csv line 3, column 3 (c): unsupported CSV property type: money"},
      // Whole records.
      {{{"nodes.csv", typed + "\n\n3,P\n"}}, "", "nodes.csv line 8: CSV row does not match its header"},
      {{{"nodes.csv", typed + "2,P,,,,,\n"}}, "", "nodes.csv line 6: missing or duplicate node identity: 2"},
      {{{"nodes.csv", typed + "3,P,\"open\n,,,,\n"}}, "", "nodes.csv line 6: unterminated quoted CSV field"},
      {{{"nodes.csv", nodes}, {"rels.csv", head + ",note\r\n1,2,R,\"a\r\nb\"\r\n2,3,R,\r\n"}}, "",
       "rels.csv line 4: relationship references a missing node"},
      {{{"nodes.csv", nodes}, {"rels.csv", head + ",w:float\n1,2,R,\n\n2,1,R,w\n"}}, "",
       "rels.csv line 4, column 4 (w): invalid floating-point property"},
      // JSON lines: the line's number, blank lines counted; a parse error keeps its own text.
      {{{"nodes.jsonl", "{\"id\":1}\n\n{oops}\n"}}, "",
       "nodes.jsonl line 3: [json.exception.parse_error.101] parse error at line 1, column 2: syntax error while "
       "parsing object key - invalid literal; last read: '{o'; expected string literal"},
      {{{"nodes.jsonl", "{\"id\":1}\r\n{\"id\":2,\"labels\":[7]}\r\n"}}, "", "nodes.jsonl line 2: node label must be a string"},
      {{{"nodes.csv", nodes}, {"rels.jsonl", "{\"src\":1,\"dst\":2,\"type\":\"R\"}\n{\"src\":1,\"dst\":2}\n"}}, "",
       "rels.jsonl line 2: relationship type is missing"},
      // APOC files, named by the path given; a relationship added after the
      // last line because its node never came names its own line.
      {{{"all.csv", apoc_csv + "2,:A,\"\",x,,,\n"}}, "all.csv", "{src} line 4, column 4 (n): invalid integer property"},
      {{{"all.csv", apoc_csv + ",,,,1,9,R\n2,:A,,,,,\n"}}, "all.csv", "{src} line 4: relationship references a missing node"},
      {{{"all.json", "\n" + apoc_node + "{\"type\":\"node\",\"id\":\"2\",\"labels\":5}\n"}}, "all.json",
       "{src} line 3: node label must be a string"},
      {{{"all.json", apoc_node + apoc_node}}, "all.json", "{src} line 2: missing or duplicate node identity: 1"},
      {{{"all.json", apoc_node + apoc_rel + apoc_node.substr(0, 20)}}, "all.json",
       "{src} line 3: [json.exception.parse_error.101] parse error at line 1, column 21: syntax error while parsing "
       "value - unexpected end of input; expected '[', '{', or a literal"},
      {{{"all.json", apoc_node + apoc_rel + "{\"type\":\"node\",\"id\":\"2\"}\n"}}, "all.json",
       "{src} line 2: relationship references a missing node"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const TempDir dir;
    for (const auto& [name, text] : c.files) testing::write_text_file(dir.file(name), text);
    const std::string source = c.source.empty() ? dir.path() : dir.file(c.source);
    std::string expected = c.expected;
    if (const auto at = expected.find("{src}"); at != std::string::npos) expected.replace(at, 5, source);
    EXPECT_EQ(expected, error_of([&] { import_neo4j_source(source); }));
  }
}

// The position is added once, by the reader; running out of memory stays
// std::bad_alloc, which the command line reports in words of its own.
TEST(ImportPosition, RethrowsWithOnePositionAndKeepsBadAlloc) {
  const auto at_record = [](const std::function<void()>& fail) {
    try {
      try {
        fail();
      } catch (...) {
        rethrow_at_record("f.csv", 9);
      }
    } catch (const std::bad_alloc&) {
      return std::string("bad_alloc");
    } catch (const ImportPositionError& e) {
      return std::string(e.what()) + "|" + e.message();
    } catch (const std::exception& e) {
      return std::string("other: ") + e.what();
    }
    return std::string("returned");
  };
  const auto field = [](auto exception) {
    return [exception] {
      try {
        throw exception;
      } catch (...) {
        rethrow_for_field(2, "born");
      }
    };
  };
  const std::string born = "f.csv line 9, column 3 (born): ";
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { throw std::runtime_error("bad"); }, "f.csv line 9: bad|bad"},
      {[] { throw ImportPositionError("g.csv", 3, ", column 1 (x)", "bad"); }, "g.csv line 3, column 1 (x): bad|bad"},
      {[] { throw ImportPositionError("g.csv", 0, ", column 1 (x)", "bad"); }, "g.csv: bad|bad"},
      {[] { throw std::bad_alloc(); }, "bad_alloc"},
      {field(std::bad_alloc()), "bad_alloc"},
      {field(std::invalid_argument("stoll")), born + "invalid integer property|invalid integer property"},
      {field(std::out_of_range("stoll: out of range")), born + "invalid integer property|invalid integer property"},
      {field(std::invalid_argument("stod")), born + "invalid floating-point property|invalid floating-point property"},
      {field(std::runtime_error("stoll")), born + "stoll|stoll"},  // no conversion's exception
      {field(std::out_of_range("other")), born + "other|other"},
  };
  for (const auto& [fail, expected] : cases) EXPECT_EQ(expected, at_record(fail));
  // A column without a header name shows its number only.
  EXPECT_EQ("f.csv line 9, column 1: bad|bad", at_record([] {
              try {
                throw std::runtime_error("bad");
              } catch (...) {
                rethrow_for_field(0, "");
              }
            }));
}

const std::string kBridgeFailed =
    "Neo4j import failed; destination unchanged. Check source compatibility and the decoder error above.";

// An installation root of stand-in bridges; RECORD names the file they report into.
class Bridges {
 public:
  explicit Bridges(const std::string& root_name = "home")
      : root_(dir_.file(root_name)),
        home_("ORVANE_HOME", root_),
        python_("PYTHON", "/bin/sh"),
        record_("RECORD", dir_.file("record")) {
    fs::create_directories(root_ + "/scripts");
  }
  void script(const std::string& name, const std::string& text) const {
    testing::write_text_file(root_ + "/scripts/" + name, text);
  }
  std::string record() const { return read_text_file(dir_.file("record")); }
  const TempDir& dir() const { return dir_; }
  const std::string& root() const { return root_; }

 private:
  TempDir dir_;
  std::string root_;
  ScopedEnv home_, python_, record_;
};

// The dump bridge runs with --dump DUMP --out DIR/export, DIR private and
// gone afterwards, also when the bridge fails.
TEST(Bridge, ArgumentsSurviveQuotesBlanksAndSubstitutionsAndRunNothing) {
  const TempDir scratch;
  const std::string trap = scratch.path() + "/ran";
  const Bridges bridges("it's a \"home\" $(touch " + trap + "0)");
  bridges.script("record.py", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$RECORD\"\n");
  const std::vector<std::string> arguments = {
      "bolt://u:p@h:7687/$(touch " + trap + "1)", "it's", " a  b ", "`touch " + trap + "2`", "\"dq\" ;|&<>*?", "",
      "back\\slash '' '\\''", "$HOME ${PATH} !x"};
  run_bridge("record.py", arguments);
  std::string expected;
  for (const std::string& a : arguments) expected += a + "\n";
  EXPECT_EQ(bridges.record(), expected);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(fs::exists(trap + std::to_string(i)));

  bridges.script("import_neo4j_dump.py",
                 "printf '%s\\n' \"$1\" \"$2\" \"$3\" \"$4\" > \"$RECORD\"\n[ -n \"$DUMP_FAILS\" ] && exit 2\n"
                 "mkdir \"$4\" && printf '{\"id\":1,\"label\":\"A\"}\\n' > \"$4/nodes.jsonl\" && : > \"$4/rels.jsonl\"\n");
  const std::string dump = bridges.dir().file("movies 'v5' $(touch " + trap + "3).dump");
  testing::write_text_file(dump, "archive");
  const auto export_dir = [&] { return fs::path(bridges.record().substr(dump.size() + 14)).parent_path(); };
  EXPECT_EQ(1u, import_neo4j_source(dump).graph.node_count);
  EXPECT_EQ("--dump\n" + dump + "\n--out\n" + (export_dir() / "export\n").string(), bridges.record());
  EXPECT_FALSE(fs::exists(export_dir()) || fs::exists(trap + "3"));
  const ScopedEnv fails("DUMP_FAILS", std::string("1"));
  EXPECT_EQ(kBridgeFailed, error_of([&] { import_neo4j_source(dump); }));
  EXPECT_FALSE(fs::exists(export_dir()));
}

// The decoded export of a dump is private and gone afterwards, so a bad
// record is named by the dump and the decoded file's line, which is the
// dump's record in order (the bridge writes one record a line).
TEST(Bridge, DumpRecordErrorsNameTheDumpAndTheDecodedLine) {
  const Bridges bridges;
  bridges.script("import_neo4j_dump.py",
                 "mkdir \"$4\" && printf '{\"id\":1}\\n{\"id\":2,\"labels\":[3]}\\n' > \"$4/nodes.jsonl\" && "
                 ": > \"$4/rels.jsonl\"\n");
  const std::string dump = bridges.dir().file("graph.dump");
  testing::write_text_file(dump, "archive");
  EXPECT_EQ(dump + ": decoded nodes.jsonl line 2: node label must be a string",
            error_of([&] { import_neo4j_source(dump); }));
}

// ORVANE_HOME/share/halvex comes before ORVANE_HOME, which comes before the
// working directory; an empty ORVANE_HOME counts as unset.
TEST(Bridge, InstallationPathOrderAndFailuresWithTheirMessages) {
  const Bridges bridges;
  for (const char* entry : {"share/halvex/web", "web", "site", "only-at-home"}) {
    fs::create_directories(bridges.root() + "/" + entry);
  }
  EXPECT_EQ(installation_path("web"), bridges.root() + "/share/halvex/web");
  EXPECT_EQ(installation_path("site"), bridges.root() + "/site");
  EXPECT_EQ(installation_path("no-such-entry"), (fs::current_path() / "no-such-entry").string());

  bridges.script("killed.py", "kill -9 $$\n");  // a failing exit status: the migrate command's tests
  fs::create_directories(bridges.root() + "/scripts/dir.py");
  EXPECT_EQ(kBridgeFailed, error_of([&] { run_bridge("killed.py", {}); }));
  for (const char* script : {"absent.py", "dir.py"}) {
    EXPECT_EQ(installation_path(std::string("scripts/") + script) + " not found; set ORVANE_HOME to the installation root",
              error_of([&] { run_bridge(script, {}); }));
  }
  fs::create_directories(bridges.dir().file("dir.dump"));  // an absent one: the console's migration tests
  EXPECT_EQ("Neo4j dump file is missing", error_of([&] { import_neo4j_source(bridges.dir().file("dir.dump")); }));
  // Credentials are never written through an existing entry.
  fs::create_symlink(bridges.dir().file("elsewhere"), bridges.dir().file("credentials.json"));
  EXPECT_EQ("cannot write private migration credentials",
            error_of([&] { write_private_credentials(bridges.dir().path(), "u", "p"); }));
  EXPECT_FALSE(fs::exists(bridges.dir().file("elsewhere")));
  const ScopedEnv empty_home("ORVANE_HOME", "");
  EXPECT_EQ(installation_path("only-at-home"), (fs::current_path() / "only-at-home").string());
}

}  // namespace
}  // namespace orvane
