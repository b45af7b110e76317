// orvane::Database: the in-memory property graph every subsystem reads or
// builds. It holds the schema (label and relationship-type names with dense
// 16-bit ids), per-node attributes indexed by identity (name, topic, an
// embedding of embedding_dim floats), the typed properties of nodes and of
// relationships (graph/property_store.h) and the PhysicalGraph with the
// edge list and its compiled CSR form.
//
// Properties cross into and out of a Database as typed JSON objects
// (graph/value.h). Values that no property type holds, which older files
// and other tools' exports may carry (maps, lists with nulls), are kept as
// the text of their JSON (property_value_of).
//
// The embedding width belongs to the Database, not to the program: every
// graph built here or generated has 32 floats a node, while an import takes
// the width its data brings (384, 768, 1536, ...), and a snapshot records it.
//
// Every Database has label "Person" = 0, "Paper" = 1 and types "FOLLOWS" = 0,
// "AUTHORED" = 1 from construction on; the snapshot format depends on them.
// Every text that enters a Database must be valid UTF-8, so that any graph
// that can be built can also be saved and served as JSON.
//
// A single operation checks before it changes anything: when it throws, the
// Database is as it was. The Database has no lock; callers give mutations
// exclusive access, while any number of threads may read at once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "graph/entity_ids.h"
#include "graph/physical_graph.h"
#include "graph/property_store.h"
#include "graph/undo_log.h"
#include "graph/value.h"

namespace orvane {

inline constexpr std::size_t kDefaultEmbeddingDim = 32;  // every Database starts with it
inline constexpr std::size_t kMaxEmbeddingDim = 65536;     // the widest embedding a Database holds
inline constexpr std::size_t kMaxSchemaIds = 65535;  // ids 0 … 65534; 65535 is never assigned

// A point a Database can be taken back to with Database::rollback: the
// sizes of everything that grows when nodes, relationships, labels and
// types are added. Taking one costs a few counters, never a copy.
struct DatabaseMark {
  std::uint64_t node_count = 0;       // nodes; newer identities are removed
  std::uint64_t relationships = 0;    // relationships; newer identities are removed
  std::size_t node_types = 0;         // label names; newer ones are forgotten
  std::size_t rel_types = 0;          // relationship type names; newer ones are forgotten
  std::uint64_t people = 0;           // Database::people
  std::uint64_t papers = 0;           // Database::papers
  std::uint64_t stored_id_nodes = 0;  // Database::stored_id_nodes
  std::uint32_t node_keys = 0;        // property keys of nodes (interned names are kept)
  std::uint32_t rel_keys = 0;         // property keys of relationships (kept the same way)
  bool compiled = false;              // the graph was compiled
};

class Database {
 public:
  Database();
  ~Database();
  Database(const Database&);
  Database& operator=(const Database&);
  Database(Database&&) noexcept;
  Database& operator=(Database&&) noexcept;

  std::vector<std::string> node_types;  // label name by label id
  std::vector<std::string> rel_types;   // relationship type name by type id
  std::unordered_map<std::string, std::uint16_t> node_type_ids;  // label name → id
  std::unordered_map<std::string, std::uint16_t> rel_type_ids;   // type name → id
  PhysicalGraph graph;                  // structure: labels, maps, edges, CSR
  std::uint16_t person_label = 0;       // id of "Person"
  std::uint16_t paper_label = 1;        // id of "Paper"
  std::uint16_t follows_type = 0;       // id of "FOLLOWS"
  std::uint16_t authored_type = 1;      // id of "AUTHORED"
  std::uint64_t people = 0;             // nodes created as Person
  std::uint64_t papers = 0;             // nodes created as Paper
  std::vector<std::string> names;       // by identity: display name
  std::vector<std::uint32_t> topics;    // by identity: topic number
  std::size_t embedding_dim = kDefaultEmbeddingDim;  // floats per embedding, 1 … kMaxEmbeddingDim
  std::vector<float> embeddings;        // by identity: embedding_dim floats from embedding_dim·i on
  PropertyStore node_store;  // by identity, grouped by the first label at creation (kNoLabel for
                             // none); change it only through the operations below, which keep
                             // stored_id_nodes and the names
  PropertyStore rel_store;   // by relationship identity, grouped by type; may trail graph.edges
                             // (the rest have no properties)
  std::uint64_t stored_id_nodes = 0;  // nodes that hold the property "id"
  EntityIds node_ids;  // the id users see for each node: its identity unless an import kept its source's
  EntityIds rel_ids;   // the same for relationships
  bool generated = false;  // built by the corpus generator (or from its graphs): a pattern's {id: N}
                           // also names the node of identity N when it has no "id" property, as
                           // every statement on the generated corpus has always read it; on any
                           // other graph {id: N} matches the stored property only, as in Neo4j

