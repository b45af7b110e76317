// The private per-user application directory of the local service: where it
// is (XDG_DATA_HOME, HOME or the password database) and how it is made
// private before anything, such as a graph writer lock, creates files in it.
#pragma once

#include <string>

namespace orvane {

// XDG_DATA_HOME/halvex when XDG_DATA_HOME is set and non-empty (it must be
// absolute: "XDG_DATA_HOME must be an absolute directory"); otherwise
// HOME/.local/share/halvex, HOME being the environment variable when set and
// non-empty ("HOME must be an absolute directory" when relative) or the
// current user's password database entry ("Cannot find your home directory"
// when there is none). Creates nothing.
std::string application_directory();

// Creates `path` with its parents, then requires through lstat a directory
// (not a symbolic link) owned by the current user, else throws
// "Application directory must be a directory owned by your user: PATH";
// then sets mode 0700, else throws "Cannot protect the application
// directory".
void ensure_private_directory(const std::string& path);

// The whole file at `path`, or "" when it cannot be opened.
std::string read_text_file(const std::string& path);

}  // namespace orvane
