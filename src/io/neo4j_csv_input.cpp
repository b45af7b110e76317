// Node and relationship files in Neo4j's bulk CSV layout.
//
// The header decides everything once: which column holds the identity and
// the label (by type suffix, such as ":ID" or "id:ID(Person)", or by a
// conventional name such as "id" or "labels"), which columns are
// properties, and with what type each is read. A record then only types its
// non-empty fields. An empty unquoted field is an absent property; a quoted
// empty field ("") is the empty string.
//
//   nodes:          every named column except the label column is a
//                   property, the identity column included; a column
//                   "properties:json" (or "props:json") holds an object
//                   whose members become properties (read by the flat
//                   object fast path when it can, io/flat_json.h).
//   relationships:  start, end and type columns; any other column must be
//                   empty in every record (relationship properties are not
//                   stored yet).
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/csv_reader.h"
#include "io/flat_json.h"
#include "io/neo4j_input.h"

namespace orvane {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Neo4j tools on Windows write a UTF-8 byte-order mark before the header.
void strip_byte_order_mark(std::vector<std::string>& header) {
  if (!header.empty() && header.front().starts_with("\xEF\xBB\xBF")) header.front().erase(0, 3);
}

bool is_blank(const CsvRecord& record) {
  return record.fields.size() == 1 && record.fields[0].empty() && !record.quoted[0];
}

bool type_is(const std::string& type, const std::string& keyword) {
  return type == keyword || type.starts_with(keyword + "(");
}

// The leftmost column whose type is `keyword` (or "keyword(...)"), or whose
// whole text or name is one of `names`; kNone when there is none.
std::size_t find_column(const std::vector<std::string>& header, const std::string& keyword,
                        std::initializer_list<const char*> names) {
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (type_is(header_type(header[i]), keyword)) return i;
    const std::string name = header_name(header[i]);
    for (const char* n : names) {
      if (header[i] == n || name == n) return i;
    }
  }
  return kNone;
}

// Reads the next non-blank record; false at the end of the stream. Throws
// when its field count differs from the header's.
bool next_row(std::istream& in, CsvRecord& record, std::size_t columns) {
  while (read_csv_record(in, record)) {
    if (is_blank(record)) continue;
    if (record.fields.size() != columns) throw std::runtime_error(kRowMismatchMessage);
    return true;
  }
  return false;
}

struct PropertyColumn {
  std::size_t index;  // field position in a record
  std::string name;   // property name
  std::string type;   // CSV type suffix, for typed_csv_value
  bool members;       // a properties:json column: its object's members are the properties
};

std::vector<PropertyColumn> property_columns(const std::vector<std::string>& header, std::size_t label_column) {
  std::vector<PropertyColumn> columns;
  for (std::size_t i = 0; i < header.size(); ++i) {
    std::string name = header_name(header[i]);
    if (i == label_column || name.empty()) continue;
    for (const PropertyColumn& c : columns) {
      if (c.name == name) throw std::runtime_error("duplicate CSV property header: " + name);
    }
    std::string type = header_type(header[i]);
    const bool members = (name == "properties" || name == "props") && type == "json";
    columns.push_back({i, std::move(name), std::move(type), members});
  }
  return columns;
}

void merge_members(nlohmann::json& properties, nlohmann::json object) {
  if (!object.is_object()) throw std::runtime_error("properties:json must contain an object");
  if (properties.empty()) {
    properties = std::move(object);  // the usual single object column: no copy
    return;
  }
  for (auto& [key, value] : object.items()) properties[key] = std::move(value);
}

}  // namespace

void read_csv_nodes(std::istream& in, ImportContext& context) {
  CsvRecord record;
  if (!read_csv_record(in, record)) throw std::runtime_error("node CSV header is missing");
  std::vector<std::string> header = std::move(record.fields);
  strip_byte_order_mark(header);
  const std::size_t id_column = find_column(header, "ID", {"id", "neo4jId"});
  const std::size_t label_column = find_column(header, "LABEL", {"label", "labels", "Label"});
  if (id_column == kNone || label_column == kNone) {
    throw std::runtime_error("node CSV requires identity and label columns");
  }
  const std::vector<PropertyColumn> columns = property_columns(header, label_column);

  while (next_row(in, record, header.size())) {
    nlohmann::json properties = nlohmann::json::object();
    for (const PropertyColumn& c : columns) {
      const std::string& text = record.fields[c.index];
      if (text.empty() && !record.quoted[c.index]) continue;
      if (c.members) {
        nlohmann::json object;
        if (!parse_flat_json_object(text, object)) object = typed_csv_value(text, c.type);
        merge_members(properties, std::move(object));
      } else {
        properties[c.name] = typed_csv_value(text, c.type);
      }
    }
    const std::string& label = record.fields[label_column];
    check_single_label(label);
    context.add_node(record.fields[id_column], label, std::move(properties));
  }
}

void read_csv_relationships(std::istream& in, ImportContext& context) {
  CsvRecord record;
  if (!read_csv_record(in, record)) throw std::runtime_error("relationship CSV header is missing");
  std::vector<std::string> header = std::move(record.fields);
  strip_byte_order_mark(header);
  const std::size_t start = find_column(header, "START_ID", {"start", "_start", "src"});
  const std::size_t end = find_column(header, "END_ID", {"end", "_end", "dst"});
  const std::size_t type = find_column(header, "TYPE", {"type", "TYPE"});
  if (start == kNone || end == kNone || type == kNone) {
    throw std::runtime_error("relationship CSV requires start, end and type columns");
  }

  while (next_row(in, record, header.size())) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (i == start || i == end || i == type) continue;
      if (!record.fields[i].empty() || record.quoted[i]) throw std::runtime_error(kRelationshipPropertiesMessage);
    }
    context.add_relationship(record.fields[start], record.fields[end], record.fields[type]);
  }
}

}  // namespace orvane
