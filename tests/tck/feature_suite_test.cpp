// The suite on disk: files found in path order, scenario names with their
// folders, repeated names refused, and the passing list written sorted and
// read back.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tck/feature_suite.h"

namespace orvane::tck {
namespace {

TEST(FeatureSuite, LoadsEveryFeatureInPathOrder) {
  testing::TempDir dir;
  testing::write_text_file(dir.file("features/b/B1.feature"), "Feature: B1\n  Scenario: [1] b\n    Given any graph\n");
  testing::write_text_file(dir.file("features/a/x/A1.feature"),
                           "Feature: A1\n  Scenario: [1] a\n    Given any graph\n"
                           "  Scenario: [2] a\n    Given any graph\n");
  testing::write_text_file(dir.file("features/a/notes.txt"), "not a feature");
  const std::vector<SuiteScenario> suite = load_suite(dir.file("features"));
  ASSERT_EQ(3u, suite.size());
  EXPECT_EQ("a/x", suite[0].folder);
  EXPECT_EQ("a/x/A1.feature:[1] a", suite[0].scenario.name);
  EXPECT_EQ("a/x/A1.feature:[2] a", suite[1].scenario.name);
  EXPECT_EQ("b", suite[2].folder);
  EXPECT_EQ("b/B1.feature:[1] b", suite[2].scenario.name);

  testing::write_text_file(dir.file("features/b/B2.feature"),
                           "Feature: B2\n  Scenario: same\n    Given any graph\n  Scenario: same\n");
  try {
    load_suite(dir.file("features"));
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("scenario name repeated: b/B2.feature:same", e.what());
  }
}

TEST(FeatureSuite, PassingListIsSortedAndReadBack) {
  testing::TempDir dir;
  const std::string path = dir.file("passing.txt");
  EXPECT_TRUE(read_name_list(path).empty());
  write_name_list(path, {"b/B.feature:x #2", "a/A.feature:[1] y", "b/B.feature:x #10"});
  EXPECT_EQ("a/A.feature:[1] y\nb/B.feature:x #10\nb/B.feature:x #2\n", testing::read_text_file(path));
  testing::write_text_file(path, "# comment\n\nz\r\ny\n");
  EXPECT_EQ((std::vector<std::string>{"z", "y"}), read_name_list(path));
}

}  // namespace
}  // namespace orvane::tck
