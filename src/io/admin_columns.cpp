// Header fields and record typing of the neo4j-admin import
// (admin_columns.h).
#include "io/admin_columns.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>

#include "base/text.h"
#include "graph/temporal.h"
#include "graph/value.h"
#include "io/import_position.h"
#include "io/neo4j_input.h"

namespace orvane {
namespace {

constexpr char kSpaceSeparator = '\x1F';



// The part of `type` inside "(...)" after `keyword`, or nullopt when the
// type is not that keyword.
std::optional<std::string> keyword_argument(const std::string& upper, const std::string& original,
                                            const std::string& keyword) {
  if (upper == keyword) return std::string();
  if (upper.starts_with(keyword + "(") && upper.ends_with(")")) {
    return original.substr(keyword.size() + 1, original.size() - keyword.size() - 2);
  }
  return std::nullopt;
}

// The options of "type{key:value, key:value}".
std::vector<std::pair<std::string, std::string>> type_options(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> options;
  if (text.empty()) return options;
  for (const std::string& piece : split_at(text, ',')) {
    const std::string item = trim(piece);
    const std::size_t colon = item.find(':');
    if (colon == std::string::npos) throw std::runtime_error("invalid type option: " + item);
    std::string value = trim(std::string_view(item).substr(colon + 1));
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    options.emplace_back(ascii_lower(trim(std::string_view(item).substr(0, colon))), std::move(value));
  }
  return options;
}

// The type name typed_csv_value reads for neo4j-admin's `base` (lower
// case), or "" when there is none.
std::string value_type_of(const std::string& base) {
  if (base == "int" || base == "integer" || base == "long" || base == "short" || base == "byte") return "long";
  if (base == "float" || base == "double") return "double";
  if (base == "boolean" || base == "bool") return "boolean";
  if (base == "string" || base == "char") return "string";
  for (const char* t : {"date", "localtime", "time", "localdatetime", "datetime", "duration", "point"}) {
    if (base == t) return base;
  }
  return "";
}

AdminColumn column_of(const std::string& field, std::size_t index) {
  AdminColumn c;
  c.index = index;
  const std::size_t colon = field.find(':');
  c.name = field.substr(0, colon);
  const std::string type = colon == std::string::npos ? std::string() : field.substr(colon + 1);
  const std::string upper = [&] {
    std::string u = type;
    for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return u;
  }();
  if (const auto space = keyword_argument(upper, type, "ID")) {
    c.kind = AdminColumnKind::kId;
    c.space = *space;
  } else if (const auto start = keyword_argument(upper, type, "START_ID")) {
    c.kind = AdminColumnKind::kStartId;
    c.space = *start;
  } else if (const auto end = keyword_argument(upper, type, "END_ID")) {
    c.kind = AdminColumnKind::kEndId;
    c.space = *end;
  } else if (upper == "LABEL") {
    c.kind = AdminColumnKind::kLabel;
  } else if (upper == "TYPE") {
    c.kind = AdminColumnKind::kType;
  } else if (upper == "IGNORE") {
    c.kind = AdminColumnKind::kIgnore;
  } else {
    std::string base = type.empty() ? "string" : type;
    std::string options;
    if (const std::size_t brace = base.find('{'); brace != std::string::npos) {
      if (!base.ends_with("}")) throw std::runtime_error("invalid CSV header type: " + type);
      options = base.substr(brace + 1, base.size() - brace - 2);
      base.resize(brace);
    }
    const bool array = base.ends_with("[]");
    if (array) base.resize(base.size() - 2);
    base = ascii_lower(base);
    const std::string value_type = value_type_of(base);
    if (value_type.empty()) throw std::runtime_error("unsupported CSV property type: " + type);
    c.type = value_type + (array ? "[]" : "");
    c.text = value_type == "string" && !array;
    if (value_type == "datetime" || value_type == "time") c.missing_offset = "Z";
    for (const auto& [key, value] : type_options(options)) {
      if (key == "timezone" && !c.missing_offset.empty()) {
        const bool offset = value == "Z" || value == "UTC" || value.starts_with("+") || value.starts_with("-");
        if (offset) {
          c.missing_offset = value == "UTC" ? "Z" : value;
        } else if (value_type == "datetime") {
          c.zone = value;
        } else {
          throw std::runtime_error("time{timezone:" + value + "}: a time takes an offset, not a named zone");
        }
      } else if (key == "crs" && value_type == "point") {
        c.point_crs = value;
      } else {
        throw std::runtime_error("unsupported option " + key + " of CSV header type " + type);
      }
    }
  }
  if (c.name.empty() && c.kind == AdminColumnKind::kProperty) c.kind = AdminColumnKind::kIgnore;
  return c;
}

}  // namespace

std::vector<AdminColumn> admin_columns(const std::vector<std::string>& header) {
  std::vector<AdminColumn> columns;
  for (std::size_t i = 0; i < header.size(); ++i) {
    AdminColumn c = column_of(header[i], i);
    for (const AdminColumn& other : columns) {
      if (c.kind == AdminColumnKind::kProperty && other.kind == AdminColumnKind::kProperty && other.name == c.name) {
        throw std::runtime_error("duplicate CSV property header: " + c.name);
      }
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

const AdminColumn* find_column(const std::vector<AdminColumn>& columns, AdminColumnKind kind) {
  for (const AdminColumn& c : columns) {
    if (c.kind == kind) return &c;
  }
  return nullptr;
}

namespace {

void check_width(const CsvRecord& r, std::size_t columns) {
  if (r.fields.size() != columns) throw std::runtime_error(kRowMismatchMessage);
}

}  // namespace

TypedRecord RecordTyper::node(const CsvRecord& r, const std::vector<AdminColumn>& columns,
                              const ImportFileGroup& group) const {
  check_width(r, columns.size());
  const AdminColumn* id = find_column(columns, AdminColumnKind::kId);
  const AdminColumn* labels = find_column(columns, AdminColumnKind::kLabel);
  TypedRecord t;
  t.line = r.line;
  t.number = id_text(r.fields[id->index]);
  if (!id->space.empty()) t.key = key_of(id->space, t.number);
  t.properties = properties_of(r, columns);
  if (!id->name.empty()) {
    t.properties[id->name] = options_.id_type == ImportIdType::kString ? nlohmann::json(t.number)
                                                                       : nlohmann::json(std::stoll(t.number));
  }
  t.labels = group.names;
  if (labels != nullptr) {
    for (std::string& label : split_labels(r.fields[labels->index], std::string(1, options_.array_delimiter))) {
      t.labels.push_back(std::move(label));
    }
  }
  return t;
}

TypedRecord RecordTyper::relationship(const CsvRecord& r, const std::vector<AdminColumn>& columns,
                                      const ImportFileGroup& group) const {
  check_width(r, columns.size());
  const AdminColumn* start = find_column(columns, AdminColumnKind::kStartId);
  const AdminColumn* end = find_column(columns, AdminColumnKind::kEndId);
  const AdminColumn* type = find_column(columns, AdminColumnKind::kType);
  (void)group;  // its type applies where the record names none (TypedRecord::type empty)
  TypedRecord t;
  t.line = r.line;
  t.from = key_of(start->space, id_text(r.fields[start->index]));
  t.to = key_of(end->space, id_text(r.fields[end->index]));
  if (type != nullptr) t.type = r.fields[type->index];
  const bool has_properties = std::any_of(columns.begin(), columns.end(),
                                          [](const AdminColumn& c) { return c.kind == AdminColumnKind::kProperty; });
  if (has_properties) t.properties = properties_of(r, columns);
  return t;
}

// An id as the id type reads it.
std::string RecordTyper::id_text(const std::string& field) const {
  std::string text = options_.trim_strings ? trim(field) : field;
  if (options_.id_type == ImportIdType::kString) return text;
  std::int64_t value = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (text.empty() || error != std::errc() || end != last) throw std::runtime_error("invalid integer id: " + text);
  return std::to_string(value);
}

std::string RecordTyper::key_of(const std::string& space, std::string id) {
  if (space.empty()) return id;
  return space + kSpaceSeparator + id;
}

std::string_view RecordTyper::id_of_key(std::string_view key) {
  const std::size_t separator = key.find(kSpaceSeparator);
  return separator == std::string_view::npos ? key : key.substr(separator + 1);
}

std::string RecordTyper::space_text(const std::string& space) {
  return space.empty() ? std::string() : " in id space " + space;
}

nlohmann::json RecordTyper::properties_of(const CsvRecord& r, const std::vector<AdminColumn>& columns) const {
  nlohmann::json properties = nlohmann::json::object();
  for (const AdminColumn& c : columns) {
    if (c.kind != AdminColumnKind::kProperty) continue;
    const std::string& field = r.fields[c.index];
    if (field.empty() && (!r.quoted[c.index] || options_.ignore_empty_strings || !c.text)) continue;
    try {
      properties[c.name] = value_of(field, c);
    } catch (...) {
      rethrow_for_field(c.index, c.name);
    }
  }
  return properties;
}

nlohmann::json RecordTyper::value_of(const std::string& field, const AdminColumn& c) const {
  if (c.text) return options_.trim_strings ? trim(field) : field;
  // neo4j-admin reads a boolean as Java's parseBoolean: "true" in any
  // case is true, every other text false.
  const auto boolean = [](std::string_view text) { return ascii_iequals(trim(text), "true"); };
  if (c.type == "boolean") return boolean(field);
  if (c.type == "boolean[]") {
    nlohmann::json values = nlohmann::json::array();
    for (const std::string& piece : split_pieces(field)) values.push_back(boolean(piece));
    return values;
  }
  if (c.type == "string[]" && options_.trim_strings) {
    nlohmann::json values = nlohmann::json::array();
    for (const std::string& piece : split_pieces(field)) values.push_back(trim(piece));
    return values;
  }
  if (!c.zone.empty() && c.type == "datetime") {
    try {
      return typed_csv_value(field, c.type, values_);
    } catch (const std::runtime_error&) {
      // Written without an offset: a local time on the zone's clock.
      if (!options_.resolve_zone) throw std::runtime_error("named time zones cannot be resolved here");
      const LocalDateTime local = parse_local_date_time(field);
      const auto [utc, offset] = options_.resolve_zone(c.zone, local.seconds);
      return to_typed_json(DateTime{utc, local.nanos, offset, c.zone});
    }
  }
  if (!c.missing_offset.empty()) {
    try {
      return typed_csv_value(field, c.type, values_);
    } catch (const std::runtime_error&) {
      // Written without an offset: the column's zone (UTC by default).
      return typed_csv_value(field + c.missing_offset, c.type, values_);
    }
  }
  if (!c.point_crs.empty() && field.find("crs") == std::string::npos) {
    const std::size_t brace = field.find('{');
    if (brace != std::string::npos) {
      std::string with_crs = field;
      with_crs.insert(brace + 1, "crs:'" + c.point_crs + "',");
      return typed_csv_value(with_crs, c.type, values_);
    }
  }
  return typed_csv_value(field, c.type, values_);
}

// The elements of an array field.
std::vector<std::string> RecordTyper::split_pieces(const std::string& field) const {
  if (field.empty()) return {};
  return split_at(field, options_.array_delimiter);
}

}  // namespace orvane
