// The import of neo4j-admin's file groups (admin_import.h).
//
// Each group's header is read once into columns that say what every field
// is; a record then only types its non-empty property fields. Node ids
// live in id spaces: the key a node is found by is the id itself in the
// unnamed space, and "SPACE" 0x1F "ID" in a named one, so the same id in
// two spaces names two nodes and no two keys of different spaces meet. An
// integer id type reads every id as a 64-bit integer first, so "007" and
// "7" are one node.
//
// Skipped entries (a duplicate node id, a relationship to a node no group
// has, each when its skip option is on) are counted and the first ones
// kept with their position; more of them than the bad tolerance stop the
// import. An entry that is not skipped fails it at once, with its file,
// line and column (io/import_position.h).
#include "io/admin_import.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <memory>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "graph/database.h"
#include "graph/temporal.h"
#include "graph/value.h"
#include "io/compressed_input.h"
#include "io/csv_reader.h"
#include "io/import_position.h"
#include "io/neo4j_input.h"

namespace orvane {
namespace {

constexpr char kSpaceSeparator = '\x1F';

enum class ColumnKind { kProperty, kId, kStartId, kEndId, kLabel, kType, kIgnore };

struct Column {
  ColumnKind kind = ColumnKind::kProperty;
  std::size_t index = 0;
  std::string name;     // property name; empty for none
  std::string type;     // for typed_csv_value: "long", "string[]", "datetime", ...
  std::string space;    // id columns: the id space
  std::string missing_offset;  // datetime and time: the offset of values written without one
  std::string point_crs;       // point: the crs of map values written without one
  std::string zone;            // datetime: the named zone of values written without an offset
  bool text = false;           // a string property: trimmed and emptied as the options say
};

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
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = trim(std::string_view(text).substr(start, end - start));
    const std::size_t colon = item.find(':');
    if (colon == std::string::npos) throw std::runtime_error("invalid type option: " + item);
    std::string value = trim(std::string_view(item).substr(colon + 1));
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    options.emplace_back(ascii_lower(trim(std::string_view(item).substr(0, colon))), std::move(value));
    start = end + 1;
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

Column column_of(const std::string& field, std::size_t index) {
  Column c;
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
    c.kind = ColumnKind::kId;
    c.space = *space;
  } else if (const auto start = keyword_argument(upper, type, "START_ID")) {
    c.kind = ColumnKind::kStartId;
    c.space = *start;
  } else if (const auto end = keyword_argument(upper, type, "END_ID")) {
    c.kind = ColumnKind::kEndId;
    c.space = *end;
  } else if (upper == "LABEL") {
    c.kind = ColumnKind::kLabel;
  } else if (upper == "TYPE") {
    c.kind = ColumnKind::kType;
  } else if (upper == "IGNORE") {
    c.kind = ColumnKind::kIgnore;
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
  if (c.name.empty() && c.kind == ColumnKind::kProperty) c.kind = ColumnKind::kIgnore;
  return c;
}

// One file group read as one file: the header from its first file, then
// every record of its files in order, blank lines skipped.
class GroupReader {
 public:
  GroupReader(const ImportFileGroup& group, const CsvDialect& dialect) : group_(group), dialect_(dialect) {
    if (group.files.empty()) throw std::runtime_error("--nodes or --relationships names no file");
    open(0);
  }
  const std::string& file() const { return group_.files[file_]; }
  std::uint64_t line() const { return record_.line; }
  CsvRecord& record() { return record_; }

  // The header's fields; throws "FILE: header is missing".
  std::vector<std::string> header() {
    try {
      if (!read_csv_record(*in_, record_, dialect_)) throw ImportPositionError(file(), 0, "", "header is missing");
    } catch (...) {
      rethrow_at_record(file(), record_.line);
    }
    std::vector<std::string> fields = record_.fields;
    if (!fields.empty() && fields.front().starts_with("\xEF\xBB\xBF")) fields.front().erase(0, 3);
    return fields;
  }

  // The next data record; false after the last file's last.
  bool next() {
    for (;;) {
      bool read = false;
      try {
        read = read_csv_record(*in_, record_, dialect_);
      } catch (...) {
        rethrow_at_record(file(), record_.line);
      }
      if (read) {
        if (progress_ != nullptr) {
          std::uint64_t bytes = record_.fields.size();  // a delimiter or the line's end each
          for (const std::string& f : record_.fields) bytes += f.size();
          progress_->bytes.fetch_add(bytes, std::memory_order_relaxed);
        }
        const bool blank = record_.fields.size() == 1 && record_.fields[0].empty() && !record_.quoted[0];
        if (!blank) return true;
        continue;
      }
      if (file_ + 1 == group_.files.size()) return false;
      open(file_ + 1);
    }
  }

 private:
  void open(std::size_t index) {
    file_ = index;
    in_ = open_import_input(file());
    record_ = CsvRecord{};
  }

  const ImportFileGroup& group_;
  const CsvDialect& dialect_;
  TransferProgress* progress_ = current_progress();
  std::unique_ptr<std::istream> in_;
  std::size_t file_ = 0;
  CsvRecord record_;
};

class AdminImport {
 public:
  AdminImport(const AdminImportOptions& options, ImportContext& context, AdminImportReport& report)
      : options_(options),
        dialect_(csv_dialect(options.delimiter, options.quote, options.multiline_fields)),
        values_{options.array_delimiter, false},
        context_(context),
        report_(report) {}

  void nodes(const ImportFileGroup& group) {
    GroupReader reader(group, dialect_);
    std::vector<Column> columns = columns_of(reader);
    const Column* id = find(columns, ColumnKind::kId);
    const Column* labels = find(columns, ColumnKind::kLabel);
    if (id == nullptr) throw ImportPositionError(reader.file(), 1, "", "node header requires an :ID column");
    while (reader.next()) {
      try {
        const CsvRecord& r = reader.record();
        check_width(r, columns.size());
        std::string number = id_text(r.fields[id->index]);
        const std::string key = key_of(id->space, number);
        if (context_.has_node(key)) {
          const std::string reason = "duplicate node id " + number + space_text(id->space);
          if (!options_.skip_duplicate_nodes) throw std::runtime_error(reason + " (skip such with --skip-duplicate-nodes)");
          skip(reader, reason, report_.skipped_nodes);
          continue;
        }
        nlohmann::json properties = properties_of(r, columns);
        if (!id->name.empty()) {
          properties[id->name] = options_.id_type == ImportIdType::kString ? nlohmann::json(number)
                                                                           : nlohmann::json(std::stoll(number));
        }
        std::vector<std::string> node_labels = group.names;
        if (labels != nullptr) {
          for (std::string& label : split_labels(r.fields[labels->index], std::string(1, options_.array_delimiter))) {
            node_labels.push_back(std::move(label));
          }
        }
        context_.add_node_keyed(key, number, node_labels, std::move(properties));
        ++report_.nodes;
      } catch (...) {
        rethrow_at_record(reader.file(), reader.line());
      }
    }
  }

  void relationships(const ImportFileGroup& group) {
    GroupReader reader(group, dialect_);
    std::vector<Column> columns = columns_of(reader);
    const Column* start = find(columns, ColumnKind::kStartId);
    const Column* end = find(columns, ColumnKind::kEndId);
    const Column* type = find(columns, ColumnKind::kType);
    if (start == nullptr || end == nullptr) {
      throw ImportPositionError(reader.file(), 1, "", "relationship header requires :START_ID and :END_ID columns");
    }
    const std::string fallback_type = group.names.empty() ? std::string() : group.names.front();
    const bool has_properties = std::any_of(columns.begin(), columns.end(),
                                            [](const Column& c) { return c.kind == ColumnKind::kProperty; });
    while (reader.next()) {
      try {
        const CsvRecord& r = reader.record();
        check_width(r, columns.size());
        const std::string from = key_of(start->space, id_text(r.fields[start->index]));
        const std::string to = key_of(end->space, id_text(r.fields[end->index]));
        if (!context_.has_node(from) || !context_.has_node(to)) {
          const bool start_missing = !context_.has_node(from);
          const Column& missing = start_missing ? *start : *end;
          const std::string reason = std::string("relationship to a missing node: ") +
                                     (start_missing ? ":START_ID " : ":END_ID ") + id_text(r.fields[missing.index]) +
                                     space_text(missing.space);
          if (!options_.skip_bad_relationships) throw std::runtime_error(reason + " (skip such with --skip-bad-relationships)");
          skip(reader, reason, report_.skipped_relationships);
          continue;
        }
        const std::string& written_type = type == nullptr ? fallback_type : r.fields[type->index];
        nlohmann::json properties = has_properties ? properties_of(r, columns) : nlohmann::json();
        context_.add_relationship(from, to, written_type.empty() ? fallback_type : written_type,
                                  std::move(properties));
        ++report_.relationships;
      } catch (...) {
        rethrow_at_record(reader.file(), reader.line());
      }
    }
  }

