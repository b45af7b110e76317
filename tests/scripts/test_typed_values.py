"""The typed JSON form (--typed) of each kind of value, as both bridges write
it: a value as Bolt sends it and, where the row gives one, the same value as
a dump stores it (property blocks or an `.arrays` payload, written as in
test_dump_format.py) must give the same JSON text. Whole dumps and pulls
with --typed: test_dump_samples.py and test_pull_neo4j.py.
"""

import json
import math
import struct
import unittest

from bolt_stub import tagged
from neo4j_bolt.values import to_json
from neo4j_dump import values
from neo4j_values import typed
from test_dump_format import KEY, double, long_payload, pack

PARIS_WINTER, PARIS_SUMMER = 1704195296, 1719916496  # 2024-01-02 / 2024-07-02 12:34:56 in Paris, as UTC seconds


def t(type_name, text):
    return {"$type": type_name, "_value": text}


def blocks(kind, *fields_then_blocks):
    """A property of store type `kind`: (value, bits) fields from bit 28, then whole further blocks."""
    fields = [f for f in fields_then_blocks if isinstance(f, tuple)]
    more = tuple(b for b in fields_then_blocks if not isinstance(b, tuple))
    return pack((KEY, 24), (kind, 4), *fields) + more


def temporal(kind, inline, *more):
    return blocks(14, (kind, 4), (inline, 32), *more)


def u64(value):
    return value & 0xFFFFFFFFFFFFFFFF


def single(value):
    return struct.unpack(">I", struct.pack(">f", value))[0]


