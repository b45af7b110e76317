// The write-ahead log file: framing, validating reader, appends and group
// commit. The byte layout and the torn-tail rules are described in the header.
//
// Appends and syncs take different locks so that a thread writing its record
// never waits for another thread's fdatasync: while one sync is in flight the
// next records pile up, and the first waiter to wake starts one sync for all
// of them. A failed fdatasync breaks the log for good, because the kernel
// reports a writeback error only once: a later sync could succeed although
// the data it should have covered is lost.
#include "storage/write_ahead_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "storage/atomic_file.h"
#include "storage/crc32c.h"

namespace orvane {
namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'W', 'A', 'L', '0', '1'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 48;
constexpr std::size_t kDigestOffset = 12;
constexpr std::size_t kHeaderCrcOffset = 44;
constexpr std::size_t kRecordHeaderBytes = 12;
constexpr std::size_t kMaxPayload = std::size_t{1} << 30;
// How far ahead of its records the file is extended with zeros: a sync
// after overwriting zeros need not also record a new file size, which
// costs about half as much again on ext4.
constexpr std::uint64_t kGrowth = std::uint64_t{1} << 20;
// Every record ends with this byte, so that the last one never ends in a
// zero and the data's end is the file's last byte that is not zero.
constexpr char kEndMark = static_cast<char>(0xA5);

void put_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get_u32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::string named(const std::string& path) { return "write-ahead log " + path; }

[[noreturn]] void fail(const std::string& path, int error) {
  throw std::runtime_error(named(path) + ": " + std::strerror(error));
}

[[noreturn]] void fail_durable(const std::string& path, int error) {
  throw std::runtime_error(named(path) + " could not be made durable: " + std::strerror(error));
}

std::array<std::uint8_t, kHeaderBytes> encode_header(const Sha256Digest& snapshot) {
  std::array<std::uint8_t, kHeaderBytes> h{};
  std::memcpy(h.data(), kMagic, sizeof kMagic);
  put_u32(h.data() + 8, kVersion);
  std::memcpy(h.data() + kDigestOffset, snapshot.data(), snapshot.size());
  put_u32(h.data() + kHeaderCrcOffset, crc32c(h.data(), kHeaderCrcOffset));
  return h;
}

// Positioned reads of one open log; every failure is a thrown read error.
class Reader {
 public:
  Reader(int fd, const std::string& path) : fd_(fd), path_(path) {}

  void read(void* out, std::size_t size, std::uint64_t offset) const {
    auto* p = static_cast<char*>(out);
    while (size > 0) {
      const ssize_t got = ::pread(fd_, p, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) fail(path_, got < 0 ? errno : EIO);  // 0: the file shrank under us
      p += got;
      offset += static_cast<std::uint64_t>(got);
      size -= static_cast<std::size_t>(got);
    }
  }

  // One past the last byte in [from, end) that is not zero; `from` when
  // there is none. Read backwards in pieces, so a long tail of zeros costs
  // its own length once.
  std::uint64_t data_end(std::uint64_t from, std::uint64_t end) const {
    char buffer[1 << 16];
    while (end > from) {
      const std::uint64_t start = end - std::min<std::uint64_t>(end - from, sizeof buffer);
      const auto n = static_cast<std::size_t>(end - start);
      read(buffer, n, start);
      for (std::size_t i = n; i > 0; --i) {
        if (buffer[i - 1] != 0) return start + i;
      }
      end = start;
    }
    return from;
  }

  // Whether every byte in [from, end) is zero.
  bool zeros(std::uint64_t from, std::uint64_t end) const {
    bool all = true;
    for_each_piece(from, end, [&](const char* p, std::size_t n) {
      all = all && std::all_of(p, p + n, [](char c) { return c == 0; });
    });
    return all;
  }

  std::uint32_t crc(std::uint64_t from, std::uint64_t end) const {
    std::uint32_t c = 0;
    for_each_piece(from, end, [&](const char* p, std::size_t n) { c = crc32c(p, n, c); });
    return c;
  }

 private:
  template <typename Visit>
  void for_each_piece(std::uint64_t from, std::uint64_t end, Visit&& visit) const {
    std::vector<char> buffer(std::min<std::uint64_t>(end - from, 1 << 16));
    for (; from < end;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(end - from, buffer.size()));
      read(buffer.data(), n, from);
      visit(buffer.data(), n);
      from += n;
    }
  }

  int fd_;
  const std::string& path_;
};

[[noreturn]] void fail_corrupt(const std::string& path, std::uint64_t offset) {
  throw std::runtime_error(named(path) + " is corrupt at offset " + std::to_string(offset));
}

