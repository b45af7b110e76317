// Static files. A name is checked twice: lexically first (no "..", no "//"),
// then after resolving symbolic links, so that a link inside a root which
// points outside it is refused like a "../" path. Paths are not
// percent-decoded, so "%2e%2e" names a file of that literal name.
//
// Files are opened non-blocking and must be regular: a FIFO or device placed
// in a root would otherwise block a worker in open() or read() forever, and
// a directory reads as an error rather than as an empty file.
#include "http/static_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace orvane {
namespace {

namespace fs = std::filesystem;

HttpResponse not_found() { return {404, "not found", "text/plain"}; }

const char* content_type_for(std::string_view name) {
  if (name.ends_with(".js")) return "application/javascript; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  if (name.ends_with(".svg")) return "image/svg+xml";
  if (name.ends_with(".json")) return "application/json";
  return "text/html; charset=utf-8";
}

// The whole content of the regular file at `path`; "" when it cannot be
// opened, is not a regular file or cannot be read to its end.
std::string read_regular_file(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return "";
  std::string data;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    data.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
      const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    data.resize(got);  // a file that shrank while being read is served as far as it was read
  }
  ::close(fd);
  return data;
}

}  // namespace

bool is_static_request(std::string_view method, std::string_view path) {
  return method == "GET" && (path == "/" || path == "/site" || path.starts_with("/site/") ||
                             path.find('.') != std::string_view::npos);
}

HttpResponse serve_static_file(std::string_view path, const std::string& web_root, const std::string& site_root) {
  if (path.empty() || path[0] != '/' || path.starts_with("//") || path.find("..") != std::string_view::npos) {
    return not_found();
  }
  const std::string web = web_root.empty() ? "web" : web_root;
  const std::string site = site_root.empty() ? "site" : site_root;
  std::string root;
  std::string name;
  if (path == "/site" || path == "/site/") {
    root = site, name = "index.html";
  } else if (path.starts_with("/site/")) {
    root = site, name = path.substr(6);
  } else if (path == "/") {
    root = web, name = "index.html";
  } else {
    root = web, name = path.substr(1);
  }

  const fs::path candidate = fs::path(root) / name;
  std::error_code ec;
  const fs::path real_root = fs::weakly_canonical(root, ec);
  if (ec) return not_found();
  const fs::path real_candidate = fs::weakly_canonical(candidate, ec);
  if (ec) return not_found();
  const fs::path relative = real_candidate.lexically_relative(real_root);
  if (relative.empty() || relative.native().starts_with("..")) return not_found();

  std::string data = read_regular_file(real_candidate);
  if (data.empty()) return not_found();
  return {200, std::move(data), content_type_for(candidate.native())};
}

}  // namespace orvane
