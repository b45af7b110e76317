"""The whole conversion: a dump file in, an export directory out.

Order of work, and why:
  1. Create DIR and a private work directory inside it (same file system,
     removed at the end in every case).
  2. Stream the dump, copying only the store files into the work directory
     (archive); the transaction logs are read past, never written.
  3. Read the store version (store_format) and refuse what cannot be read,
     before any output exists.
  4. Open the stores, load the tokens, then write nodes and relationships
     to temporary files (output) and publish them only when both are done.

Anything that goes wrong raises DumpError; partial output and the work
directory are removed first.
"""

import os
import shutil
import tempfile

import neo4j_values

from . import archive, graph, output, store_format, stores
from .errors import DumpError


class Summary:
    """What a successful conversion produced."""

    def __init__(self, version, nodes, relationships, spooled_bytes):
        self.version = version  # store version, e.g. "AF4.3.0"
        self.nodes = nodes  # nodes written
        self.relationships = relationships  # relationships written
        self.spooled_bytes = spooled_bytes  # store bytes copied to disk while decoding


def _open_stores(spooled):
    if "neostore.nodestore.db" not in spooled.files:
        if any(name.startswith("block.") for name in spooled.top_level_names):
            store_format.refuse_block()
        raise DumpError("the dump holds no Neo4j record store (no neostore.nodestore.db)")
    if "neostore" not in spooled.files:
        raise DumpError("the dump is incomplete: it has no neostore")
    with open(spooled.files["neostore"], "rb") as f:
        fmt = store_format.detect(f.read(8192))
    return stores.Stores(spooled.files, fmt)


def convert(dump_path, out_dir, prefer="auto", typed=False):
    """Decodes `dump_path` into out_dir/nodes.jsonl and out_dir/rels.jsonl and returns a Summary.

    Property values are written in the typed JSON form when `typed` is true,
    else in the plain one (neo4j_values).

    Raises DumpError with the user's error line on any failure; then neither
    output file has been created (older files of those names are untouched)
    and no temporary file remains.
    """
    try:
        os.makedirs(out_dir, exist_ok=True)
        work = tempfile.mkdtemp(prefix=".neo4j-dump-", dir=out_dir)
    except OSError as e:
        raise DumpError("cannot create the output directory %s: %s" % (out_dir, e.strerror or e)) from None
    writer = None
    opened = None
    try:
        spooled = archive.spool(dump_path, work, prefer)
        opened = _open_stores(spooled)
        writer = output.Writer(out_dir, neo4j_values.typed if typed else neo4j_values.plain)
        in_use = bytearray(opened.nodes.count)
        node_count = rel_count = 0
        for node in graph.nodes(opened, in_use):
            writer.write_node(node)
            node_count += 1
        for rel in graph.relationships(opened, in_use):
            writer.write_relationship(rel)
            rel_count += 1
        writer.commit()
        writer = None
        return Summary(opened.format.version, node_count, rel_count, spooled.spooled_bytes)
    except OSError as e:
        raise DumpError("input/output error while converting into %s: %s" % (out_dir, e)) from None
    finally:
        if writer is not None:
            writer.abort()
        if opened is not None:
            opened.close()
        shutil.rmtree(work, ignore_errors=True)
