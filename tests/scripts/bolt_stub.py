"""A stub Neo4j server speaking Bolt on a loopback port, for the pull tests.

It serves one canned graph over the Bolt versions it is told to speak through
the bridge's own PackStream codec (bench/bolt-peer-check checks the stub
against Neo4j's JavaScript driver), and misbehaves on request (a wrong
password, `close_after` records, `handshake_answer`). A query containing "(n)"
streams the nodes, any other the relationships. Every message received is
logged as (name, fields).
"""

import socket
import socketserver
import struct
import threading
from datetime import datetime, timezone
from zoneinfo import ZoneInfo

from neo4j_bolt.packstream import Structure, decode, encode


def tagged(tag, *fields):
    return Structure(ord(tag), fields)


# Values whose fields depend on the Bolt version are functions of it.
def date_time(utc_seconds, nanos, offset_or_zone):
    """A date-time with an offset (I) or zone (i); 4.x sends local seconds (F, f)."""
    def wire(version):
        zoned = isinstance(offset_or_zone, str)
        if version >= (5, 0):
            return tagged("i" if zoned else "I", utc_seconds, nanos, offset_or_zone)
        offset = offset_or_zone
        if zoned:
            instant = datetime.fromtimestamp(utc_seconds, timezone.utc)
            offset = int(instant.astimezone(ZoneInfo(offset_or_zone)).utcoffset().total_seconds())
        return tagged("f" if zoned else "F", utc_seconds + offset, nanos, offset_or_zone)
    return wire


def node(identity, labels, properties):
    """Bolt 5 adds the element id "4:stub:<identity>"."""
    return lambda version: tagged("N", identity, labels, properties,
                                  *(["4:stub:%d" % identity] if version >= (5, 0) else []))


def relationship(identity, start, end, kind, properties):
    """Bolt 5 adds the element ids "5:stub:<identity>" and "4:stub:<node>"."""
    extra = ["5:stub:%d" % identity, "4:stub:%d" % start, "4:stub:%d" % end]
    return lambda version: tagged("R", identity, start, end, kind, properties, *(extra if version >= (5, 0) else []))


def resolve(value, version):
    if callable(value):
        value = value(version)
    if isinstance(value, list):
        return [resolve(item, version) for item in value]
    if isinstance(value, dict):
        return {key: resolve(item, version) for key, item in value.items()}
    if isinstance(value, Structure):
        return Structure(value.tag, resolve(value.fields, version))
    return value


def canned_graph():
    nodes = [
        node(0, ["Person"], {"name": "Ada", "born": tagged("D", -56270), "age": 36, "score": 1.5,
                             "tags": ["math", "poetry"], "big": 2**62, "neg": -129, "ok": True,
                             "nothing_here": [], "raw": b"\x00\x7f\x80\xff", "nan": float("nan")}),
        node(1, ["Person", "Admin"], {"name": "Grace Hopper \u00e9\u4e2d",
                                      "seen": date_time(1436042000, 5000, 3600),
                                      "zoned": date_time(1436042000, 0, "Europe/London"),
                                      "local": tagged("d", 1436042000, 142000000)}),
        node(2, ["Place"], {"home": tagged("X", 7203, 1.0, 2.0), "peak": tagged("Y", 9157, 1.0, 2.0, 3.0),
                            "geo": tagged("X", 4326, 33.46789, 13.1),
                            "geo3": tagged("Y", 4979, 33.46789, 13.1, 120.5)}),
        node(3, ["Clock"], {"at": tagged("T", 45296 * 10**9, -18000), "wall": tagged("t", 45296 * 10**9 + 5),
                            "span": tagged("E", 14, 16, 43200 + 1, 500000000)}),
        node(4, [], {}),
    ]
    relationships = [relationship(10, 0, 1, "KNOWS", {"since": 1993, "roles": ["friend"]}),
                     relationship(11, 1, 0, "KNOWS", {}), relationship(12, 0, 0, "SELF", {"when": tagged("D", 0)}),
                     relationship(13, 0, 1, "KNOWS", {"since": 2001}), relationship(14, 2, 3, "relationship", {})]
    return nodes, relationships


def importable_graph(count=5):
    nodes = [node(i, ["Person" if i % 2 == 0 else "Paper"], {"name": "n%d" % i, "topic": i % 3})
             for i in range(count)]
    relationships = [relationship(100 + i, i, i + 1, "FOLLOWS" if i % 2 else "AUTHORED", {})
                     for i in range(count - 1)]
    return nodes, relationships


NAMES = {0x01: "HELLO", 0x02: "GOODBYE", 0x0F: "RESET", 0x10: "RUN", 0x11: "BEGIN", 0x12: "COMMIT",
         0x2F: "DISCARD", 0x3F: "PULL", 0x6A: "LOGON"}
