// The progress line of a long command on a terminal: while it lives and
// standard error is a terminal, a thread redraws one line on standard error
// four times a second from a TransferProgress (io/transfer_progress.h),
//
//   importing 1,234,567 records  120.5 MB of 377.0 MB  41.2 MB/s  6 s left
//
// (the bytes, the rate in bytes and the time left where they are known,
// else the rate in records), and erases it when it ends, so the command's
// own output follows on a clean line. Output that is not a terminal gets
// nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "io/transfer_progress.h"

namespace orvane {

class ProgressLine {
 public:
  ProgressLine(std::string verb, const TransferProgress& progress);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // The line for `progress` after `seconds` (for tests).
  static std::string text(const std::string& verb, const TransferProgress& progress, double seconds);

 private:
  std::string verb_;
  const TransferProgress& progress_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace orvane
