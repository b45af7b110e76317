// What a hostile user or a failing machine can do to the commands, through
// the real binary. Devices are private copies made with mknod in the test's
// own directory; the cases that need them are skipped where mknod is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> tiny(std::vector<std::string> args) {
  args.insert(args.end(), {"--people", "10", "--papers", "10"});
  return args;
}

// A private character device: 1,3 is null, 1,7 is full.
bool make_device(const std::string& path, unsigned minor) {
  return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, minor)) == 0;
}

TEST(HostileInputs, OutputPathsThatCannotTakeAFileAreRefusedBeforeAnyWorkAndLostOutputFails) {
  TempDir dir;
  const bool devices = make_device(dir.file("null"), 3);
  ASSERT_EQ(0, ::mkfifo(dir.file("fifo").c_str(), 0600));
  fs::create_directory(dir.file("dir"));
  write_text_file(dir.file("file"), "x");
  fs::create_symlink("missing", dir.file("dangling"));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"snapshot", "--out", "fifo"}, "cannot write snapshot fifo: is not a regular file"},
      {{"snapshot", "--out", "dir"}, "cannot write snapshot dir: is a directory"},
      {{"snapshot", "--out", ""}, "cannot write snapshot: no path given"},
      {{"snapshot", "--out", "dangling"}, "cannot write snapshot dangling: is a symbolic link to a missing file"},
      {{"snapshot", "--out", "file/g.orv"}, "cannot write snapshot file/g.orv: a parent is not a directory"},
      {{"bench", "--json", "fifo"}, "cannot write report fifo: is not a regular file"},
      {{"rag", "--json", "dir"}, "cannot write report dir: is a directory"},
      {{"generate", "--out", "file"}, "cannot write corpus files to file: not a directory"},
      {{"snapshot", "--out", "null"}, "cannot write snapshot null: is not a regular file"},
      {{"bench", "--json", "null"}, "cannot write report null: is not a regular file"},
  };
  for (const auto& [args, error] : cases) {
    if (devices || error.find("null") == std::string::npos) {
      expect_refusal(run_orvane(tiny(args), dir.path()), "error: " + error + "\n");  // before any work
    }
  }
  EXPECT_TRUE(fs::is_fifo(dir.file("fifo")) && fs::is_symlink(dir.file("dangling")) &&
              (!devices || fs::is_character_file(fs::symlink_status(dir.file("null")))));
  EXPECT_FALSE(fs::exists(dir.file("dir/.lock")) || fs::exists(dir.file(".lock")));
  // A link to a regular file: the file is replaced and the link stays.
  fs::create_symlink("file", dir.file("link"));
  ASSERT_EQ(0, run_orvane(tiny({"snapshot", "--out", "link"}), dir.path()).status);
  EXPECT_TRUE(fs::is_symlink(dir.file("link")));
  // Standard output lost to a full device fails every command.
  if (!devices || !make_device(dir.file("full"), 7)) GTEST_SKIP() << "mknod is not permitted here";
  for (const std::string command : {"schema --people 10 --papers 10", "--help", "snapshot --db file --out h.orv",
                                    "export --db file --out e", "bench --json '' --db file --iters 1"}) {
    const RunResult r = run_shell("exec \"$0\" " + command + " >full", dir.path());
    EXPECT_EQ(1, r.status) << command;
    EXPECT_NE(std::string::npos, r.err.find("error: cannot write standard output\n")) << command << r.err;
  }
}

TEST(HostileInputs, SnapshotsThatAreFifosShrinkOrClaimBeyondMemoryFailWithAMessage) {
  TempDir dir;
  ASSERT_EQ(0, ::mkfifo(dir.file("fifo").c_str(), 0600));
  expect_refusal(run_program({"timeout", "20", ORVANE_BINARY, "export", "--db", "fifo", "--out", "x"}, dir.path()),
                 "error: snapshot is not a regular, complete file\n");
  // Truncations at different moments of a load: every run ends with an exit
  // status, never a signal (the last status printed is the loop's own).
  orvane_output({"snapshot", "--people", "20000", "--papers", "8000", "--out", "s.orv"}, dir.path());
  const RunResult r = run_shell(
      "for d in 0 0.002 0.005 0.01 0.02 0.04 0.08; do cp s.orv t.orv; \"$0\" export --db t.orv --out o$d >/dev/null 2>>err & "
      "sleep $d; truncate -s 100000 t.orv; wait $!; echo $?; done",
      dir.path());
  std::istringstream statuses(r.out), errors(read_text_file(dir.file("err")));
  int runs = 0;
  for (int status; statuses >> status; ++runs) EXPECT_TRUE(status == 0 || status == 1) << status;
  EXPECT_EQ(7, runs);
  for (std::string line; std::getline(errors, line);) {
    EXPECT_TRUE(line == "error: snapshot truncated" || line == "error: snapshot checksum mismatch") << line;
  }

  // A version 3 header claiming 25 million nodes and nothing else, in a
  // sparse file exactly as long as the header's sizes demand: it must fail
  // at the node mapping without reading the rest of the file into memory.
  const std::uint32_t nodes = 25'000'000;
  std::string bytes = "ORVSNAP2";
  auto put = [&bytes](auto v) { bytes.append(reinterpret_cast<const char*>(&v), sizeof v); };
  for (std::uint32_t v : {3u, nodes, 0u, 32u, 0u, 0u}) put(v);
  for (std::uint16_t v : {0, 1, 0, 1}) put(v);
  for (std::uint32_t v : {2u, 2u}) put(v);
  for (const std::string name : {"Person", "Paper", "FOLLOWS", "AUTHORED"}) {
    put(static_cast<std::uint32_t>(name.size()));
    bytes += name;
  }
  write_text_file(dir.file("sparse.orv"), bytes);
  fs::resize_file(dir.file("sparse.orv"), bytes.size() + std::uint64_t{nodes} * 158 + 8);
#if defined(__SANITIZE_ADDRESS__)
  const std::string limit;  // the sanitizer reserves more address space than any limit allows
#else
  const std::string limit = "ulimit -v 1500000; ";
#endif
  expect_refusal(run_shell(limit + "exec \"$0\" export --db sparse.orv --out x", dir.path()),
                 "error: invalid snapshot node mapping\n");
  // Corpora and sweeps too big for this machine's memory are refused up front.
  const RunResult sweep = run_orvane({"dim-stress", "--dims", "4294967295", "--n", "1000", "--json", ""});
  EXPECT_EQ(0u, sweep.err.find("error: out of memory: a dimension sweep matrix of 1000 x 4294967295 floats needs "
                               "at least 16400383 MiB, more than the "))
      << sweep.err;
  const RunResult corpus = run_orvane({"snapshot", "--people", "4000000000", "--out", "g.orv"}, dir.path());
  EXPECT_EQ(0u, corpus.err.find("error: out of memory: a corpus of 4000008000 nodes needs at least ")) << corpus.err;
  EXPECT_FALSE(fs::exists(dir.file("g.orv")));
}

