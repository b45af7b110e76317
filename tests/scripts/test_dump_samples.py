"""The real Neo4j dumps, read in place from NEO4J_SAMPLES (else
../shared/neo4j-samples; skipped when absent), whole and damaged, through the
dump bridge. Bad dumps are a sample cut or with a byte flipped, or rebuilt
from its store files with one record or the store format changed
(build_dump, in any container layout); each ends in status 1, one
"import_neo4j_dump: error: ..." line, nothing on stdout, no file left.
With --typed, a sample gives the same bytes, and temporals written into a
rebuilt sample come out typed.
"""

import collections
import contextlib
import gzip
import importlib.util
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import unittest

import import_neo4j_dump
from neo4j_dump import archive
from neo4j_dump.convert import convert

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SCRIPT = os.path.join(ROOT, "scripts", "import_neo4j_dump.py")
SAMPLES = os.environ.get("NEO4J_SAMPLES") or os.path.join(ROOT, "..", "shared", "neo4j-samples")
MOVIES = ["movies-35", "movies-40", "movies-41", "movies-43", "movies-50"]
NORTHWIND = ["northwind-43", "northwind-50"]


def sample(name):
    """Path of a sample dump by its short name, e.g. "movies-43"."""
    return os.path.join(SAMPLES, name.split("-")[0], name + ".dump")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def sample_entries(name):
    """Returns [(entry name, bytes)] of a sample's regular files, transaction logs left out."""
    with open(sample(name), "rb", buffering=0) as f:
        f.seek(4 if f.read(4) == b"DZV1" else 0)
        raw = subprocess.run(["zstd", "-dcq"], stdin=f, stdout=subprocess.PIPE, check=True).stdout
    with tarfile.open(fileobj=io.BytesIO(raw[24:]), mode="r:") as tar:
        return [(m.name, tar.extractfile(m).read()) for m in tar if m.isfile() and "transaction" not in m.name]


def replace(entries, name, offset, data):
    """Returns a copy of `entries` with `data` written at `offset` of file "./name"."""
    return [(entry, content[:offset] + data + content[offset + len(data):] if entry == "./" + name else content)
            for entry, content in entries]


