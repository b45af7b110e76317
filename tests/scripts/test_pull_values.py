"""What the pull bridge makes of bytes and values on their own: PackStream
encodings written out by hand, malformed input the decoder must refuse,
odd values and records that are not the node or relationship asked for.
Temporal values are checked, beside the dump decoder's, in
test_dump_values.py.
"""

import contextlib
import io
import math
import unittest

from neo4j_bolt import packstream
from neo4j_bolt.packstream import ProtocolError, Structure as S
from neo4j_bolt.records import UnexpectedRecord, node_record, relationship_record
from neo4j_bolt.values import UnsupportedValue, to_json


def struct(tag, *fields):
    return S(ord(tag), fields)


class PackStreamTest(unittest.TestCase):
    def test_round_trips_through_the_smallest_encoding(self):
        cases = [
            (None, "C0"), (True, "C3"), (False, "C2"), (0, "00"), (127, "7F"), (-16, "F0"), (-17, "C8 EF"),
            (-128, "C8 80"), (128, "C9 00 80"), (-32769, "CA FF FF 7F FF"), (2**31, "CB 00 00 00 00 80 00 00 00"),
            (-2**63, "CB 80 00 00 00 00 00 00 00"), (1.1, "C1 3F F1 99 99 99 99 99 9A"),
            ("", "80"), ("A", "81 41"), ("\u00e9", "82 C3 A9"), ("x" * 16, "D0 10" + " 78" * 16),
            (b"\x01\x02", "CC 02 01 02"), ([], "90"), ([1, [2]], "92 01 91 02"),
            ({"a": 1}, "A1 81 61 01"), (S(0x3F, [{"n": -1}]), "B1 3F A1 81 6E FF"),
        ]
        for value, hex_text in cases:
            with self.subTest(value=value):
                encoded = bytes(packstream.encode(value))
                self.assertEqual(bytes.fromhex(hex_text), encoded)
                self.assertEqual(value, packstream.decode(encoded))

    def test_lengths_cross_the_size_markers(self):
        for value, header in [("z" * 15, "8F"), ("z" * 255, "D0 FF"), ("z" * 256, "D1 01 00"),
                              ("z" * 65536, "D2 00 01 00 00"), (list(range(20)), "D4 14")]:
            with self.subTest(size=len(value)):
                encoded = bytes(packstream.encode(value))
                self.assertEqual(bytes.fromhex(header), encoded[:len(bytes.fromhex(header))])
                self.assertEqual(value, packstream.decode(encoded))

    def test_malformed_input_is_refused(self):
        cases = [("C4", "unknown PackStream marker 0xC4"), ("C9 00", "runs past the end"),
                 ("82 41", "runs past the end"), ("A1 01 01", "map key is not a string"),
                 ("01 02", "trailing bytes"), ("82 C3 28", "not valid UTF-8"),
                 ("91" * 70 + "C0", "nested too deeply"), ("", "runs past the end")]
        for hex_text, message in cases:
            with self.subTest(bytes=hex_text[:12]), self.assertRaisesRegex(ProtocolError, message):
                packstream.decode(bytes.fromhex(hex_text))


class ValuesTest(unittest.TestCase):
    def test_unknown_zone_keeps_the_instant_and_the_name(self):
        warnings = io.StringIO()
        with contextlib.redirect_stderr(warnings):
            self.assertEqual("1970-01-01T00:00:00Z[Nowhere/Atlantis]", to_json(struct("i", 0, 0, "Nowhere/Atlantis")))
            self.assertEqual("1970-01-01T00:00:00[Nowhere/Atlantis]", to_json(struct("f", 0, 0, "Nowhere/Atlantis")))
        self.assertEqual(1, warnings.getvalue().count("time zone Nowhere/Atlantis is not in"))

    def test_non_finite_floats(self):
        # Points, bytes and the other values are shown pulled whole in test_pull_neo4j.py.
        self.assertEqual(["NaN", "Infinity", "-Infinity", -0.0], to_json([math.nan, math.inf, -math.inf, -0.0]))

    def test_values_that_cannot_be_properties_are_refused(self):
        for value, message in [(struct("N", 1, [], {}), "unknown Bolt type .structure tag 0x4E"),
                               (struct("V", b"", b""), "tag 0x56"), (struct("D"), "Date value with 0 fields")]:
            with self.subTest(value=value), self.assertRaisesRegex(UnsupportedValue, message):
                to_json(value)


class RecordsTest(unittest.TestCase):
    def test_unexpected_records_are_refused(self):
        cases = [(node_record, [1]), (node_record, []), (node_record, 5), (node_record, [struct("N", 1, ["A"])]),
                 (node_record, [struct("N", 1, "A", {})]), (node_record, [struct("N", 1, ["A"], [], "e")]),
                 (node_record, [struct("N", 1, ["A"], {}, "")]), (relationship_record, [struct("N", 1, [], {})]),
                 (relationship_record, [struct("R", 1, 2, 3, None, {})])]
        for function, record in cases:
            with self.subTest(record=record), self.assertRaises(UnexpectedRecord):
                function(record)
