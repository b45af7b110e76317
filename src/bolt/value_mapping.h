// Cypher values in PackStream as the drivers read them, and the values
// drivers send as parameters.
//
// Structures (tag, fields):
//   Node              'N' 0x4E  id, labels, properties [, element_id]           5.x adds element_id
//   Relationship      'R' 0x52  id, start_id, end_id, type, properties
//                               [, element_id, start_element_id, end_element_id]
//   UnboundRelationship 'r' 0x72 id, type, properties [, element_id]
//   Path              'P' 0x50  nodes, unbound relationships, indices
//   Date              'D' 0x44  days since 1970-01-01
//   Time              'T' 0x54  local nanoseconds of the day, offset seconds
//   LocalTime         't' 0x74  nanoseconds of the day
//   DateTime          'I' 0x49  UTC seconds, nanos, offset seconds          (5.x, or 4.4 with the "utc" patch)
//   DateTimeZoneId    'i' 0x69  UTC seconds, nanos, zone id                 (the same)
//   legacy DateTime   'F' 0x46  local seconds, nanos, offset seconds        (4.4 without the patch)
//   legacy ZoneId     'f' 0x66  local seconds, nanos, zone id               (the same)
//   LocalDateTime     'd' 0x64  local seconds, nanos
//   Duration          'E' 0x45  months, days, seconds, nanos
//   Point2D           'X' 0x58  srid, x, y
//   Point3D           'Y' 0x59  srid, x, y, z
//
// A path's nodes and relationships are each listed once, in the order the
// path first meets them, the start node first; the indices then alternate
// relationship, node for each step: a relationship's 1-based position in
// the list, negated when the step walks it against its direction, and the
// 0-based position of the node the step reaches.
//
// Element ids are "4:halvex:ID" for nodes and "5:halvex:ID" for
// relationships, ID being the id users see, as the console writes them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bolt/handshake.h"
#include "bolt/packstream.h"
#include "graph/cypher_value.h"

namespace orvane {
class Database;
}

namespace orvane::bolt {

struct ValueFormat {
  bool element_ids = true;    // 5.x: nodes and relationships carry element ids
  bool utc_datetimes = true;  // 5.x, or 4.4 with the "utc" patch: 'I'/'i' instead of 'F'/'f'
};

// The format a session writes and reads values in for `version`, with
// `utc_patch` when a 4.4 client asked for the "utc" patch and got it.
ValueFormat value_format(BoltVersion version, bool utc_patch);

// Writes `value` to `out`. Nodes, relationships and paths are read from
// `db` (their labels, type, ends and properties). Throws BoltError with
// Neo.DatabaseError.General.UnknownError when `value` holds a graph entity
// and `db` is null.
void write_value(PackWriter& out, const CypherValue& value, const Database* db, const ValueFormat& format);

// Resolves a zone id to its offset (seconds east of UTC) at a UTC instant.
// Throws the caller's error for an unknown zone.
using ZoneOffsetResolver = std::function<std::int32_t(const std::string& zone, std::int64_t utc_seconds)>;

// The Cypher value of a parameter a driver sent: null, booleans,
// integers, floats, strings, byte arrays, lists, maps and the temporal and
// spatial structures above (not graph entities). `zones` resolves the zone
// of a DateTimeZoneId; when empty, such a value is refused. Throws
// BoltError (Neo.ClientError.Request.Invalid) "invalid parameter: REASON"
// for a structure this format does not define (a legacy DateTime in the UTC
// format and the reverse), a graph entity, or fields of the wrong number,
// type or range.
CypherValue read_parameter(const PackValue& value, const ValueFormat& format, const ZoneOffsetResolver& zones);

}  // namespace orvane::bolt
