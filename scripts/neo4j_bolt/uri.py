"""Neo4j connection URIs: where to connect and whether to use TLS.

    scheme            TLS                          routing context in HELLO
    bolt://           no                           no
    bolt+s://         yes, certificate verified    no
    bolt+ssc://       yes, any certificate         no
    neo4j://          no                           yes
    neo4j+s://        yes, certificate verified    yes
    neo4j+ssc://      yes, any certificate         yes

The port defaults to 7687. A neo4j:// URI is not resolved through a
routing table: the pull reads from the one server named, and the routing
context only lets that server route the read itself when it is configured
to; the URI's query parameters join that context, as drivers do. User names and passwords in a URI are refused, because credentials
travel only in the credentials file; the URI may appear in process lists
and logs.
"""

import urllib.parse

DEFAULT_PORT = 7687

_SCHEMES = {
    "bolt": ("none", False), "bolt+s": ("verify", False), "bolt+ssc": ("trust-any", False),
    "neo4j": ("none", True), "neo4j+s": ("verify", True), "neo4j+ssc": ("trust-any", True),
}


class UriError(Exception):
    """The URI cannot name a Neo4j server."""


class Target:
    """A parsed connection URI."""

    def __init__(self, host, port, tls, routing):
        self.host = host  # name or address, IPv6 without brackets
        self.port = port
        self.tls = tls  # "none", "verify" or "trust-any"
        self.routing = routing  # routing context for HELLO (dict), or None

    def address(self):
        """host:port for messages, IPv6 in brackets."""
        return ("[%s]:%d" if ":" in self.host else "%s:%d") % (self.host, self.port)


def parse(uri):
    """The Target that `uri` names. Raises UriError with a message that
    never repeats a password the URI might hold."""
    try:
        parts = urllib.parse.urlsplit(uri)
        port = parts.port
    except ValueError:
        raise UriError("invalid Bolt URI; expected bolt://HOST:PORT") from None
    scheme = parts.scheme.lower()
    if scheme not in _SCHEMES:
        raise UriError("unsupported URI scheme %r; use bolt://, bolt+s://, bolt+ssc://, "
                       "neo4j://, neo4j+s:// or neo4j+ssc://" % scheme)
    if parts.username is not None or parts.password is not None:
        raise UriError("the Bolt URI must not hold a user or password; they are read from the credentials file")
    if not parts.hostname:
        raise UriError("the Bolt URI names no host; expected bolt://HOST:PORT")
    if parts.path not in ("", "/"):
        raise UriError("the Bolt URI must not have a path; name the database with --database")
    tls, routed = _SCHEMES[scheme]
    if parts.query and not routed:
        raise UriError("a bolt:// URI takes no query; routing parameters need neo4j://")
    port = port if port is not None else DEFAULT_PORT
    routing = None
    if routed:
        routing = dict(urllib.parse.parse_qsl(parts.query, keep_blank_values=True))
        routing["address"] = Target(parts.hostname, port, tls, None).address()
    return Target(parts.hostname, port, tls, routing)
