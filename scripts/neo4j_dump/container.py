"""The `.dump` container: which layout a file has, and its decompressed stream.

Layouts written by `neo4j-admin` (identified by their first bytes):

  | layout                      | first bytes             | after decompression           |
  |-----------------------------|-------------------------|-------------------------------|
  | 5.x zstd: "DZV1" + zstd     | 44 5A 56 31 28 B5 2F FD | "zstd" + metadata + tar       |
  | 5.x gzip: "DGV1" + gzip     | 44 47 56 31 1F 8B       | tar                           |
  | 3.5/4.x zstd: bare zstd     | 28 B5 2F FD             | "zstd" + metadata + tar       |
  | 3.5/4.x gzip: bare gzip     | 1F 8B                   | tar                           |

The metadata header follows the 4 ASCII bytes "zstd" and is written big-endian
by Java's DataOutputStream (20 bytes):

  | offset | size | meaning                                             |
  |--------|------|-----------------------------------------------------|
  | 0      | 4    | int32 format version, 1                             |
  | 4      | 8    | int64 number of regular files in the tar            |
  | 12     | 8    | int64 total bytes of those files                    |

(Checked on all seven samples: the counts cover regular files only, not the
directory entries, and include the transaction logs.)

The archive module checks both counts after streaming the tar, which is how a
truncated zstd dump is caught even when the decompressor itself stops
quietly. The gzip layouts carry no metadata; there the gzip trailer's length
and CRC catch truncation.

Decompression uses the `zstd` command when it is on PATH (it runs beside us,
so decompressing and decoding overlap), else the `zstandard` module, else
fails with a line naming both. The stream is read forward only: nothing of
the decompressed archive is written to disk here.
"""

import gzip
import shutil
import struct
import subprocess
import zlib

from .errors import DumpError

ZSTD_MAGIC = b"\x28\xb5\x2f\xfd"
GZIP_MAGIC = b"\x1f\x8b"
METADATA_MARKER = b"zstd"
METADATA_SIZE = 20
INSTALL_HINT = "install Debian's zstd or python3-zstandard (scripts/install-deps.sh)"


class Layout:
    """What the first bytes of a dump say: where the payload starts and how it is compressed."""

    def __init__(self, name, offset, codec):
        self.name = name  # human name used in messages
        self.offset = offset  # byte offset of the compressed payload in the file
        self.codec = codec  # "zstd" or "gzip"

    @property
    def has_metadata(self):
        # Only the zstd writers put the "zstd" marker and counts before the tar.
        return self.codec == "zstd"


def detect_layout(head):
    """Returns the Layout for the first bytes of a dump file.

    Raises DumpError when the bytes match no layout; the message says what
    a dump normally starts with, because the likely cause is a wrong file.
    """
    if head[:4] == b"DZV1" and head[4:8] == ZSTD_MAGIC:
        return Layout("5.x zstd (DZV1)", 4, "zstd")
    if head[:4] == b"DGV1" and head[4:6] == GZIP_MAGIC:
        return Layout("5.x gzip (DGV1)", 4, "gzip")
    if head[:4] == ZSTD_MAGIC:
        return Layout("3.5/4.x zstd", 0, "zstd")
    if head[:2] == GZIP_MAGIC:
        return Layout("3.5/4.x gzip", 0, "gzip")
    if len(head) < 4:
        raise DumpError("the file is too short to be a Neo4j dump")
    raise DumpError(
        "not a neo4j-admin dump: it starts with %s, not DZV1, DGV1 or a zstd/gzip frame" % head[:8].hex(" ")
    )


def parse_metadata(header):
    """Returns (file_count, total_bytes) from the 24 bytes "zstd" + metadata.

    Raises DumpError when the marker or the version is not what Neo4j writes.
    """
    if len(header) < len(METADATA_MARKER) + METADATA_SIZE:
        raise DumpError("the dump is truncated: it ends inside its metadata header")
    if header[:4] != METADATA_MARKER:
        raise DumpError("the dump is corrupted: its metadata header does not start with 'zstd'")
    version, files, total = struct.unpack(">iqq", header[4 : 4 + METADATA_SIZE])
    if version != 1:
        raise DumpError("unsupported dump metadata version %d (only version 1 is known)" % version)
    if files < 0 or total < 0:
        raise DumpError("the dump is corrupted: its metadata header holds negative counts")
    return files, total


