// The report pattern of the benchmark commands: one JSON text assembled
// member by member in a fixed order, printed, and optionally published to a
// file with a "wrote PATH…" line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvane {

// A JSON object in insertion order. Doubles are written in fixed notation
// with 3 decimals; a non-finite double is written as 0, so a report is
// always valid JSON.
class ReportObject {
 public:
  ReportObject& add(const std::string& key, std::uint64_t value);
  ReportObject& add(const std::string& key, std::int64_t value);
  ReportObject& add(const std::string& key, int value) { return add(key, static_cast<std::int64_t>(value)); }
  ReportObject& add(const std::string& key, double value);
  ReportObject& add(const std::string& key, bool value);
  ReportObject& add(const std::string& key, const char* value);  // a JSON-escaped string
  ReportObject& add_string(const std::string& key, const std::string& value);
  ReportObject& add_raw(const std::string& key, std::string json);  // already valid JSON text

  // One member per line, two blanks of indentation.
  std::string pretty() const;
  // No whitespace at all.
  std::string compact() const;

 private:
  std::vector<std::pair<std::string, std::string>> members_;
};

std::string report_number(double value);  // fixed, 3 decimals; 0 when not finite

// Writes `text` and a newline to standard output; when `path` is not empty,
// creates its parent directories, replaces the file atomically with the same
// text and a newline, and writes "wrote " + path + summary + newline.
// Throws std::runtime_error "cannot write report PATH" when the file cannot
// be written.
void publish_report(const std::string& text, const std::string& path, const std::string& summary = "");

// Refuses, before a command does its work, a report path that publishing
// would refuse later ("cannot write report PATH: REASON", see
// publish_target); an empty path (no report file) passes.
void check_report_target(const std::string& path);

// Run counts for averaging: a run count of 0 or below divides by 1.
inline double per_run(double total, long long runs) { return total / static_cast<double>(runs > 0 ? runs : 1); }

}  // namespace orvane
