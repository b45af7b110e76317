// neo4j-admin's import input: node and relationship file groups as
// `neo4j-admin database import full` takes them, and the options that say
// how their CSV is written. ETL jobs, benchmark kits and other databases'
// exporters write this layout; an import from it builds a fresh Database,
// all or nothing, as every other import does (io/neo4j_import.h).
//
// A group is one logical file: its first file's first line is the header
// (that file may hold the header alone), and every other line of its files
// is data, in the order the files are given. Node groups may name labels
// that every node of the group gets; relationship groups may name the type
// of the rows whose :TYPE field is empty or absent.
//
// Header fields are "name:type" as neo4j-admin reads them: ":ID",
// "name:ID" (the id also stored as property `name`), ":ID(Group)" with a
// separate id space per group, ":START_ID(Group)", ":END_ID(Group)",
// ":LABEL" (labels split by the array delimiter), ":TYPE", ":IGNORE", and
// property types in any case (int, long, float, double, boolean, byte,
// short, char, string, date, localtime, time, localdatetime, datetime,
// duration, point), each with "[]" for an array split by the array
// delimiter, and options in braces for the temporal and spatial types
// (`datetime{timezone:Europe/Stockholm}`, `datetime{timezone:+01:00}`,
// `point{crs:WGS-84}`): a datetime written without an offset is in the
// column's zone, or UTC. A field without a type
// is a string property.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

class Database;

enum class ImportIdType { kString, kInteger, kActual };

struct ImportFileGroup {
  std::vector<std::string> names;  // node groups: labels; relationship groups: at most one type
  std::vector<std::string> files;  // the header's file first
};

struct AdminImportOptions {
  std::vector<ImportFileGroup> nodes;
  std::vector<ImportFileGroup> relationships;
  char delimiter = ',';
  char array_delimiter = ';';
  char quote = '"';
  ImportIdType id_type = ImportIdType::kString;
  bool ignore_empty_strings = false;  // a quoted "" is no value, as an empty field is
  bool trim_strings = false;          // blanks around string values are dropped
  bool skip_duplicate_nodes = false;  // a node whose id its id space has already is skipped, not an error
  bool skip_bad_relationships = false;  // a relationship to a node no group has is skipped, not an error
  std::uint64_t bad_tolerance = 1000;   // skipped entries beyond which the import fails
  bool multiline_fields = false;        // quoted fields may span lines
  // Resolves a local time (seconds since 1970-01-01T00:00 on the zone's
  // clock) in a named zone to its UTC seconds and offset, for
  // `datetime{timezone:Europe/Stockholm}` columns; the caller that knows
  // the zone database sets it (the console's migration does). Without it,
  // such a column is refused.
  std::function<std::pair<std::int64_t, std::int32_t>(const std::string& zone, std::int64_t local_seconds)>
      resolve_zone;
};

// What an import skipped, by kind, and the first skipped entries each with
// its position ("nodes.csv line 7: duplicate node id 12 in id space
// Person").
struct AdminImportReport {
  std::uint64_t nodes = 0;
  std::uint64_t relationships = 0;
  std::uint64_t skipped_nodes = 0;
  std::uint64_t skipped_relationships = 0;
  std::vector<std::string> skipped;  // at most kReportedSkips
};
inline constexpr std::size_t kReportedSkips = 100;

// Reads neo4j-admin's arguments: `--nodes[=Label1:Label2]=FILE[,FILE...]`,
// `--relationships[=TYPE]=FILE[,FILE...]` (each repeatable), and
// `--delimiter`, `--array-delimiter`, `--quote` (a character, `TAB`, `\t`
// or `U+XXXX`), `--id-type` (string, integer, actual; any case),
// `--ignore-empty-strings`, `--trim-strings`, `--skip-duplicate-nodes`,
// `--skip-bad-relationships`, `--multiline-fields` (alone for true, or
// `=true`/`=false`) and `--bad-tolerance` (a count; -1 for no bound),
// each as `--opt=value` or `--opt value`. Arguments it does not know are
// left in `rest`, in order. Throws std::runtime_error naming the option
// ("--delimiter must be one character, TAB, \t or U+XXXX", "--nodes needs
// a file", "unknown --id-type: NAME; use string, integer or actual", ...).
AdminImportOptions parse_admin_import_arguments(const std::vector<std::string>& arguments,
                                                std::vector<std::string>& rest);

// The same from a JSON request: {"nodes": [{"labels": [...], "files":
// [...]}], "relationships": [{"type": "T", "files": [...]}], and the other
// options by their names without the dashes, in that form or in camel case
// ("delimiter", "array-delimiter" or "arrayDelimiter", "skipBadRelationships",
// "badTolerance", ...), each a string, a boolean or a number as its option
// takes. Throws "invalid request field: NAME" for a member of the wrong
// shape, "unknown import option: NAME", and the option messages above.
AdminImportOptions admin_import_options(const nlohmann::json& request);

// Whether `arguments` hold a node or relationship group option.
bool has_admin_import_groups(const std::vector<std::string>& arguments);

// Imports the groups into a new compiled Database: node groups first, then
// relationship groups, in the order given. Throws, with the file, line and
// column as every import names them (io/import_position.h), on the first
// record that cannot be read or typed, on an id its space has already (or
// a relationship to a missing node) unless skipped, on more skipped entries
// than the bad tolerance ("POSITION: import stopped: more than N bad
// entries (--bad-tolerance); this one: REASON"), and "FILE: cannot be
// opened" for a file that
// cannot be read; "--nodes or --relationships names no file" for a group
// without files, "the import needs at least one --nodes group". Fills
// `report` (when given) only on success.
Database import_admin_groups(const AdminImportOptions& options, AdminImportReport* report = nullptr);

}  // namespace orvane
