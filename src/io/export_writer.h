// Internal to the export files: a buffered output file that collects text in
// a large block and writes it with few system calls, the JSON-lines writer,
// and the relationship walk of the benchmark layout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace orvane {

class Database;

// Buffered output to a new file (created or truncated, mode 0666 & ~umask).
// ok() turns false on the first failed open or write and stays false.
class ExportFile {
 public:
  explicit ExportFile(const std::string& path);
  ~ExportFile();
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  bool ok() const { return ok_; }
  void put(std::string_view text);
  void put(char c);
  void put_number(std::uint64_t value);
  // Wraps `text` in double quotes, doubling each double quote inside it.
  void put_quoted(std::string_view text);
  // Writes out the buffer and closes the file; returns ok().
  bool finish();

 private:
  void flush();
  int fd_ = -1;
  bool ok_ = true;
  std::string buffer_;
};

// Writes nodes.jsonl and rels.jsonl of `db` into the existing `directory`
// (the layout is at the top of jsonl_writer.cpp). Throws "cannot write
// nodes.jsonl", "cannot write rels.jsonl" or "JSONL export write failed".
// Requires: the graph is compiled.
void write_jsonl_files(const Database& db, const std::string& directory);

// Calls `visit(src_identity, dst_identity, type_id)` for every compiled
// relationship in export order.
void for_each_export_relationship(const Database& db,
                                  const std::function<void(std::uint32_t, std::uint32_t, std::uint16_t)>& visit);

}  // namespace orvane
