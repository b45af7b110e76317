// Internal to the Neo4j export import: the import context that builds a
// fresh Database from source records, the four readers (nodes and
// relationships, CSV and JSON lines) of an export directory and the two of
// APOC's single-file exports that feed it.
//
// The context owns nothing but its lookup tables; the Database it fills is
// the caller's and is handed out only after the whole import succeeded, so
// a failure anywhere leaves every existing graph untouched.
#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/transfer_progress.h"

namespace orvane {

class Database;

// Exact texts shared by several readers.
inline constexpr const char* kIdentityKindMessage = "node or relationship identity must be a string or integer";
inline constexpr const char* kRelationshipTypeMissingMessage = "relationship type is missing";
inline constexpr const char* kRowMismatchMessage = "CSV row does not match its header";

// Source identity → node identity. Exports name nodes by small decimal
// numbers almost always, so a number written in canonical form ("7", never
// "007" or "+7") below a bound that grows with the node count is looked up
// in a dense vector: one memory access per relationship endpoint instead of
// a hash lookup with its string comparison. Every other text goes to a
// hash map. Each text lives in exactly one of the two, and find() asks
// both, so the split never changes which texts are equal. While every node
// so far was numbered by its own identity ("0", "1", "2", ... in order, as
// our export and many Neo4j exports write them), a number below the node
// count is its own node and find() reads no memory at all.
class SourceIds {
 public:
  // The node of `text`, or kNoNode.
  std::uint32_t find(std::string_view text) const;
  // Records `text` → `node`; `text` must not be recorded yet.
  void add(const std::string& text, std::uint32_t node);

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<std::uint32_t> dense_;  // by source number: node identity or kNoNode
  bool in_order_ = true;              // every text added so far was its node's identity
  std::uint64_t count_ = 0;           // texts added
  std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> other_;  // every other text
};

class ImportContext {
 public:
  // Counts every node and relationship into the calling thread's progress
  // (io/transfer_progress.h), when one is installed.
  explicit ImportContext(Database& db) : db_(db), progress_(current_progress()) {}

  // Sizes the graph for about `count` more nodes (relationships) before
  // they are added; a count that is too high costs address space only.
  void reserve_nodes(std::uint64_t count);
  void reserve_relationships(std::uint64_t count);

  // Adds one node with its source identity, its labels in written order
  // (any number, none included; repeats count once) and its property
  // object. Its "embedding" (else "emb") property becomes its embedding
  // when it is a non-empty list of numbers of the import's width, the first
  // such list fixing that width (the top of import_context.cpp has the
  // rules); any other value stays a property only. Throws "missing or
  // duplicate node identity: ID", "embedding of node ID must contain finite
  // values", or the Database's own refusals (UTF-8, schema limits).
  void add_node(const std::string& source_id, std::vector<std::string> labels, nlohmann::json properties);
  // The same with the labels in one text, separated by ";".
  void add_node(const std::string& source_id, const std::string& label, nlohmann::json properties);
  // The same for sources with several id spaces: `key` is the identity
  // relationships name the node by, `number` the id the source shows
  // (which becomes the node's id as the top of import_context.cpp says,
  // and names it in errors).
  void add_node_keyed(const std::string& key, std::string_view number, std::span<const std::string> labels,
                      nlohmann::json properties);
  // add_node_keyed when `key` (and `number`) are non-empty and no node has
  // `key` yet: false, adding nothing, otherwise.
  bool add_node_if_new(const std::string& key, std::string_view number, std::span<const std::string> labels,
                       nlohmann::json properties);
  // Whether a node has the identity `key`.
  bool has_node(std::string_view key) const;

  // Adds one relationship between two imported source identities, with its
  // property object (null or empty for none) and its own source id (empty
  // when the source gives none); a relationship parallel to an earlier one
  // is a relationship of its own. Throws "relationship references a
  // missing node", "relationship type is missing", or the Database's
  // refusals of the properties.
  void add_relationship(std::string_view start, std::string_view end, std::string_view type,
                        nlohmann::json properties = nullptr, std::string_view source_id = {});

