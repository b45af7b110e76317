"""A small Bolt client for reading a whole graph out of Neo4j.

    uri.py          connection URIs: host, port, TLS mode, routing context
    transport.py    socket, TLS, version handshake, message chunks
    packstream.py   the value encoding inside messages
    session.py      the messages of one read-only pull
    values.py       property values as JSON (temporal and spatial as text and maps)
    records.py      nodes and relationships as JSON-lines records

Standard library only, so the pull runs wherever Python 3 does.
"""
