// The write-ahead log file: CRC-32C, the round trip through append, read_log
// and open, the torn-tail rules (a damaged last record is dropped and cut,
// damage anywhere else is an error naming its offset), a failed write cut
// back, and syncs shared between threads.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <filesystem>
#include <iostream>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "storage/crc32c.h"
#include "storage/write_ahead_log.h"
#include "support/error_text.h"
#include "support/temp_dir.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

Sha256Digest digest(std::uint8_t fill) {
  Sha256Digest d;
  d.fill(fill);
  return d;
}

const Sha256Digest kSnapshot = digest(7);

std::string pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 31 + i / 7);
  return s;
}

// Writes a synced log holding `payloads`; returns each record's start offset
// followed by the end of the file.
std::vector<std::uint64_t> write_log(const std::string& path, const std::vector<std::string>& payloads) {
  auto log = WriteAheadLog::create(path, kSnapshot);
  std::vector<std::uint64_t> offsets;
  for (const auto& p : payloads) {
    offsets.push_back(log->bytes());
    log->append(p);
  }
  offsets.push_back(log->bytes());
  log->sync(payloads.size());
  return offsets;
}

std::vector<std::string> reopen_and_append(const std::string& path, const std::string& payload) {
  std::vector<std::string> records;
  WriteAheadLog::open(path, kSnapshot, records)->append(payload);
  return read_log(path, kSnapshot).value().records;
}

TEST(Crc32c, CheckValuesAndIncremental) {
  std::string ascending(32, '\0');
  std::iota(ascending.begin(), ascending.end(), '\0');
  const std::string descending(ascending.rbegin(), ascending.rend());
  const struct {
    std::string input;
    std::uint32_t crc;
  } cases[] = {{"", 0},
               {"123456789", 0xE3069283u},
               {std::string(32, '\0'), 0x8A9136AAu},
               {std::string(32, '\xFF'), 0x62A8AB43u},
               {ascending, 0x46DD794Eu},
               {descending, 0x113FDB5Cu}};
  for (const auto& c : cases) EXPECT_EQ(c.crc, crc32c(c.input.data(), c.input.size())) << c.input.size();

  const std::string text = pattern(300);
  const std::uint32_t whole = crc32c(text.data(), text.size());
  for (std::size_t split = 0; split <= text.size(); ++split) {
    EXPECT_EQ(whole, crc32c(text.data() + split, text.size() - split, crc32c(text.data(), split))) << split;
  }
}

TEST(WriteAheadLog, PathsBesideTheSnapshot) {
  EXPECT_EQ("/d/g.orv-wal", log_path_of("/d/g.orv"));
  EXPECT_EQ("/d/g.orv-wal.old", retired_log_path_of("/d/g.orv"));
}

TEST(WriteAheadLog, RoundTripThroughReadAndOpen) {
  TempDir dir;
  const std::string path = dir.file("g.orv-wal");
  const std::vector<std::string> payloads = {"", "x", pattern(100), pattern(100000)};
  {
    auto log = WriteAheadLog::create(path, kSnapshot);
    EXPECT_EQ(48u, log->bytes());
    for (std::uint64_t i = 0; i < payloads.size(); ++i) EXPECT_EQ(i + 1, log->append(payloads[i]));
    log->sync(payloads.size());
    EXPECT_EQ(48u + 4 * 13 + 100101, log->bytes());
    EXPECT_LE(log->bytes(), fs::file_size(path));  // zeros ahead of the records
    EXPECT_EQ(path, log->path());
  }
  const auto contents = read_log(path, kSnapshot).value();
  EXPECT_EQ(payloads, contents.records);
  EXPECT_FALSE(contents.torn());
  EXPECT_EQ(48u + 4 * 13 + 100101, contents.whole_bytes);

  std::vector<std::string> records;
  auto log = WriteAheadLog::open(path, kSnapshot, records);
  EXPECT_EQ(payloads, records);
  EXPECT_EQ(1u, log->append("more"));  // sequence numbers restart with each open
  log->sync(1);
  auto expected = payloads;
  expected.push_back("more");
  EXPECT_EQ(expected, read_log(path, kSnapshot).value().records);
}

