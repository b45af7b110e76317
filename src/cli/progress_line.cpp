// The progress line (progress_line.h). The thread sleeps in short steps
// so that the command's end never waits for a whole redraw period.
#include "cli/progress_line.h"

#include <unistd.h>

#include <cstdio>

namespace orvane {
namespace {

// "1,234,567"
std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

std::string megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  return text;
}

}  // namespace

std::string ProgressLine::text(const std::string& verb, const TransferProgress& progress, double seconds) {
  const std::uint64_t records = progress.records.load(std::memory_order_relaxed);
  const std::uint64_t bytes = progress.bytes.load(std::memory_order_relaxed);
  const std::uint64_t total_bytes = progress.total_bytes.load(std::memory_order_relaxed);
  const std::uint64_t total_records = progress.total_records.load(std::memory_order_relaxed);
  std::string line = verb + " " + grouped(records) + (total_records != 0 ? " of " + grouped(total_records) : "") +
                     " records";
  double left = -1;
  if (bytes != 0) {
    line += "  " + megabytes(static_cast<double>(bytes)) +
            (total_bytes != 0 ? " of " + megabytes(static_cast<double>(total_bytes)) : "");
    if (seconds > 0) line += "  " + megabytes(static_cast<double>(bytes) / seconds) + "/s";
    if (total_bytes > bytes && bytes != 0) left = seconds * static_cast<double>(total_bytes - bytes) / static_cast<double>(bytes);
  } else if (seconds > 0) {
    line += "  " + grouped(static_cast<std::uint64_t>(static_cast<double>(records) / seconds)) + " records/s";
  }
  if (total_records > records && records != 0) {
    left = seconds * static_cast<double>(total_records - records) / static_cast<double>(records);
  }
  if (left >= 0) line += "  " + std::to_string(static_cast<long long>(left + 0.5)) + " s left";
  return line;
}

ProgressLine::ProgressLine(std::string verb, const TransferProgress& progress)
    : verb_(std::move(verb)), progress_(progress) {
  if (isatty(STDERR_FILENO) != 1) return;
  thread_ = std::thread([this] {
    const auto start = std::chrono::steady_clock::now();
    for (int step = 1; !stop_.load(); ++step) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (step % 5 != 0) continue;
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\r\033[K%s", text(verb_, progress_, seconds).c_str());
      std::fflush(stderr);
    }
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
  });
}

ProgressLine::~ProgressLine() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

}  // namespace orvane
