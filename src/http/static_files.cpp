// Static files. A name is checked twice: lexically first (no "..", no "//"),
// then after resolving symbolic links, so that a link inside a root which
// points outside it is refused like a "../" path. Paths are not
// percent-decoded, so "%2e%2e" names a file of that literal name.
//
// Files are opened non-blocking and must be regular: a FIFO or device placed
// in a root would otherwise block a worker in open() or read() forever, and
// a directory reads as an error rather than as an empty file.
//
// Answers are cached. The console loads dozens of files per page over a
// kept-alive connection, and resolving two paths and reading the file cost
// most of such a request. An entry is kept under the name as requested,
// with the file's resolved path and identity (device, inode, size,
// modification time); a hit costs one stat of the resolved path and is
// served only while that identity is unchanged, so an edited, replaced or
// removed file is resolved and checked again in full. Only small files are
// kept, and the cache starts over when it passes its byte bound.
#include "http/static_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace orvane {
namespace {

HttpResponse not_found() { return {404, "not found", "text/plain"}; }

constexpr std::size_t kCachedFileBytes = 1 << 20;   // larger files are read each time
constexpr std::size_t kCacheBytes = 64 << 20;       // the cache starts over beyond this

struct CachedFile {
  std::string resolved;  // the file's real path
  dev_t device;
  ino_t inode;
  off_t size;
  struct timespec modified;
  std::shared_ptr<const std::string> data;
};

struct FileCache {
  std::mutex mutex;
  std::unordered_map<std::string, CachedFile> entries;  // by root + "/" + name as requested
  std::size_t bytes = 0;
};

FileCache& file_cache() {
  static FileCache cache;
  return cache;
}

bool same_file(const struct stat& st, const CachedFile& entry) {
  return S_ISREG(st.st_mode) && st.st_dev == entry.device && st.st_ino == entry.inode && st.st_size == entry.size &&
         st.st_mtim.tv_sec == entry.modified.tv_sec && st.st_mtim.tv_nsec == entry.modified.tv_nsec;
}

// The cached content of `candidate` while its file is the one cached.
std::shared_ptr<const std::string> cached(const std::string& candidate) {
  FileCache& cache = file_cache();
  CachedFile entry;
  {
    const std::lock_guard<std::mutex> lock(cache.mutex);
    const auto it = cache.entries.find(candidate);
    if (it == cache.entries.end()) return nullptr;
    entry = it->second;
  }
  struct stat st {};
  if (::stat(entry.resolved.c_str(), &st) != 0 || !same_file(st, entry)) return nullptr;
  return entry.data;
}

void remember(const std::string& candidate, const std::string& resolved, const struct stat& st, std::string data) {
  if (data.size() > kCachedFileBytes) return;
  FileCache& cache = file_cache();
  const std::lock_guard<std::mutex> lock(cache.mutex);
  if (cache.bytes + data.size() > kCacheBytes) {
    cache.entries.clear();
    cache.bytes = 0;
  }
  if (const auto it = cache.entries.find(candidate); it != cache.entries.end()) {
    cache.bytes -= it->second.data->size();
    cache.entries.erase(it);
  }
  cache.bytes += data.size();
  cache.entries[candidate] = {resolved, st.st_dev, st.st_ino, st.st_size, st.st_mtim,
                              std::make_shared<const std::string>(std::move(data))};
}

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

// The whole content of the regular file at `path`, with its status in
// `st`; "" when it cannot be opened, is not a regular file or cannot be
// read to its end.
std::string read_regular_file(const std::string& path, struct stat& st) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return "";
  std::string data;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    data.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
      const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    data.resize(got);  // a file that shrank while being read is served as far as it was read
    if (got != static_cast<size_t>(st.st_size)) st.st_size = -1;  // never cached as complete
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
  if (const auto hit = cached(candidate)) return {200, *hit, content_type_for(candidate)};
  const std::string real_root = resolved(root);
  const std::string real_candidate = resolved(candidate);
  if (real_root.empty() || real_candidate.empty()) return not_found();
  const bool below_root = real_root == "/" ? real_candidate.size() > 1
                                           : real_candidate.size() > real_root.size() + 1 &&
                                                 real_candidate.starts_with(real_root) &&
                                                 real_candidate[real_root.size()] == '/';
  if (!below_root) return not_found();

  struct stat st {};
  std::string data = read_regular_file(real_candidate, st);
  if (data.empty()) return not_found();
  if (st.st_size >= 0) remember(candidate, real_candidate, st, data);
  return {200, std::move(data), content_type_for(candidate)};
}

}  // namespace orvane
