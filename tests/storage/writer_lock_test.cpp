// The graph writer lock: one writer per path across processes, no planted
// links, and no lock leaking into programs started while it is held.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/writer_lock.h"
#include "support/error_text.h"
#include "support/run_binary.h"

extern char** environ;

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kBusy = "graph is already open for writing by another process";

// Tries the lock in a forked child: "" when it got it, else kBusy or "other".
std::string lock_in_other_process(const std::string& path) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    try {
      GraphWriterLock lock(path);
    } catch (const std::exception& e) {
      ::_exit(e.what() == kBusy ? 1 : 2);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return !WIFEXITED(status) ? "crashed" : WEXITSTATUS(status) == 0 ? "" : WEXITSTATUS(status) == 1 ? kBusy : "other";
}

TEST(GraphWriterLock, OneWriterPerPathAcrossProcessesAndNoLinks) {
  TempDir dir;
  const std::string path = dir.file("a/b/graph.orv");
  auto lock = GraphWriterLock::acquire(path);
  EXPECT_TRUE(lock->held());
  struct stat st {};
  ASSERT_EQ(0, ::stat((path + ".lock").c_str(), &st));  // the directories are created
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_EQ(kBusy, lock_in_other_process(path));  // at once: a waiting child would hang the test
  lock.reset();
  EXPECT_EQ("", lock_in_other_process(path));
  EXPECT_TRUE(fs::exists(path + ".lock") && !fs::exists(path));  // the lock file stays

  // Moving transfers the lock; assigning releases the target's own first.
  GraphWriterLock first(path);
  GraphWriterLock second(std::move(first));
  EXPECT_FALSE(first.held());  // NOLINT(bugprone-use-after-move): moved-from state is specified
  EXPECT_EQ(kBusy, lock_in_other_process(path));
  GraphWriterLock third(dir.file("x.orv"));
  third = std::move(second);
  EXPECT_EQ("", lock_in_other_process(dir.file("x.orv")));
  EXPECT_EQ(kBusy, lock_in_other_process(path));

  // A planted symbolic link is refused, and nothing is made where it points.
  fs::create_symlink(dir.file("elsewhere"), dir.file("linked.orv.lock"));
  EXPECT_EQ("cannot open graph writer lock", error_of([&] { GraphWriterLock lock(dir.file("linked.orv")); }));
  EXPECT_FALSE(fs::exists(dir.file("elsewhere")));
}

// A program started under the lock (a bridge script) must not keep it held.
TEST(GraphWriterLock, NotInheritedByAChildThatExecs) {
  TempDir dir;
  const std::string path = dir.file("graph.orv");
  pid_t child = -1;
  {
    GraphWriterLock lock(path);
    char sleep_path[] = "/bin/sleep", seconds[] = "30";
    char* argv[] = {sleep_path, seconds, nullptr};
    ASSERT_EQ(0, ::posix_spawn(&child, sleep_path, nullptr, nullptr, argv, environ));
  }
  EXPECT_EQ("", lock_in_other_process(path));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
}

// The lock belongs to the resolved file: a link and its target share it,
// and taking it removes the temporaries of interrupted saves of the
// resolved file (not of the link's name, which no save writes), leaving
// other files alone. A hard-linked snapshot is refused.
TEST(GraphWriterLock, FollowsLinksToTheFileAndCleansItsTemporaries) {
  TempDir dir;
  fs::create_directories(dir.file("real"));
  write_text_file(dir.file("real/g.orv"), "x");
  fs::create_symlink(dir.file("real/g.orv"), dir.file("link.orv"));
  fs::create_directory_symlink(dir.file("real"), dir.file("folder"));
  for (const char* stale : {"real/g.orv.tmp-abc123", "real/g.orv.tmp-zzzzzz", "link.orv.tmp-abc123",
                            "real/g.orv.tmp-toolong", "real/other.orv.tmp-abc123"}) {
    write_text_file(dir.file(stale), "partial");
  }
  {
    GraphWriterLock lock(dir.file("link.orv"));
    EXPECT_EQ(dir.file("real/g.orv"), resolved_snapshot_path(dir.file("folder/g.orv")));
    EXPECT_EQ(kBusy, lock_in_other_process(dir.file("real/g.orv")));
    EXPECT_EQ(kBusy, lock_in_other_process(dir.file("folder/g.orv")));
    EXPECT_TRUE(fs::exists(dir.file("real/g.orv.lock")) && !fs::exists(dir.file("link.orv.lock")));
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    if (entry.path().string().find(".tmp-") != std::string::npos) left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ((std::vector<std::string>{"g.orv.tmp-toolong", "link.orv.tmp-abc123", "other.orv.tmp-abc123"}), left);
  EXPECT_EQ(dir.file("new/none.orv"), resolved_snapshot_path(dir.file("new/none.orv")));  // nothing there yet

  fs::create_hard_link(dir.file("real/g.orv"), dir.file("hard.orv"));
  EXPECT_EQ("cannot open " + dir.file("real/g.orv") + " for writing: the file has 2 hard links, and a save replaces "
            "only one of them; copy it to a file of its own",
            error_of([&] { GraphWriterLock lock(dir.file("real/g.orv")); }));
}

}  // namespace
}  // namespace orvane::testing
