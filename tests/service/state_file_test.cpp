// The application directory and the state file: every rejection. The
// identity checks and the log rotation are shown end to end by the service
// command's tests.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "service/app_directory.h"
#include "service/state_file.h"
#include "support/error_text.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(ApplicationDirectory, FollowsAnAbsoluteDataHomeThenHomeAndIsPrivate) {
  ScopedEnv data{"XDG_DATA_HOME", std::string("/x/data")};
  EXPECT_EQ(application_directory(), "/x/data/halvex");
  ScopedEnv empty{"XDG_DATA_HOME", std::string("")}, home{"HOME", std::string("/x/home")};
  EXPECT_EQ(application_directory(), "/x/home/.local/share/halvex");
  ScopedEnv relative_home{"HOME", std::string("rel")};
  EXPECT_EQ(error_of([] { application_directory(); }), "HOME must be an absolute directory");

  // The directory is made private (0700) and is neither a link nor another user's.
  TempDir dir;
  ensure_private_directory(dir.file("a/b"));
  struct stat info {};
  ASSERT_EQ(stat(dir.file("a/b").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  fs::create_directory_symlink(dir.file("a/b"), dir.file("link"));
  const std::string refusal = "Application directory must be a directory owned by your user: ";
  EXPECT_EQ(error_of([&] { ensure_private_directory(dir.file("link")); }), refusal + dir.file("link"));
  if (geteuid() != 0) return;  // giving a directory to another user needs root
  fs::create_directory(dir.file("foreign"));
  ASSERT_EQ(chown(dir.file("foreign").c_str(), 65534, 65534), 0);
  EXPECT_EQ(error_of([&] { ensure_private_directory(dir.file("foreign")); }), refusal + dir.file("foreign"));
}

TEST(StateFile, WrittenCompactlyReadBackAndRejected) {
  TempDir dir;
  const nlohmann::json state = {{"instance", "abc"}, {"pid", 7}, {"port", 7475}};
  write_state_file(dir.file("service.json"), state);
  EXPECT_EQ(read_text_file(dir.file("service.json")), state.dump() + "\n");
  EXPECT_EQ(read_state(dir.file("service.json")), state);
  EXPECT_TRUE(read_state(dir.file("missing.json")).is_null());
  std::ofstream(dir.file("array.json")) << "[]";
  EXPECT_TRUE(read_state(dir.file("array.json")).is_null());
  std::ofstream(dir.file("big.json")) << std::string(16385, ' ');
  fs::create_directory(dir.file("dir.json"));
  fs::create_symlink(dir.file("big.json"), dir.file("link.json"));
  for (const char* name : {"big.json", "dir.json"}) {
    EXPECT_EQ(error_of([&] { read_state(dir.file(name)); }), "Invalid application state file") << name;
  }
  EXPECT_EQ(error_of([&] { read_state(dir.file("link.json")); }), "Cannot read application state");

  // A write that cannot land leaves nothing behind, not even its temporary file.
  const struct {
    std::string path, error;
  } refused[] = {
      {dir.file("dir.json"), "Cannot save application state " + dir.file("dir.json") + ": is a directory"},
      {dir.file("missing/service.json"), "Cannot save application state: No such file or directory"},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(error_of([&] { write_state_file(r.path, state); }), r.error) << r.path;
  }
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 5u);  // service.json, array.json, big.json, dir.json, link.json
}

}  // namespace
}  // namespace orvane::testing
