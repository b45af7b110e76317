// Internal to the Neo4j export import: the import context that builds a
// fresh Database from source records, the four readers (nodes and
// relationships, CSV and JSON lines) of an export directory and the two of
// APOC's single-file exports that feed it.
//
// One context is either strict or reduced (io/reductions.h) for its whole
// import; the readers ask it which, because a strict import must refuse a
// record at the same point and with the same message as it always did.
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
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "io/reductions.h"

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
  // `reduce` selects the reduced import (io/reductions.h); the strict import
  // refuses what the reduced one would reduce, with a ReducibleImportError.
  ImportContext(Database& db, bool reduce) : db_(db), reduce_(reduce) {}

  bool reducing() const { return reduce_; }

  // Sizes the graph for about `count` more nodes (relationships) before
  // they are added; a count that is too high costs address space only.
  void reserve_nodes(std::uint64_t count);
  void reserve_relationships(std::uint64_t count);

  // Adds one node with its source identity, label text and property object.
  // Its "embedding" (else "emb") property becomes its embedding when it is a
  // non-empty list of numbers of the import's width, the first such list
  // fixing that width (the top of import_context.cpp has the rules); any
  // other value stays a property only. Throws "missing or duplicate node
  // identity: ID", "migration currently requires exactly one label per
  // node" (empty label or one holding ";"; a ReducibleImportError),
  // "embedding of node ID must contain finite values", or the Database's
  // own refusals (UTF-8, schema limits). A reduced import also refuses a
  // node that holds the property "_labels" (see add_node below).
  void add_node(const std::string& source_id, const std::string& label, nlohmann::json properties);

  // Adds one node with its labels in written order (no empty label among
  // them). The strict import requires exactly one label, else throws
  // kOneLabelMessage as a ReducibleImportError. The reduced import gives a
  // node without labels the label "Node", and a node with several its first
  // label and the property "_labels" (all of them, as an array of strings),
  // counting both; it throws "node ID already holds a _labels property; ..."
  // rather than overwrite a property of that name.
  void add_node(const std::string& source_id, std::vector<std::string> labels, nlohmann::json properties);

  // Adds one relationship between two imported source identities;
  // `had_properties` says that its record carried properties, which the
  // strict import refuses (kRelationshipPropertiesMessage, a
  // ReducibleImportError; readers check it before anything else of the
  // record) and the reduced import drops and counts. Throws "relationship
  // references a missing node" or "relationship type is missing". Parallel
  // relationships are found by finish(), or by parallel_so_far() when a
  // later record fails first.
  void add_relationship(std::string_view start, std::string_view end, std::string_view type,
                        bool had_properties = false);

  // As add_relationship, for files that may name a node before the record
  // that defines it: a relationship whose endpoints are not both imported
  // yet is kept and added by add_deferred_relationships().
  void add_relationship_when_known(std::string_view start, std::string_view end, std::string_view type,
                                   bool had_properties);
  void add_deferred_relationships();

  // Compiles the graph. Two relationships that shared start, end and type
  // make the strict import throw the parallel-relationships message (a
  // ReducibleImportError); the reduced import keeps one and counts the rest.
  void finish();

  // True when the relationships added so far hold a repeated triple; used
  // to report the earliest of two faults when a later record fails.
  bool parallel_so_far() const;

  // The reductions of a finished reduced import (all zero for a strict one).
  ReductionReport take_report() { return std::move(report_); }

 private:
  // add_node without the reduced import's check of "_labels".
  void add_node_as_given(const std::string& source_id, const std::string& label, nlohmann::json properties);
  // Makes `dim` the Database's embedding width for the rest of the import
  // (the nodes so far are seeded again at it).
  void fix_embedding_dim(std::size_t dim);

  struct Deferred {
    std::string start, end, type;
    bool had_properties;
  };

  Database& db_;
  const bool reduce_;
  SourceIds nodes_;                // source identity → node identity
  std::string last_type_;          // relationship type name of the previous record
  std::uint16_t last_type_id_ = 0;  // its id, valid when last_type_ is non-empty
  std::uint64_t relationships_ = 0;  // relationships added, duplicates included
  std::vector<Deferred> deferred_;   // relationships waiting for a later node
  std::uint64_t expected_nodes_ = 0;  // reserve_nodes' hint, to size the embeddings once their width is known
  bool dimension_fixed_ = false;      // an embedding has fixed db_.embedding_dim
  // Reduced import: relationships added and relationships whose properties
  // were dropped, by type id (named in the report by finish()).
  std::vector<std::uint64_t> added_by_type_;
  std::vector<std::uint64_t> dropped_by_type_;
  ReductionReport report_;
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

// Single-file exports of APOC: apoc.export.json (JSON lines, a "type" of
// "node" or "relationship" on every line) and apoc.export.csv.all (one
// header "_id","_labels",...,"_start","_end","_type",...; a row with a
// start, end or type is a relationship, any other a node). Relationships
// may come before the nodes they name; they are added after the last line.
void read_apoc_json(std::istream& in, ImportContext& context);
void read_apoc_csv(std::istream& in, ImportContext& context);

// The labels in `text`, split at every byte of `separators`, empty pieces
// dropped, in written order.
std::vector<std::string> split_labels(std::string_view text, std::string_view separators);

// Validates a label text: non-empty and without ";" (Neo4j's separator of
// several labels), else throws kOneLabelMessage as a ReducibleImportError.
void check_single_label(const std::string& label);

}  // namespace orvane
