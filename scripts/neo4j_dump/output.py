"""Writes DIR/nodes.jsonl and DIR/rels.jsonl, visible only once both are complete.

Layout (JSON lines, one compact object per line, keys sorted):

  nodes.jsonl  {"id":17,"labels":["Movie"],"properties":{"released":1999,"title":"The Matrix"}}
  rels.jsonl   {"dst":17,"id":3,"properties":{"roles":["Neo"]},"src":8,"type":"ACTED_IN"}

"labels" holds every label (the migration importer reads a one-element list
as the node's label); "src"/"dst" are node ids. A relationship whose type is
literally "relationship" also carries "label" with the same name, because
the importer reads that type value as "look in label".

Property values are written in the form given to the Writer: plain (the
default, what the importer reads today: temporals as ISO text, points as
APOC maps) or typed (every value with its type, {"$type":...,"_value":...});
neo4j_values holds both.

Both files are written under hidden temporary names in DIR, flushed and
synced, then renamed to their final names, and DIR is synced. On any
failure the temporary files are removed, so a failed run never leaves files
under the names the importer reads. Existing files of those names are
replaced only by a successful run.
"""

import json
import os
import tempfile

from neo4j_values import plain

NODES = "nodes.jsonl"
RELS = "rels.jsonl"


def _line(obj):
    return json.dumps(obj, ensure_ascii=False, separators=(",", ":"), sort_keys=True, allow_nan=False) + "\n"


def _properties(properties, form):
    return {key: form(value) for key, value in properties.items()}


def node_line(node, form=plain):
    return _line({"id": node.id, "labels": node.labels, "properties": _properties(node.properties, form)})


def relationship_line(rel, form=plain):
    obj = {"id": rel.id, "type": rel.type, "src": rel.start, "dst": rel.end,
           "properties": _properties(rel.properties, form)}
    if rel.type == "relationship":
        obj["label"] = rel.type
    return _line(obj)


class Writer:
    """Owns the two temporary files until commit() publishes them or abort() removes them."""

    def __init__(self, directory, form=plain):
        self.directory = directory  # the output directory, which must exist
        self.form = form  # neo4j_values.plain or neo4j_values.typed
        self._files = {}  # final name -> (temporary path, open file)
        mask = os.umask(0)
        os.umask(mask)
        for name in (NODES, RELS):
            fd, path = tempfile.mkstemp(prefix="." + name + ".", suffix=".partial", dir=directory)
            # mkstemp makes the file private; give it the mode a plain open() would have.
            os.fchmod(fd, 0o666 & ~mask)
            self._files[name] = (path, os.fdopen(fd, "w", encoding="utf-8", newline="\n"))

    def write_node(self, node):
        self._files[NODES][1].write(node_line(node, self.form))

    def write_relationship(self, rel):
        self._files[RELS][1].write(relationship_line(rel, self.form))

    def commit(self):
        """Syncs both files and renames them to their final names."""
        for path, f in self._files.values():
            f.flush()
            os.fsync(f.fileno())
            f.close()
        published = []
        try:
            for name, (path, _) in self._files.items():
                final = os.path.join(self.directory, name)
                os.replace(path, final)
                published.append(final)
        except OSError:
            for final in published:
                os.unlink(final)
            raise
        self._files = {}
        _sync_directory(self.directory)

    def abort(self):
        """Closes and removes whatever temporary files remain; never raises."""
        for path, f in self._files.values():
            try:
                f.close()
            except OSError:
                pass
            try:
                os.unlink(path)
            except OSError:
                pass
        self._files = {}


def _sync_directory(directory):
    fd = os.open(directory, os.O_RDONLY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)
