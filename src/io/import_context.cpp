// The import context: turns validated source records into nodes and
// relationships of a fresh Database.
//
// Node attributes come from the property object: the display name from the
// first of name/title/hostname/username that holds a string (otherwise the
// Database derives it from "name" or as LABEL-IDENTITY), the topic from an
// integer "topic" property from 0 to 2^32-1 (else 0), and the embedding from
// "embedding", else "emb". The properties stay in the object.
//
// Embeddings come in whatever width the exporting system used (384, 768,
// 1536, ...), and the data names it: the first node whose "embedding" or
// "emb" is a non-empty list of numbers (at most 65536 of them) fixes the
// Database's embedding_dim, and the nodes imported before it are seeded
// again at that width. From then on a list of another length is no
// embedding, and neither is a property of that name holding anything but
// numbers (a text, a list of texts, an object, an empty list): it stays an
// ordinary property and the node keeps its seeded embedding, so one odd
// record never stops the import. A list of the right width holding a number
// that is not a finite float (1e39 overflows it) is refused with the node's
// source identity: storing it would turn every cosine with it into NaN.
//
// The ids users see: when every node's source identity is a number in
// canonical decimal form ("17", never "017"; JSON integers count), the
// nodes keep those numbers as their ids, so id(n) and the rendered "id"
// name the same node as in the source; otherwise (texts such as "p1", or a
// mix) the nodes show their identities 0, 1, 2, ... in import order, as
// neo4j-admin numbers them. Relationships the same, by the source id of
// each relationship record (a dump's relationship id, an APOC line's
// "id"); a source that gives none, or repeats one, leaves identities.
//
// Everything a Neo4j graph holds comes over as it is: every label of a node
// (none too), relationship properties, and parallel relationships, each a
// relationship of its own. A ";" inside a label text separates labels, as in
// neo4j-admin's :LABEL column. The reduced import of earlier versions is
// still accepted and takes the same graph; its report says that nothing
// was reduced.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/decimal.h"
#include "graph/database.h"
#include "io/import_position.h"
#include "io/neo4j_input.h"

