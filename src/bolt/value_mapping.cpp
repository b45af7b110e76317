// Cypher values to PackStream and parameters back (the structure table is
// in value_mapping.h).
//
// Writing streams straight into the message: a record is never built as a
// PackValue tree first. Reading checks every field's type and range, since
// a parameter is a peer's input like any other.
#include "bolt/value_mapping.h"

#include <nlohmann/json.hpp>

#include "bolt/bolt_error.h"
#include "graph/database.h"

namespace orvane::bolt {

namespace {

constexpr std::uint8_t kNode = 0x4E, kRelationship = 0x52, kUnbound = 0x72, kPath = 0x50;
constexpr std::uint8_t kDate = 0x44, kTime = 0x54, kLocalTime = 0x74, kDateTime = 0x49, kDateTimeZoneId = 0x69;
constexpr std::uint8_t kLegacyDateTime = 0x46, kLegacyZoneId = 0x66, kLocalDateTime = 0x64, kDuration = 0x45;
constexpr std::uint8_t kPoint2D = 0x58, kPoint3D = 0x59;

std::string node_element_id(std::uint64_t id) { return "4:halvex:" + std::to_string(id); }
std::string rel_element_id(std::uint64_t id) { return "5:halvex:" + std::to_string(id); }

void write_properties(PackWriter& out, const nlohmann::json& props, const ValueFormat& format) {
  out.begin_map(props.size());
  for (auto it = props.begin(); it != props.end(); ++it) {
    out.write_string(it.key());
    write_value(out, from_property(from_typed_json(it.value())), nullptr, format);
  }
}

void write_node(PackWriter& out, std::uint32_t node, const Database& db, const ValueFormat& format) {
  const std::uint64_t id = db.node_id(node);
  out.begin_struct(format.element_ids ? 4 : 3, kNode);
  out.write_int(static_cast<std::int64_t>(id));
  const std::vector<std::uint16_t> labels = db.graph.labels_of(node);
  out.begin_list(labels.size());
  for (const std::uint16_t label : labels) out.write_string(db.node_type_name(label));
  write_properties(out, db.node_properties(node), format);
  if (format.element_ids) out.write_string(node_element_id(id));
}

void write_relationship(PackWriter& out, std::uint32_t rel, const Database& db, const ValueFormat& format) {
  const Edge& e = db.graph.edges[rel];
  const std::uint64_t id = db.relationship_id(rel), start = db.node_id(e.src), end = db.node_id(e.dst);
  out.begin_struct(format.element_ids ? 8 : 5, kRelationship);
  out.write_int(static_cast<std::int64_t>(id));
  out.write_int(static_cast<std::int64_t>(start));
  out.write_int(static_cast<std::int64_t>(end));
  out.write_string(db.rel_type_name(e.type));
  write_properties(out, db.relationship_properties(rel), format);
  if (format.element_ids) {
    out.write_string(rel_element_id(id));
    out.write_string(node_element_id(start));
    out.write_string(node_element_id(end));
  }
}

void write_unbound(PackWriter& out, std::uint32_t rel, const Database& db, const ValueFormat& format) {
  const std::uint64_t id = db.relationship_id(rel);
  out.begin_struct(format.element_ids ? 4 : 3, kUnbound);
  out.write_int(static_cast<std::int64_t>(id));
  out.write_string(db.rel_type_name(db.graph.edges[rel].type));
  write_properties(out, db.relationship_properties(rel), format);
  if (format.element_ids) out.write_string(rel_element_id(id));
}

// Position of `item` in `seen`, appended when new.
std::int64_t position_of(std::vector<std::uint32_t>& seen, std::uint32_t item) {
  for (std::size_t i = 0; i < seen.size(); ++i) {
    if (seen[i] == item) return static_cast<std::int64_t>(i);
  }
  seen.push_back(item);
  return static_cast<std::int64_t>(seen.size() - 1);
}

void write_path(PackWriter& out, const PathValue& path, const Database& db, const ValueFormat& format) {
  std::vector<std::uint32_t> nodes, rels;
  std::vector<std::int64_t> indices;
  if (!path.nodes.empty()) position_of(nodes, path.nodes[0]);
  for (std::size_t i = 0; i < path.rels.size() && i + 1 < path.nodes.size(); ++i) {
    const std::int64_t rel = position_of(rels, path.rels[i]) + 1;
    const Edge& e = db.graph.edges[path.rels[i]];
    // A self-loop is walked along its direction.
    const bool forward = e.src == path.nodes[i];
    indices.push_back(forward ? rel : -rel);
    indices.push_back(position_of(nodes, path.nodes[i + 1]));
  }
  out.begin_struct(3, kPath);
  out.begin_list(nodes.size());
  for (const std::uint32_t n : nodes) write_node(out, n, db, format);
  out.begin_list(rels.size());
  for (const std::uint32_t r : rels) write_unbound(out, r, db, format);
  out.begin_list(indices.size());
  for (const std::int64_t i : indices) out.write_int(i);
}

const Database& need(const Database* db) {
  if (db == nullptr) throw BoltError(kDatabaseError, "a graph entity was returned without its database");
  return *db;
}

// ---- reading parameters ----

[[noreturn]] void refuse(const std::string& reason) {
  throw BoltError(kRequestInvalid, "invalid parameter: " + reason);
}

std::string tag_text(std::uint8_t tag) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[tag >> 4] + digits[tag & 15];
}

struct Fields {
  const PackStruct& s;
  const char* name;

