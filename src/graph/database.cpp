// orvane::Database: schema, node builders and per-node attributes. Each
// operation validates everything it was given before it changes anything.
#include "graph/database.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "graph/utf8.h"

namespace orvane {
namespace {

constexpr const char* kBadNodeType = "invalid node type or schema limit reached";
constexpr const char* kBadRelType = "invalid relationship type or schema limit reached";
std::string bad_embedding(std::size_t dim) {
  return "embedding must contain " + std::to_string(dim) + " finite values";
}

std::uint16_t register_name(std::vector<std::string>& names,
                            std::unordered_map<std::string, std::uint16_t>& ids,
                            const std::string& name, const char* failure) {
  if (auto it = ids.find(name); it != ids.end()) return it->second;
  if (name.empty() || names.size() >= kMaxSchemaIds) throw std::runtime_error(failure);
  require_utf8(name);
  const auto id = static_cast<std::uint16_t>(names.size());
  names.push_back(name);
  try {
    ids.emplace(name, id);
  } catch (...) {
    names.pop_back();
    throw;
  }
  return id;
}

// The display name a property value gives: a string's own text, otherwise
// the value's compact JSON (42 → "42").
std::string name_from_value(const nlohmann::json& value) {
  return value.is_string() ? value.get<std::string>() : value.dump();
}

// The typed entries of property object `props` for `store`: each member
// converted (property_value_of; a string is moved out of `props`, which
// the caller no longer needs) and checked as the store would check it,
// null members left out, keys interned. Throws before anything of the
// Database changes (an interned key is no change anyone sees). Requires:
// `props` is an object whose texts are valid UTF-8.
std::vector<std::pair<std::uint32_t, Value>> typed_entries(PropertyStore& store, nlohmann::json& props) {
  std::vector<std::pair<std::uint32_t, Value>> entries;
  entries.reserve(props.size());
  for (auto it = props.begin(); it != props.end(); ++it) {
    nlohmann::json& member = it.value();
    if (member.is_null()) continue;
    Value value = member.is_string() ? Value(std::move(member.get_ref<std::string&>())) : property_value_of(member);
    if (!member.is_string()) property_codec::check_value(value);
    entries.emplace_back(store.intern_key(it.key()), std::move(value));
  }
  return entries;
}

}  // namespace

Database::Database() {
  person_label = add_node_type("Person");
  paper_label = add_node_type("Paper");
  follows_type = add_rel_type("FOLLOWS");
  authored_type = add_rel_type("AUTHORED");
}

Database::~Database() = default;
Database::Database(const Database&) = default;
Database& Database::operator=(const Database&) = default;
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;

std::uint16_t Database::add_node_type(const std::string& name) {
  return register_name(node_types, node_type_ids, name, kBadNodeType);
}

std::uint16_t Database::add_rel_type(const std::string& name) {
  return register_name(rel_types, rel_type_ids, name, kBadRelType);
}

std::uint16_t Database::node_type_id(const std::string& name) const {
  auto it = node_type_ids.find(name);
  if (it == node_type_ids.end()) throw std::out_of_range("unknown node type: " + name);
  return it->second;
}

std::uint16_t Database::rel_type_id(const std::string& name) const {
  auto it = rel_type_ids.find(name);
  if (it == rel_type_ids.end()) throw std::out_of_range("unknown edge type: " + name);
  return it->second;
}

const std::string& Database::node_type_name(std::uint16_t id) const {
  if (id >= node_types.size()) throw std::out_of_range("unknown node type id: " + std::to_string(id));
  return node_types[id];
}

const std::string& Database::rel_type_name(std::uint16_t id) const {
  if (id >= rel_types.size()) throw std::out_of_range("unknown edge type id: " + std::to_string(id));
  return rel_types[id];
}

std::uint32_t Database::add_node(std::uint16_t label, std::string name, std::uint32_t topic) {
  require_utf8(name);
  if (graph.node_count >= kMaxNodeCount) throw std::runtime_error("node identity limit reached");
  const std::uint64_t identity = graph.node_count;
  // Reserve everything first: after this point nothing below can fail, so a
  // failure leaves the Database unchanged.
  reserve_more(names, 1);
  reserve_more(topics, 1);
  reserve_more(embeddings, embedding_dim);
  node_store.reserve(identity + 1);
  graph.add_node(label);
  names.push_back(std::move(name));
  topics.push_back(topic);
  embeddings.resize(embedding_dim * (identity + 1));
  seed_embedding(embeddings.data() + embedding_dim * identity, embedding_dim, topic, node_seed(identity));
  while (node_store.size() <= identity) node_store.append(label);
  return static_cast<std::uint32_t>(identity);
}

// add_person and add_paper: counts the node in `counter` and sets property
// "name". The checks run before the counter moves, so a failure changes
// nothing.
static std::uint32_t add_named_node(Database& db, std::uint16_t label, std::uint64_t& counter, std::string name,
                             std::uint32_t topic) {
  require_utf8(name);
  if (db.graph.node_count >= kMaxNodeCount) throw std::runtime_error("node identity limit reached");
  const std::uint32_t name_key = db.node_store.intern_key("name");
  Value value = name;
  ++counter;
  const std::uint32_t id = db.add_node(label, std::move(name), topic);
  db.node_store.set(id, name_key, value);
  return id;
}

std::uint32_t Database::add_person(std::string name, std::uint32_t topic) {
  return add_named_node(*this, person_label, people, std::move(name), topic);
}

std::uint32_t Database::add_paper(std::string name, std::uint32_t topic) {
  return add_named_node(*this, paper_label, papers, std::move(name), topic);
}

std::uint32_t Database::add_follows(std::uint32_t src, std::uint32_t dst) {
  return graph.add_edge(src, dst, follows_type);
}

std::uint32_t Database::add_authored(std::uint32_t src, std::uint32_t dst) {
  return graph.add_edge(src, dst, authored_type);
}

// Both add_labeled_node forms: every check first (labels, UTF-8, schema
// room, identity room, property values), then the node, its further labels
// and its properties, none of which can fail any more.
static std::uint32_t add_node_with_labels(Database& db, std::span<const std::string> labels, std::string& name,
                                          nlohmann::json props, std::uint32_t topic) {
  if (!props.is_object()) throw std::runtime_error("properties must be a JSON object");
  std::size_t fresh = 0;
  for (std::size_t k = 0; k < labels.size(); ++k) {
    if (labels[k].empty()) throw std::runtime_error(kBadNodeType);
    require_utf8(labels[k]);
    const bool seen = std::find(labels.begin(), labels.begin() + k, labels[k]) != labels.begin() + k;
    fresh += seen || db.node_type_ids.contains(labels[k]) ? 0 : 1;
  }
  if (db.node_types.size() + fresh > kMaxSchemaIds) throw std::runtime_error(kBadNodeType);
  require_utf8(name);
  require_utf8_json(props);
  if (db.graph.node_count >= kMaxNodeCount) throw std::runtime_error("node identity limit reached");
  if (name.empty()) {
    if (auto it = props.find("name"); it != props.end()) {
      name = name_from_value(*it);
    } else {
      name = (labels.empty() ? std::string("Node") : labels.front()) + "-" + std::to_string(db.graph.node_count);
    }
  }
  const auto id_member = props.find("id");
  const bool stores_id = id_member != props.end() && !id_member->is_null();
  std::vector<std::pair<std::uint32_t, Value>> entries = typed_entries(db.node_store, props);
  const std::uint16_t first = labels.empty() ? kNoLabel : db.add_node_type(labels.front());
  if (first == db.person_label) {
    ++db.people;
  } else if (first == db.paper_label) {
    ++db.papers;
  }
  const std::uint32_t id = db.add_node(first, name, topic);
  for (std::size_t k = 1; k < labels.size(); ++k) db.graph.add_label(id, db.add_node_type(labels[k]));
  if (stores_id) ++db.stored_id_nodes;
  db.node_store.set_all(id, std::move(entries));
  return id;
}

std::uint32_t Database::add_labeled_node(const std::string& label, std::string& name, nlohmann::json props,
                                         std::uint32_t topic) {
  return add_node_with_labels(*this, {&label, 1}, name, std::move(props), topic);
}

std::uint32_t Database::add_labeled_node(std::span<const std::string> labels, std::string& name,
                                         nlohmann::json props, std::uint32_t topic) {
  return add_node_with_labels(*this, labels, name, std::move(props), topic);
}

void Database::set_property(std::uint32_t identity, const std::string& key, const nlohmann::json& value) {
  if (identity >= graph.node_count) return;
  require_utf8_json(value);
  set_node_value(identity, key, property_value_of(value));
}

void Database::set_node_value(std::uint32_t identity, const std::string& key, const Value& value) {
  if (identity >= graph.node_count) throw std::out_of_range("node out of range");
  require_utf8(key);
  const std::uint32_t k = node_store.intern_key(key);
  Value old = node_store.get(identity, k);
  std::string old_name = key == "name" && identity < names.size() ? names[identity] : std::string();
  node_store.set(identity, k, value);  // checks the value; throws before any change
  if (key == "name" && identity < names.size() && !value.is_null()) names[identity] = name_from_value(to_typed_json(value));
  if (key == "id") stored_id_nodes = stored_id_nodes + (value.is_null() ? 0 : 1) - (old.is_null() ? 0 : 1);
  if (undo_log != nullptr) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::kNodeProperty;
    e.entity = identity;
    e.key = key;
    e.old = std::move(old);
    e.old_name = std::move(old_name);
    undo_log->push_back(std::move(e));
  }
}

