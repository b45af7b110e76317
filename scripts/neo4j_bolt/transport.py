"""A Bolt connection's bytes: socket, TLS, version handshake and chunking.

Handshake (client first):

    C: 60 60 B0 17                     magic
    C: 4 offers of 4 bytes             [0, range, minor, major]: major.minor
                                       down to major.(minor - range)
    S: 00 00 minor major               the chosen version; 00 00 00 00 = none

Our offers are 5.8..5.0, 4.4..4.2, 4.1 and 4.0. Everything this client
uses (HELLO with credentials or LOGON, BEGIN with a database, PULL with a
batch size and has_more) exists in all of them; servers older than 4.0
are refused by the handshake itself. No offer is the 5.7+ manifest
sentinel, so servers answer in this plain form.

After the handshake every message travels in chunks:

    u16 length, that many bytes      repeated (length 1..65535)
    00 00                            end of message

A lone 00 00 between messages is a keep-alive (NOOP) and is skipped.
"""

import socket
import ssl
import struct

from neo4j_bolt import packstream

MAGIC = b"\x60\x60\xB0\x17"
OFFERS = ((5, 8, 8), (4, 4, 2), (4, 1, 0), (4, 0, 0))  # (major, minor, range)
MAX_CHUNK = 0xFFFF


class ConnectionFailed(Exception):
    """The server cannot be reached, or the connection broke; the message is
    complete and names the address."""


def offered_versions():
    """Every (major, minor) our handshake offers."""
    return {(major, minor - step) for major, minor, span in OFFERS for step in range(span + 1)}


def _describe_os_error(error):
    if isinstance(error, ConnectionRefusedError):
        return "connection refused (is Neo4j running, and is this its Bolt port?)"
    if isinstance(error, socket.timeout):
        return "timed out"
    if isinstance(error, socket.gaierror):
        return "host name not found"
    return error.strerror or str(error)


class Transport:
    """An open, handshaken Bolt connection carrying whole messages."""

    def __init__(self, target, connect_timeout=15.0, read_timeout=300.0):
        self.target = target
        where = target.address()
        try:
            raw = socket.create_connection((target.host, target.port), timeout=connect_timeout)
        except OSError as error:
            raise ConnectionFailed("cannot connect to Neo4j at %s: %s" % (where, _describe_os_error(error))) from None
        raw.settimeout(read_timeout)
        # Requests are small and each waits for its answer; without this,
        # Nagle's algorithm and delayed acknowledgements add tens of
        # milliseconds to every PULL.
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            self.sock = self._secure(raw, target) if target.tls != "none" else raw
            self.version = self._handshake()
        except BaseException:
            raw.close()
            raise

    def _secure(self, raw, target):
        context = ssl.create_default_context()
        if target.tls == "trust-any":
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
        try:
            return context.wrap_socket(raw, server_hostname=target.host)
        except ssl.SSLCertVerificationError as error:
            raise ConnectionFailed("TLS certificate verification failed for %s: %s (bolt+ssc:// skips the check)"
                                   % (target.address(), error.verify_message)) from None
        except (ssl.SSLError, OSError) as error:
            raise ConnectionFailed("TLS handshake with %s failed: %s (does the server have TLS enabled?)"
                                   % (target.address(), getattr(error, "reason", None) or error)) from None

    def _handshake(self):
        offers = b"".join(bytes([0, span, minor, major]) for major, minor, span in OFFERS)
        self.send_raw(MAGIC + offers)
        answer = self.receive_exactly(4, "the version handshake")
        if answer == b"HTTP":
            raise ConnectionFailed("%s answered with HTTP, not Bolt; use the Bolt port (usually 7687)"
                                   % self.target.address())
        major, minor = answer[3], answer[2]
        if answer[:2] != b"\x00\x00" or (major, minor) not in offered_versions():
            if answer == b"\x00\x00\x00\x00":
                raise ConnectionFailed("the server at %s speaks none of the Bolt versions this program does "
                                       "(5.0 to 5.8, 4.0 to 4.4)" % self.target.address())
            raise ConnectionFailed("the server at %s chose Bolt version bytes %s, which this program did not offer"
                                   % (self.target.address(), answer.hex(" ")))
        return (major, minor)

    def send_raw(self, data):
        try:
            self.sock.sendall(data)
        except OSError as error:
            raise ConnectionFailed("lost the connection to %s: %s"
                                   % (self.target.address(), _describe_os_error(error))) from None

    def receive_exactly(self, count, during):
        data = bytearray()
        while len(data) < count:
            try:
                chunk = self.sock.recv(count - len(data))
            except OSError as error:
                raise ConnectionFailed("lost the connection to %s during %s: %s"
                                       % (self.target.address(), during, _describe_os_error(error))) from None
            if not chunk:
                raise ConnectionFailed("the server at %s closed the connection during %s"
                                       % (self.target.address(), during))
            data += chunk
        return bytes(data)

    def send(self, message):
        """Sends one message (a packstream.Structure)."""
        body = packstream.encode(message)
        framed = bytearray()
        for start in range(0, len(body), MAX_CHUNK):
            piece = body[start:start + MAX_CHUNK]
            framed += struct.pack(">H", len(piece)) + piece
        framed += b"\x00\x00"
        self.send_raw(bytes(framed))

    def receive(self, during):
        """The next message from the server; `during` names what we were
        waiting for, for the error when the connection breaks."""
        body = bytearray()
        while True:
            size = struct.unpack(">H", self.receive_exactly(2, during))[0]
            if size == 0:
                if body:
                    break
                continue  # keep-alive between messages
            body += self.receive_exactly(size, during)
        try:
            message = packstream.decode(bytes(body))
        except packstream.ProtocolError as error:
            raise ConnectionFailed("the server at %s sent a malformed message during %s: %s"
                                   % (self.target.address(), during, error)) from None
        if not isinstance(message, packstream.Structure):
            raise ConnectionFailed("the server at %s sent something other than a message during %s"
                                   % (self.target.address(), during))
        return message

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass
