// Database: schema, node builders, attributes, and the rule that a failing
// operation leaves the Database exactly as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "graph/database.h"
#include "graph/utf8.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using nlohmann::json;

// Everything a caller can observe of a Database, as one comparable value.
std::string fingerprint(const Database& db) {
  json f;
  f["labels"] = db.node_types;
  f["types"] = db.rel_types;
  f["names"] = db.names;
  f["topics"] = db.topics;
  f["people"] = db.people;
  f["papers"] = db.papers;
  f["props"] = db.properties;
  f["nodes"] = db.graph.node_count;
  f["edges"] = db.graph.edges.size();
  f["compiled"] = db.graph.compiled;
  f["emb"] = db.embeddings.size();
  return f.dump();
}

template <typename Exception, typename Fn>
void expect_failure_leaves_unchanged(Database& db, Fn&& fn, const std::string& message) {
  const std::string before = fingerprint(db);
  try {
    fn();
    ADD_FAILURE() << "expected failure: " << message;
  } catch (const Exception& e) {
    EXPECT_EQ(message, e.what());
  }
  EXPECT_EQ(before, fingerprint(db));
}

TEST(Database, NewDatabaseHasFixedSchema) {
  Database db;
  EXPECT_EQ((std::vector<std::string>{"Person", "Paper"}), db.node_types);
  EXPECT_EQ((std::vector<std::string>{"FOLLOWS", "AUTHORED"}), db.rel_types);
  EXPECT_EQ(0, db.person_label);
  EXPECT_EQ(1, db.paper_label);
  EXPECT_EQ(0, db.follows_type);
  EXPECT_EQ(1, db.authored_type);
  EXPECT_EQ(0u, db.graph.node_count);
  EXPECT_FALSE(db.graph.compiled);
}

TEST(Database, SchemaRegistrationAndLookups) {
  Database db;
  EXPECT_EQ(0, db.add_node_type("Person"));
  EXPECT_EQ(2u, db.node_types.size());
  EXPECT_EQ(2, db.add_node_type("City"));
  EXPECT_EQ(2, db.add_node_type("City"));
  EXPECT_EQ(2, db.node_type_id("City"));
  EXPECT_EQ("City", db.node_type_name(2));
  EXPECT_EQ(2, db.add_rel_type("LIVES_IN"));
  EXPECT_EQ(2, db.rel_type_id("LIVES_IN"));
  EXPECT_EQ("LIVES_IN", db.rel_type_name(2));
  expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_node_type(""); },
                                                      "invalid node type or schema limit reached");
  expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_rel_type(""); },
                                                      "invalid relationship type or schema limit reached");
  expect_failure_leaves_unchanged<std::out_of_range>(db, [&] { db.node_type_id("Town"); }, "unknown node type: Town");
  expect_failure_leaves_unchanged<std::out_of_range>(db, [&] { db.rel_type_id("KNOWS"); }, "unknown edge type: KNOWS");
  EXPECT_THROW(db.node_type_name(3), std::out_of_range);
  EXPECT_THROW(db.rel_type_name(3), std::out_of_range);
}

TEST(Database, SchemaLimitOf65535Labels) {
  Database db;
  for (std::size_t i = db.node_types.size(); i < kMaxSchemaIds; ++i) db.add_node_type("L" + std::to_string(i));
  EXPECT_EQ(65535u, db.node_types.size());
  EXPECT_EQ(65534, db.node_type_id("L65534"));
  EXPECT_EQ(1, db.add_node_type("Paper"));  // existing names still resolve
  expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_node_type("one-more"); },
                                                      "invalid node type or schema limit reached");
  std::string name;
  expect_failure_leaves_unchanged<std::runtime_error>(
      db, [&] { db.add_labeled_node("one-more", name, json::object(), 0); },
      "invalid node type or schema limit reached");
}

TEST(Database, PersonsAndPapersGetNamePropertyAndSeededEmbedding) {
  Database db;
  EXPECT_EQ(0u, db.add_person("ann", 14));
  EXPECT_EQ(1u, db.add_paper("graphs", 2));
  EXPECT_EQ(1u, db.people);
  EXPECT_EQ(1u, db.papers);
  EXPECT_EQ(R"({"name":"ann"})", db.node_properties(0).dump());
  EXPECT_EQ((std::vector<std::uint16_t>{0, 1}), db.graph.labels);
  ASSERT_EQ(64u, db.embeddings.size());
  float expected[32];
  seed_embedding(expected, 2, static_cast<std::uint32_t>(1ull * 2654435761ull));
  for (int k = 0; k < 32; ++k) EXPECT_EQ(expected[k], db.embedding(1)[k]);
  EXPECT_EQ("{}", db.node_properties(99).dump());
}

