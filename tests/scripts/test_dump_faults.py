"""The focus of this file: bad dumps end in one error line, exit 1 and no output files.

Faults are injected the LevelDB way: cut the real dump at several offsets,
flip a byte of its compressed stream, and rebuild it (dump_fixtures) with one
record changed or one store format swapped. Every case runs the bridge
script as orvane runs it and checks the whole contract: status 1, exactly one
stderr line "import_neo4j_dump: error: ..." (never a traceback), nothing on
stdout, and an output directory without nodes.jsonl, rels.jsonl or
temporary files.
"""

import os
import shutil
import struct
import tempfile
import unittest

import dump_fixtures as fx

PREFIX = "import_neo4j_dump: error: "


@unittest.skipUnless(fx.have_samples(), "the shared neo4j-samples directory is absent")
class Faults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.entries = {name: fx.sample_entries(name) for name in ("movies-43", "movies-35", "movies-50")}

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="dump-faults-")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def assert_refused(self, dump, *fragments, process=False):
        """Runs the bridge (as a process when asked, else in this process) and checks the failure contract."""
        out = os.path.join(self.tmp, "out-" + os.path.basename(dump))
        if process:
            result = fx.run_bridge(dump, out)
            status, stdout, stderr = result.returncode, result.stdout, result.stderr
        else:
            status, stdout, stderr = fx.run_in_process(dump, out)
        self.assertEqual(1, status, stderr)
        self.assertEqual("", stdout)
        lines = stderr.splitlines()
        self.assertEqual(1, len(lines), stderr)
        self.assertTrue(lines[0].startswith(PREFIX), lines[0])
        self.assertNotIn("Traceback", stderr)
        for fragment in fragments:
            self.assertIn(fragment, lines[0])
        self.assertEqual([], os.listdir(out) if os.path.isdir(out) else [])
        return lines[0]

    def cut(self, name, length):
        with open(fx.sample(name), "rb") as f:
            data = f.read()
        path = os.path.join(self.tmp, "%s-cut-%d.dump" % (name, length if length >= 0 else len(data) + length))
        with open(path, "wb") as f:
            f.write(data[:length])
        return path

    def rebuilt(self, name, layout="dzv1", change=None):
        entries = self.entries[name]
        if change:
            entries = fx.replace(entries, *change)
        return fx.build_dump(os.path.join(self.tmp, "%s-%s.dump" % (name, layout)), entries, layout)

    def test_truncated_dumps(self):
        for name in ("movies-43", "movies-50", "northwind-43"):
            size = os.path.getsize(fx.sample(name))
            for length in (0, 3, 7, 60, size // 3, size // 2, size - 20, size - 1):
                with self.subTest(name=name, length=length):
                    self.assert_refused(self.cut(name, length), process=(length == size // 2))

    def test_truncated_gzip_layouts(self):
        for layout in ("gzip", "dgv1"):
            dump = self.rebuilt("movies-43", layout)
            with open(dump, "rb") as f:
                data = f.read()
            for length in (len(data) // 2, len(data) - 3):
                with self.subTest(layout=layout, length=length):
                    with open(dump, "wb") as f:
                        f.write(data[:length])
                    self.assert_refused(dump, "truncated")

    def test_flipped_byte_in_the_compressed_stream(self):
        with open(fx.sample("movies-43"), "rb") as f:
            data = bytearray(f.read())
        for at in (len(data) // 4, len(data) // 2, len(data) - 8):
            with self.subTest(at=at):
                flipped = bytearray(data)
                flipped[at] ^= 0x5A
                path = os.path.join(self.tmp, "flipped-%d.dump" % at)
                with open(path, "wb") as f:
                    f.write(flipped)
                self.assert_refused(path)

    def test_flipped_bytes_in_records(self):
        # movies-43 is aligned; ids below are all on the first page, so offset = id * size.
        cases = [
            # relationship 0's start node becomes 0x00FFFFFF, a node that does not exist
            ("relationship store", ("neostore.relationshipstore.db", 1, b"\x00\xff\xff\xff"), "missing node"),
            # node 0's inline label field names label id 9, which is no token
            ("label id", ("neostore.nodestore.db", 9, b"\x00\x00\x00\x09\x10"), "unknown label id 9"),
            # node 0's first property record becomes 3000, beyond the property store
            ("property pointer", ("neostore.nodestore.db", 5, struct.pack(">I", 3000)), "no record 3000"),
            # the name record of label token 0 loses its in-use bit
            ("dynamic record", ("neostore.labeltokenstore.db.names", 38, b"\x00"), "not in use"),
            # the header of the label names store claims 4-byte records
            ("dynamic header", ("neostore.labeltokenstore.db.names", 0, b"\x00\x00\x00\x04"), "records of 4 bytes"),
        ]
        for what, change, fragment in cases:
            with self.subTest(what):
                dump = self.rebuilt("movies-43", change=change)
                self.assert_refused(dump, "corrupted", fragment, process=(what == "relationship store"))

    def test_unsupported_store_formats(self):
        def packed(version):
            value = len(version) | sum(ord(c) << (8 * (i + 1)) for i, c in enumerate(version))
            return b"\x01" + struct.pack(">Q", value)

        cases = [
            ("movies-43", ("neostore", 36, packed("vE.H.4")), "high_limit"),
            ("movies-43", ("neostore", 36, packed("HL4.0.0")), "high_limit"),
            ("movies-35", ("neostore", 36, packed("v0.A.7")), "unknown store version v0.A.7"),
            ("movies-50", ("neostore", 74, b"blocked"), "unknown 5.x store format blocked"),
        ]
        for name, change, fragment in cases:
            with self.subTest(fragment):
                line = self.assert_refused(self.rebuilt(name, change=change), fragment)
                self.assertIn("APOC", line)

    def test_block_format_and_incomplete_stores(self):
        block = [("./neostore", b"\x00" * 9), ("./block.big_values.db", b"\x00" * 16)]
        self.assert_refused(fx.build_dump(os.path.join(self.tmp, "block.dump"), block), "block format", "APOC")
        missing = [e for e in self.entries["movies-43"] if e[0] != "./neostore.propertystore.db.strings"]
        self.assert_refused(fx.build_dump(os.path.join(self.tmp, "missing.dump"), missing), "no neostore.propertystore.db.strings")

    def test_not_a_dump(self):
        path = os.path.join(self.tmp, "notes.txt")
        with open(path, "w") as f:
            f.write("MATCH (n) RETURN n\n")
        self.assert_refused(path, "not a neo4j-admin dump")
        self.assert_refused(os.path.join(self.tmp, "absent.dump"), "cannot read the dump")

    def test_rebuilt_dumps_decode_in_every_layout(self):
        # The gzip layouts have no sample; a rebuilt movies-43 must decode in each.
        for layout in ("dzv1", "zstd", "dgv1", "gzip"):
            with self.subTest(layout):
                out = os.path.join(self.tmp, "ok-" + layout)
                status, stdout, stderr = fx.run_in_process(self.rebuilt("movies-43", layout), out)
                self.assertEqual(0, status, stderr)
                self.assertIn("171 nodes, 253 relationships", stdout)
                self.assertEqual(["nodes.jsonl", "rels.jsonl"], sorted(os.listdir(out)))


if __name__ == "__main__":
    unittest.main()