CASES = [  # value as Bolt sends it, the same value in a dump (None: not stored that way), typed JSON
    (None, None, None), (False, blocks(1, (0, 1)), False), ("é", None, "é"),
    (2**53, blocks(6, (0, 1), u64(2**53)), 2**53), (-2**53, None, -2**53),
    (2**53 + 1, blocks(6, (0, 1), u64(2**53 + 1)), t("Integer", "9007199254740993")),
    (-2**53 - 1, blocks(6, (0, 1), u64(-2**53 - 1)), t("Integer", "-9007199254740993")),
    (2**63 - 1, None, t("Integer", "9223372036854775807")),
    (1.0, blocks(8, (0, 1), double(1.0)), 1.0), (-0.0, blocks(8, (0, 1), double(-0.0)), -0.0),
    (0.10000000149011612, blocks(7, (single(0.1), 32)), 0.10000000149011612),  # a float widens as Neo4j does
    (math.nan, blocks(7, (0x7FC00000, 32)), t("Float", "NaN")),
    (math.inf, blocks(8, (0, 1), double(math.inf)), t("Float", "Infinity")), (-math.inf, None, t("Float", "-Infinity")),
    (b"\x00\xfb\xff", blocks(12, (2, 4), (3, 6), (8, 6), (0, 8), (-5, 8), (-1, 8)), t("Base64", "APv/")),
    (b"", bytes([2, 8, 0]), t("Base64", "")), ([], bytes([6, 8, 0]), []),
    (tagged("D", 16637), temporal(1, 1 | 16637 << 1), t("Date", "2015-07-21")),
    (tagged("D", 2932897), temporal(1, 0, 2932897), t("Date", "+10000-01-01")),
    (tagged("D", -719529), temporal(1, 0, u64(-719529)), t("Date", "-0001-12-31")),
    (tagged("t", 45296123456789), temporal(2, 0, 45296123456789), t("LocalTime", "12:34:56.123456789")),
    (tagged("T", 45296 * 10**9, 3600), temporal(4, 3600, 41696 * 10**9), t("Time", "12:34:56+01:00")),
    (tagged("T", 0, 0), temporal(4, 0, 0), t("Time", "00:00:00Z")),
    (tagged("d", 1704198896, 0), temporal(3, 0, 1704198896), t("LocalDateTime", "2024-01-02T12:34:56")),
    (tagged("I", PARIS_WINTER, 0, 3600), temporal(5, 1, PARIS_WINTER, 3600),
     t("OffsetDateTime", "2024-01-02T12:34:56+01:00")),
    (tagged("I", PARIS_WINTER, 500000000, 0), temporal(5, 1 | 500000000 << 1, PARIS_WINTER, 0),
     t("OffsetDateTime", "2024-01-02T11:34:56.5Z")),
    (tagged("i", PARIS_WINTER, 0, "Europe/Paris"), None, t("ZonedDateTime", "2024-01-02T12:34:56+01:00[Europe/Paris]")),
    (tagged("i", PARIS_SUMMER, 7, "Europe/Paris"), None,
     t("ZonedDateTime", "2024-07-02T12:34:56.000000007+02:00[Europe/Paris]")),
    (tagged("f", PARIS_SUMMER + 7200, 0, "Europe/Paris"), None,  # Bolt 4.x sends local seconds
     t("ZonedDateTime", "2024-07-02T12:34:56+02:00[Europe/Paris]")),
    (tagged("E", 0, 0, 0, 0), temporal(6, 0, 0, 0, 0), t("Duration", "PT0S")),
    (tagged("E", 14, 3, 14706, 7), temporal(6, 7, 14, 3, 14706), t("Duration", "P1Y2M3DT4H5M6.000000007S")),
    (tagged("E", -14, -45, -14706, 0), temporal(6, 0, u64(-14), u64(-45), u64(-14706)),
     t("Duration", "P-1Y-2M-45DT-4H-5M-6S")),
    (tagged("E", 0, 0, -1, 500000000), temporal(6, 500000000, 0, 0, u64(-1)), t("Duration", "PT-0.5S")),
    (tagged("X", 7203, 1.0, 2.5), blocks(13, (1, 4), (2, 4), (2, 4), (7203, 16), double(1.0), double(2.5)),
     t("Point", "SRID=7203;POINT (1.0 2.5)")),
    (tagged("Y", 9157, 1.0, -2.0, 1e20), blocks(13, (1, 4), (3, 4), (2, 4), (9157, 16), *map(double, (1.0, -2.0, 1e20))),
     t("Point", "SRID=9157;POINT Z (1.0 -2.0 1e+20)")),
    (tagged("X", 4326, -0.1275, 51.507222), None, t("Point", "SRID=4326;POINT (-0.1275 51.507222)")),
    (tagged("Y", 4979, 0.1 + 0.2, 1e-7, 100.0), None, t("Point", "SRID=4979;POINT Z (0.30000000000000004 1e-07 100.0)")),
    ([tagged("D", 16637), tagged("D", -1)], bytes([14, 1]) + long_payload([16637, -1]),
     [t("Date", "2015-07-21"), t("Date", "1969-12-31")]),
    ([tagged("I", 1437514832, 0, 3600)], bytes([14, 5]) + long_payload([1437514832, 0, (3600 << 1) | 1]),
     [t("OffsetDateTime", "2015-07-21T22:40:32+01:00")]),
    ([tagged("E", 1, 0, 0, 0)], bytes([14, 6]) + long_payload([1, 0, 0, 0]), [t("Duration", "P1M")]),
    ([tagged("X", 4326, 12.9, 55.6)], bytes([13, 1, 2, 1, 0x10, 0xE6, 8, 8, 64]) + struct.pack("<2d", 12.9, 55.6),
     [t("Point", "SRID=4326;POINT (12.9 55.6)")]),
    ([1, 2**60], bytes([6, 8, 64]) + struct.pack("<2q", 1, 2**60), [1, t("Integer", "1152921504606846976")]),
]


def text(value):
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"), allow_nan=False)


class Typed(unittest.TestCase):
    def test_each_kind_in_both_bridges(self):
        for bolt, dump, expected in CASES:
            with self.subTest(expected=expected):
                self.assertEqual(text(expected), text(to_json(bolt, typed)))
                if dump is not None:
                    stored = values.array_payload(dump) if isinstance(dump, bytes) else values.decode(dump, None, "n")[1]
                    self.assertEqual(text(expected), text(typed(stored)))