  // add_relationship when both endpoints are imported: false, adding
  // nothing, when one is not (one lookup per endpoint either way).
  bool add_relationship_if_known(std::string_view start, std::string_view end, std::string_view type,
                                 nlohmann::json properties);

  // As add_relationship, for files that may name a node before the record
  // that defines it: a relationship whose endpoints are not both imported
  // yet is kept, with the `line` of its record, and added by
  // add_deferred_relationships(), which throws add_relationship's refusals
  // at the position of that line in `file` (io/import_position.h).
  void add_relationship_when_known(std::string_view start, std::string_view end, std::string_view type,
                                   nlohmann::json properties, std::string_view source_id, std::uint64_t line);
  void add_deferred_relationships(const std::string& file);

  // Keeps the source's ids as the ids users see (the top of
  // import_context.cpp has the rule) and compiles the graph.
  void finish();

 private:

  // Adds the relationship between node identities `from` and `to`.
  void add_edge(std::uint32_t from, std::uint32_t to, std::string_view type, nlohmann::json properties,
                std::string_view source_id);
  // Makes `dim` the Database's embedding width for the rest of the import
  // (the nodes so far are seeded again at it).
  void fix_embedding_dim(std::size_t dim);

  struct Deferred {
    std::string start, end, type, source_id;
    nlohmann::json properties;
    std::uint64_t line;  // of its record in the file
  };

  Database& db_;
  TransferProgress* progress_;     // see the constructor; may be null
  SourceIds nodes_;                // source identity → node identity
  std::string last_type_;          // relationship type name of the previous record
  std::uint16_t last_type_id_ = 0;  // its id, valid when last_type_ is non-empty
  std::vector<Deferred> deferred_;   // relationships waiting for a later node
  std::uint64_t expected_nodes_ = 0;  // reserve_nodes' hint, to size the embeddings once their width is known
  bool dimension_fixed_ = false;      // an embedding has fixed db_.embedding_dim
  // The source ids as numbers, by identity, while every one so far was a
  // number (cleared for good at the first that is not).
  std::vector<std::uint64_t> node_numbers_, rel_numbers_;
  bool numbered_nodes_ = true, numbered_rels_ = true;
};

// True when a file must be read as JSON lines: its name ends in ".jsonl" or
// ".ndjson", or its first byte after blanks, tabs and line breaks is "{".
bool is_json_lines_file(const std::string& path);

// The readers. Each consumes the whole stream and throws on the first
// invalid record with the messages of its format, as ImportPositionError
// (io/import_position.h) naming `file` (the name the user knows the stream
// by) and the record's line, and for a CSV field's value its column. A
// missing CSV header is an error of the whole file ("FILE: node CSV header
// is missing"); the header's other faults are those of line 1.
// std::bad_alloc passes unchanged.
void read_csv_nodes(std::istream& in, const std::string& file, ImportContext& context);
void read_csv_relationships(std::istream& in, const std::string& file, ImportContext& context);
void read_jsonl_nodes(std::istream& in, const std::string& file, ImportContext& context);
void read_jsonl_relationships(std::istream& in, const std::string& file, ImportContext& context);

// Single-file exports of APOC: apoc.export.json (JSON lines, a "type" of
// "node" or "relationship" on every line) and apoc.export.csv.all (one
// header "_id","_labels",...,"_start","_end","_type",...; a row with a
// start, end or type is a relationship, any other a node). Relationships
// may come before the nodes they name; they are added after the last line,
// and a refusal then names the relationship's own line.
void read_apoc_json(std::istream& in, const std::string& file, ImportContext& context);
void read_apoc_csv(std::istream& in, const std::string& file, ImportContext& context);

// The labels in `text`, split at every byte of `separators`, empty pieces
// dropped, in written order.
std::vector<std::string> split_labels(std::string_view text, std::string_view separators);

}  // namespace orvane
