// The snapshot command and snapshot-backed graph sources through the real
// binary.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/run_binary.h"

namespace orvane {
namespace {

using testing::run_orvane;
using testing::TempDir;

TEST(SnapshotCommand, WritesAFileOthersCanLoad) {
  TempDir dir;
  auto r = run_orvane({"snapshot", "--people", "50", "--papers", "20", "--out", "sub/g.orv"}, dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("wrote sub/g.orv nodes=70 edges=386\n", r.out);
  struct stat st{};
  ASSERT_EQ(0, stat(dir.file("sub/g.orv").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  // The same corpus from the file and generated afresh reports the same bench counts.
  r = run_orvane({"bench", "--db", "sub/g.orv", "--json", "", "--iters", "1", "--heavy-iters", "1", "--hops-only"},
                 dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  auto from_file = nlohmann::json::parse(r.out);
  r = run_orvane({"bench", "--people", "50", "--papers", "20", "--json", "", "--iters", "1", "--heavy-iters", "1",
                  "--hops-only"},
                 dir.path());
  auto generated = nlohmann::json::parse(r.out);
  for (const char* key : {"nodes", "edges", "hop3_reach_incl_self", "coauthors", "ql_hop3", "ql_coauthors"}) {
    EXPECT_EQ(generated[key], from_file[key]) << key;
  }
  r = run_orvane({"bench", "--db", "missing.orv"}, dir.path());
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0u, r.err.find("error: "));
}

}  // namespace
}  // namespace orvane
