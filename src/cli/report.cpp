// Report writing shared by bench, entropy-lab, entropy-ladder, rag and
// dim-stress. Report files are read by other programs (plotting scripts,
// CI), so they are published by atomic replacement: a reader sees the old
// report or the new one, never half of one.
#include "cli/report.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "graph/json_text.h"
#include "storage/atomic_file.h"

namespace orvane {

std::string report_number(double value) {
  if (!std::isfinite(value)) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", value);
  return buffer;
}

ReportObject& ReportObject::add(const std::string& key, std::uint64_t value) {
  members_.emplace_back(key, std::to_string(value));
  return *this;
}
ReportObject& ReportObject::add(const std::string& key, std::int64_t value) {
  members_.emplace_back(key, std::to_string(value));
  return *this;
}
ReportObject& ReportObject::add(const std::string& key, double value) {
  members_.emplace_back(key, report_number(value));
  return *this;
}
ReportObject& ReportObject::add(const std::string& key, bool value) {
  members_.emplace_back(key, value ? "true" : "false");
  return *this;
}
ReportObject& ReportObject::add(const std::string& key, const char* value) { return add_string(key, value); }
ReportObject& ReportObject::add_string(const std::string& key, const std::string& value) {
  members_.emplace_back(key, json_string(value));
  return *this;
}
ReportObject& ReportObject::add_raw(const std::string& key, std::string json) {
  members_.emplace_back(key, std::move(json));
  return *this;
}

std::string ReportObject::pretty() const {
  std::string out = "{\n";
  for (std::size_t i = 0; i < members_.size(); ++i) {
    out += "  " + json_string(members_[i].first) + ": " + members_[i].second;
    out += i + 1 < members_.size() ? ",\n" : "\n";
  }
  return out + "}";
}

std::string ReportObject::compact() const {
  std::string out = "{";
  for (std::size_t i = 0; i < members_.size(); ++i) {
    out += (i ? "," : "") + json_string(members_[i].first) + ":" + members_[i].second;
  }
  return out + "}";
}

void check_report_target(const std::string& path) {
  if (!path.empty()) publish_target(path, "cannot write report");
}

void publish_report(const std::string& text, const std::string& path, const std::string& summary) {
  std::cout << text << '\n';
  if (path.empty()) return;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::error_code ec;
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  const std::string message = "cannot write report " + path;
  const std::string content = text + "\n";
  const AtomicWriteErrors errors{"cannot write report", message, message, message, message, message};
  replace_file_atomically(path, errors, [&](int fd) {
    if (!write_all(fd, content.data(), content.size())) throw std::runtime_error(message);
  });
  std::cout << "wrote " << path << summary << '\n';
}

}  // namespace orvane
