"""Neo4j property values as both bridges hold them, and their two JSON forms.

The dump decoder (neo4j_dump.values) and the Bolt client (neo4j_bolt.values)
turn what they read into the same Python values; plain() and typed() write
those as JSON, so both bridges write the same text for the same value.

  | Neo4j value     | held as                       | plain() (default)        | typed() (--typed)                  |
  |-----------------|-------------------------------|--------------------------|------------------------------------|
  | null, boolean,  | None, bool, str               | the same                 | the same                           |
  | string          |                               |                          |                                    |
  | integer         | int                           | number                   | number if |v| <= 2^53, else        |
  |                 |                               |                          | {"$type":"Integer","_value":"<v>"} |
  | float           | float                         | number; "NaN",           | number ("1.0" stays "1.0");        |
  |                 |                               | "Infinity", "-Infinity"  | NaN, +-Infinity as $type Float     |
  | float (32-bit)  | Single: the widened double    | fewest digits that read  | the widened double, which is       |
  |                 |                               | back to the same single  | what Neo4j itself returns          |
  | byte array      | bytes                         | list of signed bytes     | $type Base64 (padded)              |
  | temporal        | Temporal(type, text)          | text                     | {"$type":type,"_value":text}       |
  | point           | Point(srid, coordinates)      | APOC map {crs, x, y, z}  | $type Point, "SRID=s;POINT (x y)"  |
  |                 |                               | or {crs, latitude, ...}  | or "SRID=s;POINT Z (x y z)"        |
  | list            | list                          | each item in its form    | each item in its form              |

Temporal types are Date, LocalTime, Time, LocalDateTime, OffsetDateTime,
ZonedDateTime and Duration; the text is Neo4j's own (java.time's ISO forms,
durations as "P1Y2M3DT4H5M6.000000007S"), made by each package's
formatters. Integers beyond 2^53 and non-finite floats are tagged because a
JSON reader holding numbers as doubles would lose or refuse them. Point
numbers are Python's repr, the shortest text that reads back to the same
double.
"""

import base64
import collections
import math
import struct

Temporal = collections.namedtuple("Temporal", "type text")  # type: "Date", ..., "Duration"
Point = collections.namedtuple("Point", "srid coordinates")  # coordinates: (x, y) or (x, y, z)

EXACT_INTEGER = 2**53  # the largest magnitude a double holds exactly, with all below it

# srid -> (name, geographic), the coordinate systems Neo4j knows
CRS = {7203: ("cartesian", False), 9157: ("cartesian-3d", False),
       4326: ("wgs-84", True), 4979: ("wgs-84-3d", True)}


class Single(float):
    """A single-precision float, held as its exact double value."""

    def shortest(self):
        """The float with the fewest digits that reads back to the same single."""
        packed = struct.pack(">f", self)
        for digits in range(1, 10):
            candidate = float("%.*g" % (digits, self))
            if struct.pack(">f", candidate) == packed:
                return candidate
        return float(self)


def _non_finite(value):
    """"NaN", "Infinity" or "-Infinity" for a non-finite float, else None."""
    if math.isnan(value):
        return "NaN"
    if math.isinf(value):
        return "Infinity" if value > 0 else "-Infinity"
    return None


def plain(value):
    """The JSON value of `value` in the form the bridges write without --typed."""
    if isinstance(value, float):
        word = _non_finite(value)
        if word is not None:
            return word
        return value.shortest() if isinstance(value, Single) else value
    if isinstance(value, (bytes, bytearray)):
        return [b - 256 if b > 127 else b for b in value]
    if isinstance(value, Temporal):
        return value.text
    if isinstance(value, Point):
        name, geographic = CRS.get(value.srid, ("srid-%d" % value.srid, False))
        x, y, *rest = [plain(c) for c in value.coordinates]
        third = rest[0] if rest else None
        if geographic:
            return {"crs": name, "latitude": y, "longitude": x, "height": third}
        return {"crs": name, "x": x, "y": y, "z": third}
    if isinstance(value, list):
        return [plain(item) for item in value]
    if isinstance(value, dict):
        return {key: plain(item) for key, item in value.items()}
    return value


def _tag(type_name, text):
    return {"$type": type_name, "_value": text}


def point_text(point):
    """The point as Neo4j's WKT with SRID: "SRID=7203;POINT (1.0 2.5)", "... POINT Z (...)"."""
    numbers = " ".join(repr(float(c)) for c in point.coordinates)
    return "SRID=%d;POINT%s (%s)" % (point.srid, " Z" if len(point.coordinates) == 3 else "", numbers)


def typed(value):
    """The JSON value of `value` in the typed form (the table above)."""
    if value is None or isinstance(value, (bool, str)):
        return value
    if isinstance(value, int):
        return value if -EXACT_INTEGER <= value <= EXACT_INTEGER else _tag("Integer", str(value))
    if isinstance(value, float):
        word = _non_finite(value)
        return float(value) if word is None else _tag("Float", word)
    if isinstance(value, (bytes, bytearray)):
        return _tag("Base64", base64.b64encode(bytes(value)).decode("ascii"))
    if isinstance(value, Temporal):
        return _tag(value.type, value.text)
    if isinstance(value, Point):
        return _tag("Point", point_text(value))
    if isinstance(value, list):
        return [typed(item) for item in value]
    if isinstance(value, dict):
        return {key: typed(item) for key, item in value.items()}
    raise TypeError("no typed form for a %s" % type(value).__name__)
