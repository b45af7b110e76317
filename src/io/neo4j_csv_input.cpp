// Node and relationship files in Neo4j's bulk CSV layout, and APOC's
// single-file CSV export.
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
//   relationships:  start, end and type columns; every other named column
//                   is a relationship property, typed as node columns are.
//   APOC (one file): "_id", "_labels", "_start", "_end", "_type" and
//                   property columns shared by nodes and relationships. A
//                   column without a type suffix is typed once, from all
//                   its values (a first pass over the file): integers,
//                   floats (integers and floats together), booleans, lists
//                   or maps when every value is one, text otherwise. A
//                   postal code column thus holds strings in every row,
//                   never a number in one row and a string in the next.
//
// Every error raised while a record is read, typed or added is rethrown
// with the file, the record's line and, for one field's value, its column
// (io/import_position.h). One try block spans each reader's whole loop and
// one each field's typing, so a record that succeeds costs no more than
// before; only a failure builds the position's text.
#include <stdexcept>
#include <string>
#include <cctype>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/json_limits.h"
#include "io/csv_reader.h"
#include "io/csv_types.h"
#include "io/flat_json.h"
#include "io/import_position.h"
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

// The property columns of `header`: every named column but those in `skip`
// and those of type IGNORE, which neo4j-admin skips.
std::vector<PropertyColumn> property_columns(const std::vector<std::string>& header,
                                             std::initializer_list<std::size_t> skip) {
  std::vector<PropertyColumn> columns;
  for (std::size_t i = 0; i < header.size(); ++i) {
    std::string name = header_name(header[i]);
    if (std::find(skip.begin(), skip.end(), i) != skip.end() || name.empty()) continue;
    if (header_type(header[i]) == "IGNORE") continue;
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

// The value of an untyped APOC CSV field. APOC writes numbers and booleans
// bare and lists and maps as JSON, all in the same quotes as strings, so
// the type is read back from the text: JSON numbers (an integer only when
// it fits 64 bits exactly), true, false, and arrays and objects that parse
// as JSON take their JSON value; everything else, "007", "+5" and "[oops"
// included, stays the string it is.
nlohmann::json apoc_value(const std::string& text) {
  // The JSON parser decides, except that it would skip the blanks around a
  // value, which keep a field text.
  const char first = text.front();
  const bool candidate = first == '-' || (first >= '0' && first <= '9') || first == '[' || first == '{' ||
                         text == "true" || text == "false";
  if (!candidate || std::isspace(static_cast<unsigned char>(text.back())) != 0) return text;
  try {
    nlohmann::json value = parse_json_bounded(text);
    const bool integral = text.find_first_of(".eE") == std::string::npos;
    if (integral && value.is_number_float()) return text;  // an integer beyond 64 bits
    return value;
  } catch (const nlohmann::json::exception&) {
    return text;  // malformed JSON ("007", "[oops"), or a number beyond the double range
  }
}

// What the values of an untyped APOC CSV column are, merged over the whole
// column: kNone while it has no value yet, kText once two kinds meet
// (integers and floats meet as floats).
enum class ColumnKind { kNone, kInteger, kFloat, kBoolean, kList, kMap, kText };

ColumnKind kind_of(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
      return ColumnKind::kInteger;
    case nlohmann::json::value_t::number_float:
      return ColumnKind::kFloat;
    case nlohmann::json::value_t::boolean:
      return ColumnKind::kBoolean;
    case nlohmann::json::value_t::array:
      return ColumnKind::kList;
    case nlohmann::json::value_t::object:
      return ColumnKind::kMap;
    default:
      return ColumnKind::kText;
  }
}

ColumnKind merge(ColumnKind a, ColumnKind b) {
  if (a == ColumnKind::kNone || a == b) return b;
  const bool numbers = (a == ColumnKind::kInteger || a == ColumnKind::kFloat) &&
                       (b == ColumnKind::kInteger || b == ColumnKind::kFloat);
  return numbers ? ColumnKind::kFloat : ColumnKind::kText;
}

// The value of `text` in a column of `kind`: the field's own reading, a
// float for an integer in a float column, the text itself in a text column.
nlohmann::json column_value(const std::string& text, ColumnKind kind) {
  if (kind == ColumnKind::kText) return text;
  nlohmann::json value = apoc_value(text);
  if (kind == ColumnKind::kFloat && !value.is_number_float()) return value.get<double>();
  return value;
}

// The columns of an APOC CSV header: its five own ones (by name, a type
// suffix allowed) and the property columns, each typed by its suffix when
// it has one and read by apoc_value when not.
struct ApocColumns {
  std::size_t id = kNone, labels = kNone, start = kNone, end = kNone, type = kNone;
  struct Property {
    std::size_t index;
    std::string name;
    std::string type;  // empty: untyped
    ColumnKind kind = ColumnKind::kNone;  // of an untyped column, over the whole file
  };
  std::vector<Property> properties;
};

ApocColumns apoc_columns(const std::vector<std::string>& header) {
  ApocColumns c;
  const std::pair<const char*, std::size_t ApocColumns::*> own[] = {
      {"_id", &ApocColumns::id}, {"_labels", &ApocColumns::labels}, {"_start", &ApocColumns::start},
      {"_end", &ApocColumns::end}, {"_type", &ApocColumns::type}};
  for (std::size_t i = 0; i < header.size(); ++i) {
    std::string name = header_name(header[i]);
    bool taken = false;
    for (const auto& [own_name, member] : own) {
      if (name == own_name && c.*member == kNone) {
        c.*member = i;
        taken = true;
      }
    }
    if (taken || name.empty()) continue;
    for (const auto& p : c.properties) {
      if (p.name == name) throw std::runtime_error("duplicate CSV property header: " + name);
    }
    std::string type = header[i].find(':') == std::string::npos ? "" : header_type(header[i]);
    c.properties.push_back({i, std::move(name), std::move(type)});
  }
  if (c.id == kNone || c.labels == kNone || c.start == kNone || c.end == kNone || c.type == kNone) {
    throw std::runtime_error("APOC CSV export requires the columns _id, _labels, _start, _end and _type");
  }
  return c;
}

// The property object of one row: absent for an empty unquoted field. A
// field that cannot be typed fails with its column (ImportFieldError).
nlohmann::json row_properties(const CsvRecord& record, const std::vector<PropertyColumn>& columns) {
  nlohmann::json properties = nlohmann::json::object();
  for (const PropertyColumn& c : columns) {
    const std::string& text = record.fields[c.index];
    if (text.empty() && !record.quoted[c.index]) continue;
    try {
      if (c.members) {
        nlohmann::json object;
        if (!parse_flat_json_object(text, object)) object = typed_csv_value(text, c.type);
        merge_members(properties, std::move(object));
      } else {
        properties[c.name] = typed_csv_value(text, c.type);
      }
    } catch (...) {
      rethrow_for_field(c.index, c.name);
    }
  }
  return properties;
}

// Reads the header record into `header`; a file without one fails as a
// whole with `missing`.
void read_header(std::istream& in, const std::string& file, const char* missing, CsvRecord& record,
                 std::vector<std::string>& header) {
  if (!read_csv_record(in, record)) throw ImportPositionError(file, 0, std::string(), missing);
  header = std::move(record.fields);
  strip_byte_order_mark(header);
}

}  // namespace

