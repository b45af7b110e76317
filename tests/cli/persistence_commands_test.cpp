// The snapshot command and snapshot loading through --db, run through the
// real binary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

TEST(SnapshotCommand, WritesLoadsAndRefuses) {
  TempDir dir;
  const RunResult r = run_orvane({"snapshot", "--people", "40", "--papers", "10"}, dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, r.out.find("wrote data/graph.orv nodes=50 edges="));
  EXPECT_TRUE(std::filesystem::exists(dir.file("data/graph.orv.lock")));
  const RunResult copy = run_orvane({"snapshot", "--db", "data/graph.orv", "--out", "copy.orv"}, dir.path());
  ASSERT_EQ(0, copy.status) << copy.err;
  EXPECT_EQ(r.out.substr(r.out.find(" nodes=")), copy.out.substr(copy.out.find(" nodes=")));

  const RunResult empty = run_orvane({"snapshot", "--empty", "--out", "e.orv"}, dir.path());
  EXPECT_EQ("wrote e.orv nodes=0 edges=0\n", empty.out);
  std::filesystem::resize_file(dir.file("e.orv"), 100);
  const RunResult damaged = run_orvane({"snapshot", "--db", "e.orv", "--out", "h.orv"}, dir.path());
  EXPECT_EQ(1, damaged.status);
  EXPECT_EQ("error: snapshot checksum mismatch\n", damaged.err);
  EXPECT_EQ(0, run_orvane({"schema", "--db", "nope.orv"}, dir.path()).status);  // schema never reads --db
}

TEST(SnapshotCommand, SecondWriterFailsWithLockMessage) {
  TempDir dir;
  const int fd = ::open(dir.file("g.orv.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX));
  const RunResult r = run_orvane({"snapshot", "--empty", "--out", "g.orv"}, dir.path());
  ::close(fd);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("error: graph is already open for writing by another process\n", r.err);
  EXPECT_FALSE(std::filesystem::exists(dir.file("g.orv")));
}

}  // namespace
}  // namespace orvane::testing
