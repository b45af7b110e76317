// The focus of this file is crash safety of save_snapshot: a child process
// saves a graph over and over and is killed with SIGKILL at random moments.
// After every kill the target must load as one complete snapshot, the old
// one or a new one; a temporary file left by the kill is expected.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "storage/snapshot.h"
#include "support/run_binary.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(SnapshotCrashSafety, KilledWriterLeavesOldOrNewSnapshot) {
  TempDir dir;
  const std::string path = dir.file("graph.orv");
  Database db;
  generate_corpus(db, 6000, 2000, 11);  // a few MB: a save takes some milliseconds
  db.set_property(0, "generation", 0);
  save_snapshot(db, path);

  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> delay_us(500, 40000);
  std::int64_t highest_seen = 0;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Each save writes a new generation number, so the parent can tell
      // which complete snapshot it finds.
      for (std::int64_t g = highest_seen + 1;; ++g) {
        db.set_property(0, "generation", g);
        save_snapshot(db, path);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    const Database loaded = load_snapshot(path);
    ASSERT_EQ(db.graph.node_count, loaded.graph.node_count);
    EXPECT_EQ(db.graph.out_targets, loaded.graph.out_targets);
    EXPECT_EQ(db.embeddings, loaded.embeddings);
    const std::int64_t generation = loaded.node_properties(0).at("generation").get<std::int64_t>();
    EXPECT_GE(generation, highest_seen);
    highest_seen = generation;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path() != path) fs::remove(entry.path());  // temporaries of the killed writer
    }
  }
}

}  // namespace
}  // namespace orvane::testing
