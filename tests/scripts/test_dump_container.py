"""The focus of this file: dump layouts, the metadata header and both zstd decoders.

The zstd module path runs only where `zstandard` imports in the Python that
runs the tests (Debian's python3-zstandard serves Debian's python3).
"""

import gzip
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from neo4j_dump import container
from neo4j_dump.errors import DumpError

try:
    import zstandard  # noqa: F401 - only probing whether the module path can run
    HAVE_MODULE = True
except ImportError:
    HAVE_MODULE = False

PAYLOAD = b"zstd" + struct.pack(">iqq", 1, 2, 300) + bytes(range(256)) * 40


class Layouts(unittest.TestCase):
    def test_first_bytes(self):
        cases = [
            (b"DZV1\x28\xb5\x2f\xfd\x04", "zstd", 4, True),
            (b"DGV1\x1f\x8b\x08\x00", "gzip", 4, False),
            (b"\x28\xb5\x2f\xfd\x04\x58", "zstd", 0, True),
            (b"\x1f\x8b\x08\x00\x00\x00", "gzip", 0, False),
        ]
        for head, codec, offset, metadata in cases:
            with self.subTest(head=head.hex()):
                layout = container.detect_layout(head)
                self.assertEqual((codec, offset, metadata), (layout.codec, layout.offset, layout.has_metadata))

    def test_other_files_are_refused(self):
        for head, message in ((b"", "too short"), (b"PK\x03\x04zip!", "not a neo4j-admin dump"), (b"DZV1\x1f\x8b", "not a neo4j")):
            with self.subTest(head=head):
                with self.assertRaisesRegex(DumpError, message):
                    container.detect_layout(head)

    def test_metadata_header(self):
        self.assertEqual((2, 300), container.parse_metadata(PAYLOAD[:24]))
        for header, message in (
            (PAYLOAD[:20], "truncated"),
            (b"zstx" + PAYLOAD[4:24], "does not start with 'zstd'"),
            (b"zstd" + struct.pack(">iqq", 2, 0, 0), "version 2"),
            (b"zstd" + struct.pack(">iqq", 1, -1, 0), "negative"),
        ):
            with self.subTest(message):
                with self.assertRaisesRegex(DumpError, message):
                    container.parse_metadata(header)


class Decoders(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="dump-container-")
        compressed = subprocess.run(["zstd", "-qc"], input=PAYLOAD, stdout=subprocess.PIPE, check=True).stdout
        self.dzv1 = self.write("a.dump", b"DZV1" + compressed)
        self.cut = self.write("cut.dump", b"DZV1" + compressed[:-9])
        self.dgv1 = self.write("g.dump", b"DGV1" + gzip.compress(PAYLOAD))
        self.dgv1_cut = self.write("gcut.dump", b"DGV1" + gzip.compress(PAYLOAD)[:-5])

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write(self, name, data):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read_all(self, path, prefer="auto"):
        with open(path, "rb") as f:
            layout = container.detect_layout(f.read(8))
        payload = container.open_payload(path, layout, prefer)
        try:
            data = container.read_exact(container.checked(payload), 1 << 30)
            payload.finish()
            return data
        finally:
            payload.close()

    def test_zstd_command(self):
        self.assertEqual(PAYLOAD, self.read_all(self.dzv1, "command"))
        with self.assertRaisesRegex(DumpError, "truncated or corrupted: zstd failed"):
            self.read_all(self.cut, "command")

    @unittest.skipUnless(HAVE_MODULE, "the zstandard module is not importable here")
    def test_zstd_module(self):
        self.assertEqual(PAYLOAD, self.read_all(self.dzv1, "module"))

    def test_gzip(self):
        self.assertEqual(PAYLOAD, self.read_all(self.dgv1))
        with self.assertRaisesRegex(DumpError, "truncated or corrupted: gzip failed"):
            self.read_all(self.dgv1_cut)


if __name__ == "__main__":
    unittest.main()