  void expect(std::size_t n) const {
    if (s.fields.size() != n) {
      refuse(std::string(name) + " takes " + std::to_string(n) + " fields, not " + std::to_string(s.fields.size()));
    }
  }
  std::int64_t integer(std::size_t i) const {
    if (!s.fields[i].is<std::int64_t>())
      refuse(std::string(name) + " field " + std::to_string(i + 1) + " must be an Integer");
    return s.fields[i].as<std::int64_t>();
  }
  std::int64_t integer(std::size_t i, std::int64_t lo, std::int64_t hi) const {
    const std::int64_t v = integer(i);
    if (v < lo || v > hi) refuse(std::string(name) + " field " + std::to_string(i + 1) + " is out of range");
    return v;
  }
  double number(std::size_t i) const {
    if (s.fields[i].is<double>()) return s.fields[i].as<double>();
    if (s.fields[i].is<std::int64_t>()) return static_cast<double>(s.fields[i].as<std::int64_t>());
    refuse(std::string(name) + " field " + std::to_string(i + 1) + " must be a Float");
  }
  const std::string& text(std::size_t i) const {
    if (!s.fields[i].is<std::string>())
      refuse(std::string(name) + " field " + std::to_string(i + 1) + " must be a String");
    return s.fields[i].as<std::string>();
  }
};

constexpr std::int64_t kMaxOffset = 64800;

std::int32_t resolve(const ZoneOffsetResolver& zones, const std::string& zone, std::int64_t utc_seconds) {
  if (!zones) refuse("time zone ids are not supported here");
  const std::int32_t offset = zones(zone, utc_seconds);
  if (offset < -kMaxOffset || offset > kMaxOffset) refuse("zone offset out of range");
  return offset;
}

std::int64_t checked_sub(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  if (__builtin_sub_overflow(a, b, &r)) refuse("seconds out of range");
  return r;
}

CypherValue read_struct(const PackStruct& s, const ValueFormat& format, const ZoneOffsetResolver& zones) {
  constexpr std::int64_t kMaxNanos = kNanosPerSecond - 1;
  switch (s.tag) {
    case kDate: {
      const Fields f{s, "Date"};
      f.expect(1);
      return Date{f.integer(0)};
    }
    case kLocalTime: {
      const Fields f{s, "LocalTime"};
      f.expect(1);
      return LocalTime{f.integer(0, 0, kNanosPerDay - 1)};
    }
    case kTime: {
      const Fields f{s, "Time"};
      f.expect(2);
      return Time{f.integer(0, 0, kNanosPerDay - 1), static_cast<std::int32_t>(f.integer(1, -kMaxOffset, kMaxOffset))};
    }
    case kLocalDateTime: {
      const Fields f{s, "LocalDateTime"};
      f.expect(2);
      return LocalDateTime{f.integer(0), static_cast<std::int32_t>(f.integer(1, 0, kMaxNanos))};
    }
    case kDateTime:
    case kDateTimeZoneId:
    case kLegacyDateTime:
    case kLegacyZoneId: {
      const bool utc = s.tag == kDateTime || s.tag == kDateTimeZoneId;
      if (utc != format.utc_datetimes) {
        refuse("the DateTime structure " + tag_text(s.tag) + " is not used by this protocol version");
      }
      const bool zoned = s.tag == kDateTimeZoneId || s.tag == kLegacyZoneId;
      const Fields f{s, zoned ? "DateTimeZoneId" : "DateTime"};
      f.expect(3);
      DateTime out;
      const std::int64_t seconds = f.integer(0);
      out.nanos = static_cast<std::int32_t>(f.integer(1, 0, kMaxNanos));
      if (!zoned) {
        out.offset_seconds = static_cast<std::int32_t>(f.integer(2, -kMaxOffset, kMaxOffset));
        out.seconds = utc ? seconds : checked_sub(seconds, out.offset_seconds);
        return out;
      }
      out.zone = f.text(2);
      if (utc) {
        out.seconds = seconds;
        out.offset_seconds = resolve(zones, out.zone, seconds);
      } else {
        // Local seconds: the offset at the local time read as UTC, then
        // corrected once, which settles every instant outside a transition.
        const std::int32_t guess = resolve(zones, out.zone, seconds);
        out.offset_seconds = resolve(zones, out.zone, checked_sub(seconds, guess));
        out.seconds = checked_sub(seconds, out.offset_seconds);
      }
      return out;
    }
    case kDuration: {
      const Fields f{s, "Duration"};
      f.expect(4);
      Duration d{f.integer(0), f.integer(1), f.integer(2), 0};
      // Nanoseconds beyond a second (or negative) move into the seconds.
      std::int64_t nanos = f.integer(3);
      std::int64_t carry = nanos / kNanosPerSecond;
      nanos %= kNanosPerSecond;
      if (nanos < 0) {
        nanos += kNanosPerSecond;
        --carry;
      }
      if (__builtin_add_overflow(d.seconds, carry, &d.seconds)) refuse("Duration seconds out of range");
      d.nanos = static_cast<std::int32_t>(nanos);
      return d;
    }
    case kPoint2D:
    case kPoint3D: {
      const bool three = s.tag == kPoint3D;
      const Fields f{s, three ? "Point3D" : "Point2D"};
      f.expect(three ? 4 : 3);
      Point p;
      p.srid = static_cast<std::int32_t>(f.integer(0, INT32_MIN, INT32_MAX));
      const bool known = p.srid == 7203 || p.srid == 4326 || p.srid == 9157 || p.srid == 4979;
      if (!known || p.has_z() != three) refuse("unsupported SRID " + std::to_string(p.srid) + " for " + f.name);
      p.x = f.number(1);
      p.y = f.number(2);
      if (three) p.z = f.number(3);
      return p;
    }
    case kNode:
    case kRelationship:
    case kUnbound:
    case kPath: refuse("nodes, relationships and paths cannot be sent as parameters");
    default: refuse("unknown structure tag " + tag_text(s.tag));
  }
}

}  // namespace

