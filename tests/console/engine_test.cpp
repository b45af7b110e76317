// The Engine's registry and the JSON form of console results.
#include <gtest/gtest.h>

#include "console/console_result.h"
#include "console/engine.h"
#include "support/error_text.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

using testing::error_of;

TEST(Engine, RegistryRegistersSelectsAndLooksUp) {
  Engine e;
  EXPECT_EQ("unknown database: orvane", error_of([&] { e.database(); }));
  e.register_database("social", testing::triangle());
  e.register_database("Social", testing::star(2));
  EXPECT_EQ(3u, e.database("Social").graph.node_count);
  EXPECT_EQ("orvane", e.current);  // registering never selects
  e.use_database("Social");
  EXPECT_EQ(&e.database("Social"), &e.database(""));
  EXPECT_EQ("unknown database: SOCIAL", error_of([&] { e.use_database("SOCIAL"); }));
  EXPECT_EQ("Social", e.current);
  e.register_database("social", testing::star(5));  // replaces
  EXPECT_EQ(6u, e.database("social").graph.node_count);
  EXPECT_EQ("database name must not be empty", error_of([&] { e.register_database("", Database()); }));
  EXPECT_EQ(2u, e.databases.size());
}

TEST(ConsoleResultJson, MemberOrderAndEscaping) {
  ConsoleResult failed;
  failed.ok = false;
  failed.kind = "error";
  failed.error = "unrecognized query — try :help";
  EXPECT_EQ(R"({"ok":false,"kind":"error","count":0,"ns":0,"error":"unrecognized query — try :help","query":"",)"
            R"("nodes":[],"rels":[]})",
            result_json(failed));
  ConsoleResult r;
  r.kind = "graph";
  r.count = 2;
  r.ns = 1234567;
  r.query = "a\tb\r\n\x01\"\\";
  r.data = "{\"x\":1}";
  r.nodes = {{0, "Person", "ann", 3}, {7, "Paper", "p\"1", 0}};
  r.rels = {{0, 7, "AUTHORED"}};
  EXPECT_EQ(
      "{\"ok\":true,\"kind\":\"graph\",\"count\":2,\"ns\":1.23457e+06,\"error\":\"\",\"query\":\"a\\tb\\n\\u0001\\\"\\\\\","
      "\"data\":{\"x\":1},\"nodes\":[{\"id\":0,\"label\":\"Person\",\"name\":\"ann\",\"topic\":3},{\"id\":7,\"label\":"
      "\"Paper\",\"name\":\"p\\\"1\",\"topic\":0}],\"rels\":[{\"src\":0,\"dst\":7,\"type\":\"AUTHORED\"}]}",
      result_json(r));
}

}  // namespace
}  // namespace orvane