void Database::set_relationship_value(std::uint32_t rel, const std::string& key, const Value& value) {
  if (rel >= graph.edges.size()) throw std::out_of_range("relationship out of range");
  require_utf8(key);
  const std::uint32_t k = rel_store.intern_key(key);
  if (rel >= rel_store.size()) {
    if (value.is_null()) return;
    rel_store.reserve(static_cast<std::uint64_t>(rel) + 1);
    while (rel_store.size() <= rel) rel_store.append(graph.edges[rel_store.size()].type);
  }
  Value old = rel_store.get(rel, k);
  rel_store.set(rel, k, value);
  if (undo_log != nullptr) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::kRelProperty;
    e.entity = rel;
    e.key = key;
    e.old = std::move(old);
    undo_log->push_back(std::move(e));
  }
}

void Database::set_node_labels(std::uint32_t identity, const std::vector<std::uint16_t>& labels) {
  if (identity >= graph.node_count) throw std::out_of_range("node out of range");
  std::vector<std::uint16_t> old = graph.labels_of(identity);
  if (old == labels) return;
  graph.set_labels(identity, labels);
  if (undo_log != nullptr) {
    UndoEntry e;
    e.kind = UndoEntry::Kind::kLabels;
    e.entity = identity;
    e.old_labels = std::move(old);
    undo_log->push_back(std::move(e));
  }
}