TEST(HostileInputs, WritersRemoveWhatKilledWritersLeftButNotWhatLiveOnesHold) {
  TempDir dir;
  ASSERT_EQ(0, run_orvane(tiny({"snapshot", "--out", "g.orv"}), dir.path()).status);
  write_text_file(dir.file("g.orv.tmp-AAAAAA"), std::string(1 << 16, 'x'));
  write_text_file(dir.file("g.orv.tmp-BBBBBB"), "x");
  write_text_file(dir.file("other.orv.tmp-CCCCCC"), "x");             // another target's
  write_text_file(dir.file(".halvex-export-DDDDDD/nodes.csv"), "x");  // a killed export's
  fs::create_directory(dir.file(".halvex-export-EEEEEE"));            // just made, still empty
  write_text_file(dir.file(".halvex-export-FFFFFF/nodes.csv"), "x");
  const int live = ::open(dir.file(".halvex-export-FFFFFF").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(0, ::flock(live, LOCK_EX));  // an export that is still running
  ASSERT_EQ(0, run_orvane(tiny({"snapshot", "--out", "g.orv"}), dir.path()).status);
  ASSERT_EQ(0, run_orvane({"export", "--db", "g.orv", "--out", "e"}, dir.path()).status);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) left.insert(entry.path().filename().string());
  EXPECT_EQ((std::set<std::string>{".halvex-export-EEEEEE", ".halvex-export-FFFFFF", "e", "g.orv", "g.orv.lock",
                                   "other.orv.tmp-CCCCCC"}),
            left);
  ::close(live);
}

// A disk that fills up during generate (a file size limit, with the signal
// it raises ignored so that writes fail as on a full disk): a new directory
// does not appear, an existing one keeps its old files, nothing is left.
TEST(HostileInputs, GenerateNeverLeavesFilesCutShort) {
  TempDir dir;
  write_text_file(dir.file("old/nodes.csv"), "old nodes\n");
  write_text_file(dir.file("old/rels.csv"), "old rels\n");
  write_text_file(dir.file("old/keep.orv"), "keep\n");
  for (const std::string out : {"new", "old"}) {
    expect_refusal(run_shell("trap '' XFSZ; ulimit -f 64; exec \"$0\" generate --people 2000 --papers 800 --out " + out,
                             dir.path()),
                   "error: CSV export write failed\n");
  }
  EXPECT_FALSE(fs::exists(dir.file("new")));
  EXPECT_EQ("old nodes\nold rels\n", read_text_file(dir.file("old/nodes.csv")) + read_text_file(dir.file("old/rels.csv")));
  EXPECT_EQ(3, std::distance(fs::directory_iterator(dir.file("old")), fs::directory_iterator()));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
  // Once it fits, the two files replace the old ones, as the report says.
  const std::string out =
      orvane_output({"generate", "--people", "50", "--papers", "20", "--seed", "3", "--out", "old"}, dir.path());
  ASSERT_EQ(0u, out.find("generated people=50 papers=20 nodes=70 unique_edges=")) << out;
  const std::string pending = out.substr(out.find("pending_before_unique=") + 22);
  EXPECT_NE(std::string::npos, out.find("unique_edges=" + pending.substr(0, pending.find('\n')) + " ")) << out;
  EXPECT_TRUE(out.ends_with("\ncsv_dir=old\n")) << out;
  const std::string nodes = read_text_file(dir.file("old/nodes.csv")), rels = read_text_file(dir.file("old/rels.csv"));
  EXPECT_EQ(0u, nodes.find("id:ID,name,topic:int,emb:float[],:LABEL\n"));
  EXPECT_EQ(71, std::count(nodes.begin(), nodes.end(), '\n'));
  EXPECT_EQ(std::stol(pending) + 1, std::count(rels.begin(), rels.end(), '\n'));
  EXPECT_EQ("keep\n", read_text_file(dir.file("old/keep.orv")));
}

}  // namespace
}  // namespace orvane::testing
