// State file writing and reading, process identity checks through /proc and
// the server log. The pid is bounded to what both the /proc path and a
// pidfd can name, so the process checked is the process signalled.
//
// The state file is published with the storage layer's atomic replacement
// (temporary file, fsync, rename, directory fsync): a server is allowed to
// serve only once its state has reached the disk, and a rename that is not
// yet on disk could vanish with a power loss and leave that server unnamed.
#include "service/state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "service/app_directory.h"
#include "storage/atomic_file.h"

namespace orvane {
namespace {

constexpr off_t kMaxStateBytes = 16384;
constexpr off_t kLogRotationBytes = 5242880;
constexpr long long kMaxPid = 2147483647;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

void write_state_file(const std::string& path, const nlohmann::json& state) {
  static const AtomicWriteErrors errors{.refused = "Cannot save application state",
                                        .create = "Cannot save application state",
                                        .sync = "Cannot flush application state",
                                        .close = "Cannot flush application state",
                                        .rename = "Cannot save application state",
                                        .directory_sync = "Cannot flush application state"};
  const std::string text = state.dump() + "\n";
  replace_file_atomically(path, errors, [&](int fd) {
    if (!write_all(fd, text.data(), text.size())) throw std::runtime_error("Cannot write application state");
  });
}

nlohmann::json read_state(const std::string& path) {
  Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) {
    if (errno == ENOENT) return nullptr;
    throw std::runtime_error("Cannot read application state");
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != getuid() ||
      info.st_size > kMaxStateBytes) {
    throw std::runtime_error("Invalid application state file");
  }
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = read(fd.get(), text.data() + done, text.size() - done);
    if (n <= 0) throw std::runtime_error("Incomplete application state");
    done += static_cast<std::size_t>(n);
  }
  nlohmann::json state = nlohmann::json::parse(text, nullptr, false);
  if (!state.is_object()) return nullptr;
  return state;
}

std::string process_start_ticks(long long pid) {
  const std::string stat_text = read_text_file("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t end = stat_text.rfind(')');
  if (end == std::string::npos) return "";
  std::istringstream fields(stat_text.substr(end + 1));
  std::vector<std::string> after;
  std::string field;
  while (fields >> field) after.push_back(field);
  // after[0] is field 3 (the state), so field 22 is after[19].
  if (after.size() < 20) return "";
  if (after[0] == "Z" || after[0] == "X") return "";
  return after[19];
}

bool process_listens(long long pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::set<std::string> sockets;  // "socket:[INODE]" links of the process's descriptors
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd", error)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (!error && target.rfind("socket:[", 0) == 0) sockets.insert(target.substr(8, target.size() - 9));
  }
  for (const char* table : {"/net/tcp", "/net/tcp6"}) {
    std::istringstream lines(read_text_file(proc + table));
    std::string line;
    std::getline(lines, line);  // the column titles
    while (std::getline(lines, line)) {
      // sl local remote st tx:rx tr:when retransmits uid timeout inode ...
      std::istringstream fields(line);
      std::string field[10];
      for (std::string& f : field) fields >> f;
      if (field[3] == "0A" && sockets.contains(field[9])) return true;  // 0A: TCP_LISTEN
    }
  }
  return false;
}

bool is_live_instance(const nlohmann::json& state) {
  const auto pid_field = state.find("pid");
  if (pid_field == state.end() || !pid_field->is_number_integer()) return false;
  if (pid_field->is_number_unsigned() && pid_field->get<std::uint64_t>() > static_cast<std::uint64_t>(kMaxPid)) {
    return false;
  }
  const long long pid = pid_field->get<long long>();
  if (pid < 2 || pid > kMaxPid) return false;
  if (read_text_file("/proc/sys/kernel/random/boot_id") != state.at("boot").get<std::string>()) return false;
  if (process_start_ticks(pid) != state.at("ticks").get<std::string>()) return false;
  const std::string proc = "/proc/" + std::to_string(pid);
  struct stat info {};
  if (stat(proc.c_str(), &info) != 0 || info.st_uid != getuid()) return false;
  const std::string cmdline = read_text_file(proc + "/cmdline");
  std::string wanted = "--managed-instance";
  wanted.push_back('\0');
  wanted += state.value("instance", std::string());
  wanted.push_back('\0');
  return cmdline.find(wanted) != std::string::npos;
}

std::string service_url(const nlohmann::json& state) {
  return "http://127.0.0.1:" + std::to_string(state.at("port").get<unsigned>()) + "/";
}

std::string service_bolt_url(const nlohmann::json& state) {
  const auto port = state.find("bolt_port");
  if (port == state.end() || !port->is_number_unsigned() || port->get<unsigned>() == 0) return "";
  return "bolt://127.0.0.1:" + std::to_string(port->get<unsigned>());
}

int open_server_log(const std::string& log_path) {
  struct stat info {};
  if (lstat(log_path.c_str(), &info) == 0 && info.st_size >= kLogRotationBytes) {
    std::rename(log_path.c_str(), (log_path + ".1").c_str());
  }
  const int fd = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) throw std::runtime_error("Cannot open the database log");
  return fd;
}

}  // namespace orvane
