// Points: construction, distance (the cartesian and WGS-84 results Neo4j's
// manual shows, the WGS-84 one to the last digit), bounding boxes, components,
// comparison and errors.
#include <gtest/gtest.h>

#include "query/function_eval.h"

namespace orvane {
namespace {

using testing::Case;
using testing::expect_cases;

const Case kPoints[] = {
    {"point({x: 2.3, y: 4.5}), point({x: 2, y: 4, z: 6}), point({longitude: 56.7, latitude: 12.78}), point({longitude: 56.7, latitude: 12.78, height: 8})", "point({srid:7203, x:2.3, y:4.5}) | point({srid:9157, x:2.0, y:4.0, z:6.0}) | point({srid:4326, x:56.7, y:12.78}) | point({srid:4979, x:56.7, y:12.78, z:8.0})"},
    {"point({x: 2.3, y: 4.5, crs: 'WGS-84'})", "point({srid:4326, x:2.3, y:4.5})"},
    {"point({x: 1, y: 2, srid: 9157})", "ArgumentError/InvalidArgumentValue: Cannot create point with 2D coordinate in 3D CRS: cartesian-3d"},
    {"point({x: 1, y: null}), point.distance(null, point({x: 1, y: 2}))", "null | null"},
    {"point({longitude: 1, latitude: 91})", "ArgumentError/InvalidArgumentValue: Cannot create WGS84 point with invalid coordinate: latitude 91.0 is outside -90 \u2026 90"},
    {"point({x: 1, y: 2, crs: 'cartesian', srid: 7203})", "ArgumentError/InvalidArgumentValue: Cannot specify both CRS and SRID"},
    {"point({x: 1, y: 2, crs: 'mercator'})", "ArgumentError/InvalidArgumentValue: Unknown coordinate reference system: mercator"},
    {"point({x: 1, longitude: 2})", "ArgumentError/InvalidArgumentValue: Cannot mix x, y, z with longitude, latitude, height"},
    {"point({x: 'a', y: 2})", "TypeError/InvalidArgumentType: Point coordinates must be numbers, got String"},
    {"point.distance(point({x: 2.3, y: 4.5, crs: 'cartesian'}), point({x: 1.1, y: 5.4, crs: 'cartesian'}))", "1.5"},
    {"distance(point({x: 0, y: 0, z: 0}), point({x: 1, y: 2, z: 2}))", "3.0"},
    {"point.distance(point({longitude: 12.564590, latitude: 55.672874}), point({longitude: 12.994341, latitude: 55.611784}))", "27841.920012893668"},
    {"point.distance(point({longitude: 12.78, latitude: 56.7, height: 100}), point({latitude: 56.71, longitude: 12.79, height: 100}))", "1269.9148706779097"},
    {"point.distance(point({x: 1, y: 2}), point({longitude: 1, latitude: 2}))", "null"},
    {"point.distance(point({x: 1, y: 2}), date('2020-01-01'))", "TypeError/InvalidArgumentType: Type mismatch: point.distance() expected a point but was Date"},
    {"point.withinBBox(point({x: 0, y: 0}), point({x: -1, y: -1}), point({x: 1, y: 1})), point.withinBBox(point({x: 2, y: 0}), point({x: -1, y: -1}), point({x: 1, y: 1}))", "true | false"},
    {"point.withinBBox(point({longitude: 179, latitude: 0}), point({longitude: 170, latitude: -1}), point({longitude: -170, latitude: 1}))", "true"},
    {"point.withinBBox(point({longitude: 0, latitude: 0}), point({longitude: 170, latitude: -1}), point({longitude: -170, latitude: 1}))", "false"},
    {"point.withinBBox(point({x: 0, y: 0}), point({longitude: -1, latitude: -1}), point({x: 1, y: 1}))", "null"},
    {"point({longitude: 56.7, latitude: 12.78, height: 8}).latitude, point({longitude: 56.7, latitude: 12.78, height: 8}).height, point({longitude: 56.7, latitude: 12.78, height: 8}).crs, point({longitude: 56.7, latitude: 12.78, height: 8}).srid", "12.78 | 8.0 | 'wgs-84-3d' | 4979"},
    {"point({x: 1, y: 2}).z", "ArgumentError/InvalidArgumentValue: No such field: z"},
    {"point({x: 1, y: 2}).latitude", "ArgumentError/InvalidArgumentValue: No such field: latitude"},
    {"point({x: 1, y: 2}) = point({x: 1.0, y: 2.0}), point({x: 1, y: 2}) = point({x: 1, y: 2, crs: 'wgs-84'}), point({x: 1, y: 2}) < point({x: 3, y: 4})", "true | false | null"},
};

TEST(SpatialFunctions, PointsDistancesBoxesAndErrors) { expect_cases(kPoints); }

}  // namespace
}  // namespace orvane
