"""The export directory: nodes.jsonl and rels.jsonl, complete or absent.

Records are written as they arrive into hidden temporary files beside the
final names (".nodes.jsonl.XXXXXX.partial"), so a graph of any size streams
to disk. Only when both files are whole are they synced and renamed into
place, relationships first, then nodes, then the directory is synced.

On failure the temporary files are removed, and so are nodes.jsonl and
rels.jsonl left by an earlier pull: a directory holding them afterwards
always holds a complete pull, never one that merely looks complete.

The importer reads nodes.csv before nodes.jsonl, and rels.csv or
relationships.csv before rels.jsonl, so a directory holding any of those
is refused: the pull would be silently shadowed by older files.
"""

import json
import os
import tempfile

NODES, RELATIONSHIPS = "nodes.jsonl", "rels.jsonl"
SHADOWING = ("nodes.csv", "rels.csv", "relationships.csv")


class OutputError(Exception):
    """The directory cannot take the export."""


def _line(record):
    # allow_nan=False: values.py already wrote non-finite floats as text,
    # so a NaN reaching here is a bug, not output.
    return json.dumps(record, ensure_ascii=False, separators=(",", ":"), allow_nan=False) + "\n"


class ExportDirectory:
    """Use as a context manager: the files are published by publish() and
    everything is cleaned up if the block ends without it."""

    def __init__(self, path):
        self.path = path
        self.counts = {NODES: 0, RELATIONSHIPS: 0}
        self._files = {}
        self._published = False

    def __enter__(self):
        try:
            os.makedirs(self.path, exist_ok=True)
        except OSError as error:
            raise OutputError("cannot create output directory %s: %s" % (self.path, error.strerror)) from None
        if not os.path.isdir(self.path):
            raise OutputError("output path %s is not a directory" % self.path)
        try:
            self._open()
        except BaseException:
            self._discard()
            raise
        return self

    def _open(self):
        for name in SHADOWING:
            if os.path.lexists(os.path.join(self.path, name)):
                pulled = NODES if name.startswith("nodes") else RELATIONSHIPS
                raise OutputError("%s already holds %s, which the import would read instead of the pulled %s; "
                                  "choose an empty directory" % (self.path, name, pulled))
        for name in (NODES, RELATIONSHIPS):
            try:
                fd, temp = tempfile.mkstemp(prefix="." + name + ".", suffix=".partial", dir=self.path)
            except OSError as error:
                raise OutputError("cannot write in %s: %s" % (self.path, error.strerror)) from None
            self._files[name] = (temp, os.fdopen(fd, "w", encoding="utf-8", newline="\n"))

    def write(self, name, records):
        """Appends JSON records (dicts) to NODES or RELATIONSHIPS."""
        stream = self._files[name][1]
        stream.write("".join(_line(record) for record in records))
        self.counts[name] += len(records)

    def publish(self):
        for temp, stream in self._files.values():
            stream.flush()
            os.fsync(stream.fileno())
            stream.close()
        for name in (RELATIONSHIPS, NODES):
            os.replace(self._files[name][0], os.path.join(self.path, name))
        self._published = True
        directory = os.open(self.path, os.O_RDONLY | os.O_DIRECTORY)
        try:
            os.fsync(directory)
        finally:
            os.close(directory)

    def _discard(self):
        for temp, stream in self._files.values():
            stream.close()
            _remove(temp)
        for name in (NODES, RELATIONSHIPS):
            _remove(os.path.join(self.path, name))

    def __exit__(self, kind, error, trace):
        if not self._published:
            self._discard()
        return False


def _remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass
