// Internal to the neo4j-admin import (admin_import.h): what each header
// field of a file group is, and the typing of one record by them. Nothing
// here touches the graph being built, so records are typed on any thread.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/admin_import.h"
#include "io/csv_reader.h"

namespace orvane {

enum class AdminColumnKind { kProperty, kId, kStartId, kEndId, kLabel, kType, kIgnore };

struct AdminColumn {
  AdminColumnKind kind = AdminColumnKind::kProperty;
  std::size_t index = 0;
  std::string name;            // property name; empty for none
  std::string type;            // for typed_csv_value: "long", "string[]", "datetime", ...
  std::string space;           // id columns: the id space
  std::string missing_offset;  // datetime and time: the offset of values written without one
  std::string point_crs;       // point: the crs of map values written without one
  std::string zone;            // datetime: the named zone of values written without an offset
  bool text = false;           // a string property: trimmed and emptied as the options say
};

// The columns of `header`. Throws "unsupported CSV property type: T",
// "duplicate CSV property header: NAME", "invalid type option: TEXT", ...
std::vector<AdminColumn> admin_columns(const std::vector<std::string>& header);

// The first column of `kind`, or null.
const AdminColumn* find_column(const std::vector<AdminColumn>& columns, AdminColumnKind kind);

// One record of a group, typed: a node (key, number, labels, properties)
// or a relationship (from, to, type, properties); `line` is where it
// starts, and the ids as written name it in messages.
// Only the members of its kind are set: a record is moved twice on its way
// (into a batch, out of it), and strings left empty cost nothing there.
struct TypedRecord {
  std::uint64_t line = 0;
  std::string key, number;           // a node's id-space key (empty: the number itself) and the id it shows
  std::vector<std::string> labels;   // a node's labels: the group's, then the record's
  std::string from, to, type;        // a relationship's endpoint keys, and its type when the record names one
  nlohmann::json properties;
};

// Types the records of the groups under `options`.
class RecordTyper {
 public:
  explicit RecordTyper(const AdminImportOptions& options)
      : options_(options), values_{options.array_delimiter, false} {}

  // Throws the field's error as ImportFieldError (rethrow_for_field) and
  // the record's as std::runtime_error; the caller adds the position.
  TypedRecord node(const CsvRecord& r, const std::vector<AdminColumn>& columns, const ImportFileGroup& group) const;
  TypedRecord relationship(const CsvRecord& r, const std::vector<AdminColumn>& columns,
                           const ImportFileGroup& group) const;

  // An id as the id type reads it; throws "invalid integer id: TEXT".
  std::string id_text(const std::string& field) const;
  // The key a node of `space` with id `id` is found by.
  static std::string key_of(const std::string& space, std::string id);
  // The id within its space of a node's `key`.
  static std::string_view id_of_key(std::string_view key);
  // " in id space SPACE", or "" for the unnamed space.
  static std::string space_text(const std::string& space);

 private:
  nlohmann::json properties_of(const CsvRecord& r, const std::vector<AdminColumn>& columns) const;
  nlohmann::json value_of(const std::string& field, const AdminColumn& c) const;
  std::vector<std::string> split_pieces(const std::string& field) const;

  const AdminImportOptions& options_;
  CsvValueOptions values_;
};

}  // namespace orvane