 private:
  std::vector<Column> columns_of(GroupReader& reader) {
    const std::vector<std::string> header = reader.header();
    std::vector<Column> columns;
    try {
      for (std::size_t i = 0; i < header.size(); ++i) {
        Column c = column_of(header[i], i);
        for (const Column& other : columns) {
          if (c.kind == ColumnKind::kProperty && other.kind == ColumnKind::kProperty && other.name == c.name) {
            throw std::runtime_error("duplicate CSV property header: " + c.name);
          }
        }
        columns.push_back(std::move(c));
      }
    } catch (...) {
      rethrow_at_record(reader.file(), 1);
    }
    return columns;
  }

  static const Column* find(const std::vector<Column>& columns, ColumnKind kind) {
    for (const Column& c : columns) {
      if (c.kind == kind) return &c;
    }
    return nullptr;
  }

  static void check_width(const CsvRecord& r, std::size_t columns) {
    if (r.fields.size() != columns) throw std::runtime_error(kRowMismatchMessage);
  }

  // An id as the id type reads it.
  std::string id_text(const std::string& field) const {
    std::string text = options_.trim_strings ? trim(field) : field;
    if (options_.id_type == ImportIdType::kString) return text;
    std::int64_t value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last) throw std::runtime_error("invalid integer id: " + text);
    return std::to_string(value);
  }

  static std::string key_of(const std::string& space, std::string id) {
    if (space.empty()) return id;
    return space + kSpaceSeparator + id;
  }

  static std::string space_text(const std::string& space) {
    return space.empty() ? std::string() : " in id space " + space;
  }

  nlohmann::json properties_of(const CsvRecord& r, const std::vector<Column>& columns) const {
    nlohmann::json properties = nlohmann::json::object();
    for (const Column& c : columns) {
      if (c.kind != ColumnKind::kProperty) continue;
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

  nlohmann::json value_of(const std::string& field, const Column& c) const {
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
  std::vector<std::string> split_pieces(const std::string& field) const {
    std::vector<std::string> pieces;
    if (field.empty()) return pieces;
    std::size_t start = 0;
    for (;;) {
      const std::size_t at = field.find(options_.array_delimiter, start);
      pieces.push_back(field.substr(start, at == std::string::npos ? std::string::npos : at - start));
      if (at == std::string::npos) return pieces;
      start = at + 1;
    }
  }

  void skip(const GroupReader& reader, const std::string& reason, std::uint64_t& count) {
    ++count;
    const std::string entry = reader.file() + " line " + std::to_string(reader.line()) + ": " + reason;
    if (report_.skipped.size() < kReportedSkips) report_.skipped.push_back(entry);
    const std::uint64_t bad = report_.skipped_nodes + report_.skipped_relationships;
    if (bad > options_.bad_tolerance) {
      throw std::runtime_error("import stopped: more than " + std::to_string(options_.bad_tolerance) +
                               " bad entries (--bad-tolerance); this one: " + reason);
    }
  }

  const AdminImportOptions& options_;
  CsvDialect dialect_;
  CsvValueOptions values_;
  ImportContext& context_;
  AdminImportReport& report_;
};

// The bytes the groups' files hold, when no file is compressed (their
// sizes then tell nothing of what is read); 0 otherwise.
std::uint64_t input_bytes(const AdminImportOptions& options) {
  std::uint64_t total = 0;
  for (const auto* groups : {&options.nodes, &options.relationships}) {
    for (const ImportFileGroup& group : *groups) {
      for (const std::string& file : group.files) {
        std::error_code error;
        const std::uint64_t size = std::filesystem::file_size(file, error);
        if (error || file.ends_with(".gz") || file.ends_with(".zip")) return 0;
        total += size;
      }
    }
  }
  return total;
}

}  // namespace

Database import_admin_groups(const AdminImportOptions& options, AdminImportReport* report) {
  if (options.nodes.empty()) throw std::runtime_error("the import needs at least one --nodes group");
  if (TransferProgress* progress = current_progress()) progress->total_bytes = input_bytes(options);
  Database db;
  ImportContext context(db);
  AdminImportReport counted;
  AdminImport import(options, context, counted);
  for (const ImportFileGroup& group : options.nodes) import.nodes(group);
  for (const ImportFileGroup& group : options.relationships) import.relationships(group);
  context.finish();
  if (report != nullptr) *report = std::move(counted);
  return db;
}

}  // namespace orvane
