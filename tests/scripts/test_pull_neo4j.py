"""The pull bridge run as the program runs it (a process given --bolt,
--credentials-file, --database and --out) against the stub Bolt server,
judged by its exit status, message and files; `orvane migrate --bolt` end
to end (needs ORVANE_BINARY); PackStream encodings written out by hand,
malformed input and unexpected records; with --typed, each value with its
type. Temporal text: test_dump_format.py; the typed form of each kind of
value: test_typed_values.py.
"""

import contextlib
import io
import json
import math
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest

from bolt_stub import BoltStub, importable_graph, node, tagged
from neo4j_bolt import packstream
from neo4j_bolt.packstream import ProtocolError, Structure
from neo4j_bolt.records import UnexpectedRecord, node_record, relationship_record
from neo4j_bolt.values import UnsupportedValue, to_json

SOURCE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
BRIDGE = os.path.join(SOURCE, "scripts", "pull_neo4j.py")
BINARY = os.environ.get("ORVANE_BINARY", "")
PASSWORD = "secret-pw"


def rel(identity, start, end, label, properties):
    return {"id": "5:stub:%d" % identity, "type": "relationship", "label": label, "start": {"id": "4:stub:%d" % start},
            "end": {"id": "4:stub:%d" % end}, "properties": properties}


NODES_5 = [
    {"type": "node", "id": "4:stub:0", "labels": ["Person"], "properties": {
        "name": "Ada", "born": "1815-12-10", "age": 36, "score": 1.5, "tags": ["math", "poetry"],
        "big": 4611686018427387904, "neg": -129, "ok": True, "nothing_here": [], "raw": [0, 127, -128, -1],
        "nan": "NaN"}},
    {"type": "node", "id": "4:stub:1", "labels": ["Person", "Admin"], "properties": {
        "name": "Grace Hopper \u00e9\u4e2d", "seen": "2015-07-04T21:33:20.000005+01:00",
        "zoned": "2015-07-04T21:33:20+01:00[Europe/London]", "local": "2015-07-04T20:33:20.142"}},
    {"type": "node", "id": "4:stub:2", "labels": ["Place"], "properties": {
        "home": {"crs": "cartesian", "x": 1.0, "y": 2.0, "z": None},
        "peak": {"crs": "cartesian-3d", "x": 1.0, "y": 2.0, "z": 3.0},
        "geo": {"crs": "wgs-84", "latitude": 13.1, "longitude": 33.46789, "height": None},
        "geo3": {"crs": "wgs-84-3d", "latitude": 13.1, "longitude": 33.46789, "height": 120.5}}},
    {"type": "node", "id": "4:stub:3", "labels": ["Clock"], "properties": {
        "at": "12:34:56-05:00", "wall": "12:34:56.000000005", "span": "P1Y2M16DT12H1.5S"}},
    {"type": "node", "id": "4:stub:4", "labels": [], "properties": {}},
]
RELS_5 = [rel(10, 0, 1, "KNOWS", {"since": 1993, "roles": ["friend"]}), rel(11, 1, 0, "KNOWS", {}),
          rel(12, 0, 0, "SELF", {"when": "1970-01-01"}), rel(13, 0, 1, "KNOWS", {"since": 2001}),
          rel(14, 2, 3, "relationship", {})]


def typed(type_name, text):
    return {"$type": type_name, "_value": text}


TYPED_5 = {  # the canned values whose typed form (--typed) differs from the plain one, by property name
    "born": typed("Date", "1815-12-10"), "big": typed("Integer", "4611686018427387904"),
    "raw": typed("Base64", "AH+A/w=="), "nan": typed("Float", "NaN"),
    "seen": typed("OffsetDateTime", "2015-07-04T21:33:20.000005+01:00"),
    "zoned": typed("ZonedDateTime", "2015-07-04T21:33:20+01:00[Europe/London]"),
    "local": typed("LocalDateTime", "2015-07-04T20:33:20.142"),
    "home": typed("Point", "SRID=7203;POINT (1.0 2.0)"), "peak": typed("Point", "SRID=9157;POINT Z (1.0 2.0 3.0)"),
    "geo": typed("Point", "SRID=4326;POINT (33.46789 13.1)"),
    "geo3": typed("Point", "SRID=4979;POINT Z (33.46789 13.1 120.5)"),
    "at": typed("Time", "12:34:56-05:00"), "wall": typed("LocalTime", "12:34:56.000000005"),
    "span": typed("Duration", "P1Y2M16DT12H1.5S"), "when": typed("Date", "1970-01-01"),
}


def typed_records(records):
    return [dict(record, properties={key: TYPED_5.get(key, value) for key, value in record["properties"].items()})
            for record in records]