TEST(Database, AddNodeAfterCompileClearsCompiledAndTakesFreePosition) {
  Database db = testing::triangle();
  ASSERT_TRUE(db.graph.compiled);
  db.graph.apply_permutation({2, 0, 1});
  const std::uint32_t id = db.add_person("dan", 0);
  EXPECT_FALSE(db.graph.compiled);
  EXPECT_EQ(3u, id);
  EXPECT_EQ(3u, db.graph.to_physical[3]);
  EXPECT_EQ(3u, db.graph.to_logical[3]);
}

TEST(Database, EdgeEndpointOutOfRangeChangesNothing) {
  Database db = testing::triangle();
  expect_failure_leaves_unchanged<std::out_of_range>(db, [&] { db.add_follows(0, 3); }, "edge endpoint out of range");
  expect_failure_leaves_unchanged<std::out_of_range>(db, [&] { db.add_authored(3, 0); }, "edge endpoint out of range");
  EXPECT_TRUE(db.graph.compiled);
}

TEST(Database, LabeledNodeNaming) {
  Database db;
  for (int i = 0; i < 7; ++i) db.add_person("p" + std::to_string(i), 0);
  std::string name;
  const std::uint32_t id = db.add_labeled_node("City", name, json::object(), 3);
  EXPECT_EQ(7u, id);
  EXPECT_EQ("City-7", name);
  EXPECT_EQ("City-7", db.names[7]);
  EXPECT_EQ("{}", db.node_properties(7).dump());  // no "name" key is added
  EXPECT_EQ(2, db.node_type_id("City"));

  std::string from_number;
  db.add_labeled_node("City", from_number, json{{"name", 5}}, 0);
  EXPECT_EQ("5", from_number);
  std::string from_string;
  db.add_labeled_node("Person", from_string, json{{"name", "zoe"}, {"age", 3}}, 0);
  EXPECT_EQ("zoe", from_string);
  EXPECT_EQ(8u, db.people);
  EXPECT_EQ(R"({"age":3,"name":"zoe"})", db.node_properties(9).dump());
  std::string given = "kept";
  db.add_labeled_node("Paper", given, json{{"name", "ignored"}}, 0);
  EXPECT_EQ("kept", db.names[10]);
  EXPECT_EQ(1u, db.papers);
}

TEST(Database, SetPropertyAndName) {
  Database db = testing::triangle();
  db.set_property(1, "age", 30);
  db.set_property(1, "name", "robert");
  EXPECT_EQ("robert", db.names[1]);
  db.set_property(2, "name", 12.5);
  EXPECT_EQ("12.5", db.names[2]);
  EXPECT_EQ(R"({"age":30,"name":"robert"})", db.node_properties(1).dump());
  const std::string before = fingerprint(db);
  db.set_property(3, "age", 1);  // beyond node_count: silently ignored
  EXPECT_EQ(before, fingerprint(db));
  EXPECT_TRUE(db.graph.compiled);  // attribute changes keep the compiled form
}

TEST(Database, SetEmbeddingRequires32FiniteValues) {
  Database db = testing::triangle();
  std::vector<float> good(32, 0.5f);
  db.set_embedding(0, good);
  EXPECT_EQ(0.5f, db.embedding(0)[31]);
  const std::vector<float> old(db.embedding(1).begin(), db.embedding(1).end());
  const char* message = "embedding must contain 32 finite values";
  std::vector<float> with_nan = good;
  with_nan[7] = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> with_inf = good;
  with_inf[0] = std::numeric_limits<float>::infinity();
  for (const auto& values : {std::vector<float>(31, 0.f), std::vector<float>(33, 0.f), with_nan, with_inf}) {
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.set_embedding(1, values); }, message);
  }
  expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.set_embedding(3, good); }, message);
  EXPECT_EQ(old, std::vector<float>(db.embedding(1).begin(), db.embedding(1).end()));
  std::vector<float> extreme(32, std::numeric_limits<float>::max());
  db.set_embedding(2, extreme);
}