// Validates the header and collects the whole records of the log open at `fd`.
LogContents scan(int fd, const std::string& path, const Sha256Digest& snapshot) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail(path, errno);
  LogContents out;
  const Reader reader(fd, path);
  // The writer extends the file with zeros ahead of its records, so the
  // log's data ends at its last byte that is not zero.
  const auto file_size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t size = file_size < kHeaderBytes ? file_size : reader.data_end(kHeaderBytes, file_size);
  out.file_bytes = size;
  std::array<std::uint8_t, kHeaderBytes> header{};
  if (size >= kHeaderBytes) reader.read(header.data(), header.size(), 0);
  if (size < kHeaderBytes || std::memcmp(header.data(), kMagic, sizeof kMagic) != 0 ||
      get_u32(header.data() + 8) != kVersion ||
      get_u32(header.data() + kHeaderCrcOffset) != crc32c(header.data(), kHeaderCrcOffset)) {
    throw std::runtime_error(named(path) + " is not a write-ahead log");
  }
  if (std::memcmp(header.data() + kDigestOffset, snapshot.data(), snapshot.size()) != 0) {
    throw std::runtime_error(named(path) + " belongs to another snapshot");
  }
  std::uint64_t pos = kHeaderBytes;
  while (size - pos >= kRecordHeaderBytes) {
    std::uint8_t head[kRecordHeaderBytes];
    reader.read(head, sizeof head, pos);
    const std::uint64_t length = get_u32(head);
    const std::uint64_t body = pos + kRecordHeaderBytes;
    if (get_u32(head + 8) != crc32c(head, 8)) {
      // Damage that one intact field pins to the last record, or a tail of
      // zeros, is a write that never completed; anything else is corruption.
      const bool last = body + length + 1 == size ||
                        (size > body && size - body <= kMaxPayload + 1 &&
                         reader.crc(body, size - 1) == get_u32(head + 4));
      if (last || reader.zeros(pos, size)) break;
      fail_corrupt(path, pos);
    }
    if (length > kMaxPayload) fail_corrupt(path, pos);  // checksummed, so written by a buggy writer
    if (length + 1 > size - body) break;
    std::string payload(length, '\0');
    reader.read(payload.data(), payload.size(), body);
    char end_mark = 0;
    reader.read(&end_mark, 1, body + length);
    if (crc32c(payload.data(), payload.size()) != get_u32(head + 4) || end_mark != kEndMark) {
      if (reader.zeros(body + length + 1, size)) break;
      fail_corrupt(path, pos);
    }
    out.records.push_back(std::move(payload));
    pos = body + length + 1;
  }
  out.whole_bytes = pos;
  return out;
}

// Writes all of `parts` at `offset`, retrying short writes and EINTR;
// false with errno set when the system refuses.
bool write_parts(int fd, iovec* parts, int count, std::uint64_t offset) {
  while (count > 0) {
    const ssize_t w = ::pwritev(fd, parts, count, static_cast<off_t>(offset));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    auto done = static_cast<std::size_t>(w);
    offset += done;
    for (; count > 0 && done >= parts->iov_len; ++parts, --count) done -= parts->iov_len;
    if (count > 0) {
      parts->iov_base = static_cast<char*>(parts->iov_base) + done;
      parts->iov_len -= done;
    }
  }
  return true;
}

// Writes zeros over [from, end); false with errno set when the system
// refuses.
bool write_zeros(int fd, std::uint64_t from, std::uint64_t end) {
  static const char kZeros[1 << 16] = {};
  while (from < end) {
    iovec part{const_cast<char*>(kZeros), static_cast<std::size_t>(std::min<std::uint64_t>(end - from, sizeof kZeros))};
    if (!write_parts(fd, &part, 1, from)) return false;
    from += part.iov_len;
  }
  return true;
}

}  // namespace

std::string log_path_of(const std::string& snapshot_path) { return snapshot_path + "-wal"; }

std::string retired_log_path_of(const std::string& snapshot_path) { return snapshot_path + "-wal.old"; }

std::optional<LogContents> read_log(const std::string& path, const Sha256Digest& snapshot) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    fail(path, errno);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  return scan(fd, path, snapshot);
}

WriteAheadLog::WriteAheadLog(std::string path, int fd, std::uint64_t bytes)
    : path_(std::move(path)), fd_(fd), bytes_(bytes), allocated_(bytes) {}

WriteAheadLog::~WriteAheadLog() { ::close(fd_); }

std::unique_ptr<WriteAheadLog> WriteAheadLog::create(const std::string& path, const Sha256Digest& snapshot) {
  const std::string cannot = "cannot create write-ahead log " + path;
  const std::string undurable = named(path) + " could not be made durable";
  const AtomicWriteErrors errors{"cannot create write-ahead log", cannot, undurable, cannot, cannot, undurable};
  const auto header = encode_header(snapshot);
  replace_file_atomically(path, errors, [&](int fd) {
    if (!write_all(fd, header.data(), header.size())) throw std::runtime_error(cannot + ": " + std::strerror(errno));
  });
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(cannot + ": " + std::strerror(errno));
  return std::unique_ptr<WriteAheadLog>(new WriteAheadLog(path, fd, kHeaderBytes));
}