  // Schema. add_* returns the existing id of a known name; otherwise registers
  // a non-empty name while fewer than 65535 exist, else throws
  // std::runtime_error "invalid node type or schema limit reached" (resp.
  // "invalid relationship type or schema limit reached"), or "text is not
  // valid UTF-8" for a name that is not.
  std::uint16_t add_node_type(const std::string& name);
  std::uint16_t add_rel_type(const std::string& name);
  // Lookups throw std::out_of_range "unknown node type: NAME" / "unknown edge
  // type: NAME"; the *_name forms throw std::out_of_range for an id beyond
  // the count.
  std::uint16_t node_type_id(const std::string& name) const;
  std::uint16_t rel_type_id(const std::string& name) const;
  const std::string& node_type_name(std::uint16_t id) const;
  const std::string& rel_type_name(std::uint16_t id) const;

  // Adds a node of `label` with `name` and `topic`, its seeded embedding and
  // an empty property object; returns its identity. Throws "text is not valid
  // UTF-8" or "node identity limit reached".
  std::uint32_t add_node(std::uint16_t label, std::string name, std::uint32_t topic);
  // add_node with the Person (Paper) label, counting it in `people`
  // (`papers`) and setting property "name" to the name.
  std::uint32_t add_person(std::string name, std::uint32_t topic);
  std::uint32_t add_paper(std::string name, std::uint32_t topic);
  // PhysicalGraph::add_edge with FOLLOWS (AUTHORED); returns the new
  // relationship's identity.
  std::uint32_t add_follows(std::uint32_t src, std::uint32_t dst);
  std::uint32_t add_authored(std::uint32_t src, std::uint32_t dst);

  // The builder of import and console creation: registers the label, derives
  // an empty `name` (from property "name", else LABEL-IDENTITY) and writes it
  // back, adds the node and moves `props` in as its property object. All
  // input is validated (UTF-8, object type, schema room) before anything
  // changes. Throws std::runtime_error "properties must be a JSON object"
  // when `props` is not an object.
  std::uint32_t add_labeled_node(const std::string& label, std::string& name,
                                 nlohmann::json props, std::uint32_t topic);
  // The same for a node with any number of labels, in the order given
  // (repeats count once); the first is the node's first label, and a node
  // without labels is named NODE-IDENTITY when `name` is empty and props has
  // no "name". Throws as above, "invalid node type or schema limit reached"
  // for an empty label or one that would pass the schema limit.
  std::uint32_t add_labeled_node(std::span<const std::string> labels, std::string& name, nlohmann::json props,
                                 std::uint32_t topic);

  // The node (relationship) users know by `id`, or kNoNode when there is
  // none.
  std::uint32_t node_of_id(std::uint64_t id) const;
  std::uint32_t relationship_of_id(std::uint64_t id) const;
  // The id users see for node (relationship) `identity`.
  std::uint64_t node_id(std::uint32_t identity) const { return node_ids.id_of(identity); }
  std::uint64_t relationship_id(std::uint32_t rel) const { return rel_ids.id_of(rel); }

  // While set, every change to an entity that existed before (a property
  // set or removed, labels changed) is recorded here first, for rollback.
  UndoLog* undo_log = nullptr;

  // Sets node `identity`'s property `key` to `value` (null removes it),
  // recording the old value in undo_log. Key "name" also replaces the
  // display name. Throws std::out_of_range "node out of range" for an
  // identity not below node_count, "text is not valid UTF-8", or the
  // store's refusal of the value, changing nothing.
  void set_node_value(std::uint32_t identity, const std::string& key, const Value& value);
  // The same for relationship `rel` (std::out_of_range "relationship out of
  // range" beyond the edge list).
  void set_relationship_value(std::uint32_t rel, const std::string& key, const Value& value);
  // Gives node `identity` exactly `labels` (ids, in order, no repeats),
  // recording the old list in undo_log; the label lists are rebuilt at the
  // next compile. Throws std::out_of_range "node out of range".
  void set_node_labels(std::uint32_t identity, const std::vector<std::uint16_t>& labels);

  // Deletes node `identity` (relationship `rel`): it becomes a tombstone
  // (graph/physical_graph.h) until the write ends, recorded in undo_log.
  // Returns false, changing nothing, when it is deleted already. A node's
  // relationships are left alone: DETACH DELETE deletes them first, and a
  // write that leaves a deleted node with live relationships must fail
  // (first_attached_deleted_node). Throws std::out_of_range "node out of
  // range" ("relationship out of range").
  bool delete_node(std::uint32_t identity);
  bool delete_relationship(std::uint32_t rel);
  // A node deleted by the running write that still has a live
  // relationship, or kNoNode when there is none. Looks only at the nodes
  // undo_log records as deleted.
  std::uint32_t first_attached_deleted_node();
  // The same graph without its tombstones: the live nodes and
  // relationships in their order, renumbered densely, each keeping the id
  // users see (ids of deleted entities are not given out again), with its
  // labels, properties, attributes and its place in the layout; compiled.
  // Costs a copy of the graph; the Database itself is not changed.
  Database compacted() const;

