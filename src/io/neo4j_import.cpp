// The export-directory import: find the node and relationship files, pick
// each one's format, and run the readers over one import context; and the
// import of a single APOC export file, which holds both in one.
//
// Nodes are read completely before the relationship file is even looked
// for, so that a bad node file is reported as such whatever else the
// directory holds. The Database is a local of this function until it is
// returned: nothing the caller owns exists inside it, which is what makes
// every failure leave the caller's state as it was.
//
// The readers' messages name a directory's files by their names alone
// ("nodes.csv line 17: ..."): the user gave the directory, and its path
// would only hide the part that differs. A single APOC file is named by the
// path as the user gave it.
#include <algorithm>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "graph/database.h"
#include "io/neo4j_import.h"
#include "io/neo4j_input.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadBufferBytes = 1 << 20;

// A file of an export opened for reading with a large buffer (the readers
// take one byte at a time from it).
struct InputFile {
  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kReadBufferBytes);
  std::ifstream stream;
  std::string path;
  std::string name;  // the file's name in the directory, for messages
};

// Refuses, before it is opened, an input that is not a regular file: a
// FIFO would block the reader until a writer comes, and a device such as
// /dev/zero or /dev/urandom never ends. Links are followed.
void require_regular_file(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!ec && fs::exists(status) && !fs::is_regular_file(status)) {
    throw std::runtime_error("cannot import " + path.string() + ": not a regular file");
  }
}

// Opens the first of `names` in `directory` that opens as a file; false
// when none does. Throws require_regular_file's refusal for an entry that is
// there but not a regular file.
template <std::size_t N>
bool open_first(const fs::path& directory, const std::array<const char*, N>& names, InputFile& file) {
  for (const char* name : names) {
    const fs::path path = directory / name;
    std::error_code ec;
    if (fs::is_directory(path, ec)) continue;  // opens, but holds no bytes to read
    require_regular_file(path);
    file.stream.rdbuf()->pubsetbuf(file.buffer.get(), kReadBufferBytes);
    file.stream.open(path, std::ios::binary);
    if (file.stream.is_open()) {
      file.path = path.string();
      file.name = name;
      return true;
    }
    file.stream.clear();
  }
  return false;
}

// The number of non-blank lines of the file at `path`: at least the number
// of records in it, and close to it (only line breaks inside quoted fields
// count extra). Used to size the graph's vectors once, which saves the copy
// and the page faults of every doubling. Memory that is reserved but never
// filled (a file that fails early) is never touched, so it costs nothing.
std::uint64_t count_lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(kReadBufferBytes);
  std::uint64_t lines = 0;
  bool open_line = false;  // the current line has a byte other than CR
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const char* p = block.data();
    const char* const end = p + in.gcount();
    while (p < end) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      const char* stop = nl == nullptr ? end : nl;
      if (stop > p && !(stop - p == 1 && *p == '\r')) open_line = true;
      if (nl == nullptr) break;
      lines += open_line ? 1 : 0;
      open_line = false;
      p = nl + 1;
    }
  }
  return lines + (open_line ? 1 : 0);
}

// The entries of `directory` other than the files read, sorted.
std::vector<std::string> other_entries(const std::string& directory, const std::string& nodes,
                                       const std::string& relationships) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with('.') || entry.path() == fs::path(nodes) || entry.path() == fs::path(relationships)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool is_json_lines_file(const std::string& path) {
  if (path.ends_with(".jsonl") || path.ends_with(".ndjson")) return true;
  std::ifstream in(path, std::ios::binary);
  char c = 0;
  while (in.get(c)) {
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') return c == '{';
  }
  return false;
}

Database import_neo4j_export(const std::string& directory, std::vector<std::string>* ignored) {
  std::error_code ec;
  if (!fs::is_directory(directory, ec)) {
    throw std::runtime_error("CSV/JSONL migration requires an existing export directory: " + directory);
  }
  Database db;
  ImportContext context(db);

  std::string nodes_path;
  {
    InputFile nodes;
    if (!open_first(directory, kNeo4jNodeFiles, nodes)) {
      throw std::runtime_error("cannot read nodes.csv or nodes.jsonl in " + directory);
    }
    nodes_path = nodes.path;
    context.reserve_nodes(count_lines(nodes.path));
    if (is_json_lines_file(nodes.path)) {
      read_jsonl_nodes(nodes.stream, nodes.name, context);
    } else {
      read_csv_nodes(nodes.stream, nodes.name, context);
    }
  }

  InputFile relationships;
  if (!open_first(directory, kNeo4jRelationshipFiles, relationships)) {
    throw std::runtime_error("cannot read relationships.csv or rels.jsonl in " + directory);
  }
  context.reserve_relationships(count_lines(relationships.path));
  if (is_json_lines_file(relationships.path)) {
    read_jsonl_relationships(relationships.stream, relationships.name, context);
  } else {
    read_csv_relationships(relationships.stream, relationships.name, context);
  }
  context.finish();
  if (ignored != nullptr) *ignored = other_entries(directory, nodes_path, relationships.path);
  return db;
}

Database import_apoc_export(const std::string& file) {
  Database db;
  ImportContext context(db);
  require_regular_file(file);
  InputFile input;
  input.stream.rdbuf()->pubsetbuf(input.buffer.get(), kReadBufferBytes);
  input.stream.open(file, std::ios::binary);
  if (!input.stream.is_open()) throw std::runtime_error("cannot read APOC export " + file);
  // Every line is a node or a relationship; reserving both for all of them
  // costs address space only.
  const std::uint64_t lines = count_lines(file);
  context.reserve_nodes(lines);
  context.reserve_relationships(lines);
  if (file.ends_with(".json") || file.ends_with(".jsonl")) {
    read_apoc_json(input.stream, file, context);
  } else {
    read_apoc_csv(input.stream, file, context);
  }
  context.finish();
  return db;
}

}  // namespace orvane
