// Points: construction from a map, distance, bounding boxes, components.
//
// Coordinate reference systems, as Neo4j numbers them:
//   srid  crs            dims  coordinates
//   7203  cartesian      2     x, y
//   9157  cartesian-3d   3     x, y, z
//   4326  wgs-84         2     longitude (x), latitude (y)
//   4979  wgs-84-3d      3     longitude (x), latitude (y), height (z)
// The WGS-84 distance is Neo4j's spherical one (haversine on a sphere of
// the equatorial radius 6,378,140 m), not a geodesic on the ellipsoid, so
// that results agree with Neo4j's to the last digit.
#include "query/functions/spatial_functions.h"

#include <cctype>
#include <cmath>
#include <numbers>

#include "query/functions/temporal_support.h"

namespace orvane {
using namespace temporal_detail;

namespace {

constexpr double kEarthRadius = 6378140.0;

bool geographic(int srid) { return srid == 4326 || srid == 4979; }

int srid_of_crs(std::string_view crs) {
  std::string lower(crs);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "cartesian") return 7203;
  if (lower == "cartesian-3d") return 9157;
  if (lower == "wgs-84" || lower == "wgs-84-2d") return 4326;
  if (lower == "wgs-84-3d") return 4979;
  invalid_value("Unknown coordinate reference system: " + std::string(crs));
}

const Point& point_argument(const Value& value, const char* function) {
  if (!value.is<Point>()) {
    invalid_type(std::string("Type mismatch: ") + function + " expected a point but was " + type_name(value));
  }
  return value.as<Point>();
}

double radians(double degrees) { return degrees * (std::numbers::pi / 180.0); }  // as Java's toRadians

// The haversine central angle between two WGS-84 points.
double central_angle(const Point& a, const Point& b) {
  // Each angle in radians before the differences, as Neo4j computes them:
  // the last digits of the result depend on it.
  const double lat1 = radians(a.y), lat2 = radians(b.y);
  const double dlat = lat2 - lat1, dlon = radians(b.x) - radians(a.x);
  const double h = std::pow(std::sin(dlat / 2), 2) + std::cos(lat1) * std::cos(lat2) * std::pow(std::sin(dlon / 2), 2);
  return 2 * std::atan2(std::sqrt(h), std::sqrt(1 - h));
}

}  // namespace

std::string_view crs_name(int srid) {
  switch (srid) {
    case 9157: return "cartesian-3d";
    case 4326: return "wgs-84";
    case 4979: return "wgs-84-3d";
    default: return "cartesian";
  }
}

Value point_from_map(MapArg map) {
  const Value* x = find_member(map, "x");
  const Value* y = find_member(map, "y");
  const Value* z = find_member(map, "z");
  const Value* longitude = find_member(map, "longitude");
  const Value* latitude = find_member(map, "latitude");
  const Value* height = find_member(map, "height");
  const Value* crs = find_member(map, "crs");
  const Value* srid = find_member(map, "srid");
  const bool cartesian_keys = x != nullptr || y != nullptr || z != nullptr;
  const bool geographic_keys = longitude != nullptr || latitude != nullptr || height != nullptr;
  if (cartesian_keys && geographic_keys) invalid_value("Cannot mix x, y, z with longitude, latitude, height");
  const Value* first = cartesian_keys ? x : longitude;
  const Value* second = cartesian_keys ? y : latitude;
  const Value* third = cartesian_keys ? z : height;
  if (first == nullptr || second == nullptr) {
    invalid_value("A point must have either x and y or longitude and latitude");
  }
  for (const Value* v : {first, second, third, crs, srid}) {
    if (v != nullptr && v->is_null()) return {};
  }
  if (crs != nullptr && srid != nullptr) invalid_value("Cannot specify both CRS and SRID");
  const int dims = third != nullptr ? 3 : 2;
  int id = geographic_keys ? (dims == 3 ? 4979 : 4326) : (dims == 3 ? 9157 : 7203);
  if (crs != nullptr) {
    if (!crs->is<std::string>()) invalid_type(std::string("Invalid value for crs: ") + type_name(*crs));
    id = srid_of_crs(crs->as<std::string>());
  } else if (srid != nullptr) {
    if (!srid->is<std::int64_t>()) invalid_type(std::string("Invalid value for srid: ") + type_name(*srid));
    const std::int64_t s = srid->as<std::int64_t>();
    if (s != 7203 && s != 9157 && s != 4326 && s != 4979) invalid_value("Unknown SRID: " + std::to_string(s));
    id = static_cast<int>(s);
  }
  if (geographic_keys && !geographic(id)) invalid_value("Geographic coordinates need a geographic CRS");
  const int needed = (id == 9157 || id == 4979) ? 3 : 2;
  if (needed != dims) {
    invalid_value("Cannot create point with " + std::to_string(dims) + "D coordinate in " + std::to_string(needed) +
                  "D CRS: " + std::string(crs_name(id)));
  }
  double coordinates[3] = {0, 0, 0};
  const Value* members[3] = {first, second, third};
  for (int i = 0; i < dims; ++i) {
    const Value& v = *members[i];
    if (v.is<std::int64_t>()) {
      coordinates[i] = static_cast<double>(v.as<std::int64_t>());
    } else if (v.is<double>()) {
      coordinates[i] = v.as<double>();
    } else {
      invalid_type(std::string("Point coordinates must be numbers, got ") + type_name(v));
    }
  }
  if (geographic(id) && (coordinates[1] < -90 || coordinates[1] > 90)) {
    invalid_value("Cannot create WGS84 point with invalid coordinate: latitude " + shortest_double(coordinates[1]) +
                  " is outside -90 … 90");
  }
  return Point{id, coordinates[0], coordinates[1], coordinates[2]};
}