def bolt4_ids(records):
    """The Bolt 5 expectations with the integer identities Bolt 4 sends."""
    return json.loads(json.dumps(records).replace('"4:stub:', '"').replace('"5:stub:', '"'))


class PullTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="pull-test-")
        self.addCleanup(shutil.rmtree, self.work)
        self.out = os.path.join(self.work, "export")
        self.credentials = self.write_credentials(json.dumps({"user": "neo4j", "password": PASSWORD}))

    def write_credentials(self, content, name="credentials.json"):
        path = os.path.join(self.work, name)
        with open(path, "w") as stream:
            stream.write(content)
        os.chmod(path, 0o600)
        return path

    def pull(self, uri, *extra, credentials=None, env=None):
        command = [sys.executable, BRIDGE, "--bolt", uri, "--credentials-file", credentials or self.credentials,
                   "--database", "neo4j", "--out", self.out, *extra]
        done = subprocess.run(command, capture_output=True, text=True, timeout=60, env=env)
        self.assertNotIn(PASSWORD, done.stdout + done.stderr)
        return done

    def output(self, name):
        with open(os.path.join(self.out, name), encoding="utf-8") as stream:
            return [json.loads(line) for line in stream]

    def assert_pulled(self, done, nodes=NODES_5, relationships=RELS_5):
        self.assertEqual(0, done.returncode, done.stderr)
        self.assertEqual(nodes, self.output("nodes.jsonl"))
        self.assertEqual(relationships, self.output("rels.jsonl"))
        self.assertEqual(["nodes.jsonl", "rels.jsonl"], sorted(os.listdir(self.out)))

    def assert_failed(self, done, *fragments):
        """Exit 1, one "pull_neo4j: error: " line holding `fragments`, no pulled or temporary file left."""
        self.assertEqual(1, done.returncode, done.stderr)
        self.assertTrue(done.stderr.startswith("pull_neo4j: error: "), done.stderr)
        self.assertEqual(1, len(done.stderr.splitlines()), done.stderr)
        for fragment in fragments:
            self.assertIn(fragment, done.stderr)
        left = os.listdir(self.out) if os.path.isdir(self.out) else []
        self.assertEqual([], [name for name in left if name != "nodes.csv"])

    def test_pulls_the_whole_graph_over_each_version_in_pages(self):
        # Each version with another --fetch-size; PULL asks for that many, and has_more asks again.
        # A neo4j:// URI sends its parameters and the address as the routing context.
        for version, fetch, scheme in [((5, 8), 1, "bolt"), ((5, 4), 2, "bolt"), ((5, 1), 4, "neo4j"),
                                       ((5, 0), 5, "bolt"), ((4, 4), 1000, "bolt")]:
            with self.subTest(version=version), BoltStub(speaks=[version]) as stub:
                query = "?region=eu" if scheme == "neo4j" else ""
                done = self.pull("%s://127.0.0.1:%d%s" % (scheme, stub.port, query), "--fetch-size", str(fetch))
                routing = {"region": "eu", "address": "127.0.0.1:%d" % stub.port} if query else None
                self.assertEqual(routing, stub.received("HELLO")[0][0].get("routing"))
                self.assertIn("5 nodes and 5 relationships", done.stderr)
                self.assertIn("Bolt %d.%d" % version, done.stderr)
                ids = (lambda records: records) if version >= (5, 0) else bolt4_ids
                self.assert_pulled(done, ids(NODES_5), ids(RELS_5))
                pulls = ["PULL"] * -(-5 // fetch)
                logon = ["LOGON"] if version >= (5, 1) else []
                self.assertEqual(["HELLO", *logon, "BEGIN", "RUN", *pulls, "RUN", *pulls, "COMMIT", "RESET", "GOODBYE"],
                                 [name for name, fields in stub.log])
                self.assertEqual([{"db": "neo4j", "mode": "r"}], [f[0] for f in stub.received("BEGIN")])
                self.assertEqual([{"n": fetch, "qid": -1}] * len(pulls) * 2, [f[0] for f in stub.received("PULL")])

    def test_typed_pull_writes_each_value_with_its_type(self):
        # Every temporal and spatial structure, in the fields of Bolt 5 and of Bolt 4.4.
        for version, ids in [((5, 4), lambda records: records), ((4, 4), bolt4_ids)]:
            with self.subTest(version=version), BoltStub(speaks=[version]) as stub:
                done = self.pull("bolt://127.0.0.1:%d" % stub.port, "--typed")
                self.assert_pulled(done, typed_records(ids(NODES_5)), typed_records(ids(RELS_5)))

    def test_values_longer_than_a_chunk(self):
        # 200,001 bytes of UTF-8 in four chunks, two-byte characters split between them.
        properties = {"text": "a" + "\u00e9" * 100000, "list": list(range(70000))}
        with BoltStub(graph=([node(0, ["Doc"], properties)], [])) as stub:
            done = self.pull("bolt://127.0.0.1:%d" % stub.port)
        self.assert_pulled(done, [{"type": "node", "id": "4:stub:0", "labels": ["Doc"], "properties": properties}], [])

    def test_connection_login_and_server_failures_are_one_clear_line(self):
        # Each leaves no file, also none of an earlier pull's. A server closing mid-stream does so after 0
        # records, inside the nodes, between nodes and relationships and inside the relationships.
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            closed_port = probe.getsockname()[1]
        login = ("refused the login: The client is unauthorized due to authentication failure. "
                 "(Neo.ClientError.Security.Unauthorized)")
        cases = [
            ({}, "bolt://127.0.0.1:%d" % closed_port, "connection refused"),
            ({"speaks": [(3, 0)]}, None, "speaks none of the Bolt versions"),
            ({"handshake_answer": b"HTTP"}, None, "answered with HTTP, not Bolt"),
            ({"handshake_answer": b"\x00\x00\x00\x03"}, None, "00 00 00 03, which this program did not offer"),
            ({"handshake_answer": b"\x00\x00"}, None, "closed the connection during the version handshake"),
            ({"databases": ["other"]}, None,
             "has no database 'neo4j': Database does not exist. Database name: 'neo4j'. "
             "(Neo.ClientError.Database.DatabaseNotFound)"),
            *[({"speaks": [version], "password": "another-one"}, None, login)
              for version in [(5, 4), (5, 7), (5, 0), (4, 4)]],
            *[({"close_after": count}, None, "closed the connection during PULL") for count in [0, 3, 5, 7, 9]],
        ]
        for options, uri, message in cases:
            with self.subTest(options=options), BoltStub(**options) as stub:
                os.makedirs(self.out, exist_ok=True)
                for stale in ("nodes.jsonl", "rels.jsonl"):
                    open(os.path.join(self.out, stale), "w").close()
                self.assert_failed(self.pull(uri or "bolt://127.0.0.1:%d" % stub.port, "--fetch-size", "2"), message)

    def test_bad_credentials_uris_and_shadowing_files_are_refused_before_connecting(self):
        cases = [  # credentials file name, its content (None: absent), URI, message
            ("missing.json", None, "bolt://{}", "credentials file {} does not exist"),
            ("broken.json", '{"user": "neo4j", "password": ', "bolt://{}", "is not valid JSON"),
            ("list.json", '["neo4j", "%s"]' % PASSWORD, "bolt://{}",
             'must be a JSON object with the strings "user" and "password"'),
            ("number.json", '{"user": "neo4j", "password": 7}', "bolt://{}", 'with the strings "user" and "password"'),
            (None, None, "http://{}", "unsupported URI scheme 'http'"),
            (None, None, "bolt://neo4j:%s@{}" % PASSWORD, "must not hold a user or password"),
            (None, None, "bolt://127.0.0.1:99999", "invalid Bolt URI"), (None, None, "bolt:///", "names no host"),
            (None, None, "bolt://{}/neo4j", "must not have a path"), (None, None, "bolt://{}?a=b", "takes no query"),
        ]
        with BoltStub() as stub:
            for name, content, uri, message in cases:
                with self.subTest(message=message):
                    path = name and (self.write_credentials(content, name) if content else
                                     os.path.join(self.work, name))
                    done = self.pull(uri.format("127.0.0.1:%d" % stub.port), credentials=path)
                    self.assert_failed(done, message.format(path))
            os.makedirs(self.out)
            with open(os.path.join(self.out, "nodes.csv"), "w") as stream:
                stream.write(":ID,:LABEL\n")
            self.assert_failed(self.pull("bolt://127.0.0.1:%d" % stub.port), "already holds nodes.csv")
            self.assertEqual(["nodes.csv"], os.listdir(self.out))
            self.assertEqual([], stub.log)

    @unittest.skipUnless(shutil.which("openssl"), "openssl makes the test certificate")
    def test_tls_schemes(self):
        # The stub behind TLS with a certificate made for 127.0.0.1.
        cert, key = os.path.join(self.work, "cert.pem"), os.path.join(self.work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert], check=True, capture_output=True)
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(cert, key)
        trusting = dict(os.environ, SSL_CERT_FILE=cert)
        cases = [("bolt+ssc", None, None), ("neo4j+ssc", None, None), ("bolt+s", trusting, None),
                 ("bolt+s", None, "TLS certificate verification failed for 127.0.0.1")]
        for scheme, env, failure in cases:
            with self.subTest(scheme=scheme, trusted=env is not None), BoltStub(tls=tls) as stub:
                done = self.pull("%s://127.0.0.1:%d" % (scheme, stub.port), env=env)
                self.assert_failed(done, failure) if failure else self.assert_pulled(done)
        with BoltStub() as plain:
            self.assert_failed(self.pull("bolt+ssc://127.0.0.1:%d" % plain.port), "TLS handshake with")

    @unittest.skipUnless(BINARY, "needs ORVANE_BINARY, the built program")
    def test_migrate_pulls_imports_and_saves_or_changes_nothing(self):
        # `orvane migrate --bolt` runs the bridge of this source tree (ORVANE_HOME).
        for password in (PASSWORD, "wrong-password"):
            snapshot = os.path.join(self.work, password + ".orv")
            with self.subTest(password=password), BoltStub(graph=importable_graph(5)) as stub:
                done = subprocess.run([BINARY, "migrate", "--bolt", "bolt://127.0.0.1:%d" % stub.port,
                                       "--from", os.path.join(self.work, password), "--out", snapshot,
                                       "--user", "neo4j", "--password", password],
                                      capture_output=True, text=True, timeout=120, cwd=self.work,
                                      env=dict(os.environ, ORVANE_HOME=SOURCE))
            pulled = password == PASSWORD
            self.assertEqual(0 if pulled else 1, done.returncode, done.stdout + done.stderr)
            self.assertIn("loaded from bolt://127.0.0.1:%d nodes=5 edges=4 people=3 papers=2" % stub.port
                          if pulled else "refused the login", done.stdout + done.stderr)
            self.assertNotIn("wrong-password", done.stdout + done.stderr)
            self.assertEqual(pulled, os.path.exists(snapshot))


