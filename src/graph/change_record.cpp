// The change record (change_record.h): made from a unit's mark and undo
// log, replayed in a fixed order (names, appended nodes, appended
// relationships, changes to older entities, deletions last) so that every
// entity a step names still exists when the step runs.
#include "graph/change_record.h"

#include <set>
#include <stdexcept>
#include <tuple>
#include <utility>

#include <nlohmann/json.hpp>

namespace orvane {

namespace {

using nlohmann::json;

json label_names(const Database& db, const std::vector<std::uint16_t>& labels) {
  json out = json::array();
  for (const std::uint16_t l : labels) out.push_back(db.node_types[l]);
  return out;
}

[[noreturn]] void malformed(const std::string& reason) {
  throw std::runtime_error("change record is malformed: " + reason);
}

std::uint32_t node_identity(const Database& db, const json& id) {
  const std::uint64_t identity = db.node_ids.find(id.get<std::uint64_t>(), db.graph.node_count);
  if (identity == kNoEntityId) malformed("no node has id " + id.dump());
  return static_cast<std::uint32_t>(identity);
}

std::uint32_t rel_identity(const Database& db, const json& id) {
  const std::uint64_t identity = db.rel_ids.find(id.get<std::uint64_t>(), db.graph.edges.size());
  if (identity == kNoEntityId) malformed("no relationship has id " + id.dump());
  return static_cast<std::uint32_t>(identity);
}

std::vector<std::uint16_t> label_ids(Database& db, const json& names) {
  std::vector<std::uint16_t> out;
  for (const json& name : names) out.push_back(db.add_node_type(name.get<std::string>()));
  return out;
}

}  // namespace

std::string make_change_record(const Database& db, const DatabaseMark& mark, const UndoLog& undo) {
  const PhysicalGraph& g = db.graph;
  json r = json::object();
  if (db.node_types.size() > mark.node_types) {
    r["L"] = json(std::vector<std::string>(db.node_types.begin() + mark.node_types, db.node_types.end()));
  }
  if (db.rel_types.size() > mark.rel_types) {
    r["T"] = json(std::vector<std::string>(db.rel_types.begin() + mark.rel_types, db.rel_types.end()));
  }
  json nodes = json::array();
  for (std::uint64_t i = mark.node_count; i < g.node_count; ++i) {
    const auto n = static_cast<std::uint32_t>(i);
    const std::uint16_t group = db.node_store.group_of(n);
    json node = {{"g", group == kNoLabel ? json() : json(db.node_types[group])},
                 {"l", label_names(db, g.labels_of(n))},
                 {"s", db.names[n]},
                 {"t", db.topics[n]},
                 {"i", i},
                 {"p", db.node_properties(n)}};
    if (g.node_is_deleted(n)) node["d"] = true;
    nodes.push_back(std::move(node));
  }
  if (!nodes.empty()) r["n"] = std::move(nodes);
  json rels = json::array();
  for (std::uint64_t i = mark.relationships; i < g.edges.size(); ++i) {
    const auto rel = static_cast<std::uint32_t>(i);
    const Edge& e = g.edges[rel];
    json out = {{"a", db.node_id(e.src)}, {"b", db.node_id(e.dst)}, {"y", db.rel_types[e.type]},
                {"p", db.relationship_properties(rel)}};
    if (g.relationship_is_deleted(rel)) out["d"] = true;
    rels.push_back(std::move(out));
  }
  if (!rels.empty()) r["r"] = std::move(rels);

  // Older entities: each field the undo log names once, as it is now.
  std::set<std::pair<std::uint32_t, std::string>> node_keys, rel_keys;
  std::set<std::uint32_t> relabelled, renamed, deleted_nodes, deleted_rels;
  for (const UndoEntry& e : undo) {
    const bool older_node = e.entity < mark.node_count;
    const bool older_rel = e.entity < mark.relationships;
    switch (e.kind) {
      case UndoEntry::Kind::kNodeProperty:
        if (older_node) node_keys.emplace(e.entity, e.key);
        if (older_node && e.key == "name") renamed.insert(e.entity);
        break;
      case UndoEntry::Kind::kRelProperty:
        if (older_rel) rel_keys.emplace(e.entity, e.key);
        break;
      case UndoEntry::Kind::kLabels:
        if (older_node) relabelled.insert(e.entity);
        break;
      case UndoEntry::Kind::kNodeDeleted:
        if (older_node && g.node_is_deleted(e.entity)) deleted_nodes.insert(e.entity);
        break;
      case UndoEntry::Kind::kRelDeleted:
        if (older_rel && g.relationship_is_deleted(e.entity)) deleted_rels.insert(e.entity);
        break;
    }
  }
  for (const auto& [n, key] : node_keys) {
    r["np"].push_back(json::array({db.node_id(n), key, to_typed_json(db.node_property(n, key))}));
  }
  for (const std::uint32_t n : renamed) r["nn"].push_back(json::array({db.node_id(n), db.names[n]}));
  for (const auto& [rel, key] : rel_keys) {
    r["rp"].push_back(json::array({db.relationship_id(rel), key, to_typed_json(db.relationship_property(rel, key))}));
  }
  for (const std::uint32_t n : relabelled) r["nl"].push_back(json::array({db.node_id(n), label_names(db, g.labels_of(n))}));
  for (const std::uint32_t n : deleted_nodes) r["nd"].push_back(db.node_id(n));
  for (const std::uint32_t rel : deleted_rels) r["rd"].push_back(db.relationship_id(rel));
  // The property keys the unit interned, in order, so that a replay gives
  // every key the id it had: a copy kept beside this one (or recovered
  // from the log) then plans every statement as this one does. A unit
  // that interned a key and changed nothing else still has a record.
  for (const auto& [field, store, first] : {std::tuple("K", &db.node_store, mark.node_keys),
                                            std::tuple("KR", &db.rel_store, mark.rel_keys)}) {
    for (std::uint32_t key = first; key < store->key_count(); ++key) r[field].push_back(store->key_name(key));
  }
  if (r.empty()) return {};
  const std::vector<std::uint8_t> bytes = json::to_cbor(r);
  return {bytes.begin(), bytes.end()};
}

void apply_change_record(Database& db, std::string_view record) {
  json r;
  try {
    r = json::from_cbor(record.begin(), record.end());
  } catch (const json::exception& e) {
    malformed(e.what());
  }
  if (!r.is_object()) malformed("not an object");
  const auto list = [&](const char* key) -> const json& {
    static const json kNone = json::array();
    const auto it = r.find(key);
    return it == r.end() ? kNone : *it;
  };
  try {
    for (const json& name : list("L")) db.add_node_type(name.get<std::string>());
    for (const json& name : list("T")) db.add_rel_type(name.get<std::string>());
    for (const json& name : list("K")) db.node_store.intern_key(name.get<std::string>());
    for (const json& name : list("KR")) db.rel_store.intern_key(name.get<std::string>());
    std::vector<std::uint32_t> doomed_nodes, doomed_rels;
    for (const json& node : list("n")) {
      const json& group_name = node.at("g");
      const std::uint16_t group = group_name.is_null() ? kNoLabel : db.add_node_type(group_name.get<std::string>());
      if (group != kNoLabel && group == db.person_label) ++db.people;
      if (group != kNoLabel && group == db.paper_label) ++db.papers;
      const auto topic = node.at("t").get<std::uint32_t>();
      const std::uint32_t n = db.add_node(group, node.at("s").get<std::string>(), topic);
      db.graph.set_labels(n, label_ids(db, node.at("l")));
      // The embedding as the unit's own numbering seeded it.
      const auto seeded_as = node.at("i").get<std::uint64_t>();
      if (seeded_as != n) {
        seed_embedding(db.embeddings.data() + db.embedding_dim * n, db.embedding_dim, topic, node_seed(seeded_as));
      }
      const json& props = node.at("p");
      db.node_store.set_all_from_json(n, props);
      if (const auto id = props.find("id"); id != props.end() && !id->is_null()) ++db.stored_id_nodes;
      if (node.value("d", false)) doomed_nodes.push_back(n);
    }
    for (const json& rel : list("r")) {
      const std::uint32_t from = node_identity(db, rel.at("a")), to = node_identity(db, rel.at("b"));
      const std::uint32_t id = db.graph.add_edge(from, to, db.add_rel_type(rel.at("y").get<std::string>()));
      if (!rel.at("p").empty()) db.set_relationship_properties(id, rel.at("p"));
      if (rel.value("d", false)) doomed_rels.push_back(id);
    }
    for (const json& change : list("np")) {
      db.set_node_value(node_identity(db, change.at(0)), change.at(1).get<std::string>(),
                        property_value_of(change.at(2)));
    }
    for (const json& change : list("nn")) db.names.at(node_identity(db, change.at(0))) = change.at(1).get<std::string>();
    for (const json& change : list("rp")) {
      db.set_relationship_value(rel_identity(db, change.at(0)), change.at(1).get<std::string>(),
                                property_value_of(change.at(2)));
    }
    for (const json& change : list("nl")) db.set_node_labels(node_identity(db, change.at(0)), label_ids(db, change.at(1)));
    for (const json& id : list("rd")) doomed_rels.push_back(rel_identity(db, id));
    for (const json& id : list("nd")) doomed_nodes.push_back(node_identity(db, id));
    for (const std::uint32_t rel : doomed_rels) db.delete_relationship(rel);
    for (const std::uint32_t n : doomed_nodes) db.delete_node(n);
  } catch (const json::exception& e) {
    malformed(e.what());
  } catch (const std::out_of_range& e) {
    malformed(e.what());
  }
}

}  // namespace orvane
