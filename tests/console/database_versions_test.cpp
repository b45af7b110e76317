// Readers beside a writer: a reader reads the version published when it
// started to its end, whatever is published meanwhile; the writer's copy
// catches up by records, and is copied afresh only when a reader holds it
// past the writer's patience or it no longer matches.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>
#include <utility>

#include "console/answer_text.h"
#include "console/database_versions.h"
#include "console/engine.h"
#include "console/statement_batch.h"
#include "console/transactions.h"
#include "graph/change_record.h"
#include "support/graph_builder.h"

namespace orvane {
namespace {

constexpr const char* kCount = "MATCH (n) RETURN count(n)";

std::string write(Engine& engine, const std::string& statement) {
  return testing::as_server_writes(engine, [&] { return testing::rows_json(engine, statement); });
}

Engine triangle_engine() {
  Engine engine;
  engine.register_database("orvane", testing::triangle());
  engine.use_database("orvane");
  return engine;
}

// A reader on its own thread pins the published version; writes on this
// one publish while it reads. The first write runs exclusively (there is
// no writer's copy yet) and a copy is made after it; the second writes
// that copy beside the reader; the third finds the reader still holding
// the copy it would write, runs exclusively again, and a copy is made
// again. The reader reads one version to the end of its request.
TEST(DatabaseVersions, AReaderKeepsTheVersionItStartedWithWhileWritesArePublished) {
  Engine engine = triangle_engine();
  write(engine, "CREATE (:Probe)");
  EXPECT_EQ(1u, engine.writer_copies("orvane"));
  const std::string before = testing::rows_json(engine, kCount);
  std::promise<void> pinned, written;
  std::shared_future<void> written_future = written.get_future().share();
  auto reader = std::async(std::launch::async, [&] {
    std::string seen;
    {
      const ReadingScope reading(engine);
      seen = testing::rows_json(engine, kCount);
      pinned.set_value();
      written_future.wait();
      seen += " " + testing::rows_json(engine, kCount);  // the same request: the same version
    }
    const ReadingScope reading(engine);
    return seen + " " + testing::rows_json(engine, kCount);  // a new request: the newest version
  });
  pinned.get_future().wait();
  write(engine, "CREATE (:Probe)");
  EXPECT_EQ(1u, engine.writer_copies("orvane"));
  write(engine, "CREATE (:Probe)");
  EXPECT_EQ(2u, engine.writer_copies("orvane"));
  written.set_value();
  EXPECT_EQ(before + " " + before + " [[6]]", reader.get());
  // With the reader gone, writes replay records into the other copy.
  for (int i = 0; i < 4; ++i) write(engine, "MATCH (p:Probe) SET p.n = " + std::to_string(i));
  EXPECT_EQ(2u, engine.writer_copies("orvane"));
  const ReadingScope reading(engine);
  EXPECT_EQ("[[3,3]]", testing::rows_json(engine, "MATCH (p:Probe) RETURN count(p), max(p.n)"));
}

// What makes the two copies differ makes the next writer copy afresh; what
// does not, does not.
TEST(DatabaseVersions, TheWritersCopyIsCopiedAfreshOnlyWhenItCannotCatchUp) {
  const struct {
    const char* between;  // run exclusively between two writes beside readers
    bool copies;
  } cases[] = {
      {"CREATE (:Probe {k: 1})", false},                         // a record to replay
      {"MATCH (n) SET n.fresh = 1", false},                      // new property key, in the record
      {"MATCH (n) SET n.fresh = 1 WITH n RETURN n.fresh / 0", true},  // failed, a key interned
      {"RETURN 1", false},                                       // nothing at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.between);
    Engine engine = triangle_engine();
    write(engine, "CREATE (:Start)");
    const std::uint64_t copies = engine.writer_copies("orvane");
    try {
      testing::rows_json(engine, c.between);
    } catch (const std::exception&) {
    }
    write(engine, "CREATE (:End)");
    EXPECT_EQ(copies + (c.copies ? 1 : 0), engine.writer_copies("orvane"));
    // Both copies hold the same graph: read one, write, read the other.
    std::string first, second;
    {
      const ReadingScope reading(engine);
      first = testing::rows_json(engine, "MATCH (n) RETURN id(n), labels(n), properties(n) ORDER BY id(n)");
    }
    write(engine, "MATCH (n:Nothing) SET n.x = 1");
    write(engine, "CREATE (:Other)");
    write(engine, "MATCH (n:Other) DELETE n");
    {
      const ReadingScope reading(engine);
      second = testing::rows_json(engine, "MATCH (n) RETURN id(n), labels(n), properties(n) ORDER BY id(n)");
    }
    EXPECT_EQ(first, second);
  }
}

// A record made by a unit carries the property keys it interned, so that
// a replay numbers them as the unit did.
TEST(DatabaseVersions, RecordsNumberPropertyKeysAsTheirUnitDid) {
  Database db = testing::triangle();
  Database copy = db;
  const DatabaseMark mark = db.mark();
  db.node_store.intern_key("zeta");
  db.rel_store.intern_key("zeta");
  db.node_store.intern_key("alpha");
  db.rel_store.intern_key("alpha");
  std::string name = "a";
  db.add_labeled_node("Probe", name, {{"alpha", 1}, {"zeta", 2}}, 0);
  apply_change_record(copy, make_change_record(db, mark, {}));
  for (const auto& [made, replayed] : {std::pair(&db.node_store, &copy.node_store),
                                        std::pair(&db.rel_store, &copy.rel_store)}) {
    ASSERT_EQ(made->key_count(), replayed->key_count());
    for (std::uint32_t key = 0; key < made->key_count(); ++key) EXPECT_EQ(made->key_name(key), replayed->key_name(key));
  }
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// A transaction writes the writer's copy lent to it: readers see none of
// it until it commits, and however it ends otherwise (rollback, a failing
// statement, the idle bound) its changes are taken back from the copy,
// which later writes publish; a new copy is made only when the copy
// keeps a property key the transaction interned.
TEST(DatabaseVersions, ATransactionWritesTheLentCopyAndEndsCleanly) {
  enum class End { kCommit, kRollback, kFailure, kIdle };
  constexpr const char* kAll = "MATCH (n) RETURN labels(n), properties(n) ORDER BY id(n)";
  for (const End end : {End::kCommit, End::kRollback, End::kFailure, End::kIdle}) {
    SCOPED_TRACE(static_cast<int>(end));
    Engine engine = triangle_engine();
    const BackgroundFold fold(engine, std::chrono::hours(1));  // lends copies; makes none here
    write(engine, "CREATE (:Start)");
    ASSERT_EQ(1u, engine.writer_copies("orvane"));
    const auto read_all = [&] {
      const ReadingScope reading(engine);
      return testing::rows_json(engine, kAll);
    };
    const std::string before = read_all();
    Transactions& txs = engine.transactions();
    const std::string id = txs.begin(engine, "");
    BatchAnswer out;
    ASSERT_TRUE(txs.run(engine, id, "CREATE (:InTx {name: 'tx'}); MATCH (n:Start) SET n.name = 'changed'", nullptr, out));
    EXPECT_TRUE(txs.find(id).lent);
    EXPECT_EQ(before, read_all());
    switch (end) {
      case End::kCommit: txs.commit(engine, id); break;
      case End::kRollback: txs.rollback(id); break;
      case End::kFailure: EXPECT_FALSE(txs.run(engine, id, "MATCH (n:InTx) RETURN size(n.name) / 0", nullptr, out)); break;
      case End::kIdle:
        txs.set_idle_bound(std::chrono::milliseconds(0));
        EXPECT_EQ(1u, txs.expire(TxClock::now() + std::chrono::milliseconds(1)));
        break;
    }
    const std::string after = read_all();
    EXPECT_EQ(end == End::kCommit, after.find("InTx") != std::string::npos) << after;
    EXPECT_EQ(end == End::kCommit, after.find("changed") != std::string::npos) << after;
    // Both copies hold it: each is published in turn by the next writes.
    write(engine, "MATCH (n:Nothing) SET n.x = 1");
    write(engine, "CREATE (:Later)");
    const std::string one = read_all();
    write(engine, "MATCH (n:Later) SET n.seen = true");
    write(engine, "MATCH (n:Later) REMOVE n.seen");
    EXPECT_EQ(one, read_all());
    EXPECT_EQ(after.substr(0, after.size() - 1), one.substr(0, after.size() - 1));
    // Taken back, the copy keeps the key "name" that the CREATE interned
    // for relationships too (interned names are kept): it is copied again.
    EXPECT_EQ(end == End::kCommit ? 1u : 2u, engine.writer_copies("orvane"));
  }
}

}  // namespace
}  // namespace orvane