// The readers of both stores: an entity beyond the store (a relationship
// store trails the edge list) or a key never seen has no properties.
std::uint32_t Database::node_of_id(std::uint64_t id) const {
  const std::uint64_t identity = node_ids.find(id, graph.node_count);
  if (identity == kNoEntityId || graph.node_is_deleted(static_cast<std::uint32_t>(identity))) return kNoNode;
  return static_cast<std::uint32_t>(identity);
}

std::uint32_t Database::relationship_of_id(std::uint64_t id) const {
  const std::uint64_t identity = rel_ids.find(id, graph.edges.size());
  if (identity == kNoEntityId || graph.relationship_is_deleted(static_cast<std::uint32_t>(identity))) return kNoNode;
  return static_cast<std::uint32_t>(identity);
}

static nlohmann::json properties_in(const PropertyStore& store, std::uint64_t entity) {
  return entity < store.size() ? store.to_json(entity) : nlohmann::json::object();
}

static Value property_in(const PropertyStore& store, std::uint64_t entity, std::string_view key) {
  const std::uint32_t k = store.find_key(key);
  return k == kNoPropertyKey || entity >= store.size() ? Value() : store.get(entity, k);
}

nlohmann::json Database::node_properties(std::uint32_t identity) const { return properties_in(node_store, identity); }

