"""The dump's metadata header, record positions, dynamic chains, tokens,
record layouts and store versions, on stores built in memory byte by byte
from the modules' design notes: one rule of the format per test. Property
blocks and dynamic payloads decode to the right JSON values, and both bridges
write temporal values as the same text. pack() writes Neo4j's bit stream
(fields from bit 0 of block 0 upward, as Bits.put does); character codes come
from Neo4j's documented tables, not the decoder's. Whole dumps are in
test_dump_samples.py.
"""

import struct
import types
import unittest

from neo4j_bolt import values as bolt_values
from neo4j_bolt.packstream import Structure
from neo4j_dump import container, graph, output, records, store_format, stores, temporal, values
from neo4j_dump.errors import DumpError
from neo4j_values import plain

HEADER = b"zstd" + struct.pack(">iqq", 1, 2, 300)

FIRST, NEXT_IN_CHAIN, IN_USE = 0, 0x80000000, 0x10000000


def dynamic(record_size, recs):
    """A dynamic store: header record, then (flags, next, data) records from id 1."""
    out = bytearray(struct.pack(">I", record_size).ljust(record_size, b"\0"))
    for flags, nxt, data in recs:
        out += (struct.pack(">II", flags | len(data), nxt) + data).ljust(record_size, b"\0")
    return bytes(out)


def modern_neostore(name, major=1):
    stream = bytes(20) + b"\x06record" + bytes([len(name)]) + name.encode() + bytes([major, 1]) + bytes(20)
    stream += bytes(-len(stream) % 8)
    return b"".join(b"\x01" + stream[i : i + 8] for i in range(0, len(stream), 8))


KEY = 0x00ABCD


