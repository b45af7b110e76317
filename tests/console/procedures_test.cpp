// Console procedures: restore and backup with their refusals, explore and
// the demonstration engine.
#include <gtest/gtest.h>

#include <set>

#include <nlohmann/json.hpp>

#include "console/documents.h"
#include "console/engine.h"
#include "console/procedures.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"
#include "support/error_text.h"
#include "support/graph_builder.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using testing::error_of;

Engine engine_with(Database db, const std::string& name = "orvane") {
  Engine e;
  e.register_database(name, std::move(db));
  e.use_database(name);
  return e;
}

std::string edge_text(const Edge& x) { return std::to_string(x.src) + ">" + std::to_string(x.dst) + " "; }

std::string ops(const Engine& e) {
  std::string out;
  for (const ChangeEvent& c : e.changes) out += (out.empty() ? "" : " ") + c.op;
  return out;
}

// Restore replaces "restored", selects it and saves it; a corrupt file
// changes nothing. Backup leaves alone what is not a snapshot and what
// another writer holds.
TEST(Procedures, RestoreAndBackupOrChangeNothing) {
  testing::TempDir dir;
  save_snapshot(testing::triangle(), dir.file("a.orv"));
  save_snapshot(testing::star(4), dir.file("b.orv"));
  std::string bytes = testing::read_text_file(dir.file("a.orv"));
  bytes[bytes.size() / 2] ^= 0x40;
  testing::write_text_file(dir.file("bad.orv"), bytes);
  Engine e = engine_with(testing::mixed_graph());
  e.snapshot_path = dir.file("own.orv");
  restore(e, dir.file("a.orv"));
  restore(e, dir.file("b.orv"));
  EXPECT_EQ("restored 2 5", e.current + " " + std::to_string(e.databases.size()) + " " +
                                std::to_string(e.database().graph.node_count));
  EXPECT_EQ("restore restore " + dir.file("b.orv"), ops(e) + " " + e.changes.back().detail);
  e.use_database("orvane");
  EXPECT_EQ("snapshot checksum mismatch", error_of([&] { restore(e, dir.file("bad.orv")); }));
  EXPECT_EQ("orvane", e.current);
  EXPECT_EQ(5u, e.database("restored").graph.node_count);
  EXPECT_EQ(2u, e.change_count);
  EXPECT_EQ(5u, load_snapshot(e.snapshot_path).graph.node_count);
  testing::write_text_file(dir.file("notes.txt"), "ORVSNAP");  // shorter than the magic
  EXPECT_EQ("refusing to replace " + dir.file("notes.txt") + ": it is not a Halvex snapshot",
            error_of([&] { backup(e, dir.file("notes.txt")); }));
  EXPECT_EQ("ORVSNAP", testing::read_text_file(dir.file("notes.txt")));
  {
    const GraphWriterLock other(dir.file("held.orv"));
    EXPECT_EQ("graph is already open for writing by another process",
              error_of([&] { backup(e, dir.file("held.orv")); }));
  }
  // The engine's own snapshot, whose lock this process holds, is written
  // under that lock, also when named another way.
  const GraphWriterLock own(e.snapshot_path);
  EXPECT_EQ("", error_of([&] { backup(e, dir.path() + "/./own.orv"); }));
  EXPECT_EQ(14u, load_snapshot(e.snapshot_path).graph.node_count);
}

TEST(Explore, WalksOutgoingLevelsUpToTheLimit) {
  const struct {
    std::uint64_t id;
    std::uint32_t hops;
    std::size_t limit;
    std::string view;  // node identities, then relationships
  } cases[] = {
      {0, 2, 80, "0 2 1 3 | 0>2 0>1 2>3 1>0"}, {0, 1, 80, "0 2 1 | 0>2 0>1"}, {0, 2, 2, "0 2 | 0>2"},
      {0, 0, 80, "0 |"},                       {4, 2, 80, "4 |"},            {5, 2, 80, "|"},
  };
  // 0→1, 0→2, 1→0, 2→3; 4 alone. Reversed positions: neighbours come in
  // position order (2 before 1), and the view still names identities.
  Database db = testing::GraphBuilder().people({"a", "b", "c", "d", "e"}).follows("a", "b").follows("a", "c")
                    .follows("b", "a").follows("c", "d").compiled();
  db.graph.apply_permutation({4, 3, 2, 1, 0});
  const Engine e = engine_with(std::move(db));
  for (const auto& c : cases) {
    const ConsoleResult r = explore(e, c.id, c.hops, c.limit);
    std::string view;
    for (const ResultNode& n : r.nodes) view += std::to_string(n.id) + " ";
    view += "|";
    for (const ResultRel& x : r.rels) view += " " + std::to_string(x.src) + ">" + std::to_string(x.dst);
    EXPECT_EQ(c.view, view) << c.id << " " << c.hops << " " << c.limit;
    EXPECT_EQ("graph", r.kind);
    for (const ResultRel& x : r.rels) EXPECT_EQ("FOLLOWS", x.type);
  }
}

TEST(DemoEngine, DatabasesShardsRemoteAndEvents) {
  const Engine e = make_demo_engine(8, 4, 42, true);
  const nlohmann::json cluster = nlohmann::json::parse(cluster_document(e));
  std::set<std::string> roles;  // every database with its cluster role
  for (const auto& m : cluster["members"]) roles.insert(m["name"].get<std::string>() + ":" + m["role"].get<std::string>());
  EXPECT_EQ((std::set<std::string>{"biblio:shard", "chaotic:shard", "messy:shard", "orvane:primary",
                                   "replica:read-replica", "simple:shard", "social:shard"}),
            roles);
  EXPECT_EQ("fabric remote boot", ops(e));
  EXPECT_EQ("http://127.0.0.1:7475", e.changes[1].detail);
  // The shards split the relationships by type and keep the identities.
  const Database &orvane = e.database("orvane"), &social = e.database("social"), &biblio = e.database("biblio");
  EXPECT_EQ(8u + 12u * 1000, social.graph.node_count + biblio.graph.node_count * 1000);
  std::string follows, authored, in_social, in_biblio;
  for (const Edge& x : orvane.graph.edges) (x.type == orvane.follows_type ? follows : authored) += edge_text(x);
  for (const Edge& x : social.graph.edges) in_social += edge_text(x);
  for (const Edge& x : biblio.graph.edges) in_biblio += edge_text(x);
  EXPECT_EQ(follows + "|" + authored, in_social + "|" + in_biblio);
  EXPECT_EQ(orvane.names, biblio.names);
}

}  // namespace
}  // namespace orvane
