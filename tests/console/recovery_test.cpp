// Recovery from the write-ahead log, on the files a crash can leave: a
// kept engine commits writes to the log beside its snapshot; copies of
// its files cut at each step of a checkpoint, with a torn or damaged log,
// or with another snapshot's log, must load as every acknowledged write
// left them, or be refused with a message that says why.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "console/answer_text.h"
#include "console/engine.h"
#include "graph/database.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"
#include "support/graph_builder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const char* const kWrites[] = {
    "CREATE (:A {v: 1})-[:R {w: 2}]->(:B {v: 2})",
    "MATCH (n:A) SET n.v = 10, n:C",
    "MATCH (n) WHERE id(n) = 3 DETACH DELETE n",
    "MERGE (m:B {v: 7}) ON CREATE SET m.made = datetime('2026-12-10T03:00:00Z')",
};

const char* const kRead =
    "MATCH (n) OPTIONAL MATCH (n)-[r]->(m) RETURN id(n), labels(n), properties(n), type(r), properties(r), id(m) "
    "ORDER BY id(n), id(r)";

std::string answer_of(Database db) {
  Engine e;
  e.register_database("g", std::move(db));
  e.use_database("g");
  return testing::rows_json(e, kRead);
}

std::string error_loading(const std::string& path) {
  try {
    load_snapshot(path);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

class Recovery : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_.register_database("g", testing::random_graph(12, 4, 20, 5, true, 2));
    engine_.use_database("g");
    engine_.keep_in(file_, GraphWriterLock::acquire(file_), true);
    for (const char* write : kWrites) ASSERT_NO_THROW(testing::rows_json(engine_, write)) << write;
    expected_ = testing::rows_json(engine_, kRead);
  }
  // A copy of the kept files under `name`, as a crash would leave them.
  std::string copy(const std::string& name, bool with_log = true) {
    const std::string to = dir_.file(name);
    fs::copy_file(file_, to);
    if (with_log) fs::copy_file(file_ + "-wal", to + "-wal");
    return to;
  }

  testing::TempDir dir_;
  const std::string file_ = dir_.file("graph.orv");
  Engine engine_;
  std::string expected_;
};

TEST_F(Recovery, EveryCommittedWriteIsInTheLogAndReplayed) {
  const std::string snapshot_before = testing::read_text_file(file_);
  ASSERT_TRUE(fs::exists(file_ + "-wal"));
  EXPECT_EQ(expected_, answer_of(load_snapshot(file_)));
  // Copied without its log: as of its last checkpoint.
  EXPECT_NE(expected_, answer_of(load_snapshot(copy("bare.orv", false))));
  // A checkpoint folds the log into the snapshot and removes it.
  engine_.checkpoint();
  EXPECT_NE(snapshot_before, testing::read_text_file(file_));
  EXPECT_FALSE(fs::exists(file_ + "-wal"));
  EXPECT_EQ(expected_, answer_of(load_snapshot(file_)));
}

TEST_F(Recovery, ACheckpointCutAtAnyStepLosesNothing) {
  // Cut after the log was retired, before the new snapshot landed.
  const std::string retired = copy("retired.orv");
  fs::rename(retired + "-wal", retired + "-wal.old");
  EXPECT_EQ(expected_, answer_of(load_snapshot(retired)));
  // Cut after the new snapshot landed, before the retired log was removed.
  const std::string landed = copy("landed.orv");
  fs::rename(landed + "-wal", landed + "-wal.old");
  save_snapshot(load_snapshot(landed), dir_.file("next.orv"));
  fs::copy_file(dir_.file("next.orv"), landed, fs::copy_options::overwrite_existing);
  EXPECT_EQ(expected_, answer_of(load_snapshot(landed)));
  // A writer that opens either finishes the checkpoint.
  for (const std::string& path : {retired, landed}) {
    Engine writer;
    writer.open_kept(path, GraphWriterLock::acquire(path));
    EXPECT_FALSE(fs::exists(path + "-wal.old")) << path;
    EXPECT_EQ(expected_, testing::rows_json(writer, kRead)) << path;
  }
}

