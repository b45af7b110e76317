// The application directory and the state file: every rejection, and the
// identity checks that keep a stale or foreign state file from naming a
// process that may be signalled.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "service/app_directory.h"
#include "service/state_file.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

std::string message_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

nlohmann::json own_state() {
  return {{"boot", read_text_file("/proc/sys/kernel/random/boot_id")},
          {"instance", "abc"},
          {"pid", static_cast<long long>(getpid())},
          {"port", 7475},
          {"ticks", process_start_ticks(getpid())}};
}

TEST(ApplicationDirectory, FollowsDataHomeThenHome) {
  ScopedEnv data{"XDG_DATA_HOME", std::string("/x/data")};
  EXPECT_EQ(application_directory(), "/x/data/halvex");
  ScopedEnv empty{"XDG_DATA_HOME", std::string("")};
  ScopedEnv home{"HOME", std::string("/x/home")};
  EXPECT_EQ(application_directory(), "/x/home/.local/share/halvex");
}

TEST(ApplicationDirectory, RejectsRelativeDataHomeAndHome) {
  {
    ScopedEnv data{"XDG_DATA_HOME", std::string("relative/path")};
    EXPECT_EQ(message_of([] { application_directory(); }), "XDG_DATA_HOME must be an absolute directory");
  }
  ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
  ScopedEnv home{"HOME", std::string("rel")};
  EXPECT_EQ(message_of([] { application_directory(); }), "HOME must be an absolute directory");
}

TEST(ApplicationDirectory, PrivateDirectoryIsCreatedWithMode0700AndASymlinkIsRefused) {
  TempDir dir;
  ensure_private_directory(dir.file("a/b"));
  struct stat info {};
  ASSERT_EQ(stat(dir.file("a/b").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  std::filesystem::create_directory_symlink(dir.file("a/b"), dir.file("link"));
  EXPECT_EQ(message_of([&] { ensure_private_directory(dir.file("link")); }),
            "Application directory must be a directory owned by your user: " + dir.file("link"));
}

TEST(ApplicationDirectory, ADirectoryOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a directory to another user needs root";
  TempDir dir;
  const std::string foreign = dir.file("foreign");
  std::filesystem::create_directory(foreign);
  ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
  EXPECT_EQ(message_of([&] { ensure_private_directory(foreign); }),
            "Application directory must be a directory owned by your user: " + foreign);
}

TEST(StateFile, WrittenCompactlyAndReadBack) {
  TempDir dir;
  write_state_file(dir.file("service.json"), own_state());
  const std::string text = read_text_file(dir.file("service.json"));
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find(' '), std::string::npos);
  EXPECT_EQ(read_state(dir.file("service.json")), own_state());
  EXPECT_TRUE(read_state(dir.file("missing.json")).is_null());
}

TEST(StateFile, Rejections) {
  TempDir dir;
  std::ofstream(dir.file("big.json")) << std::string(16385, ' ');
  EXPECT_EQ(message_of([&] { read_state(dir.file("big.json")); }), "Invalid application state file");
  std::filesystem::create_directory(dir.file("dir.json"));
  EXPECT_EQ(message_of([&] { read_state(dir.file("dir.json")); }), "Invalid application state file");
  std::filesystem::create_symlink(dir.file("big.json"), dir.file("link.json"));
  EXPECT_EQ(message_of([&] { read_state(dir.file("link.json")); }), "Cannot read application state");
  std::ofstream(dir.file("array.json")) << "[]";
  EXPECT_TRUE(read_state(dir.file("array.json")).is_null());
}

TEST(LiveInstance, StaleOrForeignStatesAreNeverLive) {
  nlohmann::json state = own_state();
  EXPECT_FALSE(is_live_instance(state));  // this test's command line has no --managed-instance
  nlohmann::json wrong_ticks = state;
  wrong_ticks["ticks"] = "1";
  EXPECT_FALSE(is_live_instance(wrong_ticks));
  nlohmann::json wrong_boot = state;
  wrong_boot["boot"] = "other\n";
  EXPECT_FALSE(is_live_instance(wrong_boot));
  nlohmann::json huge_pid = state;
  huge_pid["pid"] = 4294967297ULL;
  EXPECT_FALSE(is_live_instance(huge_pid));
  nlohmann::json dead = state;
  dead["pid"] = 1;
  EXPECT_FALSE(is_live_instance(dead));
  EXPECT_EQ(service_url(state), "http://127.0.0.1:7475/");
}

TEST(ServerLog, RotatedFromExactlyFiveMebibytes) {
  TempDir dir;
  std::ofstream(dir.file("small.log")) << std::string(5242879, 'x');
  close(open_server_log(dir.file("small.log")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("small.log.1")));
  std::ofstream(dir.file("big.log")) << std::string(5242880, 'x');
  close(open_server_log(dir.file("big.log")));
  EXPECT_EQ(std::filesystem::file_size(dir.file("big.log.1")), 5242880u);
  EXPECT_EQ(std::filesystem::file_size(dir.file("big.log")), 0u);
}

}  // namespace
}  // namespace orvane