class CodecTest(unittest.TestCase):
    def test_round_trips_through_the_smallest_encoding(self):
        cases = [
            (None, "C0"), (True, "C3"), (False, "C2"), (0, "00"), (127, "7F"), (-16, "F0"), (-17, "C8 EF"),
            (-128, "C8 80"), (128, "C9 00 80"), (-32769, "CA FF FF 7F FF"), (2**31, "CB 00 00 00 00 80 00 00 00"),
            (-2**63, "CB 80 00 00 00 00 00 00 00"), (1.1, "C1 3F F1 99 99 99 99 99 9A"),
            ("", "80"), ("A", "81 41"), ("\u00e9", "82 C3 A9"), ("x" * 16, "D0 10" + " 78" * 16),
            (b"\x01\x02", "CC 02 01 02"), ([], "90"), ([1, [2]], "92 01 91 02"),
            ({"a": 1}, "A1 81 61 01"), (Structure(0x3F, [{"n": -1}]), "B1 3F A1 81 6E FF"),
        ]
        for value, hex_text in cases:
            with self.subTest(value=value):
                encoded = bytes(packstream.encode(value))
                self.assertEqual(bytes.fromhex(hex_text), encoded)
                self.assertEqual(value, packstream.decode(encoded))
        # Lengths crossing the size markers: the header only.
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

    def test_values_zones_and_refusals(self):
        warnings = io.StringIO()
        with contextlib.redirect_stderr(warnings):  # an unknown zone keeps the instant and the name
            self.assertEqual("1970-01-01T00:00:00Z[Nowhere/Atlantis]", to_json(tagged("i", 0, 0, "Nowhere/Atlantis")))
            self.assertEqual("1970-01-01T00:00:00[Nowhere/Atlantis]", to_json(tagged("f", 0, 0, "Nowhere/Atlantis")))
        self.assertEqual(1, warnings.getvalue().count("time zone Nowhere/Atlantis is not in"))
        self.assertEqual(["NaN", "Infinity", "-Infinity", -0.0], to_json([math.nan, math.inf, -math.inf, -0.0]))
        for value, message in [(tagged("N", 1, [], {}), "unknown Bolt type .structure tag 0x4E"),
                               (tagged("V", b"", b""), "tag 0x56"), (tagged("D"), "Date value with 0 fields")]:
            with self.subTest(value=value), self.assertRaisesRegex(UnsupportedValue, message):
                to_json(value)

    def test_unexpected_records_are_refused(self):
        cases = [(node_record, [1]), (node_record, []), (node_record, 5), (node_record, [tagged("N", 1, ["A"])]),
                 (node_record, [tagged("N", 1, "A", {})]), (node_record, [tagged("N", 1, ["A"], [], "e")]),
                 (node_record, [tagged("N", 1, ["A"], {}, "")]), (relationship_record, [tagged("N", 1, [], {})]),
                 (relationship_record, [tagged("R", 1, 2, 3, None, {})])]
        for function, record in cases:
            with self.subTest(record=record), self.assertRaises(UnexpectedRecord):
                function(record)