TEST_F(Recovery, ATornTailIsCutByTheWriterAndADamagedOrForeignLogIsRefused) {
  const std::string log = file_ + "-wal";
  // The log's data ends at its last byte that is not zero; zeros follow.
  const auto size = testing::read_text_file(log).find_last_not_of('\0') + 1;
  // Torn: the last write was never acknowledged.
  const std::string torn = copy("torn.orv");
  fs::resize_file(torn + "-wal", size - 3);
  const std::string without_last = answer_of(load_snapshot(torn));
  EXPECT_NE(expected_, without_last);
  EXPECT_EQ(size - 3, fs::file_size(torn + "-wal"));  // a reader changes nothing
  {
    Engine writer;
    writer.open_kept(torn, GraphWriterLock::acquire(torn));
    EXPECT_EQ(without_last, testing::rows_json(writer, kRead));
    EXPECT_NO_THROW(testing::rows_json(writer, "CREATE (:After)"));
  }
  EXPECT_NE(without_last, answer_of(load_snapshot(torn)));
  // Damaged before the tail: refused, naming the offset.
  const std::string damaged = copy("damaged.orv");
  {
    std::string bytes = testing::read_text_file(damaged + "-wal");
    bytes[48 + 12 + 2] ^= 0x20;  // inside the first record's payload
    testing::write_text_file(damaged + "-wal", bytes);
  }
  EXPECT_EQ("write-ahead log " + damaged + "-wal is corrupt at offset 48", error_loading(damaged));
  // Another snapshot's log.
  const std::string foreign = dir_.file("foreign.orv");
  save_snapshot(testing::random_graph(5, 0, 3, 9, true, 1), foreign);
  fs::copy_file(log, foreign + "-wal");
  EXPECT_EQ("write-ahead log " + foreign + "-wal belongs to another snapshot", error_loading(foreign));
}

// A disk that takes no more (a file size limit stands in for ENOSPC): the
// statement fails and changes nothing, reads go on, and once there is room
// again writes commit and the failed one was never logged. The writes run
// as a server runs them, on the writer's copy beside readers: the failed
// one never reaches the other copy either, which the last write publishes.
TEST_F(Recovery, AFullDiskFailsTheWriteAndKeepsServingReads) {
  const auto write = [&](const std::string& statement) {
    return testing::as_server_writes(engine_, [&] { return testing::rows_json(engine_, statement); });
  };
  write("MATCH (n:Nothing) DELETE n");  // no writer's copy yet: one is made after it
  ASSERT_EQ(1u, engine_.writer_copies("g"));
  const std::string log = file_ + "-wal";
  rlimit old{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = old;
  tight.rlim_cur = fs::file_size(log) + 8;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &tight));
  std::string failure;
  try {
    // Its record is longer than the zeros the log was extended with.
    write("CREATE (:Lost {v: [x IN range(1, 300000) | 'padding']})");
  } catch (const std::exception& e) {
    failure = e.what();
  }
  const std::string read_while_full = testing::rows_json(engine_, kRead);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ("write-ahead log " + log + ": File too large", failure);
  EXPECT_EQ(expected_, read_while_full);
  EXPECT_NO_THROW(write("CREATE (:Kept)"));
  EXPECT_NO_THROW(write("CREATE (:Kept)"));
  EXPECT_EQ(1u, engine_.writer_copies("g"));
  const ReadingScope reading(engine_);
  const std::string after = testing::rows_json(engine_, kRead);
  EXPECT_EQ(after, answer_of(load_snapshot(file_)));
  EXPECT_EQ(std::string::npos, after.find("Lost"));
  EXPECT_NE(std::string::npos, after.find("Kept"));
}

}  // namespace
}  // namespace orvane