class _ZstdCommand:
    """Decompresses through a `zstd -dc` child that reads the dump file directly."""

    def __init__(self, path, offset):
        # Unbuffered, so that the descriptor's own offset is where seek() put it:
        # the child inherits the descriptor at that offset, so the DZV1 prefix
        # is skipped without copying the file.
        self._file = open(path, "rb", buffering=0)
        self._file.seek(offset)
        self._proc = subprocess.Popen(
            ["zstd", "-dcq"], stdin=self._file, stdout=subprocess.PIPE, stderr=subprocess.PIPE
        )

    def read(self, size):
        return self._proc.stdout.read(size)

    def finish(self):
        """Drains the stream so the frame checksum is verified; raises DumpError on failure."""
        while self._proc.stdout.read(1 << 20):
            pass
        err = self._proc.stderr.read().decode("utf-8", "replace").strip()
        code = self._proc.wait()
        if code != 0:
            detail = err.splitlines()[-1] if err else "exit status %d" % code
            raise DumpError("the dump is truncated or corrupted: zstd failed: %s" % detail)

    def close(self):
        if self._proc.poll() is None:
            self._proc.kill()
        self._proc.wait()
        self._proc.stdout.close()
        self._proc.stderr.close()
        self._file.close()


class _ZstdModule:
    """Decompresses with the `zstandard` module (python3-zstandard)."""

    def __init__(self, path, offset, zstandard):
        self._error = zstandard.ZstdError
        self._file = open(path, "rb")
        self._file.seek(offset)
        self._reader = zstandard.ZstdDecompressor().stream_reader(self._file, read_across_frames=True)

    def read(self, size):
        try:
            return self._reader.read(size)
        except self._error as e:
            raise DumpError("the dump is truncated or corrupted: zstd failed: %s" % e) from None

    def finish(self):
        while self.read(1 << 20):
            pass

    def close(self):
        self._reader.close()
        self._file.close()


class _Gzip:
    """Decompresses the gzip layouts with the standard library."""

    def __init__(self, path, offset):
        self._file = open(path, "rb")
        self._file.seek(offset)
        self._reader = gzip.GzipFile(fileobj=self._file, mode="rb")

    def read(self, size):
        try:
            return self._reader.read(size)
        except (EOFError, OSError, zlib.error) as e:
            raise DumpError("the dump is truncated or corrupted: gzip failed: %s" % e) from None

    def finish(self):
        while self.read(1 << 20):
            pass

    def close(self):
        self._reader.close()
        self._file.close()


def _zstd_module():
    try:
        import zstandard  # noqa: PLC0415 - optional dependency, looked up only when needed
    except ImportError:
        return None
    return zstandard


def open_payload(path, layout, prefer="auto"):
    """Opens the decompressed stream of a dump: an object with read(n), finish() and close().

    finish() reads to the end and raises DumpError if the compressed data was
    truncated or failed its checksum; close() releases everything and is safe
    after a failure. `prefer` is "auto", "command" or "module" (tests use it
    to exercise both zstd paths). Raises DumpError when no zstd decoder exists.
    """
    if layout.codec == "gzip":
        return _Gzip(path, layout.offset)
    have_command = shutil.which("zstd") is not None
    module = _zstd_module() if prefer != "command" else None
    if prefer != "module" and have_command:
        return _ZstdCommand(path, layout.offset)
    if module is not None:
        return _ZstdModule(path, layout.offset, module)
    raise DumpError("cannot decompress a zstd dump: " + INSTALL_HINT)


class _Checked:
    """Wraps a payload so that read() never raises anything but DumpError."""

    def __init__(self, payload):
        self._payload = payload

    def read(self, size=-1):
        if size is None or size < 0:
            size = 1 << 20
        try:
            return self._payload.read(size)
        except DumpError:
            raise
        except (OSError, ValueError) as e:
            raise DumpError("the dump could not be read: %s" % e) from None


def read_exact(stream, size):
    """Reads exactly `size` bytes or fewer only at the end of the stream."""
    parts = []
    while size > 0:
        chunk = stream.read(size)
        if not chunk:
            break
        parts.append(chunk)
        size -= len(chunk)
    return b"".join(parts)


def checked(payload):
    """Returns a read-only file-like view of `payload` for tarfile."""
    return _Checked(payload)
