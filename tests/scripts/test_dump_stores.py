"""The dump's metadata header, record positions, dynamic chains, tokens,
record layouts and store versions, on stores built in memory byte by byte
from the modules' design notes: one rule of the format per test. Whole dumps
are in test_dump_samples.py.
"""

import struct
import types
import unittest

from neo4j_dump import container, graph, output, records, store_format, stores
from neo4j_dump.errors import DumpError

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