std::unique_ptr<WriteAheadLog> WriteAheadLog::open(const std::string& path, const Sha256Digest& snapshot,
                                                   std::vector<std::string>& records) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) fail(path, errno);
  std::unique_ptr<WriteAheadLog> log(new WriteAheadLog(path, fd, 0));  // closes fd if scanning throws
  LogContents contents = scan(fd, path, snapshot);
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail(path, errno);
  log->allocated_ = static_cast<std::uint64_t>(st.st_size);
  if (contents.torn()) {
    // The damaged tail goes, with the zeros ahead of it.
    if (::ftruncate(fd, static_cast<off_t>(contents.whole_bytes)) != 0) fail(path, errno);
    log->allocated_ = contents.whole_bytes;
  }
  // Even without a cut: the records may so far live only in the page cache
  // of a process that crashed before syncing them.
  if (::fdatasync(fd) != 0) fail_durable(path, errno);
  log->bytes_ = contents.whole_bytes;
  records = std::move(contents.records);
  return log;
}

std::uint64_t WriteAheadLog::append(std::string_view payload) {
  if (payload.size() > kMaxPayload) throw std::runtime_error("write-ahead log record too large");
  std::uint8_t head[kRecordHeaderBytes];
  put_u32(head, static_cast<std::uint32_t>(payload.size()));
  put_u32(head + 4, crc32c(payload.data(), payload.size()));
  put_u32(head + 8, crc32c(head, 8));
  char end_mark = kEndMark;
  iovec parts[3] = {{head, sizeof head}, {const_cast<char*>(payload.data()), payload.size()}, {&end_mark, 1}};

  const std::lock_guard write_lock(write_mutex_);
  {
    const std::lock_guard state_lock(state_mutex_);
    if (!broken_.empty()) throw std::runtime_error(broken_);
  }
  const std::uint64_t start = bytes_;
  const std::uint64_t end = start + sizeof head + payload.size() + 1;
  if (end > allocated_) extend(end);
  if (!write_parts(fd_, parts, 3, start)) {
    const std::string message = named(path_) + ": " + std::strerror(errno);
    // A partial record left in place would turn the next record into
    // corruption, so it is zeroed; if even that fails, the log is done.
    if (!write_zeros(fd_, start, end)) {
      const std::lock_guard state_lock(state_mutex_);
      broken_ = message;
    }
    throw std::runtime_error(message);
  }
  bytes_ = end;
  const std::lock_guard state_lock(state_mutex_);
  return ++appended_;
}

void WriteAheadLog::extend(std::uint64_t end) {
  // Ahead by a whole step where the disk allows, else by what this record
  // needs; a failure cuts the file back to where it was.
  for (const std::uint64_t target : {std::max(end, allocated_ + kGrowth), end}) {
    if (write_zeros(fd_, allocated_, target)) {
      allocated_ = target;
      return;
    }
    const int error = errno;
    if (::ftruncate(fd_, static_cast<off_t>(allocated_)) != 0) {
      const std::string message = named(path_) + ": " + std::strerror(errno);
      const std::lock_guard state_lock(state_mutex_);
      broken_ = message;
      throw std::runtime_error(message);
    }
    if (target == end) throw std::runtime_error(named(path_) + ": " + std::strerror(error));
  }
}

void WriteAheadLog::sync(std::uint64_t sequence) {
  std::unique_lock lock(state_mutex_);
  sequence = std::min(sequence, appended_);  // a number never handed out would wait forever
  for (;;) {
    if (!broken_.empty()) throw std::runtime_error(broken_);
    if (!durable_ || synced_ >= sequence) return;
    if (syncing_) {
      // Our record may have been written after that sync started: wait for
      // it, then look again; one of the waiters will start the next one.
      synced_changed_.wait(lock);
      continue;
    }
    syncing_ = true;
    const std::uint64_t target = appended_;
    lock.unlock();
    const int rc = ::fdatasync(fd_);
    const int error = errno;
    lock.lock();
    ++syncs_;
    syncing_ = false;
    if (rc == 0) {
      synced_ = std::max(synced_, target);
    } else {
      broken_ = named(path_) + " could not be made durable: " + std::strerror(error);
    }
    synced_changed_.notify_all();
  }
}

void WriteAheadLog::set_sync(bool durable) {
  const std::lock_guard lock(state_mutex_);
  durable_ = durable;
}

std::uint64_t WriteAheadLog::bytes() const { return bytes_; }

std::uint64_t WriteAheadLog::syncs() const { return syncs_; }

const std::string& WriteAheadLog::path() const { return path_; }

}  // namespace orvane