TEST(WriteAheadLog, EmptyMissingAndForeignLogs) {
  TempDir dir;
  const std::string path = dir.file("g.orv-wal");
  EXPECT_EQ(std::nullopt, read_log(path, kSnapshot));
  std::vector<std::string> records;
  EXPECT_EQ("write-ahead log " + path + ": No such file or directory",
            error_of([&] { WriteAheadLog::open(path, kSnapshot, records); }));

  write_log(path, {});
  const auto empty = read_log(path, kSnapshot).value();
  EXPECT_TRUE(empty.records.empty());
  EXPECT_FALSE(empty.torn());
  EXPECT_EQ(48u, empty.file_bytes);

  const std::string foreign = "write-ahead log " + path + " belongs to another snapshot";
  EXPECT_EQ(foreign, error_of([&] { read_log(path, digest(8)); }));
  EXPECT_EQ(foreign, error_of([&] { WriteAheadLog::open(path, digest(8), records); }));

  const std::string not_log = "write-ahead log " + path + " is not a write-ahead log";
  const std::string header = read_text_file(path);
  for (std::size_t i = 0; i < header.size(); ++i) {  // magic, version, digest and checksum alike
    std::string bad = header;
    bad[i] ^= 0x20;
    write_text_file(path, bad);
    EXPECT_EQ(not_log, error_of([&] { read_log(path, kSnapshot); })) << i;
  }
  write_text_file(path, header.substr(0, 47));
  EXPECT_EQ(not_log, error_of([&] { read_log(path, kSnapshot); }));
}

TEST(WriteAheadLog, TornLastRecordIsDroppedAndCutAtEveryLength) {
  TempDir dir;
  const std::string path = dir.file("g.orv-wal");
  const auto offsets = write_log(path, {"first", "second", pattern(40)});
  const std::string whole = read_text_file(path);
  const std::vector<std::string> kept = {"first", "second"};
  for (std::uint64_t cut = offsets[2] + 1; cut < offsets[3]; ++cut) {
    write_text_file(path, whole.substr(0, cut));
    const auto contents = read_log(path, kSnapshot).value();
    EXPECT_TRUE(contents.torn()) << cut;
    EXPECT_EQ(kept, contents.records) << cut;
    EXPECT_EQ(offsets[2], contents.whole_bytes) << cut;
    EXPECT_LE(contents.file_bytes, cut) << cut;  // less the payload's own trailing zeros
    EXPECT_GT(contents.file_bytes, offsets[2]) << cut;

    std::vector<std::string> records;
    WriteAheadLog::open(path, kSnapshot, records);
    EXPECT_EQ(kept, records) << cut;
    EXPECT_EQ(offsets[2], fs::file_size(path)) << cut;
    EXPECT_EQ((std::vector<std::string>{"first", "second", "new"}), reopen_and_append(path, "new")) << cut;
  }
}

// Zeros after the last record are where the next goes (the writer extends
// the file with them, or a crash left the file extended without data).
TEST(WriteAheadLog, ZeroFilledTailIsTheEndOfTheData) {
  TempDir dir;
  const std::string path = dir.file("g.orv-wal");
  const auto offsets = write_log(path, {"a", "b"});
  const std::string whole = read_text_file(path);
  for (std::size_t zeros : {1, 11, 12, 13, 4096, 200000}) {
    write_text_file(path, whole + std::string(zeros, '\0'));
    const auto contents = read_log(path, kSnapshot).value();
    EXPECT_FALSE(contents.torn()) << zeros;
    EXPECT_EQ(offsets[2], contents.file_bytes) << zeros;
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), contents.records) << zeros;
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), reopen_and_append(path, "c")) << zeros;
    EXPECT_EQ(offsets[2] + 14, read_log(path, kSnapshot).value().whole_bytes) << zeros;
  }
}

