// Cypher's spatial functions over orvane::Point (graph/temporal.h):
// point({...}), point.distance (and its older name distance), point.withinBBox,
// the components p.x, p.latitude, p.crs, ..., and equality. Each follows
// Neo4j 5, returns null for a null argument, and throws CypherError
// (ArgumentError/InvalidArgumentValue for a map that names no valid point
// or a coordinate out of range, TypeError/InvalidArgumentType for an
// argument of the wrong type), all at run time.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "graph/value.h"
#include "query/functions/temporal_functions.h"

namespace orvane {

// point({x, y[, z][, crs | srid]}) or point({longitude, latitude[, height]
// [, crs | srid]}): the coordinate reference system follows from the keys
// (x/y: cartesian, longitude/latitude: WGS-84; a third coordinate makes it
// 3D) unless crs ('cartesian', 'cartesian-3d', 'WGS-84', 'WGS-84-3d', any
// case) or srid (7203, 9157, 4326, 4979) names it. Null when any
// coordinate is null. Throws for both crs and srid, an unknown crs or
// srid, a dimension that does not fit it, a latitude outside -90 … 90, or
// a non-numeric coordinate.
Value point_from_map(MapArg map);

// The distance between two points of one CRS: Euclidean for cartesian
// points; for WGS-84 points the haversine great-circle distance in metres
// on a sphere of radius 6,378,140 m, widened by the mean height and
// combined with the height difference for 3D points. Null when the CRSs
// differ or either is null. Throws TypeError for a non-point.
Value point_distance(const Value& a, const Value& b);

// Whether `point` lies in the box from `lower_left` to `upper_right`
// (bounds included); for WGS-84 a lower-left longitude greater than the
// upper-right one means the box crosses the 180th meridian. Null when the
// three CRSs differ, or when a WGS-84 box's lower latitude is above its
// upper one. Throws TypeError for a non-point.
Value point_within_bbox(const Value& point, const Value& lower_left, const Value& upper_right);

// p.x, p.y, p.z, p.longitude, p.latitude, p.height, p.crs, p.srid. Throws
// ArgumentError "No such field: NAME" for a component the point's CRS
// lacks (z of a 2D point, latitude of a cartesian one).
Value point_component(const Point& point, std::string_view name);

// p = q: true when both have the same CRS and coordinates; null when
// either is null. Points have no order: p < q is null (see temporal_compare).
std::optional<bool> point_equal(const Value& a, const Value& b);

// The CRS name Neo4j gives an SRID: "cartesian", "cartesian-3d",
// "wgs-84", "wgs-84-3d".
std::string_view crs_name(int srid);

// Neo4j's text of a point: "point({x: 1.0, y: 2.0, crs: 'cartesian'})",
// with longitude/latitude/height for WGS-84 points.
std::string point_text(const Point& point);

}  // namespace orvane
