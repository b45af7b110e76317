// Internal to the Neo4j export import: the import context that builds a
// fresh Database from source records, and the four readers (nodes and
// relationships, CSV and JSON lines) that feed it.
//
// The context owns nothing but its lookup tables; the Database it fills is
// the caller's and is handed out only after the whole import succeeded, so
// a failure anywhere leaves every existing graph untouched.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <unordered_map>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

class Database;

// Exact texts shared by several readers.
inline constexpr const char* kOneLabelMessage = "migration currently requires exactly one label per node";
inline constexpr const char* kIdentityKindMessage = "node or relationship identity must be a string or integer";
inline constexpr const char* kRelationshipPropertiesMessage = "relationship properties are not yet supported";
inline constexpr const char* kRelationshipTypeMissingMessage = "relationship type is missing";
inline constexpr const char* kParallelMessage =
    "parallel relationships are not supported; import stopped without changing the destination";
inline constexpr const char* kRowMismatchMessage = "CSV row does not match its header";

// Transparent hashing, so that relationship endpoints (string views into a
// record) are looked up without building a string per lookup.
struct SourceIdHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

class ImportContext {
 public:
  explicit ImportContext(Database& db) : db_(db) {}

  // Adds one node with its source identity, label text and property object.
  // Throws "missing or duplicate node identity: ID",
  // "migration currently requires exactly one label per node" (empty label
  // or one holding ";"), "embedding property must be an array", "embedding
  // components must be numbers", "embedding must contain 32 finite values",
  // or the Database's own refusals (UTF-8, schema limits).
  void add_node(const std::string& source_id, const std::string& label, nlohmann::json properties);

  // Adds one relationship between two imported source identities. Throws
  // "relationship references a missing node" or "relationship type is
  // missing". Parallel relationships are found by finish(), or by
  // parallel_so_far() when a later record fails first.
  void add_relationship(std::string_view start, std::string_view end, std::string_view type);

  // Compiles the graph and throws the parallel-relationships message when
  // two relationships shared start, end and type.
  void finish();

  // True when the relationships added so far hold a repeated triple; used
  // to report the earliest of two faults when a later record fails.
  bool parallel_so_far() const;

 private:
  Database& db_;
  std::unordered_map<std::string, std::uint32_t, SourceIdHash, std::equal_to<>> nodes_;  // source id → identity
  std::string last_type_;          // relationship type name of the previous record
  std::uint16_t last_type_id_ = 0;  // its id, valid when last_type_ is non-empty
  std::uint64_t relationships_ = 0;  // relationships added, duplicates included
};

// True when a file must be read as JSON lines: its name ends in ".jsonl" or
// ".ndjson", or its first byte after blanks, tabs and line breaks is "{".
bool is_json_lines_file(const std::string& path);

// The readers. Each consumes the whole stream and throws on the first
// invalid record with the messages of its format.
void read_csv_nodes(std::istream& in, ImportContext& context);
void read_csv_relationships(std::istream& in, ImportContext& context);
void read_jsonl_nodes(std::istream& in, ImportContext& context);
void read_jsonl_relationships(std::istream& in, ImportContext& context);

// Validates a label text: non-empty and without ";" (Neo4j's separator of
// several labels), else throws kOneLabelMessage.
void check_single_label(const std::string& label);

}  // namespace orvane
