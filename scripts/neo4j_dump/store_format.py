"""Which record format a dump's store uses, read from its `neostore` file.

`neostore` is a file of 9-byte records: an in-use byte and a big-endian long.

3.5 and 4.x: record 4 holds the store version as a string packed into the
long: the low byte is the length and the characters follow from bit 8
upward (so the bytes read backwards: 00 39 2E 41 2E 30 76 06 is "v0.A.9").

5.x: the store id is written as a byte stream across the longs of several
records: the storage engine name ("record") and the format name
("standard", "aligned", "high_limit", ...) each preceded by its length,
then the major and minor format versions. Stripping the in-use byte of each
record and searching for b"\\x06record" finds it.

Formats this decoder reads (all share the record layouts of the stores
module; "aligned" only changes where a record sits, see stores):

  | version  | Neo4j  | layout   |
  |----------|--------|----------|
  | v0.A.9   | 3.4-3.5| standard |
  | SF4.0.0  | 4.0    | standard |
  | AF4.1.a  | 4.1-4.2| aligned  |
  | SF4.3.0  | 4.3-4.4| standard |
  | AF4.3.0  | 4.3-4.4| aligned  |
  | standard | 5.x    | standard |
  | aligned  | 5.x    | aligned  |

Checked against the shared samples: movies-40 holds AF4.1.a and movies-41
holds SF4.0.0 (their README lists the two the other way round); movies-50
is 5.x aligned and northwind-50 5.x standard, both with major.minor 1.1.

Refused, each with a line saying what to do instead: high_limit (Enterprise,
variable-size records: "vE.H.*", "HL4.*", 5.x "high_limit"), block (5.x
Enterprise; its dumps have no neostore.nodestore.db), and anything unknown.
"""

import struct

from .errors import DumpError

LEGACY_FORMATS = {
    "v0.A.9": False,
    "SF4.0.0": False,
    "AF4.1.a": True,
    "SF4.3.0": False,
    "AF4.3.0": True,
}
MODERN_FORMATS = {"standard": False, "aligned": True}
EXPORT_HINT = "export the graph with APOC (apoc.export.json.all) and migrate the JSON export instead"


class StoreFormat:
    """The decoded store version."""

    def __init__(self, version, aligned):
        self.version = version  # e.g. "SF4.3.0" or "5.x aligned"
        self.aligned = aligned  # True when records never straddle an 8 KiB page

    def __repr__(self):
        return "StoreFormat(%r, aligned=%r)" % (self.version, self.aligned)


def _legacy_version(neostore):
    """Returns the packed version string of record 4, or None if it is not one."""
    record = neostore[36:45]
    if len(record) < 9 or record[0] != 1:
        return None
    packed = struct.unpack(">Q", record[1:])[0]
    length = packed & 0xFF
    if not 1 <= length <= 7:
        return None
    chars = bytes((packed >> (8 * (i + 1))) & 0xFF for i in range(length))
    if not all(0x21 <= c < 0x7F for c in chars):
        return None
    return chars.decode("ascii")


def _modern_format(neostore):
    """Returns (engine, format name, major) from a 5.x store id, or None."""
    stream = b"".join(neostore[i + 1 : i + 9] for i in range(0, min(len(neostore), 8192) - 8, 9))
    at = stream.find(b"\x06record")
    if at < 0:
        return None
    pos = at + 7
    if pos >= len(stream):
        return None
    length = stream[pos]
    name = stream[pos + 1 : pos + 1 + length]
    if len(name) != length or pos + 1 + length >= len(stream):
        return None
    major = stream[pos + 1 + length]
    return "record", name.decode("ascii", "replace"), major


def refuse_high_limit(version):
    raise DumpError(
        "the store uses the Enterprise high_limit format (%s), which this decoder cannot read; "
        "run `neo4j-admin database copy --to-format=aligned` (4.x: `neo4j-admin copy --to-format=standard`) "
        "and dump again, or %s" % (version, EXPORT_HINT)
    )


def refuse_block():
    raise DumpError(
        "the store uses the Enterprise block format, which this decoder cannot read; "
        "run `neo4j-admin database copy --to-format=aligned` and dump again, or %s" % EXPORT_HINT
    )


def detect(neostore):
    """Returns the StoreFormat of a `neostore` file's bytes.

    Raises DumpError naming the format for high_limit and unknown versions,
    with what to do instead.
    """
    version = _legacy_version(neostore)
    if version is not None:
        if version in LEGACY_FORMATS:
            return StoreFormat(version, LEGACY_FORMATS[version])
        if version.startswith("vE.H") or version.startswith("HL"):
            refuse_high_limit(version)
        raise DumpError(
            "unknown store version %s; this decoder reads %s; upgrade the database with a Neo4j "
            "release that writes one of them and dump again, or %s"
            % (version, ", ".join(sorted(LEGACY_FORMATS)), EXPORT_HINT)
        )
    modern = _modern_format(neostore)
    if modern is None:
        raise DumpError(
            "the store version in neostore cannot be read: the store is corrupted or of an unknown kind; " + EXPORT_HINT
        )
    _, name, major = modern
    if name == "high_limit":
        refuse_high_limit("5.x high_limit")
    if name == "block":
        refuse_block()
    if name not in MODERN_FORMATS or major != 1:
        raise DumpError("unknown 5.x store format %s (version %d); %s" % (name, major, EXPORT_HINT))
    return StoreFormat("5.x " + name, MODERN_FORMATS[name])