  // Sets one property from typed JSON (property_value_of); a null removes
  // it. Ignored for an identity not below node_count. Key "name" also
  // replaces the display name (a string's text, otherwise the value's
  // compact JSON). Throws "text is not valid UTF-8" for a key or any string
  // inside the value that is not, or the store's refusal of the value.
  void set_property(std::uint32_t identity, const std::string& key, const nlohmann::json& value);
  // The node's properties as a typed JSON object ({} for none or beyond the
  // nodes).
  nlohmann::json node_properties(std::uint32_t identity) const;
  // The node's value of `key`, null when absent.
  Value node_property(std::uint32_t identity, std::string_view key) const;
  // Replaces the properties of relationship `rel` with the typed JSON
  // object `props`. Throws std::out_of_range "relationship out of range"
  // for an identity not below graph.edges.size(), std::runtime_error
  // "properties must be a JSON object", "text is not valid UTF-8" or the
  // store's refusal of a value, changing nothing.
  void set_relationship_properties(std::uint32_t rel, nlohmann::json props);
  // The relationship's properties as a typed JSON object ({} for none).
  nlohmann::json relationship_properties(std::uint32_t rel) const;
  // The relationship's value of `key`, null when absent.
  Value relationship_property(std::uint32_t rel, std::string_view key) const;
  // Re-decides the column layout of both property stores after a bulk load
  // (PropertyStore::organise); cheap when nothing changed.
  void organise_properties();
  // Replaces a node's embedding; throws std::runtime_error "embedding must
  // contain N finite values" (N being embedding_dim) unless the node exists,
  // `values` has embedding_dim entries and all of them are finite.
  void set_embedding(std::uint32_t identity, const std::vector<float>& values);
  // Requires: identity < graph.node_count.
  std::span<const float> embedding(std::uint32_t identity) const {
    return {embeddings.data() + embedding_dim * identity, embedding_dim};
  }
  // Makes `dim` the embedding width and gives every node its seeded
  // embedding at that width (add_node's), dropping any set_embedding gave.
  // Throws std::runtime_error "embedding dimension must be from 1 to 65536"
  // for another `dim`, or std::bad_alloc, changing nothing either way. The
  // import calls it when the data names its width, before any node has an
  // embedding of its own.
  void set_embedding_dim(std::size_t dim);

  // Used by the snapshot loader after graph.install_compiled: moves the
  // attribute vectors in and gives every node an entity in node_store (when
  // it has fewer); with `legacy` (files without a property section) sets
  // property "name" of every node. Throws "text is not valid UTF-8"
  // (changing nothing) for a bad name.
  // Requires: `embeddings_in` holds `dim` floats per name, dim from 1 to
  // kMaxEmbeddingDim (the loader has checked both).
  void install_attributes(std::uint64_t people_count, std::uint64_t papers_count,
                          std::vector<std::string> names_in,
                          std::vector<std::uint32_t> topics_in, std::size_t dim,
                          std::vector<float> embeddings_in, bool legacy);

  void compile() { graph.compile(); }
  // Folds the graph's delta into its arrays: compacted() in its place when
  // it holds tombstones (the undo log is dropped with them), else
  // compile(). Afterwards graph.compiled holds and no tombstone is left.
  void fold();

  // Used by the snapshot loader for files that hold the stores themselves:
  // installs them and recounts stored_id_nodes. Throws std::runtime_error
  // "snapshot properties: store sizes do not match the graph" unless
  // `nodes` has one entity per node and `rels` at most one per
  // relationship.
  void install_property_stores(PropertyStore nodes, PropertyStore rels);

  // The current sizes, to return to with rollback.
  DatabaseMark mark() const;

  // Takes the Database back to `mark`: undoes what undo_log recorded
  // (newest first; the log is left empty), then removes the nodes, relationships,
  // label and type names created since (with the nodes' attributes and
  // labels) and restores the counters; recompiles when the graph was
  // compiled at the mark or its arrays no longer hold what they name, and
  // otherwise leaves the rest of the delta as it was at the mark. Costs at
  // most one compile, never a copy of the graph.
  // Requires: since the mark the Database only grew through the add_*
  // operations, compile and changes undo_log recorded (no renumbering, no
  // other change of older entities, no new embedding width, no
  // remove_duplicate_edges).
  void rollback(const DatabaseMark& mark);
};

// Topic number → one of 16 fixed topic names (topic AND 15).
const char* topic_name(std::uint32_t topic);

// Fills `out` (`dim` floats, dim ≥ 1) with the deterministic embedding of
// `topic`: a hot component at (topic mod dim) plus seeded noise within
// ±0.025. The first 32 noise terms are the same at every width, so at 32
// this is the embedding every generated corpus has always had.
void seed_embedding(float* out, std::size_t dim, std::uint32_t topic, std::uint32_t seed);

// The noise seed of the node created with identity `identity`: its
// embedding is the same whenever and at whatever width it is seeded.
std::uint32_t node_seed(std::uint64_t identity);

}  // namespace orvane