void read_csv_nodes(std::istream& in, const std::string& file, ImportContext& context) {
  CsvRecord record;
  try {
    std::vector<std::string> header;
    read_header(in, file, "node CSV header is missing", record, header);
    const std::size_t id_column = find_column(header, "ID", {"id", "neo4jId"});
    const std::size_t label_column = find_column(header, "LABEL", {"label", "labels", "Label"});
    if (id_column == kNone) throw std::runtime_error("node CSV requires an identity column");
    // Without a label column every node is without labels, as in Neo4j.
    const std::vector<PropertyColumn> columns = property_columns(header, {label_column});
    static const std::string kNoLabels;
    while (next_row(in, record, header.size())) {
      nlohmann::json properties = row_properties(record, columns);
      const std::string& labels = label_column == kNone ? kNoLabels : record.fields[label_column];
      context.add_node(record.fields[id_column], labels, std::move(properties));
    }
  } catch (...) {
    rethrow_at_record(file, record.line);
  }
}

void read_csv_relationships(std::istream& in, const std::string& file, ImportContext& context) {
  CsvRecord record;
  try {
    std::vector<std::string> header;
    read_header(in, file, "relationship CSV header is missing", record, header);
    const std::size_t start = find_column(header, "START_ID", {"start", "_start", "src"});
    const std::size_t end = find_column(header, "END_ID", {"end", "_end", "dst"});
    const std::size_t type = find_column(header, "TYPE", {"type", "TYPE"});
    if (start == kNone || end == kNone || type == kNone) {
      throw std::runtime_error("relationship CSV requires start, end and type columns");
    }
    const std::size_t rel_id = std::find(header.begin(), header.end(), kRelationshipIdHeader) - header.begin();
    const std::vector<PropertyColumn> columns = property_columns(header, {start, end, type});
    static const std::string kNoId;
    while (next_row(in, record, header.size())) {
      // Most relationship files have no property column: no object per row.
      nlohmann::json properties = columns.empty() ? nlohmann::json() : row_properties(record, columns);
      context.add_relationship(record.fields[start], record.fields[end], record.fields[type],
                               std::move(properties), rel_id < header.size() ? record.fields[rel_id] : kNoId);
    }
  } catch (...) {
    rethrow_at_record(file, record.line);
  }
}

