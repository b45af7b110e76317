#!/usr/bin/env python3
"""Dump bridge: decodes a Neo4j `neo4j-admin` dump into a JSON-lines export directory.

Usage: import_neo4j_dump.py --dump FILE --out DIR [--typed]

Writes DIR/nodes.jsonl and DIR/rels.jsonl (every label, node property,
relationship and relationship property; see neo4j_dump/output.py; with
--typed every property value carries its type, see neo4j_values.py) and prints
one summary line on standard output. On failure it prints one line starting
with "import_neo4j_dump: error: " on standard error, leaves no output files
and exits 1; a usage error exits 2. The decoder itself is the neo4j_dump
package beside this script.
"""

import argparse
import os
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from neo4j_dump.convert import convert  # noqa: E402 - needs the path above
from neo4j_dump.errors import DumpError  # noqa: E402

PROGRAM = "import_neo4j_dump"


class Terminated(Exception):
    """Raised from the SIGTERM handler so that cleanup (finally blocks) still runs."""


def _terminate(signum, frame):
    raise Terminated()


def main(argv=None):
    parser = argparse.ArgumentParser(prog=PROGRAM, description="Decode a Neo4j dump into nodes.jsonl and rels.jsonl.")
    parser.add_argument("--dump", required=True, help="the .dump file written by neo4j-admin")
    parser.add_argument("--out", required=True, help="the export directory to create or fill")
    parser.add_argument("--typed", action="store_true", help='write every property value with its type ({"$type":...})')
    args = parser.parse_args(argv)
    previous = signal.signal(signal.SIGTERM, _terminate)
    try:
        summary = convert(args.dump, args.out, typed=args.typed)
    except DumpError as e:
        print("%s: error: %s" % (PROGRAM, e), file=sys.stderr)
        return 1
    except (KeyboardInterrupt, Terminated):
        print("%s: error: interrupted; no output was written" % PROGRAM, file=sys.stderr)
        return 130
    except Exception as e:  # noqa: BLE001 - a bug must still end in one line, not a traceback
        print("%s: error: internal decoder failure (%s: %s)" % (PROGRAM, type(e).__name__, e), file=sys.stderr)
        return 1
    finally:
        signal.signal(signal.SIGTERM, previous)
    print(
        "decoded %s: store %s, %d nodes, %d relationships"
        % (args.dump, summary.version, summary.nodes, summary.relationships)
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
