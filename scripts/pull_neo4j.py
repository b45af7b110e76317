#!/usr/bin/env python3
"""Copies a running Neo4j database into an export directory, over Bolt.

    pull_neo4j.py --bolt URI --credentials-file FILE --database NAME --out DIR
                  [--fetch-size N] [--typed]

The program runs this bridge for `orvane migrate --bolt` and the console's
and HTTP API's pulls; it can also be run by hand. It writes DIR/nodes.jsonl
and DIR/rels.jsonl (JSON lines, the shape of Neo4j's JSON export: every
label, every property, every relationship with its properties) and exits 0,
or prints one "pull_neo4j: error: ..." line on standard error and exits 1
(2 for bad arguments). With --typed every property value is written with
its type ({"$type":"Date","_value":"2015-07-21"}, see neo4j_values.py);
without it temporals are ISO text and points APOC maps. A failure after the URI and the credentials file
were accepted leaves neither file in DIR, not even an earlier pull's.

The user and password come only from the credentials file, a JSON object
{"user": ..., "password": ...}, never from the command line, which every
user of the machine can read. The password is sent to the server and
nowhere else: no message of this program contains it.

How it reads: one read transaction on the named database, all nodes
(MATCH (n) RETURN n), then all relationships (MATCH ()-[r]->() RETURN r),
each pulled in batches of --fetch-size records and streamed to disk.
The Bolt client is the neo4j_bolt package beside this file (standard
library only).
"""

import argparse
import json
import signal
import sys

from neo4j_bolt import uri as bolt_uri
from neo4j_bolt.output import NODES, RELATIONSHIPS, ExportDirectory, OutputError
from neo4j_bolt.records import UnexpectedRecord, node_record, relationship_record
from neo4j_bolt.session import ServerFailure, Session
from neo4j_bolt.transport import ConnectionFailed
from neo4j_bolt.values import UnsupportedValue
from neo4j_values import plain, typed

NODE_QUERY = "MATCH (n) RETURN n"
RELATIONSHIP_QUERY = "MATCH ()-[r]->() RETURN r"
DEFAULT_FETCH_SIZE = 1000


class PullError(Exception):
    """A failure whose message is complete for the user."""


def read_credentials(path):
    """(user, password) from the JSON credentials file. Messages name the
    file and the problem, never its contents."""
    try:
        with open(path, encoding="utf-8") as stream:
            data = json.load(stream)
    except FileNotFoundError:
        raise PullError("credentials file %s does not exist" % path) from None
    except OSError as error:
        raise PullError("cannot read credentials file %s: %s" % (path, error.strerror)) from None
    except (ValueError, UnicodeDecodeError):
        raise PullError("credentials file %s is not valid JSON" % path) from None
    if not isinstance(data, dict) or not isinstance(data.get("user"), str) \
            or not isinstance(data.get("password"), str):
        raise PullError('credentials file %s must be a JSON object with the strings "user" and "password"' % path)
    return data["user"], data["password"]


def pull(target, user, password, database, out, fetch_size, form=plain):
    """Writes the export directory, property values in `form` (neo4j_values.plain
    or neo4j_values.typed); returns (nodes, relationships, session)."""
    with ExportDirectory(out) as export:
        session = Session(target, user, password)
        polite = True
        try:
            session.begin(database)
            session.stream(NODE_QUERY, lambda batch: export.write(NODES, [node_record(r, form) for r in batch]),
                           fetch_size)
            session.stream(RELATIONSHIP_QUERY,
                           lambda batch: export.write(RELATIONSHIPS, [relationship_record(r, form) for r in batch]),
                           fetch_size)
            session.commit()
        except ConnectionFailed:
            polite = False  # nobody left to say goodbye to
            raise
        finally:
            session.close(polite)
        export.publish()
        return export.counts[NODES], export.counts[RELATIONSHIPS], session


def explain(error, target, database):
    """The one-line message for a failure of the pull."""
    if isinstance(error, ServerFailure):
        if error.is_login():
            return "Neo4j at %s refused the login: %s" % (target.address(), error)
        if error.code.startswith("Neo.ClientError.Database.DatabaseNotFound"):
            return "Neo4j at %s has no database %r: %s" % (target.address(), database, error)
        return "Neo4j at %s failed the %s request: %s" % (target.address(), error.during, error)
    if isinstance(error, (UnexpectedRecord, UnsupportedValue)):
        return "cannot convert what Neo4j at %s sent: %s" % (target.address(), error)
    return str(error)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(prog="pull_neo4j.py",
                                     description="Copy a running Neo4j database into DIR/nodes.jsonl and DIR/rels.jsonl.")
    parser.add_argument("--bolt", required=True, metavar="URI", help="bolt://HOST:PORT, bolt+s://, neo4j://, ...")
    parser.add_argument("--credentials-file", required=True, metavar="FILE",
                        help='JSON object with "user" and "password"')
    parser.add_argument("--database", default="neo4j", metavar="NAME")
    parser.add_argument("--out", required=True, metavar="DIR")
    parser.add_argument("--fetch-size", type=int, default=DEFAULT_FETCH_SIZE, metavar="N",
                        help="records per PULL (default %d)" % DEFAULT_FETCH_SIZE)
    parser.add_argument("--typed", action="store_true",
                        help='write every property value with its type ({"$type":...})')
    arguments = parser.parse_args(argv)
    if arguments.fetch_size < 1:
        parser.error("--fetch-size must be at least 1")
    return arguments


def main(argv=None):
    arguments = parse_arguments(argv)
    # SIGTERM ends the pull like an error, so the partial files are removed.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit("pull_neo4j: error: stopped by SIGTERM"))
    target = None
    try:
        target = bolt_uri.parse(arguments.bolt)
        user, password = read_credentials(arguments.credentials_file)
        nodes, relationships, session = pull(target, user, password, arguments.database, arguments.out,
                                             arguments.fetch_size, typed if arguments.typed else plain)
    except (PullError, bolt_uri.UriError, OutputError, ConnectionFailed, ServerFailure, UnexpectedRecord,
            UnsupportedValue) as error:
        print("pull_neo4j: error: " + explain(error, target, arguments.database), file=sys.stderr)
        return 1
    except OSError as error:
        print("pull_neo4j: error: %s" % error, file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("pull_neo4j: error: interrupted", file=sys.stderr)
        return 1
    print("pull_neo4j: %d nodes and %d relationships from %s (%s, Bolt %d.%d, database %s) into %s"
          % (nodes, relationships, target.address(), session.server, session.version[0], session.version[1],
             arguments.database, arguments.out), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
