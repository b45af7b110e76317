"""Streams a dump's tar and keeps only the store files the decoder reads.

A dump's tar holds the record stores (`neostore*`), their `.id` files,
schema indexes, page-cache profiles, checkpoint files and the transaction
logs `neostore.transaction.db.N`. A 4.1 log is preallocated: in the
movies-41 sample a 41 KB dump inflates to 263 MB, almost all of it a 250 MiB
log of zeros. So the tar is read strictly forward (tarfile's "r|" stream
mode) and every entry not in STORE_FILES is skipped by reading past it;
only the store files below are copied ("spooled") into a private work
directory, where the stores module maps them. Peak disk use is therefore the
size of those store files plus the output, never the logs.

Entry names are "./relative/path"; only top-level files matter (the
database directory's own files). Directories and anything in a
subdirectory (schema/, profiles/) are skipped.

After the last entry the payload is drained so that the decompressor
verifies its checksum, and, for the zstd layouts, the number of regular
files and their total size are compared with the metadata header. tarfile
treats an archive that simply stops as finished; this comparison is what
turns a cut zstd dump into an error.
"""

import os
import tarfile

from . import container
from .errors import DumpError

# The store files the decoder reads, by their name in the database directory.
STORE_FILES = frozenset(
    [
        "neostore",
        "neostore.nodestore.db",
        "neostore.nodestore.db.labels",
        "neostore.relationshipstore.db",
        "neostore.propertystore.db",
        "neostore.propertystore.db.strings",
        "neostore.propertystore.db.arrays",
        "neostore.propertystore.db.index",
        "neostore.propertystore.db.index.keys",
        "neostore.labeltokenstore.db",
        "neostore.labeltokenstore.db.names",
        "neostore.relationshiptypestore.db",
        "neostore.relationshiptypestore.db.names",
    ]
)
CHUNK = 1 << 20


class Spooled:
    """What streaming a dump produced."""

    def __init__(self, layout, directory):
        self.layout = layout  # container.Layout of the dump
        self.directory = directory  # where the store files were copied
        self.files = {}  # store file name -> path of its copy
        self.top_level_names = set()  # every top-level regular file name seen
        self.entries = 0  # regular files in the tar
        self.entry_bytes = 0  # their total size
        self.spooled_bytes = 0  # bytes copied to disk


def _top_level_name(member_name):
    name = member_name[2:] if member_name.startswith("./") else member_name
    name = name.lstrip("/")
    return None if (not name or "/" in name) else name


def _copy(source, target_path, size):
    copied = 0
    with open(target_path, "wb") as out:
        while copied < size:
            chunk = source.read(min(CHUNK, size - copied))
            if not chunk:
                raise DumpError("the dump is truncated: it ends inside %s" % os.path.basename(target_path))
            out.write(chunk)
            copied += len(chunk)
    return copied


def spool(dump_path, directory, prefer="auto"):
    """Streams `dump_path` and copies the needed store files into `directory`.

    Returns a Spooled record. Raises DumpError for an unreadable, truncated or
    corrupted dump; files already copied stay in `directory`, which the caller
    owns and removes.
    """
    try:
        with open(dump_path, "rb") as f:
            head = f.read(8)
    except OSError as e:
        raise DumpError("cannot read the dump %s: %s" % (dump_path, e.strerror or e)) from None
    layout = container.detect_layout(head)
    result = Spooled(layout, directory)
    payload = container.open_payload(dump_path, layout, prefer)
    try:
        stream = container.checked(payload)
        expected = None
        if layout.has_metadata:
            expected = container.parse_metadata(container.read_exact(stream, 24))
        _stream_tar(stream, result)
        payload.finish()
    finally:
        payload.close()
    if expected is not None and expected != (result.entries, result.entry_bytes):
        raise DumpError(
            "the dump is truncated or corrupted: its header announces %d files (%d bytes) "
            "but the archive holds %d files (%d bytes)" % (expected + (result.entries, result.entry_bytes))
        )
    if result.entries == 0:
        raise DumpError("the dump holds no files")
    return result


def _stream_tar(stream, result):
    try:
        with tarfile.open(fileobj=stream, mode="r|") as tar:
            for member in tar:
                if not member.isfile():
                    continue
                result.entries += 1
                result.entry_bytes += member.size
                name = _top_level_name(member.name)
                if name is None:
                    continue
                result.top_level_names.add(name)
                if name not in STORE_FILES:
                    continue  # tarfile skips the data by reading past it
                target = os.path.join(result.directory, name)
                source = tar.extractfile(member)
                result.spooled_bytes += _copy(source, target, member.size)
                result.files[name] = target
    except tarfile.TarError as e:
        raise DumpError("the dump is truncated or corrupted: its archive cannot be read (%s)" % e) from None
    except EOFError:
        raise DumpError("the dump is truncated: its archive ends early") from None
