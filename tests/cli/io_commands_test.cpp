// orvane export and orvane generate through the real binary: output lines,
// the files they leave, and the failures a user meets first.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

std::size_t line_count(const std::string& path) {
  const std::string text = read_text_file(path);
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ExportCommand, CsvAndJsonLinesFromASnapshot) {
  TempDir dir;
  ASSERT_EQ(0, run_orvane({"snapshot", "--people", "30", "--papers", "12", "--out", "g.orv"}, dir.path()).status);
  const RunResult csv = run_orvane({"export", "--db", "g.orv", "--out", "out/csv"}, dir.path());
  ASSERT_EQ(0, csv.status) << csv.err;
  ASSERT_EQ(0u, csv.out.find("exported nodes=42 edges="));
  EXPECT_TRUE(csv.out.ends_with(" to out/csv\n")) << csv.out;
  const std::size_t edges = std::stoul(csv.out.substr(csv.out.find("edges=") + 6));
  EXPECT_EQ(43u, line_count(dir.file("out/csv/nodes.csv")));
  EXPECT_EQ(edges + 1, line_count(dir.file("out/csv/rels.csv")));
  EXPECT_EQ(0u, read_text_file(dir.file("out/csv/nodes.csv")).find(":ID,:LABEL,properties:json\n0,\"Person\",\"{"));

  const RunResult jsonl = run_orvane({"export", "--db", "g.orv", "--out", "out/j", "--format", "jsonl"}, dir.path());
  ASSERT_EQ(0, jsonl.status) << jsonl.err;
  EXPECT_EQ(42u, line_count(dir.file("out/j/nodes.jsonl")));
  EXPECT_EQ(edges, line_count(dir.file("out/j/rels.jsonl")));
}

TEST(ExportCommand, Failures) {
  TempDir dir;
  ASSERT_EQ(0, run_orvane({"snapshot", "--empty", "--out", "g.orv"}, dir.path()).status);
  std::filesystem::create_directory(dir.file("taken"));
  const std::string usage = "error: export requires --db SNAP --out NEW_DIRECTORY\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"export", "--db", "g.orv"}, usage},
      {{"export", "--out", "x"}, usage},
      {{"export", "--db", "g.orv", "--out", "taken"}, "error: export destination already exists; choose a new directory\n"},
      {{"export", "--db", "g.orv", "--out", "x", "--format", "xml"}, "error: export format must be csv or jsonl\n"},
  };
  for (const auto& [args, err] : cases) {
    const RunResult r = run_orvane(args, dir.path());
    EXPECT_EQ(1, r.status) << err;
    EXPECT_EQ(err, r.err);
    EXPECT_EQ("", r.out);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("taken")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
}

TEST(GenerateCommand, WritesBenchmarkLayoutCsv) {
  TempDir dir;
  const RunResult r = run_orvane({"generate", "--people", "50", "--papers", "20", "--seed", "3", "--out", "c/d"},
                                 dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  ASSERT_EQ(0u, r.out.find("generated people=50 papers=20 nodes=70 unique_edges=")) << r.out;
  const std::string first = r.out.substr(0, r.out.find('\n'));
  const std::string pending = first.substr(first.find("pending_before_unique=") + 22);
  EXPECT_NE(std::string::npos, first.find("unique_edges=" + pending + " ")) << first;
  for (const char* part : {"entropy after optimize", "\ngenerate_ms=", " export_ms="}) {
    EXPECT_NE(std::string::npos, r.out.find(part)) << part;
  }
  EXPECT_TRUE(r.out.ends_with("\ncsv_dir=c/d\n")) << r.out;
  EXPECT_EQ(71u, line_count(dir.file("c/d/nodes.csv")));
  EXPECT_EQ(0u, read_text_file(dir.file("c/d/nodes.csv")).find("id:ID,name,topic:int,emb:float[],:LABEL\n0,\""));
  EXPECT_EQ(std::stoul(pending) + 1, line_count(dir.file("c/d/rels.csv")));

  // The same counts and seed give the same files, byte for byte.
  ASSERT_EQ(0, run_orvane({"generate", "--people", "50", "--papers", "20", "--seed", "3", "--out", "again"},
                          dir.path())
                   .status);
  EXPECT_EQ(read_text_file(dir.file("c/d/nodes.csv")), read_text_file(dir.file("again/nodes.csv")));
  EXPECT_EQ(read_text_file(dir.file("c/d/rels.csv")), read_text_file(dir.file("again/rels.csv")));
}

}  // namespace
}  // namespace orvane::testing