def build_dump(path, entries, layout="dzv1", extra_bytes=0):
    """Writes a dump of `entries` in `layout`: "dzv1", "zstd", "dgv1" or "gzip";
    the zstd header claims `extra_bytes` more than the entries hold."""
    buf = io.BytesIO()
    with tarfile.open(fileobj=buf, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name, content in entries:
            info = tarfile.TarInfo(name)
            info.size = len(content)
            tar.addfile(info, io.BytesIO(content))
    if layout in ("dzv1", "zstd"):
        meta = b"zstd" + struct.pack(">iqq", 1, len(entries), sum(len(c) for _, c in entries) + extra_bytes)
        body = subprocess.run(["zstd", "-qc"], input=meta + buf.getvalue(), stdout=subprocess.PIPE, check=True).stdout
        return write(path, (b"DZV1" if layout == "dzv1" else b"") + body)
    return write(path, (b"DGV1" if layout == "dgv1" else b"") + gzip.compress(buf.getvalue()))


def run_bridge(dump, out, process=False, options=()):
    """(status, stdout, stderr) of the bridge on `dump`: as orvane runs it when
    asked, else its main() here (the same contract without the start-up time)."""
    arguments = ["--dump", dump, "--out", out, *options]
    if process:
        done = subprocess.run([sys.executable, SCRIPT, *arguments], capture_output=True, text=True)
        return done.returncode, done.stdout, done.stderr
    stdout, stderr = io.StringIO(), io.StringIO()
    with contextlib.redirect_stdout(stdout), contextlib.redirect_stderr(stderr):
        status = import_neo4j_dump.main(arguments)
    return status, stdout.getvalue(), stderr.getvalue()


def canonical(nodes, rels):
    """The graph with ids replaced by node contents, so versions compare without relying on ids."""
    key = {n["id"]: json.dumps([n["labels"], n["properties"]], sort_keys=True) for n in nodes}
    return (
        collections.Counter(key.values()),
        collections.Counter(json.dumps([key[r["src"]], r["type"], key[r["dst"]], r["properties"]], sort_keys=True) for r in rels),
    )


def read_bytes(directory):
    """The bytes of nodes.jsonl and rels.jsonl in `directory`."""
    parts = []
    for part in ("nodes.jsonl", "rels.jsonl"):
        with open(os.path.join(directory, part), "rb") as f:
            parts.append(f.read())
    return parts


def by_property(nodes, name, value):
    return [n for n in nodes if n["properties"].get(name) == value]


PREFIX = "import_neo4j_dump: error: "


@unittest.skipUnless(os.path.isfile(sample("movies-43")), "the shared neo4j-samples directory is absent")
class Dumps(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        work = tempfile.TemporaryDirectory(prefix="dump-samples-")
        cls.addClassCleanup(work.cleanup)
        cls.results = {}  # sample name -> (Summary, nodes, rels, output directory listing)
        cls.outputs = {}  # sample name -> its output directory
        for name in MOVIES + NORTHWIND:
            out = os.path.join(work.name, name)
            summary = convert(sample(name), out)
            graph = []
            for part in ("nodes.jsonl", "rels.jsonl"):
                with open(os.path.join(out, part), encoding="utf-8") as f:
                    graph.append([json.loads(line) for line in f])
            cls.results[name] = (summary, *graph, sorted(os.listdir(out)))
            cls.outputs[name] = out
        cls.entries = {name: sample_entries(name) for name in ("movies-43", "movies-35", "movies-50")}

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="dump-faults-")
        self.addCleanup(shutil.rmtree, self.tmp)

    def test_every_version_gives_the_same_documented_graph(self):
        # Labels, types and counts: the migrate tests. Equal canonical graphs hold equal values, so the
        # values checked by hand are read from one version of each.
        versions = {"movies-35": "v0.A.9", "movies-40": "AF4.1.a", "movies-41": "SF4.0.0", "movies-43": "AF4.3.0",
                    "movies-50": "5.x aligned", "northwind-43": "SF4.3.0", "northwind-50": "5.x standard"}
        for name, version in versions.items():
            with self.subTest(name):
                summary, nodes, rels, listing = self.results[name]
                movies = name.startswith("movies")
                self.assertEqual(((171, 253) if movies else (1035, 3139)) + (version,),
                                 (summary.nodes, summary.relationships, summary.version))
                self.assertEqual(["nodes.jsonl", "rels.jsonl"], listing, "no temporary file is left")
                reference = self.results["movies-35" if movies else "northwind-43"]
                self.assertEqual(canonical(*reference[1:3]), canonical(nodes, rels))
        nodes, rels = self.results["movies-50"][1:3]
        (matrix,) = by_property(nodes, "title", "The Matrix")
        self.assertEqual(["Movie"], matrix["labels"])
        self.assertEqual({"title": "The Matrix", "released": 1999, "tagline": "Welcome to the Real World"},
                         matrix["properties"])
        (keanu,) = by_property(nodes, "name", "Keanu Reeves")
        self.assertEqual({"name": "Keanu Reeves", "born": 1964}, keanu["properties"])
        (role,) = [r for r in rels if r["src"] == keanu["id"] and r["dst"] == matrix["id"]]
        self.assertEqual(("ACTED_IN", {"roles": ["Neo"]}), (role["type"], role["properties"]))
        (jessica,) = by_property(nodes, "name", "Jessica Thompson")
        self.assertIn({"summary": "An amazing journey", "rating": 95},
                      [r["properties"] for r in rels if r["src"] == jessica["id"] and r["type"] == "REVIEWED"])
        nodes, rels = self.results["northwind-50"][1:3]
        (order,) = by_property(nodes, "orderID", "10248")
        (cheese,) = by_property(nodes, "productName", "Queso Cabrales")
        (line,) = [r for r in rels if r["src"] == order["id"] and r["dst"] == cheese["id"]]
        self.assertEqual(("ORDERS", {"orderID": "10248", "productID": "11", "quantity": 12, "unitPrice": "14.00",
                                     "discount": "0"}), (line["type"], line["properties"]))
        (product,) = by_property(nodes, "productName", "Chai")
        self.assertEqual((18.0, False, 39), tuple(product["properties"][k] for k in ("unitPrice", "discontinued", "unitsInStock")))

    def test_movies_41_spools_only_store_files(self):
        # Its 250 MiB preallocated transaction log must be read past, never written.
        with tempfile.TemporaryDirectory(prefix="dump-spool-") as work:
            spooled = archive.spool(sample("movies-41"), work)
            self.assertIn("neostore.transaction.db.0", spooled.top_level_names)
            self.assertEqual(sorted(archive.STORE_FILES), sorted(os.listdir(work)))
            self.assertGreater(spooled.entry_bytes, 250 << 20)
            self.assertLess(spooled.spooled_bytes, 1 << 20)

    def assert_refused(self, dump, *fragments, process=False):
        """Runs the bridge (as a process when asked, else in this process) and checks the failure contract."""
        out = os.path.join(self.tmp, "out-" + os.path.basename(dump))
        status, stdout, stderr = run_bridge(dump, out, process)
        self.assertEqual((1, "", 1), (status, stdout, len(stderr.splitlines())), stderr)
        self.assertTrue(stderr.startswith(PREFIX), stderr)
        self.assertNotIn("Traceback", stderr)
        for fragment in fragments:
            self.assertIn(fragment, stderr)
        self.assertEqual([], os.listdir(out) if os.path.isdir(out) else [])
        return stderr

    def cut(self, name, length):
        with open(sample(name), "rb") as f:
            return write(os.path.join(self.tmp, "%s-cut-%d.dump" % (name, length)), f.read()[:length])

    def rebuilt(self, name, layout="dzv1", change=None):
        entries = replace(self.entries[name], *change) if change else self.entries[name]
        path = os.path.join(self.tmp, "%s-%s-%d.dump" % (name, layout, len(os.listdir(self.tmp))))
        return build_dump(path, entries, layout)

    def test_cut_or_flipped_dumps(self):
        for name in ("movies-43", "movies-50", "northwind-43"):
            size = os.path.getsize(sample(name))
            cuts = [(0, "too short"), (3, "too short"), (7, ""), (60, "truncated"), (size // 3, "truncated"),
                    (size // 2, "truncated"), (size - 20, "truncated"), (size - 1, "truncated or corrupted: zstd failed")]
            for length, fragment in cuts:
                with self.subTest(name=name, length=length):
                    self.assert_refused(self.cut(name, length), fragment, process=(length == size // 2))
        for layout in ("gzip", "dgv1"):
            with open(self.rebuilt("movies-43", layout), "rb") as f:
                data = f.read()
            for length in (len(data) // 2, len(data) - 3):
                with self.subTest(layout=layout, length=length):
                    dump = write(os.path.join(self.tmp, "%s-%d.dump" % (layout, length)), data[:length])
                    self.assert_refused(dump, "truncated or corrupted: gzip failed")
        with open(sample("movies-43"), "rb") as f:
            data = f.read()
        for at in (len(data) // 4, len(data) // 2, len(data) - 8):  # a flipped byte of the compressed stream
            with self.subTest(at=at):
                flipped = data[:at] + bytes([data[at] ^ 0x5A]) + data[at + 1:]
                self.assert_refused(write(os.path.join(self.tmp, "flipped-%d.dump" % at), flipped))

    def test_flipped_bytes_in_records(self):
        # movies-43 is aligned; ids below are all on the first page, so offset = id * size.
        cases = [
            # relationship 0's start node becomes 0x00FFFFFF, a node that does not exist
            ("relationship store", ("neostore.relationshipstore.db", 1, b"\x00\xff\xff\xff"), "missing node"),
            ("deleted node", ("neostore.nodestore.db", 0, b"\x00"), "refers to missing node 0"),  # node 0 not in use
            # node 0's inline label field names label id 9, which is no token
            ("label id", ("neostore.nodestore.db", 9, b"\x00\x00\x00\x09\x10"), "unknown label id 9"),
            # node 0's first property record becomes 3000, beyond the property store
            ("property pointer", ("neostore.nodestore.db", 5, struct.pack(">I", 3000)), "no record 3000"),
            # node 0's first property record (55) links back to record 7, not to nothing
            ("property chain", ("neostore.propertystore.db", 55 * 41 + 1, b"\x00\x00\x00\x07"), "does not link back"),
            # the name record of label token 0 loses its in-use bit
            ("dynamic record", ("neostore.labeltokenstore.db.names", 38, b"\x00"), "not in use"),
            # the header of the label names store claims 4-byte records
            ("dynamic header", ("neostore.labeltokenstore.db.names", 0, b"\x00\x00\x00\x04"), "records of 4 bytes"),
        ]
        for what, change, fragment in cases:
            with self.subTest(what):
                self.assert_refused(self.rebuilt("movies-43", change=change), "corrupted", fragment,
                                    process=(what == "relationship store"))

    def test_unsupported_stores_and_other_files(self):
        def version(name, text):
            packed = len(text) | sum(ord(c) << (8 * (i + 1)) for i, c in enumerate(text))
            return self.rebuilt(name, change=("neostore", 36, b"\x01" + struct.pack(">Q", packed)))

        block = [("./neostore", b"\x00" * 9), ("./block.big_values.db", b"\x00" * 16)]
        missing = [e for e in self.entries["movies-43"] if e[0] != "./neostore.propertystore.db.strings"]
        cases = [
            (version("movies-43", "vE.H.4"), "Enterprise high_limit format (vE.H.4)", "APOC"),
            (version("movies-43", "HL4.0.0"), "high_limit", "APOC"),
            (version("movies-35", "v0.A.7"), "unknown store version v0.A.7", "APOC"),
            (self.rebuilt("movies-50", change=("neostore", 74, b"blocked")), "unknown 5.x store format blocked", "APOC"),
            (build_dump(os.path.join(self.tmp, "block.dump"), block), "block format", "APOC"),
            (build_dump(os.path.join(self.tmp, "missing.dump"), missing), "no neostore.propertystore.db.strings"),
            (build_dump(os.path.join(self.tmp, "claim.dump"), self.entries["movies-43"], extra_bytes=1), "announces"),
            (write(os.path.join(self.tmp, "notes.txt"), b"MATCH (n) RETURN n\n"), "not a neo4j-admin dump"),
            (os.path.join(self.tmp, "absent.dump"), "cannot read the dump"),
        ]
        for dump, *fragments in cases:
            with self.subTest(fragments[0]):
                self.assert_refused(dump, *fragments)

    def test_rebuilt_dumps_decode_in_every_layout(self):
        # The gzip layouts have no sample; a rebuilt movies-43 must decode in each, and without the zstd
        # command through the zstandard module where it is importable.
        for layout in ("dzv1", "zstd", "dgv1", "gzip"):
            with self.subTest(layout):
                out = os.path.join(self.tmp, "ok-" + layout)
                status, stdout, stderr = run_bridge(self.rebuilt("movies-43", layout), out)
                self.assertEqual(0, status, stderr)
                self.assertIn("171 nodes, 253 relationships", stdout)
                self.assertEqual(["nodes.jsonl", "rels.jsonl"], sorted(os.listdir(out)))
        if importlib.util.find_spec("zstandard"):  # Debian's python3-zstandard serves Debian's python3
            summary = convert(self.rebuilt("movies-43"), os.path.join(self.tmp, "module"), prefer="module")
            self.assertEqual((171, 253), (summary.nodes, summary.relationships))

    def test_typed_output(self):
        # The samples hold strings, integers, floats, booleans and lists of them, whose typed form is
        # their plain one: --typed writes the same bytes.
        for name in MOVIES + NORTHWIND:
            with self.subTest(name):
                out = os.path.join(self.tmp, name)
                convert(sample(name), out, typed=True)
                self.assertEqual(read_bytes(self.outputs[name]), read_bytes(out))
        # movies-43 (aligned; these records on the first page, so at id * size) with temporals stored in
        # The Matrix's property records 55 and 54: a Date as its tagline (key 25), an OffsetDateTime as
        # born (key 22) and, in a new `.arrays` record, a Date array as roles (key 26).
        arrays = dict(self.entries["movies-43"])["./neostore.propertystore.db.arrays"]
        record = -(-len(arrays) // 128)
        payload = bytes([14, 1, 6, 8, 64]) + struct.pack("<2q", 16637, -1)
        appended = bytes(record * 128 - len(arrays)) + (struct.pack(">II", 0x10000000 | len(payload), 0xFFFFFFFF)
                                                         + payload).ljust(128, b"\0")
        first = struct.pack(">4Q", 25 | 14 << 24 | 1 << 28 | (1 | 16637 << 1) << 32,
                            22 | 14 << 24 | 5 << 28 | 1 << 32, 1437514832, 3600)
        entries = replace(self.entries["movies-43"], "neostore.propertystore.db", 55 * 41 + 9, first)
        entries = replace(entries, "neostore.propertystore.db", 54 * 41 + 9 + 24, struct.pack(">Q", 26 | 10 << 24 | record << 28))
        entries = replace(entries, "neostore.propertystore.db.arrays", len(arrays), appended)
        dump = build_dump(os.path.join(self.tmp, "temporals.dump"), entries)
        outputs = {}
        for options in ((), ("--typed",)):
            out = os.path.join(self.tmp, "temporals" + "".join(options))
            status, _, stderr = run_bridge(dump, out, process=bool(options), options=options)
            self.assertEqual(0, status, stderr)
            with open(os.path.join(out, "nodes.jsonl"), encoding="utf-8") as f:
                outputs[options] = [json.loads(line) for line in f]
        (plain,) = by_property(outputs[()], "title", "The Matrix")
        (typed,) = by_property(outputs[("--typed",)], "title", "The Matrix")
        date = {"$type": "Date", "_value": "2015-07-21"}
        self.assertEqual({"title": "The Matrix", "released": 1999, "tagline": "2015-07-21",
                          "born": "2015-07-21T22:40:32+01:00", "roles": ["2015-07-21", "1969-12-31"]},
                         plain["properties"])
        self.assertEqual({"title": "The Matrix", "released": 1999, "tagline": date,
                          "born": {"$type": "OffsetDateTime", "_value": "2015-07-21T22:40:32+01:00"},
                          "roles": [date, {"$type": "Date", "_value": "1969-12-31"}]}, typed["properties"])
        self.assertEqual([n for n in outputs[()] if n is not plain], [n for n in outputs[("--typed",)] if n is not typed])
