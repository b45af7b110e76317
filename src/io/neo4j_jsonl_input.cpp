// Node and relationship files as JSON lines: one JSON object per line, in
// the shapes Neo4j's JSON export procedures and our own export write.
//
//   node:          {"id": 7, "labels": ["Person"], "properties": {...}}
//                  {"id": "a", "label": "Person", "name": "Ada"}   (members are the properties)
//   relationship:  {"src": 1, "dst": 2, "type": "KNOWS"}
//                  {"type": "relationship", "label": "KNOWS",
//                   "start": {"id": "1"}, "end": {"id": "2"}}
//
// Identities are strings or integers; an integer's source identity is its
// decimal text, so it matches the CSV text of the same number but not a
// zero-padded one ("007" is not 7). Every line is parsed with the nesting
// bound of all JSON that enters a Database.
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "io/neo4j_input.h"

namespace orvane {
namespace {

using json = nlohmann::json;

// Calls `visit` with every non-empty line parsed as JSON. A carriage return
// before the line feed is dropped, so files written with CR LF line ends
// read the same (a JSON text may end in one anyway).
template <typename Visit>
void for_each_json_line(std::istream& in, Visit visit) {
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    visit(parse_json_bounded(line));
  }
}

std::string source_identity(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer()) return value.dump();
  throw std::runtime_error(kIdentityKindMessage);
}

std::string node_label(const json& record) {
  auto it = record.find("labels");
  if (it == record.end()) it = record.find("label");
  const json& value = it == record.end() ? json() : *it;
  std::string label;
  if (value.is_string()) {
    label = value.get<std::string>();
  } else if (value.is_array()) {
    if (value.size() != 1) throw std::runtime_error(kOneLabelMessage);
    if (!value[0].is_string()) throw std::runtime_error("node label must be a string");
    label = value[0].get<std::string>();
  } else {
    throw std::runtime_error("node label must be a string");
  }
  check_single_label(label);
  return label;
}

json node_properties(json& record) {
  if (const auto it = record.find("properties"); it != record.end()) {
    if (!it->is_object()) throw std::runtime_error("node properties must be an object");
    return std::move(*it);
  }
  json properties = json::object();
  for (auto& [key, value] : record.items()) {
    if (key != "id" && key != "label" && key != "labels" && key != "type") properties[key] = std::move(value);
  }
  return properties;
}

// The first present member of `names`, an object holding "id" standing for
// that "id"; its source identity.
std::string endpoint(const json& record, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const auto it = record.find(name);
    if (it == record.end()) continue;
    if (it->is_object() && it->contains("id")) return source_identity(it->at("id"));
    return source_identity(*it);
  }
  throw std::runtime_error("relationship endpoint is missing");
}

// Neo4j's JSON export writes "type":"relationship" and the relationship
// type under "label"; our export and most tools write it under "type".
std::string relationship_type(const json& record) {
  auto it = record.find("type");
  if (it == record.end() || *it == "relationship") {
    it = record.find("label");
    if (it == record.end()) it = record.find(":TYPE");
  }
  if (it == record.end() || !it->is_string()) throw std::runtime_error(kRelationshipTypeMissingMessage);
  return it->get<std::string>();
}

bool empty_properties(const json& value) {
  return value.is_null() || ((value.is_object() || value.is_array()) && value.empty());
}

}  // namespace

void read_jsonl_nodes(std::istream& in, ImportContext& context) {
  for_each_json_line(in, [&](json record) {
    if (!record.is_object() || !record.contains("id")) throw std::runtime_error("invalid node JSONL record");
    const std::string label = node_label(record);
    json properties = node_properties(record);
    context.add_node(source_identity(record["id"]), label, std::move(properties));
  });
}

void read_jsonl_relationships(std::istream& in, ImportContext& context) {
  for_each_json_line(in, [&](json record) {
    if (!record.is_object()) throw std::runtime_error("invalid relationship JSONL record");
    if (const auto it = record.find("properties"); it != record.end() && !empty_properties(*it)) {
      throw std::runtime_error(kRelationshipPropertiesMessage);
    }
    const std::string type = relationship_type(record);
    const std::string start = endpoint(record, {"src", "start", ":START_ID"});
    const std::string end = endpoint(record, {"dst", "end", ":END_ID"});
    context.add_relationship(start, end, type);
  });
}

}  // namespace orvane
