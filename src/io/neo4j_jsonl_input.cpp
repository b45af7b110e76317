// Node and relationship files as JSON lines: one JSON object per line, in
// the shapes Neo4j's JSON export procedures and our own export write.
//
//   node:          {"id": 7, "labels": ["Person"], "properties": {...}}
//                  {"id": "a", "label": "Person", "name": "Ada"}   (members are the properties)
//   relationship:  {"src": 1, "dst": 2, "type": "KNOWS"}
//                  {"type": "relationship", "label": "KNOWS",
//                   "start": {"id": "1"}, "end": {"id": "2"}}
//
//   APOC export:   one file of both, every line with "type" "node" or
//                  "relationship" (the relationship type under "label")
//
// A node's labels are a list (a missing or null member is no label) or one
// text; a relationship's "id", when it has one, is its source id.
//
// Identities are strings or integers; an integer's source identity is its
// decimal text, so it matches the CSV text of the same number but not a
// zero-padded one ("007" is not 7). Every line is parsed with the nesting
// bound of all JSON that enters a Database.
//
// Every error raised for a line, the JSON library's parse errors included,
// is rethrown with the file and the line's number (io/import_position.h);
// a parse error's own "line 1, column C" then gives the column within it.
#include <cctype>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "io/import_position.h"
#include "io/neo4j_input.h"

namespace orvane {
namespace {

using json = nlohmann::json;

// Calls `visit` with every non-empty line parsed as JSON and its 1-based
// number (blank lines counted, and `lines_before` the lines already taken
// from the stream); a failure is rethrown at that line of `file`. A
// carriage return before the line feed is dropped, so files written with
// CR LF line ends read the same (a JSON text may end in one anyway).
template <typename Visit>
void for_each_json_line(std::istream& in, const std::string& file, std::uint64_t lines_before, Visit visit) {
  std::string line;
  std::uint64_t number = lines_before;
  try {
    while (std::getline(in, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      visit(parse_json_bounded(line), number);
    }
  } catch (...) {
    rethrow_at_record(file, number);
  }
}

std::string source_identity(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer()) return value.dump();
  throw std::runtime_error(kIdentityKindMessage);
}

// The member that holds a node's labels: "labels", else "label"; null when
// there is neither.
const json& label_member(const json& record) {
  static const json kAbsent;
  auto it = record.find("labels");
  if (it == record.end()) it = record.find("label");
  return it == record.end() ? kAbsent : *it;
}

// A node's labels: none for a missing or null member, and every
// ";"-separated piece of a string or of each string in an array.
std::vector<std::string> node_labels(const json& record) {
  const json& value = label_member(record);
  if (value.is_null()) return {};
  if (value.is_string()) return split_labels(value.get_ref<const std::string&>(), ";");
  if (!value.is_array()) throw std::runtime_error("node label must be a string");
  std::vector<std::string> labels;
  for (const json& element : value) {
    if (!element.is_string()) throw std::runtime_error("node label must be a string");
    for (std::string& label : split_labels(element.get_ref<const std::string&>(), ";")) {
      labels.push_back(std::move(label));
    }
  }
  return labels;
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

// Adds the node of one JSON record (a JSON-lines node file's line, or a node
// line of an APOC export).
void add_json_node(json& record, ImportContext& context) {
  if (!record.is_object() || !record.contains("id")) throw std::runtime_error("invalid node JSONL record");
  std::vector<std::string> labels = node_labels(record);
  json properties = node_properties(record);
  context.add_node(source_identity(record["id"]), std::move(labels), std::move(properties));
}

// The parts of one relationship record, checked in the order: properties,
// type, start, end.
struct JsonRelationship {
  json properties;
  std::string type, start, end, id;  // id: empty when the record has none
};

JsonRelationship json_relationship(json& record) {
  if (!record.is_object()) throw std::runtime_error("invalid relationship JSONL record");
  json properties;
  if (const auto it = record.find("properties"); it != record.end() && !empty_properties(*it)) {
    if (!it->is_object()) throw std::runtime_error("relationship properties must be an object");
    properties = std::move(*it);
  }
  std::string type = relationship_type(record);
  std::string start = endpoint(record, {"src", "start", ":START_ID"});
  std::string end = endpoint(record, {"dst", "end", ":END_ID"});
  const auto id = record.find("id");
  std::string source_id = id == record.end() || id->is_null() ? std::string() : source_identity(*id);
  return {std::move(properties), std::move(type), std::move(start), std::move(end), std::move(source_id)};
}

}  // namespace

void read_jsonl_nodes(std::istream& in, const std::string& file, ImportContext& context) {
  for_each_json_line(in, file, 0, [&](json record, std::uint64_t) { add_json_node(record, context); });
}

void read_jsonl_relationships(std::istream& in, const std::string& file, ImportContext& context) {
  for_each_json_line(in, file, 0, [&](json record, std::uint64_t) {
    JsonRelationship r = json_relationship(record);
    context.add_relationship(r.start, r.end, r.type, std::move(r.properties), r.id);
  });
}

// APOC writes every line as an object whose "type" says what it is; a file
// that opens with "[" was written in one of its other JSON formats, which
// are whole documents rather than lines.
void read_apoc_json(std::istream& in, const std::string& file, ImportContext& context) {
  // The blank lines skipped to see the first byte still count.
  std::uint64_t blank_lines = 0;
  int next = in.peek();
  while (next != std::char_traits<char>::eof() && std::isspace(next) != 0) {
    if (next == '\n') ++blank_lines;
    in.get();
    next = in.peek();
  }
  if (next == '[') {
    throw ImportPositionError(file, 0, std::string(),
                              "APOC JSON export must be JSON lines; export with the jsonFormat JSON_LINES");
  }
  for_each_json_line(in, file, blank_lines, [&](json record, std::uint64_t line) {
    const auto kind = record.is_object() ? record.find("type") : record.end();
    if (kind != record.end() && *kind == "node") {
      add_json_node(record, context);
    } else if (kind != record.end() && *kind == "relationship") {
      JsonRelationship r = json_relationship(record);
      context.add_relationship_when_known(r.start, r.end, r.type, std::move(r.properties), r.id, line);
    } else {
      throw std::runtime_error("APOC JSON line is neither a node nor a relationship (\"type\" must be \"node\" or "
                               "\"relationship\")");
    }
  });
  context.add_deferred_relationships(file);
}

}  // namespace orvane
