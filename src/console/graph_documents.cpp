// Documents about the registered databases and their contents: cluster and
// fabric views, index, meta-schema and schema, search hits and one node's
// neighbourhood. Nodes are named by identity throughout; the node document
// reads the compiled adjacency, which every database in the registry has
// (the console recompiles after each change), and shows no neighbours for a
// graph that is not compiled.
#include <nlohmann/json.hpp>

#include "console/document_support.h"
#include "console/documents.h"
#include "console/engine.h"
#include "graph/json_text.h"
#include "query/cypher_statement.h"

namespace orvane {
namespace {

using json = nlohmann::json;

constexpr const char* kHop1Follows = "MATCH (p:Person {id: 0})-[:FOLLOWS]->(x) RETURN count(*)";
constexpr const char* kAuthoredFromHub = "MATCH (p:Person {id: 0})-[:AUTHORED]->(paper) RETURN count(*)";

// Compact JSON that never throws: text from a Database is valid UTF-8, and
// anything else would be replaced rather than fail a read-only document.
std::string compact(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

// The one count a counting statement answers, through the query pipeline.
std::uint64_t count_of(const Database& db, const char* statement) {
  return static_cast<std::uint64_t>(run_statement(statement, db).rows.at(0).at(0).as_int());
}

bool has_fabric(const Engine& engine) {
  return engine.has_database("social") && engine.has_database("biblio");
}

// The node's labels as a JSON array text, in their order ([] for none).
std::string labels_of(const Database& db, std::uint32_t id) {
  json labels = json::array();
  for (const std::uint16_t label : db.graph.labels_of(id)) {
    if (label < db.node_types.size()) labels.push_back(db.node_types[label]);
  }
  return compact(labels);
}

bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

bool matches(const Database& db, std::uint32_t id, const std::string& text) {
  if (text.empty() || contains(db.names[id], text)) return true;
  const nlohmann::json properties = db.node_properties(id);
  for (const auto& [key, value] : properties.items()) {
    if (contains(value.is_string() ? value.get_ref<const std::string&>() : compact(value), text)) return true;
  }
  return false;
}

}  // namespace

std::string cluster_document(const Engine& engine) {
  std::string members = "[";
  for (const auto& [name, db] : engine.databases()) {
    if (members.size() > 1) members += ',';
    const char* role = name == engine.current_name() ? "primary" : name == "replica" ? "read-replica" : "shard";
    members += JsonObjectText()
                   .string("name", name)
                   .count("nodes", db->graph.node_count)
                   .count("edges", relationship_count(*db))
                   .string("role", role)
                   .text();
  }
  return JsonObjectText()
      .string("role", "coordinator")
      .raw("members", members + "]")
      .boolean("fabric", has_fabric(engine))
      .text();
}

std::string fabric_document(const Engine& engine) {
  const bool fabric = has_fabric(engine);
  std::string shards = "[";
  if (fabric) {
    shards += JsonObjectText()
                  .string("name", "social")
                  .string("role", "FOLLOWS shard")
                  .count("hop1_follows", count_of(engine.database("social"), kHop1Follows))
                  .text();
    shards += ',';
    shards += JsonObjectText()
                  .string("name", "biblio")
                  .string("role", "AUTHORED shard")
                  .count("authored_from_hub", count_of(engine.database("biblio"), kAuthoredFromHub))
                  .text();
  }
  return JsonObjectText()
      .boolean("fabric", fabric)
      .raw("shards", shards + "]")
      .string("coordinator", engine.current_name())
      .string("note", "One question is answered by composing counts from the FOLLOWS and AUTHORED shards.")
      .text();
}

std::string index_document(const Engine& engine) {
  const Database& db = engine.database();
  json doc = {{"constraints", json::array()},
              {"edges", relationship_count(db)},
              {"indexes", json::array()},
              {"nodes", db.graph.node_count},
              {"note",
               "Property indexes and uniqueness constraints are not implemented. Retrieval uses an exact vector "
               "scan."}};
  return compact(doc);
}

namespace {

json meta_schema(const Database& db) {
  json labels = json::object(), types = json::object();
  std::vector<std::uint64_t> per_label(db.node_types.size()), per_type(db.rel_types.size());
  // Every label of a node counts, its first and its further ones.
  const auto count_label = [&](std::uint16_t label) {
    if (label < per_label.size()) ++per_label[label];
  };
  for (const std::uint16_t label : db.graph.labels) count_label(label);
  for (const std::uint16_t label : db.graph.extra_labels) count_label(label);
  const PhysicalGraph& g = db.graph;
  const auto count_type = [&](std::uint16_t type) {
    if (type < per_type.size()) ++per_type[type];
  };
  if (g.compiled) {
    for (const std::uint16_t type : g.out_types) count_type(type);
  } else {
    for (const Edge& e : g.edges) count_type(e.type);
  }
  // Only names that occur: a graph without the generator's Person, Paper,
  // FOLLOWS and AUTHORED does not show them.
  for (std::size_t i = 0; i < per_label.size(); ++i) {
    if (per_label[i] > 0) labels[db.node_types[i]] = per_label[i];
  }
  for (std::size_t i = 0; i < per_type.size(); ++i) {
    if (per_type[i] > 0) types[db.rel_types[i]] = per_type[i];
  }
  return {{"labels", labels},
          {"relTypes", types},
          {"labelCount", labels.size()},
          {"relTypeCount", types.size()},
          {"nodeCount", db.graph.node_count},
          {"relCount", relationship_count(db)}};
}

json member_names(const json& object) {
  json names = json::array();
  for (const auto& [key, value] : object.items()) names.push_back(key);
  return names;
}

}  // namespace

std::string meta_schema_document(const Engine& engine) { return compact(meta_schema(engine.database())); }

std::string schema_document(const Engine& engine) {
  const json meta = meta_schema(engine.database());
  return compact({{"node_types", member_names(meta["labels"])},
                  {"rel_types", member_names(meta["relTypes"])},
                  {"nodes", meta["nodeCount"]},
                  {"edges", meta["relCount"]}});
}

std::string search_document(const Engine& engine, const std::string& text, std::size_t limit) {
  const Database& db = engine.database();
  std::string hits = "[";
  std::size_t found = 0;
  for (std::uint64_t id = 0; id < db.graph.node_count && found < limit; ++id) {
    const auto identity = static_cast<std::uint32_t>(id);
    if (!matches(db, identity, text)) continue;
    if (found++ > 0) hits += ',';
    hits += JsonObjectText()
                .count("id", db.node_id(identity))
                .string("name", db.names[identity])
                .raw("labels", labels_of(db, identity))
                .text();
  }
  return JsonObjectText().string("q", text).raw("hits", hits + "]").text();
}

std::string node_document(const Engine& engine, std::uint64_t id, std::size_t limit) {
  const Database& db = engine.database();
  const std::uint32_t identity = db.node_of_id(id);
  if (identity == kNoNode) return JsonObjectText().string("error", "no such node").text();
  const PhysicalGraph& g = db.graph;
  NodeRun targets;
  TypeRun types;
  if (g.compiled) {
    targets = g.out_neighbors(g.to_physical[identity]);
    types = g.out_edge_types(g.to_physical[identity]);
  }
  std::string neighbors = "[";
  for (std::size_t i = 0; i < targets.size() && i < limit; ++i) {
    if (i > 0) neighbors += ',';
    const std::uint32_t other = g.to_logical[targets[i]];
    neighbors += JsonObjectText()
                     .count("id", db.node_id(other))
                     .string("name", db.names[other])
                     .string("type", types[i] < db.rel_types.size() ? db.rel_types[types[i]] : "REL")
                     .text();
  }
  return JsonObjectText()
      .count("id", id)
      .string("name", db.names[identity])
      .raw("labels", labels_of(db, identity))
      .count("topic", db.topics[identity])
      .count("out_degree", targets.size())
      .raw("properties", compact(db.node_properties(identity)))
      .raw("neighbors", neighbors + "]")
      .text();
}

}  // namespace orvane
