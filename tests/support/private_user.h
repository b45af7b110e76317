// A user's environment inside a temporary directory, for tests of serve and
// the background service: XDG_DATA_HOME and HOME point into it and no
// display variable is set, so a started server touches none of the real
// user's files and no browser is opened.
#pragma once

#include <optional>
#include <string>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane::testing {

struct PrivateUser {
  // The application directory the service uses in this environment.
  std::string app() const { return dir.file("data/halvex"); }

  TempDir dir;
  ScopedEnv data_home{"XDG_DATA_HOME", dir.file("data")};
  ScopedEnv home{"HOME", dir.path()};
  ScopedEnv display{"DISPLAY", std::nullopt};
  ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
  ScopedEnv browser{"BROWSER", std::nullopt};
};

}  // namespace orvane::testing
