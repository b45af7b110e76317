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

#include <cstdlib>
#include <string>

namespace orvane {
namespace {

HttpResponse not_found() { return {404, "not found", "text/plain"}; }

const char* content_type_for(std::string_view name) {
  if (name.ends_with(".js")) return "application/javascript; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  if (name.ends_with(".svg")) return "image/svg+xml";
  if (name.ends_with(".json")) return "application/json";
  return "text/html; charset=utf-8";
}

// `path` with every symbolic link, "." and ".." resolved; "" when some
// component does not exist or cannot be read.
std::string resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return "";
  std::string out = real;
  std::free(real);
  return out;
}

// The whole content of the regular file at `path`; "" when it cannot be
// opened, is not a regular file or cannot be read to its end.
std::string read_regular_file(const std::string& path) {
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
  // A NUL would end the name the system sees early: "/index.html%00.js" as
  // raw bytes must not serve index.html as a script.
  if (path.find('\0') != std::string_view::npos) return not_found();
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

  // Resolving both names (links, ".", "..") needs them to exist, and a
  // missing file is answered 404 anyway, so realpath stands in for a
  // weakly-canonical resolution at a fraction of its system calls.
  const std::string candidate = root + "/" + name;
  const std::string real_root = resolved(root);
  const std::string real_candidate = resolved(candidate);
  if (real_root.empty() || real_candidate.empty()) return not_found();
  const bool below_root = real_root == "/" ? real_candidate.size() > 1
                                           : real_candidate.size() > real_root.size() + 1 &&
                                                 real_candidate.starts_with(real_root) &&
                                                 real_candidate[real_root.size()] == '/';
  if (!below_root) return not_found();

  std::string data = read_regular_file(real_candidate);
  if (data.empty()) return not_found();
  return {200, std::move(data), content_type_for(candidate)};
}

}  // namespace orvane