TEST(WriteAheadLog, FlippedByteIsCorruptionExceptInTheLastRecord) {
  TempDir dir;
  const std::string path = dir.file("g.orv-wal");
  const std::vector<std::string> payloads = {"alpha", "", "gamma-delta", "omega"};
  const auto offsets = write_log(path, payloads);
  const std::string whole = read_text_file(path);
  const std::size_t last = payloads.size() - 1;
  for (std::size_t record = 0; record <= last; ++record) {
    for (std::uint64_t at = offsets[record]; at < offsets[record + 1]; ++at) {
      std::string bad = whole;
      bad[at] ^= 0x5A;
      write_text_file(path, bad);
      if (record < last) {
        EXPECT_EQ("write-ahead log " + path + " is corrupt at offset " + std::to_string(offsets[record]),
                  error_of([&] { read_log(path, kSnapshot); }))
            << at;
        continue;
      }
      const auto contents = read_log(path, kSnapshot).value();
      EXPECT_TRUE(contents.torn()) << at;
      EXPECT_EQ(std::vector<std::string>(payloads.begin(), payloads.end() - 1), contents.records) << at;
      EXPECT_EQ(offsets[last], contents.whole_bytes) << at;
    }
  }
}

// Lowers the process's file size limit, with SIGXFSZ ignored so that
// crossing it fails the write with EFBIG instead of killing the process;
// restores both when it goes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit lowered{bytes, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  sighandler_t old_handler_;
};

TEST(WriteAheadLog, FailedWriteIsCutBackAndTheLogStaysUsable) {
  TempDir dir;
  const std::string path = dir.file("g.orv-wal");
  auto log = WriteAheadLog::create(path, kSnapshot);
  log->sync(log->append("before"));
  const std::uint64_t size = log->bytes(), allocated = fs::file_size(path);
  {
    // A record past the zeros the file was extended with: extending it
    // further fails after 20 bytes.
    const FileSizeLimit limit(allocated + 20);
    EXPECT_EQ("write-ahead log " + path + ": File too large",
              error_of([&] { log->append(pattern(allocated + 100)); }));
  }
  EXPECT_EQ(allocated, fs::file_size(path));
  EXPECT_EQ(size, log->bytes());
  EXPECT_EQ(std::vector<std::string>{"before"}, read_log(path, kSnapshot).value().records);
  log->sync(log->append("after"));
  EXPECT_EQ((std::vector<std::string>{"before", "after"}), read_log(path, kSnapshot).value().records);

  // Refused before a byte of it is read: the mapping is never touched.
  const std::size_t over = (std::size_t{1} << 30) + 1;
  void* huge = ::mmap(nullptr, over, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(MAP_FAILED, huge);
  EXPECT_EQ("write-ahead log record too large",
            error_of([&] { log->append(std::string_view(static_cast<const char*>(huge), over)); }));
  ::munmap(huge, over);
}

TEST(WriteAheadLog, ConcurrentSyncsAreShared) {
  TempDir dir;
  const std::string path = dir.file("g.orv-wal");
  auto log = WriteAheadLog::create(path, kSnapshot);
  constexpr int kThreads = 8, kEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) log->sync(log->append(std::to_string(t) + ":" + std::to_string(i)));
    });
  }
  for (auto& thread : threads) thread.join();
  const auto records = read_log(path, kSnapshot).value().records;
  ASSERT_EQ(std::size_t{kThreads * kEach}, records.size());
  std::vector<int> next(kThreads, 0);  // each thread's records in its own order
  for (const auto& r : records) {
    const int t = std::stoi(r.substr(0, r.find(':')));
    EXPECT_EQ(std::to_string(t) + ":" + std::to_string(next[t]++), r);
  }
  EXPECT_GE(log->syncs(), 1u);
  EXPECT_LE(log->syncs(), std::uint64_t{kThreads * kEach});
  std::cout << "[          ] " << kThreads * kEach << " records made durable by " << log->syncs() << " syncs\n";
  RecordProperty("syncs", static_cast<int>(log->syncs()));
}

TEST(WriteAheadLog, SyncOffReturnsWithoutSyncing) {
  TempDir dir;
  auto log = WriteAheadLog::create(dir.file("g.orv-wal"), kSnapshot);
  log->set_sync(false);
  log->sync(log->append("quick"));
  EXPECT_EQ(0u, log->syncs());
  log->set_sync(true);
  log->sync(1);
  EXPECT_EQ(1u, log->syncs());
  log->sync(1);  // already durable
  EXPECT_EQ(1u, log->syncs());
}

}  // namespace
}  // namespace orvane::testing