Value point_distance(const Value& a, const Value& b) {
  if (a.is_null() || b.is_null()) return {};
  const Point& p = point_argument(a, "point.distance()");
  const Point& q = point_argument(b, "point.distance()");
  if (p.srid != q.srid) return {};
  if (!geographic(p.srid)) {
    const double dz = p.has_z() ? q.z - p.z : 0;
    return std::sqrt((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) + dz * dz);
  }
  if (!p.has_z()) return kEarthRadius * central_angle(p, q);
  // On the sphere at the mean height, then Pythagoras with the difference.
  const double surface = (kEarthRadius + (p.z + q.z) / 2) * central_angle(p, q);
  const double dz = q.z - p.z;
  return std::sqrt(surface * surface + dz * dz);
}

Value point_within_bbox(const Value& point, const Value& lower_left, const Value& upper_right) {
  if (point.is_null() || lower_left.is_null() || upper_right.is_null()) return {};
  const Point& p = point_argument(point, "point.withinBBox()");
  const Point& low = point_argument(lower_left, "point.withinBBox()");
  const Point& high = point_argument(upper_right, "point.withinBBox()");
  if (p.srid != low.srid || p.srid != high.srid) return {};
  bool inside = p.y >= low.y && p.y <= high.y;
  if (geographic(p.srid)) {
    if (low.y > high.y) return {};
    // A box whose western edge lies east of its eastern one wraps the 180th meridian.
    inside = inside && (low.x <= high.x ? p.x >= low.x && p.x <= high.x : p.x >= low.x || p.x <= high.x);
  } else {
    inside = inside && p.x >= low.x && p.x <= high.x;
  }
  if (p.has_z()) inside = inside && p.z >= low.z && p.z <= high.z;
  return inside;
}

Value point_component(const Point& point, std::string_view name) {
  const bool geo = geographic(point.srid);
  if (name == "x") return point.x;
  if (name == "y") return point.y;
  if (name == "z" && point.has_z()) return point.z;
  if (name == "longitude" && geo) return point.x;
  if (name == "latitude" && geo) return point.y;
  if (name == "height" && geo && point.has_z()) return point.z;
  if (name == "crs") return std::string(crs_name(point.srid));
  if (name == "srid") return static_cast<std::int64_t>(point.srid);
  invalid_value("No such field: " + std::string(name));
}

std::optional<bool> point_equal(const Value& a, const Value& b) {
  if (a.is_null() || b.is_null()) return std::nullopt;
  if (!a.is<Point>() || !b.is<Point>()) return false;
  return a.as<Point>() == b.as<Point>();
}

std::string point_text(const Point& point) {
  std::string out = "point({srid:" + std::to_string(point.srid) + ", x:" + shortest_double(point.x) +
                    ", y:" + shortest_double(point.y);
  if (point.has_z()) out += ", z:" + shortest_double(point.z);
  return out + "})";
}

}  // namespace orvane
