// The background fold: writes leave a delta, the fold thread folds a copy
// beside readers and swaps it in, and every answer stays what it was.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/background_fold.h"
#include "console/answer_text.h"
#include "console/engine.h"
#include "console/small_engine.h"
#include "graph/database.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

// Every row of `statement` as JSON text, run under the engine lock as a
// server runs it: shared for a read, in its writer mode for a write.
std::string answer(Engine& engine, const std::string& statement, bool writes) {
  if (writes) return testing::as_server_writes(engine, [&] { return testing::rows_json(engine, statement); });
  const std::shared_lock<EngineLock> lock(engine.mutex());
  const ReadingScope reading(engine);
  return testing::rows_json(engine, statement);
}

const char* const kReads[] = {
    "MATCH (n) RETURN id(n), labels(n), properties(n) ORDER BY id(n)",
    "MATCH (a)-[r]->(b) RETURN id(r), id(a), type(r), id(b) ORDER BY id(r)",
    "MATCH (n:Person) RETURN count(n)",
    "MATCH (a:Person)-[:FOLLOWS]->(b)-[:FOLLOWS]->(c) RETURN count(*)",
};

bool unfolded(Engine& engine) {
  const std::shared_lock<EngineLock> lock(engine.mutex());
  const ReadingScope reading(engine);
  const Database& db = *engine.peek_database("orvane");
  return !db.graph.compiled || db.graph.has_tombstones();
}

TEST(BackgroundFold, FoldsARestingDeltaBesideReadersAndChangesNoAnswer) {
  Engine engine = testing::small_engine();
  for (const char* write : {"CREATE (:Person {name: 'new'})-[:FOLLOWS]->(:Person {name: 'newer'})",
                            "MATCH (n) WHERE id(n) = 3 DETACH DELETE n", "MATCH (n) WHERE id(n) = 4 SET n:Paper",
                            "MATCH (a), (b) WHERE id(a) = 5 AND id(b) = 6 CREATE (a)-[:FOLLOWS]->(b)"}) {
    answer(engine, write, true);
  }
  ASSERT_TRUE(unfolded(engine));
  std::vector<std::string> before;
  for (const char* read : kReads) before.push_back(answer(engine, read, false));

  // Readers keep reading while the fold runs; each sees the same answers.
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::thread reader([&] {
    while (!done) {
      for (std::size_t i = 0; i < std::size(kReads); ++i) wrong += answer(engine, kReads[i], false) != before[i];
    }
  });
  {
    BackgroundFold fold(engine, std::chrono::milliseconds(10));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fold.folds() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(1u, fold.folds());
  }
  done = true;
  reader.join();
  EXPECT_EQ(0, wrong.load());
  EXPECT_FALSE(unfolded(engine));
  for (std::size_t i = 0; i < std::size(kReads); ++i) EXPECT_EQ(before[i], answer(engine, kReads[i], false)) << kReads[i];
  // Writes after the fold see the folded graph and go on from it.
  answer(engine, "MATCH (n) WHERE id(n) = 0 DETACH DELETE n", true);
  EXPECT_EQ(R"([[10]])", answer(engine, "MATCH (n:Person) RETURN count(n)", false));
}

// A fold holds the lock beside readers but not beside a writer; a writer
// waiting for it does not hold readers back; its upgrade waits for the
// readers under way.
TEST(EngineLock, AFoldRunsBesideReadersAndExcludesWriters) {
  EngineLock lock;
  lock.lock_fold();
  lock.lock_shared();  // a reader beside the fold
  std::atomic<bool> wrote{false};
  std::thread writer([&] {
    const std::lock_guard<EngineLock> exclusive(lock);
    wrote = true;
  });
  while (lock.waiting_writers() == 0) std::this_thread::yield();
  lock.lock_shared();  // still admitted: the writer waits for the fold anyway
  lock.unlock_shared();
  std::atomic<bool> upgraded{false};
  std::thread fold([&] {
    lock.upgrade_fold();
    upgraded = true;
    lock.unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(upgraded.load());  // the first reader still reads
  lock.unlock_shared();
  fold.join();
  writer.join();
  EXPECT_TRUE(upgraded && wrote);
}

// A log past its bound is checkpointed by the fold thread, not by the
// commit: the snapshot then holds every write and the log is gone.
TEST(BackgroundFold, WritesTheCheckpointALongLogCallsFor) {
  testing::TempDir dir;
  const std::string file = dir.file("graph.orv");
  Engine engine = testing::small_engine();
  engine.keep_in(file, GraphWriterLock::acquire(file), true);
  const BackgroundFold fold(engine, std::chrono::milliseconds(5));
  for (int i = 0; i < 10; ++i) answer(engine, "CREATE (:Logged {i: " + std::to_string(i) + "})", true);
  // The bound is lowered only now: lowered before, the fold could check-
  // point halfway and leave the last writes in a log under the bound.
  {
    const std::lock_guard<EngineLock> exclusive(engine.mutex());
    ASSERT_TRUE(std::filesystem::file_size(file + "-wal") > 200);
    engine.set_log_bound(200);
  }
  const std::string expected = answer(engine, "MATCH (n:Logged) RETURN n.i ORDER BY n.i", false);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::filesystem::exists(file + "-wal") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_FALSE(std::filesystem::exists(file + "-wal"));
  Engine reloaded;
  reloaded.register_database("g", load_snapshot(file));
  reloaded.use_database("g");
  EXPECT_EQ(expected, answer(reloaded, "MATCH (n:Logged) RETURN n.i ORDER BY n.i", false));
}

}  // namespace
}  // namespace orvane
