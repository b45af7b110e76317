"""A small Bolt client for reading a whole graph out of Neo4j.

    uri.py          connection URIs: host, port, TLS mode, routing context
    transport.py    socket, TLS, version handshake, message chunks
    packstream.py   the value encoding inside messages
    session.py      the messages of one read-only pull
    values.py       property values as the values of neo4j_values (beside this
                    package), written in its plain or typed JSON form
    records.py      nodes and relationships as JSON-lines records

Standard library only, so the pull runs wherever Python 3 does.
"""