ALL_VERSIONS = [(5, minor) for minor in range(8, -1, -1)] + [(4, 4)]


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        self.stub, self.failed, self.stream = self.server.stub, False, []
        self.request.settimeout(10)
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            if self.stub.tls is not None:
                self.request = self.stub.tls.wrap_socket(self.request, server_side=True)
            self.version = self.handshake()
            while self.version is not None and self.serve_one():
                pass
        except OSError:  # the client left, or the stub dropped the connection on purpose
            pass
        finally:
            self.request.close()

    def receive(self, count):
        data = b""
        while len(data) < count:
            chunk = self.request.recv(count - len(data))
            if not chunk:
                raise ConnectionAbortedError()
            data += chunk
        return data

    def handshake(self):
        if self.receive(4) != b"\x60\x60\xB0\x17":
            return None
        offers = self.receive(16)
        if self.stub.handshake_answer is not None:
            self.request.sendall(self.stub.handshake_answer)
            return None
        offered = set()
        for i in range(4):
            _, span, minor, major = offers[4 * i:4 * i + 4]
            offered |= {(major, minor - step) for step in range(span + 1)}
        for version in self.stub.speaks:
            if version in offered:
                self.request.sendall(bytes([0, 0, version[1], version[0]]))
                return version
        self.request.sendall(b"\x00\x00\x00\x00")
        return None

    def send(self, tag, *fields):
        body = encode(resolve(Structure(tag, fields), self.version))
        framed = bytearray()
        for start in range(0, len(body), 0xFFFF):
            piece = body[start:start + 0xFFFF]
            framed += struct.pack(">H", len(piece)) + piece
        self.request.sendall(bytes(framed) + b"\x00\x00")

    def fail(self, code, message, fatal=False):
        if self.version >= (5, 7):
            meta = {"gql_status": "50N42", "description": "error: general processing exception",
                    "message": message, "neo4j_code": code, "diagnostic_record": {}}
        else:
            meta = {"code": code, "message": message}
        self.send(0x7F, meta)
        self.failed = True
        if fatal:
            raise ConnectionAbortedError()

    def serve_one(self):
        body = b""
        while True:
            size = struct.unpack(">H", self.receive(2))[0]
            if size == 0 and body:
                break
            body += self.receive(size)
        message = decode(body)
        name = NAMES.get(message.tag, "0x%02X" % message.tag)
        self.stub.log.append((name, message.fields))
        if name == "GOODBYE":
            return False
        if name == "RESET":
            self.failed, self.stream = False, []
            self.send(0x70, {})
        elif self.failed:
            self.send(0x7E)
        elif name == "DISCARD":
            self.stream = []
            self.send(0x70, {})
        else:
            getattr(self, "on_" + name.lower(), self.on_unknown)(*message.fields)
        return True

    def on_unknown(self, *fields):
        self.fail("Neo.ClientError.Request.Invalid", "stub does not know this message", fatal=True)

    def check_auth(self, auth):
        if auth.get("principal") != self.stub.user or auth.get("credentials") != self.stub.password:
            self.fail("Neo.ClientError.Security.Unauthorized",
                      "The client is unauthorized due to authentication failure.", fatal=True)

    def on_hello(self, extra):
        has_auth = "credentials" in extra
        if has_auth != (self.version < (5, 1)):
            self.fail("Neo.ClientError.Request.Invalid", "credentials in the wrong message", fatal=True)
        if self.version >= (5, 3) and "bolt_agent" not in extra:
            self.fail("Neo.ClientError.Request.Invalid", "bolt_agent missing", fatal=True)
        if has_auth:
            self.check_auth(extra)
        self.send(0x70, {"server": "Neo4j/%s-stub" % (".".join(map(str, self.version))), "connection_id": "bolt-1",
                         "hints": {}})

    def on_logon(self, auth):
        self.check_auth(auth)
        self.send(0x70, {})

    def on_begin(self, extra):
        database = extra.get("db", "neo4j")
        if database not in self.stub.databases:
            self.fail("Neo.ClientError.Database.DatabaseNotFound",
                      "Database does not exist. Database name: '%s'." % database)
        else:
            self.send(0x70, {})

    def on_run(self, query, parameters, extra):
        field, self.stream = ("n", list(self.stub.nodes)) if "(n)" in query else ("r", list(self.stub.relationships))
        self.send(0x70, {"fields": [field], "t_first": 0, "qid": 0})

    def on_pull(self, extra):
        size = extra.get("n", -1)
        batch = self.stream if size < 0 else self.stream[:size]
        self.stream = self.stream[len(batch):]
        self.request.sendall(b"\x00\x00")  # a keep-alive (NOOP) between messages, as Neo4j may send
        for item in batch:
            if self.stub.close_after is not None and self.stub.records_sent >= self.stub.close_after:
                self.request.shutdown(socket.SHUT_RDWR)
                raise ConnectionAbortedError()
            self.send(0x71, [item])
            self.stub.records_sent += 1
        self.send(0x70, {"has_more": True} if self.stream else {"type": "r", "t_last": 0, "db": "neo4j"})

    def on_commit(self):
        self.send(0x70, {"bookmark": "stub:1"})


class BoltStub:
    """A running stub; use as a context manager. `port` is its loopback port."""

    def __init__(self, graph=None, speaks=None, user="neo4j", password="secret-pw", databases=("neo4j",),
                 close_after=None, handshake_answer=None, tls=None):
        self.nodes, self.relationships = graph if graph is not None else canned_graph()
        self.speaks = speaks if speaks is not None else ALL_VERSIONS
        self.user, self.password, self.databases = user, password, set(databases)
        self.close_after, self.handshake_answer, self.tls = close_after, handshake_answer, tls
        self.records_sent, self.log = 0, []

    def __enter__(self):
        self.server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), _Handler)
        self.server.daemon_threads = True
        self.server.stub = self
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True).start()
        return self

    def __exit__(self, *error):
        self.server.shutdown()
        self.server.server_close()

    def received(self, name):
        return [fields for logged, fields in self.log if logged == name]
