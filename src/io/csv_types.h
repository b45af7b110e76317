// The Neo4j bulk-import CSV column types of typed property values, shared by
// the export (which picks a column type per property key and writes each
// value's text) and the import (which reads that text back by the column's
// type). A column type is one of neo4j-admin's type names, optionally with
// "[]" for an array whose elements are joined by ";".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "graph/value.h"

namespace orvane {

// The header field of the relationship column that carries each
// relationship's own id: neo4j-admin skips an :IGNORE column, and our
// import reads this one back as the relationships' ids.
inline constexpr const char* kRelationshipIdHeader = "relationshipId:IGNORE";

// The scalar type of a CSV column (or of its array elements).
enum class CsvScalar : std::uint8_t {
  kNone,  // no value seen yet (an empty list's elements)
  kLong,
  kDouble,
  kBoolean,
  kString,
  kDate,
  kLocalTime,
  kTime,
  kLocalDateTime,
  kDateTime,
  kDuration,
  kPoint,
  kJson,  // no typed column can carry it: the value goes to properties:json
};

// What a column holds: one scalar type, or arrays of one.
struct CsvColumnType {
  CsvScalar scalar = CsvScalar::kNone;
  bool array = false;
  friend bool operator==(const CsvColumnType&, const CsvColumnType&) = default;
};

// The column type that carries `value` so that it reads back equal, or
// kJson when none does: a byte array, a float that is not finite, a point
// with a coordinate that is not, and string lists whose ";"-joined text
// would split or read differently (an element holding ";", the one-element
// list [""], a first element starting with "["). An empty list is an array
// of kNone. Requires: value is not null.
CsvColumnType csv_column_type(const Value& value);

// The type of a column holding values of types `a` and `b`: the common one
// (an empty list fits any array), kNone for two kNone, kJson when they
// differ.
CsvColumnType merge_column_types(CsvColumnType a, CsvColumnType b);

// The header suffix of `type` ("long", "double[]", "datetime", ...); an
// array of kNone is "string[]". Requires: type.scalar is not kJson.
std::string csv_type_name(CsvColumnType type);

// Appends the CSV text (unquoted) of `value`, whose csv_column_type is not
// kJson: integers in decimal, floats in their shortest round-trip form,
// booleans as "true"/"false", strings as they are, temporal values in the
// ISO forms of graph/temporal.h, points as format_point_map writes them,
// and a list's elements joined by ";".
void append_csv_text(std::string& out, const Value& value);

// Neo4j's point map: "{crs:'cartesian',x:1.0,y:2.0}", with "z" for
// cartesian-3d, and "{crs:'wgs-84',longitude:..,latitude:..}" with "height"
// for wgs-84-3d; numbers in their shortest round-trip form.
std::string format_point_map(const Point& point);

// Reads a point map as neo4j-admin does: members x, y, z, longitude,
// latitude, height, crs and srid in any order and letter case, separated by
// "," with blanks allowed, strings in single or double quotes. Without crs
// or srid the coordinate names decide (latitude/longitude: WGS-84, x/y:
// cartesian; a third coordinate: 3D). Throws std::runtime_error "invalid
// point: TEXT" for anything else (an unknown member or crs, a missing or
// extra coordinate, a number strtod does not take whole).
Point parse_point_map(std::string_view text);

}  // namespace orvane