TEST(Database, InvalidUtf8NeverEntersADatabase) {
  const std::string bad = "caf\xC3";           // truncated sequence
  const std::string overlong = "\xC0\xAF";      // overlong '/'
  const std::string surrogate = "\xED\xA0\x80";  // U+D800
  const char* message = "text is not valid UTF-8";
  Database db = testing::triangle();
  for (const std::string& text : {bad, overlong, surrogate}) {
    SCOPED_TRACE(::testing::PrintToString(text));
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_node_type(text); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_rel_type(text); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_person(text, 0); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_paper(text, 0); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.add_node(0, text, 0); }, message);
    std::string name = text;
    expect_failure_leaves_unchanged<std::runtime_error>(
        db, [&] { db.add_labeled_node("Person", name, json::object(), 0); }, message);
    std::string empty;
    expect_failure_leaves_unchanged<std::runtime_error>(
        db, [&] { db.add_labeled_node(text, empty, json::object(), 0); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(
        db, [&] { db.add_labeled_node("Person", empty, json{{text, 1}}, 0); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(
        db, [&] { db.add_labeled_node("Person", empty, json{{"tags", json::array({"ok", text})}}, 0); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(
        db, [&] { db.add_labeled_node("Person", empty, json{{"o", json{{"deep", json::array({json{{"k", text}}})}}}}, 0); },
        message);
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.set_property(0, text, 1); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(db, [&] { db.set_property(0, "name", text); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(
        db, [&] { db.set_property(0, "list", json::array({1, text})); }, message);
    expect_failure_leaves_unchanged<std::runtime_error>(
        db, [&] { db.install_attributes(1, 0, {"a", text, "c"}, {0, 0, 0}, std::vector<float>(96), false); },
        message);
  }
  // Valid multi-byte text is accepted everywhere.
  std::string name = "Zoë 🚀";
  db.add_labeled_node("Städte", name, json{{"motto", "für alle"}}, 0);
  EXPECT_EQ("Zoë 🚀", db.names.back());
}

TEST(Database, PropertyNestingIsBounded) {
  // Deeper values would overflow the stack when validated, copied or saved.
  const auto nested = [](int levels) {
    nlohmann::json v = nlohmann::json::array();
    for (int i = 1; i < levels; ++i) v = nlohmann::json::array({std::move(v)});
    return v;
  };
  Database db;
  db.add_person("p", 0);
  db.set_property(0, "ok", nested(1000));
  try {
    db.set_property(0, "deep", nested(1001));
    ADD_FAILURE() << "1001 levels accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("property value nested deeper than 1000 levels", e.what());
  }
  EXPECT_FALSE(db.node_properties(0).contains("deep"));
  std::string name = "n";
  EXPECT_THROW(db.add_labeled_node("X", name, {{"deep", nested(1001)}}, 0), std::runtime_error);
  EXPECT_EQ(1u, db.graph.node_count);
}

TEST(Database, NonObjectPropertiesAreRefused) {
  Database db;
  std::string name;
  expect_failure_leaves_unchanged<std::runtime_error>(
      db, [&] { db.add_labeled_node("City", name, json::array(), 0); }, "properties must be a JSON object");
}

TEST(Utf8, AcceptsAndRefusesByRfc3629) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"plain ascii", true},
      {"\xC2\x80", true},
      {"\xDF\xBF", true},
      {"\xE0\xA0\x80", true},
      {"\xED\x9F\xBF", true},
      {"\xEE\x80\x80", true},
      {"\xF0\x90\x80\x80", true},
      {"\xF4\x8F\xBF\xBF", true},
      {std::string("nul\0inside", 10), true},
      {"\x80", false},
      {"\xC1\xBF", false},
      {"\xE0\x9F\xBF", false},
      {"\xED\xA0\x80", false},
      {"\xF0\x8F\xBF\xBF", false},
      {"\xF4\x90\x80\x80", false},
      {"\xF5\x80\x80\x80", false},
      {"\xE2\x82", false},
      {"\xE2\x28\xA1", false},
      {"\xFF", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(c.valid, is_valid_utf8(c.text));
  }
}

TEST(InstallAttributes, LegacySetsNameProperty) {
  Database db;
  db.graph.install_compiled({0, 1}, {0, 1}, {0, 1}, {0, 0, 0}, {}, {}, {0, 0, 0}, {}, {});
  db.install_attributes(1, 1, {"a", "b"}, {3, 4}, std::vector<float>(64, 0.f), true);
  EXPECT_EQ(R"({"name":"b"})", db.node_properties(1).dump());
  EXPECT_EQ(1u, db.people);
  Database plain;
  plain.graph.install_compiled({0}, {0}, {0}, {0, 0}, {}, {}, {0, 0}, {}, {});
  plain.install_attributes(1, 0, {"a"}, {3}, std::vector<float>(32, 0.f), false);
  EXPECT_EQ("{}", plain.node_properties(0).dump());
}

TEST(Topics, NamesAndSeedEmbedding) {
  EXPECT_STREQ("distributed systems", topic_name(0));
  EXPECT_STREQ("operating systems", topic_name(14));
  EXPECT_STREQ("theory", topic_name(15));
  EXPECT_STREQ("social networks", topic_name(17));
  float v[32], w[32];
  seed_embedding(v, 14, 0);
  EXPECT_NEAR(-0.0132353, v[0], 1e-6);
  EXPECT_NEAR(-0.0065686, v[1], 1e-6);
  EXPECT_NEAR(0.0002941, v[2], 1e-6);
  EXPECT_NEAR(0.0102941, v[3], 1e-6);
  EXPECT_NEAR(0.9867647, v[14], 1e-6);
  seed_embedding(w, 14, 1);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(v[k], w[k]);  // seed 0 behaves as 1
  seed_embedding(v, 35, 9);
  for (int k = 0; k < 32; ++k) {
    if (k == 3) {
      EXPECT_NEAR(1.0, v[k], 0.026);
    } else {
      EXPECT_LE(std::fabs(v[k]), 0.025f);
    }
  }
}

}  // namespace
}  // namespace orvane