Value Database::node_property(std::uint32_t identity, std::string_view key) const {
  return property_in(node_store, identity, key);
}

void Database::set_relationship_properties(std::uint32_t rel, nlohmann::json props) {
  if (rel >= graph.edges.size()) throw std::out_of_range("relationship out of range");
  if (!props.is_object()) throw std::runtime_error("properties must be a JSON object");
  require_utf8_json(props);
  std::vector<std::pair<std::uint32_t, Value>> entries = typed_entries(rel_store, props);
  if (rel >= rel_store.size()) {
    if (entries.empty()) return;
    rel_store.reserve(static_cast<std::uint64_t>(rel) + 1);
    while (rel_store.size() <= rel) rel_store.append(graph.edges[rel_store.size()].type);
  }
  rel_store.set_all(rel, std::move(entries));
}

nlohmann::json Database::relationship_properties(std::uint32_t rel) const { return properties_in(rel_store, rel); }

Value Database::relationship_property(std::uint32_t rel, std::string_view key) const {
  return property_in(rel_store, rel, key);
}

void Database::organise_properties() {
  node_store.organise();
  rel_store.organise();
}

void Database::install_property_stores(PropertyStore nodes, PropertyStore rels) {
  if (nodes.size() != graph.node_count || rels.size() > graph.edges.size()) {
    throw std::runtime_error("snapshot properties: store sizes do not match the graph");
  }
  node_store = std::move(nodes);
  rel_store = std::move(rels);
  stored_id_nodes = 0;
  if (const std::uint32_t id_key = node_store.find_key("id"); id_key != kNoPropertyKey) {
    for (std::uint64_t i = 0; i < node_store.size(); ++i) stored_id_nodes += node_store.has(i, id_key) ? 1 : 0;
  }
}

void Database::set_embedding(std::uint32_t identity, const std::vector<float>& values) {
  if (identity >= graph.node_count || values.size() != embedding_dim ||
      embeddings.size() < embedding_dim * (static_cast<std::uint64_t>(identity) + 1)) {
    throw std::runtime_error(bad_embedding(embedding_dim));
  }
  for (float v : values) {
    if (!std::isfinite(v)) throw std::runtime_error(bad_embedding(embedding_dim));
  }
  std::copy(values.begin(), values.end(), embeddings.begin() + embedding_dim * identity);
}

void Database::set_embedding_dim(std::size_t dim) {
  if (dim == 0 || dim > kMaxEmbeddingDim) throw std::runtime_error("embedding dimension must be from 1 to 65536");
  // Built aside and swapped in, so an allocation failure changes nothing.
  const std::uint64_t n = graph.node_count;
  std::vector<float> seeded(dim * n);
  for (std::uint64_t identity = 0; identity < n; ++identity) {
    const std::uint32_t topic = identity < topics.size() ? topics[identity] : 0;
    seed_embedding(seeded.data() + dim * identity, dim, topic, node_seed(identity));
  }
  embeddings.swap(seeded);
  embedding_dim = dim;
}

void Database::install_attributes(std::uint64_t people_count, std::uint64_t papers_count,
                                  std::vector<std::string> names_in, std::vector<std::uint32_t> topics_in,
                                  std::size_t dim, std::vector<float> embeddings_in, bool legacy) {
  for (const std::string& n : names_in) require_utf8(n);
  names = std::move(names_in);
  topics = std::move(topics_in);
  embedding_dim = dim;
  embeddings = std::move(embeddings_in);
  people = people_count;
  papers = papers_count;
  node_store.reserve(names.size());
  while (node_store.size() < names.size()) node_store.append(graph.labels[node_store.size()]);
  if (legacy) {
    const std::uint32_t name_key = node_store.intern_key("name");
    for (std::size_t i = 0; i < names.size(); ++i) node_store.set(i, name_key, Value(names[i]));
  }
  stored_id_nodes = 0;
}

}  // namespace orvane