ValueFormat value_format(BoltVersion version, bool utc_patch) {
  const bool five = version.at_least(5, 0);
  return ValueFormat{five, five || utc_patch};
}

void write_value(PackWriter& out, const CypherValue& value, const Database* db, const ValueFormat& format) {
  using Kind = CypherValue::Kind;
  switch (value.kind()) {
    case Kind::kNull: out.write_null(); return;
    case Kind::kBool: out.write_bool(value.as_bool()); return;
    case Kind::kInteger: out.write_int(value.as_int()); return;
    case Kind::kFloat: out.write_float(value.as_float()); return;
    case Kind::kString: out.write_string(value.as_string()); return;
    case Kind::kBytes: out.write_bytes(value.get<Bytes>().data); return;
    case Kind::kDate:
      out.begin_struct(1, kDate);
      out.write_int(value.get<Date>().days);
      return;
    case Kind::kLocalTime:
      out.begin_struct(1, kLocalTime);
      out.write_int(value.get<LocalTime>().nanos);
      return;
    case Kind::kTime:
      out.begin_struct(2, kTime);
      out.write_int(value.get<Time>().nanos);
      out.write_int(value.get<Time>().offset_seconds);
      return;
    case Kind::kLocalDateTime:
      out.begin_struct(2, kLocalDateTime);
      out.write_int(value.get<LocalDateTime>().seconds);
      out.write_int(value.get<LocalDateTime>().nanos);
      return;
    case Kind::kDateTime: {
      const DateTime& dt = value.get<DateTime>();
      const bool zoned = !dt.zone.empty();
      if (format.utc_datetimes) {
        out.begin_struct(3, zoned ? kDateTimeZoneId : kDateTime);
        out.write_int(dt.seconds);
      } else {
        out.begin_struct(3, zoned ? kLegacyZoneId : kLegacyDateTime);
        out.write_int(dt.seconds + dt.offset_seconds);
      }
      out.write_int(dt.nanos);
      if (zoned) {
        out.write_string(dt.zone);
      } else {
        out.write_int(dt.offset_seconds);
      }
      return;
    }
    case Kind::kDuration: {
      const Duration& d = value.get<Duration>();
      out.begin_struct(4, kDuration);
      out.write_int(d.months);
      out.write_int(d.days);
      out.write_int(d.seconds);
      out.write_int(d.nanos);
      return;
    }
    case Kind::kPoint: {
      const Point& p = value.get<Point>();
      out.begin_struct(p.has_z() ? 4 : 3, p.has_z() ? kPoint3D : kPoint2D);
      out.write_int(p.srid);
      out.write_float(p.x);
      out.write_float(p.y);
      if (p.has_z()) out.write_float(p.z);
      return;
    }
    case Kind::kList:
      out.begin_list(value.as_list().size());
      for (const CypherValue& item : value.as_list()) write_value(out, item, db, format);
      return;
    case Kind::kMap:
      out.begin_map(value.as_map().size());
      for (const auto& [key, item] : value.as_map()) {
        out.write_string(key);
        write_value(out, item, db, format);
      }
      return;
    case Kind::kNode: write_node(out, value.as_node().identity, need(db), format); return;
    case Kind::kRelationship: write_relationship(out, value.as_relationship().identity, need(db), format); return;
    case Kind::kPath: write_path(out, value.as_path(), need(db), format); return;
  }
}

CypherValue read_parameter(const PackValue& value, const ValueFormat& format, const ZoneOffsetResolver& zones) {
  switch (value.kind()) {
    case PackValue::Kind::kNull: return {};
    case PackValue::Kind::kBool: return value.as<bool>();
    case PackValue::Kind::kInteger: return value.as<std::int64_t>();
    case PackValue::Kind::kFloat: return value.as<double>();
    case PackValue::Kind::kString: return value.as<std::string>();
    case PackValue::Kind::kBytes: return value.as<Bytes>();
    case PackValue::Kind::kList: {
      CypherList out;
      out.reserve(value.as<PackList>().size());
      for (const PackValue& item : value.as<PackList>()) out.push_back(read_parameter(item, format, zones));
      return out;
    }
    case PackValue::Kind::kMap: {
      CypherMap out;
      out.reserve(value.as<PackMap>().size());
      for (const PackEntry& entry : value.as<PackMap>()) {
        out.emplace_back(entry.key, read_parameter(entry.value, format, zones));
      }
      return out;
    }
    case PackValue::Kind::kStruct: return read_struct(value.as<PackStruct>(), format, zones);
  }
  return {};
}

}  // namespace orvane::bolt