// Every field of APOC's CSV is quoted, an absent value as "" too, so an
// empty field is an absent property whether quoted or not (APOC cannot
// write an empty string apart from a missing one). Labels are written
// ":A:B"; ";" separates them too.
void read_apoc_csv(std::istream& in, const std::string& file, ImportContext& context) {
  CsvRecord record;
  try {
    std::vector<std::string> header;
    read_header(in, file, "APOC CSV header is missing", record, header);
    ApocColumns c = apoc_columns(header);

    // First pass: the kind of every untyped column. The file is read twice
    // (imports read regular files only, so it can be rewound), and the line
    // count rewound with it.
    const std::streampos body = in.tellg();
    const std::uint64_t body_line = record.next_line;
    while (next_row(in, record, header.size())) {
      for (auto& p : c.properties) {
        const std::string& text = record.fields[p.index];
        if (p.type.empty() && !text.empty() && p.kind != ColumnKind::kText) {
          p.kind = merge(p.kind, kind_of(apoc_value(text)));
        }
      }
    }
    in.clear();
    in.seekg(body);
    if (!in) throw ImportPositionError(file, 0, std::string(), "APOC CSV export cannot be read twice");
    record.next_line = body_line;

    while (next_row(in, record, header.size())) {
      const auto& f = record.fields;
      nlohmann::json properties = nlohmann::json::object();
      for (const auto& p : c.properties) {
        const std::string& text = f[p.index];
        if (text.empty()) continue;
        try {
          properties[p.name] = p.type.empty() ? column_value(text, p.kind) : typed_csv_value(text, p.type);
        } catch (...) {
          rethrow_for_field(p.index, p.name);
        }
      }
      if (!f[c.start].empty() || !f[c.end].empty() || !f[c.type].empty()) {
        context.add_relationship_when_known(f[c.start], f[c.end], f[c.type], std::move(properties), f[c.id],
                                            record.line);
        continue;
      }
      std::string_view labels = f[c.labels];
      if (labels.starts_with(':')) labels.remove_prefix(1);
      context.add_node(f[c.id], split_labels(labels, ":;"), std::move(properties));
    }
  } catch (...) {
    rethrow_at_record(file, record.line);
  }
  context.add_deferred_relationships(file);
}

}  // namespace orvane
