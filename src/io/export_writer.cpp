// Buffered export output. Exports run to millions of lines, so text is
// gathered in a 1 MiB block and handed to the kernel in whole blocks; a
// failed write is remembered and reported once, at finish().
#include "io/export_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>

#include "graph/database.h"
#include "storage/atomic_file.h"

namespace orvane {
namespace {
constexpr std::size_t kBlock = 1 << 20;
}

ExportFile::ExportFile(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  ok_ = fd_ >= 0;
  buffer_.reserve(kBlock + 4096);
}

ExportFile::~ExportFile() {
  if (fd_ >= 0) ::close(fd_);
}

void ExportFile::flush() {
  if (ok_ && !buffer_.empty() && !write_all(fd_, buffer_.data(), buffer_.size())) ok_ = false;
  buffer_.clear();
}

void ExportFile::put(std::string_view text) {
  buffer_.append(text);
  if (buffer_.size() >= kBlock) flush();
}

void ExportFile::put(char c) {
  buffer_.push_back(c);
  if (buffer_.size() >= kBlock) flush();
}

void ExportFile::put_number(std::uint64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void ExportFile::put_quoted(std::string_view text) {
  buffer_.push_back('"');
  for (const char c : text) {
    if (c == '"') buffer_.push_back('"');
    buffer_.push_back(c);
  }
  buffer_.push_back('"');
  if (buffer_.size() >= kBlock) flush();
}

bool ExportFile::finish() {
  flush();
  if (fd_ >= 0) {
    if (::close(fd_) != 0) ok_ = false;
    fd_ = -1;
  }
  return ok_;
}

void for_each_export_relationship(const Database& db,
                                  const std::function<void(std::uint32_t, std::uint32_t, std::uint16_t)>& visit) {
  const PhysicalGraph& g = db.graph;
  for (std::uint32_t pos = 0; pos < g.node_count; ++pos) {
    const std::uint32_t src = g.to_logical[pos];
    for (std::uint32_t slot = g.out_offsets[pos]; slot < g.out_offsets[pos + 1]; ++slot) {
      visit(src, g.to_logical[g.out_targets[slot]], g.out_types[slot]);
    }
  }
}

}  // namespace orvane