def pack(*fields):
    """Packs (value, bits) fields into 64-bit blocks, first field at bit 0."""
    stream, pos = 0, 0
    for value, bits in fields:
        stream |= (value & ((1 << bits) - 1)) << pos
        pos += bits
    return tuple((stream >> (64 * i)) & 0xFFFFFFFFFFFFFFFF for i in range((pos + 63) // 64))


def decoded(blocks):
    """(key, value) of a property in the form written without --typed."""
    key, value = values.decode(blocks, None, "node 1")
    return key, plain(value)


def scalar(kind, inline, *more):
    return decoded(pack((KEY, 24), (kind, 4), (inline, 36)) + more)


def double(value):
    return struct.unpack(">Q", struct.pack(">d", value))[0]


def long_payload(numbers):
    return bytes([6, 8, 64]) + struct.pack("<%dq" % len(numbers), *numbers)


# Temporal values as java.time (so Neo4j's own export) writes them: the pull
# bridge from Bolt structures (tag, fields), the dump decoder from the same
# fields. Far dates checked with the 400-year cycle and Python's date.
DUMP_TEXT = {"D": temporal.date_text, "t": temporal.time_text, "T": temporal.offset_time_text,
             "d": temporal.local_datetime_text, "I": temporal.datetime_text, "E": temporal.duration_text}
TEMPORAL_TEXT = [
    ("D", (0,), "1970-01-01"), ("D", (-1,), "1969-12-31"), ("D", (11016,), "2000-02-29"),
    ("D", (-719528,), "0000-01-01"), ("D", (-719529,), "-0001-12-31"), ("D", (2932897,), "+10000-01-01"),
    ("D", (-1073741824,), "-2937836-09-26"),
    ("t", (0,), "00:00:00"), ("t", (86399999999999,), "23:59:59.999999999"),
    ("t", (3723 * 10**9 + 120000000,), "01:02:03.12"),
    ("T", (0, 0), "00:00:00Z"), ("T", (1, 19800), "00:00:00.000000001+05:30"), ("T", (0, -3601), "00:00:00-01:00:01"),
    ("T", (0, -19800), "00:00:00-05:30"), ("T", (0, 3661), "00:00:00+01:01:01"),
    ("d", (0, 0), "1970-01-01T00:00:00"), ("d", (-1, 999000000), "1969-12-31T23:59:59.999"),
    ("d", (-1, 5), "1969-12-31T23:59:59.000000005"),
    ("I", (0, 0, 0), "1970-01-01T00:00:00Z"), ("I", (0, 0, -28800), "1969-12-31T16:00:00-08:00"),
    ("F", (0, 0, -28800), "1970-01-01T00:00:00-08:00"),
    # London in summer (+01:00) and in winter (Z); Bolt 5 sends UTC seconds, 4.x local ones.
    ("i", (1436042000, 0, "Europe/London"), "2015-07-04T21:33:20+01:00[Europe/London]"),
    ("f", (1436045600, 0, "Europe/London"), "2015-07-04T21:33:20+01:00[Europe/London]"),
    ("i", (1420070400, 0, "Europe/London"), "2015-01-01T00:00:00Z[Europe/London]"),
    ("i", (0, 0, "Asia/Kolkata"), "1970-01-01T05:30:00+05:30[Asia/Kolkata]"),
    ("E", (0, 0, 0, 0), "PT0S"), ("E", (0, 0, 0, 5), "PT0.000000005S"), ("E", (5, 1, 43200, 0), "P5M1DT12H"),
    ("E", (14, 16, 43201, 500000000), "P1Y2M16DT12H1.5S"),
    ("E", (-14, 0, 0, 0), "P-1Y-2M"), ("E", (-13, 0, 0, 0), "P-1Y-1M"), ("E", (0, 0, -3661, 0), "PT-1H-1M-1S"),
    ("E", (0, 0, -90, 0), "PT-1M-30S"), ("E", (0, 0, -1, 500000000), "PT-0.5S"),
    ("E", (0, -3, 60, 1), "P-3DT1M0.000000001S"),
]


class Stores(unittest.TestCase):
    def test_metadata_header(self):
        self.assertEqual((2, 300), container.parse_metadata(HEADER))
        for header, message in (
            (HEADER[:20], "truncated"),
            (b"zstx" + HEADER[4:], "does not start with 'zstd'"),
            (b"zstd" + struct.pack(">iqq", 2, 0, 0), "version 2"),
            (b"zstd" + struct.pack(">iqq", 1, -1, 0), "negative"),
            (b"zstd" + struct.pack(">iqq", 1, 0, -1), "negative"),
        ):
            with self.subTest(message), self.assertRaisesRegex(DumpError, message):
                container.parse_metadata(header)

    def test_standard_and_aligned_offsets_and_counts(self):
        data = bytes(8192 * 2)
        standard = stores.RecordStore("s", data, 15, aligned=False)
        aligned = stores.RecordStore("a", data, 15, aligned=True)
        self.assertEqual(9000, standard.offset(600))
        self.assertEqual(8192 + (600 - 546) * 15, aligned.offset(600))
        self.assertEqual(545 * 15, aligned.offset(545))
        self.assertEqual((1092, 1092), (standard.count, aligned.count))
        # Counts ignore page padding and partial records.
        self.assertEqual(546 + 2, stores.RecordStore("a", bytes(8192 + 40), 15, aligned=True).count)
        self.assertEqual(2, stores.RecordStore("s", bytes(40), 15, aligned=False).count)
        with self.assertRaisesRegex(DumpError, "has no record 2"):
            stores.RecordStore("s", bytes(40), 15, aligned=False).record(2)

    def test_a_chain_concatenates_full_records_and_breaks_are_corruption(self):
        recs = [(FIRST | IN_USE, 3, b"abcdefgh"), (0, 0, b""), (NEXT_IN_CHAIN | IN_USE, 0xFFFFFFFF, b"ij")]
        self.assertEqual(b"abcdefghij", stores.DynamicStore("d", dynamic(16, recs), False).read_chain(1, "x"))
        cases = [
            ("loops", [(FIRST | IN_USE, 2, b"abcdefgh"), (NEXT_IN_CHAIN | IN_USE, 1, b"abcdefgh")]),
            ("not in use", [(FIRST, 0xFFFFFFFF, b"ab")]),
            ("wrong chain flag", [(NEXT_IN_CHAIN | IN_USE, 0xFFFFFFFF, b"ab")]),
            ("short but not last", [(FIRST | IN_USE, 2, b"ab"), (NEXT_IN_CHAIN | IN_USE, 0xFFFFFFFF, b"cd")]),
            ("has no record 9", [(FIRST | IN_USE, 9, b"abcdefgh")]),
        ]
        for message, recs in cases:
            with self.subTest(message), self.assertRaisesRegex(DumpError, message):
                stores.DynamicStore("d", dynamic(16, recs), False).read_chain(1, "x")

    def test_tokens_skip_unused_and_internal_ones(self):
        names = stores.DynamicStore(
            "n", dynamic(16, [(FIRST | IN_USE, 0xFFFFFFFF, b"Person"), (FIRST | IN_USE, 0xFFFFFFFF, "Café".encode())]), False
        )
        tokens = stores.RecordStore("t", b"\x01\0\0\0\x01" + b"\x03\0\0\0\x02" + b"\x00\0\0\0\x02" + b"\x01\0\0\0\x02", 5, False)
        self.assertEqual({0: "Person", 3: "Café"}, stores.load_tokens(tokens, names, "label"))
        keys = stores.RecordStore("k", b"\x01" + struct.pack(">ii", 7, 2), 9, False)
        self.assertEqual({0: "Café"}, stores.load_tokens(keys, names, "property key"))


class Records(unittest.TestCase):
    def test_node_labels_and_property_pointer(self):
        node = records.parse_node(struct.pack(">BIIIBB", 0x21, 0, 5, (7 << 24) | (5 << 12) | 3, 0x30, 0))
        self.assertEqual((True, (2 << 32) | 5), (node.in_use, node.next_prop))
        self.assertEqual([3, 5, 7], records.inline_labels(node.label_field))
        self.assertEqual([], records.inline_labels(0))
        self.assertIsNone(records.inline_labels((1 << 39) | 42))
        self.assertEqual(42, records.dynamic_labels_record((1 << 39) | 42))
        # No property is NONE only without high bits.
        self.assertEqual(records.NONE, records.parse_node(struct.pack(">BIIIBB", 1, 0, 0xFFFFFFFF, 0, 0, 0)).next_prop)
        self.assertEqual(0x1FFFFFFFF, records.parse_node(struct.pack(">BIIIBB", 0x11, 0, 0xFFFFFFFF, 0, 0, 0)).next_prop)

    def test_relationship_high_bits(self):
        rec = struct.pack(">BIII16sIB", 0x03, 10, 20, 0x20000000 | 0x0FFF0000 | 4, bytes(16), 0xFFFFFFFF, 0)
        rel = records.parse_relationship(rec)
        self.assertEqual(((1 << 32) | 10, (2 << 32) | 20, 4, records.NONE), (rel.start, rel.end, rel.type_id, rel.next_prop))

    def test_property_records(self):
        prop = records.parse_property(struct.pack(">BII4Q", 0x21, 7, 9, (1 << 28) | (1 << 24) | 5, 0, 0, 0))
        self.assertEqual(((2 << 32) | 7, (1 << 32) | 9), (prop.prev, prop.next))
        self.assertEqual([((1 << 28) | (1 << 24) | 5,)], list(records.split_blocks(prop, lambda b: 1, 0)))
        with self.assertRaisesRegex(DumpError, "not in use"):
            list(records.split_blocks(records.parse_property(bytes(41)), lambda b: 1, 4))
        with self.assertRaisesRegex(DumpError, "invalid block"):
            list(records.split_blocks(prop, lambda b: 5, 4))

    def test_a_relationship_of_type_relationship_also_names_it_as_label(self):
        rel = types.SimpleNamespace(id=3, type="relationship", start=8, end=17, properties={})
        self.assertEqual('{"dst":17,"id":3,"label":"relationship","properties":{},"src":8,"type":"relationship"}\n',
                         output.relationship_line(rel))

    def test_dynamic_labels_belong_to_their_node(self):
        # Eight labels do not fit inline: the label field points to a long array
        # [node id, label ids...], bit-compacted (here 3 bits per item: 5, 1, 3).
        payload = bytes([6, 1, 3, 0b11_001_101, 0b0])  # items from bit 0: 101, 001, 011
        names = stores.DynamicStore("l", dynamic(16, [(FIRST | IN_USE, 0xFFFFFFFF, payload)]), False)
        fake = types.SimpleNamespace(node_labels=names, labels={1: "Person", 3: "Actor"})
        self.assertEqual(["Person", "Actor"], graph._labels(fake, 5, (1 << 39) | 1))
        with self.assertRaisesRegex(DumpError, "does not belong to node 6"):
            graph._labels(fake, 6, (1 << 39) | 1)

    def test_refused_5x_and_unreadable_versions(self):
        # The refused 3.5/4.x versions are shown on whole dumps in test_dump_samples.py.
        cases = [
            (modern_neostore("high_limit"), "high_limit"),
            (modern_neostore("block"), "block format"),
            (modern_neostore("aligned", major=2), "unknown 5.x store format aligned \\(version 2\\)"),
            (bytes(200), "cannot be read"),
        ]
        for data, message in cases:
            with self.subTest(message), self.assertRaisesRegex(DumpError, message):
                store_format.detect(data)


class Values(unittest.TestCase):
    def test_short_strings(self):
        alphabet = "abcdefghijklmnopqrstuvwxyz"[:25]  # 39 + 125 bits: three blocks
        cases = [  # encoding, bits per character, codes, text
            (1, 4, [0, 1, 2, 3, 0xA, 0xB, 0xC], "0123 .-"), (2, 4, [2, 0, 0xB, 0xC, 0xD], "20-:/"),  # numerical, date
            (3, 5, [1, 2, 0x1B, 0x1F], "AB_/"), (4, 5, [8, 5, 12, 12, 15], "hello"),  # upper, lower
            (5, 5, [1, 0x1F, 2, 0x1C, 3], "a@b.c"), (6, 6, [1, 0x21, 0x2E, 0x3F], "a1/="),  # email, URI
            (7, 6, [0x0E, 0x25, 0x2F, 0x1F, 0x2A, 0x00, 0x3B], "Neo4j 5"),  # alphanumerical
            (8, 6, [0x01, 0x20, 0x21, 0x3E], "A;a@"),  # alphanumerical with symbols
            (9, 7, [0x5A, 0x6F, 0x2B, 0x17], "Zoë."), (10, 8, [0xE9, 0x21], "é!"),  # European, Latin-1
            (11, 4, [0xD, 0xE, 0xA, 0xD], "dead"), (12, 4, [0xB, 0xE, 0xE, 0xF], "BEEF"),  # lower and upper hex
            (0, 8, list("日本".encode("utf-8")), "日本"),  # UTF-8: the length counts bytes
            (4, 5, [ord(c) - 0x60 for c in alphabet], alphabet),
        ]
        for encoding, step, codes, text in cases:
            with self.subTest(text):
                blocks = pack((KEY, 24), (11, 4), (encoding, 5), (len(codes), 6), *[(c, step) for c in codes])
                self.assertEqual(len(blocks), values.blocks_used(blocks[0]))
                self.assertEqual((KEY, text), values.decode(blocks, None, "node 1"))
        self.assertEqual((0, ""), values.decode(pack((0, 24), (11, 4)), None, "node 1"))

    def test_scalars(self):
        cases = [
            (1, 1, True), (2, -3, -3), (3, -300, -300), (4, 0xE9, "é"), (5, -7, -7), (5, 2**31 - 1, 2**31 - 1),
            (6, (1234 << 1) | 1, 1234),  # inlined long: flag at bit 28
            (7, struct.unpack(">I", struct.pack(">f", 0.1))[0], 0.1), (7, 0x7FC00000, "NaN"),
        ]
        for kind, inline, expected in cases:
            with self.subTest(kind=kind, expected=expected):
                self.assertEqual((KEY, expected), scalar(kind, inline))
        self.assertEqual((KEY, -2**40), scalar(6, 0, (-2**40) & 0xFFFFFFFFFFFFFFFF))  # in a second block
        self.assertEqual((KEY, 2.5), scalar(8, 0, double(2.5)))
        self.assertEqual((KEY, "-Infinity"), scalar(8, 0, double(float("-inf"))))

    def test_short_arrays(self):
        # (item type, bits per item, items, value); 0 bits per item means 64
        cases = [(5, 32, [-1, 5], [-1, 5]), (1, 1, [1, 0, 1], [True, False, True]), (6, 0, [-2**63], [-2**63]),
                 (3, 9, [300, 7], [300, 7]), (5, 1, [], [])]
        for item_type, bits, raw, expected in cases:
            with self.subTest(expected=expected):
                blocks = pack((KEY, 24), (12, 4), (item_type, 4), (len(raw), 6), (bits, 6), *[(v, bits or 64) for v in raw])
                self.assertEqual(len(blocks), values.blocks_used(blocks[0]))
                self.assertEqual((KEY, expected), values.decode(blocks, None, "node 1"))

    def test_points(self):
        def point(table, code, coords):
            head = pack((KEY, 24), (13, 4), (1, 4), (len(coords), 4), (table, 4), (code, 16))
            self.assertEqual(1 + len(coords), values.blocks_used(head[0]))
            return decoded(head + tuple(double(c) for c in coords))[1]

        for table, code, coords, expected in [
            (2, 7203, [1.5, -2.0], {"crs": "cartesian", "x": 1.5, "y": -2.0, "z": None}),
            (2, 9157, [1.0, 2.0, 3.0], {"crs": "cartesian-3d", "x": 1.0, "y": 2.0, "z": 3.0}),
            (1, 4326, [12.9, 55.6], {"crs": "wgs-84", "latitude": 55.6, "longitude": 12.9, "height": None}),
            (1, 4979, [12.9, 55.6, 30.0], {"crs": "wgs-84-3d", "latitude": 55.6, "longitude": 12.9, "height": 30.0})]:
            self.assertEqual(expected, point(table, code, coords))
        with self.assertRaisesRegex(DumpError, "unknown coordinate system"):
            point(1, 9999, [0.0, 0.0])

    def test_temporal_block_layouts(self):
        def t(kind, inline_bits, *more):
            blocks = pack((KEY, 24), (14, 4), (kind, 4), (inline_bits, 32)) + more
            self.assertEqual(len(blocks), values.blocks_used(blocks[0]))
            return decoded(blocks)[1]

        self.assertEqual("2015-07-21", t(1, 1 | (16637 << 1)))  # inlined epoch day
        self.assertEqual("1969-12-31", t(1, 0, 0xFFFFFFFFFFFFFFFF))  # day -1 in the next block
        self.assertEqual("00:00:01.5", t(2, 1 | (1500000000 << 1)))  # inlined nano of day (31 bits)
        self.assertEqual("21:40:32.142", t(2, 0, 78032142000000))
        self.assertEqual("2015-07-21T21:40:32.142", t(3, 142000000, 1437514832))
        self.assertEqual("22:40:32+01:00", t(4, 3600, 78032000000000))  # stored as UTC nano of day
        self.assertEqual("2015-07-21T22:40:32.142+01:00", t(5, 1 | (142000000 << 1), 1437514832, 3600))
        self.assertEqual("P1Y2M10DT12H45M30.25S", t(6, 250000000, 14, 10, 45930))
        with self.assertRaisesRegex(DumpError, "named time zone"):
            t(5, 142000000 << 1, 1437514832, 1)

    def test_both_bridges_write_java_time_text(self):
        for tag, fields, text in TEMPORAL_TEXT:
            with self.subTest(tag=tag, fields=fields):
                self.assertEqual(text, bolt_values.to_json(Structure(ord(tag), fields)))
                if tag in DUMP_TEXT:
                    self.assertEqual(text, DUMP_TEXT[tag](*fields))

    def test_array_payloads(self):
        cases = [
            (bytes([5, 6, 2, 1 | 2 << 2 | 3 << 4]), [1, 2, 3]),  # bit-compacted ints
            (bytes([2, 8, 8, 0xFF, 0x02]), [-1, 2]),  # bytes
            (bytes([8, 8, 64]) + struct.pack("<2d", 1.5, -2.0), [1.5, -2.0]),
            (bytes([6, 8, 0]), []),
            (bytes([9]) + struct.pack(">ii", 2, 1) + b"a" + struct.pack(">i", 3) + "bé".encode(), ["a", "bé"]),
            (bytes([14, 1]) + long_payload([16637, -1]), ["2015-07-21", "1969-12-31"]),
            (bytes([14, 5]) + long_payload([1437514832, 0, (3600 << 1) | 1]), ["2015-07-21T22:40:32+01:00"]),
            (bytes([13, 1, 2, 1, 0x10, 0xE6, 8, 8, 64]) + struct.pack("<4d", 12.9, 55.6, 1.0, 2.0),
             [{"crs": "wgs-84", "latitude": 55.6, "longitude": 12.9, "height": None},
              {"crs": "wgs-84", "latitude": 2.0, "longitude": 1.0, "height": None}]),
        ]
        for payload, expected in cases:
            with self.subTest(expected=expected):
                self.assertEqual(expected, plain(values.array_payload(payload)))
        for payload in (b"", bytes([5, 9, 2, 0]), bytes([9]) + struct.pack(">ii", 1, 5) + b"ab", bytes([9, 0]), bytes([8, 8])):
            with self.subTest(payload=payload.hex()), self.assertRaises(DumpError):
                values.array_payload(payload)
