"""The Bolt messages of one read-only pull: log in, read in one transaction,
say goodbye.

    request                           tag   summary answer
    HELLO {user_agent, ...}           01    SUCCESS {server, connection_id}
    LOGON {scheme, principal, credentials}  6A  SUCCESS          (5.1 and later)
    BEGIN {db, mode: "r"}             11    SUCCESS
    RUN query, params, {}             10    SUCCESS {fields, qid}
    PULL {n, qid: -1}                 3F    RECORD [values] (71) ... then
                                            SUCCESS {has_more: true} or SUCCESS {...}
    COMMIT                            12    SUCCESS {bookmark}
    RESET                             0F    SUCCESS
    GOODBYE                           02    (none: the server closes)

Any request may instead be answered FAILURE {code, message} (7F); Bolt 5.7
and later name the code neo4j_code. After a failure the server ignores
(IGNORED, 7E) everything until RESET. In 4.x and 5.0 the credentials go
inside HELLO, as there is no LOGON.

Both queries run in one explicit read transaction, so the relationships
read are exactly those between the nodes read, even while others write.
Records are handed to the caller batch by batch as they arrive (PULL asks
for `fetch_size` at a time), so memory stays flat however large the graph.
"""

from neo4j_bolt.packstream import Structure
from neo4j_bolt.transport import ConnectionFailed, Transport

HELLO, GOODBYE, RESET, RUN, BEGIN, COMMIT, PULL, LOGON = 0x01, 0x02, 0x0F, 0x10, 0x11, 0x12, 0x3F, 0x6A
SUCCESS, RECORD, IGNORED, FAILURE = 0x70, 0x71, 0x7E, 0x7F

USER_AGENT = "halvex-pull/1.0"


class ServerFailure(Exception):
    """The server answered FAILURE; `code` and `text` are its own words."""

    def __init__(self, code, text, during):
        self.code = code
        self.text = text
        self.during = during
        super().__init__("%s (%s)" % (text, code))

    def is_login(self):
        """Whether the server refused the login itself (as opposed to, say,
        a later permission error on the database)."""
        return self.during in ("HELLO", "LOGON")


def _metadata(message):
    first = message.fields[0] if message.fields else None
    return first if isinstance(first, dict) else {}


class Session:
    """One logged-in Bolt connection."""

    def __init__(self, target, user, password, connect_timeout=15.0, read_timeout=300.0):
        self.transport = Transport(target, connect_timeout, read_timeout)
        self.version = self.transport.version
        try:
            self.server = self._log_in(target, user, password)
        except BaseException:
            self.transport.close()
            raise

    def _request(self, tag, fields, during):
        self.transport.send(Structure(tag, fields))
        return self._summary(during)

    def _summary(self, during):
        """Metadata of the SUCCESS that ends the current answer."""
        return self._summary_of(self.transport.receive(during), during)

    def _summary_of(self, message, during):
        if message.tag == SUCCESS:
            return _metadata(message)
        if message.tag == FAILURE:
            meta = _metadata(message)
            code = meta.get("neo4j_code") or meta.get("code") or "unknown code"
            text = meta.get("message") or meta.get("description") or "no message"
            raise ServerFailure(str(code), str(text), during)
        if message.tag == IGNORED:
            raise ServerFailure("Ignored", "the server ignored the request", during)
        raise ConnectionFailed("the server at %s sent an unexpected message 0x%02X during %s"
                               % (self.transport.target.address(), message.tag, during))

    def _log_in(self, target, user, password):
        hello = {"user_agent": USER_AGENT}
        if self.version >= (5, 3):
            hello["bolt_agent"] = {"product": USER_AGENT, "language": "Python"}
        if target.routing is not None:
            hello["routing"] = target.routing
        # With neither user nor password the server may run without
        # authentication; "none" is the scheme for that.
        auth = ({"scheme": "none"} if not user and not password else
                {"scheme": "basic", "principal": user, "credentials": password})
        if self.version >= (5, 1):
            server = self._request(HELLO, [hello], "HELLO")
            self._request(LOGON, [auth], "LOGON")
        else:
            hello.update(auth)
            server = self._request(HELLO, [hello], "HELLO")
        return server.get("server", "Neo4j")

    def begin(self, database):
        self._request(BEGIN, [{"db": database, "mode": "r"}], "BEGIN")

    def stream(self, query, on_batch, fetch_size):
        """Runs `query` in the open transaction and calls on_batch(records)
        for each batch of RECORD values (lists), in order."""
        self._request(RUN, [query, {}, {}], "RUN")
        while True:
            self.transport.send(Structure(PULL, [{"n": fetch_size, "qid": -1}]))
            records = []
            while True:
                message = self.transport.receive("PULL")
                if message.tag != RECORD:
                    break
                records.append(message.fields[0] if message.fields else [])
            if records:
                on_batch(records)
            if not self._summary_of(message, "PULL").get("has_more", False):
                return

    def commit(self):
        self._request(COMMIT, [], "COMMIT")

    def close(self, polite=True):
        """RESET (if the last request failed), GOODBYE, close. Errors while
        saying goodbye are ignored: the pull is over either way."""
        if polite:
            try:
                self.transport.send(Structure(RESET, []))
                self._summary("RESET")
                self.transport.send(Structure(GOODBYE, []))
            except (ConnectionFailed, ServerFailure, OSError):
                pass
        self.transport.close()
