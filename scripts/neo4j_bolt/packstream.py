"""PackStream, the value encoding of every Bolt message.

A value starts with a marker byte; small values fit in the marker itself.
All multi-byte numbers are big-endian.

    marker          value
    00..7F, F0..FF  tiny integer -16..127 (the byte itself, signed)
    C8 C9 CA CB     integer in 1, 2, 4, 8 following bytes
    C1              64-bit IEEE 754 float
    C0 C2 C3        null, false, true
    80..8F          string of 0..15 UTF-8 bytes; D0 D1 D2: 1/2/4-byte length
    90..9F          list of 0..15 values; D4 D5 D6: 1/2/4-byte length
    A0..AF          map of 0..15 key/value pairs; D8 D9 DA: 1/2/4-byte length
    CC CD CE        byte array with a 1/2/4-byte length
    B0..BF          structure of 0..15 fields, then one tag byte, then the fields

Structures are how Bolt sends everything that is not plain data: messages,
nodes, relationships, temporal and spatial values. This module only frames
them as Structure(tag, fields); what a tag means belongs to the Bolt version
and is read elsewhere.

The decoder is strict: a marker it does not know, a map key that is not a
string, or a value running past the end of the message is a ProtocolError,
because guessing would turn a damaged stream into wrong graph data.
"""

import struct


class ProtocolError(Exception):
    """The peer sent bytes that are not valid PackStream."""


class Structure:
    """A PackStream structure: a one-byte tag and its fields."""

    __slots__ = ("tag", "fields")

    def __init__(self, tag, fields):
        self.tag = tag  # int 0..255
        self.fields = list(fields)

    def __eq__(self, other):
        return isinstance(other, Structure) and (self.tag, self.fields) == (other.tag, other.fields)

    def __repr__(self):
        return "Structure(0x%02X, %r)" % (self.tag, self.fields)


# Nesting deeper than this is refused rather than left to Python's recursion
# limit: Neo4j property values are at most a list of scalars, and messages
# add a few levels around them.
MAX_DEPTH = 64

_INT_LIMITS = ((-0x80, 0x7F, 0xC8, ">b"), (-0x8000, 0x7FFF, 0xC9, ">h"),
               (-0x80000000, 0x7FFFFFFF, 0xCA, ">i"))


def _sized(size, tiny, markers):
    """The header of a string, list, map or byte array of `size` entries."""
    if tiny is not None and size < 16:
        return bytes([tiny + size])
    for marker, fmt, limit in zip(markers, (">B", ">H", ">I"), (0xFF, 0xFFFF, 0xFFFFFFFF)):
        if marker is not None and size <= limit:
            return bytes([marker]) + struct.pack(fmt, size)
    raise ValueError("value too large for PackStream")


def encode(value, out=None):
    """Appends the PackStream form of `value` to the bytearray `out` and
    returns it. Accepts None, bool, int (64-bit), float, str, bytes, list,
    tuple, dict with string keys and Structure; anything else is a
    ValueError, as is an integer outside the signed 64-bit range."""
    if out is None:
        out = bytearray()
    if value is None:
        out.append(0xC0)
    elif value is True:
        out.append(0xC3)
    elif value is False:
        out.append(0xC2)
    elif isinstance(value, int):
        if -16 <= value <= 127:
            out += struct.pack(">b", value)
        else:
            for low, high, marker, fmt in _INT_LIMITS:
                if low <= value <= high:
                    out.append(marker)
                    out += struct.pack(fmt, value)
                    break
            else:
                if not -(1 << 63) <= value < (1 << 63):
                    raise ValueError("integer outside the 64-bit range: %d" % value)
                out.append(0xCB)
                out += struct.pack(">q", value)
    elif isinstance(value, float):
        out.append(0xC1)
        out += struct.pack(">d", value)
    elif isinstance(value, str):
        data = value.encode("utf-8")
        out += _sized(len(data), 0x80, (0xD0, 0xD1, 0xD2))
        out += data
    elif isinstance(value, (bytes, bytearray)):
        out += _sized(len(value), None, (0xCC, 0xCD, 0xCE))
        out += value
    elif isinstance(value, (list, tuple)):
        out += _sized(len(value), 0x90, (0xD4, 0xD5, 0xD6))
        for item in value:
            encode(item, out)
    elif isinstance(value, dict):
        out += _sized(len(value), 0xA0, (0xD8, 0xD9, 0xDA))
        for key, item in value.items():
            if not isinstance(key, str):
                raise ValueError("PackStream map keys must be strings")
            encode(key, out)
            encode(item, out)
    elif isinstance(value, Structure):
        if len(value.fields) > 15:
            raise ValueError("a structure holds at most 15 fields")
        out.append(0xB0 + len(value.fields))
        out.append(value.tag)
        for item in value.fields:
            encode(item, out)
    else:
        raise ValueError("cannot encode %s in PackStream" % type(value).__name__)
    return out


class _Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, count):
        end = self.pos + count
        if end > len(self.data):
            raise ProtocolError("PackStream value runs past the end of the message")
        chunk = self.data[self.pos:end]
        self.pos = end
        return chunk

    def unpack(self, fmt, size):
        return struct.unpack(fmt, self.take(size))[0]

    def length(self, marker, base):
        """The length that follows a D0-style marker (`base` is its 1-byte form)."""
        width = marker - base
        return self.unpack((">B", ">H", ">I")[width], 1 << width)

    def value(self, depth=0):
        if depth > MAX_DEPTH:
            raise ProtocolError("PackStream value nested too deeply")
        marker = self.take(1)[0]
        if marker < 0x80:
            return marker
        if marker >= 0xF0:
            return marker - 0x100
        high = marker & 0xF0
        if high == 0x80:
            return self.text(marker & 0x0F)
        if high == 0x90:
            return [self.value(depth + 1) for _ in range(marker & 0x0F)]
        if high == 0xA0:
            return self.mapping(marker & 0x0F, depth)
        if high == 0xB0:
            tag = self.take(1)[0]
            return Structure(tag, [self.value(depth + 1) for _ in range(marker & 0x0F)])
        if marker == 0xC0:
            return None
        if marker == 0xC1:
            return self.unpack(">d", 8)
        if marker in (0xC2, 0xC3):
            return marker == 0xC3
        if 0xC8 <= marker <= 0xCB:
            width = marker - 0xC8
            return self.unpack((">b", ">h", ">i", ">q")[width], 1 << width)
        if 0xCC <= marker <= 0xCE:
            return bytes(self.take(self.length(marker, 0xCC)))
        if 0xD0 <= marker <= 0xD2:
            return self.text(self.length(marker, 0xD0))
        if 0xD4 <= marker <= 0xD6:
            return [self.value(depth + 1) for _ in range(self.length(marker, 0xD4))]
        if 0xD8 <= marker <= 0xDA:
            return self.mapping(self.length(marker, 0xD8), depth)
        raise ProtocolError("unknown PackStream marker 0x%02X" % marker)

    def text(self, size):
        try:
            return bytes(self.take(size)).decode("utf-8")
        except UnicodeDecodeError as error:
            raise ProtocolError("PackStream string is not valid UTF-8") from error

    def mapping(self, size, depth):
        result = {}
        for _ in range(size):
            key = self.value(depth + 1)
            if not isinstance(key, str):
                raise ProtocolError("PackStream map key is not a string")
            result[key] = self.value(depth + 1)
        return result


def decode(data):
    """The one value that `data` (bytes) holds. Raises ProtocolError when the
    bytes are not exactly one well-formed value."""
    reader = _Reader(memoryview(data))
    value = reader.value()
    if reader.pos != len(data):
        raise ProtocolError("trailing bytes after a PackStream value")
    return value
