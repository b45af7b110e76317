// The progress line of migrate and export: what it says for each kind of
// progress, and that it shows on a terminal only, erased before the
// command's own lines.
#include <gtest/gtest.h>

#include <string>

#include "cli/progress_line.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

TEST(ProgressLine, SaysWhatIsKnown) {
  const struct {
    std::uint64_t records, bytes, total_bytes, total_records;
    double seconds;
    std::string expected;
  } cases[] = {
      {1234567, 0, 0, 0, 2, "importing 1,234,567 records  617,283 records/s"},
      {1000, 120500000, 377000000, 0, 10, "importing 1,000 records  120.5 MB of 377.0 MB  12.1 MB/s  21 s left"},
      {500, 0, 0, 2000, 1, "importing 500 of 2,000 records  500 records/s  3 s left"},
      {0, 0, 0, 0, 0, "importing 0 records"},
  };
  for (const auto& c : cases) {
    TransferProgress p;
    p.records = c.records;
    p.bytes = c.bytes;
    p.total_bytes = c.total_bytes;
    p.total_records = c.total_records;
    EXPECT_EQ(c.expected, ProgressLine::text("importing", p, c.seconds));
  }
}

// On a terminal (a pseudo-terminal from script(1)) the line is drawn and
// erased; into a pipe or a file nothing is written to standard error.
TEST(ProgressLine, OnlyOnATerminal) {
  const testing::TempDir dir;
  std::string rows = ":ID,n:int\n";
  for (int i = 0; i < 300000; ++i) rows += std::to_string(i) + "," + std::to_string(i) + "\n";
  testing::write_text_file(dir.file("n.csv"), rows);
  const std::string command = std::string(ORVANE_BINARY) + " migrate --nodes=n.csv --out t.orv";
  const testing::RunResult piped = testing::run_program({"sh", "-c", command}, dir.path());
  EXPECT_EQ(0, piped.status);
  EXPECT_EQ("", piped.err);
  const testing::RunResult shown = testing::run_program(
      {"script", "-qec", std::string(ORVANE_BINARY) + " migrate --nodes=n.csv --out u.orv", "/dev/null"}, dir.path());
  EXPECT_EQ(0, shown.status) << shown.out;
  EXPECT_NE(std::string::npos, shown.out.find("\r\033[K")) << shown.out;
  // The erase comes before the command's own first line.
  EXPECT_LT(shown.out.rfind("\r\033[K"), shown.out.find("migrated from")) << shown.out;
}

}  // namespace
}  // namespace orvane