namespace orvane {
namespace {

// The display name when one of the name-like properties holds a string;
// empty otherwise, which lets add_labeled_node derive it.
std::string display_name(const nlohmann::json& properties) {
  for (const char* key : {"name", "title", "hostname", "username"}) {
    const auto it = properties.find(key);
    if (it != properties.end() && it->is_string()) return it->get<std::string>();
  }
  return {};
}

std::uint32_t topic_of(const nlohmann::json& properties) {
  const auto it = properties.find("topic");
  if (it == properties.end()) return 0;
  if (it->is_number_unsigned()) {
    const auto v = it->get<std::uint64_t>();
    return v <= std::numeric_limits<std::uint32_t>::max() ? static_cast<std::uint32_t>(v) : 0;
  }
  if (it->is_number_integer()) {
    const auto v = it->get<std::int64_t>();
    return v >= 0 && v <= std::numeric_limits<std::uint32_t>::max() ? static_cast<std::uint32_t>(v) : 0;
  }
  return 0;
}

// The property under `key` as floats when it can be an embedding: a
// non-empty array of at most kMaxEmbeddingDim numbers. False for anything
// else, which stays an ordinary property only.
bool embedding_of(const nlohmann::json& properties, const char* key, std::vector<float>& out) {
  const auto it = properties.find(key);
  if (it == properties.end() || !it->is_array() || it->empty() || it->size() > kMaxEmbeddingDim) return false;
  out.clear();
  out.reserve(it->size());
  for (const nlohmann::json& component : *it) {
    if (!component.is_number()) return false;
    out.push_back(static_cast<float>(component.get<double>()));
  }
  return true;
}

// `text` as an id users may see: a decimal number in canonical form (no
// sign, no leading zero unless it is "0") up to kMaxEntityId; nullopt
// otherwise.
std::optional<std::uint64_t> visible_number(std::string_view text) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  const std::optional<std::uint64_t> value = parse_decimal(text);
  if (!value || *value > kMaxEntityId) return std::nullopt;
  return value;
}

// Appends the number of `text` to `numbers` while every text so far was a
// number; the first that is not clears them for good.
void note_number(std::string_view text, std::vector<std::uint64_t>& numbers, bool& numbered) {
  if (!numbered) return;
  const std::optional<std::uint64_t> n = visible_number(text);
  if (n) {
    numbers.push_back(*n);
  } else {
    numbered = false;
    numbers.clear();
    numbers.shrink_to_fit();
  }
}

// The value of `text` when it is a decimal number in canonical form (no
// sign, no leading zero unless it is "0") below 10^9; -1 otherwise.
std::int64_t canonical_number(std::string_view text) {
  const std::optional<std::uint64_t> value = parse_decimal(text);
  if (!value || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return -1;
  return static_cast<std::int64_t>(*value);
}

}  // namespace

std::uint32_t SourceIds::find(std::string_view text) const {
  const std::int64_t n = canonical_number(text);
  if (in_order_) {
    // Exactly the numbers 0 … count−1 are recorded, each as itself.
    return n >= 0 && static_cast<std::uint64_t>(n) < count_ ? static_cast<std::uint32_t>(n) : kNoNode;
  }
  if (n >= 0 && static_cast<std::uint64_t>(n) < dense_.size() && dense_[n] != kNoNode) return dense_[n];
  const auto it = other_.find(text);
  return it == other_.end() ? kNoNode : it->second;
}

void SourceIds::add(const std::string& text, std::uint32_t node) {
  // The dense vector may grow to twice the nodes recorded (plus some slack
  // for small graphs), so a few huge numbers cannot make it large.
  const std::int64_t n = canonical_number(text);
  in_order_ = in_order_ && n == node;
  ++count_;
  if (n >= 0 && static_cast<std::uint64_t>(n) < 2 * (static_cast<std::uint64_t>(node) + 1) + 4096) {
    if (static_cast<std::uint64_t>(n) >= dense_.size()) {
      dense_.resize(std::max<std::size_t>(n + 1, 2 * dense_.size()), kNoNode);
    }
    dense_[n] = node;
    return;
  }
  other_.emplace(text, node);
}

std::vector<std::string> split_labels(std::string_view text, std::string_view separators) {
  std::vector<std::string> labels;
  while (!text.empty()) {
    const std::size_t at = text.find_first_of(separators);
    const std::string_view piece = text.substr(0, at);
    if (!piece.empty()) labels.emplace_back(piece);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return labels;
}

// The counts are hints: a file of many short lines that fails at its second
// record must fail with that record's message, not for want of memory, so a
// reservation the system refuses is skipped. Only the vectors of at least 16
// bytes a node are sized; the small ones cost little to grow.
void ImportContext::reserve_nodes(std::uint64_t count) try {
  expected_nodes_ = count;
  db_.embeddings.reserve(count * db_.embedding_dim);
  db_.names.reserve(count);
  db_.node_store.reserve(count);
} catch (const std::exception&) {
}

void ImportContext::fix_embedding_dim(std::size_t dim) {
  if (dim != db_.embedding_dim) db_.set_embedding_dim(dim);
  dimension_fixed_ = true;
  try {
    db_.embeddings.reserve(expected_nodes_ * dim);
  } catch (const std::exception&) {
    // A hint, as in reserve_nodes.
  }
}

void ImportContext::reserve_relationships(std::uint64_t count) try {
  db_.graph.edges.reserve(count);
} catch (const std::exception&) {
}

void ImportContext::add_node(const std::string& source_id, const std::string& label, nlohmann::json properties) {
  // One label, the common case, goes without a list.
  if (!label.empty() && label.find(';') == std::string::npos) {
    add_node_keyed(source_id, source_id, {&label, 1}, std::move(properties));
  } else {
    const std::vector<std::string> labels = split_labels(label, ";");
    add_node_keyed(source_id, source_id, labels, std::move(properties));
  }
}

void ImportContext::add_node(const std::string& source_id, std::vector<std::string> labels,
                             nlohmann::json properties) {
  add_node_keyed(source_id, source_id, labels, std::move(properties));
}

bool ImportContext::has_node(std::string_view key) const { return nodes_.find(key) != kNoNode; }

void ImportContext::add_node_keyed(const std::string& key, std::string_view number,
                                   std::span<const std::string> labels, nlohmann::json properties) {
  if (!add_node_if_new(key, number, labels, std::move(properties))) {
    throw std::runtime_error("missing or duplicate node identity: " + std::string(number));
  }
}

bool ImportContext::add_node_if_new(const std::string& key, std::string_view number,
                                    std::span<const std::string> labels, nlohmann::json properties) {
  if (key.empty() || number.empty() || nodes_.find(key) != kNoNode) return false;
  std::string name = display_name(properties);
  const std::uint32_t topic = topic_of(properties);
  // The embedding is taken from the object before it moves into the store,
  // and set once the node exists; a failure abandons the whole Database, so
  // the node never shows.
  std::vector<float> values;
  bool embedded = false;
  for (const char* key : {"embedding", "emb"}) {
    if (!embedding_of(properties, key, values)) continue;
    if (dimension_fixed_ && values.size() != db_.embedding_dim) continue;
    for (const float v : values) {
      if (!std::isfinite(v)) {
        throw std::runtime_error("embedding of node " + std::string(number) + " must contain finite values");
      }
    }
    embedded = true;
    break;
  }
  const std::uint32_t id = db_.add_labeled_node(labels, name, std::move(properties), topic);
  if (embedded) {
    if (!dimension_fixed_) fix_embedding_dim(values.size());
    db_.set_embedding(id, values);
  }
  nodes_.add(key, id);
  note_number(number, node_numbers_, numbered_nodes_);
  count_record(progress_);
  return true;
}

bool ImportContext::add_relationship_if_known(std::string_view start, std::string_view end, std::string_view type,
                                              nlohmann::json properties) {
  const std::uint32_t from = nodes_.find(start);
  const std::uint32_t to = nodes_.find(end);
  if (from == kNoNode || to == kNoNode) return false;
  add_edge(from, to, type, std::move(properties), {});
  return true;
}

void ImportContext::add_relationship(std::string_view start, std::string_view end, std::string_view type,
                                     nlohmann::json properties, std::string_view source_id) {
  const std::uint32_t from = nodes_.find(start);
  const std::uint32_t to = nodes_.find(end);
  if (from == kNoNode || to == kNoNode) throw std::runtime_error("relationship references a missing node");
  add_edge(from, to, type, std::move(properties), source_id);
}

void ImportContext::add_edge(std::uint32_t from, std::uint32_t to, std::string_view type, nlohmann::json properties,
                             std::string_view source_id) {
  if (type.empty()) throw std::runtime_error(kRelationshipTypeMissingMessage);
  // Exports group relationships of one type, so the previous record's type
  // usually answers without a schema lookup.
  if (last_type_.empty() || type != last_type_) {
    last_type_id_ = db_.add_rel_type(std::string(type));
    last_type_ = type;
  }
  const std::uint32_t rel = db_.graph.add_edge(from, to, last_type_id_);
  if (!properties.is_null() && !properties.empty()) db_.set_relationship_properties(rel, std::move(properties));
  note_number(source_id, rel_numbers_, numbered_rels_);
  count_record(progress_);
}

void ImportContext::add_relationship_when_known(std::string_view start, std::string_view end, std::string_view type,
                                                nlohmann::json properties, std::string_view source_id,
                                                std::uint64_t line) {
  if (nodes_.find(start) != kNoNode && nodes_.find(end) != kNoNode) {
    add_relationship(start, end, type, std::move(properties), source_id);
  } else {
    deferred_.push_back({std::string(start), std::string(end), std::string(type), std::string(source_id),
                         std::move(properties), line});
  }
}

// The reader's own position is the end of the file by now, so the line
// kept with each relationship is the one a refusal names.
void ImportContext::add_deferred_relationships(const std::string& file) {
  for (Deferred& d : deferred_) {
    try {
      add_relationship(d.start, d.end, d.type, std::move(d.properties), d.source_id);
    } catch (...) {
      rethrow_at_record(file, d.line);
    }
  }
  deferred_.clear();
}

void ImportContext::finish() {
  // A relationship source without ids, or with repeats, leaves identities.
  if (numbered_nodes_) db_.node_ids.assign(std::move(node_numbers_));
  if (numbered_rels_ && rel_numbers_.size() == db_.graph.edges.size()) db_.rel_ids.assign(std::move(rel_numbers_));
  db_.compile();
  db_.organise_properties();
}

}  // namespace orvane
